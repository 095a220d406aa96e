// A fake machine for the Linux device tree: sysfs folders, attributes and relative links as the
// kernel lays them out, procfs tables and /dev entries, all below a temporary folder.
#pragma once

#include <string>

#include "support/fake_host.h"

namespace kestrune::platform::testing {

class FakeSysfs {
 public:
  const std::string& root() const { return dir_.path(); }

  // Writes an attribute (or any file) at a system path, making its folders.
  void File(const std::string& path, const std::string& content);
  void Folder(const std::string& path);
  // A link at path to target (both system paths), written relative as sysfs writes its links.
  void Link(const std::string& path, const std::string& target);

  // A PCI function: its class code, bound driver, and the /sys/bus/pci/devices link.
  void PciFunction(const std::string& path, const std::string& classCode, const std::string& driver);
  // A block device folder (disk or partition) with its number, size in 512-byte units and, for a
  // partition, its start; the /sys/dev/block link and a /dev entry come with it.
  void BlockDevice(const std::string& path, const std::string& dev, uint64_t size512, int partition = 0,
                   uint64_t start512 = 0);
  // The queue attributes of a disk.
  void Queue(const std::string& diskPath, uint32_t logicalBlockSize, const std::string& writeCache,
             uint64_t discardMaxBytes);

 private:
  ::kestrune::testing::TempDir dir_;
};

}  // namespace kestrune::platform::testing
