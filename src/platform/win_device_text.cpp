#include "platform/win_device_text.h"

namespace kestrune::platform::winio {
namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Upper(text[i]) != Upper(prefix[i])) return false;
  return true;
}

// A decimal number of 1 to 9 digits at the start of text; count gets the digits read.
std::optional<uint32_t> LeadingNumber(std::string_view text, size_t& count) {
  uint32_t n = 0;
  count = 0;
  while (count < text.size() && text[count] >= '0' && text[count] <= '9') {
    if (count == 9) return std::nullopt;
    n = n * 10 + static_cast<uint32_t>(text[count] - '0');
    ++count;
  }
  if (count == 0) return std::nullopt;
  return n;
}

// prefix, a number, then exactly suffix.
std::optional<uint32_t> NumberBetween(std::string_view text, std::string_view prefix,
                                      std::string_view suffix) {
  if (!StartsWithNoCase(text, prefix)) return std::nullopt;
  text.remove_prefix(prefix.size());
  size_t digits = 0;
  std::optional<uint32_t> n = LeadingNumber(text, digits);
  if (!n || text.substr(digits) != suffix) return std::nullopt;
  return n;
}

}  // namespace

std::string PhysicalDrivePath(uint32_t number) { return "\\\\.\\PHYSICALDRIVE" + std::to_string(number); }
std::string ScsiPortPath(uint32_t port) { return "\\\\.\\scsi" + std::to_string(port) + ":"; }
std::string VolumePath(char letter) { return std::string("\\\\.\\") + letter + ":"; }

std::optional<uint32_t> PhysicalDriveNumber(std::string_view path) {
  return NumberBetween(path, "\\\\.\\PHYSICALDRIVE", "");
}

std::optional<uint32_t> ScsiPortNumber(std::string_view path) {
  return NumberBetween(path, "\\\\.\\SCSI", ":");
}

std::optional<uint32_t> UsbPortOfLocation(std::string_view location) {
  constexpr std::string_view kPrefix = "Port_#";
  if (!StartsWithNoCase(location, kPrefix)) return std::nullopt;
  size_t digits = 0;
  return LeadingNumber(location.substr(kPrefix.size()), digits);
}

bool IsRootHubInstanceId(std::string_view instanceId) {
  return instanceId.size() >= 12 && StartsWithNoCase(instanceId.substr(4), "ROOT_HUB");
}

}  // namespace kestrune::platform::winio
