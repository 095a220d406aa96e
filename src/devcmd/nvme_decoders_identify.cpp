#include "devcmd/nvme_decoders_identify.h"

#include <algorithm>

#include "base/bytes.h"
#include "base/text.h"
#include "devcmd/field_table.h"
#include "devcmd/summary_lines.h"
#include "disk/capacity.h"
#include "engine/output.h"

namespace kestrune::devcmd {
namespace {

using base::Format;
namespace colour = engine::colour;

std::span<const uint8_t> Field(std::span<const uint8_t> page, size_t first, size_t last) {
  if (first >= page.size()) return {};
  return page.subspan(first, std::min(last, page.size() - 1) - first + 1);
}

uint64_t Le(std::span<const uint8_t> page, size_t offset, size_t width) {
  uint64_t v = 0;
  for (size_t i = 0; i < width && offset + i < page.size(); ++i)
    v |= static_cast<uint64_t>(page[offset + i]) << (8 * i);
  return v;
}

// Printable text of an identify field with its trailing blanks removed.
std::string TrimmedText(std::span<const uint8_t> field) {
  std::string text = PrintableText(field);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// The line of a PCI Express link: generation, width and the generation's name.
void Link(SummaryLines& s, std::string_view key, std::string_view label, PcieLink link) {
  s.Line({key}, label,
         Format("%u | %u |  %s x %u", link.generation, link.width,
                std::string(PcieSpeedName(link.generation)).c_str(), link.width),
         Format("\"%ux%u\"", link.generation, link.width), colour::kYellow);
}

}  // namespace

std::string_view PcieSpeedName(uint32_t generation) {
  static constexpr std::string_view kNames[] = {
      "Unknow",
      "PCIE Gen1 Signaling Speed (2.5 GTps)",
      "PCIE Gen2 Signaling Speed (5.0 GTps)",
      "PCIE Gen3 Signaling Speed (8.0 GTps)",
      "PCIE Gen4 Signaling Speed (16.0 GTps)",
      "PCIE Gen5 Signaling Speed (32.0 GTps)",
      "PCIE Gen6 Signaling Speed (64.0 GTps)",
  };
  return generation < std::size(kNames) ? kNames[generation] : kNames[0];
}

void IdentifyControllerSummary(LineSink& sink, std::span<const uint8_t> page, ItemCollector& items) {
  SummaryLines s(sink, items);
  s.Text({"|MN|"}, "Model Number (MN)", TrimmedText(Field(page, 24, 63)), colour::kYellow);
  s.Text({"FWver"}, "Firmware Version (FWver)", TrimmedText(Field(page, 64, 71)), colour::kYellow);
  const auto vid = static_cast<unsigned>(Le(page, 0, 2));
  s.Line({"VID"}, "Vendor ID (VID)", Format("%04X", vid), Format("0x%04X", vid), colour::kCyan);
  const auto ssvid = static_cast<unsigned>(Le(page, 2, 2));
  s.Line({"SSVID"}, "Subsystem VID (SSVID)", Format("%04X", ssvid), Format("0x%04X", ssvid), colour::kCyan);
  s.Text({"|SN|"}, "Serial Number (SN)", TrimmedText(Field(page, 4, 23)), colour::kCyan);
  const auto nn = static_cast<int32_t>(Le(page, 516, 4));
  s.Line({"|NN|"}, "Number of Namespaces (NN)", Format("%d", nn), Format("%d", nn), colour::kCyan);
  s.Text({"SUBNQN"}, "SubNQN", PrintableText(Field(page, 768, 1023)), colour::kWhite);
}

void IdentifyNamespaceSummary(LineSink& sink, std::span<const uint8_t> ns, const IdentifyDiskFacts& disk,
                              ItemCollector& items) {
  SummaryLines s(sink, items);
  const unsigned format = ns.size() > 26 ? ns[26] & 0x0F : 0;
  const uint32_t lbaf = static_cast<uint32_t>(Le(ns, 128 + 4 * format, 4));
  const unsigned lbads = (lbaf >> 16) & 0xFF;
  const uint32_t ms = lbaf & 0xFFFF;
  // A sector size that cannot be (2^32 bytes and more) counts as unknown.
  const uint64_t sectorSize = lbads < 32 ? uint64_t{1} << lbads : 0;
  const uint64_t nsze = Le(ns, 0, 8);
  const unsigned __int128 bytes = static_cast<unsigned __int128>(sectorSize) * nsze;
  const uint64_t bytes64 = bytes > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(bytes);

  s.Text({"EUI64", "WWN"}, "EUI64", HexString(Field(ns, 120, 127), false), colour::kWhite);
  s.Text({"NGUID"}, "NGUID", HexString(Field(ns, 104, 119), false), colour::kWhite);
  s.Number({"LBA_FORMAT"}, "LBA Format Select Index", format, colour::kCyan);
  s.Line({"MAXLBA"}, "Max LBA", Format("0x%llX", static_cast<unsigned long long>(nsze)),
         Format("0x%llX", static_cast<unsigned long long>(nsze)), colour::kCyan);
  s.Number({"|GB|"}, "DiskQty(GB)", disk::CapacityGB(bytes64, static_cast<uint32_t>(sectorSize), ms),
           colour::kCyan);
  s.Number({"|GiB|"}, "DiskQty(GiB)", static_cast<unsigned long long>(bytes >> 30), colour::kCyan);
  s.Number({"SECTOR_SIZE"}, "LBA Sector Size", sectorSize, colour::kCyan);
  s.Number({"WRITE_CACHE"}, "Write Cache Enable", disk.writeCache ? 1 : 0, colour::kCyan);
  Link(s, "SUPPORT_SPEED", "PCIE Support Speed", disk.maxLink);
  Link(s, "LINK_SPEED", "Current PCIE Link Speed", disk.currentLink);
  s.Text({"PHYSICALDRIVE"}, "PhysicalDrive", disk.physicalDrive, colour::kYellow);
  s.Text({"CMDTYPE"}, "Cmd Through", disk.cmdThrough, colour::kYellow);
  s.Text({"PORTID"}, "Port ID", disk.portId, colour::kYellow);
  s.Line({"SOCID"}, "SocId", Format("0x%04X", disk.socId), Format("0x%04X", disk.socId), colour::kGrey);
  s.Line({"VSCTYPE"}, "VSC Type", Format("%X", disk.vendorVariant), Format("%X", disk.vendorVariant),
         colour::kGrey);
  s.Text({"CFG_TYPE"}, "Config Type", std::string(ConfigTypeName(disk.configType)), colour::kGrey);
  s.Text({"ORIGIN_FW"}, "Original FW Ver", disk.originFw, colour::kGrey);
}

}  // namespace kestrune::devcmd
