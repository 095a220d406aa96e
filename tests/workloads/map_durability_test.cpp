// What a map replay knows of durability: which entries a FUA write, a flush or a write cache that is
// off made durable; the progress record on disk, its bytes, its damage and its map; the write-ahead
// horizon; and the drive's promise of what a trimmed sector reads.
#include "workloads/map_durability.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/crc.h"
#include "platform/files.h"
#include "platform/host.h"
#include "support/fake_host.h"
#include "workloads/drive_promises.h"
#include "workloads/map_progress_file.h"

namespace kestrune::workloads {
namespace {

// Each case is a sequence of issues (+) and completions (-) of entries of a six-entry replay.
TEST(MapDurability, DurableOnlyThroughFuaCacheOffOrALaterFlush) {
  using K = MapKind;
  struct Step {
    char what;  // '+' issued, '-' completed
    uint64_t entry;
    K kind;
  };
  const struct {
    const char* what;
    bool cacheOff;
    std::vector<Step> steps;
    uint64_t durable;
  } cases[] = {
      {"plain writes with the cache on stay volatile", false, {{'+', 0, K::kWrite}, {'-', 0, K::kWrite}}, 0},
      {"the cache off makes a completed write durable", true, {{'+', 0, K::kWrite}, {'-', 0, K::kWrite}}, 1},
      {"a FUA write is durable once complete",
       false,
       {{'+', 0, K::kFuaWrite}, {'+', 1, K::kWrite}, {'-', 1, K::kWrite}, {'-', 0, K::kFuaWrite}},
       1},
      {"a flush after the completions covers them",
       false,
       {{'+', 0, K::kWrite},
        {'+', 1, K::kTrim},
        {'-', 0, K::kWrite},
        {'-', 1, K::kTrim},
        {'+', 2, K::kFlush},
        {'-', 2, K::kFlush}},
       3},
      {"a flush issued before a write completed does not cover it",
       false,
       {{'+', 0, K::kWrite},
        {'+', 1, K::kWrite},
        {'-', 1, K::kWrite},
        {'+', 2, K::kFlush},
        {'-', 0, K::kWrite},
        {'-', 2, K::kFlush}},
       0},
      {"a flush still in flight covers nothing yet",
       false,
       {{'+', 0, K::kWrite},
        {'-', 0, K::kWrite},
        {'+', 1, K::kFlush},
        {'+', 2, K::kFuaWrite},
        {'-', 2, K::kFuaWrite}},
       0},
      {"a later flush covers what an earlier one missed",
       false,
       {{'+', 0, K::kWrite},
        {'+', 1, K::kFlush},
        {'-', 1, K::kFlush},
        {'-', 0, K::kWrite},
        {'+', 2, K::kFlush},
        {'-', 2, K::kFlush}},
       3},
  };
  for (const auto& c : cases) {
    DurabilityTracker t(6, c.cacheOff);
    for (const Step& s : c.steps) (s.what == '+') ? t.Issued(s.entry, s.kind) : t.Completed(s.entry, s.kind);
    EXPECT_EQ(t.DurablePrefix(), c.durable) << c.what;
  }
}

TEST(MapProgressRecord, BytesRoundTripAndDamageIsRefused) {
  const ProgressRecord r{{0x123456789, 0xCAFEF00D}, 70, 512, {"S123 ABC", 0x40000000}};
  const std::vector<uint8_t> bytes = EncodeProgress(r);
  ASSERT_EQ(bytes.size(), kProgressRecordBytes);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "KSMAPPRG");
  EXPECT_EQ(bytes[8], 2);      // version
  EXPECT_EQ(std::string(bytes.begin() + 40, bytes.begin() + 48), "S123 ABC");
  EXPECT_EQ(bytes[48], 0);     // the serial zero-padded
  EXPECT_EQ(bytes[63], 0x40);  // the disk's length
  EXPECT_EQ(bytes[12], 0x89);  // map length, little-endian
  EXPECT_EQ(bytes[20], 0x0D);  // map CRC
  EXPECT_EQ(bytes[24], 70);    // durable prefix
  EXPECT_EQ(bytes[32], 0x00);  // horizon 0x200
  EXPECT_EQ(bytes[33], 0x02);
  EXPECT_EQ(DecodeProgress(bytes), r);
  for (size_t at = 0; at < bytes.size(); ++at) {
    std::vector<uint8_t> damaged = bytes;
    damaged[at] ^= 0x10;
    EXPECT_FALSE(DecodeProgress(damaged)) << "byte " << at;
  }
  EXPECT_FALSE(DecodeProgress(std::span(bytes).first(kProgressRecordBytes - 1)));
  // A durable prefix past the horizon cannot come from a replay, even under a good CRC.
  EXPECT_FALSE(DecodeProgress(EncodeProgress({r.map, 600, 512})));
  // A record of the first version: 44 bytes, its CRC at 40, no disk.
  std::vector<uint8_t> v1(bytes.begin(), bytes.begin() + kProgressRecordV1Bytes);
  v1[8] = 1;
  base::PutLe32(&v1[40], base::Crc32(std::span(v1).first(40)));
  EXPECT_EQ(DecodeProgress(v1), (ProgressRecord{r.map, 70, 512, {}}));
  v1[8] = 2;
  EXPECT_FALSE(DecodeProgress(v1));

  EXPECT_EQ(ProgressFileNameFor({"S/N: 12*34", 1}), "LBAMap_S_N__12_34.progress");
  EXPECT_EQ(ProgressFileNameFor({"", 1}), "LBAMap_disk.progress");
}

TEST(MapProgressRecord, AnotherMapsOrADamagedRecordIsPassedOver) {
  ::kestrune::testing::TempDir dir;
  const std::string first = platform::JoinPath(dir.path(), "first"),
                    second = platform::JoinPath(dir.path(), "second");
  std::filesystem::create_directories(platform::FsPath(first));
  std::filesystem::create_directories(platform::FsPath(second));
  const std::vector<uint8_t> mapFile = {1, 2, 3, 4, 5};
  const MapIdentity mine = IdentityOf(mapFile), other = IdentityOf(std::vector<uint8_t>{1, 2, 3, 4, 6});
  ASSERT_NE(mine, other);
  auto put = [](const std::string& folder, std::vector<uint8_t> bytes) {
    ASSERT_TRUE(platform::WriteWholeFile(platform::JoinPath(folder, kProgressFileName), bytes));
  };
  const ProgressDisk disk{"SER1", 1 << 30}, otherDisk{"SER2", 1 << 30};
  EXPECT_FALSE(FindProgressRecord({first, second}, mine, disk));
  put(first, EncodeProgress({other, 1, 2, disk}));
  put(second, EncodeProgress({mine, 3, 4, disk}));
  EXPECT_EQ(FindProgressRecord({first, second}, mine, disk), (ProgressRecord{mine, 3, 4, disk}));
  EXPECT_FALSE(FindProgressRecord({first, second}, mine, otherDisk));
  std::vector<uint8_t> damaged = EncodeProgress({mine, 5, 6, disk});
  damaged[30] ^= 1;
  put(second, damaged);
  EXPECT_FALSE(FindProgressRecord({first, second}, mine, disk));
  put(first, EncodeProgress({mine, 7, 8, disk}));
  EXPECT_EQ(FindProgressRecord({first, second}, mine, disk), (ProgressRecord{mine, 7, 8, disk}));
  // Beside the map each disk has a record of its own name; a record without a disk fits any.
  ASSERT_TRUE(platform::WriteWholeFile(platform::JoinPath(second, ProgressFileNameFor(otherDisk)),
                                       EncodeProgress({mine, 9, 10, otherDisk})));
  EXPECT_EQ(FindProgressRecord({second}, mine, otherDisk), (ProgressRecord{mine, 9, 10, otherDisk}));
  put(second, EncodeProgress({mine, 11, 12}));
  EXPECT_EQ(FindProgressRecord({second}, mine, disk), (ProgressRecord{mine, 11, 12}));
}

// The record is saved before any entry past its horizon is issued, and the horizon then lies past
// that entry; a horizon that must move again within a second moves twice as far.
TEST(MapProgressRecord, TheHorizonIsWrittenAheadOfEveryIssue) {
  std::vector<ProgressRecord> saved;
  bool saves = true;
  ProgressJournal journal({10, 20}, {}, 2000, [&](std::span<const uint8_t> bytes) {
    saved.push_back(*DecodeProgress(bytes));
    return saves;
  });
  EXPECT_TRUE(journal.BeforeIssue(0, 0, 0));
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved.back().horizon, 256u);
  EXPECT_EQ(saved.back().map, (MapIdentity{10, 20}));
  for (uint64_t i = 1; i < 256; ++i) EXPECT_TRUE(journal.BeforeIssue(i, 0, 10));
  EXPECT_EQ(saved.size(), 1u);
  EXPECT_TRUE(journal.BeforeIssue(256, 40, 500));  // within the second: a step of 512
  EXPECT_EQ(saved.back(), (ProgressRecord{{10, 20}, 40, 768}));
  journal.Tick(50, 900);  // a second has not passed since the last save
  EXPECT_EQ(saved.size(), 2u);
  journal.Tick(60, 1600);
  EXPECT_EQ(saved.back(), (ProgressRecord{{10, 20}, 60, 768}));
  journal.Tick(60, 5000);  // nothing moved
  EXPECT_EQ(saved.size(), 3u);
  EXPECT_TRUE(journal.BeforeIssue(768, 60, 9000));  // seconds later: the step stays
  EXPECT_EQ(saved.back().horizon, 1280u);
  saves = false;
  EXPECT_FALSE(journal.BeforeIssue(1280, 60, 9100));  // the entry must not go out
  EXPECT_EQ(journal.record().horizon, 1280u);
  saves = true;
  const size_t before = saved.size();
  EXPECT_TRUE(journal.BeforeIssue(1280, 60, 20000));  // tried again, and saved
  EXPECT_EQ(saved.size(), before + 1);
  EXPECT_EQ(saved.back().horizon, 2000u);  // never past the map's end
  EXPECT_TRUE(journal.Finish(1500, 1700));
  EXPECT_EQ(saved.back(), (ProgressRecord{{10, 20}, 1500, 1700}));
}

TEST(TrimPromise, DlfeatAndIdentifyWord69) {
  EXPECT_EQ(NvmeTrimPromise(0x00), TrimPromise::kZerosOrOnes);
  EXPECT_EQ(NvmeTrimPromise(0x01), TrimPromise::kZeros);
  EXPECT_EQ(NvmeTrimPromise(0x09), TrimPromise::kZeros);  // bit 3 (deallocate in Write Zeroes) aside
  EXPECT_EQ(NvmeTrimPromise(0x02), TrimPromise::kOnes);
  EXPECT_EQ(NvmeTrimPromise(0x03), TrimPromise::kZerosOrOnes);  // reserved value
  EXPECT_EQ(AtaTrimPromise(0x4020), TrimPromise::kZeros);
  EXPECT_EQ(AtaTrimPromise(0x4000), TrimPromise::kZerosOrOnes);  // deterministic, value unnamed
  EXPECT_EQ(AtaTrimPromise(0x0020), TrimPromise::kZerosOrOnes);  // zeros without determinism
}

}  // namespace
}  // namespace kestrune::workloads
