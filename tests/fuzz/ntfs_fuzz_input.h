// One input of the NTFS walker's fuzzing: the bytes are laid over a real NTFS image (the checked-in
// mkntfs image of tests/fsmap) at a place the first byte chooses (the MFT, the boot sector, the
// root folder's index block, a fragmented file's record), and the walk then reads every record,
// builds paths, searches owners and looks files up on the damaged volume. Also the run-list decoder
// and the fix-up over the raw bytes. Shared by the libFuzzer target and the corpus test.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fsmap/ntfs_layout.h"
#include "fsmap/ntfs_volume.h"

namespace kestrune::fuzz {

inline const std::vector<uint8_t>& NtfsBaseImage() {
  static const std::vector<uint8_t> image = [] {
    std::vector<uint8_t> bytes;
    gzFile f = gzopen(KESTRUNE_SOURCE_DIR "/tests/fsmap/ntfs_small.img.gz", "rb");
    if (!f) __builtin_trap();
    std::vector<uint8_t> chunk(1 << 20);
    for (int got; (got = gzread(f, chunk.data(), static_cast<unsigned>(chunk.size()))) > 0;)
      bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
    gzclose(f);
    return bytes;
  }();
  return image;
}

// The places an input may land, found once on the intact image.
inline const std::vector<uint64_t>& NtfsPlaces() {
  static const std::vector<uint64_t> places = [] {
    const std::vector<uint8_t>& image = NtfsBaseImage();
    fsmap::ByteSource source(image, 512);
    std::unique_ptr<fsmap::NtfsVolume> v;
    if (fsmap::NtfsVolume::Open(source, 0, {}, false, v) != 1) __builtin_trap();
    std::vector<uint64_t> out = {v->geometry().mftLcn * v->geometry().clusterBytes, 0};
    fsmap::Record root;
    v->ReadFile(fsmap::ntfs::kRootDirectory, root, false);
    const fsmap::Attribute* index = root.Find(fsmap::ntfs::kIndexAllocation, "$I30");
    if (index && !index->runs.empty())
      out.push_back(static_cast<uint64_t>(index->runs[0].lcn) * v->geometry().clusterBytes);
    uint64_t frag = 0;
    if (v->Lookup(std::vector<std::string>{"frag.bin"}, frag, false) == 1) {
      fsmap::Record r;
      v->ReadRecord(frag, r, false);
      out.push_back(r.volumeByte);
    }
    return out;
  }();
  return places;
}

inline void RunNtfsInput(const uint8_t* data, size_t size) {
  if (size < 3) return;
  const std::vector<uint64_t>& places = NtfsPlaces();
  std::vector<uint8_t> image = NtfsBaseImage();
  const uint64_t at = places[data[0] % places.size()];
  const uint64_t sector = (uint64_t{data[1]} << 8 | data[2]) * 4;
  const uint8_t* overlay = data + 3;
  const size_t length = std::min<size_t>(size - 3, image.size() - at);
  std::memcpy(image.data() + at, overlay, length);

  fsmap::DecodeRunList(std::span<const uint8_t>(overlay, size - 3), 0);
  std::vector<uint8_t> record(overlay, overlay + std::min<size_t>(size - 3, 4096) / 512 * 512);
  if (!record.empty()) fsmap::ApplyFixup(record);

  size_t lines = 0;
  const fsmap::LineOut out = [&](std::string_view text, uint32_t) { lines += text.size() != 0; };
  fsmap::ByteSource source(image, 512);
  std::unique_ptr<fsmap::NtfsVolume> v;
  if (fsmap::NtfsVolume::Open(source, 0x800, out, true, v) != 1) return;
  const uint64_t records = std::min<uint64_t>(v->recordCount(), 160);
  for (uint64_t id = 0; id < records; ++id) {
    fsmap::Record file;
    const fsmap::RecordStatus status = v->ReadFile(id, file, id < 8);
    if (status != fsmap::RecordStatus::kOk && status != fsmap::RecordStatus::kBadAttribute) continue;
    if (id < 8) v->PrintDetail(file);
    fsmap::FileMap map;
    v->DataExtents(file, map);
    std::string path;
    if (id % 7 == 0 || id >= 64) v->PathOf(id, path, false);
  }
  uint64_t found = 0;
  v->Lookup(std::vector<std::string>{"d1", "d2", "d3", "d4"}, found, true);
  v->Lookup(std::vector<std::string>{"small.txt"}, found, false);
  v->Lookup(std::vector<std::string>{"links", "target.bin"}, found, false);
  std::vector<fsmap::Owner> owners;
  if (sector < v->volumeSectors()) {
    v->FindOwners(sector, std::min<uint64_t>(64, v->volumeSectors() - sector), false, owners);
    v->FindOwners(sector, 1, true, owners);
  }
}

}  // namespace kestrune::fuzz
