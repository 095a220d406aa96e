// The maker drive's event log: its layout, the bounds a length read from the drive must keep, and
// the decoder that turns the saved log into lines. Portable: nothing here sends.
//
// Event log (the event-log command, 4096 bytes a read; every read returns the next page):
//   +0   "ELOG"
//   +8   qword  the log's length in bytes, this first page included (whole pages)
//   +16  dword  entries
//   entries of 16 bytes from byte 64, running on over the following pages:
//        +0 qword power-on seconds, +8 word event id, +10 byte severity (0 information,
//        1 warning, 2 error, others shown by number), +11 reserved, +12 dword parameter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "devcmd/vendor_layouts.h"

namespace kestrune::devcmd {

inline constexpr size_t kEventLengthAt = 8, kEventCountAt = 16, kEventEntriesAt = 64, kEventEntry = 16;
// The whole log is held in memory to be decoded: no drive's header takes it past this.
inline constexpr uint64_t kMaxEventLogBytes = 256ull << 20;

struct EventEntry {
  uint64_t seconds = 0;
  uint16_t id = 0;
  uint8_t severity = 0;
  uint32_t parameter = 0;
};

// True when the page starts with "ELOG".
bool HasEventLogHeader(std::span<const uint8_t> page);
// The log's length from its first page: -90 without the header, below one page, not whole pages
// or above kMaxEventLogBytes.
DriveSize EventLogLength(std::span<const uint8_t> page);
// The entries, read only where the log covers them: -90 when the count runs past its length.
int32_t EventLogEntries(std::span<const uint8_t> log, std::vector<EventEntry>& entries);
// True when a log that names entries holds nothing but zeros past its header fields: what a drive
// gives when its log was never written out.
bool EventLogIsZero(std::span<const uint8_t> log);
// "[%05zu] PowerOn %10llu s  Event 0x%04X  Error    Param 0x%08X" (severity padded to 8).
std::string EventLine(size_t index, const EventEntry& e);

}  // namespace kestrune::devcmd
