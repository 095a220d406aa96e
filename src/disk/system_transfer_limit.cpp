#include "disk/system_transfer_limit.h"

#include <array>

#include "platform/win_ioctl_codes.h"
#include "platform/win_storage_layouts.h"

namespace kestrune::disk {

namespace winio = platform::winio;

platform::TransferLimit SystemFirmwareLimit(platform::Device& device, const DiskEntry& disk) {
  if (disk.diskKind == DiskKind::kNvm) {
    const std::array<uint8_t, winio::kFirmwareInfoQueryBytes> query = winio::BuildFirmwareInfoQuery();
    std::array<uint8_t, winio::kFirmwareInfoReplyBytes> reply{};
    uint32_t returned = 0, error = 0;
    if (device.Control(winio::kIoctlStorageFirmwareGetInfo, query, reply, returned, error) ==
        platform::PassStatus::kOk) {
      if (const auto info = winio::ReadFirmwareInfo(reply, returned))
        return {info->payloadMaxSize, info->payloadAlignment};
    }
  }
  return device.SystemTransferLimit();
}

}  // namespace kestrune::disk
