#include "devcmd/field_table.h"

#include <algorithm>
#include <vector>

#include "base/bytes.h"
#include "base/text.h"
#include "devcmd/item_filter.h"
#include "engine/literals.h"
#include "engine/output.h"

namespace kestrune::devcmd {
namespace {

using base::Format;

// Appends one piece per element while the text has not yet passed the limit.
template <class Piece>
std::string Joined(size_t count, Piece piece) {
  std::string out;
  for (size_t i = 0; i < count && out.size() <= kRenderLimit; ++i) out += piece(i);
  return out;
}

// Little-endian value of width bytes at offset; bytes past the record read as zero.
uint64_t Le(std::span<const uint8_t> record, size_t offset, size_t width) {
  uint64_t v = 0;
  for (size_t i = 0; i < width; ++i) {
    const size_t at = offset + i;
    if (at < record.size()) v |= static_cast<uint64_t>(record[at]) << (8 * i);
  }
  return v;
}

// The count bytes at offset, zero past the record's end.
std::vector<uint8_t> Bytes(std::span<const uint8_t> record, size_t offset, size_t count) {
  std::vector<uint8_t> out(count, 0);
  if (offset < record.size()) {
    const size_t n = std::min(count, record.size() - offset);
    std::copy_n(record.begin() + static_cast<std::ptrdiff_t>(offset), n, out.begin());
  }
  return out;
}

std::string ShortName(std::string_view name) {
  const size_t end = name.find_first_of("( ");
  return std::string(name.substr(0, end));
}

std::string AliasOf(std::string_view name) {
  const size_t open = name.find('(');
  if (open == std::string_view::npos) return ShortName(name);
  const size_t close = name.find(')', open);
  return std::string(
      base::Trim(name.substr(open + 1, close == std::string_view::npos ? close : close - open - 1)));
}

// "|text|": a key of the Items filter.
std::string Key(std::string_view a, std::string_view b = {}, std::string_view separator = {}) {
  std::string key;
  key.reserve(a.size() + separator.size() + b.size() + 2);
  key.push_back('|');
  key.append(a);
  key.append(separator);
  key.append(b);
  key.push_back('|');
  return key;
}

bool Matches(const std::string& filter, const FieldRow& row) {
  const std::string shortName = ShortName(row.name);
  if (base::ContainsNoCase(filter, Key(shortName)) ||
      base::ContainsNoCase(filter, Key(AliasOf(row.name))))
    return true;
  return !row.group.empty() && (base::ContainsNoCase(filter, Key(row.group, shortName, ".")) ||
                                base::ContainsNoCase(filter, Key("#", row.group)));
}

}  // namespace

std::string PrintableText(std::span<const uint8_t> bytes) {
  std::string out;
  for (uint8_t b : bytes) {
    if (b < 0x20 || b > 0x7E || out.size() > kRenderLimit) break;
    out += static_cast<char>(b);
  }
  return out;
}

std::string HexList(std::span<const uint8_t> bytes) {
  return Joined(bytes.size(), [&](size_t i) { return Format("%02X ", bytes[i]); });
}

std::string HexString(std::span<const uint8_t> bytes, bool reversed) {
  return Joined(bytes.size(),
                [&](size_t i) { return Format("%02X", bytes[reversed ? bytes.size() - 1 - i : i]); });
}

bool IsTextField(FieldType type) {
  switch (type) {
    case FieldType::kByteList:
    case FieldType::kByteString:
    case FieldType::kByteReversed:
    case FieldType::kU16List:
    case FieldType::kU32List:
    case FieldType::kText:
    case FieldType::kU64List:
      return true;
    default:
      return false;
  }
}

std::string RenderField(std::span<const uint8_t> record, const FieldRow& row) {
  const size_t count = row.count > 0 ? static_cast<size_t>(row.count) : 0;
  const size_t at = row.offset;
  auto u = [&](size_t width) { return static_cast<unsigned long long>(Le(record, at, width)); };
  switch (row.type) {
    case FieldType::kU8:
      return Format("%llu", u(1));
    case FieldType::kU8Hex:
      return Format("0x%llX", u(1));
    case FieldType::kByteList:
      return HexList(Bytes(record, at, count));
    case FieldType::kByteString:
      return HexString(Bytes(record, at, count), false);
    case FieldType::kByteReversed:
      return HexString(Bytes(record, at, count), true);
    case FieldType::kU16:
      return Format("%llu", u(2));
    case FieldType::kU16Hex:
      return Format("0x%llX", u(2));
    case FieldType::kU16List:
      return Joined(count, [&](size_t i) {
        return Format("%04llX ", static_cast<unsigned long long>(Le(record, at + 2 * i, 2)));
      });
    case FieldType::kU32:
      return Format("%llu", u(4));
    case FieldType::kU32Hex:
      return Format("0x%llX", u(4));
    case FieldType::kU32List:
      return Joined(count, [&](size_t i) {
        return Format("%08llX ", static_cast<unsigned long long>(Le(record, at + 4 * i, 4)));
      });
    case FieldType::kI64:
      return Format("%lld", static_cast<long long>(Le(record, at, 8)));
    case FieldType::kU64:
      return Format("%llu", u(8));
    case FieldType::kU64Hex:
      return Format("0x%016llX", u(8));
    case FieldType::kText:
      return PrintableText(Bytes(record, at, count));
    case FieldType::kU64List:
      return Joined(count, [&](size_t i) {
        return Format("%016llX ", static_cast<unsigned long long>(Le(record, at + 8 * i, 8)));
      });
    case FieldType::kCustom:
      return {};
  }
  return {};
}

DecodeResult DecodeRecord(LineSink& sink, std::span<const uint8_t> record, std::span<const FieldRow> table,
                          const DecodeOptions& options) {
  const std::string filter = NormaliseItems(options.items);
  DecodeResult result;
  std::string group;
  std::string collected;
  size_t collectedCount = 0;
  bool collectedText = false;
  for (const FieldRow& row : table) {
    if (filter.empty() && row.group != group) {
      group = std::string(row.group);
      sink.Write("# " + group, engine::colour::kYellow);
    }
    const bool match = !filter.empty() && Matches(filter, row);
    if (row.type == FieldType::kCustom) {
      if ((filter.empty() || match) && options.custom) options.custom(record, row.name);
      continue;
    }
    if (!filter.empty() && !match) continue;
    const std::string value = RenderField(record, row);
    std::string name(row.name);
    if (!filter.empty() && !row.group.empty()) name = std::string(row.group) + "." + name;
    const std::string line = options.showOffset
                                 ? Format("[%4u] %-42s : %s", row.offset, name.c_str(), value.c_str())
                                 : Format("%-42s : %s", name.c_str(), value.c_str());
    sink.Write(line, row.colour);
    ++result.printed;
    if (filter.empty()) continue;
    if (collectedCount++ > 0) collected += ",";
    if (IsTextField(row.type)) {
      collected += "\"" + value + "\"";
      collectedText = true;
    } else {
      collected += value;
    }
  }
  if (filter.empty()) return result;
  if (collectedCount == 1 && !collectedText) {
    if (auto number = engine::ParseNumberLiteral(collected)) {
      result.value = *number;
      return result;
    }
  }
  if (collectedCount == 1 && collectedText) collected = collected.substr(1, collected.size() - 2);
  result.value = engine::Value::Text(collected);
  return result;
}

}  // namespace kestrune::devcmd
