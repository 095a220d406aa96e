// The throughput chart of a performance job: read + write MB/s and IO/s along the bytes moved,
// minute marks, and the drive's temperatures when they were read. The engine draws one per cycle
// (and the same picture live while the cycle runs, and once more for the whole job) and saves it
// as "%s.png" of the command's output base name.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "workloads/canvas.h"
#include "workloads/job_stats.h"

namespace kestrune::workloads {

// What the x axis spans.
enum class ChartSpan {
  kCycle,  // one cycle: x from each sample's cycleBytes, minutes from its cycleMs
  kJob,    // the whole job: x from jobBytes, minutes from jobMs
};

// Everything a throughput chart is drawn from. The record only borrows the samples.
struct ThroughputChartRecord {
  std::span<const SamplePoint> samples;  // in the order they were taken
  ChartSpan span = ChartSpan::kCycle;
  uint64_t spanBytes = 0;          // bytes the x axis spans: the cycle's rangeBytes, or all the job's bytes
  uint32_t accessSize = 0;         // request size in bytes, for the IO/s scale
  bool temperatures = false;       // temperatures were read (GetTemperatureSec not 0): scale and dots
  uint32_t temperatureOffset = 0;  // subtracted from each reading: 273 for NVMe (kelvin), 0 for SATA
};

// Colours of the chart.
inline constexpr Colour kChartBackground = FromArgb(0xFF000000);
inline constexpr Colour kChartGrid = FromArgb(0xFF808080);
inline constexpr Colour kChartAxis = FromArgb(0xFFFFFFFF);
inline constexpr Colour kMbpsLine = FromArgb(0xFF00FF00);
inline constexpr Colour kIopsLine = FromArgb(0xFF3296FF);
// Temperature dots: composite, sensor 1, sensor 2, sensor 3.
inline constexpr Colour kTemperatureDots[] = {FromArgb(0xFFFFA500), FromArgb(0xFFFFFF00),
                                              FromArgb(0xFF9ACD32), FromArgb(0xFF708090)};

// Draws the whole chart of record onto canvas (which should be kThroughputChartWidth x
// kThroughputChartHeight), starting from a black background.
void DrawThroughputChart(Canvas& canvas, const ThroughputChartRecord& record);

// Draws the chart into a new bitmap and saves it as the PNG file pngPath. False when no bitmap
// could be made or the file could not be written.
bool SaveThroughputChart(const ThroughputChartRecord& record, const std::string& pngPath);

}  // namespace kestrune::workloads
