#include "disk/selector.h"

#include <optional>
#include <string>

#include "base/text.h"
#include "disk/port_name.h"

namespace kestrune::disk {
namespace {

enum class Field { kModel, kFirmware, kPort, kVendorId, kSocId };

struct Prefix {
  std::string_view slashForm;
  std::string_view backslashForm;
  Field field;
};

constexpr Prefix kPrefixes[] = {
    {"/model/", "\\MODEL\\", Field::kModel}, {"/fwver/", "\\FWVER\\", Field::kFirmware},
    {"/port/", "\\PORT\\", Field::kPort},    {"/vid/", "\\VID\\", Field::kVendorId},
    {"/socid/", "\\SOCID\\", Field::kSocId},
};

constexpr std::string_view kAllMarkers[] = {"/all/", "\\\\.\\ALL\\"};

// The text after the first occurrence of marker (any case); nullopt when it does not occur.
std::optional<std::string_view> After(std::string_view selector, std::string_view marker) {
  size_t at = base::FindNoCase(selector, marker);
  if (at == std::string_view::npos) return std::nullopt;
  return selector.substr(at + marker.size());
}

// A selector's hexadecimal value ("1F2A", "0x1F2A"); nullopt for anything else (e.g. wildcards).
std::optional<uint32_t> HexValue(std::string_view text) {
  if (base::StartsWithNoCase(text, "0x")) text.remove_prefix(2);
  if (text.empty() || text.size() > 8) return std::nullopt;
  uint32_t v = 0;
  for (char c : text) {
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
    if (digit < 0) return std::nullopt;
    v = v * 16 + static_cast<uint32_t>(digit);
  }
  return v;
}

bool MatchField(Field field, std::string_view name, DiskEntry& entry, const PortMap& portMap,
                const IdentityRefresher& refresh) {
  std::string value;
  switch (field) {
    case Field::kModel:
      if (base::ContainsNoCase(entry.model, name)) return true;
      value = entry.model;
      break;
    case Field::kFirmware:
      value = std::string(base::Trim(entry.firmwareRevision));
      if (value == name) return true;
      break;
    case Field::kPort:
      value = PortName(entry, portMap);
      if (value == name) return true;
      break;
    case Field::kVendorId:
      if (!IsNvmeKind(entry.diskKind)) return false;
      if (HexValue(name) == entry.pciVendorId) return true;
      value = base::Format("%04X", entry.pciVendorId);
      break;
    case Field::kSocId: {
      uint32_t socId = SocIdOf(entry, refresh);
      if (HexValue(name) == socId) return true;
      value = base::Format("%04X", socId);
      break;
    }
  }
  return !value.empty() && WildcardEquals(name, value);
}

}  // namespace

bool WildcardEquals(std::string_view pattern, std::string_view value) {
  if (pattern.size() != value.size()) return false;
  for (size_t i = 0; i < pattern.size(); ++i)
    if (pattern[i] != '?' && base::ToLowerAscii(pattern[i]) != base::ToLowerAscii(value[i])) return false;
  return true;
}

bool IsMultiDiskSelector(std::string_view selector) {
  for (std::string_view marker : kAllMarkers)
    if (After(selector, marker)) return true;
  return false;
}

bool MatchTarget(std::string_view selector, DiskEntry& entry, const PortMap& portMap,
                 const IdentityRefresher& refresh) {
  for (const Prefix& p : kPrefixes) {
    std::optional<std::string_view> name = After(selector, p.slashForm);
    if (!name) name = After(selector, p.backslashForm);
    if (name) return MatchField(p.field, base::Trim(*name), entry, portMap, refresh);
  }
  if (After(selector, "\\VDDISK")) return SocIdOf(entry, refresh) != 0;
  if (After(selector, "\\NULLDisk")) return true;
  // A bare multi-disk marker names every disk.
  for (std::string_view marker : kAllMarkers) {
    std::optional<std::string_view> rest = After(selector, marker);
    if (rest && base::Trim(*rest).empty()) return true;
  }
  return base::EqualsNoCase(selector, entry.physicalPath) ||
         base::EqualsNoCase(selector, entry.devicePath);
}

}  // namespace kestrune::disk
