#include "base/zip_archive.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/bytes.h"
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
