// The field-by-field dumps of the 4096-byte Identify Controller and Identify Namespace pages: one
// line per field within a byte window, each followed by the lines of its bit fields.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "devcmd/line_sink.h"

namespace kestrune::devcmd {

inline constexpr size_t kIdentifyPageBytes = 4096;

// How a byte row shows its field.
enum class DumpValue : uint8_t {
  kNumber,     // "0x%X" of the little-endian value (fields of at most 8 bytes)
  kVendorId,   // "%04X"
  kText,       // printable text
  kHexList,    // "%02X " per byte
  kReversed,   // hex string, last byte first (the IEEE OUI)
  kHexString,  // hex string in memory order (EUI64)
};

// A bit field: bits hi..lo of the little-endian value that starts at byte. label overrides the
// "Bit hi-lo" / "Bit n" text where the dump writes the range its own way.
struct BitRow {
  uint16_t byte = 0;
  uint8_t hi = 0;
  uint8_t lo = 0;
  std::string_view name;
  std::string_view label = {};
};

struct ByteRow {
  uint16_t first = 0;
  uint16_t last = 0;
  std::string_view name;
  DumpValue value = DumpValue::kNumber;
  bool highlighted = false;  // cyan instead of white
  std::span<const BitRow> bits = {};
};

// The byte window of a dump: end limited to 4095, start limited to end.
struct ByteWindow {
  uint32_t start = 0;
  uint32_t end = 4095;
  bool Contains(uint32_t byte) const { return start <= byte && byte <= end; }
};
ByteWindow ClampWindow(uint64_t start, uint64_t end);

// The value text of a byte row, and of a bit row (bit fields wider than 64 bits as a hex list).
std::string ByteRowValue(std::span<const uint8_t> page, const ByteRow& row);
std::string BitRowValue(std::span<const uint8_t> page, const BitRow& row);

// "%-22s: %-71s| %s" of a byte row ("Byte 0-1", "Byte 72") and of a bit row ("    [76]Bit 3").
std::string ByteRowLine(std::span<const uint8_t> page, const ByteRow& row);
std::string BitRowLine(std::span<const uint8_t> page, const BitRow& row);

// Prints a byte row and its bit rows when the window holds the row's first byte.
void PrintByteRow(LineSink& sink, std::span<const uint8_t> page, const ByteRow& row, ByteWindow window,
                  uint32_t colour);

// The line the dumps print when the operator cancels them.
inline constexpr std::string_view kCancelLine = "---- Cancel Command ----";

// Prints the Identify Controller page within window. False when the dump was cancelled (the cancel
// line has been printed then).
bool DumpIdentifyController(LineSink& sink, std::span<const uint8_t, kIdentifyPageBytes> page,
                            ByteWindow window);
// Prints the Identify Namespace page within window; false when cancelled.
bool DumpIdentifyNamespace(LineSink& sink, std::span<const uint8_t, kIdentifyPageBytes> page,
                           ByteWindow window);

// The row lists, for tests and for other dumps of the same pages.
std::span<const ByteRow> ControllerRowsBeforeDescriptors();
std::span<const ByteRow> NamespaceRowsBeforeFormats();

}  // namespace kestrune::devcmd
