// Firmware Image Download, Firmware Commit and Format NVM.
//
// Downloaded pieces gather in a staging image. When FWUG names a granularity, each piece's offset
// must be a multiple of it and its length too (or, for the image's last piece, of 4 KiB); a piece
// above MDTS is refused; a piece overlapping one already received is Overlapping Range (a piece at
// offset 0 that overlaps starts a new image instead); a reset drops the staging image. A commit
// with action 0, 1 or 3 checks the staged image (the lab's image format, lab_firmware_image.h:
// else Invalid Firmware Image) and puts it into a slot (slot 0: the controller picks a writable
// slot other than the active one; a read-only slot 1 refuses: Invalid Firmware Slot); with action 1
// the slot becomes active at the next reset, with 3 at once (or, with an injected commit status, at
// the reset that status names); action 2 activates an existing slot at the next reset. A slot's
// revision is the image's.
#include <algorithm>

#include "sim/lab_firmware_image.h"
#include "sim/nvme_admin.h"

namespace kestrune::sim {
namespace {

constexpr uint64_t kUnit = 4096;

// The granularity FWUG names; 0 when it names none (pieces are then any whole dwords).
uint64_t Granularity(const DriveDescription& d) {
  const uint8_t fwug = d.nvmeFirmware.fwug;
  return fwug == 0 || fwug == 0xFF ? 0 : uint64_t{fwug} * kUnit;
}

bool Overlaps(const NvmeControllerState& c, uint64_t offset, uint64_t end) {
  return std::any_of(c.stagedRanges.begin(), c.stagedRanges.end(),
                     [&](const auto& r) { return offset < r.second && r.first < end; });
}

uint8_t PickSlot(const NvmeControllerState& c) {
  for (uint8_t s = 1; s <= c.slotCount; ++s) {
    const uint8_t slot = static_cast<uint8_t>((c.activeSlot + s - 1) % c.slotCount + 1);
    if (slot != c.activeSlot && !(slot == 1 && c.slot1ReadOnly)) return slot;
  }
  return 0;
}

}  // namespace

void FirmwareDownload(NvmeRequest& r) {
  const uint64_t length = (static_cast<uint64_t>(r.cdw[10]) + 1) * 4;
  const uint64_t offset = static_cast<uint64_t>(r.cdw[11]) * 4;
  NvmeControllerState& c = r.drive.controller();
  const FaultPlan& faults = r.drive.faults_locked();
  ++c.piecesReceived;
  if (faults.firmwareFailPiece != 0 && c.piecesReceived == faults.firmwareFailPiece) {
    if (faults.firmwareFailUnplug) {
      r.drive.PullLocked();
      return SetStatus(r, nvme_status::kInternalError);
    }
    return SetStatus(r, faults.firmwareFailStatus);
  }
  if (r.data.size() < length) return SetStatus(r, nvme_status::kDataTransferError);
  const DriveDescription& d = r.drive.description();
  if (d.nvmeFirmware.mdts != 0 && length > (kUnit << d.nvmeFirmware.mdts))
    return SetStatus(r, nvme_status::kInvalidField);
  if (offset + length > kMaxFirmwareImageBytes) return SetStatus(r, nvme_status::kInvalidField);
  const uint64_t granularity = Granularity(d);
  if (granularity != 0 && (offset % granularity != 0 || (length % granularity != 0 && length % kUnit != 0)))
    return SetStatus(r, nvme_status::kInvalidField);
  if (offset == 0 && Overlaps(c, 0, length)) {  // offset 0 again starts a new image
    c.stagedImage.clear();
    c.stagedRanges.clear();
  }
  if (Overlaps(c, offset, offset + length)) return SetStatus(r, nvme_status::kOverlappingRange);
  std::vector<uint8_t>& staged = c.stagedImage;
  if (staged.size() < offset + length) staged.resize(offset + length, 0);
  std::copy_n(r.data.begin(), length, staged.begin() + static_cast<std::ptrdiff_t>(offset));
  c.stagedRanges.emplace_back(offset, offset + length);
}

void FirmwareCommit(NvmeRequest& r) {
  const uint8_t slot = r.cdw[10] & 0x7, action = (r.cdw[10] >> 3) & 0x7;
  NvmeControllerState& c = r.drive.controller();
  if (slot > c.slotCount) return SetStatus(r, nvme_status::kInvalidFirmwareSlot);
  switch (action) {
    case 0:
    case 1:
    case 3: {
      const uint8_t target = slot != 0 ? slot : PickSlot(c);
      if (target == 0 || (target == 1 && c.slot1ReadOnly)) return SetStatus(r, nvme_status::kInvalidFirmwareSlot);
      const std::optional<std::string> revision = LabImageRevision(c.stagedImage);
      c.stagedImage.clear();
      c.stagedRanges.clear();
      if (!revision) return SetStatus(r, nvme_status::kInvalidFirmwareImage);
      c.slotRevisions[target - 1] = *revision;
      if (action == 1) c.nextSlot = target;
      if (action == 3) {
        const uint16_t pending = r.drive.faults_locked().firmwareCommitStatus;
        if (pending != 0) {
          c.nextSlot = target;
          return SetStatus(r, pending);
        }
        c.activeSlot = target;
        c.nextSlot = 0;
      }
      return;
    }
    case 2: {
      const uint8_t target = slot != 0 ? slot : c.activeSlot;
      if (c.slotRevisions[target - 1].empty()) return SetStatus(r, nvme_status::kInvalidFirmwareImage);
      c.nextSlot = target;
      return;
    }
    default:
      return SetStatus(r, nvme_status::kInvalidField);
  }
}

void FormatNvm(NvmeRequest& r) {
  if (!NamesOwnOrEveryNamespace(r)) return SetStatus(r, nvme_status::kInvalidNamespace);
  const uint32_t format = r.cdw[10] & 0xF, erase = (r.cdw[10] >> 9) & 0x7;
  const uint32_t current = r.drive.description().sectorSize == 4096 ? 1 : 0;
  if (format != current) return SetStatus(r, nvme_status::kInvalidFormat);  // the sector size is fixed
  if (erase > 2) return SetStatus(r, nvme_status::kInvalidField);
  if (r.drive.controller().security.locked) return SetStatus(r, nvme_status::kAccessDenied);
  // User data erase and cryptographic erase both leave zeros; no erase leaves the data.
  if (erase != 0 && !r.drive.EraseMedia()) SetStatus(r, nvme_status::kInternalError);
}

}  // namespace kestrune::sim
