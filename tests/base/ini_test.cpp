// The INI module: reading by the profile-file rules, and writing that changes one entry only.
#include "base/ini.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/text.h"
#include "base/unicode.h"
#include "platform/files.h"
#include "support/fake_host.h"

namespace kestrune::base {
namespace {

TEST(IniReadTest, ProfileFileRules) {
  IniFile ini = IniFile::Parse(
      "orphan=before any section\r\n"
      "[LogData]\r\n"
      "  ErrCode = 0x12  \r\n"
      "; ErrDesc=commented out\r\n"
      "ErrDesc=\"quoted text\"\r\n"
      "errcode=second, never read\r\n"
      "no equals sign here\r\n"
      "[ logdata ]\r\n"
      "Extra=from the second section\r\n"
      "[Open\n"
      "Key=in a header without ]\n");
  EXPECT_EQ(ini.Get("LOGDATA", "errCODE"), "0x12");
  EXPECT_EQ(ini.Get("LogData", "ErrDesc"), "quoted text");
  EXPECT_EQ(ini.Get("LogData", "Extra"), "from the second section");
  EXPECT_EQ(ini.Get("Open", "Key"), "in a header without ]");
  EXPECT_EQ(ini.Get("LogData", "orphan"), std::nullopt);
  EXPECT_EQ(ini.Get("LogData", "; ErrDesc"), std::nullopt);
  EXPECT_EQ(ini.GetInt("LogData", "Missing", -7), -7);
}

struct SetCase {
  const char* name;
  std::string_view before;
  std::string_view section;
  std::string_view key;
  std::string_view value;
  std::string_view after;
};

// clang-format off
const SetCase kSetCases[] = {
  {"replaces the value, keeping the key's spelling and spacing",
   "[LogData]\r\nErrCode = 1\r\nErrDesc=x\r\n", "logdata", "ERRCODE", "2",
   "[LogData]\r\nErrCode = 2\r\nErrDesc=x\r\n"},
  {"replaces the first entry, as reading takes the first",
   "[A]\r\nk=1\r\n[a]\r\nK=2\r\n", "A", "k", "9",
   "[A]\r\nk=9\r\n[a]\r\nK=2\r\n"},
  {"finds the key in a later section of the same name",
   "[A]\r\nx=1\r\n[B]\r\n[A]\r\nk=2\r\n", "a", "K", "3",
   "[A]\r\nx=1\r\n[B]\r\n[A]\r\nk=3\r\n"},
  {"adds a key after the last entry of its section, before blank lines and comments",
   "[A]\r\nx=1\r\n\r\n; next\r\n[B]\r\ny=2\r\n", "A", "New", "v",
   "[A]\r\nx=1\r\nNew=v\r\n\r\n; next\r\n[B]\r\ny=2\r\n"},
  {"adds a key right after the header of an empty section",
   "[A]\r\n[B]\r\n", "A", "k", "v",
   "[A]\r\nk=v\r\n[B]\r\n"},
  {"does not take a commented-out key",
   "[A]\r\n;k=old\r\n", "A", "k", "v",
   "[A]\r\nk=v\r\n;k=old\r\n"},
  {"appends a missing section",
   "; settings\r\n[A]\r\nx=1\r\n", "New", "k", "v",
   "; settings\r\n[A]\r\nx=1\r\n[New]\r\nk=v\r\n"},
  {"ends an unterminated last line first",
   "[A]\r\nx=1", "A", "k", "v",
   "[A]\r\nx=1\r\nk=v"},
  {"keeps LF line ends",
   "[A]\nx=1\n", "B", "k", "v",
   "[A]\nx=1\n[B]\nk=v\n"},
  {"starts an empty text with CR LF lines",
   "", " LogData ", " ErrCode ", "0x0",
   "[LogData]\r\nErrCode=0x0\r\n"},
  {"ignores keys before the first section",
   "k=outside\r\n", "A", "k", "v",
   "k=outside\r\n[A]\r\nk=v\r\n"},
  {"writes an empty value",
   "[A]\r\nk=1\r\n", "A", "k", "",
   "[A]\r\nk=\r\n"},
};
// clang-format on

TEST(IniWriteTest, SetIniValueChangesOneEntryOnly) {
  for (const SetCase& c : kSetCases) {
    SCOPED_TRACE(c.name);
    std::string after = SetIniValue(c.before, c.section, c.key, c.value);
    EXPECT_EQ(after, c.after);
    // Whatever was written reads back.
    EXPECT_EQ(IniFile::Parse(after).Get(Trim(c.section), Trim(c.key)), std::string(c.value));
  }
}

TEST(IniWriteTest, EntriesThatCannotBeReadBackAreRefused) {
  EXPECT_TRUE(IsStorableIniEntry("LogData", "ErrCode", "any value; with = and ] inside"));
  EXPECT_FALSE(IsStorableIniEntry("", "k", "v"));
  EXPECT_FALSE(IsStorableIniEntry("A", "  ", "v"));
  EXPECT_FALSE(IsStorableIniEntry("A]", "k", "v"));
  EXPECT_FALSE(IsStorableIniEntry("A", "k=1", "v"));
  EXPECT_FALSE(IsStorableIniEntry("A", ";k", "v"));
  EXPECT_FALSE(IsStorableIniEntry("A", "[k", "v"));
  EXPECT_FALSE(IsStorableIniEntry("A", "k", "two\r\nlines"));
  EXPECT_FALSE(IsStorableIniEntry("A\n", "k", "v"));
}

class IniFileWriteTest : public ::testing::Test {
 protected:
  std::string Path(std::string_view name) { return platform::JoinPath(dir.path(), name); }
  std::string Bytes(const std::string& path) {
    auto b = platform::ReadWholeFile(path);
    return b ? std::string(b->begin(), b->end()) : "<missing>";
  }
  void Put(const std::string& path, std::string_view bytes) {
    ASSERT_TRUE(
        platform::WriteWholeFile(path, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}));
  }
  testing::TempDir dir;
};

TEST_F(IniFileWriteTest, KeepsTheFilesEncoding) {
  std::string utf16 = Path("wide.ini");
  Put(utf16, "\xFF\xFE" + Utf16Le("; Gr\xC3\xBC\xC3\x9F"
                                  "e\r\n[LogData]\r\nErrCode=1\r\n"));
  ASSERT_EQ(WriteIniValue(utf16, "LogData", "ErrDesc", "\xE2\x9C\x93 ok"), IniWrite::kOk);
  EXPECT_EQ(Bytes(utf16), "\xFF\xFE" + Utf16Le("; Gr\xC3\xBC\xC3\x9F"
                                               "e\r\n[LogData]\r\nErrCode=1\r\nErrDesc=\xE2\x9C\x93 ok\r\n"));
  EXPECT_EQ(IniFile::Load(utf16)->Get("logdata", "errdesc"), "\xE2\x9C\x93 ok");

  std::string bom = Path("bom.ini");
  Put(bom, "\xEF\xBB\xBF[A]\r\nk=1\r\n");
  ASSERT_EQ(WriteIniValue(bom, "A", "k", "2"), IniWrite::kOk);
  EXPECT_EQ(Bytes(bom), "\xEF\xBB\xBF[A]\r\nk=2\r\n");

  // Bytes that are not UTF-8 (an ANSI file) stay exactly as they were.
  std::string ansi = Path("ansi.ini");
  Put(ansi, "[A]\r\nname=caf\xE9\r\n");
  ASSERT_EQ(WriteIniValue(ansi, "A", "k", "v"), IniWrite::kOk);
  EXPECT_EQ(Bytes(ansi), "[A]\r\nname=caf\xE9\r\nk=v\r\n");
}

TEST_F(IniFileWriteTest, CreatesAMissingFileAndLeavesNoTemporaryFiles) {
  std::string path = Path("new.ini");
  ASSERT_EQ(WriteIniValue(path, "LogData", "ErrCode", "000000", true), IniWrite::kOk);
  ASSERT_EQ(WriteIniValue(path, "LogData", "ErrDesc", ""), IniWrite::kOk);
  EXPECT_EQ(Bytes(path), "[LogData]\r\nErrCode=000000\r\nErrDesc=\r\n");
  EXPECT_EQ(platform::ListFiles(dir.path()), std::vector<std::string>{"new.ini"});
}

TEST_F(IniFileWriteTest, FailuresLeaveTheFileAlone) {
  std::string path = Path("keep.ini");
  Put(path, "[A]\r\nk=1\r\n");
  EXPECT_EQ(WriteIniValue(path, "A", "k", "two\nlines"), IniWrite::kBadEntry);
  EXPECT_EQ(Bytes(path), "[A]\r\nk=1\r\n");

  EXPECT_EQ(WriteIniValue(Path("no such folder/x.ini"), "A", "k", "v"), IniWrite::kFileFailed);
  std::filesystem::create_directory(Path("folder.ini"));
  EXPECT_EQ(WriteIniValue(Path("folder.ini"), "A", "k", "v"), IniWrite::kFileFailed);
  EXPECT_TRUE(platform::FolderExists(Path("folder.ini")));
  EXPECT_EQ(platform::ListFiles(dir.path()), std::vector<std::string>{"keep.ini"});
}

}  // namespace
}  // namespace kestrune::base
