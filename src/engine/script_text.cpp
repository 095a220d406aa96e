#include "engine/script_text.h"

#include <algorithm>
#include <array>

#include "base/text.h"
#include "platform/files.h"

namespace kestrune::engine {

using base::Trim;

namespace {

// A fixed involution of the byte values: a seeded shuffle of 0..255 taken two at a time, each pair
// swapped. Scripts written for this program are stored with this table; never change it.
constexpr std::array<uint8_t, 256> MakeTable() {
  std::array<uint8_t, 256> order{};
  for (int i = 0; i < 256; ++i) order[i] = static_cast<uint8_t>(i);
  uint32_t state = 0x4B455354;  // fixed seed
  for (int i = 255; i > 0; --i) {
    state = state * 0x081E4F25u + 0xA2C6302Du;
    int j = static_cast<int>((state >> 8) % static_cast<uint32_t>(i + 1));
    std::swap(order[i], order[j]);
  }
  std::array<uint8_t, 256> table{};
  for (int i = 0; i < 256; i += 2) {
    table[order[i]] = order[i + 1];
    table[order[i + 1]] = order[i];
  }
  return table;
}

constexpr std::array<uint8_t, 256> kTable = MakeTable();

constexpr bool IsInvolution() {
  for (int i = 0; i < 256; ++i)
    if (kTable[kTable[i]] != i) return false;
  return true;
}
static_assert(IsInvolution(), "the scramble table must be its own inverse");

}  // namespace

void ScrambleInPlace(std::vector<uint8_t>& bytes) {
  std::reverse(bytes.begin(), bytes.end());
  for (uint8_t& b : bytes) b = kTable[b];
}

bool IsPlainScriptName(std::string_view path) { return path.ends_with(".scpt"); }

bool LoadScript(const std::string& path, std::string& text) {
  auto bytes = platform::ReadWholeFile(path);
  if (!bytes) return false;
  if (!IsPlainScriptName(path)) ScrambleInPlace(*bytes);
  text.assign(bytes->begin(), bytes->end());
  return true;
}

Statement CutStatement(std::string_view script, size_t offset) {
  Statement st;
  if (offset >= script.size()) return st;
  std::string_view window = script.substr(offset, kStatementWindow);
  size_t end = window.find_first_of(";{}");
  std::string_view raw = end == std::string_view::npos ? window : window.substr(0, end + 1);
  st.length = raw.size();

  std::string text(raw);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '/' && i + 1 < text.size() && text[i + 1] == '/') {
      size_t crlf = text.find("\r\n", i);
      size_t stop = crlf == std::string::npos ? text.size() : crlf + 2;
      // The statement terminator itself is never blanked.
      if (stop == text.size() && end != std::string_view::npos) stop = text.size() - 1;
      std::fill(text.begin() + static_cast<std::ptrdiff_t>(i), text.begin() + static_cast<std::ptrdiff_t>(stop), ' ');
      i = stop - 1;
    } else if (text[i] == '\r' || text[i] == '\n') {
      text[i] = ' ';
    }
  }
  st.text = std::string(Trim(text));
  return st;
}

}  // namespace kestrune::engine
