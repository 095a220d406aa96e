// Decoders of the Identify list forms and of the error, firmware slot and command effects logs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/bytes.h"
#include "devcmd/nvme_decoders_logs.h"
#include "engine/output.h"
#include "nvme_pages.h"

namespace kestrune::devcmd {
namespace {

TEST(ActiveNamespaces, StopAtTheFirstZeroOrTheEndOfThePage) {
  testing::Page list{};
  base::PutLe32(&list[0], 1);
  base::PutLe32(&list[4], 0x12345);
  base::PutLe32(&list[12], 7);  // after the zero: not listed
  LineCollector sink;
  DecodeActiveNamespaces(sink, list);
  EXPECT_EQ(sink.Texts(),
            (std::vector<std::string>{"Active Namespace ID : 0x0001", "Active Namespace ID : 0x12345"}));
  EXPECT_EQ(sink.lines[0].colour, engine::colour::kCyan);

  testing::Page full{};
  for (uint32_t i = 0; i < 1024; ++i) base::PutLe32(&full[4 * i], i + 1);
  LineCollector all;
  DecodeActiveNamespaces(all, full);
  EXPECT_EQ(all.lines.size(), 1024u);
  EXPECT_EQ(all.lines.back().text, "Active Namespace ID : 0x0400");
}

TEST(NamespaceDescriptor, TypeLengthAndReversedIdentifier) {
  struct Case {
    uint8_t type;
    std::string typeLine;
    uint32_t colour;
  };
  const Case cases[] = {
      {1, "Namespace ID Type (NIDT):  0x0001 | IEEE Extended Unique ID", engine::colour::kYellow},
      {2, "Namespace ID Type (NIDT):  0x0002 | Globally Unique ID", engine::colour::kYellow},
      {3, "Namespace ID Type (NIDT):  0x0003 | UUID", engine::colour::kYellow},
      {9, "Namespace ID Type (NIDT):  0x0009 | UNKNOW", engine::colour::kGrey},
  };
  for (const Case& c : cases) {
    testing::Page list{};
    list[0] = c.type;
    list[1] = 4;
    list[4] = 0x01;
    list[7] = 0xEF;
    list[8] = 0x55;  // past NIDL
    LineCollector sink;
    DecodeNamespaceDescriptor(sink, list);
    EXPECT_EQ(sink.lines,
              (std::vector<DecodedLine>{{c.typeLine, c.colour},
                                        {"Namespace ID Length (NIDL) :  4", engine::colour::kYellow},
                                        {"Namespace ID (NID)      :  EF000001", engine::colour::kCyan}}));
  }
  testing::Page longId{};
  longId[0] = 3;
  longId[1] = 255;  // longer than the 100 bytes shown
  LineCollector sink;
  DecodeNamespaceDescriptor(sink, longId);
  EXPECT_EQ(sink.lines[2].text.size(), std::string("Namespace ID (NID)      :  ").size() + 200);
}

TEST(ErrorInformation, HeaderAndOneLinePerEntry) {
  std::vector<uint8_t> log(kErrorLogBytes, 0);
  base::PutLe64(&log[0], 5);
  base::PutLe16(&log[8], 2);
  base::PutLe16(&log[10], 0x1A);
  base::PutLe16(&log[12], 0x4004);
  base::PutLe16(&log[14], 0x0328);
  base::PutLe64(&log[16], 0xAB12345678);  // printed by its low 32 bits
  base::PutLe32(&log[24], 1);
  LineCollector sink;
  DecodeErrorInformation(sink, log);
  ASSERT_EQ(sink.lines.size(), 64u);
  EXPECT_EQ(sink.lines[0].text,
            "ErrorID :            ErrCount| SubmissionQ| CommandID| Status| ErrByte| ErrBit|                 "
            "LBA| Namespace");
  EXPECT_EQ(sink.lines[1].text,
            "Error00 :                   5|           2|        1A|   4004|      28|      3|            "
            "12345678|    1");
  EXPECT_EQ(sink.lines[63].text,
            "Error62 :                   0|           0|         0|      0|       0|      0|                 "
            "  0|    0");
}

TEST(FirmwareSlots, AttributesThenEachSlot) {
  std::vector<uint8_t> log(kFirmwareLogBytes, 0);
  log[0] = 0x21;  // slot 1 active, slot 2 pending
  testing::PutText(&log[8], 8, "FW1");
  testing::PutText(&log[16], 8, "FW2", 0);
  LineCollector sink;
  DecodeFirmwareSlots(sink, testing::ControllerPage(), log);
  EXPECT_EQ(sink.Texts(), (std::vector<std::string>{
                              "Maximum Data Transfer Size (MDTS)   : 5 | 128KB",
                              "Firmware Update Granularity (FWUG)  : 2 | 8KB",
                              "Slot 1 ReadOnly                     : 0",
                              "Active Without Reset                : 1",
                              "Active Slot                         : 1",
                              "Pending Activate Slot               : 2",
                              "Firmware Slot Count                 : 3",
                              "Slot1 Firmware                      : FW1     ",
                              "Slot2 Firmware                      : FW2",
                              "Slot3 Firmware                      : ",
                          }));
  EXPECT_EQ(sink.lines[6].colour, engine::colour::kWhite);
  EXPECT_EQ(sink.lines[7].colour, engine::colour::kGrey);
}

TEST(CommandEffects, SupportedCommandsWithTheirEffects) {
  testing::Page log{};
  base::PutLe32(&log[4 * 0x06], 0x00000001);
  base::PutLe32(&log[4 * 0xC0], 0x00020003);  // a vendor admin command
  base::PutLe32(&log[4 * 0xFF], 0x00000001);  // the 256th admin entry is not examined
  base::PutLe32(&log[4 * (256 + 0x02)], 0x00000001);
  base::PutLe32(&log[4 * (256 + 0x0E)], 0x00000001);
  base::PutLe32(&log[4 * (256 + 0x03)], 0x00000002);  // not supported: CSUPP clear
  LineCollector sink;
  DecodeCommandEffects(sink, log);
  ASSERT_EQ(sink.lines.size(), 4u * 9);
  EXPECT_EQ(sink.lines[0],
            (DecodedLine{"DWORD 6         : Admin Command Opcode (06)               | Identify",
                         engine::colour::kYellow}));
  EXPECT_EQ(sink.lines[9].text, "DWORD 192       : Admin Command Opcode (C0)               | Vendor Command");
  EXPECT_EQ(sink.lines[10].text, "    Bit 19-31   : Reserved                                | 0x0");
  EXPECT_EQ(sink.lines[11].text, "    Bit 16-18   : Command Submission and Execution (CSE)  | 0x2");
  EXPECT_EQ(sink.lines[16].text, "    Bit 1       : Logical Block Content Change (LBCC)     | 0x1");
  EXPECT_EQ(sink.lines[18], (DecodedLine{"DWORD 258       : IO Command Opcode (02)                  | Read",
                                         engine::colour::kCyan}));
  EXPECT_EQ(sink.lines[27].text,
            "DWORD 270       : IO Command Opcode (0E)                  | Reservation Report");
}

TEST(CommandEffects, OpcodeNames) {
  EXPECT_EQ(AdminOpcodeName(0x82), "Security Receive");
  EXPECT_EQ(AdminOpcodeName(0x03), "Vendor Command");
  EXPECT_EQ(IoOpcodeName(0x15), "Reservation Release");
  EXPECT_EQ(IoOpcodeName(0x11), "Reservation Acquire");
  EXPECT_EQ(IoOpcodeName(0x80), "Vendor Command");
}

}  // namespace
}  // namespace kestrune::devcmd
