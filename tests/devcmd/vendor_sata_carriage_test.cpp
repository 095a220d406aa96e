// The SATA carriage of the maker's vendor commands: every operation's task file and length, the
// echo line, the operations that have no carriage, and how a SATA drive is known as the maker's by
// the OUI of its world wide name.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "devcmd/vendor_channel.h"
#include "devcmd/vendor_sata_carriage.h"
#include "disk/ata_operations.h"
#include "disk/identify_data.h"

namespace kestrune::devcmd {
namespace {

namespace flag = disk::ata_flag;

struct Row {
  VendorOp op;
  VendorArgs args;
  uint8_t command;
  uint16_t feature;
  uint16_t flags;
  uint64_t lba;
};

VendorArgs A(uint32_t a = 0, uint32_t crc = 0) { return {a, 0x11, 0x22, crc, false}; }

// One row per operation the SATA drives carry.
const Row kRows[] = {
    {VendorOp::kCleanEventLog, A(), 0xC1, 0x01, flag::kNoData, 0},
    {VendorOp::kCleanSmart, A(), 0xC1, 0x02, flag::kNoData, 0},
    {VendorOp::kBrandNew, A(), 0xC1, 0x03, flag::kNoData, 0},
    {VendorOp::kKillFirmware, A(), 0xC1, 0x04, flag::kNoData, 0},
    {VendorOp::kTrainDdrEye, A(), 0xC1, 0x05, flag::kNoData, 0},
    {VendorOp::kKeepFrb, A(), 0xC1, 0x06, flag::kNoData, 0},
    {VendorOp::kForceFirmwareMode, A(2), 0xC1, 0x88, flag::kNoData, 2},
    {VendorOp::kReadBlock, A(kBlockConfigPage), 0xC3, 0x71, flag::kPioIn, 3},
    {VendorOp::kReadBlock, A(kBlockCrashDump), 0xC3, 0x71, flag::kPioIn, 8},
    {VendorOp::kWriteBlock, A(kBlockConfig, 0xDEADBEEF), 0xC2, 0x71, flag::kPioOut, 0xDEADBEEF01},
    {VendorOp::kOtpUid, A(), 0xFE, 0x01, flag::kPioIn, 0},
    {VendorOp::kSecurityIdRead, A(), 0xFE, 0x20, flag::kPioIn, 0},
    {VendorOp::kSecurityIdWrite, A(), 0xFE, 0x21, flag::kPioOut, 0},
    {VendorOp::kEventLog, A(), 0xFE, 0x60, flag::kPioIn, 0},
    {VendorOp::kDriveInformation, A(2), 0xFE, 0x63, flag::kPioIn, 0x1102},
    {VendorOp::kGrownDefect, A(), 0xFE, 0x65, flag::kPioIn, 0},
    {VendorOp::kReconstructionStatus, A(), 0xFE, 0x69, flag::kPioIn, 0},
};

TEST(VendorSataCarriage, EveryOperationAsItsTaskFile) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(static_cast<int>(row.op));
    const SataVendorCommand c = EncodeSataVendor(row.op, row.args);
    ASSERT_EQ(c.code, 1);
    EXPECT_EQ(c.tf.command, row.command);
    EXPECT_EQ(c.tf.feature, row.feature);
    EXPECT_EQ(c.tf.flags, row.flags);
    EXPECT_EQ(c.tf.Lba(), row.lba);
    const bool data = row.flags != flag::kNoData;
    EXPECT_EQ(c.tf.sectorCount, data ? 8u : 0u);
    EXPECT_EQ(c.length, data ? 4096u : 0u);
    EXPECT_TRUE(disk::Is48BitCommand(c.tf.command));
    EXPECT_EQ(disk::CheckTransfer(c.tf), 0);
  }
}

TEST(VendorSataCarriage, EchoIsTheAtaLine) {
  const SataVendorCommand c = EncodeSataVendor(VendorOp::kWriteBlock, A(kBlockConfig, 0x12345678));
  EXPECT_EQ(disk::AtaEchoText(c.tf),
            "ATA( IO:\"OUT\", ATACmd:0xC2, Feature:113, SectorCount:8, Low:0x1, Mid:0x78, High:0x56, ExLow:0x34, "
            "ExMid:0x12, ExHigh:0x0 );");
}

TEST(VendorSataCarriage, OperationsWithoutCarriageAreNotSupported) {
  for (VendorOp op : {VendorOp::kEnterVendorMode, VendorOp::kFtlVirgin, VendorOp::kSetThinCapacity,
                      VendorOp::kVpdRead, VendorOp::kSpiDebugInformation, VendorOp::kPhyCalibration,
                      VendorOp::kLegacyDriveInformation})
    EXPECT_EQ(EncodeSataVendor(op, A()).code, -79) << static_cast<int>(op);
  // And the SATA drives' own actions have no NVMe encoding.
  EXPECT_EQ(EncodeVendorCommand(VendorOp::kTrainDdrEye, kVariantFc, {}, 0).code, -79);
}

// IDENTIFY DEVICE data with words 108-111 set.
std::array<uint8_t, 512> WithWwn(uint16_t w108, uint16_t w109) {
  std::array<uint8_t, 512> id{};
  id[216] = static_cast<uint8_t>(w108);
  id[217] = static_cast<uint8_t>(w108 >> 8);
  id[218] = static_cast<uint8_t>(w109);
  id[219] = static_cast<uint8_t>(w109 >> 8);
  return id;
}

TEST(VendorSataCarriage, MakerSataDrivesByTheirWwnOui) {
  EXPECT_EQ(disk::ParseAtaIdentify(WithWwn(0x5001, 0x2345)).wwnOui, 0x001234u);
  EXPECT_EQ(disk::ParseAtaIdentify(WithWwn(0x500C, 0xAFE7)).wwnOui, 0x00CAFEu);
  EXPECT_EQ(disk::ParseAtaIdentify(WithWwn(0x0000, 0xAFE7)).wwnOui, 0u);  // no NAA: no name

  VendorData data;
  data.vendorIds = {0xCAFE};
  data.sataOuis = {0x00CAFE};
  disk::DiskEntry sata;
  sata.diskKind = disk::DiskKind::kAta;
  sata.wwnOui = 0x00CAFE;
  sata.pciVendorId = 0;
  EXPECT_TRUE(IsMakerDrive(data, sata));
  sata.wwnOui = 0x001234;
  EXPECT_FALSE(IsMakerDrive(data, sata));
  // The OUI list is for SATA drives only, the PCI vendor ids for NVMe drives only.
  disk::DiskEntry nvme;
  nvme.diskKind = disk::DiskKind::kNvm;
  nvme.wwnOui = 0x00CAFE;
  EXPECT_FALSE(IsMakerDrive(data, nvme));
  sata.pciVendorId = 0xCAFE;
  EXPECT_FALSE(IsMakerDrive(data, sata));
}

}  // namespace
}  // namespace kestrune::devcmd
