#include "disk/sector_io.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

#include "disk/dataset_management.h"
#include "disk/pattern_fill.h"
#include "disk/sector_buffer.h"
#include "disk/target_mode.h"
#include "sector_lab.h"

namespace kestrune::disk::testing {
namespace {

TEST(SectorBytes, RefusesNegativeWrappingAndOversizedRequests) {
  struct Case {
    uint64_t lba;
    int64_t count;
    uint32_t sectorSize;
    std::optional<uint64_t> offset;  // nullopt: refused
    uint64_t length;
  };
  const Case cases[] = {
      {0, 1, 512, 0, 512},
      {16, 8, 4096, 16 * 4096, 8 * 4096},
      {0, 0, 512, 0, 0},
      {0, 8388607, 512, 0, 8388607ULL * 512},  // just under 4 GiB: one request
      {0, 8388608, 512, std::nullopt, 0},      // 4 GiB does not fit a 32-bit length
      {0, -1, 512, std::nullopt, 0},
      {1ULL << 55, 1, 512, std::nullopt, 0},        // LBA x sector size wraps
      {UINT64_MAX / 512, 1, 512, std::nullopt, 0},  // the end wraps
      {0, 1, 0, std::nullopt, 0},
  };
  for (const Case& c : cases) {
    std::optional<ByteRange> r = SectorBytes(c.lba, c.count, c.sectorSize);
    ASSERT_EQ(r.has_value(), c.offset.has_value()) << c.lba << " " << c.count << " " << c.sectorSize;
    if (r) {
      EXPECT_EQ(r->offset, *c.offset);
      EXPECT_EQ(r->length, c.length);
    }
  }
}

TEST(TrimBytes, CutsToTheEndAndRefusesAStartPastIt) {
  constexpr uint64_t kEnd = 1 * kMiB;
  struct Case {
    uint64_t lba, count;
    std::optional<uint64_t> offset;
    uint64_t length;
  };
  const Case cases[] = {
      {100, 0, 51200, kEnd - 51200},  // a count of 0 trims to the end
      {100, 10, 51200, 5120},
      {100, 1ULL << 40, 51200, kEnd - 51200},  // past the end: cut
      {100, UINT64_MAX, 51200, kEnd - 51200},  // count x sector size wraps: cut
      {2047, 1, 2047 * 512, 512},
      {2048, 1, std::nullopt, 0},        // at the end
      {5000, 0, std::nullopt, 0},        // past the end: no underflow
      {1ULL << 60, 1, std::nullopt, 0},  // offset wraps
  };
  for (const Case& c : cases) {
    std::optional<ByteRange> r = TrimBytes(c.lba, c.count, 512, kEnd);
    ASSERT_EQ(r.has_value(), c.offset.has_value()) << c.lba << " " << c.count;
    if (r) {
      EXPECT_EQ(r->offset, *c.offset);
      EXPECT_EQ(r->length, c.length);
    }
  }
}

TEST(SectorBufferTest, IsPageAlignedZeroFilledAndMovable) {
  SectorBuffer b(1000);
  ASSERT_TRUE(b.ok());
  EXPECT_TRUE(PageAligned(b.data()));
  EXPECT_EQ(b.size(), 1000u);
  for (uint8_t x : b.bytes()) ASSERT_EQ(x, 0);
  SectorBuffer moved = std::move(b);
  EXPECT_EQ(moved.size(), 1000u);
  EXPECT_EQ(b.data(), nullptr);
  EXPECT_TRUE(SectorBuffer(0).ok());
}

using SectorIo = SectorLab;

std::vector<uint8_t> Pattern(size_t bytes, uint64_t lba, uint32_t sectorSize) {
  std::vector<uint8_t> b(bytes);
  FillSectorBlock(b, lba, 0x12345678, true, sectorSize);
  return b;
}

TEST_F(SectorIo, RoundTripsOn512And4096ByteSectors) {
  for (const auto& [path, sectorSize] : {std::pair{kRawNvme, 512u}, std::pair{kRaw4K, 4096u}}) {
    SectorBuffer out(3 * sectorSize);
    const std::vector<uint8_t> data = Pattern(3 * sectorSize, 10, sectorSize);
    std::memcpy(out.data(), data.data(), data.size());
    ASSERT_EQ(WriteSectors(tree(), path, 10, 3, out.bytes(), sectorSize, false), 1) << path;
    SectorBuffer in(3 * sectorSize);
    ASSERT_EQ(ReadSectors(tree(), path, 10, 3, in.bytes(), sectorSize), 1) << path;
    EXPECT_EQ(std::memcmp(in.data(), data.data(), data.size()), 0) << path;
    std::vector<sim::RequestRecord> writes = Requests("Write");
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back().offset, 10u * sectorSize);
    EXPECT_EQ(writes.back().length, 3u * sectorSize);
  }
}

TEST_F(SectorIo, ForcedUnitAccessReachesTheDrive) {
  SectorBuffer out(512);
  ASSERT_EQ(WriteSectors(tree(), kRawNvme, 0, 1, out.bytes(), 512, true), 1);
  EXPECT_EQ(Requests("WriteFua").size(), 1u);
}

TEST_F(SectorIo, UnalignedBuffersGoThroughAnAlignedOne) {
  std::vector<uint8_t> storage(2 * 512 + 1);
  std::span<uint8_t> odd(storage.data() + 1, 2 * 512);
  const std::vector<uint8_t> data = Pattern(2 * 512, 7, 512);
  std::memcpy(odd.data(), data.data(), data.size());
  ASSERT_EQ(WriteSectors(tree(), kRawNvme, 7, 2, odd, 512, false), 1);
  std::fill(storage.begin(), storage.end(), 0);
  ASSERT_EQ(ReadSectors(tree(), kRawNvme, 7, 2, odd, 512), 1);
  EXPECT_EQ(std::vector<uint8_t>(odd.begin(), odd.end()), data);
}

TEST_F(SectorIo, BadRequestsAreRefusedBeforeAnythingIsOpened) {
  SectorBuffer b(2 * 512);
  lab->requestLog().Clear();
  EXPECT_EQ(ReadSectors(tree(), kRawNvme, 0, 0, b.bytes(), 512), -2) << "count 0";
  EXPECT_EQ(ReadSectors(tree(), kRawNvme, 0, -5, b.bytes(), 512), -2) << "negative count";
  EXPECT_EQ(ReadSectors(tree(), kRawNvme, 0, 3, b.bytes(), 512), -2) << "buffer shorter than the request";
  EXPECT_EQ(ReadSectors(tree(), kRawNvme, 1ULL << 55, 1, b.bytes(), 512), -2) << "offset wraps";
  EXPECT_EQ(WriteSectors(tree(), kRawNvme, 0, 0, b.bytes(), 512, false), -2) << "a write of nothing";
  EXPECT_EQ(WriteSectors(tree(), kRawNvme, UINT64_MAX / 512, 1, b.bytes(), 512, false), -2);
  EXPECT_TRUE(lab->requestLog().Records().empty());
}

TEST_F(SectorIo, RequestsPastTheDeviceEndAreRefused) {
  SectorBuffer b(2 * 512);
  const uint64_t last = 64 * kMiB / 512 - 1;
  EXPECT_EQ(ReadSectors(tree(), kRawNvme, last, 1, b.bytes(), 512), 1);
  lab->requestLog().Clear();
  EXPECT_EQ(ReadSectors(tree(), kRawNvme, last, 2, b.bytes(), 512), -2);
  EXPECT_EQ(WriteSectors(tree(), kRawNvme, last + 1, 1, b.bytes(), 512, false), -2);
  EXPECT_TRUE(Requests("Read").empty());
  EXPECT_TRUE(Requests("Write").empty());
}

TEST_F(SectorIo, InjectedFailuresGiveTheirCompletionCodes) {
  struct Case {
    const char* what;
    sim::FaultPlan plan;
    int32_t read, write;
  };
  sim::FaultPlan open;
  open.failOpen = true;
  sim::FaultPlan request;
  request.failRequests = sim::request::kRead | sim::request::kWrite;
  sim::FaultPlan media;
  media.mediaErrorLbas = {5};
  sim::FaultPlan shortMove;  // moves half and says it succeeded
  shortMove.shortTransfer = sim::request::kRead | sim::request::kWrite;
  const Case cases[] = {
      {"open failure", open, -1, -1},
      {"request failure", request, -3, -4},
      {"media error", media, -3, 1},  // writing over a bad sector is accepted
      {"short transfer", shortMove, -3, -4},
  };
  for (const Case& c : cases) {
    Drive(kRawNvme)->set_faults(c.plan);
    SectorBuffer b(4 * 512);
    EXPECT_EQ(ReadSectors(tree(), kRawNvme, 4, 4, b.bytes(), 512), c.read) << c.what;
    EXPECT_EQ(WriteSectors(tree(), kRawNvme, 4, 4, b.bytes(), 512, false), c.write) << c.what;
    Drive(kRawNvme)->set_faults({});
  }
}

TEST_F(SectorIo, TrimFlushAndQueries) {
  std::unique_ptr<platform::Device> device = tree().Open(kRawNvme, platform::OpenAccess::kReadWrite);
  ASSERT_TRUE(device);
  EXPECT_EQ(TrimRange(*device, 0, 4096), 1);
  EXPECT_EQ(FlushDevice(tree(), kRawNvme), 1);
  EXPECT_TRUE(DeviceOpens(tree(), kRawNvme));
  EXPECT_TRUE(WriteCacheState(tree(), kRawNvme));
  EXPECT_EQ(TrimSupported(tree(), kRawNvme), 1);

  sim::FaultPlan fail;
  fail.failRequests = sim::request::kTrim | sim::request::kFlush;
  Drive(kRawNvme)->set_faults(fail);
  EXPECT_EQ(TrimRange(*device, 0, 4096), -74);
  EXPECT_EQ(FlushDevice(tree(), kRawNvme), -74);

  sim::FaultPlan open;
  open.failOpen = true;
  Drive(kRawNvme)->set_faults(open);
  EXPECT_EQ(FlushDevice(tree(), kRawNvme), -1);
  EXPECT_FALSE(DeviceOpens(tree(), kRawNvme));
  EXPECT_FALSE(WriteCacheState(tree(), kRawNvme));
  EXPECT_EQ(TrimSupported(tree(), kRawNvme), -1);
  Drive(kRawNvme)->set_faults({});

  // The SCSI port handle opens but answers no disk queries.
  EXPECT_EQ(TrimSupported(tree(), "\\\\.\\scsi0:"), -74);
}

TEST_F(SectorIo, TargetModesAndTheirGuards) {
  struct Case {
    std::string path;
    TargetMode mode;
    int32_t raw, rawOrPartition, partition, system;
  };
  const Case cases[] = {
      {kRawNvme, TargetMode::kRaw, 0, 0, -24, 0},
      {kLettered, TargetMode::kWholeDiskWithVolumes, -20, -22, -24, 0},
      {kVolumeD, TargetMode::kPartition, -20, 0, 0, 0},
      {kSystemSata, TargetMode::kWholeDiskWithVolumes, -20, -22, -24, -22},
      {"\\\\.\\C:", TargetMode::kPartition, -20, 0, 0, -22},
  };
  for (const Case& c : cases) {
    Select(c.path);
    const DiskEntry& e = state().current;
    EXPECT_EQ(ModeOf(e), c.mode) << c.path;
    EXPECT_EQ(RequireRaw(e), c.raw) << c.path;
    EXPECT_EQ(RequireRawOrPartition(e), c.rawOrPartition) << c.path;
    EXPECT_EQ(RequirePartition(e), c.partition) << c.path;
    EXPECT_EQ(RequireNotSystemDisk(e), c.system) << c.path;
  }
}

TEST(DatasetManagement, DeallocateEntryAndRangeBytes) {
  const NvmeEntryBytes entry = DeallocateEntry();
  NvmeEntryBytes expected{};
  expected[0] = 0x09;   // opcode
  expected[4] = 0x01;   // NSID 1
  expected[44] = 0x04;  // CDW11: deallocate; CDW10 0 = one range
  EXPECT_EQ(entry, expected);

  std::vector<uint8_t> page(kDeallocatePageBytes, 0xEE);
  PutDeallocateRange(page, 0x0102030405060708, 0x11223344);
  const std::vector<uint8_t> range{0, 0, 0, 0, 0x44, 0x33, 0x22, 0x11, 8, 7, 6, 5, 4, 3, 2, 1};
  EXPECT_EQ(std::vector<uint8_t>(page.begin(), page.begin() + 16), range);
  EXPECT_EQ(std::vector<uint8_t>(page.begin() + 16, page.end()),
            std::vector<uint8_t>(kDeallocatePageBytes - 16, 0));
}

}  // namespace
}  // namespace kestrune::disk::testing
