// The maker's vendor channel on a simulated NVMe controller: the vendor opcodes of the drive's own
// command set (FC/FD/FE, C0/C1/C2 or the legacy ones), each carrying the "vdvs" signature in CDW2,
// and the vendor log page E1h. Only drives with the lab's PCI vendor id and a controller id
// (VendorDescription::socId) answer; on any other drive the opcodes are invalid. What the commands
// serve and do is shared with the SATA drives' carriage (vendor_blocks.h).
//
// The decoding here is the lab's own reading of the command table, written apart from the
// program's encoder so that the golden scripts catch a wrong encoding.
#include <algorithm>
#include <cstring>
#include <optional>

#include "base/bytes.h"
#include "sim/nvme_admin.h"
#include "sim/nvme_controller.h"
#include "sim/vendor_blocks.h"

namespace kestrune::sim {
namespace {

using base::PutLe16;
using base::PutLe32;

constexpr uint32_t kSignature = 0x76647673;  // "vdvs"
constexpr uint32_t kRimo = 0x4F4D4952, kVald = 0x444C4156;
constexpr size_t kPage = kVendorPage;

enum class Op {
  kEnterVendorMode, kBrandNew, kFtlVirgin, kCleanSmart, kForceMode, kKill, kKeepFrb, kThinCapacity,
  kReadBlock, kWriteBlock, kDriveInfo, kGrownDefect, kOtpUid, kReconstruction, kLegacyDriveInfo,
  kLaneMarginPrepare, kPhyCalibration,
  kSpiDebug, kVpdPrepare, kVpdRead, kSecurityRead, kSecurityWrite, kEventLog,
};

// The command a request carries in the drive's command set, with its block kind or parameters.
struct Decoded {
  Op op;
  uint32_t a = 0, b = 0, crc = 0;
};

bool Marked(const NvmeRequest& r) { return r.cdw[14] == kRimo && r.cdw[15] == kVald; }

std::optional<Decoded> DecodeFc(const NvmeRequest& r) {
  const uint32_t sub = r.cdw[12], p = r.cdw[13];
  switch (r.opcode()) {
    case 0xFC:
      if (sub == 0x1F && p == kSignature && r.cdw[14] == 1) return Decoded{Op::kEnterVendorMode};
      if (sub == 0x80 && p == 1 && Marked(r)) return Decoded{Op::kBrandNew};
      if (sub == 0x80 && p == 2 && r.cdw[14] == 1) return Decoded{Op::kFtlVirgin};
      if (sub == 0x80 && p == 9) return Decoded{Op::kLaneMarginPrepare};
      if (sub == 0xD1) return Decoded{Op::kCleanSmart};
      if (sub == 0x20) return Decoded{Op::kForceMode, p};
      if (sub == 0x122 && p == 1) return Decoded{Op::kKill};
      if (sub == 0x108) return Decoded{Op::kKeepFrb};
      if (sub == 0x10A) return Decoded{Op::kThinCapacity, p, r.cdw[14]};
      if (sub == 0x21) return Decoded{Op::kVpdPrepare};
      return std::nullopt;
    case 0xFD:
      if (sub == 0x81) return Decoded{Op::kWriteBlock, p, 0, r.cdw[15]};
      return std::nullopt;
    case 0xFE:
      // The critical log is read by byte offset (CDW14), a page (CDW15 4096) at a time.
      if (sub == 0x82 && p == 11) return r.cdw[15] == 4096 ? std::optional<Decoded>(Decoded{Op::kReadBlock, p, r.cdw[14]}) : std::nullopt;
      if (sub == 0x82) return Decoded{Op::kReadBlock, p};
      if (sub == 0x6C) return Decoded{Op::kSpiDebug, p};
      if (sub == 0x22 && p == 0x00C80053) return Decoded{Op::kVpdRead};
      if (sub == 0x63) return Decoded{Op::kDriveInfo, p, r.cdw[14]};
      if (sub == 0x65) return Decoded{Op::kGrownDefect};
      if (sub == 0x01) return Decoded{Op::kOtpUid};
      if (sub == 0x69) return Decoded{Op::kReconstruction};
      if (sub == 0x1A0) return Decoded{Op::kPhyCalibration};
      if (sub == 0x60) return Decoded{Op::kEventLog};
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

std::optional<Decoded> DecodeC0(const NvmeRequest& r) {
  const uint32_t sub = r.cdw[12], p = r.cdw[13];
  switch (r.opcode()) {
    case 0xC0:
      if (sub == 0x01 && p == 1) return Decoded{Op::kEnterVendorMode};
      if (sub == 0x82 && p == 1 && Marked(r)) return Decoded{Op::kBrandNew};
      if (sub == 0x82 && p == 2 && r.cdw[14] == 1) return Decoded{Op::kFtlVirgin};
      if (sub == 0x83) return Decoded{Op::kCleanSmart};
      if (sub == 0x86 && p == 1) return Decoded{Op::kKill};
      if (sub == 0x84) return Decoded{Op::kKeepFrb};
      if (sub == 0x85) return Decoded{Op::kThinCapacity, p, r.cdw[14]};
      if (sub == 0x81) return Decoded{Op::kVpdPrepare};
      return std::nullopt;
    case 0xC1:
      if (sub == 0x80) return Decoded{Op::kWriteBlock, p, 0, r.cdw[15]};
      return std::nullopt;
    case 0xC2:
      if (sub == 0x86) return Decoded{Op::kReadBlock, p};
      if (sub == 0x83 && r.cdw[15] == kVald) return Decoded{Op::kDriveInfo, p, r.cdw[14]};
      if (sub == 0x84) return Decoded{Op::kGrownDefect};
      if (sub == 0x80) return Decoded{Op::kOtpUid};
      if (sub == 0x87) return Decoded{Op::kReconstruction};
      if (sub == 0x81) return Decoded{Op::kVpdRead};
      if (sub == 0x82) return Decoded{Op::kEventLog};
      return std::nullopt;
    case 0xFF:  // the force-mode command of the legacy set
      if (sub == 7) return Decoded{Op::kForceMode, p};
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

std::optional<Decoded> DecodeLegacy(const NvmeRequest& r) {
  const uint32_t sub = r.cdw[12];
  switch (r.opcode()) {
    case 0xFC:
      if (sub == 0x1F && r.cdw[13] == kSignature && r.cdw[14] == 1) return Decoded{Op::kEnterVendorMode};
      return std::nullopt;
    case 0xE4:
      if (sub == 1 && Marked(r)) return Decoded{Op::kBrandNew};
      if (sub == 2 && Marked(r)) return Decoded{Op::kFtlVirgin};
      return std::nullopt;
    case 0xD0:
      return Marked(r) ? std::optional<Decoded>(Decoded{Op::kCleanSmart}) : std::nullopt;
    case 0xFF:
      if (sub == 7) return Decoded{Op::kForceMode, r.cdw[13]};
      if (sub == 8) return Decoded{Op::kKeepFrb};
      if (sub == 0x0A && Marked(r)) return Decoded{Op::kOtpUid};
      if (sub == 0x40) return Decoded{Op::kPhyCalibration};
      if (sub == 0x12 && Marked(r)) return Decoded{Op::kVpdPrepare};
      if (sub == 0x13 && r.cdw[13] == 0x00FF0053 && Marked(r)) return Decoded{Op::kVpdRead};
      return std::nullopt;
    case 0xF7:
      return sub == 1 && Marked(r) ? std::optional<Decoded>(Decoded{Op::kKill}) : std::nullopt;
    case 0xD1:
      return Decoded{Op::kThinCapacity, sub, r.cdw[13]};
    case 0xE6:
      if (sub == 0x0E) return Decoded{Op::kReconstruction};
      return Marked(r) ? std::optional<Decoded>(Decoded{Op::kReadBlock, sub}) : std::nullopt;
    case 0xE5:
      return Decoded{Op::kWriteBlock, sub, 0, r.cdw[14]};
    case 0xF2:
      return Marked(r) ? std::optional<Decoded>(Decoded{Op::kDriveInfo, sub}) : std::nullopt;
    case 0xD6:
      return Marked(r) ? std::optional<Decoded>(Decoded{Op::kGrownDefect}) : std::nullopt;
    case 0xEA:
      return Decoded{Op::kReconstruction};
    case 0xC2:
      return Marked(r) ? std::optional<Decoded>(Decoded{Op::kEventLog}) : std::nullopt;
    default:
      return std::nullopt;
  }
}

void WriteConfigBlock(NvmeRequest& r, const Decoded& d) {
  if (!WriteVendorBlock(r.drive, d.a, r.data, d.crc)) SetStatus(r, nvme_status::kInvalidField);
}

void ReadBlock(NvmeRequest& r, const Decoded& d) {
  // The critical log by offset on the FC/FD/FE set, the next page on the others.
  const bool byOffset = r.drive.description().vendor.variant == 1;
  const std::optional<std::vector<uint8_t>> block =
      ReadVendorBlock(r.drive, d.a, byOffset ? std::optional<uint64_t>(d.b) : std::nullopt);
  if (!block) return SetStatus(r, nvme_status::kInvalidField);
  ReturnBytes(r, *block);
}

// A calibration block that passes: Gen4 x4, LEQ and DFE close together, bands inside their bounds.
std::vector<uint8_t> CalibrationBlock() {
  static constexpr int32_t kDwords[27] = {0x44, 5,   6,   5,   7,   30,  40,  35, 45,  200, 120, 130, 140,
                                          150,  -10, 0,   10,  20,  50,  100, 110, 120, 130, -5,  5,   -6, 6};
  std::vector<uint8_t> page(kPage, 0);
  for (size_t i = 0; i < 27; ++i) PutLe32(&page[4 * i], static_cast<uint32_t>(kDwords[i]));
  return page;
}

void Run(NvmeRequest& r, const Decoded& d) {
  VendorState& state = r.drive.controller().vendor;
  switch (d.op) {
    case Op::kEnterVendorMode:
      state.vendorMode = true;
      return;
    case Op::kBrandNew:
      return RunVendorAction(r.drive, VendorAction::kBrandNew);
    case Op::kFtlVirgin:
      return RunVendorAction(r.drive, VendorAction::kFtlVirgin);
    case Op::kCleanSmart:
      return RunVendorAction(r.drive, VendorAction::kCleanSmart);
    case Op::kForceMode:
      return RunVendorAction(r.drive, VendorAction::kForceMode, d.a);
    case Op::kKill:
      return RunVendorAction(r.drive, VendorAction::kKill);
    case Op::kKeepFrb:
      return RunVendorAction(r.drive, VendorAction::kKeepFrb);
    case Op::kThinCapacity: {
      if (r.nsid() != 1) return SetStatus(r, nvme_status::kInvalidNamespace);
      const uint64_t sectors = d.a | static_cast<uint64_t>(d.b) << 32;
      if (sectors == 0 || sectors > r.drive.sectorCount()) return SetStatus(r, nvme_status::kInvalidField);
      state.thinSectors = sectors;
      return;
    }
    case Op::kReadBlock:
      return ReadBlock(r, d);
    case Op::kWriteBlock:
      return WriteConfigBlock(r, d);
    case Op::kDriveInfo: {
      const std::optional<std::vector<uint8_t>> page = DriveInfoSource(r.drive, d.a, d.b);
      if (!page) return SetStatus(r, nvme_status::kInvalidField);
      return ReturnBytes(r, *page);
    }
    case Op::kLegacyDriveInfo:
      return ReturnBytes(r, LegacyDriveInfoPage(r.drive));
    case Op::kLaneMarginPrepare:
      return;
    case Op::kPhyCalibration:
      return ReturnBytes(r, CalibrationBlock());
    case Op::kGrownDefect:
      return ReturnBytes(r, GrownDefectPage());
    case Op::kOtpUid:
      return ReturnBytes(r, OtpUidPage(r.drive));
    case Op::kSpiDebug: {
      std::vector<uint8_t> page(kPage);
      for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>((i * 7 + d.a) & 0x7F);
      return ReturnBytes(r, page);
    }
    case Op::kVpdPrepare:
      state.vpdReady = true;
      return;
    case Op::kSecurityRead:
      if (r.data.size() != kPage) return SetStatus(r, nvme_status::kInvalidField);
      return ReturnBytes(r, SecurityBlock(r.drive));
    case Op::kSecurityWrite:
      if (!WriteSecurityBlock(r.drive, r.data)) return SetStatus(r, nvme_status::kInvalidField);
      return;
    case Op::kVpdRead:
      if (!state.vpdReady) return SetStatus(r, nvme_status::kCommandSequenceError);
      return ReturnBytes(r, VpdPage(r.drive));
    case Op::kEventLog:
      return ReturnBytes(r, NextEventLogPage(r.drive));
    case Op::kReconstruction:
      return ReturnBytes(r, ReconstructionPage());
  }
}

void VendorCommand(NvmeRequest& r) {
  const VendorDescription& v = r.drive.description().vendor;
  if (v.socId == 0 || r.drive.description().pciVendorId != kSimPciVendorId) return SetStatus(r, nvme_status::kInvalidOpcode);
  std::optional<Decoded> d;
  // The security id block and the legacy drive information read alike in every command set.
  const bool securityId = r.cdw[13] == 0x20 && r.cdw[14] == 1;
  if (r.opcode() == 0xCA) {
    if (Marked(r)) d = Decoded{Op::kLegacyDriveInfo};
  } else if (r.opcode() == 0xFE && r.cdw[12] == 0x82 && securityId) {
    d = Decoded{Op::kSecurityRead};
  } else if (r.opcode() == 0xFD && r.cdw[12] == 0x81 && securityId) {
    d = Decoded{Op::kSecurityWrite};
  } else if (v.variant == 1) {
    d = DecodeFc(r);
  } else if (v.variant == 192) {
    d = DecodeC0(r);
  } else {
    d = DecodeLegacy(r);
  }
  if (!d) return SetStatus(r, nvme_status::kInvalidOpcode);
  if (r.cdw[2] != kSignature) return SetStatus(r, nvme_status::kInvalidField);
  // The data length in dwords, not minus one.
  if (r.cdw[10] != r.data.size() / 4) return SetStatus(r, nvme_status::kInvalidField);
  Run(r, *d);
}

}  // namespace

void InitVendorState(VendorState& state, const DriveDescription& d) {
  state = VendorState{};
  std::memcpy(state.configBlock.data(), "CONF", 4);
  PutLe16(&state.configBlock[8], d.vendor.socId);
  std::memcpy(&state.configBlock[16], d.serial.data(), std::min<size_t>(d.serial.size(), 20));
  std::memcpy(&state.configBlock[36], d.model.data(), std::min<size_t>(d.model.size(), 40));
  state.configBlock[80] = 4;                 // NAND packages
  state.configBlock[81] = 2;                 // dies a package
  PutLe16(&state.configBlock[96], 75);       // tmt1, degrees Celsius
  PutLe16(&state.configBlock[98], 85);       // tmt2
  PutLe32(&state.configBlock[104], static_cast<uint32_t>(d.capacityBytes / 1000000000));
  state.configBlock[2053] = 3;               // boot loader revision
  state.configBlock[2100] = 1;               // configuration revision
  // The security ids: "SCID", MSID at 16 and PSID at 48.
  std::memcpy(state.securityBlock.data(), "SCID", 4);
  const std::string msid = "MSID" + d.serial, psid = "PSID" + d.serial;
  std::memcpy(&state.securityBlock[16], msid.data(), std::min<size_t>(msid.size(), 32));
  std::memcpy(&state.securityBlock[48], psid.data(), std::min<size_t>(psid.size(), 32));
}

void CrashDumpLogPage(NvmeRequest& r, std::vector<uint8_t>& page) {
  const VendorDescription& v = r.drive.description().vendor;
  if (v.socId == 0 || !v.crashDumpLogPage) return;
  // The first read gives the length at 4092, the following ones the dump, then it starts over.
  VendorState& state = r.drive.controller().vendor;
  const uint64_t length = uint64_t{v.crashDumpKiB} * 1024;
  if (state.dumpCursor == 0) {
    page.assign(kPage, 0);
    PutLe32(&page[4092], static_cast<uint32_t>(length));
  } else {
    page = DumpBytes(state.dumpCursor - 1);
  }
  state.dumpCursor = state.dumpCursor * kPage >= length ? 0 : state.dumpCursor + 1;
}

void VendorLogPage(NvmeRequest& r, std::vector<uint8_t>& page) {
  const VendorDescription& v = r.drive.description().vendor;
  if (v.socId != 0 && v.variant == 1 && v.configPage) page = ConfigPage(r.drive);
}

void RegisterVendorCommands(NvmeCommandTable& table) {
  static constexpr uint8_t kOpcodes[] = {0xFC, 0xFD, 0xFE, 0xC0, 0xC1, 0xC2, 0xE4, 0xD0, 0xFF,
                                         0xF7, 0xD1, 0xE6, 0xE5, 0xF2, 0xD6, 0xEA, 0xCA};
  for (uint8_t op : kOpcodes) table.Register(NvmeKey(platform::NvmeQueue::kAdmin, op), VendorCommand);
}

}  // namespace kestrune::sim
