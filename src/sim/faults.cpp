#include "sim/faults.h"

#include <array>
#include <utility>

#include "engine/text.h"

namespace kestrune::sim {
namespace {

constexpr std::array<std::pair<std::string_view, uint32_t>, 5> kKindWords{{
    {"read", request::kRead},
    {"write", request::kWrite},
    {"flush", request::kFlush},
    {"trim", request::kTrim},
    {"passthrough", request::kPassThrough},
}};

}  // namespace

std::optional<uint32_t> ParseRequestKinds(std::string_view text) {
  uint32_t kinds = 0;
  bool any = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t stop = text.find_first_of(", \t", pos);
    if (stop == std::string_view::npos) stop = text.size();
    std::string_view word = text.substr(pos, stop - pos);
    pos = stop + 1;
    if (word.empty()) continue;
    any = true;
    if (engine::EqualsNoCase(word, "all")) {
      kinds |= request::kAll;
      continue;
    }
    bool known = false;
    for (const auto& [name, bit] : kKindWords) {
      if (engine::EqualsNoCase(word, name)) {
        kinds |= bit;
        known = true;
      }
    }
    if (!known) return std::nullopt;
  }
  if (!any) return std::nullopt;
  return kinds;
}

std::string RequestKindsText(uint32_t kinds) {
  if (kinds == 0) return "none";
  if ((kinds & request::kAll) == request::kAll) return "all";
  std::string out;
  for (const auto& [name, bit] : kKindWords) {
    if ((kinds & bit) == 0) continue;
    if (!out.empty()) out += ", ";
    out += name;
  }
  return out;
}

}  // namespace kestrune::sim
