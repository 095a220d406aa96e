#include "app/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/zip_archive.h"
#include "engine/script_text.h"
#include "support/fake_host.h"

namespace kestrune::app {
namespace {

namespace fs = std::filesystem;
using base::WriteZip;
using base::ZipEntry;

std::vector<uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

std::vector<uint8_t> Scrambled(std::string_view script) {
  std::vector<uint8_t> bytes = Bytes(script);
  engine::ScrambleInPlace(bytes);
  return bytes;
}

constexpr std::string_view kInfo = "[SCRIPTINFO]\r\nStyle=30\r\nTITLE=Bench Tool\r\nSOCID=_WithOutDrv\r\n";

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.tempFolder = tmp.path();
    host.programPath = tmp.path() + "/bin/kestrune";
  }

  int Run(std::vector<std::string> args, std::vector<ZipEntry> package) {
    host.args = {"kestrune"};
    host.args.insert(host.args.end(), args.begin(), args.end());
    host.package = WriteZip(package, true);
    ++host.pid;  // every run is a new process with its own work folder
    return RunProgram(host);
  }

  std::string WorkFolder() {
    for (const auto& e : fs::directory_iterator(tmp.path() + "/KestruneLite")) return e.path().string();
    return {};
  }

  testing::TempDir tmp;
  testing::FakeHost host;
};

TEST_F(StartupTest, VersionAndDebugKernelLine) {
  EXPECT_EQ(Run({"--version"}, {{"ScriptInfo.ini", Bytes(kInfo)}, {"script.encode", Scrambled("")}}), 0);
  EXPECT_EQ(host.out, "Bench Tool " + std::string(50, ' ') + "\n");
  host.out.clear();
  EXPECT_EQ(Run({"--ver", "/debug"}, {{"ScriptInfo.ini", Bytes(kInfo)}, {"script.encode", Scrambled("")}}), 0);
  EXPECT_NE(host.out.find("Kernel: Kestrune 9.1.2.33-543\n"), std::string::npos);
}

TEST_F(StartupTest, RunsThePackageScriptAndMirrorsTheConsole) {
  std::string mirror = tmp.path() + "/run.log";
  int code = Run({"/outfile=" + mirror},
                 {{"ScriptInfo.ini", Bytes(kInfo)},
                  {"script.encode", Scrambled("Print( Output:\"hello\" );\r\nExit( ErrCode:7, ErrDesc:\"bye\" );\r\n")}});
  EXPECT_EQ(code, 7);
  EXPECT_EQ(host.out, "        hello\nbye\n");
  std::ifstream in(mirror, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), host.out);
}

TEST_F(StartupTest, ScriptArgumentRunsAPlainFile) {
  std::string script = tmp.path() + "/child.scpt";
  std::ofstream(script, std::ios::binary) << "Print( Output:\"from child\" );\r\n";
  EXPECT_EQ(Run({"SCRIPT:\"" + script + "\","}, {{"ScriptInfo.ini", Bytes(kInfo)}}), 0);
  EXPECT_EQ(host.out, "        from child\n");
}

TEST_F(StartupTest, MissingFilesFailLoudly) {
  EXPECT_EQ(Run({}, {{"ScriptInfo.ini", Bytes(kInfo)}}), kExitNoScript);
  EXPECT_NE(host.err.find("script.encode"), std::string::npos);
  host.err.clear();
  EXPECT_EQ(Run({}, {{"script.encode", Scrambled("")}}), kExitNoScript);
  EXPECT_NE(host.err.find("ScriptInfo.ini"), std::string::npos);
  host.err.clear();
  EXPECT_EQ(Run({"SCRIPT:" + tmp.path() + "/none.scpt"}, {{"ScriptInfo.ini", Bytes(kInfo)}}), kExitNoScript);
}

TEST_F(StartupTest, DamagedPackageStopsBeforeAnythingRuns) {
  host.args = {"kestrune"};
  host.package = WriteZip({{"../escape.txt", Bytes("x")}}, true);
  EXPECT_EQ(RunProgram(host), kExitBadPackage);
  EXPECT_NE(host.err.find("unsafe name"), std::string::npos);
  EXPECT_FALSE(fs::exists(tmp.path() + "/KestruneLite/escape.txt"));
  EXPECT_TRUE(fs::is_empty(WorkFolder()));
  host.package.clear();
  EXPECT_EQ(RunProgram(host), kExitBadPackage);
}

TEST_F(StartupTest, TargetThatMatchesNothing) {
  std::string info = "[SCRIPTINFO]\r\nStyle=30\r\n";
  EXPECT_EQ(Run({"/model/XYZ"}, {{"ScriptInfo.ini", Bytes(info)}, {"script.encode", Scrambled("")}}), kExitNotFound);
  EXPECT_EQ(host.out, "NO FOUND /MODEL/XYZ or Package restrictions cannot support this drive\n");
}

TEST_F(StartupTest, RemoteLoginWithoutTargetEndsQuietly) {
  host.remoteLogin = true;
  std::string info = "[SCRIPTINFO]\r\nStyle=30\r\n";
  EXPECT_EQ(Run({}, {{"ScriptInfo.ini", Bytes(info)}, {"script.encode", Scrambled("Print( Output:\"x\" );")}}), 0);
  EXPECT_EQ(host.out, "");
}

TEST_F(StartupTest, NoDiskCommandRunsWithoutATarget) {
  std::string info = "[SCRIPTINFO]\r\nStyle=30\r\nNoDiskCmd=--report,--x\r\n";
  EXPECT_EQ(Run({"--report"}, {{"ScriptInfo.ini", Bytes(info)}, {"script.encode", Scrambled("Print( Output:\"r\" );")}}),
            0);
  EXPECT_EQ(host.out, "        r\n");
}

TEST_F(StartupTest, WindowStyleFallsBackToTheConsoleAndSaysSo) {
  std::string info = "[SCRIPTINFO]\r\nStyle=0\r\nSOCID=_WithOutDrv\r\n";
  EXPECT_EQ(Run({}, {{"ScriptInfo.ini", Bytes(info)}, {"script.encode", Scrambled("Print( Output:\"w\" );")}}), 0);
  EXPECT_NE(host.err.find("console form"), std::string::npos);
  EXPECT_EQ(host.out, "        w\n");
}

TEST_F(StartupTest, HelpFallsBackToTheUsageSummary) {
  EXPECT_EQ(Run({"--help"}, {{"ScriptInfo.ini", Bytes(kInfo)}, {"script.encode", Scrambled("")}}), 0);
  EXPECT_NE(host.out.find("#Print screen by /outfile\n"), std::string::npos);
  EXPECT_NE(host.out.find("List all    : kestrune --list\n"), std::string::npos);
}

TEST_F(StartupTest, HelpFileHidesStarredLinesUnlessShowAll) {
  std::vector<ZipEntry> package = {{"ScriptInfo.ini", Bytes(kInfo)},
                                   {"script.encode", Scrambled("")},
                                   {"help.txt", Bytes("shown\r\n*hidden\nalso\r")}};
  EXPECT_EQ(Run({"--help"}, package), 0);
  EXPECT_NE(host.out.find("shown\nalso\n"), std::string::npos);
  EXPECT_EQ(host.out.find("hidden"), std::string::npos);
  host.out.clear();
  EXPECT_EQ(Run({"--help", "ShowAll:TRUE"}, package), 0);
  EXPECT_NE(host.out.find("shown\n hidden\nalso\n"), std::string::npos);
}

}  // namespace
}  // namespace kestrune::app
