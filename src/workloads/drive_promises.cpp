#include "workloads/drive_promises.h"

#include <vector>

#include "disk/ata_identity.h"
#include "disk/ata_operations.h"
#include "disk/disk_kind.h"
#include "disk/identify_data.h"
#include "disk/nvme_operations.h"

namespace kestrune::workloads {
namespace {

constexpr uint8_t kIdentifyNamespace = 0x00, kIdentifyController = 0x01;
constexpr size_t kVwcByte = 525;
constexpr size_t kNvmeIdentifyBytes = 4096;
constexpr size_t kDlfeatByte = 33;
constexpr uint32_t kVolatileWriteCache = 0x06;

}  // namespace

TrimPromise NvmeTrimPromise(uint8_t dlfeat) {
  switch (dlfeat & 0x07) {
    case 0x01:
      return TrimPromise::kZeros;
    case 0x02:
      return TrimPromise::kOnes;
    default:
      return TrimPromise::kZerosOrOnes;
  }
}

TrimPromise AtaTrimPromise(uint16_t word69) {
  constexpr uint16_t kDeterministic = 1u << 14, kZeroed = 1u << 5;
  return (word69 & (kDeterministic | kZeroed)) == (kDeterministic | kZeroed) ? TrimPromise::kZeros
                                                                             : TrimPromise::kZerosOrOnes;
}

TrimPromise ReadTrimPromise(platform::DeviceTree& tree, const disk::DiskEntry& disk) {
  if (disk::IsNvmeKind(disk.diskKind)) {
    std::vector<uint8_t> data(kNvmeIdentifyBytes);
    if (disk::Identify(tree, disk, kIdentifyNamespace, disk.namespaceId, data) < 0)
      return TrimPromise::kZerosOrOnes;
    return NvmeTrimPromise(data[kDlfeatByte]);
  }
  if (disk::IsSataKind(disk.diskKind)) {
    std::vector<uint8_t> data(disk::kAtaIdentifyBytes);
    if (disk::AtaIdentifyData(tree, disk, data) < 0) return TrimPromise::kZerosOrOnes;
    return AtaTrimPromise(disk::IdentifyWord(data, 69));
  }
  return TrimPromise::kZerosOrOnes;
}

bool WriteCacheOff(platform::DeviceTree& tree, const disk::DiskEntry& disk) {
  if (disk::IsNvmeKind(disk.diskKind)) {
    uint32_t dw0 = 1;
    if (disk::GetFeatures(tree, disk, kVolatileWriteCache, &dw0) >= 0) return (dw0 & 1) == 0;
    // A controller without a volatile write cache (Identify Controller VWC bit 0 clear) may refuse
    // the feature.
    std::vector<uint8_t> data(kNvmeIdentifyBytes);
    return disk::Identify(tree, disk, kIdentifyController, 0, data) >= 0 && (data[kVwcByte] & 1) == 0;
  }
  if (disk::IsSataKind(disk.diskKind)) {
    disk::AtaIdentity id;
    return disk::AtaIdentify(tree, disk, id) >= 0 && !id.writeCacheEnabled;
  }
  return false;
}

}  // namespace kestrune::workloads
