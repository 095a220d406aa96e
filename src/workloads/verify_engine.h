// The verify engine behind Compare_SeqReadWrite and Compare_RandReadWrite: QD threads, each with a
// queue of one request, write blocks with the pattern and long marks (LBA and write sequence), mix
// in trims, FUA writes and flushes, read every n-th block back and stop at the first miscompare,
// classified by a second read one second later (-70 gone, -71 still there). The hand-out
// (verify_handout.h) keeps two threads off one block.
//
// Every wait for the drive is bounded: 180 s per request (-76); a thread asked to stop cancels its
// request and, when the drive does not give it back within 10 s, leaves it to the QueueReaper with its
// buffers. The coordinator (the caller) posts the status line once a second.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/async_queue.h"
#include "platform/host.h"
#include "workloads/compare_report.h"
#include "workloads/verify_handout.h"

namespace kestrune::workloads {

struct VerifyRun {
  VerifySettings settings;
  uint32_t sectorSize = 512;
  uint32_t pattern = 0;      // the write pattern value ("AUTO" draws anew for every write)
  uint32_t nWrite1Read = 1;  // read back every n-th write or trim; 0 never
  std::string outputBase;    // for the dumps of a miscompare
  const std::atomic<bool>* cancel = nullptr;
};

// What the engine needs from its command.
class VerifyHooks {
 public:
  virtual ~VerifyHooks() = default;
  // A queue of one request on the target, for one thread; called before the threads start.
  virtual std::unique_ptr<platform::AsyncQueue> OpenQueue(std::string& why) = 0;
  // The status line (coordinator only).
  virtual void ShowStatus(std::string_view text) = 0;
  // A block was handed out for writing (any thread): for the coverage map.
  virtual void Touched(uint64_t offset, uint64_t bytes) = 0;
};

struct VerifyOutcome {
  CompareReport report;  // code, the miscompare's place, cycle and percent
  uint64_t lastOffset = 0;  // the failing request's offset
  std::vector<std::string> notes;  // lines for the output (a read that failed twice or once)
};

VerifyOutcome RunVerify(const VerifyRun& run, VerifyHooks& hooks, platform::Host& host);

// "%s Cmd:%I64d sec   |   Cycle%d, Process:%d%%  ": the status line of the compare jobs.
std::string CompareStatusLine(char spinner, uint64_t seconds, uint32_t cycle, uint32_t percent);

// The index of the first sector where a and b differ (both of the same length); nullopt when equal.
std::optional<size_t> FirstDifferingSector(std::span<const uint8_t> a, std::span<const uint8_t> b,
                                           uint32_t sectorSize);

}  // namespace kestrune::workloads
