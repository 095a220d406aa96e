#include "disk/location.h"

#include "base/text.h"

namespace kestrune::disk {
namespace {

std::optional<uint32_t> DecimalField(std::string_view text) {
  text = base::Trim(text);
  if (text.empty() || text.size() > 5) return std::nullopt;
  uint32_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<uint32_t>(c - '0');
  }
  return n;
}

}  // namespace

std::optional<uint32_t> PciLocationFromText(std::string_view text) {
  size_t open = text.rfind('(');
  if (open == std::string_view::npos) return std::nullopt;
  size_t close = text.find(')', open);
  if (close == std::string_view::npos) return std::nullopt;
  std::string_view inner = text.substr(open + 1, close - open - 1);

  uint32_t parts[3] = {};
  for (int i = 0; i < 3; ++i) {
    size_t comma = inner.find(',');
    if ((i < 2) != (comma != std::string_view::npos)) return std::nullopt;  // exactly two commas
    std::optional<uint32_t> n = DecimalField(inner.substr(0, comma));
    if (!n) return std::nullopt;
    parts[i] = *n;
    inner = comma == std::string_view::npos ? std::string_view() : inner.substr(comma + 1);
  }
  if (parts[0] > 255 || parts[1] > 31 || parts[2] > 7) return std::nullopt;
  return parts[0] * 256 + parts[1] * 8 + parts[2];
}

uint32_t PackUsbLocation(const std::vector<uint32_t>& portsFromDisk, uint32_t hostController) {
  // Built from the disk upwards, so that whatever fits is the part nearest the disk.
  uint64_t value = 0;
  uint64_t scale = 1;
  auto add = [&](uint32_t part) {
    uint64_t next = value + static_cast<uint64_t>(part) * scale;
    if (scale > UINT32_MAX || next > UINT32_MAX) return false;
    value = next;
    scale *= 100;
    return true;
  };
  for (uint32_t port : portsFromDisk)
    if (!add(port % 100)) return static_cast<uint32_t>(value);
  add(hostController);
  return static_cast<uint32_t>(value);
}

uint32_t LocationOf(const platform::DiskNode& node, DiskKind kind) {
  if (IsUsbBridgeNvme(kind)) return PackUsbLocation(node.usbPorts, node.usbHostController);
  switch (kind) {
    case DiskKind::kNvm:
    case DiskKind::kOfaNvm:
    case DiskKind::kIrstNvm:
      return PciLocationFromText(node.parent.locationInformation).value_or(0);
    case DiskKind::kAta:
      return node.parent.busAddress >> 16;
    default:
      return node.parent.busAddress & 0xFFFF;
  }
}

}  // namespace kestrune::disk
