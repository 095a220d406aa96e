#include "platform/io_buffer.h"

#include <cstring>
#include <new>

#include "platform/async_queue.h"

namespace kestrune::platform {
namespace {

size_t WholePages(size_t bytes) { return (bytes + kIoAlignment - 1) / kIoAlignment * kIoAlignment; }

}  // namespace

std::shared_ptr<IoBuffer> IoBuffer::Make(size_t bytes) {
  const size_t room = WholePages(bytes == 0 ? 1 : bytes);
  void* p = ::operator new (room, std::align_val_t{kIoAlignment}, std::nothrow);
  if (p == nullptr) return nullptr;
  std::memset(p, 0, room);
  IoBuffer* buffer = new (std::nothrow) IoBuffer(static_cast<uint8_t*>(p), bytes);
  if (buffer == nullptr) {
    ::operator delete (p, std::align_val_t{kIoAlignment});
    return nullptr;
  }
  return std::shared_ptr<IoBuffer>(buffer);
}

IoBuffer::~IoBuffer() { ::operator delete (data_, std::align_val_t{kIoAlignment}); }

}  // namespace kestrune::platform
