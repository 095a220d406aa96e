// Sector I/O, flush, trim and the device queries of Win32Device.
#include "platform/win32/win32_device.h"

#include <algorithm>

#include "platform/win_ioctl_codes.h"
#include "platform/win_query_replies.h"
#include "platform/win_storage_layouts.h"

namespace kestrune::platform::win32 {
namespace {

// ReadFile and WriteFile move at most 4 GiB - 1 per call; larger requests go in chunks of 1 GiB,
// a multiple of every sector size.
constexpr uint64_t kChunkBytes = uint64_t{1} << 30;

bool Seek(HANDLE h, uint64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(h, to, nullptr, FILE_BEGIN) != 0;
}

}  // namespace

Win32Device::Win32Device(std::string path, UniqueHandle handle, OpenAccess access)
    : path_(std::move(path)), handle_(std::move(handle)), access_(access) {}

std::optional<uint64_t> Win32Device::Read(uint64_t offset, std::span<uint8_t> buffer) {
  if (!Seek(handle_.get(), offset)) return std::nullopt;
  uint64_t moved = 0;
  while (moved < buffer.size()) {
    const DWORD ask = static_cast<DWORD>(std::min<uint64_t>(buffer.size() - moved, kChunkBytes));
    DWORD got = 0;
    if (!ReadFile(handle_.get(), buffer.data() + moved, ask, &got, nullptr)) return std::nullopt;
    moved += got;
    if (got < ask) break;  // the end of the device
  }
  return moved;
}

std::optional<uint64_t> Win32Device::Write(uint64_t offset, std::span<const uint8_t> data, bool fua) {
  if (access_ != OpenAccess::kReadWrite) return std::nullopt;
  HANDLE h = fua ? WriteThroughHandle() : handle_.get();
  if (h == nullptr || !Seek(h, offset)) return std::nullopt;
  uint64_t moved = 0;
  while (moved < data.size()) {
    const DWORD ask = static_cast<DWORD>(std::min<uint64_t>(data.size() - moved, kChunkBytes));
    DWORD put = 0;
    if (!WriteFile(h, data.data() + moved, ask, &put, nullptr)) return std::nullopt;
    moved += put;
    if (put < ask) break;
  }
  return moved;
}

HANDLE Win32Device::WriteThroughHandle() {
  if (!writeThroughTried_) {
    writeThroughTried_ = true;
    writeThrough_ = OpenPath(path_, OpenMode::kWriteThrough);
  }
  return writeThrough_.get();
}

bool Win32Device::Flush() { return FlushFileBuffers(handle_.get()) != 0; }

bool Win32Device::Trim(uint64_t offset, uint64_t length) {
  auto request = winio::BuildTrimRequest(offset, length);
  return Exchange(handle_.get(), winio::kIoctlStorageManageDataSetAttributes, request, 0);
}

std::optional<uint64_t> Win32Device::LengthBytes() {
  auto answer = Query(handle_.get(), winio::kIoctlDiskGetLengthInfo, {}, winio::kLengthInfoBytes);
  return answer ? winio::ReadLength(*answer) : std::nullopt;
}

std::optional<uint32_t> Win32Device::SectorSize() {
  auto answer = Query(handle_.get(), winio::kIoctlDiskGetDriveGeometryEx, {}, winio::kGeometryExBytes);
  return answer ? winio::ReadBytesPerSector(*answer) : std::nullopt;
}

std::optional<bool> Win32Device::WriteCacheEnabled() {
  auto answer = Query(handle_.get(), winio::kIoctlDiskGetCacheInformation, {}, winio::kCacheInformationBytes);
  return answer ? winio::ReadWriteCacheEnabled(*answer) : std::nullopt;
}

std::optional<bool> Win32Device::TrimSupported() {
  auto query = winio::StandardPropertyQuery(winio::kStorageDeviceTrimProperty);
  auto answer = Query(handle_.get(), winio::kIoctlStorageQueryProperty, query, winio::kTrimDescriptorBytes);
  return answer ? winio::ReadTrimEnabled(*answer) : std::nullopt;
}

// The adapter's own limits: what the storage stack lets one pass-through request carry.
TransferLimit Win32Device::SystemTransferLimit() {
  auto query = winio::StandardPropertyQuery(winio::kStorageAdapterProperty);
  auto answer = Query(handle_.get(), winio::kIoctlStorageQueryProperty, query, winio::kAdapterDescriptorBytes);
  const std::optional<winio::AdapterLimit> limit = answer ? winio::ReadAdapterLimit(*answer) : std::nullopt;
  return limit ? TransferLimit{limit->maxBytes, limit->alignment} : TransferLimit{};
}

PassStatus Win32Device::Control(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                                uint32_t& returned, uint32_t& systemError) {
  DWORD got = 0;
  BOOL ok = DeviceIoControl(handle_.get(), code, const_cast<uint8_t*>(input.data()), static_cast<DWORD>(input.size()),
                            output.data(), static_cast<DWORD>(output.size()), &got, nullptr);
  returned = got;
  systemError = ok ? 0 : GetLastError();
  return ok ? PassStatus::kOk : PassStatus::kFailed;
}

}  // namespace kestrune::platform::win32
