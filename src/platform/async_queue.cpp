// The portable parts of the queue seam: status words, the request rules every implementation
// checks, Drain on top of Wait, and the answer of trees without queues.
#include "platform/async_queue.h"

#include <array>

namespace kestrune::platform {

const char* IoStatusText(IoStatus status) {
  switch (status) {
    case IoStatus::kOk:
      return "ok";
    case IoStatus::kCancelled:
      return "cancelled";
    case IoStatus::kFailed:
      return "failed";
    case IoStatus::kMediaError:
      return "media error";
    case IoStatus::kNotSupported:
      return "not supported";
    case IoStatus::kGone:
      return "gone";
  }
  return "failed";
}

SubmitStatus CheckNextRequest(const IoRequest& request, const QueueFacts& facts, bool slotFree) {
  if (!RequestValid(request, facts)) return SubmitStatus::kInvalid;
  return slotFree ? SubmitStatus::kOk : SubmitStatus::kFull;
}

bool RequestValid(const IoRequest& request, const QueueFacts& facts) {
  if (request.op == IoOp::kFlush) return true;
  const bool moves = request.op != IoOp::kTrim;
  if (request.op != IoOp::kRead && facts.readOnly) return false;
  if (request.length == 0 || facts.sectorSize == 0) return false;
  if (request.offset % facts.sectorSize != 0 || request.length % facts.sectorSize != 0) return false;
  if (request.offset > facts.lengthBytes || request.length > facts.lengthBytes - request.offset) return false;
  if (!moves) return true;
  return request.data != nullptr && request.length <= kMaxTransferBytes &&
         reinterpret_cast<uintptr_t>(request.data) % kIoAlignment == 0;
}

void AsyncQueue::Drain(std::vector<IoCompletion>* completions) {
  std::array<IoCompletion, 64> batch;
  while (InFlight() > 0) {
    const size_t n = Wait(batch, 100);
    if (completions != nullptr) completions->insert(completions->end(), batch.begin(), batch.begin() + n);
  }
}

std::unique_ptr<AsyncQueue> DeviceTree::OpenQueue(const std::string& path, const QueueOptions& options,
                                                  Host& host, std::string& why) {
  why = "this device tree has no queued I/O";
  return nullptr;
}

}  // namespace kestrune::platform
