// Start-again registrations: the folder keeps them in the order they were made (an update keeps
// its place), and on Linux the unit of each passes systemd-analyze verify.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/files.h"
#include "platform/registration_folder.h"
#include "support/fake_host.h"
#ifndef _WIN32
#include "platform/linux/autorun_unit.h"
#include "platform/process.h"
#endif

namespace kestrune::platform {
namespace {

TEST(RegistrationFolderTest, KeepsTheOrderMadeAndRefusesWhatCannotBeStored) {
  testing::TempDir dir;
  RegistrationFolder folder(JoinPath(dir.path(), "autorun"));
  std::string why;
  std::vector<AutoStartEntry> list;
  ASSERT_TRUE(folder.List(list, why));  // no folder yet: nothing registered
  EXPECT_TRUE(list.empty());
  ASSERT_TRUE(folder.Write("AutoRunOnStartup_9", "/p", "u", R"(SCRIPT:"a b", FRAME:9/1)", why)) << why;
  ASSERT_TRUE(folder.Write("AutoRunOnStartup_10", "/p", "u", "x", why)) << why;
  ASSERT_TRUE(folder.Write("AutoRunOnStartup_2", "/p", "u", "y", why)) << why;
  ASSERT_TRUE(folder.Write("AutoRunOnStartup_9", "/p", "u", R"(SCRIPT:"a b", FRAME:9/2)", why)) << why;
  ASSERT_TRUE(folder.List(list, why));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].name, "AutoRunOnStartup_9");
  EXPECT_EQ(list[0].arguments, R"(SCRIPT:"a b", FRAME:9/2)");
  EXPECT_EQ(list[1].name, "AutoRunOnStartup_10");
  EXPECT_EQ(list[2].name, "AutoRunOnStartup_2");
  ASSERT_TRUE(folder.Remove("AutoRunOnStartup_10", why));
  ASSERT_TRUE(folder.Remove("AutoRunOnStartup_10", why));  // already gone
  ASSERT_TRUE(folder.List(list, why));
  EXPECT_EQ(list.size(), 2u);
  for (const char* name : {"../x", "a b", ""}) EXPECT_FALSE(folder.Write(name, "/p", "u", "x", why)) << name;
  EXPECT_FALSE(folder.Write("Ok", "/p", "u", "two\r\nlines", why));
}

#ifndef _WIN32
TEST(AutorunUnitTest, NamesAndRefusals) {
  EXPECT_EQ(AutorunUnitName("AutoRunOnStartup_4711"), "kestrune-autorun-4711.service");
  EXPECT_EQ(AutorunUnitName("AutoRunOnStartup"), "kestrune-autorun-AutoRunOnStartup.service");
  for (const char* program : {"relative/kestrune", "/a\"b", "/a\nb", "/a%b"})
    EXPECT_FALSE(AutorunUnitText("AutoRunOnStartup_1", program, "root")) << program;
  std::optional<std::string> unit = AutorunUnitText("AutoRunOnStartup_1", "/usr/bin/kestrune", "root");
  ASSERT_TRUE(unit);
  EXPECT_NE(unit->find("ExecStart=\"/usr/bin/kestrune\" --autorun=1\n"), std::string::npos);
  EXPECT_NE(unit->find("WantedBy=multi-user.target\n"), std::string::npos);
}

// systemd's own checker reads the unit as the next boot would (run only where it is installed).
TEST(AutorunUnitTest, PassesSystemdAnalyzeVerify) {
  const std::string analyze = "/usr/bin/systemd-analyze";
  if (!FileExists(analyze)) GTEST_SKIP() << "systemd-analyze is not installed";
  testing::TempDir dir;
  const std::string program = Utf8Path(std::filesystem::read_symlink("/proc/self/exe"));
  std::optional<std::string> unit = AutorunUnitText("AutoRunOnStartup_77", program, "root");
  ASSERT_TRUE(unit);
  const std::string path = JoinPath(dir.path(), "kestrune-autorun-77.service");
  ASSERT_TRUE(WriteWholeFile(path, {reinterpret_cast<const uint8_t*>(unit->data()), unit->size()}));
  std::string error;
  std::unique_ptr<Process> p = DefaultProcessLauncher().Start(analyze, {analyze, "verify", path}, dir.path(), error);
  ASSERT_TRUE(p) << error;
  EXPECT_EQ(p->Wait(nullptr), 0) << *unit;
}
#endif

}  // namespace
}  // namespace kestrune::platform
