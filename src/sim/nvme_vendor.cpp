// The maker's vendor channel on a simulated NVMe controller: the vendor opcodes of the drive's own
// command set (FC/FD/FE, C0/C1/C2 or the legacy ones), each carrying the "vdvs" signature in CDW2,
// and the vendor log page E1h. Only drives with the lab's PCI vendor id and a controller id
// (VendorDescription::socId) answer; on any other drive the opcodes are invalid.
//
// The decoding here is the lab's own reading of the command table, written apart from the
// program's encoder so that the golden scripts catch a wrong encoding.
#include <algorithm>
#include <cstring>
#include <optional>

#include "base/bytes.h"
#include "base/crc.h"
#include "base/text.h"
#include "sim/nvme_admin.h"
#include "sim/nvme_controller.h"

namespace kestrune::sim {
namespace {

using base::GetLe16;
using base::PutLe16;
using base::PutLe32;

constexpr uint32_t kSignature = 0x76647673;  // "vdvs"
constexpr uint32_t kRimo = 0x4F4D4952, kVald = 0x444C4156;
constexpr size_t kPage = 4096;
constexpr uint8_t kMark = 0x5A;

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

// The configuration page: the mark, the controller id at byte 2, the firmware text at 32-39; byte
// 1 is FFh while a factory reset runs.
std::vector<uint8_t> ConfigPage(SimDrive& drive) {
  std::vector<uint8_t> page(kPage, 0);
  page[0] = kMark;
  PutLe16(&page[2], drive.description().vendor.socId);
  const std::string& fw = drive.controller().firmwareRevision();
  std::memcpy(&page[32], fw.data(), std::min<size_t>(fw.size(), 8));
  return page;
}

// The drive-information page: layout 1768 names the controller (drive-info drives), layout 4096
// only gives the activation time hint (configuration-page drives).
std::vector<uint8_t> DriveInfoPage(SimDrive& drive) {
  const VendorDescription& v = drive.description().vendor;
  std::vector<uint8_t> page(kPage, 0);
  PutLe16(&page[280], v.configPage ? 4096 : 1768);
  PutLe32(&page[300], v.aux);
  // The firmware base (FTK), controller, original firmware, NAND id and clocks.
  page[1576] = 3;
  PutLe16(&page[1582], v.socId);
  const std::string& fw = drive.controller().firmwareRevision();
  std::memcpy(&page[1606], fw.data(), std::min<size_t>(fw.size(), 8));
  const uint8_t nandId[8] = {0x2C, 0xA4, 0x64, 0x32, 0xAA, 0x04, 0x00, 0x00};
  std::memcpy(&page[1616], nandId, 8);
  PutLe32(&page[1624], 800);
  PutLe32(&page[1628], 400);
  return page;
}

// A defect list page: the mark, the count at 2, (channel, CE, LUN, plane, block) from byte 16,
// eight bytes each.
std::vector<uint8_t> DefectPage(uint16_t count, uint16_t firstBlock) {
  std::vector<uint8_t> page(kPage, 0);
  page[0] = kMark;
  PutLe16(&page[2], count);
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t where[4] = {static_cast<uint8_t>(1 + 2 * i), static_cast<uint8_t>(i & 1), static_cast<uint8_t>(1 - (i & 1)),
                              static_cast<uint8_t>(i & 1)};
    std::memcpy(&page[16 + 8 * i], where, 4);
    PutLe16(&page[20 + 8 * i], static_cast<uint16_t>(firstBlock + 0x101 * i));
  }
  return page;
}

std::vector<uint8_t> LegacyDriveInfoPage(SimDrive& drive) {
  std::vector<uint8_t> page(kPage, 0);
  const std::string& fw = drive.controller().firmwareRevision();
  std::memcpy(&page[50], fw.data(), std::min<size_t>(fw.size(), 8));
  return page;
}

// The crash dump: three sections of the drive's CrashDumpKiB together; the header in the first
// block at 3072 (signature, section count, the sizes); the dump is a block per section plus each
// section rounded up to whole blocks, bytes of a counting pattern.
struct DumpShape {
  uint64_t sizes[3];
  uint64_t blocks;
};

DumpShape ShapeOf(const VendorDescription& v) {
  const uint64_t total = uint64_t{v.crashDumpKiB} * 1024;
  DumpShape s{{total / 2, total / 4, total - total / 2 - total / 4}, 3};
  for (uint64_t size : s.sizes) s.blocks += (size + kPage - 1) / kPage;
  return s;
}

std::vector<uint8_t> DumpBytes(uint64_t block) {
  std::vector<uint8_t> b(kPage);
  for (size_t i = 0; i < kPage; ++i) b[i] = static_cast<uint8_t>((block * kPage + i) * 13 >> 2);
  return b;
}

// The block at cursor, which then moves on and starts over after the last.
std::vector<uint8_t> CrashDumpBlock(SimDrive& drive, uint64_t& cursor) {
  const DumpShape shape = ShapeOf(drive.description().vendor);
  std::vector<uint8_t> block = DumpBytes(cursor);
  if (cursor == 0) {
    PutLe32(&block[3072], 0x5A5B5C5D);
    PutLe32(&block[3076], 3);
    for (size_t i = 0; i < 3; ++i) PutLe32(&block[3080 + 4 * i], static_cast<uint32_t>(shape.sizes[i]));
  }
  cursor = cursor + 1 >= shape.blocks ? 0 : cursor + 1;
  return block;
}

// The critical log: three pages, "CLOG", its length at 8, five entries of 16 bytes from byte 64
// (power-on seconds, code, parameter).
constexpr uint64_t kCriticalPages = 3;
std::vector<uint8_t> CriticalLogPage(uint64_t index) {
  std::vector<uint8_t> page = DumpBytes(index + 1000);
  if (index != 0) return page;
  std::fill(page.begin(), page.begin() + 64 + 5 * 16, 0);
  std::memcpy(page.data(), "CLOG", 4);
  base::PutLe64(&page[8], kCriticalPages * kPage);
  PutLe32(&page[16], 5);
  for (uint32_t i = 0; i < 5; ++i) {
    base::PutLe64(&page[64 + 16 * i], 3600ull * (i + 1));
    PutLe32(&page[72 + 16 * i], 0xC0DE0000 | i);
    PutLe32(&page[76 + 16 * i], i * 0x11);
  }
  return page;
}

// The vital product data: manufacturer, part number, model and serial number.
std::vector<uint8_t> VpdPage(SimDrive& drive) {
  std::vector<uint8_t> page(kPage, 0);
  auto put = [&](size_t at, const std::string& text, size_t size) {
    std::memcpy(&page[at], text.data(), std::min(text.size(), size));
  };
  put(0, "KESTRUNE LAB", 32);
  put(32, base::Format("PN-%04X", drive.description().vendor.socId), 32);
  put(64, drive.description().model, 40);
  put(104, drive.description().serial, 20);
  return page;
}

void WriteConfigBlock(NvmeRequest& r, const Decoded& d) {
  VendorState& state = r.drive.controller().vendor;
  if (d.a == 7) {  // the lane margin run: dword 0 names the lanes to measure
    if (r.data.size() < kPage) return SetStatus(r, nvme_status::kInvalidField);
    state.marginLanes = std::min<uint32_t>(base::GetLe32(r.data.data()), 16);
    return;
  }
  if (d.a != 1) return SetStatus(r, nvme_status::kInvalidField);
  if (r.data.size() < kPage || std::memcmp(r.data.data(), "CONF", 4) != 0) return SetStatus(r, nvme_status::kInvalidField);
  const std::span<const uint8_t> block = r.data.first(kPage);
  const uint32_t crc = r.drive.description().vendor.crc32c ? base::Crc32c(block) : base::Crc32(block);
  if (crc != d.crc) return SetStatus(r, nvme_status::kInvalidField);
  std::copy(block.begin(), block.end(), state.configBlock.begin());
}

void ReadBlock(NvmeRequest& r, const Decoded& d) {
  VendorState& state = r.drive.controller().vendor;
  switch (d.a) {
    case 1:
      return ReturnBytes(r, state.configBlock);
    case 3: {
      if (!r.drive.description().vendor.configPage) return SetStatus(r, nvme_status::kInvalidField);
      std::vector<uint8_t> page = ConfigPage(r.drive);
      if (state.brandNewPolls > 0) {
        page[1] = 0xFF;
        if (state.brandNewPolls != UINT32_MAX) --state.brandNewPolls;
      }
      return ReturnBytes(r, page);
    }
    case 7: {
      // Margins of the lanes measured (X1, X2, Y1, Y2; the second and fourth as negative counts),
      // then the extended counters and PHY values from dword 64 on.
      std::vector<uint8_t> page(kPage, 0);
      for (uint32_t j = 0; j < state.marginLanes; ++j) {
        PutLe32(&page[16 * j], 20 + j);
        PutLe32(&page[16 * j + 4], 18);
        PutLe32(&page[16 * j + 8], 22);
        PutLe32(&page[16 * j + 12], 19 + j);
      }
      for (uint32_t i = 64; i < 120; ++i) PutLe32(&page[4 * i], i - 64);
      return ReturnBytes(r, page);
    }
    case 8:
      if (r.drive.description().vendor.crashDumpLogPage) return SetStatus(r, nvme_status::kInvalidField);
      return ReturnBytes(r, CrashDumpBlock(r.drive, state.dumpCursor));
    case 11: {
      // By offset on the FC/FD/FE set, the next page on the others.
      const bool byOffset = r.drive.description().vendor.variant == 1;
      if (byOffset && d.b % kPage != 0) return SetStatus(r, nvme_status::kInvalidField);
      const uint64_t index = byOffset ? d.b / kPage : state.criticalCursor;
      if (!byOffset) state.criticalCursor = (state.criticalCursor + 1) % kCriticalPages;
      return ReturnBytes(r, CriticalLogPage(index));
    }
    default:
      return SetStatus(r, nvme_status::kInvalidField);
  }
}

// The event log: "ELOG", its length at 8, the entry count at 16, entries of 16 bytes from byte 64
// (power-on seconds, event id, severity, parameter). Each read gives the next page, then it starts
// over.
std::vector<uint8_t> NextEventLogPage(const VendorDescription& v, uint64_t& cursor) {
  using Kind = VendorDescription::EventLog;
  const uint64_t entries = v.eventLog == Kind::kWritten ? v.eventLogEntries : 300;
  const uint64_t pages = (64 + entries * 16 + kPage - 1) / kPage;
  std::vector<uint8_t> page(kPage, 0);
  if (cursor == 0 && v.eventLog != Kind::kNoHeader) {
    std::memcpy(page.data(), "ELOG", 4);
    base::PutLe64(&page[8], pages * kPage);
    PutLe32(&page[16], static_cast<uint32_t>(entries));
  }
  if (v.eventLog == Kind::kWritten) {
    for (size_t at = cursor == 0 ? 64 : 0; at < kPage; at += 16) {
      const uint64_t i = (cursor * kPage + at - 64) / 16;
      if (i >= entries) break;
      base::PutLe64(&page[at], 60 * (i + 1));
      PutLe16(&page[at + 8], static_cast<uint16_t>(0x100 + i % 7));
      page[at + 10] = static_cast<uint8_t>(i % 5 == 4 ? 2 : i % 3 == 2 ? 1 : 0);
      PutLe32(&page[at + 12], static_cast<uint32_t>(i * 0x101));
    }
  }
  cursor = cursor + 1 >= pages ? 0 : cursor + 1;
  return page;
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
  NvmeControllerState& c = r.drive.controller();
  VendorState& state = c.vendor;
  switch (d.op) {
    case Op::kEnterVendorMode:
      state.vendorMode = true;
      return;
    case Op::kBrandNew:
      state.brandNewPolls = r.drive.description().vendor.brandNewPolls;
      c.health = HealthCounters{};
      return;
    case Op::kFtlVirgin:
      ++state.ftlVirgins;
      return;
    case Op::kCleanSmart:
      c.health = HealthCounters{};
      return;
    case Op::kForceMode:
      state.forcedMode = d.a;
      if (d.a == 1) state.killed = false;
      return;
    case Op::kKill:
      state.killed = true;
      return;
    case Op::kKeepFrb:
      state.keepFrb = true;
      return;
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
    case Op::kDriveInfo:
      // Source 0: the drive-information page; 2: the factory defect list, three defects on its
      // first page and none on the second.
      if (d.a == 2 && d.b < 2) return ReturnBytes(r, DefectPage(d.b == 0 ? 3 : 0, 0x40));
      if (d.a != 0) return SetStatus(r, nvme_status::kInvalidField);
      return ReturnBytes(r, DriveInfoPage(r.drive));
    case Op::kLegacyDriveInfo:
      return ReturnBytes(r, LegacyDriveInfoPage(r.drive));
    case Op::kLaneMarginPrepare:
      return;
    case Op::kPhyCalibration:
      return ReturnBytes(r, CalibrationBlock());
    case Op::kGrownDefect:
      return ReturnBytes(r, DefectPage(2, 0x123));
    case Op::kOtpUid: {
      // A unique id made from the serial number, and the signature dword.
      std::vector<uint8_t> page(kPage, 0);
      const std::string& serial = r.drive.description().serial;
      const uint32_t crc = base::Crc32(std::span(reinterpret_cast<const uint8_t*>(serial.data()), serial.size()));
      PutLe32(&page[0], crc);
      PutLe32(&page[4], r.drive.description().vendor.socId);
      PutLe32(&page[8], kMark);
      return ReturnBytes(r, page);
    }
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
      return ReturnBytes(r, state.securityBlock);
    case Op::kSecurityWrite:
      if (r.data.size() != kPage || std::memcmp(r.data.data(), "SCID", 4) != 0) return SetStatus(r, nvme_status::kInvalidField);
      std::copy_n(r.data.begin(), kPage, state.securityBlock.begin());
      return;
    case Op::kVpdRead:
      if (!state.vpdReady) return SetStatus(r, nvme_status::kCommandSequenceError);
      return ReturnBytes(r, VpdPage(r.drive));
    case Op::kEventLog:
      return ReturnBytes(r, NextEventLogPage(r.drive.description().vendor, state.eventCursor));
    case Op::kReconstruction: {
      std::vector<uint8_t> page(kPage, 0);
      page[0] = kMark;
      page[1] = 100;
      page[2] = 1;
      return ReturnBytes(r, page);
    }
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
