#include "base/bytes.h"
#include "disk/dataset_management.h"
#include "disk/nvme_entries.h"

namespace kestrune::disk {

uint32_t NvmeCommand::Cdw(size_t index) const {
  return index < 16 ? base::GetLe32(bytes.data() + 4 * index) : 0;
}

void NvmeCommand::SetCdw(size_t index, uint32_t value) {
  if (index < 16) base::PutLe32(bytes.data() + 4 * index, value);
}

const std::string& NvmePathOf(const DiskEntry& disk) {
  if (disk.diskKind == DiskKind::kNvm) return disk.devicePath;
  if (IsUsbBridgeNvme(disk.diskKind)) return disk.volumePath.empty() ? disk.devicePath : disk.volumePath;
  return disk.scsiPortPath.empty() ? disk.devicePath : disk.scsiPortPath;
}

namespace {

NvmeCommand Command(uint8_t opcode, uint32_t nsid, uint32_t cdw10) {
  NvmeCommand c;
  c.set_opcode(opcode);
  c.set_nsid(nsid);
  c.SetCdw(10, cdw10);
  return c;
}

}  // namespace

NvmeCommand IdentifyCommand(uint8_t cns, uint32_t nsid) { return Command(nvme_opcode::kIdentify, nsid, cns); }

NvmeCommand GetLogPageCommand(uint8_t lid, uint8_t lsp, bool rae, uint32_t length) {
  const uint32_t numdl = length / 4 - 1;
  const uint32_t cdw10 = lid | static_cast<uint32_t>(lsp & 0x7F) << 8 | (rae ? 1u : 0u) << 15 | (numdl & 0xFFFF) << 16;
  return Command(nvme_opcode::kGetLogPage, kBroadcastNsid, cdw10);
}

NvmeCommand GetFeaturesCommand(uint32_t fid) { return Command(nvme_opcode::kGetFeatures, 0, fid); }

NvmeCommand SetFeaturesCommand(uint32_t fid, bool save, uint32_t value) {
  NvmeCommand c = Command(nvme_opcode::kSetFeatures, 0, save ? fid | kSaveBit : fid);
  c.SetCdw(11, value);
  return c;
}

NvmeCommand FirmwareCommitCommand(uint8_t slot, uint8_t action) {
  return Command(nvme_opcode::kFirmwareCommit, 0, (slot & 7u) | (action & 7u) << 3);
}

NvmeCommand FirmwareDownloadCommand(uint32_t offset, uint32_t length) {
  NvmeCommand c = Command(nvme_opcode::kFirmwareDownload, 0, (length - 1) / 4);
  c.SetCdw(11, offset / 4);
  return c;
}

NvmeCommand FormatAllCommand() { return Command(nvme_opcode::kFormatNvm, kBroadcastNsid, kFormatUserDataErase); }

NvmeCommand SecurityCommand(uint8_t opcode, uint8_t secp, uint16_t spsp, uint32_t length) {
  NvmeCommand c = Command(opcode, kBroadcastNsid, static_cast<uint32_t>(secp) << 24 | static_cast<uint32_t>(spsp) << 8);
  c.SetCdw(11, length);
  c.SetCdw(14, kRimoSignature);
  c.SetCdw(15, kRimoSignature);
  return c;
}

NvmeCommand DeallocateCommand() {
  NvmeCommand c;
  c.bytes = DeallocateEntry();
  return c;
}

bool CompletionSucceeded(uint8_t opcode, uint16_t status) {
  const uint16_t code = status & 0x7FF;  // SCT and SC; the retry, more and DNR bits say nothing here
  if (code == 0) return true;
  return opcode == nvme_opcode::kFirmwareCommit && CommitPendsReset(code);
}

bool CommitPendsReset(uint16_t status) {
  const uint16_t code = status & 0x7FF;
  return code == kCommitNeedsConventionalReset || code == kCommitNeedsSubsystemReset ||
         code == kCommitNeedsControllerReset;
}

uint16_t CompletionStatusAt(const uint8_t* entry) {
  return static_cast<uint16_t>(base::GetLe16(entry + 14) >> 1);
}

}  // namespace kestrune::disk
