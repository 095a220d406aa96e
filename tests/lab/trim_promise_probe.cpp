// trim_promise_probe: what the map compare takes each disk to promise, inside the qemu lab guest,
// for check_integrity_qemu.sh to hold against nvme-cli and smartctl. One line per physical disk:
//   <device path> trim-promise: zeros|ones|none write-cache-off: 0|1
// It reads the disks through the program's own disk list and the same functions the compare
// calls; not part of the program or the unit tests.
#include <cstdio>
#include <memory>
#include <vector>

#include "disk/disk_list.h"
#include "platform/system_devices.h"
#include "workloads/drive_promises.h"

using namespace kestrune;

int main() {
  std::unique_ptr<platform::DeviceTree> tree = platform::CreateSystemDeviceTree();
  if (!tree) return 1;
  std::vector<disk::DiskEntry> disks;
  if (disk::BuildDiskList(*tree, disks) < 0) return 1;
  for (const disk::DiskEntry& d : disks) {
    if (d.entryKind != disk::EntryKind::kPhysical) continue;
    const char* promise = "none";
    switch (workloads::ReadTrimPromise(*tree, d)) {
      case workloads::TrimPromise::kZeros: promise = "zeros"; break;
      case workloads::TrimPromise::kOnes: promise = "ones"; break;
      case workloads::TrimPromise::kZerosOrOnes: break;
    }
    std::printf("%s trim-promise: %s write-cache-off: %d\n", d.devicePath.c_str(), promise,
                workloads::WriteCacheOff(*tree, d) ? 1 : 0);
  }
  return 0;
}
