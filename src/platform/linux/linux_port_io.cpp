// The I/O ports of a Linux machine through /dev/port (root): the file offset is the port number.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/port_io.h"
#include "platform/power.h"

namespace kestrune::platform {
namespace {

class LinuxPortIo final : public PortIo {
 public:
  std::optional<uint16_t> Read16(uint16_t port, std::string& why) override {
    uint8_t b[2] = {};
    if (!Transfer(port, b, false, why)) return std::nullopt;
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
  }

  bool Write16(uint16_t port, uint16_t value, std::string& why) override {
    uint8_t b[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    return Transfer(port, b, true, why);
  }

  bool Simulated() const override { return false; }

 private:
  // One 2-byte pread or pwrite at the port's offset: the kernel moves the bytes one port access
  // each, low byte first.
  static bool Transfer(uint16_t port, uint8_t (&b)[2], bool write, std::string& why) {
    if (RealPowerActionsRefused()) {
      why = kPowerActionsRefused;
      return false;
    }
    const int fd = ::open("/dev/port", (write ? O_WRONLY : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) {
      why = std::string("/dev/port: ") + std::strerror(errno);
      return false;
    }
    ssize_t n;
    do n = write ? ::pwrite(fd, b, 2, port) : ::pread(fd, b, 2, port);
    while (n < 0 && errno == EINTR);
    const bool ok = n == 2;
    if (!ok) why = std::string("/dev/port: ") + (n < 0 ? std::strerror(errno) : "a short transfer");
    ::close(fd);
    return ok;
  }
};

}  // namespace

std::unique_ptr<PortIo> MakeSystemPortIo(const std::string&) { return std::make_unique<LinuxPortIo>(); }

}  // namespace kestrune::platform
