#include "app/script_info.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/fake_host.h"

namespace kestrune::app {
namespace {

TEST(ScriptInfo, KeysDefaultsAndCase) {
  ScriptInfo info = ReadScriptInfo(base::IniFile::Parse(
      "[scriptinfo]\r\nstyle = 31\r\nTITLE=My Test\r\nDiskType=drive\r\nProtocolType=nvme\r\n"
      "SOCID=_WithOutDrv\r\nDebugLogDATX=2\r\nNoDiskCmd=--a,--b\r\nStyle=10\r\n"));
  EXPECT_EQ(info.style, 31);  // first match wins
  EXPECT_EQ(info.title, "My Test");
  EXPECT_EQ(info.diskKindWanted, 0);
  EXPECT_EQ(info.protocolWanted, 2);
  EXPECT_EQ(info.socId, "_WithOutDrv");
  EXPECT_EQ(info.debugLogDatx, 2);

  ScriptInfo empty = ReadScriptInfo(base::IniFile::Parse(""));
  EXPECT_EQ(empty.style, 0);
  EXPECT_EQ(empty.diskKindWanted, 1);
  EXPECT_EQ(empty.protocolWanted, 0);
  EXPECT_EQ(ReadScriptInfo(base::IniFile::Parse("[SCRIPTINFO]\nProtocolType=USB\n")).protocolWanted, 0);
}

TEST(ScriptInfo, CaptionFromTheFirstScriptFileWhenNoTitle) {
  testing::TempDir dir;
  std::ofstream(dir.path() + "/zz_last.scpx").put('x');
  std::ofstream(dir.path() + "/Burn_In_Test.scpt").put('x');
  std::ofstream(dir.path() + "/notes.scp").put('x');  // no character after ".scp"
  ScriptInfo info;
  EXPECT_EQ(CaptionFor(info, dir.path()), "Burn In Test");
  info.title = "Given";
  EXPECT_EQ(CaptionFor(info, dir.path()), "Given");
}

TEST(ScriptInfo, NoDiskCommands) {
  EXPECT_TRUE(InitCommandNeedsNoDisk("--a", "--a,--b"));
  EXPECT_TRUE(InitCommandNeedsNoDisk("--b", "--a,--b"));
  EXPECT_FALSE(InitCommandNeedsNoDisk("--", "--ab"));
  EXPECT_FALSE(InitCommandNeedsNoDisk("", "--a"));
  EXPECT_FALSE(InitCommandNeedsNoDisk("--c", "--a,--b"));
}

}  // namespace
}  // namespace kestrune::app
