// The Identify summary: every line with its key, and the Items filter that picks lines and
// collects their values into the result.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devcmd/nvme_decoders_identify.h"
#include "engine/output.h"
#include "nvme_pages.h"

namespace kestrune::devcmd {
namespace {

IdentifyDiskFacts Facts() {
  IdentifyDiskFacts f;
  f.writeCache = true;
  f.maxLink = {4, 4};
  f.currentLink = {3, 2};
  f.physicalDrive = "\\\\.\\PHYSICALDRIVE0";
  f.cmdThrough = "NVM";
  f.portId = "PCIE-03:00.0";
  f.socId = 0x2262;
  f.vendorVariant = 0x1A;
  f.configType = 102;
  f.originFw = "1.2A";
  return f;
}

struct Summary {
  std::vector<DecodedLine> lines;
  engine::Value value;
};

// 1,000,215,216 sectors of 512 bytes: a drive labelled 512 GB.
Summary Summarise(std::string_view items, uint8_t flbas = 0, uint64_t sectors = 1000215216) {
  LineCollector sink;
  ItemCollector collector(items);
  IdentifyControllerSummary(sink, testing::ControllerPage(), collector);
  IdentifyNamespaceSummary(sink, testing::NamespacePage(sectors, flbas), Facts(), collector);
  return {sink.lines, collector.Result()};
}

TEST(IdentifySummary, FullOutput) {
  const Summary r = Summarise("");
  namespace c = engine::colour;
  const std::vector<DecodedLine> expected = {
      {"Model Number (MN)          : KX NVMe 512G", c::kYellow},
      {"Firmware Version (FWver)   : 1.2A", c::kYellow},
      {"Vendor ID (VID)            : 1E4B", c::kCyan},
      {"Subsystem VID (SSVID)      : 1E4C", c::kCyan},
      {"Serial Number (SN)         : SN0042", c::kCyan},
      {"Number of Namespaces (NN)  : 3", c::kCyan},
      {"SubNQN                     : nqn.2026-01.test:kx", c::kWhite},
      {"EUI64                      : 0011223344556677", c::kWhite},
      {"NGUID                      : A0A1A2A3A4A5A6A7A8A9AAABACADAEAF", c::kWhite},
      {"LBA Format Select Index    : 0", c::kCyan},
      {"Max LBA                    : 0x3B9E12B0", c::kCyan},
      {"DiskQty(GB)                : 512", c::kCyan},
      {"DiskQty(GiB)               : 476", c::kCyan},
      {"LBA Sector Size            : 512", c::kCyan},
      {"Write Cache Enable         : 1", c::kCyan},
      {"PCIE Support Speed         : 4 | 4 |  PCIE Gen4 Signaling Speed (16.0 GTps) x 4", c::kYellow},
      {"Current PCIE Link Speed    : 3 | 2 |  PCIE Gen3 Signaling Speed (8.0 GTps) x 2", c::kYellow},
      {"PhysicalDrive              : \\\\.\\PHYSICALDRIVE0", c::kYellow},
      {"Cmd Through                : NVM", c::kYellow},
      {"Port ID                    : PCIE-03:00.0", c::kYellow},
      {"SocId                      : 0x2262", c::kGrey},
      {"VSC Type                   : 1A", c::kGrey},
      {"Config Type                : MPOEM RDT Disk", c::kGrey},
      {"Original FW Ver            : 1.2A", c::kGrey},
  };
  EXPECT_EQ(r.lines, expected);
  EXPECT_EQ(r.value.text, "");
}

TEST(IdentifySummary, ItemsSelectLinesAndCollectValues) {
  struct Case {
    std::string items;
    size_t lines;
    engine::Value value;
  };
  const Case cases[] = {
      {"MN|FWver", 2, engine::Value::Text("\"KX NVMe 512G\",\"1.2A\"")},
      {"MN", 1, engine::Value::Text("KX NVMe 512G")},
      {"|NN|", 1, engine::Value::Number(3)},
      {"VID", 1, engine::Value::Hex(0x1E4B)},
      {"SSVID", 2, engine::Value::Text("0x1E4B,0x1E4C")},  // VID is found inside SSVID
      {"MaxLBA", 1, engine::Value::Hex(0x3B9E12B0)},
      {" GB | SECTOR_SIZE ", 2, engine::Value::Text("512,512")},
      {"WWN", 1, engine::Value::Text("0011223344556677")},
      {"SUPPORT_SPEED", 1, engine::Value::Text("4x4")},
      {"SOCID", 1, engine::Value::Hex(0x2262)},
      {"VSCTYPE", 1, engine::Value::Text("1A")},
      {"nothing", 0, engine::Value::Text("")},
  };
  for (const Case& c : cases) {
    const Summary r = Summarise(c.items);
    EXPECT_EQ(r.lines.size(), c.lines) << c.items;
    EXPECT_EQ(r.value.type, c.value.type) << c.items;
    EXPECT_EQ(r.value.number, c.value.number) << c.items;
    EXPECT_EQ(r.value.text, c.value.text) << c.items;
  }
}

TEST(IdentifySummary, SectorSizeFromTheSelectedFormat) {
  // Format 1: 4096-byte sectors with 8 bytes of metadata per sector.
  const Summary r = Summarise("LBA_FORMAT|SECTOR_SIZE|GiB|GB", 1, 1 << 20);
  EXPECT_EQ(r.value.text, "1,4,4,4096");
  // A format whose data size cannot be a sector size gives size 0 rather than a shift past 63 bits.
  testing::Page ns = testing::NamespacePage(100, 2);
  base::PutLe32(&ns[136], 0x00FF0000);
  LineCollector sink;
  ItemCollector items("SECTOR_SIZE");
  IdentifyNamespaceSummary(sink, ns, Facts(), items);
  EXPECT_EQ(items.Result().number, 0);
}

TEST(IdentifySummary, NamesOfSpeedsAndConfigTypes) {
  EXPECT_EQ(PcieSpeedName(0), "Unknow");
  EXPECT_EQ(PcieSpeedName(6), "PCIE Gen6 Signaling Speed (64.0 GTps)");
  EXPECT_EQ(PcieSpeedName(7), "Unknow");
  EXPECT_EQ(ConfigTypeName(0), "ROM Disk");
  EXPECT_EQ(ConfigTypeName(3), "FWCFG FTK Disk");
  EXPECT_EQ(ConfigTypeName(101), "MPOEM Programmer Disk");
  EXPECT_EQ(ConfigTypeName(9999), "UNKNOW Disk");
  EXPECT_EQ(ConfigTypeName(4), "UNKNOW Disk");
}

}  // namespace
}  // namespace kestrune::devcmd
