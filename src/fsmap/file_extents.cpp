#include "fsmap/file_extents.h"

#include <algorithm>

#include "base/bytes.h"
#include "base/completion_codes.h"
#include "base/text.h"
#include "fsmap/ntfs_volume.h"

namespace kestrune::fsmap {

namespace code = base::code;
using base::GetLe32;
using base::GetLe64;

std::vector<FileExtent> CutToSize(std::vector<FileExtent> extents, uint64_t fileSize) {
  std::sort(extents.begin(), extents.end(),
            [](const FileExtent& a, const FileExtent& b) { return a.fileOffset < b.fileOffset; });
  std::vector<FileExtent> out;
  for (FileExtent& e : extents) {
    if (e.fileOffset >= fileSize || e.length == 0) continue;
    e.length = std::min(e.length, fileSize - e.fileOffset);
    out.push_back(e);
  }
  return out;
}

namespace {

std::vector<std::string> Components(std::string_view rest) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : rest) {
    if (c == '\\' || c == '/') {
      if (!part.empty() && part != ".") parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty() && part != ".") parts.push_back(part);
  return parts;
}

}  // namespace

std::optional<VolumeOfPath> FindVolumeOfPath(const platform::DeviceSnapshot& snapshot, const std::string& file,
                                             const std::string& fallbackVolume) {
  const platform::VolumeNode* best = nullptr;
  size_t bestLength = 0;
  std::string_view rest;
  if (file.size() >= 2 && file[1] == ':') {
    for (const platform::VolumeNode& v : snapshot.volumes) {
      if (v.letter.size() >= 2 && base::EqualsNoCase(v.letter.substr(0, 2), file.substr(0, 2))) best = &v;
    }
    rest = std::string_view(file).substr(2);
  } else if (!file.empty() && file[0] == '/') {
    // A Linux path: the longest mount point it lies below.
    for (const platform::VolumeNode& v : snapshot.volumes) {
      const std::string& m = v.letter;
      if (m.empty() || m[0] != '/' || !file.starts_with(m)) continue;
      if (m != "/" && file.size() > m.size() && file[m.size()] != '/') continue;
      if (m.size() >= bestLength) {
        best = &v;
        bestLength = m.size();
      }
    }
    rest = std::string_view(file).substr(bestLength);
  }
  if (!best && !file.empty() && (file[0] == '\\' || (file[0] == '/' && bestLength == 0))) {
    for (const platform::VolumeNode& v : snapshot.volumes)
      if (v.path == fallbackVolume) best = &v;
    rest = file;
  }
  if (!best) return std::nullopt;
  return VolumeOfPath{*best, Components(rest)};
}

FileMap WalkToFile(platform::DeviceTree& tree, const platform::VolumeNode& volume, uint32_t sectorSize,
                   std::span<const std::string> components) {
  FileMap map;
  map.sectorSize = sectorSize;
  if (sectorSize == 0 || components.empty()) {
    map.code = code::kFileOpenFailed;
    map.why = "no file below the volume's root";
    return map;
  }
  VolumeSource source(tree, volume, sectorSize);
  std::unique_ptr<NtfsVolume> ntfs;
  map.code = NtfsVolume::Open(source, volume.partitionOffset / sectorSize, {}, false, ntfs);
  if (map.code != 1) {
    map.why = "the volume is no NTFS volume the walker reads";
    return map;
  }
  uint64_t id = 0;
  map.code = ntfs->Lookup(components, id, false);
  if (map.code != 1) {
    map.why = "the file is not in the volume's folders";
    return map;
  }
  Record file;
  const RecordStatus status = ntfs->ReadFile(id, file, false);
  if (status != RecordStatus::kOk) {
    map.code = status == RecordStatus::kReadFailed ? file.readCode : code::kInvalidData;
    map.why = "the file's record does not read";
    return map;
  }
  map.code = ntfs->DataExtents(file, map);
  return map;
}

void DiskOfVolume(const platform::DeviceSnapshot& snapshot, const platform::VolumeNode& volume, std::string& diskPath,
                  uint32_t& sectorSize) {
  if (!volume.onListedDisk) return;
  for (const platform::DiskNode& d : snapshot.disks) {
    if (d.deviceNumber != volume.diskNumber) continue;
    diskPath = d.physicalPath;
    if (d.sectorSize != 0) sectorSize = d.sectorSize;
  }
}

FileMap WalkerFileExtents::Map(const std::string& file) {
  FileMap map;
  const platform::DeviceSnapshot snapshot = tree_.Enumerate();
  std::optional<VolumeOfPath> found = FindVolumeOfPath(snapshot, file, fallback_);
  if (!found) {
    map.code = code::kFileOpenFailed;
    map.why = "no volume holds " + file;
    return map;
  }
  std::string diskPath = diskPath_;
  uint32_t sectorSize = sectorSize_;
  DiskOfVolume(snapshot, found->volume, diskPath, sectorSize);
  map = WalkToFile(tree_, found->volume, sectorSize, found->components);
  map.diskPath = diskPath;
  return map;
}

namespace fiemap {

std::vector<uint8_t> Request(uint64_t start, uint64_t length, uint32_t count) {
  std::vector<uint8_t> out(kHeaderBytes + static_cast<size_t>(count) * kExtentBytes, 0);
  base::PutLe64(&out[0], start);
  base::PutLe64(&out[8], length);
  base::PutLe32(&out[16], kFlagSync);
  base::PutLe32(&out[24], count);
  return out;
}

std::optional<Answer> ReadAnswer(std::span<const uint8_t> buffer) {
  if (buffer.size() < kHeaderBytes) return std::nullopt;
  const uint32_t mapped = GetLe32(&buffer[20]);
  const uint32_t room = GetLe32(&buffer[24]);
  if (mapped > room || mapped > (buffer.size() - kHeaderBytes) / kExtentBytes) return std::nullopt;
  Answer answer;
  answer.next = GetLe64(&buffer[0]);
  for (uint32_t i = 0; i < mapped; ++i) {
    const uint8_t* e = &buffer[kHeaderBytes + i * kExtentBytes];
    FileExtent x;
    x.fileOffset = GetLe64(e);
    x.diskByte = GetLe64(e + 8);
    x.length = GetLe64(e + 16);
    const uint32_t flags = GetLe32(e + 40);
    if (flags & kExtentUnwritten) x.flags |= extent_flag::kUnwritten;
    if (flags & (kExtentDataInline | kExtentDataTail)) x.flags |= extent_flag::kInline;
    if (flags & (kExtentDelalloc | kExtentUnknown)) x.flags |= extent_flag::kDelalloc;
    if (flags & kExtentNotAligned) x.flags |= extent_flag::kUnaligned;
    if (flags & (kExtentEncoded | kExtentDataEncrypted)) x.flags |= extent_flag::kEncoded;
    if (flags & kExtentLast) answer.last = true;
    if (x.fileOffset + x.length < x.fileOffset) return std::nullopt;
    answer.next = std::max(answer.next, x.fileOffset + x.length);
    answer.extents.push_back(x);
  }
  return answer;
}

}  // namespace fiemap

namespace retrieval {

std::vector<uint8_t> StartingVcn(int64_t vcn) {
  std::vector<uint8_t> out(kStartingVcnBytes);
  base::PutLe64(out.data(), static_cast<uint64_t>(vcn));
  return out;
}

std::optional<Pointers> ReadPointers(std::span<const uint8_t> buffer) {
  if (buffer.size() < kPointersHeaderBytes) return std::nullopt;
  const uint32_t count = GetLe32(&buffer[0]);
  if (count > (buffer.size() - kPointersHeaderBytes) / kPointerBytes) return std::nullopt;
  Pointers p;
  int64_t vcn = static_cast<int64_t>(GetLe64(&buffer[8]));
  if (vcn < 0) return std::nullopt;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = &buffer[kPointersHeaderBytes + i * kPointerBytes];
    const int64_t next = static_cast<int64_t>(GetLe64(e));
    const int64_t lcn = static_cast<int64_t>(GetLe64(e + 8));
    if (next <= vcn) return std::nullopt;
    p.pieces.push_back({vcn, lcn < 0 ? -1 : lcn, static_cast<uint64_t>(next - vcn)});
    vcn = next;
  }
  p.nextVcn = vcn;
  return p;
}

std::vector<uint8_t> LogicalOffset(int64_t volumeByte) {
  std::vector<uint8_t> out(kLogicalOffsetBytes);
  base::PutLe64(out.data(), static_cast<uint64_t>(volumeByte));
  return out;
}

std::optional<PhysicalOffset> ReadPhysicalOffsets(std::span<const uint8_t> buffer) {
  if (buffer.size() < kPhysicalOffsetsHeaderBytes + kPhysicalOffsetBytes) return std::nullopt;
  const uint32_t count = GetLe32(&buffer[0]);
  // A volume on more than one disk (a spanned or striped volume) has no single place.
  if (count != 1) return std::nullopt;
  PhysicalOffset p;
  p.diskNumber = GetLe32(&buffer[kPhysicalOffsetsHeaderBytes]);
  p.offset = static_cast<int64_t>(GetLe64(&buffer[kPhysicalOffsetsHeaderBytes + 8]));
  if (p.offset < 0) return std::nullopt;
  return p;
}

}  // namespace retrieval

}  // namespace kestrune::fsmap
