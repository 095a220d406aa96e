// The maker's data: which drives are the maker's (PCI vendor ids, SATA WWN OUIs), the controller
// families and their identifiers, and the firmware configuration item table. It is package data
// ("VendorData.txt" beside the script), read once at start-up, so that a station's real tables
// drop in without a rebuild. The format is described at the top of package/VendorData.txt and in
// docs/VENDOR_DATA.md.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "devcmd/field_table.h"

namespace kestrune::devcmd {

enum class SocFamily : uint8_t { kOther, kAlder, kBirch, kBirchQX, kBirchHS, kCedar };

struct SocEntry {
  SocFamily family = SocFamily::kOther;
  uint16_t id = 0;
  std::string marker;  // the version marker of a ROM disk's firmware text; empty: the common one
};

// How an item's bytes read: a little-endian number shown in decimal or hex, characters, or a hex
// string of the bytes in memory order.
enum class ItemType : uint8_t { kDecimal, kHex, kText, kBytes };

struct ConfigItem {
  std::string name;
  std::string alias;  // empty: none
  uint32_t offset = 0;
  uint32_t size = 0;
  ItemType type = ItemType::kDecimal;
  std::string group;
  uint32_t colour = 0xFFFFFF;
  std::string display;  // "name (alias)" or "name": what the decoder prints
};

inline constexpr size_t kConfigBlockSize = 4096;
inline constexpr size_t kMaxConfigItems = 1024;

struct VendorData {
  std::vector<uint16_t> vendorIds;
  std::vector<uint32_t> sataOuis;  // 24-bit IEEE OUIs
  std::vector<SocEntry> socs;
  std::vector<ConfigItem> items;
  std::vector<ConfigItem> mpItems;  // the manufacturing record (the drive-information page)

  bool IsMakerVendor(uint16_t pciVendorId) const;
  bool IsMakerOui(uint32_t oui) const;
  SocFamily FamilyOf(uint32_t socId) const;
  // Cedar and later: socId at or above the lowest Cedar identifier (none listed: false).
  bool IsCedarOrLater(uint32_t socId) const;
  // The version marker of socId's controller; the common "3.0.0" when it has none of its own.
  std::string VersionMarker(uint32_t socId) const;
  const ConfigItem* FindItem(std::string_view nameOrAlias) const;
  // The decoder's rows over items (valid while this object lives and items do not change).
  std::vector<FieldRow> FieldRows() const;
  std::vector<FieldRow> MpFieldRows() const;  // the same over mpItems
};

// The decoder's rows over items (valid while items live and do not change).
std::vector<FieldRow> FieldRowsOf(const std::vector<ConfigItem>& items);

struct VendorDataParse {
  std::optional<VendorData> data;
  std::string error;  // "line N: why" when data is empty
};

// Parses the text; any malformed line refuses the whole file (a half-read table would decode
// wrong offsets without a word).
VendorDataParse ParseVendorData(std::string_view text);

// Sets item in block from value: a number (decimal or 0x hex) that fits the item's size, a text
// no longer than the item (zero-padded), or a hex string of at most the item's bytes. "" and "-1"
// leave the item as it is. Returns "" or why the value does not fit.
std::string SetConfigItem(std::span<uint8_t> block, const ConfigItem& item, std::string_view value);

}  // namespace kestrune::devcmd
