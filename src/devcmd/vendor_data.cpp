#include "devcmd/vendor_data.h"

#include <algorithm>
#include <charconv>

#include "base/bytes.h"
#include "base/text.h"

namespace kestrune::devcmd {
namespace {

using base::EqualsNoCase;
using base::Format;

constexpr size_t kMaxItemName = 31;
constexpr uint32_t kMaxTextItem = 512;
constexpr std::string_view kCommonMarker = "3.0.0";

// Blank-separated fields; a field in double quotes may hold blanks.
std::vector<std::string> Fields(std::string_view line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    if (line[i] == '"') {
      const size_t end = line.find('"', i + 1);
      const size_t stop = end == std::string_view::npos ? line.size() : end;
      out.emplace_back(line.substr(i + 1, stop - i - 1));
      i = stop + 1;
    } else {
      size_t end = i;
      while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
      out.emplace_back(line.substr(i, end - i));
      i = end;
    }
  }
  return out;
}

// A number written in decimal or with 0x in hex; base16 reads bare hex.
std::optional<uint64_t> Number(std::string_view s, bool base16 = false) {
  int radix = base16 ? 16 : 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    s.remove_prefix(2);
    radix = 16;
  }
  if (s.empty()) return std::nullopt;
  uint64_t v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, radix);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

std::optional<SocFamily> FamilyNamed(std::string_view s) {
  static constexpr std::pair<std::string_view, SocFamily> kNames[] = {
      {"Alder", SocFamily::kAlder},     {"Birch", SocFamily::kBirch}, {"BirchQX", SocFamily::kBirchQX},
      {"BirchHS", SocFamily::kBirchHS}, {"Cedar", SocFamily::kCedar}, {"Other", SocFamily::kOther}};
  for (const auto& [name, family] : kNames)
    if (EqualsNoCase(s, name)) return family;
  return std::nullopt;
}

std::optional<ItemType> TypeNamed(std::string_view s) {
  if (EqualsNoCase(s, "dec")) return ItemType::kDecimal;
  if (EqualsNoCase(s, "hex")) return ItemType::kHex;
  if (EqualsNoCase(s, "text")) return ItemType::kText;
  if (EqualsNoCase(s, "bytes")) return ItemType::kBytes;
  return std::nullopt;
}

bool IsNumberType(ItemType t) { return t == ItemType::kDecimal || t == ItemType::kHex; }

const ConfigItem* FindIn(const std::vector<ConfigItem>& items, std::string_view nameOrAlias) {
  for (const ConfigItem& item : items)
    if (EqualsNoCase(item.name, nameOrAlias) || (!item.alias.empty() && EqualsNoCase(item.alias, nameOrAlias)))
      return &item;
  return nullptr;
}

// One "item" (or "mpitem") line into items: name offset size type group alias colour.
std::string ReadItem(const std::vector<std::string>& f, std::vector<ConfigItem>& items) {
  if (f.size() != 8) return "an item takes name, offset, size, type, group, alias and colour";
  ConfigItem item;
  item.name = f[1];
  if (item.name.empty() || item.name.size() > kMaxItemName) return "an item name of 1 to 31 characters";
  const auto offset = Number(f[2]), size = Number(f[3]);
  const auto type = TypeNamed(f[4]);
  const auto colour = Number(f[7], true);
  if (!offset || !size || *size == 0) return "offset and size are numbers, the size above 0";
  if (!type) return "type is dec, hex, text or bytes";
  if (!colour || *colour > 0xFFFFFF) return "colour is a hex RRGGBB value";
  item.type = *type;
  item.size = static_cast<uint32_t>(std::min<uint64_t>(*size, kConfigBlockSize + 1));
  if (IsNumberType(item.type) && item.size != 1 && item.size != 2 && item.size != 4 && item.size != 8)
    return "a number item is 1, 2, 4 or 8 bytes";
  if (!IsNumberType(item.type) && item.size > kMaxTextItem) return "a text or bytes item is at most 512 bytes";
  if (*offset >= kConfigBlockSize || *offset + item.size > kConfigBlockSize) return "the item lies outside the 4096-byte block";
  item.offset = static_cast<uint32_t>(*offset);
  item.group = f[5];
  if (f[6] != "-") item.alias = f[6];
  if (item.alias.size() > kMaxItemName) return "an alias of at most 31 characters";
  // Written as RRGGBB; lines are coloured with COLORREF values (BBGGRR).
  const uint32_t rgb = static_cast<uint32_t>(*colour);
  item.colour = ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | (rgb >> 16);
  item.display = item.alias.empty() ? item.name : item.name + " (" + item.alias + ")";
  if (FindIn(items, item.name) || (!item.alias.empty() && FindIn(items, item.alias))) return "a name or alias listed twice";
  if (items.size() >= kMaxConfigItems) return "more than 1024 items";
  items.push_back(std::move(item));
  return "";
}

std::string ReadLine(const std::vector<std::string>& f, VendorData& data) {
  const std::string& what = f[0];
  if (EqualsNoCase(what, "vendor")) {
    const auto id = f.size() == 2 ? Number(f[1], true) : std::nullopt;
    if (!id || *id > 0xFFFF) return "vendor takes one 16-bit hex id";
    data.vendorIds.push_back(static_cast<uint16_t>(*id));
    return "";
  }
  if (EqualsNoCase(what, "sata-oui")) {
    const auto oui = f.size() == 2 ? Number(f[1], true) : std::nullopt;
    if (!oui || *oui > 0xFFFFFF) return "sata-oui takes one 24-bit hex OUI";
    data.sataOuis.push_back(static_cast<uint32_t>(*oui));
    return "";
  }
  if (EqualsNoCase(what, "soc")) {
    if (f.size() != 3 && !(f.size() == 5 && EqualsNoCase(f[3], "marker"))) return "soc takes family, id [marker TEXT]";
    const auto family = FamilyNamed(f[1]);
    const auto id = Number(f[2], true);
    if (!family) return "family is Alder, Birch, BirchQX, BirchHS, Cedar or Other";
    if (!id || *id == 0 || *id > 0xFFFF) return "a soc id is a non-zero 16-bit hex value";
    data.socs.push_back({*family, static_cast<uint16_t>(*id), f.size() == 5 ? f[4] : std::string()});
    return "";
  }
  if (EqualsNoCase(what, "item")) return ReadItem(f, data.items);
  if (EqualsNoCase(what, "mpitem")) return ReadItem(f, data.mpItems);
  return "unknown entry \"" + what + "\"";
}

}  // namespace

bool VendorData::IsMakerVendor(uint16_t pciVendorId) const {
  return std::find(vendorIds.begin(), vendorIds.end(), pciVendorId) != vendorIds.end();
}

bool VendorData::IsMakerOui(uint32_t oui) const {
  return std::find(sataOuis.begin(), sataOuis.end(), oui) != sataOuis.end();
}

SocFamily VendorData::FamilyOf(uint32_t socId) const {
  for (const SocEntry& s : socs)
    if (s.id == socId) return s.family;
  return SocFamily::kOther;
}

bool VendorData::IsCedarOrLater(uint32_t socId) const {
  std::optional<uint16_t> lowest;
  for (const SocEntry& s : socs)
    if (s.family == SocFamily::kCedar && (!lowest || s.id < *lowest)) lowest = s.id;
  return lowest && socId >= *lowest;
}

std::string VendorData::VersionMarker(uint32_t socId) const {
  for (const SocEntry& s : socs)
    if (s.id == socId && !s.marker.empty()) return s.marker;
  return std::string(kCommonMarker);
}

const ConfigItem* VendorData::FindItem(std::string_view nameOrAlias) const { return FindIn(items, nameOrAlias); }

std::vector<FieldRow> VendorData::FieldRows() const { return FieldRowsOf(items); }
std::vector<FieldRow> VendorData::MpFieldRows() const { return FieldRowsOf(mpItems); }

std::vector<FieldRow> FieldRowsOf(const std::vector<ConfigItem>& items) {
  std::vector<FieldRow> rows;
  rows.reserve(items.size());
  for (const ConfigItem& item : items) {
    FieldRow row;
    row.offset = item.offset;
    row.name = item.display;
    row.colour = item.colour;
    row.group = item.group;
    switch (item.type) {
      case ItemType::kDecimal:
        row.type = item.size == 1 ? FieldType::kU8 : item.size == 2 ? FieldType::kU16
                 : item.size == 4 ? FieldType::kU32 : FieldType::kI64;
        break;
      case ItemType::kHex:
        row.type = item.size == 1 ? FieldType::kU8Hex : item.size == 2 ? FieldType::kU16Hex
                 : item.size == 4 ? FieldType::kU32Hex : FieldType::kU64Hex;
        break;
      case ItemType::kText:
        row.type = FieldType::kText;
        row.count = static_cast<int32_t>(item.size);
        break;
      case ItemType::kBytes:
        row.type = FieldType::kByteString;
        row.count = static_cast<int32_t>(item.size);
        break;
    }
    rows.push_back(row);
  }
  return rows;
}

VendorDataParse ParseVendorData(std::string_view text) {
  VendorData data;
  size_t lineNo = 0;
  while (!text.empty()) {
    const size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    ++lineNo;
    if (const size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    line = base::Trim(line, true);
    if (line.empty()) continue;
    const std::string why = ReadLine(Fields(line), data);
    if (!why.empty()) return {std::nullopt, Format("line %zu: %s", lineNo, why.c_str())};
  }
  return {std::move(data), ""};
}

std::string SetConfigItem(std::span<uint8_t> block, const ConfigItem& item, std::string_view value) {
  if (value.empty() || value == "-1") return "";
  if (block.size() < item.offset + item.size) return Format("item %s lies outside the block", item.name.c_str());
  uint8_t* at = block.data() + item.offset;
  if (IsNumberType(item.type)) {
    const auto n = Number(value);
    const uint64_t limit = item.size == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * item.size)) - 1;
    if (!n || *n > limit) return Format("Value %.*s not fit item %s", static_cast<int>(value.size()), value.data(), item.name.c_str());
    for (uint32_t i = 0; i < item.size; ++i) at[i] = static_cast<uint8_t>(*n >> (8 * i));
    return "";
  }
  if (item.type == ItemType::kText) {
    if (value.size() > item.size) return Format("Value %.*s not fit item %s", static_cast<int>(value.size()), value.data(), item.name.c_str());
    std::fill(at, at + item.size, uint8_t{0});
    std::copy(value.begin(), value.end(), at);
    return "";
  }
  // Bytes: pairs of hex digits, at most the item's size; the rest of the item is zeroed.
  if (value.size() % 2 != 0 || value.size() / 2 > item.size)
    return Format("Value %.*s not fit item %s", static_cast<int>(value.size()), value.data(), item.name.c_str());
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < value.size(); i += 2) {
    const auto b = Number(value.substr(i, 2), true);
    if (!b) return Format("Value %.*s not fit item %s", static_cast<int>(value.size()), value.data(), item.name.c_str());
    bytes.push_back(static_cast<uint8_t>(*b));
  }
  std::fill(at, at + item.size, uint8_t{0});
  std::copy(bytes.begin(), bytes.end(), at);
  return "";
}

}  // namespace kestrune::devcmd
