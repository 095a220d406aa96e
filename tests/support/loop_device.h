// A loop device over a sparse file in a test's folder, for tests of the Linux backend on a real
// block device. Needs root and losetup; why() says what was missing when path() is empty.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace kestrune::testing {

inline constexpr uint64_t kLoopDiskBytes = 16ull << 20;

// Runs a shell command; its first output line, or nullopt when it failed.
inline std::optional<std::string> Run(const std::string& command) {
  FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!p) return std::nullopt;
  char line[512] = {};
  const bool got = std::fgets(line, sizeof line, p) != nullptr;
  const int rc = ::pclose(p);
  if (rc != 0) return std::nullopt;
  std::string out = got ? line : "";
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// A loop device over a sparse file, detached when the test ends.
class LoopDevice {
 public:
  LoopDevice(const std::string& folder, uint32_t sectorSize, uint64_t bytes = kLoopDiskBytes) {
    if (::geteuid() != 0) {
      why_ = "attaching a loop device needs root";
      return;
    }
    const std::string file = folder + "/loop" + std::to_string(sectorSize) + ".img";
    if (!Run("truncate -s " + std::to_string(bytes) + " '" + file + "'")) {
      why_ = "cannot make the loop device's file";
      return;
    }
    std::optional<std::string> dev =
        Run("losetup --find --show --sector-size " + std::to_string(sectorSize) + " '" + file + "'");
    if (!dev || dev->rfind("/dev/loop", 0) != 0) {
      why_ = "losetup cannot attach a loop device here";
      return;
    }
    path_ = *dev;
  }
  ~LoopDevice() {
    if (!mountPoint_.empty()) Run("umount '" + mountPoint_ + "'");
    if (!path_.empty()) Run("losetup -d " + path_);
  }

  // Makes a file system on the device and mounts it; false when the machine cannot.
  bool Mount(const std::string& mountPoint) {
    std::filesystem::create_directories(mountPoint, ec_);
    if (!Run("mkfs.ext4 -q -F " + path_) || !Run("mount " + path_ + " '" + mountPoint + "'")) return false;
    mountPoint_ = mountPoint;
    return true;
  }

  const std::string& path() const { return path_; }
  const std::string& why() const { return why_; }

 private:
  std::string path_;
  std::string why_;
  std::string mountPoint_;
  std::error_code ec_;
};

}  // namespace kestrune::testing
