// The disks of the disk interface class: device number, length, SCSI address, bus type, removable
// media, sector size, the parent node and, behind USB, the port chain.
#include <windows.h>
// The system headers below need the declarations of windows.h.
#include <setupapi.h>

#include "platform/win32/wide.h"
#include "platform/win32/win32_dev_nodes.h"
#include "platform/win32/win32_device_tree.h"
#include "platform/win32/win32_io.h"
#include "platform/win_device_text.h"
#include "platform/win_ioctl_codes.h"
#include "platform/win_query_replies.h"
#include "platform/win_storage_layouts.h"

namespace kestrune::platform::win32 {
namespace {

constexpr size_t kDescriptorBytes = 1024;  // the descriptor and the strings that follow it

std::string InterfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& iface, SP_DEVINFO_DATA& dev) {
  DWORD needed = 0;
  SetupDiGetDeviceInterfaceDetailW(set, &iface, nullptr, 0, &needed, nullptr);
  if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return {};
  // DWORD elements keep the detail record aligned.
  std::vector<DWORD> buffer(needed / sizeof(DWORD) + 1, 0);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  if (!SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, needed, nullptr, &dev)) return {};
  return Narrow(detail->DevicePath);
}

std::optional<DiskNode> ReadDisk(const DiskInterface& found, UsbChainReader& usb) {
  UniqueHandle h = OpenForQueries(found.path);
  if (!h) return std::nullopt;
  auto numberAnswer = Query(h.get(), winio::kIoctlStorageGetDeviceNumber, {}, winio::kDeviceNumberBytes);
  std::optional<winio::DeviceNumber> number =
      numberAnswer ? winio::ReadDeviceNumber(*numberAnswer) : std::nullopt;
  if (!number) return std::nullopt;

  DiskNode n;
  n.friendlyName = NameOf(found.node);
  n.deviceNumber = number->deviceNumber;
  n.physicalPath = winio::PhysicalDrivePath(number->deviceNumber);
  if (auto a = Query(h.get(), winio::kIoctlDiskGetLengthInfo, {}, winio::kLengthInfoBytes))
    n.lengthBytes = winio::ReadLength(*a).value_or(0);
  if (auto a = Query(h.get(), winio::kIoctlScsiGetAddress, {}, winio::kScsiAddressBytes)) {
    if (std::optional<winio::ScsiAddress> address = winio::ReadScsiAddress(*a)) {
      n.hasScsiAddress = true;
      n.scsiPort = address->portNumber;
      n.pathId = address->pathId;
      n.targetId = address->targetId;
      n.lun = address->lun;
    }
  }
  const auto query = winio::StandardPropertyQuery(winio::kStorageDeviceProperty);
  if (auto a = Query(h.get(), winio::kIoctlStorageQueryProperty, query, kDescriptorBytes)) {
    if (std::optional<winio::DeviceDescriptor> d = winio::ReadDeviceDescriptor(*a)) {
      n.busType = d->busType;
      n.removable = d->removable;
    }
  }
  n.parent = ParentNodeOf(found.node);
  if (n.busType == bus::kUsb) usb.Fill(found.node, n);
  if (auto a = Query(h.get(), winio::kIoctlDiskGetDriveGeometryEx, {}, winio::kGeometryExBytes))
    n.sectorSize = winio::ReadBytesPerSector(*a).value_or(0);
  return n;
}

}  // namespace

std::vector<DiskInterface> DiskInterfaces() {
  std::vector<DiskInterface> found;
  DeviceInfoSet set(SetupDiGetClassDevsW(&kDiskInterface, nullptr, nullptr,
                                         DIGCF_PRESENT | DIGCF_PROFILE | DIGCF_DEVICEINTERFACE));
  if (!set.ok()) return found;
  for (DWORD i = 0;; ++i) {
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface;
    if (!SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kDiskInterface, i, &iface)) break;
    SP_DEVINFO_DATA dev{};
    dev.cbSize = sizeof dev;
    std::string path = InterfacePath(set.get(), iface, dev);
    if (!path.empty()) found.push_back({std::move(path), dev.DevInst});
  }
  return found;
}

std::vector<FoundDisk> EnumerateDisks() {
  std::vector<FoundDisk> disks;
  UsbChainReader usb;
  for (const DiskInterface& found : DiskInterfaces()) {
    if (std::optional<DiskNode> disk = ReadDisk(found, usb)) disks.push_back({std::move(*disk), found.node});
  }
  return disks;
}

}  // namespace kestrune::platform::win32
