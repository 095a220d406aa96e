#include "devcmd/config_items.h"

#include <algorithm>
#include <cstring>

#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/firmware_file.h"
#include "engine/interpreter.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
using base::EqualsNoCase;
using base::Format;
using Edits = std::vector<std::pair<std::string, std::string>>;

std::vector<std::string> SplitBars(std::string_view s) {
  std::vector<std::string> out;
  size_t start = 0;
  while (true) {
    const size_t bar = s.find('|', start);
    out.emplace_back(base::Trim(s.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start)));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  return out;
}

bool IsFileItem(std::string_view item) {
  return EqualsNoCase(item, "[Config_File]") || EqualsNoCase(item, "fwcfg") || EqualsNoCase(item, "cfgini");
}

// Sets one named item; records the thermal items.
bool SetNamed(const VendorData& data, std::span<uint8_t> block, const std::string& item, const std::string& value,
              ConfigEdit& edit) {
  const ConfigItem* found = data.FindItem(item);
  if (found == nullptr) {
    edit = {code::kBadParameter, Format("Unknown item %s", item.c_str())};
    return false;
  }
  if (std::string why = SetConfigItem(block, *found, value); !why.empty()) {
    edit = {code::kBadParameter, why};
    return false;
  }
  if (!value.empty() && value != "-1") {
    const uint32_t n = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 0));
    if (EqualsNoCase(found->name, "tmt1")) edit.tmt1 = n;
    if (EqualsNoCase(found->name, "tmt2")) edit.tmt2 = n;
  }
  return true;
}

// A file item: a raw ".fwcfg" block over the block, or a ".cfgini" list of items.
bool ApplyFile(engine::Interpreter& interp, uint32_t view, const VendorData& data, std::span<uint8_t> block,
               const std::string& name, ConfigEdit& edit) {
  std::string path;
  engine::FileChoice choice = engine::FileChoice::Open("fwcfg File", "fwcfg;cfgini");
  std::optional<std::vector<uint8_t>> bytes = ReadAnnouncedFile(interp, view, name, choice, "Cfg File", path);
  if (!bytes) {
    edit.over = true;  // cancelled, or the missing file has been reported
    return false;
  }
  if (base::ContainsNoCase(path, ".fwcfg")) {
    if (bytes->size() < kConfigBlockSize || std::memcmp(bytes->data(), "CONF", 4) != 0) {
      edit = {code::kInvalidData, Format("%s is no 4096-byte CONF block", path.c_str())};
      return false;
    }
    std::copy_n(bytes->begin(), kConfigBlockSize, block.begin());
    return true;
  }
  if (base::ContainsNoCase(path, ".cfgini")) {
    std::string why;
    const auto pairs = ReadCfgIni(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), why);
    if (!pairs) {
      edit = {code::kBadParameter, path + ", " + why};
      return false;
    }
    for (const auto& [item, value] : *pairs)
      if (!SetNamed(data, block, item, value, edit)) return false;
    return true;
  }
  edit = {code::kBadParameter, Format("%s is neither .fwcfg nor .cfgini", path.c_str())};
  return false;
}

}  // namespace

std::optional<Edits> PairEdits(std::string_view items, std::string_view values, std::string& why) {
  std::string valueText(values);
  if (!valueText.empty() && valueText[0] == '|') valueText.insert(valueText.begin(), ' ');
  const std::vector<std::string> names = SplitBars(items), vals = SplitBars(valueText);
  if (names.size() > kMaxEditEntries || vals.size() > kMaxEditEntries) {
    why = "more than 30 items or values";
    return std::nullopt;
  }
  Edits out;
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string value = i < vals.size() ? vals[i] : std::string();
    if (names[i].size() > kMaxEditItemChars || value.size() > kMaxEditValueChars) {
      why = Format("item %s or its value is too long", names[i].c_str());
      return std::nullopt;
    }
    if (!names[i].empty()) out.emplace_back(names[i], value);
  }
  return out;
}

std::optional<Edits> ReadCfgIni(std::string_view text, std::string& why) {
  Edits out;
  bool inSection = false;
  size_t lineNo = 0;
  while (!text.empty()) {
    const size_t nl = text.find('\n');
    std::string_view line = base::Trim(text.substr(0, nl), true);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    ++lineNo;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[') {
      inSection = EqualsNoCase(line, "[FWConfig]");
      continue;
    }
    if (!inSection) continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      why = Format("line %zu has no \"=\"", lineNo);
      return std::nullopt;
    }
    std::string name(base::Trim(line.substr(0, eq))), value(base::Trim(line.substr(eq + 1)));
    if (name.empty() || name.size() > kMaxEditItemChars || value.size() > kMaxEditValueChars) {
      why = Format("line %zu: a name of 1 to 31 characters and a value of at most 127", lineNo);
      return std::nullopt;
    }
    if (out.size() >= kMaxConfigItems) {
      why = "more lines than items";
      return std::nullopt;
    }
    out.emplace_back(std::move(name), std::move(value));
  }
  return out;
}

ConfigEdit ApplyConfigEdits(engine::Interpreter& interp, uint32_t view, const VendorData& data,
                            std::span<uint8_t> block, std::string_view items, std::string_view values) {
  ConfigEdit edit;
  std::string why;
  const std::optional<Edits> pairs = PairEdits(items, values, why);
  if (!pairs) return {code::kBadParameter, why};
  for (const auto& [item, value] : *pairs) {
    const bool ok = IsFileItem(item) ? ApplyFile(interp, view, data, block, value, edit)
                                     : SetNamed(data, block, item, value, edit);
    if (!ok) return edit;
  }
  return edit;
}

}  // namespace kestrune::devcmd
