// The edits of a configuration block by item name: the FWCfgItem / SetValue lists that the
// firmware update applies to an image's block and VSC_SetFWconfig to the drive's, including the
// file items ("[Config_File]", "fwcfg", "cfgini") that bring a whole block or an INI list of items.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "devcmd/vendor_data.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::devcmd {

inline constexpr size_t kMaxEditEntries = 30;
inline constexpr size_t kMaxEditItemChars = 31;
inline constexpr size_t kMaxEditValueChars = 127;

// The item and value lists split by "|", trimmed and paired by position (a value list that starts
// with "|" keeps its empty first value). nullopt, with why, when a list is longer than 30 entries
// or an item or value is too long.
std::optional<std::vector<std::pair<std::string, std::string>>> PairEdits(std::string_view items,
                                                                           std::string_view values,
                                                                           std::string& why);

// The "FWConfig" section of a ".cfgini" file as name/value pairs in file order; nullopt, with why,
// for a line without "=" (named) or an oversized name or value.
std::optional<std::vector<std::pair<std::string, std::string>>> ReadCfgIni(std::string_view text, std::string& why);

// What an edit did: code 0, or the completion code with its detail (reported by the caller); over
// when the command is over already (a file choice cancelled, or a missing file reported). tmt1/tmt2: the values given for those
// items (degrees Celsius).
struct ConfigEdit {
  int32_t code = 0;
  std::string detail;
  bool over = false;
  std::optional<uint32_t> tmt1, tmt2;
};

// Applies the lists to the 4096-byte block through the item table; file items are looked up
// and announced as "Cfg File : %s" (an empty name asks, "fwcfg File").
ConfigEdit ApplyConfigEdits(engine::Interpreter& interp, uint32_t view, const VendorData& data,
                            std::span<uint8_t> block, std::string_view items, std::string_view values);

}  // namespace kestrune::devcmd
