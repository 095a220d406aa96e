#include "disk/disk_list_rows.h"

#include <iterator>

#include "base/text.h"
#include "base/unicode.h"
#include "disk/capacity.h"
#include "engine/output.h"

namespace kestrune::disk {
namespace {

constexpr size_t kNameWidth = 38;
constexpr uint64_t kMiB = 1048576;
constexpr uint64_t kGiB = 1073741824;

size_t CharCount(std::string_view text) {
  size_t n = 0;
  for (char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

}  // namespace

std::string PadRight(std::string_view text, size_t width) {
  std::string out(text);
  for (size_t n = CharCount(text); n < width; ++n) out += ' ';
  return out;
}

std::string SizeColumn(const DiskEntry& e) {
  auto llu = [](uint64_t v) { return static_cast<unsigned long long>(v); };
  switch (e.entryKind) {
    case EntryKind::kPhysical:
      return base::Format("%lluGB", llu(CapacityGB(e.totalBytes, e.sectorSize)));
    case EntryKind::kVolume:
      if (e.totalBytes <= kGiB) return base::Format("%lluMB", llu(e.totalBytes / kMiB));
      return base::Format("%lluGB", llu(e.totalBytes / kGiB));
  }
  return base::Format("%lluMB", llu(e.totalBytes / kMiB));
}

std::string DiskListRow(const DiskEntry& e, std::string_view portName, bool barColumns) {
  const bool volume = e.entryKind == EntryKind::kVolume;
  const std::string name =
      volume ? "        \u221F" + e.displayName : std::string(base::CutChars(e.displayName, kNameWidth));
  const std::string vendor =
      !volume && e.pciVendorId != 0 ? base::Format("%04X", e.pciVendorId) : std::string();
  const std::string columns[] = {
      PadRight(name, kNameWidth),
      PadRight(volume ? std::string_view() : std::string_view(e.firmwareRevision), 10),
      PadRight(SizeColumn(e), 8),
      PadRight(volume ? std::string_view() : portName, 14),
      PadRight(volume ? std::string_view() : ShortName(e.diskKind), 9),
      PadRight(vendor, 6),
      e.devicePath,
  };
  std::string row = columns[0];
  for (size_t i = 1; i < std::size(columns); ++i) {
    row += barColumns ? '|' : ' ';
    row += columns[i];
  }
  return row;
}

}  // namespace kestrune::disk
