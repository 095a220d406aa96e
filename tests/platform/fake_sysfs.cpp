#include "fake_sysfs.h"

#include <filesystem>
#include <fstream>

namespace kestrune::platform::testing {
namespace {

namespace fs = std::filesystem;

std::string Base(const std::string& path) { return fs::path(path).filename().string(); }

}  // namespace

void FakeSysfs::Folder(const std::string& path) { fs::create_directories(root() + path); }

void FakeSysfs::File(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(root() + path).parent_path());
  std::ofstream(root() + path, std::ios::binary) << content;
}

void FakeSysfs::Link(const std::string& path, const std::string& target) {
  const fs::path link(root() + path);
  fs::create_directories(link.parent_path());
  fs::create_symlink(fs::path(root() + target).lexically_relative(link.parent_path()), link);
}

void FakeSysfs::PciFunction(const std::string& path, const std::string& classCode, const std::string& driver) {
  File(path + "/class", classCode + "\n");
  Folder("/sys/bus/pci/drivers/" + driver);
  Link(path + "/driver", "/sys/bus/pci/drivers/" + driver);
  Folder("/sys/bus/pci");
  Link(path + "/subsystem", "/sys/bus/pci");
  Link("/sys/bus/pci/devices/" + Base(path), path);
}

void FakeSysfs::BlockDevice(const std::string& path, const std::string& dev, uint64_t size512, int partition,
                            uint64_t start512) {
  File(path + "/dev", dev + "\n");
  File(path + "/size", std::to_string(size512) + "\n");
  if (partition > 0) {
    File(path + "/partition", std::to_string(partition) + "\n");
    File(path + "/start", std::to_string(start512) + "\n");
  } else {
    File(path + "/removable", "0\n");
    Link("/sys/block/" + Base(path), path);
  }
  Link("/sys/dev/block/" + dev, path);
  Link("/sys/class/block/" + Base(path), path);
  File("/dev/" + Base(path), "");
}

void FakeSysfs::Queue(const std::string& diskPath, uint32_t logicalBlockSize, const std::string& writeCache,
                      uint64_t discardMaxBytes) {
  File(diskPath + "/queue/logical_block_size", std::to_string(logicalBlockSize) + "\n");
  File(diskPath + "/queue/write_cache", writeCache + "\n");
  File(diskPath + "/queue/discard_max_bytes", std::to_string(discardMaxBytes) + "\n");
}

}  // namespace kestrune::platform::testing
