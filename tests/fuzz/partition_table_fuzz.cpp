// libFuzzer target: the partition table reader over a disk image of arbitrary bytes. The first byte
// picks the sector size (512 or 4096) and claims a disk larger than the image (reads past the
// image's end fail, as on a short disk), so header fields pointing anywhere are reached. Build
// with the fuzz preset options (KESTRUNE_FUZZ=ON, clang); run on a copy of a corpus:
//   partition_table_fuzz -max_total_time=300 -max_len=65536 corpus_copy
#include <cstring>
#include <span>

#include "disk/layout/partition_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint32_t sectorSize = (data[0] & 1) ? 4096 : 512;
  const std::span<const uint8_t> image(data + 1, size - 1);
  const uint64_t imageSectors = image.size() / sectorSize;
  const uint64_t diskSectors = imageSectors + (data[0] >> 1) * 1000;  // up to 127,000 sectors more
  kestrune::disk::SectorSource read = [&](uint64_t lba, uint32_t count, std::span<uint8_t> out) {
    if (out.size() != uint64_t{count} * sectorSize) __builtin_trap();  // the reader's own contract
    if (lba > imageSectors || count > imageSectors - lba) return false;
    std::memcpy(out.data(), image.data() + lba * sectorSize, out.size());
    return true;
  };
  kestrune::disk::PartitionTable table;
  kestrune::disk::ReadPartitionTable(read, sectorSize, diskSectors, table);
  return 0;
}
