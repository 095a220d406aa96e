// SCSI_PASS_THROUGH_DIRECT, ATA_PASS_THROUGH_DIRECT and the miniport NVMe blocks, byte for byte.
#include "platform/win_scsi_layouts.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/hex_bytes.h"

namespace kestrune::platform::winio {
namespace {

using testing::Hex;
using testing::HexPadded;

std::vector<uint8_t> Bytes(std::span<const uint8_t> s) { return {s.begin(), s.end()}; }

std::array<uint8_t, 64> IdentifyControllerEntry() {
  std::array<uint8_t, 64> e{};
  e[0] = 0x06;   // opcode
  e[40] = 0x01;  // CDW10: CNS 1
  return e;
}

TEST(Sptd, InquiryRequestBytes) {
  const uint8_t cdb[] = {0x12, 0, 0, 0, 38, 0};
  SptdFields f;
  f.cdb = cdb;
  f.dataIn = ScsiDataInOf(DataDirection::kIn);
  f.transferLength = 38;
  f.timeoutSeconds = 60;
  f.dataAddress = 0x0000123456789ABCull;
  std::optional<SptdRequest> r = BuildSptd(f);
  ASSERT_TRUE(r);
  EXPECT_EQ(Bytes(*r), HexPadded("38 00 00 00 00 00 06 40  01 00 00 00 26 00 00 00"
                                 "3C 00 00 00 00 00 00 00  BC 9A 78 56 34 12 00 00"
                                 "3C 00 00 00 12 00 00 00  26 00 00 00 00 00 00 00"
                                 "00 00 00 00",
                                 kSptdRequestBytes));
}

TEST(Sptd, TargetIdAndSixteenByteCdb) {
  std::array<uint8_t, 16> cdb{};
  for (size_t i = 0; i < cdb.size(); ++i) cdb[i] = static_cast<uint8_t>(0xA0 + i);
  SptdFields f;
  f.cdb = cdb;
  f.dataIn = ScsiDataInOf(DataDirection::kOut);
  f.targetId = 1;
  std::optional<SptdRequest> r = BuildSptd(f);
  ASSERT_TRUE(r);
  EXPECT_EQ((*r)[4], 1);
  EXPECT_EQ((*r)[6], 16);
  EXPECT_EQ((*r)[8], kScsiDataOut);
  EXPECT_EQ(Bytes(std::span(*r).subspan(36, 16)), Bytes(cdb));
  EXPECT_EQ((*r)[52], 0);  // nothing runs past the CDB
}

TEST(Sptd, RejectsEmptyAndOverlongCdbs) {
  std::array<uint8_t, 17> tooLong{};
  SptdFields f;
  EXPECT_FALSE(BuildSptd(f));
  f.cdb = tooLong;
  EXPECT_FALSE(BuildSptd(f));
}

TEST(Sptd, DirectionCodes) {
  EXPECT_EQ(ScsiDataInOf(DataDirection::kIn), 1);
  EXPECT_EQ(ScsiDataInOf(DataDirection::kOut), 0);
  EXPECT_EQ(ScsiDataInOf(DataDirection::kNone), 2);
}

TEST(Sptd, ReadsStatusSenseAndTransferredBytes) {
  const uint8_t cdb[] = {0x00, 0, 0, 0, 0, 0};
  SptdFields f;
  f.cdb = cdb;
  SptdRequest r = *BuildSptd(f);
  r[2] = 0x02;  // CHECK CONDITION
  r[7] = 18;    // sense bytes returned
  r[12] = 0x10;
  r[60] = 0x70;
  r[62] = 0x05;
  SptdReply reply = ReadSptd(r);
  EXPECT_EQ(reply.scsiStatus, 2);
  EXPECT_EQ(reply.senseLength, 18);
  EXPECT_EQ(reply.transferred, 16u);
  ASSERT_EQ(reply.sense.size(), 18u);
  EXPECT_EQ(reply.sense[0], 0x70);
  EXPECT_EQ(reply.sense[2], 0x05);

  r[7] = 200;  // a port that claims more than the area holds is cut to the area
  EXPECT_EQ(ReadSptd(r).sense.size(), kSptdSenseBytes);
}

TEST(Aptd, IdentifyDeviceRequestBytes) {
  AtaRegisters regs;
  regs.command = 0xEC;
  regs.count = 1;
  regs.device = 0x40;
  AptdRequest r = BuildAptd(regs, DataDirection::kIn, 512, 60, 0x1000);
  EXPECT_EQ(Bytes(r), Hex("30 00 03 00 00 00 00 00  00 02 00 00 3C 00 00 00"
                          "00 00 00 00 00 00 00 00  00 10 00 00 00 00 00 00"
                          "00 00 00 00 00 00 00 00  00 01 00 00 00 40 EC 00"));
}

TEST(Aptd, ReadDmaExtPutsHighLbaBytesInThePreviousTaskFile) {
  // READ DMA EXT at LBA 1_0000_0000h: previous LBA low 00h, previous LBA mid 01h.
  AtaRegisters regs;
  regs.command = 0x25;
  regs.count = 8;
  regs.device = 0x40;
  regs.lbaMidExp = 0x01;
  regs.extended = true;
  regs.dma = true;
  AptdRequest r = BuildAptd(regs, DataDirection::kIn, 4096, 60, 0);
  EXPECT_EQ(r[2], 0x1B);  // DRDY | data in | 48-bit | DMA
  EXPECT_EQ(Bytes(std::span(r).subspan(32, 16)), Hex("00 00 00 01 00 00 00 00  00 08 00 00 00 40 25 00"));
}

TEST(Aptd, FlagsByDirection) {
  AtaRegisters regs;
  EXPECT_EQ(AtaFlagsOf(regs, DataDirection::kNone), 0);
  EXPECT_EQ(AtaFlagsOf(regs, DataDirection::kIn), 3);
  EXPECT_EQ(AtaFlagsOf(regs, DataDirection::kOut), 5);
  regs.dma = true;
  EXPECT_EQ(AtaFlagsOf(regs, DataDirection::kOut), 21);
}

TEST(Aptd, ReadsOutputRegisters) {
  AptdRequest r{};
  const uint8_t previous[] = {0x11, 0x12, 0x13, 0x14, 0x15};
  const uint8_t current[] = {0x04, 0x01, 0x21, 0x22, 0x23, 0xE0, 0x51};
  std::copy(std::begin(previous), std::end(previous), r.begin() + 32);
  std::copy(std::begin(current), std::end(current), r.begin() + 40);
  AtaRegisters regs;
  ReadAptd(r, regs);
  EXPECT_EQ(regs.features, 0x04);  // error
  EXPECT_EQ(regs.command, 0x51);   // status
  EXPECT_EQ(regs.count, 0x01);
  EXPECT_EQ(regs.lbaHigh, 0x23);
  EXPECT_EQ(regs.device, 0xE0);
  EXPECT_EQ(regs.featuresExp, 0x11);
  EXPECT_EQ(regs.lbaHighExp, 0x15);
}

TEST(RstNvme, RequestBytes) {
  const auto entry = IdentifyControllerEntry();
  const uint8_t data[] = {1, 2, 3, 4, 5, 6, 7, 8};
  std::vector<uint8_t> r = BuildRstNvme(2, NvmeQueue::kAdmin, entry, data);
  ASSERT_EQ(r.size(), 8u + 167);
  EXPECT_EQ(std::vector<uint8_t>(r.begin(), r.begin() + 32),
            Hex("1C 00 00 00 49 6E 74 65 6C 4E 76 6D 28 00 00 00  08 28 00 F0 00 00 00 00 93 00 00 00"
                "01 02 00 00"));
  EXPECT_EQ(std::vector<uint8_t>(r.begin() + 32, r.begin() + 96), Bytes(entry));
  EXPECT_EQ(std::vector<uint8_t>(r.begin() + 96, r.begin() + 164),
            HexPadded("00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"  // completion
                      "00 00 00 00 A4 00 00 00 08 00 00 00",  // queue, parameter and return lengths
                      68));
  EXPECT_EQ(std::vector<uint8_t>(r.begin() + 164, r.end()), HexPadded("01 02 03 04 05 06 07 08", 11));
  EXPECT_EQ(BuildRstNvme(0, NvmeQueue::kIo, entry, {})[112], 1);
}

TEST(RstNvme, ReadsCompletionAndDataIn) {
  const auto entry = IdentifyControllerEntry();
  std::vector<uint8_t> reply = BuildRstNvme(0, NvmeQueue::kAdmin, entry, std::vector<uint8_t>(4, 0));
  const std::vector<uint8_t> completion = Hex("44 33 22 11 00 00 00 00 00 00 00 00 00 00 05 00");
  std::copy(completion.begin(), completion.end(), reply.begin() + 96);
  reply[164] = 0xAB;

  std::array<uint8_t, 4> data{};
  NvmeCompletion c;
  ReadRstNvme(reply, DataDirection::kIn, data, c);
  EXPECT_EQ(c.dw0, 0x11223344u);
  EXPECT_EQ(c.status, 2);  // phase bit dropped
  EXPECT_EQ(data[0], 0xAB);

  std::array<uint8_t, 4> sent{9, 9, 9, 9};
  ReadRstNvme(reply, DataDirection::kOut, sent, c);
  EXPECT_EQ(sent[0], 9);  // data out stays the caller's
}

TEST(RstFirmware, DownloadChunkBytes) {
  const uint8_t image[] = {0xDE, 0xAD, 0xBE, 0xEF};
  std::vector<uint8_t> r = BuildRstFirmwareDownload(1, 0x00012340, image);
  EXPECT_EQ(r, Hex("1C 00 00 00 49 6E 74 65 6C 46 77 20 C8 00 00 00  40 00 00 F0 00 00 00 00 40 00 00 00"
                   "01 01 00 00"
                   "01 00 00 00 18 00 00 00 02 00 00 00 01 00 00 00"
                   "38 00 00 00 24 00 00 00 02 00 00 00 20 00 00 00"
                   "40 23 01 00 00 00 00 00 04 00 00 00 00 00 00 00"
                   "FF 00 00 00 00 00 00 00 DE AD BE EF"));
}

TEST(RstFirmware, ActivateBytes) {
  std::vector<uint8_t> r = BuildRstFirmwareActivate(3);
  ASSERT_EQ(r.size(), kRstFirmwareActivateBytes);
  EXPECT_EQ(std::vector<uint8_t>(r.begin(), r.begin() + 88),
            Hex("1C 00 00 00 49 6E 74 65 6C 46 77 20 C8 00 00 00  40 00 00 F0 00 00 00 00 3C 10 00 00"
                "01 03 00 00"
                "01 00 00 00 18 00 00 00 03 00 00 00 01 00 00 00"
                "38 00 00 00 0C 00 00 00 01 00 00 00 0C 00 00 00"
                "01 00 00 00 05 00 00 00 07 00 00 00 00 00 00 00"
                "00 00 00 00 00 00 00 00"));
  EXPECT_TRUE(std::all_of(r.begin() + 88, r.end(), [](uint8_t b) { return b == 0; }));
}

TEST(CommunityNvme, RequestBytes) {
  std::array<uint8_t, 64> entry{};
  entry[0] = 0x09;  // Dataset Management
  const uint8_t data[] = {0xA1, 0xA2, 0xA3, 0xA4};
  std::vector<uint8_t> r = BuildCommunityNvme(NvmeQueue::kIo, entry, DataDirection::kOut, data);
  ASSERT_EQ(r.size(), 156u);
  EXPECT_EQ(std::vector<uint8_t>(r.begin(), r.begin() + 28),
            Hex("1C 00 00 00 4E 76 6D 65 4D 69 6E 69 28 00 00 00  00 20 00 E0 00 00 00 00 80 00 00 00"));
  EXPECT_TRUE(std::all_of(r.begin() + 28, r.begin() + 52, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(r[52], 0x09);
  EXPECT_EQ(std::vector<uint8_t>(r.begin() + 116, r.end()),
            Hex("00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"  // completion
                "01 00 00 00 01 00 00 00 9C 00 00 00 00 00 00 00 9C 00 00 00"
                "A1 A2 A3 A4"));
}

TEST(CommunityNvme, DirectionWords) {
  EXPECT_EQ(CommunityDirectionOf(DataDirection::kNone), 0u);
  EXPECT_EQ(CommunityDirectionOf(DataDirection::kOut), 1u);
  EXPECT_EQ(CommunityDirectionOf(DataDirection::kIn), 2u);
}

TEST(CommunityNvme, ReadsCompletionStatusWithoutPhase) {
  const auto entry = IdentifyControllerEntry();
  std::vector<uint8_t> reply =
      BuildCommunityNvme(NvmeQueue::kAdmin, entry, DataDirection::kIn, std::vector<uint8_t>(2));
  reply[116] = 0x78;
  reply[119] = 0x12;
  reply[130] = (0x0B << 1) | 1;  // Status Code 0Bh, phase set
  reply[152] = 0x5A;
  std::array<uint8_t, 2> data{};
  NvmeCompletion c;
  ReadCommunityNvme(reply, DataDirection::kIn, data, c);
  EXPECT_EQ(c.dw0, 0x12000078u);
  EXPECT_EQ(c.status, 0x0B);
  EXPECT_EQ(data[0], 0x5A);
}

TEST(SrbIoControl, ReturnCodeOfAShortReplyIsZero) {
  EXPECT_EQ(SrbReturnCode(std::vector<uint8_t>(10, 0xFF)), 0u);
  std::vector<uint8_t> reply(28, 0);
  reply[20] = 7;
  EXPECT_EQ(SrbReturnCode(reply), 7u);
}

}  // namespace
}  // namespace kestrune::platform::winio
