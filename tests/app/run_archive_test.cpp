// The debug archive of a windowed run: the log folder's files and the script, packed and scrambled
// into the program's folder.
#include "app/run_archive.h"

#include <gtest/gtest.h>

#include <fstream>

#include "base/zip_archive.h"
#include "engine/script_text.h"
#include "platform/files.h"
#include "support/fake_host.h"

namespace kestrune::app {
namespace {

TEST(RunArchive, TheLogFolderAndTheScriptScrambledIntoTheProgramFolder) {
  testing::TempDir dir;
  const std::string log = platform::JoinPath(dir.path(), "kestrune_101010_7");
  const std::string program = platform::JoinPath(dir.path(), "bin");
  ASSERT_TRUE(platform::CreateNewFolder(log));
  ASSERT_TRUE(platform::CreateNewFolder(program));
  ASSERT_TRUE(platform::CreateNewFolder(platform::JoinPath(log, "simlab")));  // folders stay out
  std::ofstream(platform::JoinPath(log, "TestLog.htm")) << "<html>";
  std::ofstream(platform::JoinPath(dir.path(), "run.scpt")) << "Print( Output:\"x\" );";

  std::string why;
  const std::string archive = WriteRunArchive(platform::JoinPath(dir.path(), "run.scpt"), log, program, why);
  ASSERT_EQ(archive, platform::JoinPath(program, "kestrune_101010_7.datx")) << why;
  EXPECT_TRUE(platform::FileExists(platform::JoinPath(log, "run.scpt")));
  EXPECT_FALSE(platform::FileExists(platform::JoinPath(program, "kestrune_101010_7.zip")));

  std::vector<uint8_t> bytes = *platform::ReadWholeFile(archive);
  engine::ScrambleInPlace(bytes);
  const std::string plain = platform::JoinPath(dir.path(), "plain.zip");
  ASSERT_TRUE(platform::WriteWholeFile(plain, bytes));
  std::vector<base::ZipEntryInfo> entries;
  ASSERT_TRUE(base::ListZipFile(plain, entries, why)) << why;
  std::vector<std::string> names;
  for (const base::ZipEntryInfo& e : entries) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"TestLog.htm", "run.scpt"}));
}

TEST(RunArchive, AnUnwritableProgramFolderIsSaid) {
  testing::TempDir dir;
  std::string why;
  EXPECT_EQ(WriteRunArchive(platform::JoinPath(dir.path(), "none.scpt"), dir.path(),
                            platform::JoinPath(dir.path(), "missing/folder"), why),
            "");
  EXPECT_NE(why.find("cannot write the run archive"), std::string::npos);
}

}  // namespace
}  // namespace kestrune::app
