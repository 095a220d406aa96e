// Failure injection for one simulated drive: what goes wrong, on which requests, and how often.
// A FaultPlan is plain data; the drive applies it (SimDrive::Admit) and counts it down.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace kestrune::sim {

// Request kinds, as bits, that a fault can be aimed at.
namespace request {
inline constexpr uint32_t kRead = 1;
inline constexpr uint32_t kWrite = 2;
inline constexpr uint32_t kFlush = 4;
inline constexpr uint32_t kTrim = 8;
inline constexpr uint32_t kPassThrough = 16;  // SCSI CDBs, ATA task files, NVMe commands
inline constexpr uint32_t kAll = 31;
}  // namespace request

// "read, write, flush, trim, passthrough" (any subset, separated by commas or blanks) or "all";
// nullopt when a word is none of these or the text is empty.
std::optional<uint32_t> ParseRequestKinds(std::string_view text);
// The words of kinds in the order above, joined with ", " ("all" for every kind, "none" for 0).
std::string RequestKindsText(uint32_t kinds);

struct FaultPlan {
  // Opening any path of the drive fails. failOpenCount 0: every open; N: the next N opens only.
  bool failOpen = false;
  uint32_t failOpenCount = 0;

  // Requests of these kinds fail (read/write give no bytes, flush/trim false, pass-through kFailed).
  // failRequestsCount 0: every such request; N: the next N only.
  uint32_t failRequests = 0;
  uint32_t failRequestsCount = 0;

  // Logical sectors that cannot be read: a read that touches one fails on every route (sector
  // I/O fails, NVMe Unrecovered Read Error, ATA UNC, SCSI MEDIUM ERROR). Writing does not mend them.
  std::set<uint64_t> mediaErrorLbas;

  // Reads and/or writes move fewer bytes than asked and still report success. shortTransferBytes
  // is the most a request moves (rounded down to whole sectors); 0 moves half the request.
  uint32_t shortTransfer = 0;
  uint64_t shortTransferBytes = 0;

  // Every request of stallRequests waits stallMs milliseconds of host time before it runs. A
  // pass-through request whose timeout is shorter than the stall ends as a timeout instead.
  uint32_t stallMs = 0;
  uint32_t stallRequests = request::kAll;

  // The drive is absent from the start (unplugged), or goes away right after it has served
  // unplugAfterRequests requests (0: never). An unplugged drive comes back returnAfterSeconds of
  // host time after it went away; without a value it stays away until SimDrive::Replug.
  bool unplugged = false;
  uint32_t unplugAfterRequests = 0;
  std::optional<uint32_t> returnAfterSeconds;
};

}  // namespace kestrune::sim
