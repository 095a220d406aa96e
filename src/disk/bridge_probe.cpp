#include "disk/bridge_probe.h"

#include <vector>

#include "base/text.h"
#include "disk/identify_data.h"
#include "disk/nvme_entries.h"
#include "disk/nvme_transport.h"

namespace kestrune::disk {
namespace {

// Bytes [from, to) of data as text up to the first NUL (missing bytes count as NUL).
std::string AsciiField(std::span<const uint8_t> data, size_t from, size_t to) {
  std::string out;
  for (size_t i = from; i < to && i < data.size() && data[i] != 0; ++i) out += static_cast<char>(data[i]);
  return out;
}

}  // namespace

std::array<uint8_t, 6> InquiryCdb() { return {0x12, 0, 0, 0, static_cast<uint8_t>(kInquiryLength), 0}; }

InquiryVerdict KindFromInquiry(std::span<const uint8_t> inquiry) {
  auto at = [&](size_t i) -> uint8_t { return i < inquiry.size() ? inquiry[i] : 0; };
  const std::string product = AsciiField(inquiry, 16, 32);        // product identification
  const std::string identification = AsciiField(inquiry, 8, 36);  // vendor, product and revision
  const uint8_t sig0 = at(36), sig1 = at(37);

  DiskKind kind = DiskKind::kFlashDrive;
  if (sig0 == 0x60 && sig1 == 0x23)
    kind = base::ContainsNoCase(product, "2364") ? DiskKind::kAsm2364 : DiskKind::kAsm2362;
  if ((sig0 == 0x35 && sig1 == 0x35) || (sig0 == 0x30 && sig1 == 0x35)) kind = DiskKind::kJmi;
  if (product.find("9210B") != std::string::npos) {
    kind = DiskKind::kRtl9210B;
  } else if (product.find("9210") != std::string::npos) {
    kind = DiskKind::kRtl9210;
  }
  if (sig0 == 0x05 && sig1 == 0x21) kind = DiskKind::kUsbAta;
  if (base::ContainsNoCase(identification, "SATA")) return {DiskKind::kUsbAta, false};
  return {kind, kind == DiskKind::kFlashDrive && at(1) == 0};
}

bool IdentifyThroughBridge(platform::Device& device, BridgeForm form, std::span<uint8_t> data) {
  constexpr uint8_t kCnsController = 1;
  NvmeExchange x;
  x.operation = NvmeOperation::kIdentify;
  x.command = IdentifyCommand(kCnsController, 0);
  x.direction = NvmeDirection::kIn;
  x.data = data;
  switch (form) {
    case BridgeForm::kAsmediaThreePhase:
      return SendAsmediaThreePhase(device, x) == kNvmeDone;
    case BridgeForm::kJmicron:
      return SendJmicron(device, x) == kNvmeDone;
    case BridgeForm::kRtl9210B:
      return SendRtl9210B(device, x) == kNvmeDone;
    case BridgeForm::kRtl9210:
      return SendRtl9210(device, x) == kNvmeDone;
  }
  return false;
}

BridgeForm BridgeFormOf(DiskKind kind) {
  switch (kind) {
    case DiskKind::kAsm2362:
    case DiskKind::kAsm2364:
      return BridgeForm::kAsmediaThreePhase;
    case DiskKind::kRtl9210B:
      return BridgeForm::kRtl9210B;
    case DiskKind::kRtl9210:
      return BridgeForm::kRtl9210;
    default:
      return BridgeForm::kJmicron;
  }
}

bool LooksLikeIdentifyController(std::span<const uint8_t> data) {
  if (data.size() < 25) return false;
  bool word0 = data[0] != 0 || data[1] != 0;
  bool word2 = data[2] != 0 || data[3] != 0;
  return word0 && word2 && data[24] >= 0x21 && data[24] <= 0x7E;
}

DiskKind KindFromBridgeIdentify(platform::Device& device, BridgeIdentifySender send) {
  std::vector<uint8_t> data(kIdentifyControllerBytes, 0);
  if (send(device, BridgeForm::kAsmediaThreePhase, data)) return DiskKind::kAsm2362;
  data.assign(data.size(), 0);
  if (send(device, BridgeForm::kJmicron, data)) return DiskKind::kJmi;
  data.assign(data.size(), 0);
  if (send(device, BridgeForm::kRtl9210B, data) && LooksLikeIdentifyController(data))
    return DiskKind::kRtl9210B;
  data.assign(data.size(), 0);
  if (send(device, BridgeForm::kRtl9210, data) && LooksLikeIdentifyController(data))
    return DiskKind::kRtl9210;
  return DiskKind::kFlashDrive;
}

DiskKind ProbeUsbBridge(platform::DeviceTree& tree, const std::string& path, BridgeIdentifySender send) {
  std::unique_ptr<platform::Device> device = tree.Open(path, platform::OpenAccess::kReadWrite);
  if (!device) return DiskKind::kFlashDrive;
  std::array<uint8_t, 6> cdb = InquiryCdb();
  std::vector<uint8_t> inquiry(kInquiryLength, 0);
  platform::ScsiResult result;
  if (device->Scsi(cdb, platform::DataDirection::kIn, inquiry, kInquiryTimeoutSeconds, result) !=
          platform::PassStatus::kOk ||
      result.status != 0)
    inquiry.assign(inquiry.size(), 0);  // no answer reads as all zeros
  InquiryVerdict verdict = KindFromInquiry(inquiry);
  if (!verdict.askBridges) return verdict.kind;
  return KindFromBridgeIdentify(*device, send);
}

}  // namespace kestrune::disk
