#include "devcmd/nvme_decoders_logs.h"

#include <algorithm>
#include <utility>

#include "base/text.h"
#include "devcmd/field_table.h"
#include "engine/output.h"

namespace kestrune::devcmd {
namespace {

using base::Format;
namespace colour = engine::colour;

uint64_t Le(std::span<const uint8_t> page, size_t offset, size_t width) {
  uint64_t v = 0;
  for (size_t i = 0; i < width && offset + i < page.size(); ++i)
    v |= static_cast<uint64_t>(page[offset + i]) << (8 * i);
  return v;
}

std::span<const uint8_t> Field(std::span<const uint8_t> page, size_t offset, size_t length) {
  if (offset >= page.size()) return {};
  return page.subspan(offset, std::min(length, page.size() - offset));
}

using OpcodeName = std::pair<uint8_t, std::string_view>;

constexpr OpcodeName kAdminNames[] = {
    {0x00, "Delete IO Submission Queue"},
    {0x01, "Create IO Submission Queue"},
    {0x02, "Get Log Page"},
    {0x04, "Delete IO Completion Queue"},
    {0x05, "Create IO Completion Queue"},
    {0x06, "Identify"},
    {0x08, "Abort"},
    {0x09, "Set Features"},
    {0x0A, "Get Features"},
    {0x0C, "Asynchronous Event Request"},
    {0x0D, "Namespace Management"},
    {0x10, "Firmware Commit"},
    {0x11, "Firmware Image Download"},
    {0x15, "Namespace Attachment"},
    {0x80, "Format NVM"},
    {0x81, "Security Send"},
    {0x82, "Security Receive"},
};
constexpr OpcodeName kIoNames[] = {
    {0x00, "Flush"},
    {0x01, "Write"},
    {0x02, "Read"},
    {0x04, "Write Uncorrectable"},
    {0x05, "Compare"},
    {0x08, "Write Zeroes"},
    {0x09, "Dataset Management"},
    {0x0D, "Reservation Register"},
    {0x0E, "Reservation Report"},
    {0x11, "Reservation Acquire"},
    {0x15, "Reservation Release"},
};

std::string_view Lookup(std::span<const OpcodeName> table, uint8_t opcode) {
  for (const OpcodeName& entry : table) {
    if (entry.first == opcode) return entry.second;
    if (entry.first > opcode) break;
  }
  return "Vendor Command";
}

void EffectBits(LineSink& sink, uint32_t e) {
  const std::pair<const char*, uint32_t> bits[] = {
      {"    Bit 19-31   : Reserved                                | 0x%X", e >> 19},
      {"    Bit 16-18   : Command Submission and Execution (CSE)  | 0x%X", (e >> 16) & 7},
      {"    Bit 5-15    : Reserved                                | 0x%X", (e >> 5) & 0x7FF},
      {"    Bit 4       : Controller Capability Change (CCC)      | 0x%X", (e >> 4) & 1},
      {"    Bit 3       : Namespace Inventory Change (NIC)        | 0x%X", (e >> 3) & 1},
      {"    Bit 2       : Namespace Capability Change (NCC)       | 0x%X", (e >> 2) & 1},
      {"    Bit 1       : Logical Block Content Change (LBCC)     | 0x%X", (e >> 1) & 1},
      {"    Bit 0       : Command Supported (CSUPP)               | 0x%X", e & 1},
  };
  for (const auto& [format, value] : bits) sink.Write(Format(format, value), colour::kWhite);
}

}  // namespace

std::string_view AdminOpcodeName(uint8_t opcode) { return Lookup(kAdminNames, opcode); }
std::string_view IoOpcodeName(uint8_t opcode) { return Lookup(kIoNames, opcode); }

void DecodeActiveNamespaces(LineSink& sink, std::span<const uint8_t> list) {
  for (size_t i = 0; i < 1024 && 4 * i + 4 <= list.size(); ++i) {
    const auto id = static_cast<uint32_t>(Le(list, 4 * i, 4));
    if (id == 0) break;
    sink.Write(Format("Active Namespace ID : 0x%04X", id), colour::kCyan);
  }
}

void DecodeNamespaceDescriptor(LineSink& sink, std::span<const uint8_t> list) {
  const unsigned type = list.empty() ? 0 : list[0];
  const unsigned length = list.size() > 1 ? list[1] : 0;
  switch (type) {
    case 1:
      sink.Write(Format("Namespace ID Type (NIDT):  0x%04X | IEEE Extended Unique ID", type),
                 colour::kYellow);
      break;
    case 2:
      sink.Write(Format("Namespace ID Type (NIDT):  0x%04X | Globally Unique ID", type), colour::kYellow);
      break;
    case 3:
      sink.Write(Format("Namespace ID Type (NIDT):  0x%04X | UUID", type), colour::kYellow);
      break;
    default:
      sink.Write(Format("Namespace ID Type (NIDT):  0x%04X | UNKNOW", type), colour::kGrey);
      break;
  }
  sink.Write(Format("Namespace ID Length (NIDL) :  %d", length), colour::kYellow);
  const std::string id = HexString(Field(list, 4, std::min(length, 100u)), true);
  sink.Write(Format("Namespace ID (NID)      :  %s", id.c_str()), colour::kCyan);
}

void DecodeErrorInformation(LineSink& sink, std::span<const uint8_t> log) {
  sink.Write(
      "ErrorID :            ErrCount| SubmissionQ| CommandID| Status| ErrByte| ErrBit|                 LBA| "
      "Namespace",
      colour::kWhite);
  for (unsigned i = 0; i < 63; ++i) {
    const size_t e = 64 * i;
    const auto location = static_cast<unsigned>(Le(log, e + 14, 2));
    sink.Write(Format("Error%02u :%20lld|  %10u|%10X|  %5X|   %5X|  %5X|%20X|%5X", i,
                      static_cast<long long>(Le(log, e, 8)), static_cast<unsigned>(Le(log, e + 8, 2)),
                      static_cast<unsigned>(Le(log, e + 10, 2)), static_cast<unsigned>(Le(log, e + 12, 2)),
                      location & 0xFF, (location >> 8) & 7, static_cast<unsigned>(Le(log, e + 16, 4)),
                      static_cast<unsigned>(Le(log, e + 24, 4))),
               colour::kWhite);
  }
}

void DecodeFirmwareSlots(LineSink& sink, std::span<const uint8_t> controller, std::span<const uint8_t> log) {
  const unsigned mdts = static_cast<unsigned>(Le(controller, 77, 1));
  const unsigned fwug = static_cast<unsigned>(Le(controller, 319, 1));
  const unsigned frmw = static_cast<unsigned>(Le(controller, 260, 1));
  const unsigned afi = static_cast<unsigned>(Le(log, 0, 1));
  const unsigned slots = (frmw >> 1) & 7;
  // MDTS is a power of two of the minimum page size (4 KiB); values past 21 would not fit the text.
  const unsigned long long mdtsKb = mdts < 62 ? 4ULL << mdts : 0;
  sink.Write(Format("Maximum Data Transfer Size (MDTS)   : %u | %lluKB", mdts, mdtsKb), colour::kWhite);
  sink.Write(Format("Firmware Update Granularity (FWUG)  : %u | %uKB", fwug, fwug * 4), colour::kWhite);
  sink.Write(Format("Slot 1 ReadOnly                     : %u", frmw & 1), colour::kWhite);
  sink.Write(Format("Active Without Reset                : %u", (frmw >> 4) & 1), colour::kWhite);
  sink.Write(Format("Active Slot                         : %u", afi & 7), colour::kWhite);
  sink.Write(Format("Pending Activate Slot               : %u", (afi >> 4) & 7), colour::kWhite);
  sink.Write(Format("Firmware Slot Count                 : %u", slots), colour::kWhite);
  for (unsigned n = 1; n <= slots; ++n) {
    const std::string revision = PrintableText(Field(log, 8 + 8 * (n - 1), 8));
    sink.Write(Format("Slot%u Firmware                      : %s", n, revision.c_str()), colour::kGrey);
  }
}

void DecodeCommandEffects(LineSink& sink, std::span<const uint8_t> log) {
  for (unsigned k = 0; k < 255; ++k) {
    const auto e = static_cast<uint32_t>(Le(log, 4 * k, 4));
    if ((e & 1) == 0) continue;
    const std::string_view name = AdminOpcodeName(static_cast<uint8_t>(k));
    sink.Write(Format("DWORD %-4u      : Admin Command Opcode (%02X)               | %.*s", k, k,
                      static_cast<int>(name.size()), name.data()),
               colour::kYellow);
    EffectBits(sink, e);
  }
  for (unsigned l = 0; l < 255; ++l) {
    const auto e = static_cast<uint32_t>(Le(log, 4 * (256 + l), 4));
    if ((e & 1) == 0) continue;
    const std::string_view name = IoOpcodeName(static_cast<uint8_t>(l));
    sink.Write(Format("DWORD %-4u      : IO Command Opcode (%02X)                  | %.*s", 256 + l, l,
                      static_cast<int>(name.size()), name.data()),
               colour::kCyan);
    EffectBits(sink, e);
  }
}

}  // namespace kestrune::devcmd
