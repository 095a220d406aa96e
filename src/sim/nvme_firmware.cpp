// Firmware Image Download, Firmware Commit and Format NVM.
//
// Downloaded pieces gather in a staging image; a commit with action 0, 1 or 3 puts it into a slot
// (slot 0: the controller picks a slot other than the active one), with action 1 the slot becomes
// active at the next power cycle, with 3 at once; action 2 activates an existing slot at the next
// power cycle. A slot's revision is the image's (ImageRevision).
#include <algorithm>

#include "sim/nvme_admin.h"

namespace kestrune::sim {

void FirmwareDownload(NvmeRequest& r) {
  const uint64_t length = (static_cast<uint64_t>(r.cdw[10]) + 1) * 4;
  const uint64_t offset = static_cast<uint64_t>(r.cdw[11]) * 4;
  if (r.data.size() < length) return SetStatus(r, nvme_status::kDataTransferError);
  if (offset + length > kMaxFirmwareImageBytes) return SetStatus(r, nvme_status::kInvalidField);
  std::vector<uint8_t>& staged = r.drive.controller().stagedImage;
  if (staged.size() < offset + length) staged.resize(offset + length, 0);
  std::copy_n(r.data.begin(), length, staged.begin() + static_cast<std::ptrdiff_t>(offset));
}

void FirmwareCommit(NvmeRequest& r) {
  const uint8_t slot = r.cdw[10] & 0x7, action = (r.cdw[10] >> 3) & 0x7;
  NvmeControllerState& c = r.drive.controller();
  if (slot > kFirmwareSlots) return SetStatus(r, nvme_status::kInvalidFirmwareSlot);
  switch (action) {
    case 0:
    case 1:
    case 3: {
      if (c.stagedImage.empty()) return SetStatus(r, nvme_status::kInvalidFirmwareImage);
      const uint8_t target = slot != 0 ? slot : static_cast<uint8_t>(c.activeSlot % kFirmwareSlots + 1);
      c.slotRevisions[target - 1] = ImageRevision(c.stagedImage);
      c.stagedImage.clear();
      if (action == 1) c.nextSlot = target;
      if (action == 3) {
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
