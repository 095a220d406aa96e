// Failure injection for one simulated drive: what goes wrong, on which requests, and how often.
// A FaultPlan is plain data; the drive applies it (SimDrive::Admit) and counts it down.
#pragma once

#include <cstdint>
#include <map>
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

// "OPCODE[=ERROR]" items separated by commas or blanks ("0xF4, 0x25=0x40"): the ATA commands that
// fail and the ERROR register value they fail with (04h, ABRT, when not given). nullopt when an item
// does not read.
std::optional<std::map<uint8_t, uint8_t>> ParseAtaFailures(std::string_view text);

// The phases of the USB bridges' NVMe carriages, as bits: the command, data and completion phases
// of the three-phase forms, and the one CDB of the single forms (ASMedia E6h, RTL9210 E4h/E5h).
namespace bridge_phase {
inline constexpr uint32_t kCommand = 1;
inline constexpr uint32_t kData = 2;
inline constexpr uint32_t kCompletion = 4;
inline constexpr uint32_t kSingle = 8;
inline constexpr uint32_t kAll = 15;
}  // namespace bridge_phase

// "command, data, completion, single" (any subset) or "all"; nullopt otherwise.
std::optional<uint32_t> ParseBridgePhases(std::string_view text);

// The key of an NVMe command in FaultPlan::nvmeFailures: queue (0 admin, 1 I/O) << 8 | opcode.
inline uint16_t NvmeFaultKey(bool ioQueue, uint8_t opcode) {
  return static_cast<uint16_t>((ioQueue ? 0x100 : 0) | opcode);
}
inline constexpr uint16_t kInjectedNvmeStatus = 0x0006;  // Internal Error

// "[io:]OPCODE[=STATUS]" items separated by commas or blanks ("0x06, io:0x09=0x0281"; numbers
// decimal or 0x-hexadecimal): the commands that
// fail and the status field (SCT << 8 | SC) they complete with, Internal Error when not given.
// nullopt when an item does not read.
std::optional<std::map<uint16_t, uint16_t>> ParseNvmeFailures(std::string_view text);

// The bytes a short transfer of asked bytes moves: at most cap (half the request when cap is 0), in
// whole sectors.
uint64_t ShortLength(uint64_t asked, uint64_t cap, uint32_t sectorSize);

struct FaultPlan {
  // The lab's partition tool: partitionToolExit non-zero, the tool ends with that exit code and
  // changes nothing; partitionNoLetter, a create leaves its volumes without drive letters;
  // partitionFormatFails, a create writes the table but its formatting fails.
  uint32_t partitionToolExit = 0;
  bool partitionNoLetter = false;
  bool partitionFormatFails = false;

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
  // Transient media errors: LBA -> reads left to fail. A read that touches such a sector fails as
  // above and counts down every transient sector it touches; at 0 the sector reads clean again.
  std::map<uint64_t, uint32_t> transientMediaErrors;

  // One bit of a sector goes wrong once: bitFlipReads on the read path (the next read of that LBA
  // returns the sector's middle byte with bit 0 flipped while the medium keeps it right),
  // bitFlipWrites in the stored data (the next write of that LBA stores the byte flipped, and every
  // later read sees it).
  std::set<uint64_t> bitFlipReads;
  std::set<uint64_t> bitFlipWrites;

  // Writes that report success and do not store what they said, once per listed LBA, each the next
  // write that covers it: a lost write stores nothing; a torn write stores only its sectors before
  // that LBA; a misdirected write (LBA -> other LBA) lands shifted by the difference, and its own
  // sectors keep their old contents.
  std::set<uint64_t> lostWrites;
  std::set<uint64_t> tornWrites;
  std::map<uint64_t, uint64_t> misdirectedWrites;

  // The seed of the drive's one generator that every random choice of the injected faults draws
  // from (which cached writes a power cut destages, where an in-flight write tears, the order in
  // which the lab queue applies requests due together, queue jitter). Without one the generator
  // starts from the host's random source. Setting a plan with a seed restarts the generator.
  std::optional<uint64_t> seed;

  // A flush (every route) reports success and destages nothing: the volatile cache keeps its writes
  // until the drive destages on its own (a full cache) or a power cut loses them.
  bool ignoreFlush = false;

  // What a trimmed LBA reads back: zeros, all 0xFF bytes, or its old data (the trim changes nothing).
  enum class TrimRead : uint8_t { kZero, kOnes, kOld };
  TrimRead trimReads = TrimRead::kZero;

  // A power cut of the drive alone, after it has served powerCutAfterRequests requests or when
  // powerCutAfterMs milliseconds of host time have passed since the plan was set (0: never; each
  // fires once). At the cut the volatile cache is lost but for a random subset of its writes that
  // the drive had destaged; queued requests in flight fail, and an in-flight write has stored its
  // sectors before a random one (torn). Every request then fails until the power returns,
  // returnAfterSeconds later, or on SimDrive::Replug without it. Handles stay open.
  uint32_t powerCutAfterRequests = 0;
  uint32_t powerCutAfterMs = 0;

  // Reads and/or writes move fewer bytes than asked and still report success. shortTransferBytes
  // is the most a request moves (rounded down to whole sectors); 0 moves half the request.
  uint32_t shortTransfer = 0;
  uint64_t shortTransferBytes = 0;

  // Every request of stallRequests waits stallMs milliseconds of host time before it runs. A
  // pass-through request whose timeout is shorter than the stall ends as a timeout instead.
  uint32_t stallMs = 0;
  uint32_t stallRequests = request::kAll;

  // Slow requests: every slowEvery-th request the drive admits (of any kind, counted from the plan's
  // start) takes slowUs microseconds longer. A queued request completes that much later; a
  // synchronous one waits that long first (in whole milliseconds of host time, rounded up).
  uint32_t slowEvery = 0;
  uint32_t slowUs = 0;

  // NVMe commands (by NvmeFaultKey) that complete with the given status instead of running, on
  // every route. nvmeFailuresCount 0: every time; N: the next N such commands only.
  std::map<uint16_t, uint16_t> nvmeFailures;
  uint32_t nvmeFailuresCount = 0;

  // ATA commands (by command code) that fail with the given ERROR register value (ABRT when not
  // given) instead of running, on every route. ataFailuresCount 0: every time; N: the next N only.
  std::map<uint8_t, uint8_t> ataFailures;
  uint32_t ataFailuresCount = 0;

  // SMART pages that come back with a wrong checksum: 1 the attribute page (READ DATA), 2 the
  // threshold page.
  uint32_t smartBadChecksum = 0;

  // Firmware updates of NVMe drives. firmwareFailPiece N (1-based, counted over the drive): the Nth
  // Firmware Image Download fails with firmwareFailStatus, or unplugs the drive when
  // firmwareFailUnplug. firmwareCommitStatus: a commit that activates completes with this status
  // (01xBh, 0110h, 0111h: the image is committed and waits for that reset). firmwareKeepsOld: an
  // activation leaves the old firmware running.
  uint32_t firmwareFailPiece = 0;
  uint16_t firmwareFailStatus = 0x0006;
  bool firmwareFailUnplug = false;
  uint16_t firmwareCommitStatus = 0;
  bool firmwareKeepsOld = false;

  // Phases of the bridges' NVMe carriages (bridge_phase bits) that answer CHECK CONDITION
  // (bridgeCheckPhases) or fail as requests (bridgeFailPhases). bridgeFailuresCount 0: every time;
  // N: the next N failing phases only.
  uint32_t bridgeCheckPhases = 0;
  uint32_t bridgeFailPhases = 0;
  uint32_t bridgeFailuresCount = 0;

  // The drive is absent from the start (unplugged), or goes away right after it has served
  // unplugAfterRequests requests (0: never). An unplugged (or power-cut) drive comes back
  // returnAfterSeconds of host time after it went away; without a value it stays away until
  // SimDrive::Replug.
  bool unplugged = false;
  uint32_t unplugAfterRequests = 0;
  std::optional<uint32_t> returnAfterSeconds;
};

// "zero", "ff" or "old" (any case); nullopt otherwise.
std::optional<FaultPlan::TrimRead> ParseTrimRead(std::string_view text);

// "LBA=LBA" items separated by commas or blanks ("0x100=0x80, 300=200"): each write that covers
// the first lands at the second. nullopt when an item does not read or lbaCount is passed.
std::optional<std::map<uint64_t, uint64_t>> ParseLbaMoves(std::string_view text, uint64_t lbaCount);

}  // namespace kestrune::sim
