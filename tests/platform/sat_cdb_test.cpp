// ATA PASS-THROUGH(16) bytes for the transfers a task file can ask for, and the output registers
// in the sense formats translation layers return.
#include "platform/sat_cdb.h"

#include <gtest/gtest.h>

#include <vector>

#include "disk/identify_probe.h"

namespace kestrune::platform {
namespace {

using Cdb = std::array<uint8_t, 16>;

AtaRegisters Regs(uint8_t command, uint8_t features, uint8_t count, uint32_t lba24, uint8_t device) {
  AtaRegisters r;
  r.command = command;
  r.features = features;
  r.count = count;
  r.lbaLow = lba24 & 0xFF;
  r.lbaMid = (lba24 >> 8) & 0xFF;
  r.lbaHigh = (lba24 >> 16) & 0xFF;
  r.device = device;
  return r;
}

TEST(SatCdb, GoldenBytes) {
  // IDENTIFY DEVICE, PIO in, one block: the CDB the inventory sends through SCSI.
  EXPECT_EQ(AtaPassThrough16Cdb(Regs(0xEC, 0, 1, 0, 0x40), DataDirection::kIn, false), disk::SatIdentifyCdb());
  EXPECT_EQ(AtaPassThrough16Cdb(Regs(0xEC, 0, 1, 0, 0x40), DataDirection::kIn, true),
            (Cdb{0x85, 0x08, 0x2E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x40, 0xEC, 0}));

  // SMART RETURN STATUS, non-data, with CK_COND; "previous" registers of a 28-bit command stay out.
  AtaRegisters smart = Regs(0xB0, 0xDA, 0, 0xC24F00, 0);
  smart.featuresExp = 0x77;
  smart.lbaLowExp = 0x66;
  EXPECT_EQ(AtaPassThrough16Cdb(smart, DataDirection::kNone, true),
            (Cdb{0x85, 0x06, 0x20, 0, 0xDA, 0, 0, 0, 0, 0, 0x4F, 0, 0xC2, 0, 0xB0, 0}));

  // READ DMA EXT of 256 blocks at LBA 0x123456789A, 48-bit DMA in.
  AtaRegisters read = Regs(0x25, 0, 0x00, 0x56789A, 0x40);
  read.extended = true;
  read.dma = true;
  read.countExp = 0x01;
  read.lbaLowExp = 0x34;
  read.lbaMidExp = 0x12;
  EXPECT_EQ(AtaPassThrough16Cdb(read, DataDirection::kIn, true),
            (Cdb{0x85, 0x0D, 0x2E, 0, 0, 0x01, 0x00, 0x34, 0x9A, 0x12, 0x78, 0, 0x56, 0x40, 0x25, 0}));

  // DOWNLOAD MICROCODE (PIO out) and WRITE DMA (DMA out): no T_DIR.
  EXPECT_EQ(AtaPassThrough16Cdb(Regs(0x92, 0x03, 4, 0, 0), DataDirection::kOut, false),
            (Cdb{0x85, 0x0A, 0x06, 0, 0x03, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0x92, 0}));
  AtaRegisters write = Regs(0xCA, 0, 8, 0x000800, 0x40);
  write.dma = true;
  EXPECT_EQ(AtaPassThrough16Cdb(write, DataDirection::kOut, false),
            (Cdb{0x85, 0x0C, 0x06, 0, 0, 0, 8, 0, 0x00, 0, 0x08, 0, 0x00, 0x40, 0xCA, 0}));
}

TEST(SatCdb, TwelveByteFormCarriesA28BitCommand) {
  EXPECT_EQ(AtaPassThrough12Cdb(Regs(0xEC, 0, 1, 0, 0x40), DataDirection::kIn, false),
            (std::array<uint8_t, 12>{0xA1, 0x08, 0x0E, 0, 1, 0, 0, 0, 0x40, 0xEC, 0, 0}));
  AtaRegisters write = Regs(0xCA, 0, 8, 0x0ABCDE, 0x4F);
  write.dma = true;
  write.extended = true;  // no EXTEND bit in the 12-byte form
  EXPECT_EQ(AtaPassThrough12Cdb(write, DataDirection::kOut, true),
            (std::array<uint8_t, 12>{0xA1, 0x0C, 0x26, 0, 8, 0xDE, 0xBC, 0x0A, 0x4F, 0xCA, 0, 0}));
}

TEST(SatSense, CommandSucceededOnlyOnGoodOrPassThroughInformationWithoutError) {
  // Descriptor sense with the ATA Status Return descriptor, and fixed sense with VALID.
  auto descriptor = [](uint8_t key, uint8_t asc, uint8_t ascq, uint8_t status) {
    ScsiResult r;
    r.status = 2;
    const uint8_t s[] = {0x72, key, asc, ascq, 0, 0, 0, 14, 0x09, 0x0C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, status};
    std::copy(std::begin(s), std::end(s), r.sense.begin());
    r.senseLength = sizeof s;
    return r;
  };
  auto fixed = [](uint8_t status) {
    ScsiResult r;
    r.status = 2;
    const uint8_t s[] = {0xF0, 0, 0x01, 0x00, status, 0x40, 0, 10, 0, 0, 0, 0, 0x00, 0x1D, 0, 0, 0, 0};
    std::copy(std::begin(s), std::end(s), r.sense.begin());
    r.senseLength = sizeof s;
    return r;
  };
  struct Case {
    const char* what;
    ScsiResult result;
    bool want;
  };
  ScsiResult good;
  ScsiResult busy;
  busy.status = 0x08;
  ScsiResult bare;
  bare.status = 2;
  const Case cases[] = {
      {"GOOD", good, true},
      {"descriptor 00/1D, status 50h", descriptor(0x01, 0, 0x1D, 0x50), true},
      {"descriptor 00/1D, status ERR", descriptor(0x0B, 0, 0x1D, 0x51), false},
      {"descriptor 00/1D, status DF", descriptor(0x01, 0, 0x1D, 0x70), false},
      {"descriptor, ILLEGAL REQUEST 24/00", descriptor(0x05, 0x24, 0, 0x50), false},
      {"fixed 00/1D, status 50h", fixed(0x50), true},
      {"fixed 00/1D, status ERR", fixed(0x51), false},
      {"CHECK CONDITION without sense", bare, false},
      {"BUSY", busy, false},
  };
  for (const Case& c : cases) EXPECT_EQ(SatCommandSucceeded(c.result), c.want) << c.what;
}

TEST(SatCdb, ProtocolFollowsDirectionAndDma) {
  AtaRegisters r;
  EXPECT_EQ(ProtocolOf(r, DataDirection::kNone), SatProtocol::kNonData);
  EXPECT_EQ(ProtocolOf(r, DataDirection::kIn), SatProtocol::kPioIn);
  EXPECT_EQ(ProtocolOf(r, DataDirection::kOut), SatProtocol::kPioOut);
  r.dma = true;
  EXPECT_EQ(ProtocolOf(r, DataDirection::kNone), SatProtocol::kNonData);
  EXPECT_EQ(ProtocolOf(r, DataDirection::kIn), SatProtocol::kDma);
}

TEST(SatSense, DescriptorFormatReturnsEveryRegister) {
  // RECOVERED ERROR, "ATA pass-through information available", an information descriptor first.
  const std::vector<uint8_t> sense = {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 26,
                                      0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // information
                                      0x09, 0x0C, 0x01, 0x00, 0x02, 0x01, 0x34, 0x9A, 0x12, 0x78, 0x00, 0x56, 0x40, 0x50};
  std::optional<AtaRegisters> r = AtaRegistersFromSense(sense);
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->extended);
  EXPECT_EQ(r->features, 0x00);  // ERROR
  EXPECT_EQ(r->command, 0x50);   // STATUS
  EXPECT_EQ(r->countExp, 0x02);
  EXPECT_EQ(r->count, 0x01);
  EXPECT_EQ(r->lbaLowExp, 0x34);
  EXPECT_EQ(r->lbaLow, 0x9A);
  EXPECT_EQ(r->lbaMidExp, 0x12);
  EXPECT_EQ(r->lbaMid, 0x78);
  EXPECT_EQ(r->lbaHighExp, 0x00);
  EXPECT_EQ(r->lbaHigh, 0x56);
  EXPECT_EQ(r->device, 0x40);
}

TEST(SatSense, FixedFormatReturnsTheLowRegisters) {
  // ABORTED COMMAND with VALID set: ERROR 04h (ABRT), STATUS 51h, a 48-bit command.
  const std::vector<uint8_t> sense = {0xF0, 0, 0x0B, 0x04, 0x51, 0x40, 0x03, 10, 0x80, 0x11, 0x22, 0x33, 0x00, 0x00};
  std::optional<AtaRegisters> r = AtaRegistersFromSense(sense);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->features, 0x04);
  EXPECT_EQ(r->command, 0x51);
  EXPECT_EQ(r->device, 0x40);
  EXPECT_EQ(r->count, 0x03);
  EXPECT_TRUE(r->extended);
  EXPECT_EQ(r->lbaLow, 0x11);
  EXPECT_EQ(r->lbaMid, 0x22);
  EXPECT_EQ(r->lbaHigh, 0x33);
  EXPECT_EQ(r->lbaLowExp, 0);
}

TEST(SatSense, OldLibataFixedFormatIsReadFromItsOwnOffsets) {
  // Linux 6.1 after READ LOG EXT that the drive aborted: ERROR 04h, STATUS 51h at bytes 8-11.
  const std::vector<uint8_t> sense = {0x70, 0, 0x0B, 0, 0, 0, 0, 0x0A, 0x04, 0x51, 0x40, 0x01, 0, 0, 0, 0, 0x80, 0x2F};
  std::optional<AtaRegisters> r = AtaRegistersFromSense(sense);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->features, 0x04);
  EXPECT_EQ(r->command, 0x51);
  EXPECT_EQ(r->device, 0x40);
  EXPECT_EQ(r->count, 0x01);
  EXPECT_TRUE(r->extended);
  EXPECT_EQ(r->lbaLow, 0x2F);
  EXPECT_EQ(r->lbaMid, 0x00);  // cut off with the 18 bytes the kernel returns
}

TEST(SatSense, SenseWithoutRegistersGivesNone) {
  // ILLEGAL REQUEST, invalid command operation code: the layer does not know ATA PASS-THROUGH.
  EXPECT_FALSE(AtaRegistersFromSense(std::vector<uint8_t>{0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0x00}));
  EXPECT_FALSE(AtaRegistersFromSense(std::vector<uint8_t>{0x72, 0x05, 0x20, 0x00, 0, 0, 0, 0}));
  EXPECT_FALSE(AtaRegistersFromSense({}));
  EXPECT_FALSE(AtaRegistersFromSense(std::vector<uint8_t>{0x72}));
  // A descriptor list that claims more bytes than there are, and a cut-off status descriptor.
  EXPECT_FALSE(AtaRegistersFromSense(std::vector<uint8_t>{0x72, 1, 0, 0x1D, 0, 0, 0, 200, 0x09, 0x0C, 0, 0}));
  EXPECT_FALSE(AtaRegistersFromSense(std::vector<uint8_t>{0x72, 1, 0, 0x1D, 0, 0, 0, 4, 0x00, 0xFF, 0, 0}));
}

}  // namespace
}  // namespace kestrune::platform
