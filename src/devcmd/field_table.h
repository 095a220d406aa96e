// The field-table decoder: shows a record (a data file, a buffer a drive returned) as one line per
// named field, driven by a table of field rows, optionally filtered by an Items text that also hands
// the selected values back as the command's result. Also the text conversions every record dump
// uses (printable text, hex list, hex string).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "devcmd/line_sink.h"
#include "engine/value.h"

namespace kestrune::devcmd {

// Rendering of a text stops appending once it exceeds this many characters.
inline constexpr size_t kRenderLimit = 512;

// Bytes 20h-7Eh as characters up to the first other byte.
std::string PrintableText(std::span<const uint8_t> bytes);
// "%02X " per byte, in memory order.
std::string HexList(std::span<const uint8_t> bytes);
// "%02X" per byte without separators, in memory order or last byte first.
std::string HexString(std::span<const uint8_t> bytes, bool reversed);

// Value types of a field row.
enum class FieldType : int32_t {
  kU8 = 0,            // "%d"
  kU8Hex = 1,         // "0x%X"
  kByteList = 2,      // "%02X " per byte of count
  kByteString = 3,    // "%02X" per byte, first to last
  kByteReversed = 4,  // "%02X" per byte, last to first
  kU16 = 5,
  kU16Hex = 6,
  kU16List = 7,  // "%04X " per element
  kU32 = 8,
  kU32Hex = 9,
  kU32List = 10,  // "%08X " per element
  kI64 = 11,      // signed decimal
  kU64Hex = 12,   // "0x" and 16 digits
  kText = 13,     // printable text of count bytes
  kU64List = 14,  // 16 digits and a blank per element
  kU64 = 15,      // unsigned decimal (a structure definition's "u64", whose values may pass 2^63)
  kCustom = 255,  // the caller's decoder prints the row
};

struct FieldRow {
  uint32_t offset = 0;
  std::string_view name;  // display name, optionally with an alias in parentheses: "Capacity (disksize)"
  int32_t count = 0;      // array length; 0 for a scalar
  uint32_t colour = 0xFFFFFF;
  FieldType type = FieldType::kU8;
  std::string_view group;  // a change of group prints "# group" (unfiltered decodes only)
};

// The value of one row in record; bytes past the record's end read as zero.
std::string RenderField(std::span<const uint8_t> record, const FieldRow& row);
// True for the types whose values are texts (put in quotes when collected).
bool IsTextField(FieldType type);

// Called for kCustom rows with the record and the row's display name.
using CustomFieldDecoder = std::function<void(std::span<const uint8_t> record, std::string_view name)>;

struct DecodeOptions {
  std::string_view items;     // filter; empty = every row
  bool showOffset = false;    // "[%4d] " before each name
  CustomFieldDecoder custom;  // for kCustom rows; may be empty
};

struct DecodeResult {
  size_t printed = 0;   // rows printed
  engine::Value value;  // with a filter: the selected values (number or text); else none
};

// Prints the rows of table for record to sink.
DecodeResult DecodeRecord(LineSink& sink, std::span<const uint8_t> record, std::span<const FieldRow> table,
                          const DecodeOptions& options);

}  // namespace kestrune::devcmd
