// The Identify Namespace dump: the byte rows of the NVMe 1.4 field set with the bit rows of the
// fields that hold flags, then the 16 LBA formats (the one FLBAS selects in yellow), the reserved
// and the vendor-specific areas.
#include "base/text.h"
#include "devcmd/nvme_decoders_dump.h"
#include "engine/output.h"

namespace kestrune::devcmd {
namespace {

using V = DumpValue;
using base::Format;

constexpr BitRow kNsfeat[] = {
    {24, 7, 5, "Reserved"},
    {24, 4, 4, "Optimal Performance Fields (OPTPERF)"},
    {24, 3, 3, "NGUID and EUI64 Never Reused (UIDREUSE)"},
    {24, 2, 2, "Deallocated or Unwritten Logical Block Error (DAE)"},
    {24, 1, 1, "Namespace Atomic Fields (NSABP)"},
    {24, 0, 0, "Thin Provisioning (THINP)"},
};
constexpr BitRow kFlbas[] = {
    {26, 7, 5, "Reserved"},
    {26, 4, 4, "Metadata Transferred at the End of the Data LBA"},
    {26, 3, 0, "LBA Format Index"},
};
constexpr BitRow kMc[] = {
    {27, 7, 2, "Reserved"},
    {27, 1, 1, "Metadata as a Separate Buffer"},
    {27, 0, 0, "Metadata as Part of an Extended Data LBA"},
};
constexpr BitRow kDpc[] = {
    {28, 7, 5, "Reserved"},
    {28, 4, 4, "Protection Information in the Last Eight Bytes of Metadata"},
    {28, 3, 3, "Protection Information in the First Eight Bytes of Metadata"},
    {28, 2, 2, "Protection Information Type 3 Supported"},
    {28, 1, 1, "Protection Information Type 2 Supported"},
    {28, 0, 0, "Protection Information Type 1 Supported"},
};
constexpr BitRow kDps[] = {
    {29, 7, 4, "Reserved"},
    {29, 3, 3, "Protection Information Transferred as the First Eight Bytes of Metadata"},
    {29, 2, 0, "Protection Information Type"},
};
constexpr BitRow kNmic[] = {
    {30, 7, 1, "Reserved"},
    {30, 0, 0, "May Be Attached to Two or More Controllers"},
};
constexpr BitRow kRescap[] = {
    {31, 7, 7, "Ignore Existing Key"},
    {31, 6, 6, "Exclusive Access - All Registrants"},
    {31, 5, 5, "Write Exclusive - All Registrants"},
    {31, 4, 4, "Exclusive Access - Registrants Only"},
    {31, 3, 3, "Write Exclusive - Registrants Only"},
    {31, 2, 2, "Exclusive Access"},
    {31, 1, 1, "Write Exclusive"},
    {31, 0, 0, "Persist Through Power Loss"},
};
constexpr BitRow kFpi[] = {
    {32, 7, 7, "Format Progress Indicator Support"},
    {32, 6, 0, "Percentage Remaining to Be Formatted"},
};
constexpr BitRow kDlfeat[] = {
    {33, 7, 5, "Reserved"},
    {33, 4, 4, "Guard Field Set to the CRC for Deallocated Blocks"},
    {33, 3, 3, "Deallocate Bit in the Write Zeroes Command"},
    {33, 2, 0, "Read Behavior of Deallocated Blocks"},
};
constexpr BitRow kNsattr[] = {
    {99, 7, 1, "Reserved"},
    {99, 0, 0, "Write Protected"},
};

constexpr ByteRow kRows[] = {
    {0, 7, "Namespace Size - Sectors (NSZE)"},
    {8, 15, "Namespace Capacity (NCAP)"},
    {16, 23, "Namespace Utilization (NUSE)"},
    {24, 24, "Namespace Features (NSFEAT)", V::kNumber, false, kNsfeat},
    {25, 25, "Number of LBA Formats (NLBAF)"},
    {26, 26, "Formatted LBA Size (FLBAS)", V::kNumber, false, kFlbas},
    {27, 27, "Metadata Capabilities (MC)", V::kNumber, false, kMc},
    {28, 28, "End-to-end Data Protection Capabilities (DPC)", V::kNumber, false, kDpc},
    {29, 29, "End-to-end Data Protection Type Settings (DPS)", V::kNumber, false, kDps},
    {30, 30, "Namespace Multi-path I/O and Namespace Sharing Capabilities (NMIC)", V::kNumber, false, kNmic},
    {31, 31, "Reservation Capabilities (RESCAP)", V::kNumber, false, kRescap},
    {32, 32, "Format Progress Indicator (FPI)", V::kNumber, false, kFpi},
    {33, 33, "Deallocate Logical Block Features", V::kNumber, false, kDlfeat},
    {34, 35, "Namespace Atomic Write Unit Normal (NAWUN)"},
    {36, 37, "Namespace Atomic Write Unit Power Fail (NAWUPF)"},
    {38, 39, "Namespace Atomic Compare & Write Unit (NACWU)"},
    {40, 41, "Namespace Atomic Boundary Size Normal (NABSN)"},
    {42, 43, "Namespace Atomic Boundary Offset (NABO)"},
    {44, 45, "Namespace Atomic Boundary Size Power Fail (NABSPF)"},
    {46, 47, "Namespace Optimal I/O Boundary"},
    {48, 63, "NVM Capacity (NVMCAP)", V::kHexList},
    {64, 65, "Namespace Preferred Write Granularity"},
    {66, 67, "Namespace Preferred Write Alignment"},
    {68, 69, "Namespace Preferred Deallocate Granularity"},
    {70, 71, "Namespace Preferred Deallocate Alignment"},
    {72, 73, "Namespace Optimal Write Size"},
    {74, 91, "Reserved", V::kHexList},
    {92, 95, "ANA Group Identifier"},
    {96, 98, "Reserved", V::kHexList},
    {99, 99, "Namespace Attributes", V::kNumber, false, kNsattr},
    {100, 101, "NVM Set Identifier"},
    {102, 103, "Endurance Group Identifer"},
    {104, 111, "Namespace GUID (NGUID) - Vendor Specific Extension", V::kHexList},
    {112, 114, "Namespace GUID (NGUID) - Organizationally", V::kHexList},
    {115, 119, "Namespace GUID (NGUID) - Extension Identifier", V::kHexList},
    {120, 127, "IEEE Extended Unique Identifier (EUI64)", V::kHexString},
};

constexpr ByteRow kReservedAfterFormats{192, 383, "Reserved", V::kHexList};
constexpr ByteRow kVendorSpecific{384, 4095, "Vendor Specific (VS)", V::kHexList};

void PrintFormat(LineSink& sink, std::span<const uint8_t> page, unsigned i, uint16_t o, uint32_t colour) {
  const unsigned long dword =
      static_cast<unsigned long>(page[o]) | (static_cast<unsigned long>(page[o + 1]) << 8) |
      (static_cast<unsigned long>(page[o + 2]) << 16) | (static_cast<unsigned long>(page[o + 3]) << 24);
  if (i < 10)
    sink.Write(Format("Byte %u-%u          : LBA Format %u Support (LBAF%u)                                  "
                      "         | 0x%lX",
                      o, o + 3u, i, i, dword),
               colour);
  else
    sink.Write(Format("Byte %u-%u         : LBA Format %u Support (LBAF%u)                                   "
                      "       | 0x%lX",
                      o, o + 3u, i, i, dword),
               colour);
  const BitRow fields[] = {
      {o, 31, 26, "Reserved"},
      {o, 25, 24, "Relative Performance (RP)"},
      {o, 23, 16, "LBA Data Size 2^n (LBADS)"},
      {o, 15, 0, "Metadata Size (MS)"},
  };
  for (const BitRow& field : fields) sink.Write(BitRowLine(page, field), colour);
}

}  // namespace

std::span<const ByteRow> NamespaceRowsBeforeFormats() { return kRows; }

bool DumpIdentifyNamespace(LineSink& sink, std::span<const uint8_t, kIdentifyPageBytes> page,
                           ByteWindow window) {
  for (const ByteRow& row : kRows) PrintByteRow(sink, page, row, window, engine::colour::kWhite);
  const unsigned selected = page[26] & 0x0F;
  for (unsigned i = 0; i < 16; ++i) {
    if (sink.Cancelled()) {
      sink.Write(kCancelLine, engine::colour::kCyan);
      return false;
    }
    const uint16_t o = static_cast<uint16_t>(128 + 4 * i);
    if (window.Contains(o))
      PrintFormat(sink, page, i, o, i == selected ? engine::colour::kYellow : engine::colour::kWhite);
  }
  PrintByteRow(sink, page, kReservedAfterFormats, window, engine::colour::kWhite);
  // The vendor area runs to the end of the page: a window anywhere inside it shows it.
  if (window.end >= kVendorSpecific.first)
    sink.Write(ByteRowLine(page, kVendorSpecific), engine::colour::kWhite);
  return true;
}

}  // namespace kestrune::devcmd
