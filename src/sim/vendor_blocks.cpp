#include "sim/vendor_blocks.h"

#include <algorithm>
#include <cstring>

#include "base/bytes.h"
#include "base/crc.h"
#include "base/text.h"
#include "sim/nvme_controller.h"

namespace kestrune::sim {
namespace {

using base::PutLe16;
using base::PutLe32;
constexpr size_t kPage = kVendorPage;

void PutFirmware(SimDrive& drive, std::vector<uint8_t>& page, size_t at) {
  const std::string& fw = drive.controller().firmwareRevision();
  std::memcpy(&page[at], fw.data(), std::min<size_t>(fw.size(), 8));
}

// The crash dump: three sections of the drive's CrashDumpKiB together; the header in the first
// block at 3072 (signature, section count, the sizes); the dump is a block per section plus each
// section rounded up to whole blocks.
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

// Margins of the lanes measured (X1, X2, Y1, Y2; the second and fourth as negative counts), then
// the extended counters and PHY values from dword 64 on.
std::vector<uint8_t> LaneMarginPage(uint32_t lanes) {
  std::vector<uint8_t> page(kPage, 0);
  for (uint32_t j = 0; j < lanes; ++j) {
    PutLe32(&page[16 * j], 20 + j);
    PutLe32(&page[16 * j + 4], 18);
    PutLe32(&page[16 * j + 8], 22);
    PutLe32(&page[16 * j + 12], 19 + j);
  }
  for (uint32_t i = 64; i < 120; ++i) PutLe32(&page[4 * i], i - 64);
  return page;
}

}  // namespace

std::vector<uint8_t> ConfigPage(SimDrive& drive) {
  std::vector<uint8_t> page(kPage, 0);
  page[0] = kVendorMark;
  PutLe16(&page[2], drive.description().vendor.socId);
  PutFirmware(drive, page, 32);
  return page;
}

std::vector<uint8_t> DriveInfoPage(SimDrive& drive) {
  const VendorDescription& v = drive.description().vendor;
  std::vector<uint8_t> page(kPage, 0);
  PutLe16(&page[280], v.configPage ? 4096 : 1768);
  PutLe32(&page[300], v.aux);
  // The firmware base (FTK), controller, original firmware, NAND id and clocks.
  page[1576] = 3;
  PutLe16(&page[1582], v.socId);
  PutFirmware(drive, page, 1606);
  const uint8_t nandId[8] = {0x2C, 0xA4, 0x64, 0x32, 0xAA, 0x04, 0x00, 0x00};
  std::memcpy(&page[1616], nandId, 8);
  PutLe32(&page[1624], 800);
  PutLe32(&page[1628], 400);
  return page;
}

std::vector<uint8_t> LegacyDriveInfoPage(SimDrive& drive) {
  std::vector<uint8_t> page(kPage, 0);
  PutFirmware(drive, page, 50);
  return page;
}

std::vector<uint8_t> DumpBytes(uint64_t block) {
  std::vector<uint8_t> b(kPage);
  for (size_t i = 0; i < kPage; ++i) b[i] = static_cast<uint8_t>((block * kPage + i) * 13 >> 2);
  return b;
}

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

std::vector<uint8_t> DefectPage(uint16_t count, uint16_t firstBlock) {
  std::vector<uint8_t> page(kPage, 0);
  page[0] = kVendorMark;
  PutLe16(&page[2], count);
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t where[4] = {static_cast<uint8_t>(1 + 2 * i), static_cast<uint8_t>(i & 1), static_cast<uint8_t>(1 - (i & 1)),
                              static_cast<uint8_t>(i & 1)};
    std::memcpy(&page[16 + 8 * i], where, 4);
    PutLe16(&page[20 + 8 * i], static_cast<uint16_t>(firstBlock + 0x101 * i));
  }
  return page;
}

std::vector<uint8_t> GrownDefectPage() { return DefectPage(2, 0x123); }

std::optional<std::vector<uint8_t>> DriveInfoSource(SimDrive& drive, uint32_t source, uint32_t page) {
  if (source == 2 && page < 2) return DefectPage(page == 0 ? 3 : 0, 0x40);
  if (source != 0) return std::nullopt;
  return DriveInfoPage(drive);
}

std::vector<uint8_t> NextEventLogPage(SimDrive& drive) {
  const VendorDescription& v = drive.description().vendor;
  uint64_t& cursor = drive.controller().vendor.eventCursor;
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

std::vector<uint8_t> OtpUidPage(SimDrive& drive) {
  std::vector<uint8_t> page(kPage, 0);
  const std::string& serial = drive.description().serial;
  const uint32_t crc = base::Crc32(std::span(reinterpret_cast<const uint8_t*>(serial.data()), serial.size()));
  PutLe32(&page[0], crc);
  PutLe32(&page[4], drive.description().vendor.socId);
  PutLe32(&page[8], kVendorMark);
  return page;
}

std::vector<uint8_t> ReconstructionPage() {
  std::vector<uint8_t> page(kPage, 0);
  page[0] = kVendorMark;
  page[1] = 100;
  page[2] = 1;
  return page;
}

std::optional<std::vector<uint8_t>> ReadVendorBlock(SimDrive& drive, uint32_t k,
                                                    std::optional<uint64_t> criticalOffset) {
  VendorState& state = drive.controller().vendor;
  switch (k) {
    case 1:
      return std::vector<uint8_t>(state.configBlock.begin(), state.configBlock.end());
    case 3: {
      if (!drive.description().vendor.configPage) return std::nullopt;
      std::vector<uint8_t> page = ConfigPage(drive);
      if (state.brandNewPolls > 0) {
        page[1] = 0xFF;
        if (state.brandNewPolls != UINT32_MAX) --state.brandNewPolls;
      }
      return page;
    }
    case 7:
      return LaneMarginPage(state.marginLanes);
    case 8:
      if (drive.description().vendor.crashDumpLogPage) return std::nullopt;
      return CrashDumpBlock(drive, state.dumpCursor);
    case 11: {
      if (criticalOffset && *criticalOffset % kPage != 0) return std::nullopt;
      const uint64_t index = criticalOffset ? *criticalOffset / kPage : state.criticalCursor;
      if (!criticalOffset) state.criticalCursor = (state.criticalCursor + 1) % kCriticalPages;
      return CriticalLogPage(index);
    }
    default:
      return std::nullopt;
  }
}

bool WriteVendorBlock(SimDrive& drive, uint32_t k, std::span<const uint8_t> data, uint32_t crc) {
  VendorState& state = drive.controller().vendor;
  if (data.size() < kPage) return false;
  if (k == 7) {  // the lane margin run: dword 0 names the lanes to measure
    state.marginLanes = std::min<uint32_t>(base::GetLe32(data.data()), 16);
    return true;
  }
  if (k != 1 || std::memcmp(data.data(), "CONF", 4) != 0) return false;
  const std::span<const uint8_t> block = data.first(kPage);
  if (crc != (drive.description().vendor.crc32c ? base::Crc32c(block) : base::Crc32(block))) return false;
  std::copy(block.begin(), block.end(), state.configBlock.begin());
  return true;
}

std::vector<uint8_t> SecurityBlock(SimDrive& drive) {
  const auto& block = drive.controller().vendor.securityBlock;
  return std::vector<uint8_t>(block.begin(), block.end());
}

bool WriteSecurityBlock(SimDrive& drive, std::span<const uint8_t> data) {
  if (data.size() != kPage || std::memcmp(data.data(), "SCID", 4) != 0) return false;
  std::copy_n(data.begin(), kPage, drive.controller().vendor.securityBlock.begin());
  return true;
}

void RunVendorAction(SimDrive& drive, VendorAction action, uint32_t mode) {
  NvmeControllerState& c = drive.controller();
  VendorState& state = c.vendor;
  switch (action) {
    case VendorAction::kBrandNew:
      state.brandNewPolls = drive.description().vendor.brandNewPolls;
      c.health = HealthCounters{};
      return;
    case VendorAction::kFtlVirgin:
      ++state.ftlVirgins;
      return;
    case VendorAction::kCleanSmart:
      c.health = HealthCounters{};
      return;
    case VendorAction::kForceMode:
      state.forcedMode = mode;
      if (mode == 1) state.killed = false;
      return;
    case VendorAction::kKill:
      state.killed = true;
      return;
    case VendorAction::kKeepFrb:
      state.keepFrb = true;
      return;
    case VendorAction::kCleanEventLog:
      ++state.eventLogCleans;
      return;
    case VendorAction::kTrainDdrEye:
      ++state.ddrTrainings;
      return;
  }
}

}  // namespace kestrune::sim
