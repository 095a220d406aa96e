// The layouts of the blocks the maker's reading commands get back, in one place: where each count
// and size stands, and the bounds every size taken from a drive must keep. Portable: nothing here
// sends.
//
// Crash dump (ReadBlock 8, 4096 bytes a read; the first block carries the dump header at bytes
// 3072-3455):
//   header +0   dword  0x5A5B5C5D
//   header +4   dword  number of sections, 1 to kMaxDumpSections
//   header +8   dword  the size in bytes of each section, one after another
//   The dump is 4096 bytes per section plus each section's size rounded up to 4096, the first
//   block included.
// Crash dump through log page 07h: bytes 4092-4095 of its first page are the dump's length in bytes
//   (a signed dword: 0 or less, no dump); the following reads of the page return the dump.
// Critical log (ReadBlock 11, 4096 bytes a read, by byte offset on the FC/FD/FE set):
//   +0  "CLOG"   +8 qword the log's length in bytes, this page included   +16 dword entries
//   entries of 16 bytes from byte 64: qword power-on seconds, dword event code, dword parameter.
// Grown defect list (4096 bytes): +0 5Ah, +2 word entries; entries of 8 bytes from byte 16:
//   channel, CE, LUN, plane (a byte each), word block, word reserved.
// VPD data (4096 bytes): Manufacturer at 0 (32 characters), PN at 32 (32), Model Number at 64
//   (40), Serial Number at 104 (20).
// Drive-information page (DriveInformation with CDW13 the source page, 4096 bytes): the layout
//   word at 280, the activation hint dword at 300 (vendor_channel.cpp) and the items of
//   kDriveInfoItems: FW_Base byte at 1576, Soc_ID word at 1582, Origin_FW_Name 8 characters at
//   1606, Nand_ID 8 bytes at 1616, Cpu_Clk and Nand_Clk dwords (MHz) at 1624 and 1628.
// Security id block (4096 bytes): "SCID" at 0, the MSID at 16 and the PSID at 48, 32 characters
//   each, zero-padded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kestrune::devcmd {

inline constexpr size_t kVendorBlock = 4096;
// No dump or log taken from a drive's header is read past this.
inline constexpr uint64_t kMaxVendorDumpBytes = 4ull << 30;

inline constexpr size_t kDumpHeaderAt = 3072, kDumpHeaderEnd = 3456;
inline constexpr uint32_t kDumpSignature = 0x5A5B5C5D;
inline constexpr uint32_t kMaxDumpSections = (kDumpHeaderEnd - kDumpHeaderAt - 8) / 4;
inline constexpr size_t kLogDumpLengthAt = 4092;

// A size read from a drive: code 1 with bytes, or -90 (no signature, a count out of range, more than
// kMaxVendorDumpBytes).
struct DriveSize {
  int32_t code = 1;
  uint64_t bytes = 0;
};

// The crash dump's length from its first block; block shorter than 4096 bytes: -90.
bool HasDumpHeader(std::span<const uint8_t> block);
DriveSize CrashDumpLength(std::span<const uint8_t> block);

inline constexpr size_t kCriticalLengthAt = 8, kCriticalCountAt = 16, kCriticalEntriesAt = 64, kCriticalEntry = 16;
struct CriticalEntry {
  uint64_t seconds = 0;
  uint32_t code = 0, parameter = 0;
};
// The critical log's length from its first page: -90 without "CLOG", below one page or above the
// bound.
DriveSize CriticalLogLength(std::span<const uint8_t> page);
// The entries the log holds, read only where its length covers them; -90 when the count runs past it.
int32_t CriticalLogEntries(std::span<const uint8_t> log, std::vector<CriticalEntry>& entries);

inline constexpr size_t kDefectCountAt = 2, kDefectEntriesAt = 16, kDefectEntry = 8;
inline constexpr size_t kMaxDefects = (kVendorBlock - kDefectEntriesAt) / kDefectEntry;
struct GrownDefect {
  uint8_t channel = 0, ce = 0, lun = 0, plane = 0;
  uint16_t block = 0;
};
// -90 without the mark or with more entries than the page holds. The factory defect list of the
// manufacturing record (DriveInformation source 1, CDW14 the page) has the same layout.
int32_t GrownDefects(std::span<const uint8_t> page, std::vector<GrownDefect>& defects);
// "CH %u  CE %u  LUN %u  Plane %u  Block %u"
std::string DefectLine(const GrownDefect& d);

struct VpdField {
  const char* name;
  size_t offset, size;
};
inline constexpr VpdField kVpdFields[] = {
    {"Manufacturer", 0, 32}, {"PN", 32, 32}, {"Model Number", 64, 40}, {"Serial Number", 104, 20}};

enum class DriveInfoKind : uint8_t { kFirmwareBase, kHex16, kText8, kBytes8, kDecimal32 };
struct DriveInfoItem {
  const char* name;
  size_t offset;
  DriveInfoKind kind;
};
inline constexpr DriveInfoItem kDriveInfoItems[] = {
    {"FW_Base", 1576, DriveInfoKind::kFirmwareBase}, {"Soc_ID", 1582, DriveInfoKind::kHex16},
    {"Origin_FW_Name", 1606, DriveInfoKind::kText8}, {"Nand_ID", 1616, DriveInfoKind::kBytes8},
    {"Cpu_Clk", 1624, DriveInfoKind::kDecimal32},    {"Nand_Clk", 1628, DriveInfoKind::kDecimal32},
};
// "0x01  |  Programmer", "0x02  |  RDT", "0x03  |  FTK", others "0x%02X  |  Unknown".
std::string FirmwareBaseText(uint8_t base);

inline constexpr size_t kSecurityMsidAt = 16, kSecurityPsidAt = 48, kSecurityIdChars = 32;

}  // namespace kestrune::devcmd
