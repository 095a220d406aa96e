// FileExtents on Windows: FSCTL_GET_RETRIEVAL_POINTERS on the open file (asked again from the last
// VCN returned while the system answers ERROR_MORE_DATA), each extent's volume offset turned into a
// disk offset with IOCTL_VOLUME_LOGICAL_TO_PHYSICAL on the volume. The request and answer bytes are
// built and read by portable code (fsmap/file_extents.cpp). Files without extents of their own
// (resident NTFS data) are walked from the volume.
#include <windows.h>
#include <winioctl.h>

#include <algorithm>

#include "base/completion_codes.h"
#include "base/text.h"
#include "fsmap/file_extents.h"
#include "platform/win32/wide.h"

namespace kestrune::fsmap {
namespace {

namespace code = base::code;

constexpr DWORD kGetRetrievalPointers = (9u << 16) | (28u << 2) | 3u;       // FSCTL_GET_RETRIEVAL_POINTERS
constexpr DWORD kVolumeLogicalToPhysical = (0x56u << 16) | (8u << 2) | 0u;  // IOCTL_VOLUME_LOGICAL_TO_PHYSICAL
#ifdef FSCTL_GET_RETRIEVAL_POINTERS
static_assert(kGetRetrievalPointers == FSCTL_GET_RETRIEVAL_POINTERS);
#endif
#ifdef IOCTL_VOLUME_LOGICAL_TO_PHYSICAL
static_assert(kVolumeLogicalToPhysical == IOCTL_VOLUME_LOGICAL_TO_PHYSICAL);
#endif
constexpr size_t kPointerRoom = 256;
constexpr int kMaxRequests = 65536;

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  HANDLE get() const { return h_; }
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

FileMap Fail(FileMap map, int32_t c, std::string why) {
  map.code = c;
  map.why = std::move(why);
  return map;
}

class RetrievalExtents final : public FileExtents {
 public:
  explicit RetrievalExtents(platform::DeviceTree& tree) : tree_(tree) {}

  FileMap Map(const std::string& file) override {
    FileMap map;
    const std::wstring wide = platform::Widen(file);
    Handle h(CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!h.ok() || !GetFileSizeEx(h.get(), &size)) return Fail(map, code::kFileOpenFailed, file);
    map.fileSize = static_cast<uint64_t>(size.QuadPart);
    wchar_t root[MAX_PATH] = {};
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!GetVolumePathNameW(wide.c_str(), root, MAX_PATH) ||
        !GetDiskFreeSpaceW(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
      return Fail(map, code::kIoControlError, "the file's volume does not answer");
    const uint64_t clusterBytes = uint64_t{sectorsPerCluster} * bytesPerSector;
    map.sectorSize = bytesPerSector;
    std::wstring volumePath = L"\\\\.\\" + std::wstring(root);
    if (!volumePath.empty() && volumePath.back() == L'\\') volumePath.pop_back();
    Handle volume(CreateFileW(volumePath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr));
    if (!volume.ok()) return Fail(map, code::kOpenDiskFailed, platform::Narrow(volumePath));

    std::vector<FileExtent> extents;
    int64_t vcn = 0;
    for (int request = 0;; ++request) {
      if (request == kMaxRequests) return Fail(map, code::kIoControlError, "the retrieval pointers give no end");
      const std::vector<uint8_t> in = retrieval::StartingVcn(vcn);
      std::vector<uint8_t> out(retrieval::kPointersHeaderBytes + kPointerRoom * retrieval::kPointerBytes);
      DWORD returned = 0;
      const BOOL done = DeviceIoControl(h.get(), kGetRetrievalPointers, const_cast<uint8_t*>(in.data()),
                                        static_cast<DWORD>(in.size()), out.data(), static_cast<DWORD>(out.size()),
                                        &returned, nullptr);
      const DWORD error = done ? ERROR_SUCCESS : GetLastError();
      if (error == ERROR_HANDLE_EOF) break;  // no extents: resident data, or an empty file
      if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA)
        return Fail(map, code::kIoControlError, base::Format("FSCTL_GET_RETRIEVAL_POINTERS error %lu", error));
      std::optional<retrieval::Pointers> pointers =
          retrieval::ReadPointers(std::span<const uint8_t>(out).first(std::min<size_t>(returned, out.size())));
      if (!pointers) return Fail(map, code::kIoControlError, "the retrieval pointers do not fit their buffer");
      for (const auto& piece : pointers->pieces) {
        if (piece.lcn < 0) continue;  // a hole
        std::optional<retrieval::PhysicalOffset> place;
        const std::vector<uint8_t> logical = retrieval::LogicalOffset(piece.lcn * static_cast<int64_t>(clusterBytes));
        std::vector<uint8_t> physical(retrieval::kPhysicalOffsetsHeaderBytes + 4 * retrieval::kPhysicalOffsetBytes);
        DWORD got = 0;
        if (DeviceIoControl(volume.get(), kVolumeLogicalToPhysical, const_cast<uint8_t*>(logical.data()),
                            static_cast<DWORD>(logical.size()), physical.data(), static_cast<DWORD>(physical.size()),
                            &got, nullptr))
          place = retrieval::ReadPhysicalOffsets(std::span<const uint8_t>(physical).first(got));
        if (!place) return Fail(map, code::kNotSupported, "the volume does not lie at one place of one disk");
        map.diskPath = base::Format("\\\\.\\PHYSICALDRIVE%u", place->diskNumber);
        extents.push_back({static_cast<uint64_t>(piece.vcn) * clusterBytes, static_cast<uint64_t>(place->offset),
                           piece.clusters * clusterBytes, 0});
      }
      if (error == ERROR_SUCCESS || pointers->pieces.empty()) break;
      vcn = pointers->nextVcn;
    }
    if (extents.empty() && map.fileSize != 0) return Walk(file, map, volume.get(), platform::Narrow(volumePath));
    map.extents = CutToSize(std::move(extents), map.fileSize);
    return map;
  }

 private:
  // Resident data: the walker finds the file's record on the volume.
  FileMap Walk(const std::string& file, FileMap& map, HANDLE volume, const std::string& volumePath) {
    const std::vector<uint8_t> logical = retrieval::LogicalOffset(0);
    std::vector<uint8_t> physical(retrieval::kPhysicalOffsetsHeaderBytes + 4 * retrieval::kPhysicalOffsetBytes);
    DWORD got = 0;
    GET_LENGTH_INFORMATION length{};
    DWORD lengthGot = 0;
    std::optional<retrieval::PhysicalOffset> place;
    if (DeviceIoControl(volume, kVolumeLogicalToPhysical, const_cast<uint8_t*>(logical.data()),
                        static_cast<DWORD>(logical.size()), physical.data(), static_cast<DWORD>(physical.size()), &got,
                        nullptr))
      place = retrieval::ReadPhysicalOffsets(std::span<const uint8_t>(physical).first(got));
    if (!place || !DeviceIoControl(volume, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length,
                                   &lengthGot, nullptr))
      return map;  // no extents: said as such
    platform::VolumeNode node;
    node.path = volumePath;
    node.partitionOffset = static_cast<uint64_t>(place->offset);
    node.totalBytes = static_cast<uint64_t>(length.Length.QuadPart);
    std::vector<std::string> components;
    std::string part;
    for (char c : file.size() > 2 && file[1] == ':' ? file.substr(2) : file) {
      if (c == '\\' || c == '/') {
        if (!part.empty()) components.push_back(part);
        part.clear();
      } else {
        part += c;
      }
    }
    if (!part.empty()) components.push_back(part);
    FileMap walked = WalkToFile(tree_, node, map.sectorSize, components);
    walked.diskPath = base::Format("\\\\.\\PHYSICALDRIVE%u", place->diskNumber);
    return walked.code == 1 ? walked : map;
  }

  platform::DeviceTree& tree_;
};

}  // namespace

std::unique_ptr<FileExtents> CreateSystemFileExtents(platform::DeviceTree& tree) {
  return std::make_unique<RetrievalExtents>(tree);
}

}  // namespace kestrune::fsmap
