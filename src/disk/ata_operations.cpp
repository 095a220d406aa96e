#include "disk/ata_operations.h"

#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/identify_data.h"

namespace kestrune::disk {
namespace {

namespace code = base::code;

int32_t FailureCode(uint16_t flags) {
  switch (DirectionOf(flags)) {
    case platform::DataDirection::kOut:
      return code::kWriteFailed;
    case platform::DataDirection::kIn:
      return code::kReadFailed;
    default:
      return code::kOpenDiskFailed;
  }
}

// Sends tf on path; failure codes as AtaCommand, with or without the recovery step.
int32_t Send(DeviceTarget target, const DiskEntry& disk, const std::string& path, const AtaTaskFile& tf,
             std::span<uint8_t> data, uint32_t timeoutSeconds, bool recover) {
  if (const int32_t bad = CheckTransfer(tf); bad != 0) return bad;
  DeviceTarget::Handle device = target.Open(path);
  if (!device) return code::kOpenDiskFailed;
  if (AtaSend(disk.diskKind, *device, tf, data, timeoutSeconds)) return code::kSuccessTrue;
  if (recover) AtaSend(disk.diskKind, *device, TaskFile(kAtaIdleImmediate, ata_flag::kNoData), {});
  return FailureCode(tf.flags);
}

}  // namespace

std::string AtaEchoText(const AtaTaskFile& tf) {
  return base::Format(
      "ATA( IO:\"%s\", ATACmd:0x%X, Feature:%d, SectorCount:%d, Low:0x%X, Mid:0x%X, High:0x%X, ExLow:0x%X, "
      "ExMid:0x%X, ExHigh:0x%X );",
      std::string(IoNameOf(tf.flags)).c_str(), tf.command, tf.feature, static_cast<int>(tf.sectorCount),
      tf.lbaLow, tf.lbaMid, tf.lbaHigh, tf.exLow, tf.exMid, tf.exHigh);
}

int32_t AtaCommand(DeviceTarget target, const DiskEntry& disk, const AtaTaskFile& tf, std::span<uint8_t> data,
                   uint32_t timeoutSeconds) {
  return Send(target, disk, disk.devicePath, tf, data, timeoutSeconds, true);
}

int32_t AtaReadSectors(DeviceTarget target, const DiskEntry& disk, uint8_t command, uint16_t flags,
                       uint64_t lba, uint32_t count, std::span<uint8_t> buffer) {
  const AtaTaskFile tf = TaskFile(command, flags | ata_flag::kPioIn, lba, count);
  const int32_t rc = Send(target, disk, disk.physicalPath, tf, buffer, kAtaTimeoutSeconds, false);
  return rc == code::kOpenDiskFailed || rc > 0 || rc == code::kBadParameter ? rc : code::kReadFailed;
}

int32_t AtaWriteSectors(DeviceTarget target, const DiskEntry& disk, uint8_t command, uint16_t flags,
                        uint64_t lba, uint32_t count, std::span<uint8_t> buffer) {
  const AtaTaskFile tf = TaskFile(command, flags | ata_flag::kPioOut, lba, count);
  const int32_t rc = Send(target, disk, disk.physicalPath, tf, buffer, kAtaTimeoutSeconds, false);
  return rc == code::kOpenDiskFailed || rc > 0 || rc == code::kBadParameter ? rc : code::kWriteFailed;
}

int32_t AtaIdentifyData(DeviceTarget target, const DiskEntry& disk, std::span<uint8_t> data) {
  if (data.size() < kAtaIdentifyBytes) return code::kReadFailed;
  return Send(target, disk, disk.devicePath, TaskFile(kAtaIdentifyDevice, ata_flag::kPioIn, 0, 1),
              data.first(kAtaIdentifyBytes), kAtaTimeoutSeconds, false);
}

int32_t AtaIdentify(DeviceTarget target, const DiskEntry& disk, AtaIdentity& out) {
  std::vector<uint8_t> data(kAtaIdentifyBytes, 0);
  const int32_t rc = AtaIdentifyData(target, disk, data);
  if (rc > 0) out = ParseAtaIdentity(data);
  return rc;
}

int32_t AtaSecurityFrozen(DeviceTarget target, const DiskEntry& disk) {
  AtaIdentity id;
  if (AtaIdentify(target, disk, id) < 0) return code::kOpenDiskFailed;
  return id.securityFrozen ? 1 : 0;
}

int32_t AtaActivateMicrocode(DeviceTarget target, const DiskEntry& disk) {
  constexpr uint16_t kActivate = 0x0F;
  const AtaTaskFile tf = TaskFile(kAtaDownloadMicrocode, ata_flag::kNoData, 0, 0, kActivate);
  return Send(target, disk, disk.devicePath, tf, {}, kAtaTimeoutSeconds, false) > 0 ? code::kSuccessTrue
                                                                                    : code::kActivateFwFailed;
}

}  // namespace kestrune::disk
