// The Identify Controller and Identify Namespace dumps: row texts, the byte window, colours and
// the cancel between descriptor rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devcmd/nvme_decoders_dump.h"
#include "engine/output.h"
#include "nvme_pages.h"

namespace kestrune::devcmd {
namespace {

using testing::ControllerPage;
using testing::NamespacePage;

std::vector<std::string> Controller(uint64_t start, uint64_t end,
                                    const testing::Page& page = ControllerPage()) {
  LineCollector sink;
  EXPECT_TRUE(DumpIdentifyController(sink, page, ClampWindow(start, end)));
  return sink.Texts();
}

TEST(IdentifyControllerDump, OneByteWindowPrintsTheRowAndItsBitRows) {
  EXPECT_EQ(Controller(76, 76), (std::vector<std::string>{
                                    "Byte 76               : Controller Multi-Path I/O Capabilities (CMIC)   "
                                    "                       | 0xB",
                                    "    [76]Bit 7-4       : Reserved                                        "
                                    "                       | 0x0",
                                    "    [76]Bit 3         : Asymmetric Namespac Access Reporting Supported  "
                                    "                       | 0x1",
                                    "    [76]Bit 2         : Controller Associated with an SR-IOV Virtual "
                                    "Function                  | 0x0",
                                    "    [76]Bit 1         : NVM Subsystem May Contain Two or More "
                                    "Controllers                      | 0x1",
                                    "    [76]Bit 0         : NVM Subsystem May Contain Two or More Physical "
                                    "PCI Express Ports       | 0x1",
                                }));
}

TEST(IdentifyControllerDump, WindowPastThePageShowsOnlyTheVendorArea) {
  testing::Page page = ControllerPage();
  page[3072] = 0xAB;
  std::vector<std::string> lines = Controller(5000, 5000, page);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(
      lines[0].starts_with("Byte 3072-4095         : Vendor Specific (VS)                                    "
                           "              | AB 00 00 "));
  EXPECT_EQ(lines[0].find('|'), 95u);
  EXPECT_EQ(Controller(7, 3), (std::vector<std::string>{}));  // start limited to end: byte 3 starts no row
}

TEST(IdentifyControllerDump, FieldValuesByKind) {
  const std::vector<std::string> lines = Controller(0, 80);
  auto has = [&](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  EXPECT_TRUE(
      has("Byte 0-1              : Vendor ID (VID)                                                        | "
          "1E4B"));
  EXPECT_TRUE(
      has("Byte 24-63            : Model Number (MN)                                                      | "
          "KX NVMe 512G" +
          std::string(28, ' ')));  // identify texts keep their padding
  EXPECT_TRUE(
      has("Byte 73-75            : IEEE OUI Identifier (IEEE)                                             | "
          "E4D25C"));
  EXPECT_TRUE(
      has("    [80]Bit 31-24     : Tertiary Version                                                       | "
          "0x2"));
}

TEST(IdentifyControllerDump, ColoursAndEveryRowAligned) {
  LineCollector sink;
  ASSERT_TRUE(DumpIdentifyController(sink, ControllerPage(), ClampWindow(0, 4095)));
  size_t cyan = 0;
  for (const DecodedLine& l : sink.lines) {
    EXPECT_EQ(l.text.find('|'), 95u) << l.text;
    if (l.colour == engine::colour::kCyan) ++cyan;
  }
  EXPECT_EQ(cyan, 5u);  // VID, SN, MN, FR, NN
  const size_t descriptors = std::count_if(sink.lines.begin(), sink.lines.end(), [](const DecodedLine& l) {
    return l.text.find("Descriptor (PSD") != std::string::npos;
  });
  EXPECT_EQ(descriptors, 32u);
  EXPECT_EQ(sink.lines.back().text.substr(0, 25), "Byte 3072-4095         : ");
}

TEST(IdentifyControllerDump, PowerStateDescriptorRows) {
  const std::vector<std::string> lines = Controller(2048, 2048);
  ASSERT_EQ(lines.size(), 25u);
  EXPECT_EQ(
      lines[0],
      "Byte 2048-2079         : Power State 0 Descriptor (PSD0)                                       | "
      "20 03 00 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ");
  EXPECT_EQ(lines[1].substr(0, 25), "    [2048]Bit 255-184  : ");
  EXPECT_EQ(lines[1].substr(95), "| 00 00 00 00 00 00 00 00 00 ");
  EXPECT_EQ(
      lines[21],
      "    [2048]Bit 25       : Non-Operational State (NOPS)                                          | 0x1");
  EXPECT_EQ(lines[24],
            "    [2048]Bit 15-00    : Maximum Power (MP)                                                    "
            "| 0x320");
  EXPECT_EQ(Controller(2368, 2368)[0].substr(0, 60),
            "Byte 2368-2399         : Power State 10 Descriptor (PSD10)  ");
}

TEST(IdentifyControllerDump, CancelStopsBeforeTheNextDescriptor) {
  LineCollector sink;
  sink.cancelAfter = 1;
  EXPECT_FALSE(DumpIdentifyController(sink, ControllerPage(), ClampWindow(76, 76)));
  EXPECT_EQ(sink.lines.back().text, "---- Cancel Command ----");
  EXPECT_EQ(sink.lines.back().colour, engine::colour::kCyan);
  EXPECT_EQ(sink.lines.size(), 7u);
}

TEST(IdentifyNamespaceDump, RowsFormatsAndSelectedFormat) {
  LineCollector sink;
  ASSERT_TRUE(DumpIdentifyNamespace(sink, NamespacePage(0x800000, 0), ClampWindow(0, 4095)));
  std::vector<std::string> texts = sink.Texts();
  EXPECT_EQ(texts[0],
            "Byte 0-7              : Namespace Size - Sectors (NSZE)                                        "
            "| 0x800000");
  auto at = [&](std::string_view prefix) {
    for (size_t i = 0; i < texts.size(); ++i)
      if (texts[i].starts_with(prefix)) return i;
    return texts.size();
  };
  EXPECT_EQ(texts[at("Byte 120-127")],
            "Byte 120-127          : IEEE Extended Unique Identifier (EUI64)                                "
            "| 0011223344556677");
  const size_t f0 = at("Byte 128-131");
  EXPECT_EQ(texts[f0],
            "Byte 128-131          : LBA Format 0 Support (LBAF0)                                           "
            "| 0x2090000");
  EXPECT_EQ(
      texts[f0 + 3],
      "    [128]Bit 23-16    : LBA Data Size 2^n (LBADS)                                              | 0x9");
  EXPECT_EQ(texts[f0 + 4].substr(0, 22), "    [128]Bit 15-0     ");
  for (size_t i = f0; i < f0 + 5; ++i) EXPECT_EQ(sink.lines[i].colour, engine::colour::kYellow);
  EXPECT_EQ(sink.lines[f0 + 5].colour, engine::colour::kWhite);
  EXPECT_EQ(texts[at("Byte 168-171")].substr(0, 60),
            "Byte 168-171         : LBA Format 10 Support (LBAF10)       ");
  EXPECT_EQ(texts[at("Byte 168-171")].find('|'), 95u);
  EXPECT_TRUE(texts.back().starts_with("Byte 384-4095         : Vendor Specific (VS)"));

  LineCollector second;
  DumpIdentifyNamespace(second, NamespacePage(8, 1), ClampWindow(128, 135));
  ASSERT_EQ(second.lines.size(), 10u);
  EXPECT_EQ(second.lines[0].colour, engine::colour::kWhite);
  EXPECT_EQ(second.lines[5].colour, engine::colour::kYellow);
}

TEST(IdentifyNamespaceDump, WindowPastThePageShowsOnlyTheVendorArea) {
  LineCollector sink;
  ASSERT_TRUE(DumpIdentifyNamespace(sink, NamespacePage(8, 0), ClampWindow(5000, 9000)));
  ASSERT_EQ(sink.lines.size(), 1u);
  EXPECT_TRUE(sink.lines[0].text.starts_with("Byte 384-4095         : Vendor Specific (VS)"));
}

TEST(IdentifyNamespaceDump, CancelLeavesTheFormatWalk) {
  LineCollector sink;
  sink.cancelAfter = 1;
  EXPECT_FALSE(DumpIdentifyNamespace(sink, NamespacePage(8, 0), ClampWindow(0, 0)));
  EXPECT_EQ(sink.Texts().back(), "---- Cancel Command ----");
}

}  // namespace
}  // namespace kestrune::devcmd
