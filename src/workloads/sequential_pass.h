// One walk over a byte range of a disk through a queue (platform/async_queue.h): requests of at most
// requestBytes, issued in offset order with one request in flight per buffer, and handed back in
// offset order, each only once all its bytes have moved. The commands that fill or search a range
// build on it: they stamp a request's buffer before it is issued and look at what it read once it
// is done, without caring in which order the device finished the requests.
//
// A request that moves fewer bytes than asked goes on from where it stopped (the rest of its buffer
// at the following offset); one that moves no whole sector fails, so that a device that keeps
// answering "done, nothing moved" cannot hold the walk for ever. A failed request ends the walk when
// the walk gets to it: the requests before it are still handed back, nothing after it is issued.
// A request still running timeoutMs after it was issued ends the walk as timed out.
//
// The walk owns the queue it is given. Before Run returns, every request it issued has completed
// and the queue is gone, or, when requests are stuck in a device that does not answer, the queue
// and the buffers went to the process's QueueReaper, which frees them only after the last of those
// requests has finished.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/async_queue.h"
#include "platform/host.h"
#include "platform/io_buffer.h"
#include "workloads/byte_range.h"

namespace kestrune::workloads {

// How long a request may take before the walk gives up on it.
inline constexpr uint32_t kRequestTimeoutMs = 180000;

// One request through queue, waited for: how it ended (kOk only when it moved every byte asked; a
// short transfer is kFailed), or nullopt when it was still running after timeoutMs (it stays in
// flight: the caller hands the queue to the QueueReaper).
std::optional<platform::IoStatus> SubmitAndWait(platform::AsyncQueue& queue, platform::Host& host,
                                                const platform::IoRequest& request,
                                                uint32_t timeoutMs = kRequestTimeoutMs);

struct PassPlan {
  platform::IoOp op = platform::IoOp::kRead;  // kRead or kWrite
  ByteRange range;                            // sector-aligned, inside the queue's target
  uint32_t requestBytes = 0;                  // the most one request moves; a multiple of the sector size
  uint32_t timeoutMs = kRequestTimeoutMs;
};

enum class PassEnd {
  kDone,       // every byte of the range moved
  kCancelled,  // the cancel flag was seen
  kStopped,    // the done callback asked to stop
  kFailed,     // a request could not be issued, failed, or moved no whole sector
  kTimedOut,   // a request did not finish within timeoutMs
};

struct PassResult {
  PassEnd end = PassEnd::kDone;
  // kFailed, kTimedOut: the offset of the request that failed (where its unmoved bytes start).
  // Otherwise: the first byte not yet handed back (range.end when done).
  uint64_t offset = 0;
  platform::IoStatus status = platform::IoStatus::kOk;  // kFailed: how the request ended
};

class SequentialPass {
 public:
  // Called just before a request is issued, with its part of a buffer and its offset (a write
  // stamps its sector marks here).
  using Prepare = std::function<void(std::span<uint8_t> data, uint64_t offset)>;
  // Called in offset order once a request has moved all its bytes; false stops the walk.
  using Done = std::function<bool(std::span<const uint8_t> data, uint64_t offset)>;

  // buffers: one per request in flight (at most the queue's depth), each at least requestBytes.
  // cancel: looked at after each request handed back and between completions; may be null.
  SequentialPass(platform::Host& host, std::vector<std::shared_ptr<platform::IoBuffer>> buffers,
                 const std::atomic<bool>* cancel);

  PassResult Run(std::unique_ptr<platform::AsyncQueue> queue, const PassPlan& plan, const Prepare& prepare,
                 const Done& done);

 private:
  struct Slot {
    uint64_t offset = 0;  // where the request starts
    uint32_t length = 0;  // bytes it moves in all
    uint32_t moved = 0;   // bytes moved so far
    uint64_t issuedMs = 0;
    enum class State { kFree, kBusy, kDone, kFailed } state = State::kFree;
    platform::IoStatus status = platform::IoStatus::kOk;  // kFailed: how it ended
  };

  bool Issue(platform::AsyncQueue& queue, size_t index);
  void Finish(std::unique_ptr<platform::AsyncQueue> queue, bool stuck);

  platform::Host& host_;
  std::vector<std::shared_ptr<platform::IoBuffer>> buffers_;
  const std::atomic<bool>* cancel_;
  std::vector<Slot> slots_;
  PassPlan plan_;
};

}  // namespace kestrune::workloads
