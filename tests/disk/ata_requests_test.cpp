// The request bytes of ATA commands on both routes: the SAT CDB (ATA PASS-THROUGH(12) for 28-bit
// commands, (16) with EXTEND for 48-bit ones) and the ATA_PASS_THROUGH_DIRECT of the Windows ATA
// route, per direction and protocol; and the transfers that never go out.
#include <gtest/gtest.h>

#include <vector>

#include "base/completion_codes.h"
#include "disk/ata_send.h"
#include "disk/ata_task_file.h"
#include "platform/win_scsi_layouts.h"

namespace kestrune::disk {
namespace {

namespace flag = ata_flag;
using Bytes = std::vector<uint8_t>;

struct RouteCase {
  const char* what;
  AtaTaskFile tf;
  Bytes sat;           // the whole CDB
  uint16_t aptdFlags;  // ATA_PASS_THROUGH_DIRECT.AtaFlags
  Bytes previous;      // PreviousTaskFile: features, count, LBA low, mid, high
  Bytes current;       // CurrentTaskFile: features, count, LBA low, mid, high, device, command
};

AtaTaskFile WithFeature(AtaTaskFile tf, uint16_t feature) {
  tf.feature = feature;
  return tf;
}

const RouteCase kRoutes[] = {
    {"READ DMA EXT at 1_0000_0000h",
     TaskFile(0x25, flag::kDmaIn, 0x100000000, 8),
     {0x85, 0x0D, 0x0E, 0, 0, 0, 8, 0x00, 0, 0x01, 0, 0, 0, 0x40, 0x25, 0},
     0x1B,
     {0, 0, 0x00, 0x01, 0},
     {0, 8, 0, 0, 0, 0x40, 0x25}},
    {"READ SECTORS at 0123_4567h: LBA bits 24-27 in the device register",
     TaskFile(0x20, flag::kPioIn, 0x01234567, 1),
     {0xA1, 0x08, 0x0E, 0, 1, 0x67, 0x45, 0x23, 0x41, 0x20, 0, 0},
     0x03,
     {0, 0, 0, 0, 0},
     {0, 1, 0x67, 0x45, 0x23, 0x41, 0x20}},
    {"WRITE DMA: DMA protocol, data out",
     TaskFile(0xCA, flag::kDmaOut, 0x800, 8),
     {0xA1, 0x0C, 0x06, 0, 8, 0x00, 0x08, 0, 0x40, 0xCA, 0, 0},
     0x15,
     {0, 0, 0, 0, 0},
     {0, 8, 0x00, 0x08, 0, 0x40, 0xCA}},
    {"WRITE SECTORS EXT of 256: the count's high byte",
     TaskFile(0x34, flag::kPioOut, 0x123456789A, 256),
     {0x85, 0x0B, 0x06, 0, 0, 0x01, 0x00, 0x34, 0x9A, 0x12, 0x78, 0, 0x56, 0x40, 0x34, 0},
     0x0D,
     {0, 0x01, 0x34, 0x12, 0},
     {0, 0, 0x9A, 0x78, 0x56, 0x40, 0x34}},
    {"READ MULTIPLE EXT of 65,536 goes out as 0",
     TaskFile(0x29, flag::kPioIn, 0x10000000, 65536),
     {0x85, 0x09, 0x0E, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 0, 0x40, 0x29, 0},
     0x0B,
     {0, 0, 0x10, 0, 0},
     {0, 0, 0, 0, 0, 0x40, 0x29}},
    {"WRITE DMA FUA EXT",
     TaskFile(0x3D, flag::kDmaOut, 0x10000000, 1),
     {0x85, 0x0D, 0x06, 0, 0, 0, 1, 0x10, 0, 0, 0, 0, 0, 0x40, 0x3D, 0},
     0x1D,
     {0, 0, 0x10, 0, 0},
     {0, 1, 0, 0, 0, 0x40, 0x3D}},
    {"a 48-bit command's feature high byte",
     WithFeature(TaskFile(0x24, flag::kPioIn, 0, 1), 0xAB12),
     {0x85, 0x09, 0x0E, 0xAB, 0x12, 0, 1, 0, 0, 0, 0, 0, 0, 0x40, 0x24, 0},
     0x0B,
     {0xAB, 0, 0, 0, 0},
     {0x12, 1, 0, 0, 0, 0x40, 0x24}},
    {"SMART EXECUTE OFF-LINE IMMEDIATE, no data",
     [] {
       AtaTaskFile tf = TaskFile(0xB0, flag::kNoData, 0xC24F01, 0, 0xD4);
       return tf;
     }(),
     {0xA1, 0x06, 0x00, 0xD4, 0, 0x01, 0x4F, 0xC2, 0x40, 0xB0, 0, 0},
     0x00,
     {0, 0, 0, 0, 0},
     {0xD4, 0, 0x01, 0x4F, 0xC2, 0x40, 0xB0}},
    {"SECURITY SET PASSWORD, PIO out of one block",
     TaskFile(0xF1, flag::kPioOut, 0, 1),
     {0xA1, 0x0A, 0x06, 0, 1, 0, 0, 0, 0x40, 0xF1, 0, 0},
     0x05,
     {0, 0, 0, 0, 0},
     {0, 1, 0, 0, 0, 0x40, 0xF1}},
};

TEST(AtaRequests, GoldenBytesPerRouteAndDirection) {
  for (const RouteCase& c : kRoutes) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(SatCdbOf(c.tf), c.sat);
    const size_t length = size_t{c.tf.sectorCount} * 512;
    const platform::winio::AptdRequest aptd =
        platform::winio::BuildAptd(RegistersOf(c.tf), DirectionOf(c.tf.flags), static_cast<uint32_t>(length),
                                   kAtaTimeoutSeconds, 0x10000);
    EXPECT_EQ(aptd[2] | aptd[3] << 8, c.aptdFlags);
    EXPECT_EQ(Bytes(aptd.begin() + 32, aptd.begin() + 37), c.previous);
    EXPECT_EQ(Bytes(aptd.begin() + 40, aptd.begin() + 47), c.current);
    EXPECT_EQ(static_cast<size_t>(aptd[8] | aptd[9] << 8 | aptd[10] << 16 | aptd[11] << 24), length);
    EXPECT_EQ(aptd[12], kAtaTimeoutSeconds);
  }
}

TEST(AtaRequests, FortyEightBitCommandSet) {
  std::vector<int> wide;
  for (int c = 0; c < 256; ++c)
    if (Is48BitCommand(static_cast<uint8_t>(c))) wide.push_back(c);
  EXPECT_EQ(wide, (std::vector<int>{0x24, 0x25, 0x26, 0x29, 0x34, 0x35, 0x36, 0x39, 0x3D, 0x3E, 0xC1, 0xC2,
                                    0xC3, 0xCE, 0xFE}));
}

TEST(AtaRequests, TransfersThatCannotGoOutAreRefusedBeforeSending) {
  struct Case {
    AtaTaskFile tf;
    int32_t want;
  };
  const int32_t bad = base::code::kBadParameter;
  const Case cases[] = {
      {TaskFile(0x20, flag::kPioIn, 0, 0), bad},  // no sectors
      {TaskFile(0x20, flag::kPioIn, 0, 256), 0},  // 256 goes out as 0
      {TaskFile(0x20, flag::kPioIn, 0, 257), bad},
      {TaskFile(0x20, flag::kPioIn, 0x0FFFFFFF, 1), 0},
      {TaskFile(0x20, flag::kPioIn, 0x10000000, 1), bad},  // past what 28 bits address
      {TaskFile(0x24, flag::kPioIn, 0x10000000, 65536), 0},
      {TaskFile(0x24, flag::kPioIn, 0, 65537), bad},
      {TaskFile(0x24, flag::kPioIn, kLba48Limit - 1, 1), 0},
      {TaskFile(0x24, flag::kPioIn, kLba48Limit - 1, 2), bad},  // ends past 2^48
      {TaskFile(0xE1, flag::kNoData, 0, 0), 0},                 // no data: the count as given
      {TaskFile(0xB0, flag::kNoData, 0x10000000, 300), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int{c.tf.command} << " lba " << c.tf.Lba() << " count "
                                    << std::dec << c.tf.sectorCount);
    EXPECT_EQ(CheckTransfer(c.tf), c.want);
  }
}

}  // namespace
}  // namespace kestrune::disk
