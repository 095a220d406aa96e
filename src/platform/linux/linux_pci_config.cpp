#include "platform/linux/linux_pci_config.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/linux/parent_nodes.h"
#include "platform/power.h"

namespace kestrune::platform::linux_dev {
namespace {

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

class Session final : public PciConfigSession {
 public:
  Session(int fd, bool writable, std::string file) : fd_(fd), writable_(writable), file_(std::move(file)) {}
  ~Session() override { ::close(fd_); }

  std::optional<uint32_t> Read(uint32_t offset, std::span<uint8_t> buffer, PciAccessFailure& failure,
                               std::string& why) override {
    std::fill(buffer.begin(), buffer.end(), 0);
    if (offset + buffer.size() > kPciExtendedBytes) {
      failure = PciAccessFailure::kFailed;
      why = "a read past the configuration space";
      return std::nullopt;
    }
    size_t done = 0;
    while (done < buffer.size()) {
      const ssize_t n =
          ::pread(fd_, buffer.data() + done, buffer.size() - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        failure = PciAccessFailure::kFailed;
        why = Errno(("reading " + file_).c_str());
        return std::nullopt;
      }
      if (n == 0) break;  // the end the kernel shows this reader
      done += static_cast<size_t>(n);
    }
    return static_cast<uint32_t>(done);
  }

  bool Write(uint32_t offset, std::span<const uint8_t> data, PciAccessFailure& failure,
             std::string& why) override {
    const size_t n = data.size();
    if ((n != 1 && n != 2 && n != 4) || offset % n != 0 || offset + n > kPciExtendedBytes) {
      failure = PciAccessFailure::kFailed;
      why = "a configuration write is 1, 2 or 4 aligned bytes";
      return false;
    }
    if (RealPowerActionsRefused()) {
      failure = PciAccessFailure::kRefused;
      why = "configuration writes are off here (KESTRUNE_NO_POWER or CI)";
      return false;
    }
    if (!writable_) {
      failure = PciAccessFailure::kRefused;
      why = "writing " + file_ + " needs root";
      return false;
    }
    ssize_t w;
    do w = ::pwrite(fd_, data.data(), n, static_cast<off_t>(offset));
    while (w < 0 && errno == EINTR);
    if (w != static_cast<ssize_t>(n)) {
      failure = PciAccessFailure::kFailed;
      why = w < 0 ? Errno(("writing " + file_).c_str()) : "a short write to " + file_;
      return false;
    }
    return true;
  }

 private:
  int fd_;
  bool writable_;
  std::string file_;
};

class LinuxPciConfig final : public PciConfig {
 public:
  explicit LinuxPciConfig(SysRoot sys) : sys_(std::move(sys)) {}

  std::unique_ptr<PciConfigSession> Open(const PciFunction& fn, PciAccessFailure& failure,
                                         std::string& why) override {
    const std::string file = PciFunctionFolder(fn) + "/config";
    const std::string local = sys_.Local(file);
    bool writable = true;
    int fd = ::open(local.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
      writable = false;
      fd = ::open(local.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) {
      failure = errno == ENOENT ? PciAccessFailure::kNoFunction : PciAccessFailure::kFailed;
      why = Errno(("opening " + file).c_str());
      return nullptr;
    }
    return std::make_unique<Session>(fd, writable, file);
  }

  bool Simulated() const override { return false; }

 private:
  SysRoot sys_;
};

}  // namespace

std::string PciFunctionFolder(const PciFunction& fn) {
  if (fn.instanceId.rfind("/sys/devices/", 0) == 0 && PciFunctionAbove(fn.instanceId) == fn.instanceId)
    return fn.instanceId;
  char name[64];
  std::snprintf(name, sizeof name, "/sys/bus/pci/devices/0000:%02x:%02x.%x", fn.bus & 0xFF, fn.device & 0x1F,
                fn.function & 0x7);
  return name;
}

std::unique_ptr<PciConfig> MakeLinuxPciConfig(SysRoot sys) {
  return std::make_unique<LinuxPciConfig>(std::move(sys));
}

}  // namespace kestrune::platform::linux_dev

namespace kestrune::platform {

std::unique_ptr<PciConfig> MakeSystemPciConfig(const std::string&) {
  return linux_dev::MakeLinuxPciConfig(linux_dev::SysRoot("/"));
}

}  // namespace kestrune::platform
