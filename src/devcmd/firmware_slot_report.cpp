#include "devcmd/firmware_slot_report.h"

#include "base/text.h"
#include "devcmd/field_table.h"

namespace kestrune::devcmd {
namespace {

constexpr size_t kFirstRevisionAt = 8;
constexpr size_t kRevisionBytes = 8;

}  // namespace

const std::string& SlotReport::running() const {
  static const std::string kNone;
  return active >= 1 && active <= revisions.size() ? revisions[active - 1] : kNone;
}

SlotReport ReadSlotReport(std::span<const uint8_t> slotLog, uint8_t frmw) {
  SlotReport r;
  if (slotLog.size() < kFirstRevisionAt) return r;
  r.active = slotLog[0] & 0x07;
  r.next = (slotLog[0] >> 4) & 0x07;
  r.slot1ReadOnly = (frmw & 1) != 0;
  const size_t count = (frmw >> 1) & 0x07;
  for (size_t s = 0; s < count; ++s) {
    const size_t at = kFirstRevisionAt + s * kRevisionBytes;
    if (at + kRevisionBytes > slotLog.size()) break;
    r.revisions.emplace_back(base::Trim(PrintableText(slotLog.subspan(at, kRevisionBytes))));
  }
  return r;
}

std::vector<std::string> SlotReportLines(const SlotReport& r) {
  std::vector<std::string> lines;
  lines.push_back(base::Format("%-26s : %u", "Active Slot", r.active));
  lines.push_back(r.next == 0 ? base::Format("%-26s : none", "Next Active Slot")
                              : base::Format("%-26s : %u", "Next Active Slot", r.next));
  for (size_t s = 0; s < r.revisions.size(); ++s) {
    const std::string key = base::Format("Slot %zu Revision", s + 1);
    const std::string& rev = r.revisions[s];
    std::string value = rev.empty() ? "(empty)" : rev;
    if (s == 0 && r.slot1ReadOnly) value += " (read-only)";
    lines.push_back(base::Format("%-26s : %s", key.c_str(), value.c_str()));
  }
  return lines;
}

}  // namespace kestrune::devcmd
