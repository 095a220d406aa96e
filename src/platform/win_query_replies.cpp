#include "platform/win_query_replies.h"

#include <algorithm>

#include "platform/win_layout_bytes.h"

namespace kestrune::platform::winio {

std::optional<DeviceNumber> ReadDeviceNumber(std::span<const uint8_t> a) {
  if (a.size() < kDeviceNumberBytes) return std::nullopt;
  return DeviceNumber{Get32(a, 0), Get32(a, 4), Get32(a, 8)};
}

std::optional<ScsiAddress> ReadScsiAddress(std::span<const uint8_t> a) {
  if (a.size() < kScsiAddressBytes) return std::nullopt;
  return ScsiAddress{a[4], a[5], a[6], a[7]};  // after the ULONG Length
}

std::optional<DeviceDescriptor> ReadDeviceDescriptor(std::span<const uint8_t> a) {
  if (a.size() < kDeviceDescriptorMinBytes) return std::nullopt;
  return DeviceDescriptor{Get32(a, 28), a[10] != 0};
}

std::optional<uint32_t> ReadBytesPerSector(std::span<const uint8_t> a) {
  if (a.size() < 24) return std::nullopt;
  return Get32(a, 20);
}

std::optional<uint64_t> ReadLength(std::span<const uint8_t> a) {
  if (a.size() < kLengthInfoBytes) return std::nullopt;
  return Get64(a, 0);
}

std::optional<uint64_t> ReadPartitionOffset(std::span<const uint8_t> a) {
  if (a.size() < 16) return std::nullopt;
  return Get64(a, 8);
}

std::optional<bool> ReadWriteCacheEnabled(std::span<const uint8_t> a) {
  if (a.size() < 3) return std::nullopt;
  return a[2] != 0;
}

std::optional<bool> ReadTrimEnabled(std::span<const uint8_t> a) {
  if (a.size() < 9) return std::nullopt;
  return a[8] != 0;
}

std::optional<AdapterLimit> ReadAdapterLimit(std::span<const uint8_t> a) {
  if (a.size() < 20) return std::nullopt;
  constexpr uint64_t kPageBytes = 4096;
  uint64_t most = Get32(a, 8);
  const uint32_t pages = Get32(a, 12);
  if (pages >= 2 && pages != 0xFFFFFFFF) most = std::min<uint64_t>(most, (pages - 1) * kPageBytes);
  const uint32_t mask = Get32(a, 16);
  return AdapterLimit{static_cast<uint32_t>(most), mask >= 0x7FFFFFFF ? 0 : mask + 1};
}

std::optional<std::vector<DiskExtent>> ReadDiskExtents(std::span<const uint8_t> a) {
  if (a.size() < 4) return std::nullopt;
  const uint32_t count = Get32(a, 0);
  std::vector<DiskExtent> extents;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t at = kDiskExtentsHeaderBytes + static_cast<size_t>(i) * kDiskExtentBytes;
    if (at + kDiskExtentBytes > a.size()) break;
    extents.push_back(DiskExtent{Get32(a, at), Get64(a, at + 8), Get64(a, at + 16)});
  }
  return extents;
}

}  // namespace kestrune::platform::winio
