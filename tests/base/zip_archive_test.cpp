#include "base/zip_archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>

#include "base/bytes.h"
#include "platform/files.h"
#include "support/fake_host.h"

namespace kestrune::base {
namespace {

std::vector<ZipEntry> Sample() {
  return {{"ScriptInfo.ini", {'[', 'S', ']', '\n'}},
          {"sub/help.txt", std::vector<uint8_t>(5000, 'h')},  // compressible: deflated
          {"empty.txt", {}}};
}

std::string Extract(const std::vector<uint8_t>& zip, testing::TempDir& dir) {
  testing::FakeHost host;
  std::string error;
  return ExtractPackage(zip, dir.path(), host, error) ? "" : error;
}

TEST(ZipArchive, RoundTripStoredAndDeflated) {
  std::vector<uint8_t> zip = WriteZip(Sample(), true);
  EXPECT_EQ(0, std::memcmp(zip.data(), "VD\x03\x04", 4));
  std::vector<ZipEntry> back;
  std::string error;
  ASSERT_TRUE(ReadZip(zip, back, error)) << error;
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[1].name, "sub/help.txt");
  EXPECT_EQ(back[1].data, Sample()[1].data);

  testing::TempDir dir;
  EXPECT_EQ(Extract(zip, dir), "");
  EXPECT_EQ(std::filesystem::file_size(dir.path() + "/sub/help.txt"), 5000u);
  EXPECT_TRUE(std::filesystem::exists(dir.path() + "/empty.txt"));
}

TEST(ZipArchive, StandardSignatureIsRefused) {
  std::vector<ZipEntry> back;
  std::string error;
  EXPECT_FALSE(ReadZip(WriteZip(Sample(), false), back, error));
  EXPECT_NE(error.find("signature"), std::string::npos);
}

// Every damaged form fails with a message and writes nothing.
TEST(ZipArchive, DamagedPackagesWriteNothing) {
  std::vector<uint8_t> good = WriteZip(Sample(), true);
  struct Case {
    const char* what;
    std::vector<uint8_t> zip;
  };
  std::vector<Case> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"truncated", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2)});
  std::vector<uint8_t> crc = good;
  crc[30 + std::string("ScriptInfo.ini").size()] ^= 0xFF;  // first data byte of the first (stored) entry
  cases.push_back({"crc", crc});
  cases.push_back({"absolute", WriteZip({{"/etc/evil", {1}}}, true)});
  cases.push_back({"drive", WriteZip({{"C:\\evil", {1}}}, true)});
  cases.push_back({"dotdot", WriteZip({{"a/../../evil", {1}}}, true)});
  cases.push_back({"backslash dotdot", WriteZip({{"..\\evil", {1}}}, true)});
  std::vector<uint8_t> huge = WriteZip({{"big", {1, 2, 3}}}, true);
  // Claim an uncompressed size beyond the bound in the central directory.
  size_t central = huge.size() - 22 - (46 + 3);
  base::PutLe32(&huge[central + 24], static_cast<uint32_t>(kMaxEntryBytes + 1));
  cases.push_back({"huge", huge});
  std::vector<uint8_t> lying = WriteZip({{"a.txt", std::vector<uint8_t>(3000, 'a')}}, true);
  size_t central2 = lying.size() - 22 - (46 + 5);
  base::PutLe32(&lying[central2 + 24], 2000);  // inflates to more than it claims
  cases.push_back({"size mismatch", lying});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempDir dir;
    EXPECT_NE(Extract(c.zip, dir), "");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  }
}

}  // namespace
}  // namespace kestrune::base

namespace kestrune::base {
namespace {

// Archives on disk, read through ListZipFile and streamed by ExtractZipEntryToFile.
class ZipFileTest : public ::testing::Test {
 protected:
  std::string Put(const std::vector<uint8_t>& zip, const std::string& name = "a.zip") {
    const std::string path = dir.path() + "/" + name;
    EXPECT_TRUE(platform::WriteWholeFile(path, zip));
    return path;
  }
  // The entry's bytes as extracted, or nullopt with error set.
  std::optional<std::vector<uint8_t>> Extract(const std::vector<uint8_t>& zip, std::string_view entry,
                                              std::string& error, const ZipProgress& progress = {}) {
    const std::string out = dir.path() + "/out.bin";
    if (!ExtractZipEntryToFile(Put(zip), entry, out, error, progress)) return std::nullopt;
    return platform::ReadWholeFile(out);
  }
  testing::TempDir dir;
};

// Bytes that deflate poorly (stored) and well (deflated), larger than one streamed piece.
std::vector<ZipEntry> TraceEntries() {
  std::vector<uint8_t> noise(300000);
  uint32_t x = 12345;
  for (uint8_t& b : noise) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 24);
  std::string text;
  for (int i = 0; i < 40000; ++i) text += "$write " + std::to_string(i * 8) + " 8\n";
  return {{"noise.bin", noise}, {"dir/trace.txt", std::vector<uint8_t>(text.begin(), text.end())}};
}

TEST_F(ZipFileTest, EitherSignatureWithOrWithoutZip64Streams) {
  const std::vector<ZipEntry> entries = TraceEntries();
  struct Case {
    const char* what;
    bool package;
    bool zip64;
  };
  for (const Case c : {Case{"standard", false, false}, Case{"standard zip64", false, true},
                       Case{"package", true, false}, Case{"package zip64", true, true}}) {
    SCOPED_TRACE(c.what);
    const std::vector<uint8_t> zip = WriteZip(entries, c.package, c.zip64);
    if (!c.package) EXPECT_EQ(0, std::memcmp(zip.data(), "PK\x03\x04", 4));
    std::vector<ZipEntryInfo> listed;
    std::string error;
    ASSERT_TRUE(ListZipFile(Put(zip), listed, error)) << error;
    ASSERT_EQ(listed.size(), 2u);
    // Sizes and offsets come from the ZIP64 fields when the header's are saturated.
    EXPECT_EQ(listed[0].size, entries[0].data.size());
    EXPECT_EQ(listed[0].method, 0);
    EXPECT_EQ(listed[1].size, entries[1].data.size());
    EXPECT_EQ(listed[1].method, 8);
    EXPECT_EQ(listed[1].localOffset, 30 + 9 + (c.zip64 ? 20 : 0) + entries[0].data.size());
    for (const ZipEntry& e : entries) {
      std::optional<std::vector<uint8_t>> got = Extract(zip, e.name, error);
      ASSERT_TRUE(got) << error;
      EXPECT_EQ(*got, e.data);
    }
    // The package reader takes ZIP64 too, and still only its own signature.
    std::vector<ZipEntry> back;
    EXPECT_EQ(ReadZip(zip, back, error), c.package) << error;
  }
}

TEST_F(ZipFileTest, ProgressCountsUpAndCanStop) {
  const std::vector<ZipEntry> entries = TraceEntries();
  const std::vector<uint8_t> zip = WriteZip(entries, false);
  std::vector<uint64_t> seen;
  std::string error;
  ASSERT_TRUE(Extract(zip, "dir/trace.txt", error, [&](uint64_t done, uint64_t total) {
    EXPECT_EQ(total, entries[1].data.size());
    seen.push_back(done);
    return true;
  }));
  ASSERT_GT(seen.size(), 1u) << "streamed in pieces";
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(seen.back(), entries[1].data.size());
  EXPECT_FALSE(Extract(zip, "dir/trace.txt", error, [](uint64_t, uint64_t) { return false; }));
  EXPECT_NE(error.find("cancelled"), std::string::npos) << error;
}

// Damaged and hostile archives: each refused with its own reason, never a crash.
TEST_F(ZipFileTest, DamagedAndHostileArchivesAreRefused) {
  const std::vector<ZipEntry> entries = TraceEntries();
  const std::vector<uint8_t> good = WriteZip(entries, false);
  const std::vector<uint8_t> good64 = WriteZip(entries, false, true);
  const size_t centralOfFirst = good.size() - 22 - (46 + 9) - (46 + 13);
  struct Case {
    const char* what;
    std::vector<uint8_t> zip;
    const char* entry;
    const char* says;
  };
  std::vector<Case> cases;
  auto patched = [](std::vector<uint8_t> zip, size_t at, uint32_t value) {
    PutLe32(&zip[at], value);
    return zip;
  };
  std::vector<uint8_t> flipped = good;
  flipped[30 + 9 + 100] ^= 0x01;  // a byte of the stored entry
  cases.push_back({"crc mismatch", flipped, "noise.bin", "CRC-32"});
  std::vector<uint8_t> deflatedFlip = good;
  deflatedFlip[30 + 9 + entries[0].data.size() + 30 + 13 + 40] ^= 0xFF;
  cases.push_back({"deflate damage", deflatedFlip, "dir/trace.txt", "zip entry"});
  cases.push_back({"truncated", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2),
                   "noise.bin", "central directory"});
  cases.push_back({"missing entry", good, "other.txt", "holds no other.txt"});
  cases.push_back({"claims more than its data can inflate to",
                   patched(good, centralOfFirst + 46 + 9 + 24, 0x7FFFFFFF), "dir/trace.txt", "cannot hold"});
  cases.push_back({"claims less than it inflates to", patched(good, centralOfFirst + 46 + 9 + 24, 1000),
                   "dir/trace.txt", "more than its declared"});
  cases.push_back(
      {"stored sizes disagree", patched(good, centralOfFirst + 24, 10), "noise.bin", "cannot hold"});
  cases.push_back({"local header out of the file", patched(good, centralOfFirst + 42, 0x7FFFFFF0),
                   "noise.bin", "local header"});
  cases.push_back({"encrypted", patched(good, centralOfFirst + 8, 1), "noise.bin", "encrypted"});
  cases.push_back({"unsafe name", WriteZip({{"../evil.txt", {1, 2}}}, false), "../evil.txt", "unsafe"});
  // The directory claims more entries than the bound.
  std::vector<uint8_t> manyEntries = good;
  PutLe16(&manyEntries[manyEntries.size() - 22 + 10], 0xFFFE);
  cases.push_back({"entry count", manyEntries, "noise.bin", "central directory"});
  // A saturated end record without the ZIP64 records it needs.
  std::vector<uint8_t> noLocator = good64;
  noLocator.erase(noLocator.end() - 22 - 20, noLocator.end() - 22);
  cases.push_back({"zip64 without locator", noLocator, "noise.bin", "ZIP64"});
  // A locator that points past itself.
  cases.push_back({"zip64 locator out of bounds", patched(good64, good64.size() - 22 - 20 + 8, 0x7FFFFFF0),
                   "noise.bin", "ZIP64 end record"});
  // A ZIP64 extra field too short for the saturated sizes.
  std::vector<uint8_t> shortExtra = good64;
  const size_t central64 = good64.size() - 22 - 20 - 56 - (46 + 9 + 28) - (46 + 13 + 28);
  PutLe16(&shortExtra[central64 + 46 + 9 + 2], 8);
  cases.push_back({"zip64 extra too short", shortExtra, "noise.bin", "ZIP64 field"});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error;
    EXPECT_FALSE(Extract(c.zip, c.entry, error));
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace kestrune::base
