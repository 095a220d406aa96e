// The maker's vendor channel on a simulated SATA drive: C1h (actions, FEATURE the action, the
// forced mode in LBA low), C3h / C2h (a 4096-byte block in / out, FEATURE 71h, 8 sectors, the block
// number in LBA low, a written block's CRC in LBA bits 8-39) and FEh (FEATURE the page, 8 sectors;
// the drive information's source in LBA low and its page in LBA mid).
// Only drives whose world wide name carries the lab's maker OUI and that name a controller
// (SocId) answer; on any other drive they abort. The blocks are those the NVMe vendor channel
// serves (vendor_blocks.h).
//
// The decoding here is the lab's own reading of the carriage, written apart from the program's
// table so that the golden scripts catch a wrong encoding.
#include <algorithm>
#include <optional>
#include <vector>

#include "sim/command_sets.h"
#include "sim/vendor_blocks.h"

namespace kestrune::sim {
namespace {

using platform::DataDirection;
constexpr uint32_t kSectors = 8;
constexpr uint8_t kBlockFeature = 0x71;

bool Answers(const AtaRequest& r) {
  const DriveDescription& d = r.drive.description();
  return d.wwnOui == kSimMakerOui && d.vendor.socId != 0;
}

// A vendor command as the carriage has it: 48-bit, the direction wanted, 8 sectors of 4096 bytes
// with data.
bool Carried(const AtaRequest& r, DataDirection want) {
  if (!r.regs.extended || r.direction != want) return false;
  if (want == DataDirection::kNone) return true;
  return r.count48() == kSectors && r.data.size() >= kVendorPage;
}

void Give(AtaRequest& r, const std::vector<uint8_t>& block) {
  std::copy_n(block.begin(), std::min(block.size(), r.data.size()), r.data.begin());
  AtaSucceed(r.regs);
}

void Abort(AtaRequest& r) { AtaFail(r.regs, ata_error::kAbort); }

std::optional<VendorAction> ActionOf(uint8_t feature) {
  switch (feature) {
    case 0x01: return VendorAction::kCleanEventLog;
    case 0x02: return VendorAction::kCleanSmart;
    case 0x03: return VendorAction::kBrandNew;
    case 0x04: return VendorAction::kKill;
    case 0x05: return VendorAction::kTrainDdrEye;
    case 0x06: return VendorAction::kKeepFrb;
    case 0x88: return VendorAction::kForceMode;
    default: return std::nullopt;
  }
}

void Action(AtaRequest& r) {
  const std::optional<VendorAction> action = ActionOf(r.regs.features);
  if (!Answers(r) || !action || !Carried(r, DataDirection::kNone)) return Abort(r);
  RunVendorAction(r.drive, *action, r.regs.lbaLow);
  AtaSucceed(r.regs);
}

void ReadBlock(AtaRequest& r) {
  if (!Answers(r) || r.regs.features != kBlockFeature || !Carried(r, DataDirection::kIn)) return Abort(r);
  const std::optional<std::vector<uint8_t>> block = ReadVendorBlock(r.drive, r.regs.lbaLow, std::nullopt);
  if (!block) return Abort(r);
  Give(r, *block);
}

void WriteBlock(AtaRequest& r) {
  if (!Answers(r) || r.regs.features != kBlockFeature || !Carried(r, DataDirection::kOut)) return Abort(r);
  const uint32_t crc = static_cast<uint32_t>(r.lba48() >> 8);
  if (!WriteVendorBlock(r.drive, r.regs.lbaLow, r.data.first(kVendorPage), crc)) return Abort(r);
  AtaSucceed(r.regs);
}

void InformationPage(AtaRequest& r) {
  if (!Answers(r)) return Abort(r);
  const uint8_t page = r.regs.features;
  if (page == 0x21) {
    if (!Carried(r, DataDirection::kOut) || !WriteSecurityBlock(r.drive, r.data.first(kVendorPage))) return Abort(r);
    return AtaSucceed(r.regs);
  }
  if (!Carried(r, DataDirection::kIn)) return Abort(r);
  switch (page) {
    case 0x01:
      return Give(r, OtpUidPage(r.drive));
    case 0x20:
      return Give(r, SecurityBlock(r.drive));
    case 0x60:
      return Give(r, NextEventLogPage(r.drive));
    case 0x63: {  // the source in LBA low, its page in LBA mid
      const std::optional<std::vector<uint8_t>> info = DriveInfoSource(r.drive, r.regs.lbaLow, r.regs.lbaMid);
      if (!info) return Abort(r);
      return Give(r, *info);
    }
    case 0x65:
      return Give(r, GrownDefectPage());
    case 0x69:
      return Give(r, ReconstructionPage());
    default:
      return Abort(r);
  }
}

}  // namespace

void RegisterAtaVendorCommands(AtaCommandTable& table) {
  table.Register(0xC1, Action);
  table.Register(0xC2, WriteBlock);
  table.Register(0xC3, ReadBlock);
  table.Register(0xFE, InformationPage);
}

}  // namespace kestrune::sim
