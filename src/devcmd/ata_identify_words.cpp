#include "devcmd/ata_identify_words.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "base/text.h"
#include "devcmd/field_table.h"
#include "disk/ata_identity.h"
#include "disk/identify_data.h"
#include "engine/output.h"

namespace kestrune::devcmd {
namespace {

using base::Format;

enum class Shown : uint8_t { kWord, kText, kNumber, kBytes };

struct BitRow {
  uint8_t high;
  uint8_t low;
  std::string_view name;
};

struct WordRow {
  uint16_t first;
  uint16_t last;
  std::string_view name;
  Shown shown = Shown::kWord;
  std::initializer_list<BitRow> bits = {};
};

// clang-format off
const WordRow kRows[] = {
    {0, 0, "General Configuration", Shown::kWord,
     {{15, 15, "ATA Device Identifier"}, {14, 8, "Retired"}, {7, 6, "Obsolete"}, {5, 3, "Retired"},
      {2, 2, "Response incomplete"}, {1, 1, "Retired"}, {0, 0, "Reserved"}}},
    {1, 1, "Obsolete (Number of logical cylinders)"},
    {2, 2, "Specific Configuration"},
    {3, 3, "Obsolete (Number of logical heads)"},
    {4, 4, "Retired"},
    {5, 5, "Retired"},
    {6, 6, "Obsolete (Number of logical sectors per logical track)"},
    {7, 8, "Reserved for the CompactFlash Association", Shown::kNumber},
    {9, 9, "Retired"},
    {10, 19, "Serial Number", Shown::kText},
    {20, 21, "Retired", Shown::kBytes},
    {22, 22, "Obsolete"},
    {23, 26, "Firmware Revision", Shown::kText},
    {27, 46, "Model Number", Shown::kText},
    {47, 47, "Maximum number of logical sectors per DRQ data block", Shown::kWord,
     {{15, 8, "Shall be set to 80h"}, {7, 0, "Maximum number of logical sectors per DRQ data block"}}},
    {48, 48, "Trusted Computing feature set options", Shown::kWord,
     {{15, 14, "Shall be set to 01b"}, {0, 0, "Trusted Computing feature set is supported"}}},
    {49, 49, "Capabilities", Shown::kWord,
     {{15, 14, "Reserved for the IDENTIFY PACKET DEVICE command"}, {13, 13, "Standby timer values follow the ATA standard"},
      {12, 12, "Reserved"}, {11, 11, "IORDY supported"}, {10, 10, "IORDY may be disabled"},
      {9, 9, "LBA supported"}, {8, 8, "DMA supported"}, {7, 0, "Retired"}}},
    {50, 50, "Capabilities", Shown::kWord,
     {{15, 14, "Shall be set to 01b"}, {1, 1, "Obsolete"},
      {0, 0, "A device specific Standby timer value minimum"}}},
    {51, 52, "Obsolete", Shown::kBytes},
    {53, 53, "Field Validity", Shown::kWord,
     {{15, 8, "Free-fall Control Sensitivity"}, {2, 2, "The fields reported in word 88 are valid"},
      {1, 1, "The fields reported in words 64-70 are valid"}, {0, 0, "Obsolete"}}},
    {54, 58, "Obsolete", Shown::kBytes},
    {59, 59, "Multiple sector setting and Sanitize feature set", Shown::kWord,
     {{15, 15, "The BLOCK ERASE EXT command is supported"}, {14, 14, "The OVERWRITE EXT command is supported"},
      {13, 13, "The CRYPTO SCRAMBLE EXT command is supported"}, {12, 12, "The Sanitize feature set is supported"},
      {8, 8, "Multiple logical sector setting is valid"},
      {7, 0, "Current setting for number of logical sectors per DRQ data block"}}},
    {60, 61, "Total Number of user addressable sectors", Shown::kNumber},
    {62, 62, "Obsolete"},
    {63, 63, "Multiword DMA modes", Shown::kWord,
     {{10, 8, "Multiword DMA mode selected"}, {2, 0, "Multiword DMA modes supported"}}},
    {64, 64, "PIO modes supported", Shown::kWord, {{1, 0, "PIO mode 3 and 4 supported"}}},
    {65, 65, "Minimum Multiword DMA transfer cycle time per word (ns)"},
    {66, 66, "Manufacturer's recommended Multiword DMA transfer cycle time (ns)"},
    {67, 67, "Minimum PIO transfer cycle time without flow control (ns)"},
    {68, 68, "Minimum PIO transfer cycle time with IORDY flow control (ns)"},
    {69, 69, "Additional Supported", Shown::kWord,
     {{14, 14, "Deterministic data in trimmed LBA range(s) is supported"},
      {8, 8, "DOWNLOAD MICROCODE DMA is supported"}, {5, 5, "Trimmed LBA range(s) returning zeroed data"}}},
    {70, 74, "Reserved", Shown::kBytes},
    {75, 75, "Queue depth", Shown::kWord, {{4, 0, "Maximum queue depth - 1"}}},
    {76, 76, "Serial ATA Capabilities", Shown::kWord,
     {{12, 12, "Supports Native Command Queuing priority information"},
      {8, 8, "Supports the Native Command Queuing feature set"},
      {3, 3, "Supports SATA Gen3 Signaling Speed (6.0Gb/s)"}, {2, 2, "Supports SATA Gen2 Signaling Speed (3.0Gb/s)"},
      {1, 1, "Supports SATA Gen1 Signaling Speed (1.5Gb/s)"}, {0, 0, "Shall be cleared to zero"}}},
    {77, 77, "Serial ATA Additional Capabilities", Shown::kWord,
     {{3, 1, "Coded value indicating current negotiated Serial ATA signal speed"}}},
    {78, 78, "Serial ATA features supported", Shown::kWord,
     {{3, 3, "Device initiating interface power management"}}},
    {79, 79, "Serial ATA features enabled", Shown::kWord,
     {{3, 3, "Device initiating interface power management enabled"}}},
    {80, 80, "Major version number", Shown::kWord,
     {{11, 11, "Supports ACS-4"}, {10, 10, "Supports ACS-3"}, {9, 9, "Supports ACS-2"},
      {8, 8, "Supports ATA8-ACS"}, {7, 7, "Supports ATA/ATAPI-7"}, {6, 6, "Supports ATA/ATAPI-6"},
      {5, 5, "Supports ATA/ATAPI-5"}}},
    {81, 81, "Minor version number"},
    {82, 82, "Commands and feature sets supported", Shown::kWord,
     {{14, 14, "The NOP command is supported"}, {13, 13, "The READ BUFFER command is supported"},
      {12, 12, "The WRITE BUFFER command is supported"}, {10, 10, "The HPA feature set is supported"},
      {9, 9, "The DEVICE RESET command is supported"}, {6, 6, "Read look-ahead is supported"},
      {5, 5, "The volatile write cache is supported"}, {4, 4, "The PACKET feature set is supported"},
      {3, 3, "The Power Management feature set is supported"}, {1, 1, "The Security feature set is supported"},
      {0, 0, "The SMART feature set is supported"}}},
    {83, 83, "Commands and feature sets supported", Shown::kWord,
     {{15, 14, "Shall be set to 01b"}, {13, 13, "The FLUSH CACHE EXT command is supported"},
      {12, 12, "The FLUSH CACHE command is supported"}, {10, 10, "The 48-bit Address feature set is supported"},
      {5, 5, "The PUIS feature set is supported"}, {3, 3, "The APM feature set is supported"},
      {0, 0, "The DOWNLOAD MICROCODE command is supported"}}},
    {84, 84, "Commands and feature sets supported", Shown::kWord,
     {{15, 14, "Shall be set to 01b"}, {8, 8, "The World Wide Name is supported"},
      {6, 6, "The WRITE DMA FUA EXT and WRITE MULTIPLE FUA EXT commands are supported"},
      {5, 5, "The GPL feature set is supported"}, {1, 1, "SMART self-test is supported"},
      {0, 0, "SMART error logging is supported"}}},
    {85, 85, "Commands and feature sets supported or enabled", Shown::kWord,
     {{14, 14, "The NOP command is supported"}, {10, 10, "The HPA feature set is supported"},
      {6, 6, "Read look-ahead is enabled"}, {5, 5, "The volatile write cache is enabled"},
      {3, 3, "The Power Management feature set is supported"}, {1, 1, "The Security feature set is enabled"},
      {0, 0, "The SMART feature set is enabled"}}},
    {86, 86, "Commands and feature sets supported or enabled", Shown::kWord,
     {{15, 15, "Words 119-120 are valid"}, {13, 13, "The FLUSH CACHE EXT command is supported"},
      {12, 12, "The FLUSH CACHE command is supported"}, {10, 10, "The 48-bit Address feature set is supported"},
      {3, 3, "The APM feature set is enabled"}, {0, 0, "The DOWNLOAD MICROCODE command is supported"}}},
    {87, 87, "Commands and feature sets supported or enabled", Shown::kWord,
     {{15, 14, "Shall be set to 01b"}, {8, 8, "The World Wide Name is supported"},
      {6, 6, "The WRITE DMA FUA EXT and WRITE MULTIPLE FUA EXT commands are supported"},
      {5, 5, "The GPL feature set is supported"}, {1, 1, "SMART self-test is supported"},
      {0, 0, "SMART error logging is supported"}}},
    {88, 88, "Ultra DMA modes", Shown::kWord,
     {{14, 14, "Ultra DMA mode 6 is selected"}, {13, 13, "Ultra DMA mode 5 is selected"},
      {12, 12, "Ultra DMA mode 4 is selected"}, {11, 11, "Ultra DMA mode 3 is selected"},
      {10, 10, "Ultra DMA mode 2 is selected"}, {9, 9, "Ultra DMA mode 1 is selected"},
      {8, 8, "Ultra DMA mode 0 is selected"}, {6, 6, "Ultra DMA mode 6 and below are supported"},
      {5, 5, "Ultra DMA mode 5 and below are supported"}, {4, 4, "Ultra DMA mode 4 and below are supported"},
      {3, 3, "Ultra DMA mode 3 and below are supported"}, {2, 2, "Ultra DMA mode 2 and below are supported"},
      {1, 1, "Ultra DMA mode 1 and below are supported"}, {0, 0, "Ultra DMA mode 0 is supported"}}},
    {89, 89, "Time required for a Normal Erase mode SECURITY ERASE UNIT command", Shown::kWord,
     {{15, 15, "Extended Time Reported"}, {14, 0, "Normal Erase mode time"}}},
    {90, 90, "Time required for an Enhanced Erase mode SECURITY ERASE UNIT command", Shown::kWord,
     {{15, 15, "Extended Time Reported"}, {14, 0, "Enhanced Erase mode time"}}},
    {91, 91, "Current APM level value"},
    {92, 92, "Master Password Identifier"},
    {93, 93, "Hardware reset results"},
    {94, 94, "Obsolete"},
    {95, 95, "Stream Minimum Request Size"},
    {96, 96, "Streaming Transfer Time - DMA"},
    {97, 97, "Streaming Access Latency - DMA and PIO"},
    {98, 99, "Streaming Performance Granularity", Shown::kNumber},
    {100, 103, "Number of User Addressable Logical Sectors", Shown::kNumber},
    {104, 104, "Streaming Transfer Time - PIO"},
    {105, 105, "Maximum number of 512-byte blocks per DATA SET MANAGEMENT command"},
    {106, 106, "Physical sector size / logical sector size", Shown::kWord,
     {{15, 14, "Shall be set to 01b"}, {13, 13, "Device has multiple logical sectors per physical sector"},
      {12, 12, "Device Logical Sector longer than 256 words"},
      {3, 0, "2^X logical sectors per physical sector"}}},
    {107, 107, "Inter-seek delay for ISO/IEC 7779 standard acoustic testing"},
    {108, 111, "World wide name", Shown::kNumber},
    {112, 116, "Reserved", Shown::kBytes},
    {117, 118, "Logical sector size (DWord)", Shown::kNumber},
    {119, 119, "Commands and feature sets supported", Shown::kWord,
     {{15, 14, "Shall be set to 01b"}, {5, 5, "The Free-fall Control feature set is supported"},
      {4, 4, "DOWNLOAD MICROCODE with mode 3 is supported"}, {2, 2, "The WRITE UNCORRECTABLE EXT command is supported"},
      {1, 1, "The Write-Read-Verify feature set is supported"}}},
    {120, 120, "Commands and feature sets supported or enabled", Shown::kWord,
     {{15, 14, "Shall be set to 01b"}, {4, 4, "DOWNLOAD MICROCODE with mode 3 is supported"},
      {1, 1, "The Write-Read-Verify feature set is enabled"}}},
    {121, 126, "Reserved for expanded supported and enabled settings", Shown::kBytes},
    {127, 127, "Obsolete"},
    {128, 128, "Security status", Shown::kWord,
     {{8, 8, "Master Password Capability"}, {5, 5, "Enhanced security erase supported"},
      {4, 4, "Security count expired"}, {3, 3, "Security frozen"}, {2, 2, "Security locked"},
      {1, 1, "Security enabled"}, {0, 0, "Security supported"}}},
    {129, 159, "Vendor specific", Shown::kBytes},
    {160, 160, "CFA power mode"},
    {161, 167, "Reserved for the CompactFlash Association", Shown::kBytes},
    {168, 168, "Device Nominal Form Factor", Shown::kWord, {{3, 0, "Device Nominal Form Factor"}}},
    {169, 169, "DATA SET MANAGEMENT command support", Shown::kWord,
     {{0, 0, "The TRIM bit in the DATA SET MANAGEMENT command is supported"}}},
    {170, 175, "Additional Product Identifier", Shown::kBytes},
    {176, 205, "Current media serial number", Shown::kBytes},
    {206, 206, "SCT Command Transport", Shown::kWord,
     {{5, 5, "The SCT Data Tables command is supported"}, {4, 4, "The SCT Feature Control command is supported"},
      {3, 3, "The SCT Error Recovery Control command is supported"}, {2, 2, "The SCT Write Same command is supported"},
      {0, 0, "The SCT Command Transport is supported"}}},
    {207, 208, "Reserved", Shown::kBytes},
    {209, 209, "Alignment of logical sectors within a physical sector", Shown::kWord,
     {{15, 14, "Shall be set to 01b"}, {13, 0, "Logical sector offset within the first physical sector"}}},
    {210, 211, "Write-Read-Verify Sector Mode 3 Count", Shown::kNumber},
    {212, 213, "Write-Read-Verify Sector Mode 2 Count", Shown::kNumber},
    {214, 214, "Obsolete"},
    {215, 216, "Obsolete", Shown::kBytes},
    {217, 217, "Nominal media rotation rate"},
    {218, 218, "Reserved"},
    {219, 219, "Obsolete"},
    {220, 220, "Write-Read-Verify feature set current mode"},
    {221, 221, "Reserved"},
    {222, 222, "Transport major version number", Shown::kWord,
     {{15, 12, "Transport Type (1h = Serial)"}, {6, 6, "SATA 3.1"}, {5, 5, "SATA 3.0"}, {4, 4, "SATA 2.6"},
      {3, 3, "SATA 2.5"}, {2, 2, "SATA II: Extensions"}, {1, 1, "SATA 1.0a"}, {0, 0, "ATA8-AST"}}},
    {223, 223, "Transport minor version number"},
    {224, 233, "Reserved / Extended Number of User Addressable Sectors", Shown::kBytes},
    {234, 234, "Minimum number of 512-byte data blocks per DOWNLOAD MICROCODE command"},
    {235, 235, "Maximum number of 512-byte data blocks per DOWNLOAD MICROCODE command"},
    {236, 254, "Reserved", Shown::kBytes},
    {255, 255, "Integrity Word", Shown::kWord, {{15, 8, "Checksum"}, {7, 0, "Checksum Validity Indicator"}}},
};
// clang-format on
static_assert(std::size(kRows) == kIdentifyWordRows);

constexpr size_t kBytesPerLine = 32;

void Row(LineSink& sink, std::string_view label, std::string_view name, const std::string& value) {
  sink.Write(Format("%-18.*s: %-69.*s| %s", static_cast<int>(label.size()), label.data(),
                    static_cast<int>(name.size()), name.data(), value.c_str()),
             engine::colour::kWhite);
}

std::string WordsHex(std::span<const uint8_t> data, uint16_t first, uint16_t last) {
  std::string text = "0x";
  for (int w = last; w >= first; --w)
    text += Format("%04X", disk::IdentifyWord(data, static_cast<size_t>(w)));
  return text;
}

void PrintRow(LineSink& sink, std::span<const uint8_t> data, const WordRow& row) {
  const std::string label =
      row.first == row.last ? Format("Word %u", row.first) : Format("Word %u-%u", row.first, row.last);
  switch (row.shown) {
    case Shown::kWord:
      Row(sink, label, row.name, Format("0x%04X", disk::IdentifyWord(data, row.first)));
      break;
    case Shown::kText:
      Row(sink, label, row.name, disk::AtaIdentifyString(data, row.first, row.last - row.first + 1u));
      break;
    case Shown::kNumber:
      Row(sink, label, row.name, WordsHex(data, row.first, row.last));
      break;
    case Shown::kBytes: {
      const size_t from = 2u * row.first, to = std::min<size_t>(data.size(), 2u * (row.last + 1u));
      const std::span<const uint8_t> bytes =
          from < to ? data.subspan(from, to - from) : std::span<const uint8_t>();
      // Long ranges go on as lines without a label, so that no line grows past its limit.
      for (size_t at = 0; at == 0 || at < bytes.size(); at += kBytesPerLine) {
        const std::string list = HexList(bytes.subspan(at, std::min(kBytesPerLine, bytes.size() - at)));
        Row(sink, at == 0 ? std::string_view(label) : "", at == 0 ? row.name : "", list);
        if (bytes.empty()) break;
      }
      break;
    }
  }
  const uint16_t word = disk::IdentifyWord(data, row.first);
  for (const BitRow& b : row.bits) {
    const std::string bitLabel = b.high == b.low ? Format("    [%u]Bit %u", row.first, b.high)
                                                 : Format("    [%u]Bit %u:%u", row.first, b.high, b.low);
    const unsigned width = b.high - b.low + 1u;
    const unsigned value = (word >> b.low) & ((1u << width) - 1u);
    Row(sink, bitLabel, b.name, Format("0x%X", value));
  }
}

}  // namespace

bool DumpIdentifyWords(LineSink& sink, std::span<const uint8_t> data, uint32_t start, uint32_t end) {
  for (const WordRow& row : kRows) {
    if (row.first >= start && row.first <= end) PrintRow(sink, data, row);
    if (row.first == 49 && sink.Cancelled()) {
      sink.Write("---- Cancel Command ----", engine::colour::kCyan);
      return false;
    }
  }
  return true;
}

}  // namespace kestrune::devcmd
