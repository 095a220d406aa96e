#include "devcmd/ata_identify_summary.h"

#include "base/text.h"
#include "devcmd/summary_lines.h"
#include "disk/config_type.h"
#include "disk/dump_file.h"
#include "engine/output.h"

namespace kestrune::devcmd {
namespace {

using base::Format;
namespace colour = engine::colour;

std::string Decimal(long long n) { return Format("%lld", n); }

}  // namespace

std::string_view SataGenerationName(int generation) {
  switch (generation) {
    case 1:
      return "Serial ATA Gen1 Signaling Speed (1.5 Gbps)";
    case 2:
      return "Serial ATA Gen2 Signaling Speed (3.0 Gbps)";
    case 3:
      return "Serial ATA Gen3 Signaling Speed (6.0 Gbps)";
    default:
      return "Unknow";
  }
}

std::string UltraDmaName(int mode) {
  return Format("Ultra DMA Mode %d Selected", mode >= 0 && mode <= 6 ? mode : 0);
}

void AtaIdentifySummary(LineSink& sink, const disk::AtaIdentity& id, const AtaDiskFacts& disk,
                        ItemCollector& items) {
  SummaryLines s(sink, items);
  s.Text({"|MN|"}, "Model Number (MN)", id.model, colour::kYellow);
  s.Text({"FWver"}, "Firmware Version (FWver)", id.firmware, colour::kYellow);
  s.Text({"|SN|"}, "Serial Number (SN)", id.serial, colour::kCyan);
  s.Text({"EUI64", "WWN"}, "WorldWideName (WWN)", id.worldWideName, colour::kCyan);
  if (s.Selected({"MAXLBA"})) {
    s.Plain("MaxLba28bit", id.userSectors28, colour::kCyan);
    s.Plain("Supported48bit", Decimal(id.lba48Supported ? 1 : 0), colour::kCyan);
    s.Plain("MaxLba48bit", id.maxLba48, colour::kCyan);
    s.Collect(id.maxLba48);
  }
  s.Number({"|GB|"}, "DiskQty(GB)", id.capacityGB, colour::kCyan);
  s.Number({"|GiB|"}, "DiskQty(GiB)", id.capacityGiB, colour::kCyan);
  if (s.Selected({"SECURITY"})) {
    s.Plain("Security Supported", Decimal(id.securitySupported), colour::kGrey);
    s.Plain("Security Enabled", Decimal(id.securityEnabled), colour::kGrey);
    s.Plain("Security Locked", Decimal(id.securityLocked), colour::kGrey);
    s.Plain("Security Frozen", Decimal(id.securityFrozen), colour::kGrey);
    s.Plain("Security Count Expired", Decimal(id.securityCountExpired), colour::kGrey);
    s.Plain("Master Password Capability", Decimal(id.enhancedEraseSupported), colour::kGrey);
    s.Collect(Decimal(id.securityLocked));
  }
  s.Number({"SECTOR_SIZE"}, "LBA Sector Size", disk.sectorSize, disk::kReadDumpColour);
  s.Number({"WRITE_CACHE"}, "Write Cache Enable", id.writeCacheEnabled ? 1 : 0, disk::kReadDumpColour);
  s.Line(
      {"LINK_SPEED"}, "Current Sata Link Speed",
      Format("%2d | %s", id.sataSpeedCurrent, std::string(SataGenerationName(id.sataSpeedCurrent)).c_str()),
      Decimal(id.sataSpeedCurrent), colour::kYellow);
  s.Line(
      {"SUPPORT_SPEED"}, "Sata Support Speed",
      Format("%2d | %s", id.sataGenerationMax, std::string(SataGenerationName(id.sataGenerationMax)).c_str()),
      Decimal(id.sataGenerationMax), colour::kYellow);
  s.Line({"DMA"}, "Ultra DMA Mode", Format("%2d | %s", id.udmaMode, UltraDmaName(id.udmaMode).c_str()),
         Decimal(id.udmaMode), colour::kYellow);
  s.Text({"PHYSICALDRIVE"}, "PhysicalDrive", disk.physicalDrive, colour::kWhite);
  s.Text({"CMDTYPE"}, "Cmd Through", disk.cmdThrough, colour::kWhite);
  s.Text({"PORTID"}, "Port ID", disk.portId, colour::kWhite);
  s.Line({"SOCID"}, "SocId", Format("0x%04X", disk.socId), Format("0x%04X", disk.socId), colour::kGrey);
  s.Text({"CFG_TYPE"}, "Config Type", std::string(disk::ConfigTypeName(disk.configType)), colour::kGrey);
}

}  // namespace kestrune::devcmd
