// Serial ports on Linux: termios in raw mode, an exclusive open, time-outs by poll. The adapters
// driven by device controls have no Linux driver interface: HasDeviceControls() is false.
#include "platform/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>


namespace kestrune::platform {
namespace {

speed_t SpeedOf(uint32_t baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
  }
}

class LinuxSerialPort final : public SerialPort {
 public:
  explicit LinuxSerialPort(int fd) : fd_(fd) {}
  ~LinuxSerialPort() override {
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
  }

  bool Write(std::span<const uint8_t> data) override {
    const uint64_t deadline = Now() + kSerialWriteBaseMs + kSerialWritePerByteMs * data.size();
    size_t done = 0;
    while (done < data.size()) {
      if (!WaitFor(POLLOUT, deadline)) return false;
      const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
      if (n > 0) done += static_cast<size_t>(n);
    }
    // Wait until the bytes have left, within the same time-out.
    return ::tcdrain(fd_) == 0;
  }

  size_t Read(std::span<uint8_t> out) override {
    uint64_t deadline = Now() + kSerialReadBaseMs + kSerialReadPerByteMs * out.size();
    size_t done = 0;
    while (done < out.size()) {
      uint64_t until = deadline;
      if (done > 0) until = std::min(deadline, Now() + kSerialByteGapMs);
      if (!WaitFor(POLLIN, until)) break;
      const ssize_t n = ::read(fd_, out.data() + done, out.size() - done);
      if (n < 0 && errno != EAGAIN && errno != EINTR) break;
      if (n == 0) break;  // the other side hung up
      if (n > 0) done += static_cast<size_t>(n);
    }
    return done;
  }

  bool HasDeviceControls() const override { return false; }
  int DeviceControl(uint32_t, std::span<const uint8_t>, std::span<uint8_t>) override { return -1; }

 private:
  static uint64_t Now() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  }
  // Whether fd_ becomes ready for events before deadline (monotonic milliseconds).
  bool WaitFor(short events, uint64_t deadline) const {
    for (;;) {
      const uint64_t now = Now();
      if (now >= deadline) return false;
      pollfd p{fd_, events, 0};
      const int r = ::poll(&p, 1, static_cast<int>(deadline - now));
      if (r > 0) return (p.revents & (events | POLLHUP)) != 0 && !(p.revents & POLLNVAL);
      if (r == 0) return false;
      if (errno != EINTR) return false;
    }
  }
  int fd_;
};

class LinuxSerialPorts final : public SerialPorts {
 public:
  std::unique_ptr<SerialPort> Open(const std::string& device, uint32_t baud, std::string& why) override {
    const speed_t speed = SpeedOf(baud);
    if (speed == B0) {
      why = "no such baud rate: " + std::to_string(baud);
      return nullptr;
    }
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      why = device + ": " + std::strerror(errno);
      return nullptr;
    }
    // Exclusive: a second open of the port (by anyone but root) fails with EBUSY.
    if (::ioctl(fd, TIOCEXCL) != 0) {
      why = device + ": not a serial port (" + std::strerror(errno) + ")";
      ::close(fd);
      return nullptr;
    }
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
      why = device + ": not a serial port (" + std::strerror(errno) + ")";
      ::close(fd);
      return nullptr;
    }
    ::cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
      why = device + ": the port settings are refused (" + std::strerror(errno) + ")";
      ::close(fd);
      return nullptr;
    }
    // Drop stale answers only. Flushing output too would throw away a frame an earlier user of the
    // port has written but the far end has not read yet (a pseudo-terminal's output flush empties
    // the other side's input), and that command would be lost.
    ::tcflush(fd, TCIFLUSH);
    return std::make_unique<LinuxSerialPort>(fd);
  }
};

}  // namespace

std::unique_ptr<SerialPorts> CreateSystemSerialPorts() { return std::make_unique<LinuxSerialPorts>(); }

}  // namespace kestrune::platform
