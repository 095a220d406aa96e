// The files a performance job leaves beside its chart: the QoS latency table ("%s_Qos.TXT", one
// block appended per job) and the samples CSV ("%s.CSV", created with one header line, then lines
// appended per cycle through a 16 MiB buffer).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "platform/host.h"
#include "workloads/job_stats.h"
#include "workloads/latency_buckets.h"

namespace kestrune::workloads {

// The labels of the 17 buckets: "0-50 us" ... "> 1 sec".
extern const std::array<const char*, kLatencyBucketCount> kBucketLabels;

// One job's block of the QoS file: the header line, one line per bucket with its count, its share and
// the running share (hundredths of a percent, truncated), and the total.
std::string QosBlock(const std::array<uint64_t, kLatencyBucketCount>& counts);

inline constexpr const char* kSampleCsvHeader =
    "TotalMB,KBPs,IOPs,JobTimeMs,CycleTimeMs,TComposite,T1,T2,T3,T4,T5,T6,T7,T8\r\n";

// One CSV line of a sample: job MiB, read + write KiB/s and IO/s, job and cycle milliseconds, the nine
// temperatures as read.
std::string SampleCsvLine(const SamplePoint& sample);

// Appends sample lines to the CSV of a job: the header goes first when the file did not exist;
// lines gather in a buffer of kCsvBufferBytes that is written out whenever the next line would not
// fit, and at Close (or destruction). Not thread-safe.
class SampleCsv {
 public:
  static constexpr size_t kCsvBufferBytes = 16u << 20;

  SampleCsv(platform::Host& host, std::string path) : host_(host), path_(std::move(path)) {}
  ~SampleCsv() { Close(); }
  SampleCsv(const SampleCsv&) = delete;
  SampleCsv& operator=(const SampleCsv&) = delete;

  void Add(std::span<const SamplePoint> samples);
  // Writes what is buffered. False when some line could not be written.
  bool Close();

 private:
  bool Flush();

  platform::Host& host_;
  std::string path_;
  std::string buffer_;
  bool ok_ = true;
};

}  // namespace kestrune::workloads
