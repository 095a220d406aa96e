#include "disk/pci_link.h"

#include <optional>
#include <string_view>

#include "disk/location.h"

namespace kestrune::disk {
namespace {

// Link speeds in tenths of GT/s, by generation - 1.
constexpr uint32_t kTenthsOfGeneration[] = {25, 50, 80, 160, 320, 640};
constexpr uint32_t kGenerations = sizeof kTenthsOfGeneration / sizeof kTenthsOfGeneration[0];
// The widths a PCI Express link can have.
constexpr uint32_t kLaneCounts[] = {1, 2, 4, 8, 12, 16, 32};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal number at the start of text in tenths ("16.0" -> 160, "2.5" -> 25, "8" -> 80) and
// what follows it; nullopt without digits, with more than one fractional digit that is not 0, or
// when the number is too long to be a speed.
std::optional<uint32_t> Tenths(std::string_view& text) {
  size_t i = 0;
  uint32_t whole = 0;
  while (i < text.size() && IsDigit(text[i]) && i < 4)
    whole = whole * 10 + static_cast<uint32_t>(text[i++] - '0');
  if (i == 0 || (i < text.size() && IsDigit(text[i]))) return std::nullopt;
  uint32_t tenths = whole * 10;
  if (i < text.size() && text[i] == '.') {
    ++i;
    if (i >= text.size() || !IsDigit(text[i])) return std::nullopt;
    tenths += static_cast<uint32_t>(text[i++] - '0');
    while (i < text.size() && text[i] == '0') ++i;
    if (i < text.size() && IsDigit(text[i])) return std::nullopt;
  }
  text.remove_prefix(i);
  return tenths;
}

uint32_t GenerationOfText(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  std::optional<uint32_t> tenths = Tenths(text);
  if (!tenths) return 0;
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (text.substr(0, 4) != "GT/s") return 0;
  for (uint32_t g = 0; g < kGenerations; ++g)
    if (kTenthsOfGeneration[g] == *tenths) return g + 1;
  return 0;
}

}  // namespace

uint32_t LanesOfWidth(uint32_t width) {
  for (uint32_t lanes : kLaneCounts)
    if (lanes == width) return width;
  return 0;
}

uint32_t GenerationOfSpeed(const platform::LinkSpeedReport& speed) {
  if (!speed.text.empty()) return GenerationOfText(speed.text);
  return speed.code >= 1 && speed.code <= kGenerations ? speed.code : 0;
}

PciLinks PciLinkStatus(platform::DeviceTree& tree, const DiskEntry& entry) {
  if (entry.controllerInstanceId.empty()) return {};
  const platform::PciLinkReport r = tree.PciLink(entry.controllerInstanceId);
  PciLinks links;
  links.current = {GenerationOfSpeed(r.currentSpeed), LanesOfWidth(r.currentWidth)};
  links.max = {GenerationOfSpeed(r.maxSpeed), LanesOfWidth(r.maxWidth)};
  return links;
}

uint32_t UpstreamPortLocation(platform::DeviceTree& tree, uint32_t location) {
  for (const platform::PciDeviceNode& device : tree.PciDevices()) {
    if (PciLocationFromText(device.locationInformation) != location) continue;
    return PciLocationFromText(device.parentLocationInformation).value_or(0);
  }
  return 0;
}

}  // namespace kestrune::disk
