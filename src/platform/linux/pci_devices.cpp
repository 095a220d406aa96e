#include "platform/linux/pci_devices.h"

#include "platform/linux/parent_nodes.h"

namespace kestrune::platform::linux_dev {
namespace {

uint32_t Width(const SysRoot& sys, const std::string& path) {
  const uint64_t lanes = sys.Number(path).value_or(0);
  return lanes <= UINT32_MAX ? static_cast<uint32_t>(lanes) : 0;
}

}  // namespace

PciLinkReport ReadPciLink(const SysRoot& sys, const std::string& functionPath) {
  PciLinkReport r;
  if (functionPath.empty() || PciFunctionAbove(functionPath) != functionPath) return r;
  r.currentSpeed.text = sys.Attr(functionPath + "/current_link_speed").value_or("");
  r.currentWidth = Width(sys, functionPath + "/current_link_width");
  r.maxSpeed.text = sys.Attr(functionPath + "/max_link_speed").value_or("");
  r.maxWidth = Width(sys, functionPath + "/max_link_width");
  return r;
}

std::vector<PciDeviceNode> ListPciDevices(const SysRoot& sys) {
  std::vector<PciDeviceNode> devices;
  for (const std::string& name : sys.Entries("/sys/bus/pci/devices")) {
    const std::string path = sys.Resolve("/sys/bus/pci/devices/" + name);
    if (path.empty()) continue;
    PciDeviceNode d;
    d.instanceId = path;
    d.locationInformation = PciLocationText(BaseName(path));
    d.parentLocationInformation = PciLocationText(BaseName(DirName(path)));
    devices.push_back(std::move(d));
  }
  return devices;
}

}  // namespace kestrune::platform::linux_dev
