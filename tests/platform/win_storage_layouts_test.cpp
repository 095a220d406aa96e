// Storage-class requests (property query and set, protocol command, firmware, trim), the control
// codes, and the decoders of the query answers, byte for byte.
#include "platform/win_storage_layouts.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/hex_bytes.h"
#include "platform/win_ioctl_codes.h"
#include "platform/win_query_replies.h"

namespace kestrune::platform::winio {
namespace {

using testing::Hex;
using testing::HexPadded;

template <typename T>
std::vector<uint8_t> Bytes(const T& s) {
  return {s.begin(), s.end()};
}

TEST(IoctlCodes, MatchTheSystemValues) {
  const struct {
    uint32_t code, expected;
  } cases[] = {
      {kIoctlStorageGetDeviceNumber, 0x2D1080},
      {kIoctlStorageQueryProperty, 0x2D1400},
      {kIoctlStorageManageDataSetAttributes, 0x2D9404},
      {kIoctlStorageSetProperty, 0x2D93FC},
      {kIoctlStorageProtocolCommand, 0x2DD3C0},
      {kIoctlStorageReinitializeMedia, 0x2D9640},
      {kIoctlStorageFirmwareGetInfo, 0x2D1C00},
      {kIoctlStorageFirmwareDownload, 0x2DDC04},
      {kIoctlStorageFirmwareActivate, 0x2DDC08},
      {kIoctlScsiMiniport, 0x4D008},
      {kIoctlScsiPassThroughDirect, 0x4D014},
      {kIoctlScsiGetAddress, 0x41018},
      {kIoctlAtaPassThroughDirect, 0x4D030},
      {kIoctlDiskGetPartitionInfoEx, 0x70048},
      {kIoctlDiskGetLengthInfo, 0x7405C},
      {kIoctlDiskGetDriveGeometryEx, 0x700A0},
      {kIoctlDiskGetCacheInformation, 0x740D4},
      {kIoctlVolumeGetVolumeDiskExtents, 0x560000},
  };
  for (const auto& c : cases) EXPECT_EQ(c.code, c.expected) << std::hex << c.expected;
}

TEST(PropertyQuery, StandardQueryOfTheTrimProperty) {
  EXPECT_EQ(Bytes(StandardPropertyQuery(kStorageDeviceTrimProperty)),
            Hex("08 00 00 00 00 00 00 00 00 00 00 00"));
}

TEST(PropertyQuery, ProtocolSpecificIdentifyBytes) {
  ProtocolQuery q;
  q.requestValue = 1;  // CNS
  q.requestSubValue = 0;
  q.dataLength = kProtocolDataAreaBytes;
  std::vector<uint8_t> b = BuildProtocolQuery(q);
  EXPECT_EQ(b, HexPadded("31 00 00 00 00 00 00 00"
                         "03 00 00 00 01 00 00 00 01 00 00 00 00 00 00 00 28 00 00 00 00 10 00 00",
                         4144));
}

TEST(PropertyQuery, WithoutDataTheAreaIsNotAnnounced) {
  ProtocolQuery q;
  q.dataType = kNvmeDataTypeFeature;
  q.requestValue = 7;
  std::vector<uint8_t> b = BuildProtocolQuery(q);
  EXPECT_EQ(b, HexPadded("31 00 00 00 00 00 00 00 03 00 00 00 03 00 00 00 07 00 00 00", 48));
}

TEST(PropertySet, SetFeaturesBytes) {
  std::vector<uint8_t> b = BuildFeatureSet(0x80000007, 0x00030003);
  EXPECT_EQ(b, HexPadded("31 00 00 00 00 00 00 00"
                         "03 00 00 00 03 00 00 00 07 00 00 80 03 00 03 00",
                         kPropertySetBytes));
}

TEST(PropertySet, FeatureDataGoesToTheDataArea) {
  const uint8_t data[] = {0xC1, 0xC2};
  std::vector<uint8_t> b = BuildFeatureSet(0x0E, 0, data);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 24, b.begin() + 32), Hex("40 00 00 00 02 00 00 00"));
  EXPECT_EQ(b[72], 0xC1);
  EXPECT_EQ(b[73], 0xC2);
}

TEST(ProtocolCommand, AdminDataInBytes) {
  std::array<uint8_t, 64> entry{};
  entry[0] = 0xC0;
  entry[4] = 0xFF;
  std::vector<uint8_t> data(512, 0xEE);
  std::vector<uint8_t> b = BuildProtocolCommand(NvmeQueue::kAdmin, entry, DataDirection::kIn, data, 60);
  ASSERT_EQ(b.size(), 144u + 512);
  EXPECT_EQ(
      std::vector<uint8_t>(b.begin(), b.begin() + 80),
      Hex("01 00 00 00 54 00 00 00 03 00 00 00 00 00 00 80  00 00 00 00 00 00 00 00 40 00 00 00 00 00 00 00"
          "00 00 00 00 00 02 00 00 3C 00 00 00 00 00 00 00  90 00 00 00 90 00 00 00 01 00 00 00 00 00 00 00"
          "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(b[80], 0xC0);
  EXPECT_EQ(b[84], 0xFF);
  EXPECT_EQ(b[144], 0);  // data in is not copied into the request
}

TEST(ProtocolCommand, IoQueueDataOut) {
  std::array<uint8_t, 64> entry{};
  const uint8_t data[] = {1, 2, 3, 4};
  std::vector<uint8_t> b = BuildProtocolCommand(NvmeQueue::kIo, entry, DataDirection::kOut, data, 30);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 32, b.begin() + 44), Hex("04 00 00 00 00 00 00 00 1E 00 00 00"));
  EXPECT_EQ(b[56], 2);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 144, b.end()), Hex("01 02 03 04"));
}

TEST(ProtocolCommand, ReadsTheReturnedWords) {
  std::array<uint8_t, 64> entry{};
  std::vector<uint8_t> b = BuildProtocolCommand(NvmeQueue::kAdmin, entry, DataDirection::kNone, {}, 60);
  b[16] = 1;
  b[20] = 5;
  b[64] = 0x34;
  b[65] = 0x12;
  ProtocolCommandReply r = ReadProtocolCommand(b);
  EXPECT_EQ(r.returnStatus, 1u);
  EXPECT_EQ(r.errorCode, 5u);
  EXPECT_EQ(r.fixedReturnData, 0x1234u);
}

TEST(Firmware, DownloadBytes) {
  const uint8_t image[] = {0xAA, 0xBB, 0xCC, 0xDD};
  EXPECT_EQ(
      BuildFirmwareDownload(0x400, image),
      Hex("28 00 00 00 2C 00 00 00 01 00 00 00 01 00 00 00  00 04 00 00 00 00 00 00 04 00 00 00 00 00 00 00"
          "AA BB CC DD 00 00 00 00 00 00 00 00"));
}

TEST(Firmware, InformationQueryAndAnswer) {
  EXPECT_EQ(Bytes(BuildFirmwareInfoQuery()), Hex("10 00 00 00 10 00 00 00 01 00 00 00 00 00 00 00"));
  // STORAGE_HW_FIRMWARE_INFO with one slot: version 56, size 56, upgrade supported, 1 slot, slot 1
  // active, none pending, shared, alignment 512, at most 128 KiB a piece; then slot 1, read-only.
  const std::vector<uint8_t> answer =
      Hex("38 00 00 00 38 00 00 00 01 01 01 00 01 00 00 00  00 02 00 00 00 00 02 00"
          "20 00 00 00 20 00 00 00 01 01 00 00 00 00 00 00  31 2E 30 00 00 00 00 00 00 00 00 00 00 00 00 00");
  ASSERT_EQ(answer.size(), kFirmwareInfoBytes);
  const std::optional<FirmwareInfoReply> r = ReadFirmwareInfo(answer, static_cast<uint32_t>(answer.size()));
  ASSERT_TRUE(r);
  EXPECT_TRUE(r->supportUpgrade);
  EXPECT_EQ(r->slotCount, 1);
  EXPECT_EQ(r->activeSlot, 1);
  EXPECT_EQ(r->pendingActivateSlot, 0);
  EXPECT_EQ(r->payloadAlignment, 512u);
  EXPECT_EQ(r->payloadMaxSize, 0x20000u);
  // Answers shorter than the head, by the bytes returned or by their own size field, say nothing.
  EXPECT_FALSE(ReadFirmwareInfo(answer, 23));
  std::vector<uint8_t> shrunk = answer;
  shrunk[4] = 20;
  EXPECT_FALSE(ReadFirmwareInfo(shrunk, static_cast<uint32_t>(shrunk.size())));
}

TEST(Firmware, ActivateFlagsFollowTheAction) {
  EXPECT_EQ(Bytes(BuildFirmwareActivate(2, 1)), Hex("10 00 00 00 10 00 00 00 01 00 00 00 02 00 00 00"));
  EXPECT_EQ(Bytes(BuildFirmwareActivate(2, 3)), Hex("10 00 00 00 10 00 00 00 01 00 00 00 02 00 00 00"));
  EXPECT_EQ(Bytes(BuildFirmwareActivate(1, 2)), Hex("10 00 00 00 10 00 00 00 01 00 00 80 01 00 00 00"));
}

TEST(Trim, OneRangeRequestBytes) {
  EXPECT_EQ(
      Bytes(BuildTrimRequest(0x100000, 0x2000)),
      Hex("1C 00 00 00 01 00 00 00 00 00 00 80 00 00 00 00  00 00 00 00 20 00 00 00 10 00 00 00 00 00 00 00"
          "00 00 10 00 00 00 00 00 00 20 00 00 00 00 00 00"));
}

TEST(QueryReplies, DecodeTheirFields) {
  auto number = ReadDeviceNumber(Hex("07 00 00 00 03 00 00 00 FF FF FF FF"));
  ASSERT_TRUE(number);
  EXPECT_EQ(number->deviceType, kFileDeviceDisk);
  EXPECT_EQ(number->deviceNumber, 3u);

  auto address = ReadScsiAddress(Hex("08 00 00 00 02 01 04 05"));
  ASSERT_TRUE(address);
  EXPECT_EQ(address->portNumber, 2);
  EXPECT_EQ(address->pathId, 1);
  EXPECT_EQ(address->targetId, 4);
  EXPECT_EQ(address->lun, 5);

  std::vector<uint8_t> descriptor(40, 0);
  descriptor[10] = 1;
  descriptor[28] = 17;
  auto d = ReadDeviceDescriptor(descriptor);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->busType, 17u);
  EXPECT_TRUE(d->removable);

  std::vector<uint8_t> geometry(40, 0);
  geometry[20] = 0x00;
  geometry[21] = 0x10;
  EXPECT_EQ(ReadBytesPerSector(geometry), 4096u);
  EXPECT_EQ(ReadLength(Hex("00 00 00 40 00 00 00 00")), 0x40000000u);

  std::vector<uint8_t> partition(144, 0);
  partition[10] = 0x10;  // 1 MiB
  EXPECT_EQ(ReadPartitionOffset(partition), 0x100000u);

  EXPECT_EQ(ReadWriteCacheEnabled(Hex("01 01 01 00")), true);
  EXPECT_EQ(ReadWriteCacheEnabled(Hex("01 01 00 00")), false);
  EXPECT_EQ(ReadTrimEnabled(Hex("0C 00 00 00 0C 00 00 00 01 00 00 00")), true);

  // STORAGE_ADAPTER_DESCRIPTOR: the transfer length, cut to the pages less one, and the alignment.
  const struct {
    const char* bytes;
    uint32_t maxBytes, alignment;
  } adapters[] = {
      {"20 00 00 00 20 00 00 00 00 00 02 00 21 00 00 00 03 00 00 00", 0x20000, 4},  // 128 KiB, 33 pages
      {"20 00 00 00 20 00 00 00 00 00 10 00 11 00 00 00 00 00 00 00", 0x10000, 1},  // pages bound it
      {"20 00 00 00 20 00 00 00 00 00 02 00 FF FF FF FF FF 01 00 00", 0x20000, 512},  // no page bound
      {"20 00 00 00 20 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00", 0, 1},
  };
  for (const auto& c : adapters) {
    const std::optional<AdapterLimit> limit = ReadAdapterLimit(Hex(c.bytes));
    ASSERT_TRUE(limit) << c.bytes;
    EXPECT_EQ(limit->maxBytes, c.maxBytes) << c.bytes;
    EXPECT_EQ(limit->alignment, c.alignment) << c.bytes;
  }
}

TEST(QueryReplies, ShortAnswersGiveNothing) {
  const std::vector<uint8_t> shortAnswer(2, 0);
  EXPECT_FALSE(ReadDeviceNumber(shortAnswer));
  EXPECT_FALSE(ReadScsiAddress(shortAnswer));
  EXPECT_FALSE(ReadDeviceDescriptor(std::vector<uint8_t>(31, 0)));
  EXPECT_FALSE(ReadBytesPerSector(shortAnswer));
  EXPECT_FALSE(ReadLength(shortAnswer));
  EXPECT_FALSE(ReadPartitionOffset(shortAnswer));
  EXPECT_FALSE(ReadAdapterLimit(std::vector<uint8_t>(19, 0)));
  EXPECT_FALSE(ReadWriteCacheEnabled(shortAnswer));
  EXPECT_FALSE(ReadTrimEnabled(shortAnswer));
  EXPECT_FALSE(ReadDiskExtents(shortAnswer));
}

TEST(QueryReplies, DiskExtentsOfASpannedVolume) {
  std::vector<uint8_t> a =
      Hex("02 00 00 00 00 00 00 00"
          "01 00 00 00 00 00 00 00 00 00 10 00 00 00 00 00 00 00 00 40 00 00 00 00"
          "02 00 00 00 00 00 00 00 00 00 20 00 00 00 00 00 00 00 00 80 00 00 00 00");
  auto extents = ReadDiskExtents(a);
  ASSERT_TRUE(extents);
  ASSERT_EQ(extents->size(), 2u);
  EXPECT_EQ((*extents)[0].diskNumber, 1u);
  EXPECT_EQ((*extents)[0].startingOffset, 0x100000u);
  EXPECT_EQ((*extents)[1].diskNumber, 2u);
  EXPECT_EQ((*extents)[1].length, 0x80000000u);

  a.resize(8 + 24);  // the system cut the answer after one extent
  EXPECT_EQ(ReadDiskExtents(a)->size(), 1u);
}

}  // namespace
}  // namespace kestrune::platform::winio
