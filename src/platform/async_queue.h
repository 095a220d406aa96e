// The operating-system seam for queued block I/O: many requests in flight on one target (a disk, a
// volume or a file), issued and completed by the one thread that owns the queue, without blocking
// it. The job engines build on it: each worker owns one queue of a few slots, keeps them busy, and
// measures every request's latency from the ticks its completion carries.
//
// A queue is opened from the DeviceTree that lists the target (DeviceTree::OpenQueue in device.h),
// with a depth, the access and whether writes go through the system cache:
//
//   QueueOptions options;
//   options.depth = 32;                                      // requests in flight at most
//   std::string why;
//   std::unique_ptr<AsyncQueue> q = tree.OpenQueue(path, options, host, why);
//
// The life of one request: Submit() takes a request into a free slot and passes it to the system;
// the request is then in flight until Reap() or Wait() hands back its completion, which frees the
// slot. Every request that Submit() queued gives exactly one completion, whether it succeeded,
// failed, or was cancelled; nothing else ends a request. Requests in flight run in any order.
//
// Buffers. The queue never owns memory. A request's buffer (page-aligned, kIoAlignment) must stay
// valid from Submit() until its completion has been reaped, also when it was cancelled, and
// also when the queue went to a QueueReaper: the system may still read or write it until then. A
// buffer may be in several requests of several queues at once (a write pattern shared by every
// worker; reads into it that nobody checks); its owner frees it only after every queue that used it
// has drained (InFlight() == 0, or the reaper has finished that queue). IoBuffer (io_buffer.h) is
// the page-aligned, reference-counted memory that makes this easy.
//
// Forced stop. A worker that must stop at once, with requests the system has not finished (a
// stalled drive), hands its queue and a reference to its buffers to a QueueReaper and returns; the
// reaper cancels the requests, waits for every completion, then destroys the queue (the ring, the
// handles, the request blocks) and drops the buffer reference. The command does not wait for it.
//
// Thread safety. An AsyncQueue is used by one thread at a time: the worker that opened it, or the
// thread it hands the queue to (the reaper) with the usual happens-before of a hand-over. Different
// queues may be used at the same time from different threads, on the same target and over the same
// buffers. facts() does not change after the open and may be read from any thread.
//
// Time. issueTicks and completeTicks are Host::Ticks() of the host given to OpenQueue, so latency
// = completeTicks - issueTicks in units of 1/host.TickFrequency() s. The issue time is taken when
// the request has really reached the system (when io_uring_submit or ReadFile has returned), not
// when it was prepared; the completion time when the queue learned of the completion, which is
// never later than the Reap() or Wait() that returns it.
//
// Implementations:
//  - Linux (platform/linux/uring_queue.h): one io_uring ring per queue through liburing, the target
//    opened O_DIRECT and registered with the ring, buffers registered on request (RegisterBuffers),
//    a batch of requests submitted with one system call, completions peeked from the ring. FUA as
//    a write with RWF_DSYNC, flush as IORING_OP_FSYNC (data sync), trim as BLKDISCARD on a block
//    device or a punched hole in a file, done at once on the submitting thread (the kernels of
//    Debian 12 have no queued discard). Where io_uring cannot be set up (an old kernel, a container
//    that forbids it) the queue is a small pool of threads doing pread/pwrite, and facts().notice
//    says so (platform/linux/pool_queue.h).
//  - Windows (platform/win32/win32_queue.h): an overlapped handle (unbuffered unless asked
//    otherwise), one OVERLAPPED per slot, completions from an I/O completion port, CancelIoEx; FUA
//    through a second handle opened with FILE_FLAG_WRITE_THROUGH, trim by an overlapped
//    IOCTL_STORAGE_MANAGE_DATA_SET_ATTRIBUTES, flush by FlushFileBuffers (at once).
//  - The simulated lab (sim/sim_queue.h): an in-process queue on a simulated drive, driven by the
//    host clock (a FakeHost's virtual clock makes every latency and stall cost no real time), with
//    the drive's latency model and injected faults.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/device.h"

namespace kestrune::platform {

// Every buffer of a request starts on a multiple of this (a page: enough for unbuffered I/O with
// any sector size a drive reports).
inline constexpr size_t kIoAlignment = 4096;
// The most bytes one read or write moves.
inline constexpr uint64_t kMaxTransferBytes = uint64_t{1} << 30;
// The largest depth a queue has.
inline constexpr uint32_t kMaxQueueDepth = 1024;

enum class IoOp : uint8_t {
  kRead,      // length bytes at offset into data
  kWrite,     // length bytes from data at offset
  kWriteFua,  // the same, with forced unit access: the data is on the medium when it completes
  kTrim,      // deallocates length bytes at offset (reads of them give zeros or old data, as the
              // device chooses); data is not used
  kFlush,     // writes the device's volatile cache to the medium; offset, length and data unused
};

// One request. offset and length are multiples of the target's sector size (facts().sectorSize)
// and lie inside the target (offset + length <= facts().lengthBytes); reads and writes move at
// most kMaxTransferBytes from a buffer that starts on kIoAlignment. tag is the caller's: it comes
// back in the completion and names the request for Cancel(); tags need not be unique.
struct IoRequest {
  IoOp op = IoOp::kRead;
  uint64_t offset = 0;
  uint64_t length = 0;
  uint8_t* data = nullptr;  // a write only reads it
  uint64_t tag = 0;

  static IoRequest Read(uint64_t offset, std::span<uint8_t> into, uint64_t tag) {
    return {IoOp::kRead, offset, into.size(), into.data(), tag};
  }
  static IoRequest Write(uint64_t offset, std::span<const uint8_t> from, uint64_t tag, bool fua = false) {
    return {fua ? IoOp::kWriteFua : IoOp::kWrite, offset, from.size(), const_cast<uint8_t*>(from.data()),
            tag};
  }
  static IoRequest Trim(uint64_t offset, uint64_t length, uint64_t tag) {
    return {IoOp::kTrim, offset, length, nullptr, tag};
  }
  static IoRequest Flush(uint64_t tag) { return {IoOp::kFlush, 0, 0, nullptr, tag}; }
};

// How a request ended.
enum class IoStatus : uint8_t {
  kOk,            // done; bytes says how much moved (fewer than asked only when the device said so)
  kCancelled,     // ended by Cancel() before the device did it (a write may or may not have landed)
  kFailed,        // the system or the device reported an error (systemError has it)
  kMediaError,    // the device could not read the data (an unrecovered read error)
  kNotSupported,  // the target cannot do this (a trim on a device without deallocation)
  kGone,          // the device went away (unplugged, removed, disabled)
};

// "ok", "cancelled", "failed", "media error", "not supported", "gone".
const char* IoStatusText(IoStatus status);

struct IoCompletion {
  uint64_t tag = 0;
  IoOp op = IoOp::kRead;
  IoStatus status = IoStatus::kOk;
  uint64_t bytes = 0;          // kOk: bytes read or written, the trimmed length, 0 for a flush; else 0
  int32_t systemError = 0;     // the system's error value (errno on Linux, a Win32 error) when it gave
                               // one; 0 from the lab and for kOk and kCancelled
  uint64_t issueTicks = 0;     // Host::Ticks() when the request reached the system
  uint64_t completeTicks = 0;  // Host::Ticks() when the queue learned it was done; >= issueTicks
};

enum class SubmitStatus : uint8_t {
  kOk,       // every request was queued
  kFull,     // the request at index queued found no free slot: reap completions first
  kInvalid,  // the request at index queued breaks the rules of IoRequest, or writes or trims on a
             // queue opened for reading: nothing was done with it
};

struct SubmitResult {
  size_t queued = 0;  // the requests taken, from the front of the batch
  SubmitStatus status = SubmitStatus::kOk;
};

struct QueueOptions {
  uint32_t depth = 1;  // 1 to kMaxQueueDepth: requests in flight at most
  OpenAccess access = OpenAccess::kReadWrite;
  // Bypass the system's cache (O_DIRECT, FILE_FLAG_NO_BUFFERING). A file system that refuses it
  // gets a cached queue; facts().unbuffered tells.
  bool unbuffered = true;
  // Every write with forced unit access (O_DSYNC, FILE_FLAG_WRITE_THROUGH), as kWriteFua.
  bool writeThrough = false;
};

// What a queue is, fixed at its open.
struct QueueFacts {
  std::string mechanism;  // "io_uring", "thread pool", "overlapped", "lab"
  // Empty, or one sentence for the output when the queue stands in for the usual mechanism ("io_uring
  // is not available here (...); requests run on 4 threads with pread/pwrite"). Every queue of one
  // job gives the same text: print it once.
  std::string notice;
  uint32_t depth = 0;
  uint64_t lengthBytes = 0;  // the target's length at the open
  uint32_t sectorSize = 0;   // offsets and lengths are multiples of it
  bool unbuffered = false;
  bool writeThrough = false;
  bool readOnly = false;
};

class AsyncQueue {
 public:
  // Destroying a queue with requests in flight cancels them and waits for all their completions (as
  // CancelAll() and Drain() do), so it can block while a device stalls: hand such a queue to a
  // QueueReaper instead.
  virtual ~AsyncQueue() = default;

  virtual const QueueFacts& facts() const = 0;

  // Requests queued and not yet reaped (in flight, or done and waiting to be reaped); the free
  // slots are facts().depth minus this.
  virtual uint32_t InFlight() const = 0;

  // Takes requests from the front of the batch into free slots and passes them to the system, all
  // of them at once where the system allows (one io_uring_submit). Stops at the first request that
  // finds no free slot or breaks the rules (the result says which and why). A request the system
  // refuses at once is still queued: its completion reports the error. Never blocks on the device;
  // a trim or a flush that the system only does synchronously is done here, and its completion
  // waits to be reaped like any other.
  virtual SubmitResult Submit(std::span<const IoRequest> requests) = 0;
  SubmitResult Submit(const IoRequest& request) { return Submit(std::span<const IoRequest>(&request, 1)); }

  // Moves up to out.size() completions into out without waiting; returns how many.
  virtual size_t Reap(std::span<IoCompletion> out) = 0;

  // As Reap, but when no completion is ready waits up to timeoutMs milliseconds for one. Returns 0
  // when the time ran out, and at once when nothing is in flight. out must not be empty. A worker
  // whose slots are all busy waits here (a few milliseconds) rather than calling Reap in a loop: on
  // a machine of two processors a spinning worker takes the one the system needs to finish the I/O.
  virtual size_t Wait(std::span<IoCompletion> out, uint32_t timeoutMs) = 0;

  // Asks the system to cancel every request in flight with this tag (CancelAll: every request).
  // Does not wait: each such request still completes, with kCancelled or, when the device was
  // quicker or does not take back what it started, as it would have. Returns the number of requests
  // asked to cancel (those the queue already knows to be done are not asked).
  virtual size_t Cancel(uint64_t tag) = 0;
  virtual size_t CancelAll() = 0;

  // Waits until nothing is in flight, with no time limit. The completions are appended to
  // completions when it is not null, else dropped.
  void Drain(std::vector<IoCompletion>* completions = nullptr);

  // Tells the queue that requests will use this memory, so that it may pin it with the system for
  // faster transfers (io_uring's fixed buffers). Only while nothing is in flight; replaces an
  // earlier registration. The memory must stay valid until the queue is destroyed or registers
  // again. True when the system took it; requests from any memory work either way.
  virtual bool RegisterBuffers(std::span<const std::span<uint8_t>> buffers) { return false; }
};

// Checks one request against the rules of IoRequest for a queue with these facts.
bool RequestValid(const IoRequest& request, const QueueFacts& facts);
// Whether Submit may take the next request of a batch: kInvalid when it breaks the rules, else kFull
// when no slot is free, else kOk. Every implementation's Submit stops at the first that is not kOk.
SubmitStatus CheckNextRequest(const IoRequest& request, const QueueFacts& facts, bool slotFree);

// Takes queues whose requests must be let finish without anyone waiting for them (a forced stop):
// a thread of its own cancels each queue's requests, waits for all their completions, then
// destroys the queue and releases what was handed over with it. Thread-safe.
class QueueReaper {
 public:
  QueueReaper();
  // Waits until every queue handed over has drained, then ends the thread.
  ~QueueReaper();
  QueueReaper(const QueueReaper&) = delete;
  QueueReaper& operator=(const QueueReaper&) = delete;

  // Takes the queue (any state; the caller must not touch it again) and keepAlive, typically the
  // buffers its requests use, which the reaper releases only after the queue has drained and has
  // been destroyed. Returns at once.
  void Adopt(std::unique_ptr<AsyncQueue> queue, std::shared_ptr<const void> keepAlive);

  // Queues handed over and not yet finished.
  size_t Pending() const;
  // Blocks until Pending() is 0.
  void WaitIdle();

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

// The process's reaper: lives until the process ends and never makes the exit wait for a device.
QueueReaper& DefaultReaper();

}  // namespace kestrune::platform
