#include "fsmap/sector_source.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>

#include "base/completion_codes.h"
#include "disk/sector_io.h"
#include "platform/files.h"

namespace kestrune::fsmap {

namespace code = base::code;

namespace {

bool InRange(const SectorSource& s, uint64_t sector, uint32_t count, std::span<uint8_t> out) {
  return count > 0 && sector <= s.SectorCount() && count <= s.SectorCount() - sector &&
         out.size() / s.SectorSize() >= count;
}

}  // namespace

int32_t ReadBytes(SectorSource& source, uint64_t offset, std::span<uint8_t> out) {
  const uint32_t sectorSize = source.SectorSize();
  if (sectorSize == 0 || sectorSize > kMaxReadBytes) return code::kBadParameter;
  const uint32_t perRequest = kMaxReadBytes / sectorSize;
  std::vector<uint8_t> chunk;
  size_t done = 0;
  while (done < out.size()) {
    const uint64_t at = offset + done;
    if (at < offset) return code::kBadParameter;
    const uint64_t sector = at / sectorSize;
    const uint32_t skip = static_cast<uint32_t>(at % sectorSize);
    const uint64_t wanted = skip + (out.size() - done);
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>((wanted + sectorSize - 1) / sectorSize, perRequest));
    chunk.resize(static_cast<size_t>(count) * sectorSize);
    const int32_t rc = source.Read(sector, count, chunk);
    if (rc != 1) return rc;
    const size_t take = std::min<size_t>(chunk.size() - skip, out.size() - done);
    std::memcpy(out.data() + done, chunk.data() + skip, take);
    done += take;
  }
  return 1;
}

int32_t ByteSource::Read(uint64_t sector, uint32_t count, std::span<uint8_t> out) {
  if (sectorSize_ == 0 || !InRange(*this, sector, count, out)) return code::kBadParameter;
  std::memcpy(out.data(), bytes_.data() + sector * sectorSize_, static_cast<size_t>(count) * sectorSize_);
  return 1;
}

std::unique_ptr<ImageFileSource> ImageFileSource::Open(const std::string& path, uint32_t sectorSize) {
  if (sectorSize == 0) return nullptr;
  std::error_code ec;
  const uint64_t size = std::filesystem::file_size(platform::FsPath(path), ec);
  if (ec) return nullptr;
#ifdef _WIN32
  std::FILE* file = _wfopen(platform::FsPath(path).c_str(), L"rb");
#else
  std::FILE* file = std::fopen(path.c_str(), "rb");
#endif
  if (!file) return nullptr;
  return std::unique_ptr<ImageFileSource>(new ImageFileSource(file, sectorSize, size / sectorSize));
}

ImageFileSource::~ImageFileSource() { std::fclose(file_); }

int32_t ImageFileSource::Read(uint64_t sector, uint32_t count, std::span<uint8_t> out) {
  if (!InRange(*this, sector, count, out)) return code::kBadParameter;
  const uint64_t offset = sector * sectorSize_;
#ifdef _WIN32
  if (_fseeki64(file_, static_cast<int64_t>(offset), SEEK_SET) != 0) return code::kReadFailed;
#else
  if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return code::kReadFailed;
#endif
  const size_t bytes = static_cast<size_t>(count) * sectorSize_;
  return std::fread(out.data(), 1, bytes, file_) == bytes ? 1 : code::kReadFailed;
}

uint64_t VolumeSectorCount(platform::DeviceTree& tree, const platform::VolumeNode& volume, uint32_t sectorSize) {
  if (sectorSize == 0) return 0;
  if (std::unique_ptr<platform::Device> device = tree.Open(volume.path, platform::OpenAccess::kRead))
    if (std::optional<uint64_t> bytes = device->LengthBytes(); bytes && *bytes >= volume.totalBytes)
      return *bytes / sectorSize;
  return volume.totalBytes / sectorSize;
}

int32_t VolumeSource::Read(uint64_t sector, uint32_t count, std::span<uint8_t> out) {
  if (!InRange(*this, sector, count, out)) return code::kBadParameter;
  return disk::ReadSectors(tree_, path_, sector, static_cast<int32_t>(count), out, sectorSize_);
}

}  // namespace kestrune::fsmap
