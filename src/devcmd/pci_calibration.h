// The PCI Express PHY blocks the drive's firmware reports through the vendor channel: the
// calibration block (the negotiated speed code and the equaliser, PLL, CDR and DAC values of each
// lane, with the PASS/FAIL verdict), and block 7 (the lane margins and the extended counters).
// Pure decoders over the block bytes (little-endian dwords).
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "devcmd/line_sink.h"

namespace kestrune::devcmd {

// Dwords 0 to 26 of the calibration block.
struct PciCalibration {
  uint32_t speedCode = 0;  // 0x34: Gen3 x4, 0x44: Gen4 x4
  std::array<int32_t, 4> leq{}, dfe{};
  int32_t gen4Pll = 0;
  std::array<int32_t, 4> gen4Cdr{}, gen4Dac{};
  int32_t gen3Pll = 0;
  std::array<int32_t, 4> gen3Cdr{}, gen3Dac{};
};

// The values of the first 27 dwords of block (fewer bytes read as zero).
PciCalibration ReadCalibration(std::span<const uint8_t> block);

// Whether the block holds data: any of its first 27 dwords is neither 0 nor 0xFFFFFFFF.
bool CalibrationPresent(std::span<const uint8_t> block);

// PASS only when the speed code is 0x34 or 0x44, the LEQ values spread by at most 3 and the DFE
// values by at most 25 (each value first limited to -10000..10000), and the PLL band and every CDR
// and DAC value of that code's generation lie within its bounds (Gen4: 150..300, 80..200,
// -70..70; Gen3: 5..100, 50..200, -80..80; all inclusive).
bool CalibrationPasses(const PciCalibration& c);

// "[PCI Calibration]", the value lines with their bounds, and the verdict line (green PASS, red FAIL).
void CalibrationLines(LineSink& sink, const PciCalibration& c);

// "[PCI Lane Margin]" and, for lanes 0 to lanes - 1 (at most 16), the four margins of dwords 4j to
// 4j + 3 of block 7, the second and fourth negated.
void LaneMarginLines(LineSink& sink, std::span<const uint8_t> block7, uint32_t lanes);

// "[Ext Data]" and the counters and PHY values of dwords 64 to 119 of block 7; the four transmitter
// preset lines in the form of the controller's generation (Cedar and later: three coefficients).
void ExtDataLines(LineSink& sink, std::span<const uint8_t> block7, bool cedarOrLater);

}  // namespace kestrune::devcmd
