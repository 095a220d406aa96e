#include "sim/faults.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "base/text.h"
#include "sim/lab_values.h"

namespace kestrune::sim {
namespace {

constexpr std::array<std::pair<std::string_view, uint32_t>, 5> kKindWords{{
    {"read", request::kRead},
    {"write", request::kWrite},
    {"flush", request::kFlush},
    {"trim", request::kTrim},
    {"passthrough", request::kPassThrough},
}};

constexpr std::array<std::pair<std::string_view, uint32_t>, 4> kPhaseWords{{
    {"command", bridge_phase::kCommand},
    {"data", bridge_phase::kData},
    {"completion", bridge_phase::kCompletion},
    {"single", bridge_phase::kSingle},
}};

// The words of text (separated by commas or blanks).
std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t stop = text.find_first_of(", \t", pos);
    if (stop == std::string_view::npos) stop = text.size();
    if (stop > pos) words.push_back(text.substr(pos, stop - pos));
    pos = stop + 1;
  }
  return words;
}

std::optional<uint32_t> Number(std::string_view text, uint64_t limit) {
  auto v = ParseNumber(text);
  if (!v || *v > limit) return std::nullopt;
  return static_cast<uint32_t>(*v);
}

}  // namespace

std::optional<uint32_t> ParseBridgePhases(std::string_view text) {
  std::vector<std::string_view> words = Words(text);
  if (words.empty()) return std::nullopt;
  uint32_t phases = 0;
  for (std::string_view word : words) {
    if (base::EqualsNoCase(word, "all")) {
      phases |= bridge_phase::kAll;
      continue;
    }
    auto it = std::find_if(kPhaseWords.begin(), kPhaseWords.end(),
                           [&](const auto& w) { return base::EqualsNoCase(w.first, word); });
    if (it == kPhaseWords.end()) return std::nullopt;
    phases |= it->second;
  }
  return phases;
}

std::optional<std::map<uint16_t, uint16_t>> ParseNvmeFailures(std::string_view text) {
  std::vector<std::string_view> items = Words(text);
  if (items.empty()) return std::nullopt;
  std::map<uint16_t, uint16_t> failures;
  for (std::string_view item : items) {
    const bool io = base::StartsWithNoCase(item, "io:");
    if (io) item.remove_prefix(3);
    uint16_t status = kInjectedNvmeStatus;
    if (size_t eq = item.find('='); eq != std::string_view::npos) {
      auto s = Number(item.substr(eq + 1), 0x7FF);
      if (!s || *s == 0) return std::nullopt;
      status = static_cast<uint16_t>(*s);
      item = item.substr(0, eq);
    }
    auto opcode = Number(item, 0xFF);
    if (!opcode) return std::nullopt;
    failures[NvmeFaultKey(io, static_cast<uint8_t>(*opcode))] = status;
  }
  return failures;
}

std::optional<std::map<uint8_t, uint8_t>> ParseAtaFailures(std::string_view text) {
  constexpr uint8_t kAbort = 0x04;
  std::vector<std::string_view> items = Words(text);
  if (items.empty()) return std::nullopt;
  std::map<uint8_t, uint8_t> failures;
  for (std::string_view item : items) {
    uint8_t error = kAbort;
    if (size_t eq = item.find('='); eq != std::string_view::npos) {
      auto e = Number(item.substr(eq + 1), 0xFF);
      if (!e || *e == 0) return std::nullopt;
      error = static_cast<uint8_t>(*e);
      item = item.substr(0, eq);
    }
    auto command = Number(item, 0xFF);
    if (!command) return std::nullopt;
    failures[static_cast<uint8_t>(*command)] = error;
  }
  return failures;
}

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
    if (base::EqualsNoCase(word, "all")) {
      kinds |= request::kAll;
      continue;
    }
    bool known = false;
    for (const auto& [name, bit] : kKindWords) {
      if (base::EqualsNoCase(word, name)) {
        kinds |= bit;
        known = true;
      }
    }
    if (!known) return std::nullopt;
  }
  if (!any) return std::nullopt;
  return kinds;
}

std::optional<FaultPlan::TrimRead> ParseTrimRead(std::string_view text) {
  const std::string_view word = base::Trim(text);
  if (base::EqualsNoCase(word, "zero")) return FaultPlan::TrimRead::kZero;
  if (base::EqualsNoCase(word, "ff")) return FaultPlan::TrimRead::kOnes;
  if (base::EqualsNoCase(word, "old")) return FaultPlan::TrimRead::kOld;
  return std::nullopt;
}

std::optional<std::map<uint64_t, uint64_t>> ParseLbaMoves(std::string_view text, uint64_t lbaCount) {
  std::vector<std::string_view> items = Words(text);
  if (items.empty()) return std::nullopt;
  std::map<uint64_t, uint64_t> moves;
  for (std::string_view item : items) {
    const size_t eq = item.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    auto from = ParseNumber(item.substr(0, eq)), to = ParseNumber(item.substr(eq + 1));
    if (!from || !to || *from >= lbaCount || *to >= lbaCount || *from == *to) return std::nullopt;
    moves[*from] = *to;
  }
  return moves;
}

uint64_t ShortLength(uint64_t asked, uint64_t cap, uint32_t sectorSize) {
  const uint64_t n = cap == 0 ? asked / 2 : std::min(cap, asked);
  return n / sectorSize * sectorSize;
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
