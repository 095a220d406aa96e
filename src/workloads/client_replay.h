// The replay of the client master trace on the target, from its first line, up to 32 requests in
// flight through one queue: writes (their data taken from the trace text itself), trims and flushes,
// each placed by the chunk map. It ends at the end of the trace, at the transfer or time limit, on
// the view's cancel flag or at the first failed request.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/async_queue.h"
#include "platform/host.h"
#include "workloads/client_chunk_map.h"
#include "workloads/client_trace.h"

namespace kestrune::workloads {

struct ReplaySetup {
  std::string_view text;  // the whole trace
  const ClientChunkMap* map = nullptr;
  uint64_t requestLines = 0;  // lines of the trace that are requests (for the progress)
  uint64_t limitBytes = 0;    // ends once the lines taken move this much; 0 = no limit
  uint32_t limitTimeSec = 0;  // 0 = no limit
  const std::atomic<bool>* cancel = nullptr;
};

class ReplayHooks {
 public:
  virtual ~ReplayHooks() = default;
  virtual std::unique_ptr<platform::AsyncQueue> OpenQueue(uint32_t depth, std::string& why) = 0;
  virtual void ShowStatus(std::string_view text) = 0;
  // A write or trim was issued at offset (bytes): for the coverage map.
  virtual void Touched(uint64_t offset, uint64_t bytes) = 0;
};

struct ReplayOutcome {
  int32_t code = 1;         // 1; -1 open, -4 write, -74 trim or flush, -76 no answer in 180 s, -83 memory
  TraceStats stats;         // of the lines replayed
  uint64_t lastOffset = 0;  // the failing request's byte offset
  std::string why;          // -1: why the target did not open
  std::vector<std::string> notes;
};

ReplayOutcome ReplayTrace(const ReplaySetup& setup, ReplayHooks& hooks, platform::Host& host);

// Where a write's data starts in the trace text: the draw (below 32 KiB) rounded down to 4096, kept
// inside the text's whole pages (0 for a text shorter than two pages).
uint64_t TraceDataOffset(uint32_t draw, uint64_t textBytes);

// "%s Time: %I64d sec | TxSize: %d.%02d GB | Progress: %d%%".
std::string ReplayStatusLine(char spinner, uint64_t seconds, uint64_t bytes, uint32_t percent);

}  // namespace kestrune::workloads
