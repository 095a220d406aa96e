#include "devcmd/struct_definition.h"

#include <charconv>

#include "base/text.h"

namespace kestrune::devcmd {
namespace {

// The type words, their size and the field types of a scalar and of an array.
constexpr struct {
  std::string_view word;
  uint32_t size;
  FieldType scalar, array;
} kTypeWords[] = {
    {"u64", 8, FieldType::kU64, FieldType::kU64List},      {"int64", 8, FieldType::kI64, FieldType::kU64List},
    {"u8", 1, FieldType::kU8, FieldType::kByteList},       {"int8", 1, FieldType::kU8, FieldType::kByteList},
    {"u16", 2, FieldType::kU16, FieldType::kU16List},      {"int16", 2, FieldType::kU16, FieldType::kU16List},
    {"short", 2, FieldType::kU16, FieldType::kU16List},    {"u32", 4, FieldType::kU32, FieldType::kU32List},
    {"int32", 4, FieldType::kU32, FieldType::kU32List},    {"int", 4, FieldType::kU32, FieldType::kU32List},
    {"long", 4, FieldType::kU32, FieldType::kU32List},     {"dword", 4, FieldType::kU32, FieldType::kU32List},
    {"byte", 1, FieldType::kU8Hex, FieldType::kByteList},  {"x8", 1, FieldType::kU8Hex, FieldType::kByteList},
    {"x16", 2, FieldType::kU16Hex, FieldType::kU16List},   {"x32", 4, FieldType::kU32Hex, FieldType::kU32List},
    {"x64", 8, FieldType::kU64Hex, FieldType::kU64List},   {"char", 1, FieldType::kU8Hex, FieldType::kText},
};

// The largest structure a definition may describe: far more than any record, small enough that
// offsets stay 32-bit.
constexpr uint64_t kMaxStructBytes = uint64_t{1} << 30;

}  // namespace

std::vector<FieldRow> StructDefinition::Rows() const {
  std::vector<FieldRow> rows;
  for (const StructField& f : fields) {
    FieldRow r;
    r.offset = f.offset;
    r.name = f.name;
    r.count = f.count;
    r.type = f.type;
    rows.push_back(r);
  }
  return rows;
}

std::variant<StructDefinition, StructError> ParseStructDefinition(std::string_view text) {
  StructDefinition def;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = std::min(text.find('\n', at), text.size());
    std::string line(text.substr(at, end - at));
    at = end + 1;
    for (char& c : line)
      if (c == '\t' || c == '\r') c = ' ';
    const std::string_view trimmed = base::Trim(line);
    if (trimmed.find('}') != std::string_view::npos) break;
    if (trimmed.empty()) continue;
    // The "struct name {" head is passed over only before the first field: after it, a field whose
    // name holds "struct" is a field like any other.
    if (def.fields.empty() && (trimmed.find("struct") != std::string_view::npos || trimmed.find('{') != std::string_view::npos))
      continue;
    const size_t semicolon = trimmed.find(';');
    if (semicolon == std::string_view::npos) return StructError{std::string(trimmed)};
    const std::string_view decl = base::Trim(trimmed.substr(0, semicolon));
    const size_t blank = decl.find(' ');
    if (blank == std::string_view::npos) return StructError{std::string(trimmed)};
    const std::string_view word = decl.substr(0, blank);
    std::string_view name = base::Trim(decl.substr(blank + 1));
    const auto type = std::find_if(std::begin(kTypeWords), std::end(kTypeWords),
                                   [&](const auto& t) { return t.word == word; });
    if (type == std::end(kTypeWords) || name.empty()) return StructError{std::string(trimmed)};
    int32_t count = 0;
    if (const size_t open = name.find('['); open != std::string_view::npos) {
      const size_t close = name.find(']', open);
      const std::string_view digits = close == std::string_view::npos ? std::string_view() : name.substr(open + 1, close - open - 1);
      const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), count);
      if (digits.empty() || ec != std::errc() || ptr != digits.data() + digits.size() || count <= 0)
        return StructError{std::string(trimmed)};
      name = base::Trim(name.substr(0, open));
      if (name.empty()) return StructError{std::string(trimmed)};
    }
    const uint64_t bytes = uint64_t{type->size} * static_cast<uint64_t>(count == 0 ? 1 : count);
    if (def.size + bytes > kMaxStructBytes) return StructError{std::string(trimmed)};
    def.fields.push_back({std::string(name), count == 0 ? type->scalar : type->array, static_cast<uint32_t>(def.size), count});
    def.size += bytes;
  }
  if (def.fields.empty()) return StructError{"No Struct Found"};
  return def;
}

}  // namespace kestrune::devcmd
