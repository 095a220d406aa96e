// The one report every compare command ends with: the last-cycle line, for a miscompare its type,
// where it was and the three dumps, and the result line that scripts read with ResultColumn; then,
// for a failure, the "CurrentLBA" line and the completion code.
#pragma once

#include <cstdint>
#include <string>

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::workloads {

struct CompareReport {
  int32_t code = 1;  // 1, or the failure (kMiscompareThenCorrect, kMiscompareTwice, kReadFailed, ...)
  uint64_t actionLba = 0;   // first LBA of the request that miscompared
  uint64_t errorLba = 0;    // the first sector that differs
  std::string cause;        // what the sector's marks say (mark_diagnosis.h); "" when not known
  uint64_t accessSize = 0;  // that request's bytes
  uint32_t cycle = 0;
  uint32_t percent = 0;
  std::string outputBase;  // the dumps are "<base>_Pattern.Hex", "<base>_Read1.Hex", "<base>_Read2.Hex"
};

// The report's last line, which scripts read with ResultColumn: "Compare Result : ... | n" with n 0
// for code 1, 1 for -70, 2 for -71 and 255 for any other code.
std::string CompareResultLine(int32_t code);
inline constexpr uint32_t kCompareResultColour = 0x00FFFF;

// Prints the report on the view, then for a negative code "CurrentLBA: 0x%08X%08X" of failingLba and
// reports the code with that line as its detail. A code >= 0 reports nothing.
void FinishCompare(engine::Interpreter& interp, uint32_t view, const CompareReport& report, uint64_t failingLba);

}  // namespace kestrune::workloads
