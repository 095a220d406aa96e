// The firmware slot report printed after an update or an activation: the active and the next
// active slot, each slot's revision and whether it is read-only, from the Firmware Slot
// Information log (03h) and Identify Controller's FRMW.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kestrune::devcmd {

struct SlotReport {
  uint8_t active = 0;
  uint8_t next = 0;  // 0: none pending
  std::vector<std::string> revisions;  // slot 1 first; empty text: an empty slot
  bool slot1ReadOnly = false;

  const std::string& running() const;  // the active slot's revision (empty when unknown)
};

// From the 512-byte log page and FRMW.
SlotReport ReadSlotReport(std::span<const uint8_t> slotLog, uint8_t frmw);

// "Active Slot                : %d", "Next Active Slot           : %d" (or "none"), then one line
// per slot: "Slot %d Revision            : %s" with " (read-only)" or "(empty)".
std::vector<std::string> SlotReportLines(const SlotReport& r);

}  // namespace kestrune::devcmd
