#include "disk/identify_probe.h"

#include <vector>

#include "disk/ata_identity.h"
#include "disk/ata_send.h"
#include "disk/nvme_identify_entry.h"
#include "disk/nvme_operations.h"

namespace kestrune::disk {
namespace {

AtaTaskFile IdentifyTaskFile() { return TaskFile(kAtaIdentifyDevice, ata_flag::kPioIn, 0, 1); }

// IDENTIFY DEVICE through the send routine of every ATA command.
std::optional<DriveIdentity> IdentifySata(platform::Device& device, DiskKind kind) {
  std::vector<uint8_t> data(kAtaIdentifyBytes, 0);
  if (!AtaSend(kind, device, IdentifyTaskFile(), data, kIdentifyTimeoutSeconds)) return std::nullopt;
  return ParseAtaIdentify(data);
}

}  // namespace

std::array<uint8_t, 16> SatIdentifyCdb() {
  std::array<uint8_t, 16> cdb{};
  cdb[0] = 0x85;   // ATA PASS-THROUGH(16)
  cdb[1] = 0x08;   // protocol 4: PIO data-in
  cdb[2] = 0x0E;   // from the device, length in blocks, in the sector count field
  cdb[6] = 1;      // one block
  cdb[13] = 0x40;  // device: LBA mode
  cdb[14] = kAtaIdentifyDevice;
  return cdb;
}

bool AtaIdentifyDirect(platform::Device& device, std::span<uint8_t> data) {
  if (data.size() < kAtaIdentifyBytes) return false;
  return SendAtaRoute(device, IdentifyTaskFile(), data.first(kAtaIdentifyBytes), kIdentifyTimeoutSeconds) ==
         AtaRouteResult::kDone;
}

bool AtaIdentifyThroughSat(platform::Device& device, std::span<uint8_t> data) {
  if (data.size() < kAtaIdentifyBytes) return false;
  std::array<uint8_t, 16> cdb = SatIdentifyCdb();
  platform::ScsiResult result;
  return device.Scsi(cdb, platform::DataDirection::kIn, data.first(kAtaIdentifyBytes),
                     kIdentifyTimeoutSeconds, result) == platform::PassStatus::kOk &&
         result.status == 0;
}

bool NvmeIdentifyController(platform::Device& device, platform::NvmeRoute route, std::span<uint8_t> data) {
  if (data.size() < kIdentifyControllerBytes) return false;
  std::array<uint8_t, 64> entry = IdentifyControllerEntry();
  platform::NvmeCompletion completion;
  return device.Nvme(route, platform::NvmeQueue::kAdmin, entry, platform::DataDirection::kIn,
                     data.first(kIdentifyControllerBytes), kIdentifyTimeoutSeconds,
                     completion) == platform::PassStatus::kOk &&
         completion.status == 0;
}

const std::string& NvmeIdentifyPath(const DiskEntry& entry) { return NvmePathOf(entry); }

std::optional<DriveIdentity> IdentifyDrive(platform::DeviceTree& tree, const DiskEntry& entry) {
  const DiskKind kind = entry.diskKind;
  if (IsSataKind(kind)) {
    std::unique_ptr<platform::Device> device =
        tree.Open(entry.physicalPath, platform::OpenAccess::kReadWrite);
    if (!device) return std::nullopt;
    return IdentifySata(*device, kind);
  }
  if (!IsNvmeKind(kind)) return std::nullopt;

  // Identify Controller through the NVMe operation of the disk's kind, as every NVMe command goes.
  constexpr uint8_t kCnsController = 1;
  std::vector<uint8_t> data(kIdentifyControllerBytes, 0);
  if (Identify(tree, entry, kCnsController, 0, data) != kNvmeDone) return std::nullopt;
  return ParseIdentifyController(data);
}

}  // namespace kestrune::disk
