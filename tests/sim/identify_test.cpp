// Identify data layouts: golden bytes of the fields that the inventory and decoders read.
#include <gtest/gtest.h>

#include "base/bytes.h"
#include "lab_fixture.h"
#include "sim/identify_data.h"

namespace kestrune::sim {
namespace {

DriveDescription Described(uint32_t sectorSize, uint64_t capacity) {
  DriveDescription d = SmallDrive("X", Attachment::kSataAhci, 0, sectorSize, capacity);
  d.model = "ABCDEFG";
  d.serial = "S123";
  d.firmware = "FW1";
  d.pciVendorId = 0x1B2C;
  return d;
}

std::string Bytes(const uint8_t* p, size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

TEST(AtaIdentify, StringsAreByteSwappedAndBlankPadded) {
  auto id = AtaIdentifyDevice(Described(512, uint64_t{8} << 20), {});
  // Word 10 holds "S1": 'S' in the high byte, '1' in the low byte.
  EXPECT_EQ(Bytes(&id[20], 20), std::string("1S32  ") + std::string(14, ' '));
  EXPECT_EQ(Bytes(&id[46], 8), "WF 1    ");
  EXPECT_EQ(Bytes(&id[54], 8), "BADCFE G");
  EXPECT_EQ(Bytes(&id[62], 32), std::string(32, ' '));
}

TEST(AtaIdentify, CapacityAndSectorSize) {
  struct Row {
    uint32_t sectorSize;
    uint64_t capacity;
    uint32_t words60;
    uint16_t word106;
    uint32_t words117;
  };
  const Row rows[] = {
      {512, uint64_t{8} << 20, 16384, 0x4000, 0},
      {4096, uint64_t{8} << 20, 2048, 0x5000, 2048},
      {512, uint64_t{1} << 40, 0x0FFFFFFF, 0x4000, 0},  // more than 28 bits of sectors
  };
  for (const Row& row : rows) {
    auto id = AtaIdentifyDevice(Described(row.sectorSize, row.capacity), {});
    EXPECT_EQ(base::GetLe32(&id[120]), row.words60);
    EXPECT_EQ(base::GetLe64(&id[200]), row.capacity / row.sectorSize);
    EXPECT_EQ(base::GetLe16(&id[212]), row.word106);
    EXPECT_EQ(base::GetLe32(&id[234]), row.words117);
    EXPECT_EQ(base::GetLe16(&id[166]) & 0x0400, 0x0400);  // word 83: 48-bit addressing
  }
}

TEST(AtaIdentify, ChecksumAndFeatureWords) {
  DriveDescription d = Described(512, uint64_t{8} << 20);
  auto id = AtaIdentifyDevice(d, {});
  uint8_t sum = 0;
  for (uint8_t b : id) sum = static_cast<uint8_t>(sum + b);
  EXPECT_EQ(sum, 0);
  EXPECT_EQ(id[510], 0xA5);
  EXPECT_EQ(base::GetLe16(&id[170]) & 0x20, 0x20);  // word 85: write cache enabled
  EXPECT_EQ(base::GetLe16(&id[338]) & 1, 1);        // word 169: trim
  EXPECT_EQ(base::GetLe16(&id[176]), 0x407F);       // word 88: UDMA 6 selected
  auto off = AtaIdentifyDevice(d, {.writeCacheEnabled = false});
  EXPECT_EQ(base::GetLe16(&off[170]) & 0x20, 0);
  EXPECT_EQ(base::GetLe16(&off[164]) & 0x20, 0x20);  // word 82: still supported
  d.trimSupported = false;
  EXPECT_EQ(base::GetLe16(&AtaIdentifyDevice(d, {})[338]) & 1, 0);
}

TEST(NvmeIdentify, ControllerFields) {
  auto id = NvmeIdentifyController(Described(512, uint64_t{8} << 20));
  EXPECT_EQ(id[0], 0x2C);
  EXPECT_EQ(id[1], 0x1B);
  EXPECT_EQ(Bytes(&id[4], 20), "S123" + std::string(16, ' '));
  EXPECT_EQ(Bytes(&id[24], 40), "ABCDEFG" + std::string(33, ' '));
  EXPECT_EQ(Bytes(&id[64], 8), "FW1     ");
  EXPECT_EQ(base::GetLe32(&id[80]), 0x00010400u);
  EXPECT_EQ(base::GetLe32(&id[516]), 1u);     // one namespace
  EXPECT_EQ(base::GetLe16(&id[520]) & 4, 4);  // Dataset Management
  EXPECT_EQ(id[525], 1);                        // volatile write cache present
}

TEST(NvmeIdentify, NamespaceSizesAndFormats) {
  for (uint32_t ss : {512u, 4096u}) {
    auto id = NvmeIdentifyNamespace(Described(ss, uint64_t{8} << 20), 1);
    const uint64_t sectors = (uint64_t{8} << 20) / ss;
    EXPECT_EQ(base::GetLe64(&id[0]), sectors);
    EXPECT_EQ(base::GetLe64(&id[8]), sectors);
    EXPECT_EQ(base::GetLe64(&id[16]), sectors);
    const uint8_t format = id[26] & 0x0F;
    EXPECT_EQ(1u << id[128 + 4 * format + 2], ss);  // LBADS of the format in use
    EXPECT_EQ(id[25], 1);
  }
  EXPECT_EQ(base::GetLe64(&NvmeIdentifyNamespace(Described(512, uint64_t{8} << 20), 0xFFFFFFFF)[0]), 0u);
}

TEST(ScsiInquiry, StandardData) {
  DriveDescription d = Described(512, uint64_t{8} << 20);
  d.removable = true;
  d.inquiry = {"VEN", "PRODUCT", "1.0", 0x60, 0x23};
  auto data = ScsiInquiryData(d);
  EXPECT_EQ(data[0], 0x00);
  EXPECT_EQ(data[1], 0x80);
  EXPECT_EQ(data[4], 91);
  EXPECT_EQ(Bytes(&data[8], 28), "VEN     PRODUCT         1.0 ");
  EXPECT_EQ(data[36], 0x60);
  EXPECT_EQ(data[37], 0x23);
}

}  // namespace
}  // namespace kestrune::sim
