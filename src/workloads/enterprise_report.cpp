#include "workloads/enterprise_report.h"

#include "base/text.h"

namespace kestrune::workloads {
namespace {

constexpr const char* kRangeLabels[kEnterpriseRangeCount] = {"[RangeA LBA5%]", "[RangeB LBA15%]",
                                                             "[RangeC LBA80%]"};
constexpr const char* kSizeLabels[kMixedSizeCount] = {" 0.5", " 1.0", " 1.5", " 2.0", " 2.5", " 3.0",
                                                      " 3.5", " 4.0", " 8.0", "16.0", "32.0", "64.0"};

// "%12I64d (%2d.%d%%)": a count and its share of all requests in tenths of a percent.
std::string Cell(uint64_t count, uint64_t total) {
  const uint64_t tenths =
      total == 0 ? 0 : static_cast<uint64_t>(static_cast<unsigned __int128>(count) * 1000 / total);
  return base::Format("%12llu (%2llu.%llu%%)", static_cast<unsigned long long>(count),
                      static_cast<unsigned long long>(tenths / 10),
                      static_cast<unsigned long long>(tenths % 10));
}

}  // namespace

std::vector<ColouredLine> EnterpriseReportLines(const EnterpriseCounts& c) {
  std::vector<ColouredLine> lines;
  const uint64_t total = c.total();
  std::string header(9, ' ');
  for (const char* label : kRangeLabels) header += base::Format("%20s | ", label);
  lines.push_back({header + "             [Total]", kEnterpriseHeaderColour});
  uint64_t rangeTotals[kEnterpriseRangeCount] = {};
  for (size_t size = 0; size < kMixedSizeCount; ++size) {
    std::string row = base::Format(" %s : ", kSizeLabels[size]);
    uint64_t rowTotal = 0;
    for (size_t range = 0; range < kEnterpriseRangeCount; ++range) {
      const uint64_t n = c.cells[range][size];
      row += Cell(n, total) + " | ";
      rowTotal += n;
      rangeTotals[range] += n;
    }
    lines.push_back({row + Cell(rowTotal, total) + " ", kEnterpriseRowColour});
  }
  std::string totals = "[Total]: ";
  for (uint64_t n : rangeTotals) totals += Cell(n, total) + " | ";
  lines.push_back({totals + Cell(total, total) + " ", kEnterpriseHeaderColour});
  lines.push_back({base::Format("Write Commands: %llu", static_cast<unsigned long long>(c.writes)),
                   kEnterpriseHeaderColour});
  lines.push_back({base::Format("Read Commands : %llu", static_cast<unsigned long long>(c.reads)),
                   kEnterpriseHeaderColour});
  lines.push_back({"TxSize(GB)    : " + TenthsOfGiB(c.bytes), kEnterpriseHeaderColour});
  return lines;
}

}  // namespace kestrune::workloads
