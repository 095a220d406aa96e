#include "disk/sector_io.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/completion_codes.h"
#include "disk/sector_buffer.h"

namespace kestrune::disk {
namespace {

namespace code = base::code;

// The checks every read and write makes before anything is opened; 1 when the request may go.
int32_t CheckRequest(uint64_t lba, int32_t count, size_t bufferBytes, uint32_t sectorSize, ByteRange& range) {
  if (count <= 0) return code::kBadParameter;
  std::optional<ByteRange> r = SectorBytes(lba, count, sectorSize);
  if (!r || bufferBytes < r->length) return code::kBadParameter;
  range = *r;
  return kIoDone;
}

// A request that runs past the end the opened device reports goes no further.
bool FitsDevice(platform::Device& device, ByteRange range) {
  std::optional<uint64_t> length = device.LengthBytes();
  return !length || WithinExtent(range, *length);
}

}  // namespace

std::optional<ByteRange> SectorBytes(uint64_t lba, int64_t count, uint32_t sectorSize) {
  if (sectorSize == 0 || count < 0) return std::nullopt;
  ByteRange r;
  if (__builtin_mul_overflow(lba, uint64_t{sectorSize}, &r.offset)) return std::nullopt;
  if (__builtin_mul_overflow(static_cast<uint64_t>(count), uint64_t{sectorSize}, &r.length))
    return std::nullopt;
  if (r.length > kMaxRequestBytes) return std::nullopt;
  uint64_t end = 0;
  if (__builtin_add_overflow(r.offset, r.length, &end)) return std::nullopt;
  return r;
}

std::optional<ByteRange> TrimBytes(uint64_t lba, uint64_t count, uint32_t sectorSize, uint64_t usableBytes) {
  if (sectorSize == 0) return std::nullopt;
  ByteRange r;
  if (__builtin_mul_overflow(lba, uint64_t{sectorSize}, &r.offset) || r.offset >= usableBytes)
    return std::nullopt;
  const uint64_t toEnd = usableBytes - r.offset;
  uint64_t length = 0;
  const bool wraps = __builtin_mul_overflow(count, uint64_t{sectorSize}, &length);
  r.length = (wraps || length == 0 || length > toEnd) ? toEnd : length;
  return r;
}

int32_t ReadSectors(platform::DeviceTree& tree, const std::string& path, uint64_t lba, int32_t count,
                    std::span<uint8_t> buffer, uint32_t sectorSize) {
  ByteRange range;
  if (int32_t rc = CheckRequest(lba, count, buffer.size(), sectorSize, range); rc != kIoDone) return rc;
  std::unique_ptr<platform::Device> device = tree.Open(path, platform::OpenAccess::kRead);
  if (!device) return code::kOpenDiskFailed;
  if (!FitsDevice(*device, range)) return code::kBadParameter;

  std::span<uint8_t> target = buffer.first(range.length);
  SectorBuffer bounce;
  if (!PageAligned(target.data())) {
    bounce = SectorBuffer(range.length);
    if (!bounce.ok()) return code::kReadFailed;
    target = bounce.bytes();
  }
  std::optional<uint64_t> moved = device->Read(range.offset, target);
  if (target.data() != buffer.data() && moved)
    std::memcpy(buffer.data(), target.data(), std::min(*moved, range.length));
  return moved && *moved == range.length ? kIoDone : code::kReadFailed;
}

int32_t WriteSectors(platform::DeviceTree& tree, const std::string& path, uint64_t lba, int32_t count,
                     std::span<const uint8_t> data, uint32_t sectorSize, bool fua) {
  ByteRange range;
  if (int32_t rc = CheckRequest(lba, count, data.size(), sectorSize, range); rc != kIoDone) return rc;
  std::unique_ptr<platform::Device> device = tree.Open(path, platform::OpenAccess::kReadWrite);
  if (!device) return code::kOpenDiskFailed;
  if (!FitsDevice(*device, range)) return code::kBadParameter;

  std::span<const uint8_t> source = data.first(range.length);
  SectorBuffer bounce;
  if (!PageAligned(source.data())) {
    bounce = SectorBuffer(range.length);
    if (!bounce.ok()) return code::kWriteFailed;
    std::memcpy(bounce.data(), source.data(), range.length);
    source = bounce.bytes();
  }
  std::optional<uint64_t> moved = device->Write(range.offset, source, fua);
  return moved && *moved == range.length ? kIoDone : code::kWriteFailed;
}

int32_t TrimRange(platform::Device& device, uint64_t offset, uint64_t length) {
  return device.Trim(offset, length) ? kIoDone : code::kIoControlError;
}

int32_t FlushDevice(platform::DeviceTree& tree, const std::string& path) {
  std::unique_ptr<platform::Device> device = tree.Open(path, platform::OpenAccess::kReadWrite);
  if (!device) return code::kOpenDiskFailed;
  return device->Flush() ? kIoDone : code::kIoControlError;
}

bool DeviceOpens(platform::DeviceTree& tree, const std::string& path) {
  return tree.Open(path, platform::OpenAccess::kReadWrite) != nullptr;
}

bool WriteCacheState(platform::DeviceTree& tree, const std::string& path) {
  std::unique_ptr<platform::Device> device = tree.Open(path, platform::OpenAccess::kRead);
  return device && device->WriteCacheEnabled().value_or(false);
}

int32_t TrimSupported(platform::DeviceTree& tree, const std::string& path) {
  std::unique_ptr<platform::Device> device = tree.Open(path, platform::OpenAccess::kRead);
  if (!device) return code::kOpenDiskFailed;
  std::optional<bool> supported = device->TrimSupported();
  if (!supported) return code::kIoControlError;
  return *supported ? 1 : 0;
}

}  // namespace kestrune::disk
