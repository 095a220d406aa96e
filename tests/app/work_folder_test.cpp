#include "app/work_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/fake_host.h"

namespace kestrune::app {
namespace {

TEST(WorkFolder, NameRule) {
  EXPECT_EQ(CleanBaseName("C:\\tools\\my tool-2.exe"), "my_tool_2");
  EXPECT_EQ(CleanBaseName("/usr/bin/kestrune"), "kestrune");
  EXPECT_EQ(CleanBaseName("a.b.exe"), "a_b");
  platform::LocalTime t{2026, 1, 2, 3, 4, 5, 0};
  EXPECT_EQ(WorkFolderName("my_tool_2", t, 77), "my_tool_2_030405_77");
}

TEST(WorkFolder, CreatedBelowTheTemporaryFolder) {
  testing::TempDir tmp;
  testing::FakeHost host;
  host.tempFolder = tmp.path();
  host.programPath = "/x/my tool-2.exe";
  std::string folder = PrepareWorkFolder(host);
  EXPECT_EQ(folder, tmp.path() + "/KestruneLite/my_tool_2_090507_4242");
  EXPECT_TRUE(std::filesystem::is_directory(folder));
}

}  // namespace
}  // namespace kestrune::app
