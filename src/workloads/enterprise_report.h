// The table the enterprise workload ends with: requests by transfer size (rows) and part of the
// range (columns), each with its share of all requests, the totals, the requests by direction and
// the bytes moved.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "workloads/enterprise_workload.h"

namespace kestrune::workloads {

struct ColouredLine {
  std::string text;
  uint32_t colour = 0xFFFFFF;
};

inline constexpr uint32_t kEnterpriseHeaderColour = 0x00FFFF;  // header and totals
inline constexpr uint32_t kEnterpriseRowColour = 0xFFFF00;

// The header, one row per size (" 0.5" to "64.0" KiB), "[Total]: ", "Write Commands: %I64d",
// "Read Commands : %I64d" and "TxSize(GB)    : %d.%d".
std::vector<ColouredLine> EnterpriseReportLines(const EnterpriseCounts& counts);

}  // namespace kestrune::workloads
