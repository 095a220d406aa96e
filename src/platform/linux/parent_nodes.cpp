#include "platform/linux/parent_nodes.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace kestrune::platform::linux_dev {
namespace {

bool IsDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A decimal number of digits only, held at 0xFFFF (port and bus numbers are small).
uint32_t SmallNumber(std::string_view digits) {
  uint32_t n = 0;
  for (char c : digits) n = std::min<uint32_t>(n * 10 + static_cast<uint32_t>(c - '0'), 0xFFFF);
  return n;
}

bool IsHex(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  });
}

struct PciAddress {
  unsigned bus = 0, device = 0, function = 0;
};

// "dddd:bb:dd.f" (domain, bus, device, function in hexadecimal).
std::optional<PciAddress> ParsePciAddress(std::string_view name) {
  if (name.size() != 12 || name[4] != ':' || name[7] != ':' || name[10] != '.') return std::nullopt;
  if (!IsHex(name.substr(0, 4)) || !IsHex(name.substr(5, 2)) || !IsHex(name.substr(8, 2)) || !IsHex(name.substr(11, 1)))
    return std::nullopt;
  PciAddress a;
  a.bus = static_cast<unsigned>(std::stoul(std::string(name.substr(5, 2)), nullptr, 16));
  a.device = static_cast<unsigned>(std::stoul(std::string(name.substr(8, 2)), nullptr, 16));
  a.function = static_cast<unsigned>(std::stoul(std::string(name.substr(11, 1)), nullptr, 16));
  if (a.device > 31 || a.function > 7) return std::nullopt;
  return a;
}

// "2-1.4": a USB device (bus, then the port of each hop); "usb2" is a root hub.
bool IsUsbDeviceName(std::string_view name) {
  size_t dash = name.find('-');
  if (dash == std::string_view::npos || !IsDigits(name.substr(0, dash))) return false;
  std::string_view ports = name.substr(dash + 1);
  if (ports.empty()) return false;
  return std::all_of(ports.begin(), ports.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; }) &&
         ports.front() != '.' && ports.back() != '.';
}

std::vector<std::string_view> Components(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    size_t slash = path.find('/');
    std::string_view part = path.substr(0, slash);
    if (!part.empty()) parts.push_back(part);
    if (slash == std::string_view::npos) break;
    path.remove_prefix(slash + 1);
  }
  return parts;
}

std::string Join(const std::vector<std::string_view>& parts, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    out += '/';
    out += parts[i];
  }
  return out.empty() ? "/" : out;
}

}  // namespace

std::string PciFunctionAbove(std::string_view sysPath) {
  std::vector<std::string_view> parts = Components(sysPath);
  for (size_t n = parts.size(); n > 0; --n) {
    if (!ParsePciAddress(parts[n - 1])) continue;
    return Join(parts, n);
  }
  return {};
}

std::string StorageClassDescription(uint32_t classCode) {
  if ((classCode >> 16) != 0x01) return {};
  switch ((classCode >> 8) & 0xFF) {
    case 0x00:
      return "SCSI Storage Controller";
    case 0x01:
      return "IDE Controller";
    case 0x04:
      return "RAID Controller";
    case 0x05:
      return "ATA Controller";
    case 0x06:
      return (classCode & 0xFF) == 0x01 ? "SATA AHCI Controller" : "SATA Controller";
    case 0x07:
      return "Serial Attached SCSI Controller";
    case 0x08:
      return (classCode & 0xFF) == 0x02 ? "NVM Express Controller" : "Non-Volatile Memory Controller";
    default:
      return "Mass Storage Controller";
  }
}

std::string PciLocationText(std::string_view functionName) {
  std::optional<PciAddress> a = ParsePciAddress(functionName);
  if (!a) return {};
  char text[96];
  std::snprintf(text, sizeof text, "PCI bus %u, device %u, function %u (%u,%u,%u)", a->bus, a->device, a->function,
                a->bus, a->device, a->function);
  return text;
}

uint64_t KernelDriverVersion(const SysRoot& sys) {
  std::string release = sys.Attr("/proc/sys/kernel/osrelease").value_or("");
  uint64_t version = 0;
  int parts = 0;
  size_t i = 0;
  while (parts < 4 && i < release.size()) {
    if (release[i] < '0' || release[i] > '9') {
      ++i;
      continue;
    }
    uint64_t n = 0;
    while (i < release.size() && release[i] >= '0' && release[i] <= '9') n = std::min<uint64_t>(n * 10 + (release[i++] - '0'), 0xFFFF);
    version = (version << 16) | n;
    ++parts;
  }
  return parts == 0 ? 0 : version << (16 * (4 - parts));
}

ParentNode PciParentNode(const SysRoot& sys, const std::string& functionPath) {
  ParentNode p;
  const uint32_t classCode = static_cast<uint32_t>(sys.Number(functionPath + "/class").value_or(0));
  p.name = StorageClassDescription(classCode);
  if (p.name.empty()) p.name = "PCI Device";
  p.instanceId = functionPath;
  p.driverService = LinkName(sys, functionPath + "/driver");
  p.driverVersion = KernelDriverVersion(sys);
  p.locationInformation = PciLocationText(BaseName(functionPath));
  return p;
}

UsbPlace UsbPlaceOf(std::string_view sysPath) {
  UsbPlace place;
  std::vector<std::string_view> parts = Components(sysPath);
  for (size_t n = parts.size(); n > 0; --n) {
    std::string_view name = parts[n - 1];
    if (!IsUsbDeviceName(name)) continue;
    place.devicePath = Join(parts, n);
    if (n < parts.size() && parts[n].substr(0, name.size() + 1) == std::string(name) + ":")
      place.interfacePath = Join(parts, n + 1);
    size_t dash = name.find('-');
    place.bus = SmallNumber(name.substr(0, dash));
    std::string_view hops = name.substr(dash + 1);
    while (!hops.empty()) {
      size_t dot = hops.find('.');
      place.ports.insert(place.ports.begin(), SmallNumber(hops.substr(0, dot)));
      if (dot == std::string_view::npos) break;
      hops.remove_prefix(dot + 1);
    }
    break;
  }
  return place;
}

uint32_t UsbHostControllerPosition(const SysRoot& sys, uint32_t bus) {
  std::set<std::string> controllers;
  std::string ours;
  for (const std::string& name : sys.Entries("/sys/bus/usb/devices")) {
    if (name.size() <= 3 || name.compare(0, 3, "usb") != 0 || !IsDigits(name.substr(3))) continue;
    std::string hub = sys.Resolve("/sys/bus/usb/devices/" + name);
    if (hub.empty()) continue;
    std::string controller = DirName(hub);
    controllers.insert(controller);
    if (SmallNumber(std::string_view(name).substr(3)) == bus) ours = controller;
  }
  if (ours.empty()) return bus;
  return static_cast<uint32_t>(std::distance(controllers.begin(), controllers.find(ours)) + 1);
}

ParentNode UsbParentNode(const SysRoot& sys, const UsbPlace& place) {
  ParentNode p;
  std::string maker = sys.Attr(place.devicePath + "/manufacturer").value_or("");
  std::string product = sys.Attr(place.devicePath + "/product").value_or("");
  p.name = maker.empty() ? product : (product.empty() ? maker : maker + " " + product);
  if (p.name.empty()) p.name = "USB Mass Storage Device";
  p.instanceId = place.devicePath;
  if (!place.interfacePath.empty()) p.driverService = LinkName(sys, place.interfacePath + "/driver");
  p.driverVersion = KernelDriverVersion(sys);
  const uint32_t ownPort = place.ports.empty() ? 0 : place.ports.front();
  char text[64];
  std::snprintf(text, sizeof text, "Port_#%04u.Hub_#%04u", ownPort, place.bus);
  p.locationInformation = text;
  p.busAddress = ownPort;
  return p;
}

}  // namespace kestrune::platform::linux_dev
