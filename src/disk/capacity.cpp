#include "disk/capacity.h"

namespace kestrune::disk {

uint64_t CapacityGB(uint64_t bytes, uint32_t sectorSize, uint32_t spareRatio) {
  constexpr uint64_t kGB = 1000000000ULL;
  if (sectorSize == 0 || bytes < kGB) return 0;
  const uint64_t sectors = bytes / sectorSize;
  if (bytes < kIdemaFormulaLimit) {
    if (sectorSize == 512) return (sectors - 21168) / 1953504;
    if (sectorSize == 4096) return (sectors - 2646) / 244188;
    return bytes / kGB;
  }
  // Large drives: 128-bit intermediates, so that the spare-area scaling cannot overflow.
  unsigned __int128 scaled = sectors;
  if (spareRatio > 0)
    scaled = scaled * (sectorSize + static_cast<unsigned __int128>(spareRatio)) * 1000 / sectorSize / 995;
  return static_cast<uint64_t>(scaled * sectorSize / kGB);
}

uint64_t CapacityLabelOf(platform::DeviceTree& tree, const DiskEntry& entry) {
  std::unique_ptr<platform::Device> device = tree.Open(entry.physicalPath, platform::OpenAccess::kRead);
  if (!device) return 0;
  std::optional<uint64_t> length = device->LengthBytes();
  std::optional<uint32_t> sectorSize = device->SectorSize();
  if (!length || !sectorSize) return 0;
  return CapacityGB(*length, *sectorSize);
}

}  // namespace kestrune::disk
