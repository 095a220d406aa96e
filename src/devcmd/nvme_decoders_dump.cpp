#include "devcmd/nvme_decoders_dump.h"

#include <algorithm>
#include <vector>

#include "base/text.h"
#include "devcmd/field_table.h"
#include "engine/output.h"

namespace kestrune::devcmd {
namespace {

using base::Format;

std::string Padded(std::string_view text, size_t width) {
  std::string out(text);
  if (out.size() < width) out.append(width - out.size(), ' ');
  return out;
}

uint64_t LeValue(std::span<const uint8_t> page, size_t offset, size_t width) {
  uint64_t v = 0;
  for (size_t i = 0; i < width && i < 8 && offset + i < page.size(); ++i)
    v |= static_cast<uint64_t>(page[offset + i]) << (8 * i);
  return v;
}

std::span<const uint8_t> Field(std::span<const uint8_t> page, size_t first, size_t last) {
  if (first >= page.size()) return {};
  return page.subspan(first, std::min(last, page.size() - 1) - first + 1);
}

std::string BitLabel(const BitRow& row) {
  std::string range =
      row.label.empty() ? (row.hi == row.lo ? Format("Bit %u", row.hi) : Format("Bit %u-%u", row.hi, row.lo))
                        : std::string(row.label);
  return Format("    [%u]%s", row.byte, range.c_str());
}

}  // namespace

ByteWindow ClampWindow(uint64_t start, uint64_t end) {
  ByteWindow w;
  w.end = static_cast<uint32_t>(std::min<uint64_t>(end, 4095));
  w.start = static_cast<uint32_t>(std::min<uint64_t>(start, w.end));
  return w;
}

std::string ByteRowValue(std::span<const uint8_t> page, const ByteRow& row) {
  std::span<const uint8_t> field = Field(page, row.first, row.last);
  switch (row.value) {
    case DumpValue::kNumber:
      return Format("0x%llX", static_cast<unsigned long long>(LeValue(page, row.first, field.size())));
    case DumpValue::kVendorId:
      return Format("%04llX", static_cast<unsigned long long>(LeValue(page, row.first, 2)));
    case DumpValue::kText:
      return PrintableText(field);
    case DumpValue::kHexList:
      return HexList(field);
    case DumpValue::kReversed:
      return HexString(field, true);
    case DumpValue::kHexString:
      return HexString(field, false);
  }
  return {};
}

std::string BitRowValue(std::span<const uint8_t> page, const BitRow& row) {
  const unsigned width = row.hi >= row.lo ? row.hi - row.lo + 1u : 0u;
  if (width > 64) {
    // Byte-aligned reserved runs of the power state descriptors.
    return HexList(Field(page, row.byte + row.lo / 8u, row.byte + row.hi / 8u));
  }
  uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) {
    const unsigned bit = row.lo + i;
    const size_t at = row.byte + bit / 8u;
    if (at < page.size() && ((page[at] >> (bit % 8u)) & 1u)) value |= uint64_t{1} << i;
  }
  return Format("0x%llX", static_cast<unsigned long long>(value));
}

std::string ByteRowLine(std::span<const uint8_t> page, const ByteRow& row) {
  const std::string label =
      row.first == row.last ? Format("Byte %u", row.first) : Format("Byte %u-%u", row.first, row.last);
  return Padded(label, 22) + ": " + Padded(row.name, 71) + "| " + ByteRowValue(page, row);
}

std::string BitRowLine(std::span<const uint8_t> page, const BitRow& row) {
  return Padded(BitLabel(row), 22) + ": " + Padded(row.name, 71) + "| " + BitRowValue(page, row);
}

void PrintByteRow(LineSink& sink, std::span<const uint8_t> page, const ByteRow& row, ByteWindow window,
                  uint32_t colour) {
  if (!window.Contains(row.first)) return;
  sink.Write(ByteRowLine(page, row), colour);
  for (const BitRow& bit : row.bits) sink.Write(BitRowLine(page, bit), colour);
}

}  // namespace kestrune::devcmd
