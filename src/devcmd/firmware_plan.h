// The download plan of an NVMe firmware image, decided before the first byte is sent: the piece
// size (4096 bytes, or FWUG x 4 KiB when the controller names a granularity), never above the
// controller's MDTS, what the disk's route carries or what the system's own route carries (and
// aligned as the system asks); the slot the commit goes to; and the commit action that Commit 0
// chooses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "disk/disk_entry.h"
#include "disk/disk_kind.h"
#include "platform/device.h"

namespace kestrune::devcmd {

// What Identify Controller says about firmware updates.
struct FirmwareCaps {
  uint8_t frmw = 0;  // byte 260: bit 0 slot 1 read-only, bits 1-3 slot count, bit 4 activation without reset
  uint8_t fwug = 0;  // byte 319: granularity in 4 KiB units; 0 none given, FFh none
  uint8_t mdts = 0;  // byte 77: 2^MDTS minimum pages (4 KiB) a transfer; 0 no limit
  uint16_t mtfa = 0; // bytes 270-271: most time a commit that activates takes, 100 ms units

  uint8_t slotCount() const { return static_cast<uint8_t>((frmw >> 1) & 7); }
  bool slot1ReadOnly() const { return (frmw & 1) != 0; }
};
FirmwareCaps ReadFirmwareCaps(const uint8_t* identifyController);  // a 4096-byte page

// The most bytes one transfer carries on a disk of this kind (0: no limit of the route's own).
uint32_t RouteTransferLimit(disk::DiskKind kind);

struct DownloadPiece {
  uint32_t offset = 0;
  uint32_t length = 0;
};

struct DownloadPlan {
  int32_t code = 0;  // non-zero: nothing is sent, detail says why
  std::string detail;
  uint32_t pieceBytes = 0;
  uint8_t slot = 0;  // the slot the commit names (a read-only slot 1 moves to 2)
  std::vector<DownloadPiece> pieces;
};

// imageBytes is a multiple of 4096 (CheckFirmwareImage); slot as the script gave it; system what
// the system's route carries (disk::SystemFirmwareLimit). A system limit below 4096 bytes, or one
// that leaves no piece of the granularity and the system's alignment, is -2 naming it.
DownloadPlan PlanDownload(const FirmwareCaps& caps, disk::DiskKind kind, uint64_t imageBytes, uint32_t slot,
                          platform::TransferLimit system = {});

// PlanDownload with the system's limit asked through a handle on the disk's NVMe path, opened for
// the question and closed again (a path that does not open says nothing; the download's own open
// reports it).
DownloadPlan PlanDiskDownload(platform::DeviceTree& tree, const disk::DiskEntry& disk, const FirmwareCaps& caps,
                              uint64_t imageBytes, uint32_t slot);

// The version marker the controllers' "ROM Disk" firmware revisions carry.
inline constexpr std::string_view kCommonVersionMarker = "3.0.0";

// Commit 0 chooses the action: 1, or 3 on the inbox driver path and on a "ROM Disk" whose
// firmware revision carries its controller's version marker.
uint8_t ChooseCommitAction(uint32_t commit, uint32_t configType, disk::DiskKind kind,
                           std::string_view firmwareRevision, std::string_view versionMarker);

// The DOWNLOAD MICROCODE plan of a SATA image (a multiple of 512 bytes): pieces of the most blocks
// the drive's IDENTIFY DEVICE data (words 234 and 235) allows, at most 32768 bytes; a remainder
// below the fewest it takes is -2 with the limits.
inline constexpr uint32_t kMostMicrocodePieceBytes = 32768;
struct MicrocodePlan {
  int32_t code = 0;
  std::string detail;
  uint32_t pieceBlocks = 0;
  uint32_t totalBlocks = 0;
};
MicrocodePlan PlanMicrocode(size_t imageBytes, std::span<const uint8_t> identify);

}  // namespace kestrune::devcmd
