// Physical memory of a Linux machine through /dev/mem (root).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/text.h"
#include "platform/physical_memory.h"

namespace kestrune::platform {
namespace {

class LinuxPhysicalMemory final : public PhysicalMemory {
 public:
  bool Read(uint64_t address, uint32_t length, std::vector<uint8_t>& bytes, std::string& why) override {
    bytes.clear();
    const int fd = ::open("/dev/mem", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      why = std::string("/dev/mem: ") + std::strerror(errno);
      return false;
    }
    bytes.resize(length);
    size_t done = 0;
    while (done < length) {
      const ssize_t n = ::pread(fd, bytes.data() + done, length - done, static_cast<off_t>(address + done));
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      why = base::Format("/dev/mem at 0x%llX: %s", static_cast<unsigned long long>(address + done),
                         n < 0 ? std::strerror(errno) : "nothing there");
      bytes.clear();
      break;
    }
    ::close(fd);
    return done == length;
  }

};

}  // namespace

std::unique_ptr<PhysicalMemory> MakeSystemPhysicalMemory(const std::string&) {
  return std::make_unique<LinuxPhysicalMemory>();
}

}  // namespace kestrune::platform
