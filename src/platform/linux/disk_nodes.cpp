#include "platform/linux/disk_nodes.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "platform/linux/nvme_namespace.h"
#include "platform/linux/parent_nodes.h"

namespace kestrune::platform::linux_dev {
namespace {

constexpr uint32_t kDefaultSectorSize = 512;

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool IsDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

struct ScsiAddress {
  uint32_t host = 0, channel = 0, target = 0, lun = 0;
};

// "host:channel:target:lun", the name of a SCSI device folder.
std::optional<ScsiAddress> ParseScsiAddress(std::string_view name) {
  uint32_t parts[4] = {};
  for (int i = 0; i < 4; ++i) {
    size_t colon = name.find(':');
    if ((i < 3) != (colon != std::string_view::npos)) return std::nullopt;
    std::string_view field = name.substr(0, colon);
    if (!IsDigits(field) || field.size() > 9) return std::nullopt;
    parts[i] = static_cast<uint32_t>(std::stoul(std::string(field)));
    name = colon == std::string_view::npos ? std::string_view() : name.substr(colon + 1);
  }
  return ScsiAddress{parts[0], parts[1], parts[2], parts[3]};
}

// The folder of the component of path whose name passes pred, searching from the end; "".
template <typename Pred>
std::string FolderNamed(std::string_view path, Pred pred) {
  while (path.size() > 1) {
    std::string name = BaseName(path);
    if (pred(name)) return std::string(path);
    size_t slash = path.rfind('/');
    if (slash == std::string_view::npos || slash == 0) break;
    path = path.substr(0, slash);
  }
  return {};
}

std::string Joined(std::string a, const std::string& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return a + " " + b;
}

// The 0-based port index of a libata port folder ("/sys/devices/.../ata3").
uint32_t AtaPortIndex(const SysRoot& sys, const std::string& ataFolder) {
  const std::string name = BaseName(ataFolder);
  std::optional<uint64_t> portNo = sys.Number(ataFolder + "/ata_port/" + name + "/port_no");
  if (!portNo) portNo = sys.Number("/sys/class/ata_port/" + name + "/port_no");
  return portNo && *portNo > 0 ? static_cast<uint32_t>(*portNo - 1) : 0;
}

void FillNvme(const SysRoot& sys, const BlockDisk& disk, DiskNode& n) {
  n.busType = bus::kNvme;
  n.namespaceId = NvmeNamespaceIdOf(sys, n.physicalPath, disk.disk.sysPath);
  const std::string controller = NvmeControllerSysPath(sys, disk.disk.sysPath);
  if (controller.empty()) return;
  n.friendlyName = sys.Attr(controller + "/model").value_or("");
  n.controllerPath = "/dev/" + BaseName(controller);
  const std::string function = PciFunctionAbove(controller);
  if (!function.empty()) {
    n.parent = PciParentNode(sys, function);
  } else {
    n.parent.name = "NVM Express Controller";
    n.parent.instanceId = controller;
    n.parent.driverVersion = KernelDriverVersion(sys);
  }
  // Every NVMe transport reaches the drive through the kernel's own NVMe driver.
  if (n.parent.driverService.empty()) n.parent.driverService = "nvme";
}

std::string FriendlyName(const SysRoot& sys, const std::string& name, const std::string& device, bool usb,
                         bool libata) {
  const std::string vendor = sys.Attr(device + "/vendor").value_or("");
  const std::string model = sys.Attr(device + "/model").value_or("");
  if (libata && !model.empty()) return model;
  if (usb) return Joined(Joined(vendor, model), "USB Device");
  if (!model.empty()) return Joined(vendor, model);
  if (StartsWith(name, "vd")) return "VirtIO Block Device";
  if (std::optional<std::string> card = sys.Attr(device + "/name")) return Joined(*card, "Card");
  return "Disk " + name;
}

}  // namespace

DiskNode DiskNodeOf(const SysRoot& sys, const BlockDisk& disk) {
  DiskNode n;
  const std::string& name = disk.disk.name;
  const std::string& sysPath = disk.disk.sysPath;
  n.physicalPath = "/dev/" + name;
  n.deviceNumber = DeviceNumberOf(disk.disk.dev);
  n.lengthBytes = disk.disk.sizeBytes;
  n.sectorSize = static_cast<uint32_t>(sys.Number(sysPath + "/queue/logical_block_size").value_or(kDefaultSectorSize));
  n.removable = sys.Number(sysPath + "/removable").value_or(0) != 0;

  if (StartsWith(name, "nvme")) {
    FillNvme(sys, disk, n);
    return n;
  }
  if (StartsWith(name, "loop")) {
    n.busType = kBusFileBackedVirtual;
    n.friendlyName = Joined("Loop Device", sys.Attr(sysPath + "/loop/backing_file").value_or(""));
    return n;
  }

  const std::string device = sys.Resolve(sysPath + "/device");
  const UsbPlace usb = UsbPlaceOf(sysPath);
  const bool onUsb = !usb.ports.empty();
  const std::string ataFolder =
      FolderNamed(sysPath, [](const std::string& c) { return StartsWith(c, "ata") && IsDigits(c.substr(3)); });
  const bool libata = !onUsb && !ataFolder.empty();
  const bool sas = !FolderNamed(sysPath, [](const std::string& c) {
                      return StartsWith(c, "end_device-") || StartsWith(c, "expander-");
                    }).empty();

  if (std::optional<ScsiAddress> a = ParseScsiAddress(BaseName(device))) {
    n.hasScsiAddress = true;
    n.scsiPort = a->host;
    n.pathId = a->channel;
    n.targetId = a->target;
    n.lun = a->lun;
    if (libata) {
      n.pathId = AtaPortIndex(sys, ataFolder);
      n.targetId = a->target + a->channel;
    }
    n.busType = onUsb ? bus::kUsb : libata ? bus::kSata : sas ? bus::kSas : bus::kScsi;
  } else {
    n.busType = onUsb ? bus::kUsb : StartsWith(name, "mmcblk") ? kBusSd : bus::kUnknown;
  }
  n.friendlyName = FriendlyName(sys, name, device, onUsb, libata);

  if (onUsb) {
    n.parent = UsbParentNode(sys, usb);
    n.usbPorts = usb.ports;
    n.usbHostController = UsbHostControllerPosition(sys, usb.bus);
    return n;
  }
  const std::string function = PciFunctionAbove(sysPath);
  if (!function.empty()) n.parent = PciParentNode(sys, function);
  n.parent.busAddress = libata ? n.pathId << 16 : n.targetId & 0xFFFF;
  return n;
}

}  // namespace kestrune::platform::linux_dev
