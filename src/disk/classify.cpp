#include "disk/classify.h"

#include <vector>

#include "base/text.h"
#include "disk/identify_data.h"
#include "disk/identify_probe.h"

namespace kestrune::disk {
namespace {

constexpr std::string_view kInboxNvmeControllerName = "Standard NVM Express Controller";

// A fixed disk behind a USB bridge that answers IDENTIFY DEVICE with a model is a SATA drive.
bool AnswersAtaIdentify(platform::DeviceTree& tree, const std::string& path) {
  std::unique_ptr<platform::Device> device = tree.Open(path, platform::OpenAccess::kReadWrite);
  if (!device) return false;
  std::vector<uint8_t> data(kAtaIdentifyBytes, 0);
  return AtaIdentifyThroughSat(*device, data) && !ParseAtaIdentify(data).model.empty();
}

}  // namespace

DiskKind KindOfBus(uint32_t busType) {
  switch (busType) {
    case platform::bus::kSata:
      return DiskKind::kAta;
    case platform::bus::kSas:
      return DiskKind::kUsbAta;
    case platform::bus::kNvme:
      return DiskKind::kOfaNvm;
    case platform::bus::kUsb:
      return DiskKind::kFlashDrive;
    default:
      return DiskKind::kUnclassified;
  }
}

bool IsInboxNvmeService(std::string_view service) {
#ifdef _WIN32
  return base::EqualsNoCase(service, "stornvme");
#else
  return base::EqualsNoCase(service, "stornvme") || service == "nvme";
#endif
}

std::string DriverVersionText(uint64_t v) {
  return base::Format("%u.%u.%u.%u", static_cast<unsigned>((v >> 48) & 0xFFFF),
                        static_cast<unsigned>((v >> 32) & 0xFFFF), static_cast<unsigned>((v >> 16) & 0xFFFF),
                        static_cast<unsigned>(v & 0xFFFF));
}

Classification Classify(const platform::DiskNode& node, platform::DeviceTree& tree,
                        BridgeIdentifySender send) {
  const platform::ParentNode& parent = node.parent;
  Classification c;
  c.controllerName = parent.name;
  c.controllerInstanceId = parent.instanceId;
  c.driverService = parent.driverService;
  c.driverVersion = DriverVersionText(parent.driverVersion);
  c.kind = KindOfBus(node.busType);

  const bool raidOrNvmeBus = node.busType == platform::bus::kRaid || node.busType == platform::bus::kNvme;
  if (IsInboxNvmeService(parent.driverService)) {
    c.kind = DiskKind::kNvm;
    c.controllerName = std::string(kInboxNvmeControllerName);
  } else if (raidOrNvmeBus && base::ContainsNoCase(parent.driverService, "iaStor")) {
    c.kind = DiskKind::kIrstNvm;
  } else if (node.busType == platform::bus::kUsb) {
    c.kind = ProbeUsbBridge(tree, node.physicalPath, send);
    const bool undecided = c.kind == DiskKind::kJmi || c.kind == DiskKind::kFlashDrive;
    if (!node.removable && undecided && node.lengthBytes != 0 && AnswersAtaIdentify(tree, node.physicalPath))
      c.kind = DiskKind::kUsbAta;
  }
  return c;
}

}  // namespace kestrune::disk
