// The global variables between real instances: concurrent writers through the Linux host, and two
// runs of the program that meet in one block while this test keeps it mapped.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "engine/global_vars.h"
#include "recording_sink.h"
#include "support/fake_host.h"

namespace kestrune::engine {
namespace {

std::string TestBlock(std::string_view what) {
  return "kestrune_test_" + std::to_string(::getpid()) + "_" + std::string(what);
}

TEST(GlobalVarsSharedTest, ConcurrentWritersNeverTearAnEntry) {
  platform::Host& host = testing::SystemObjectsHost();
  const std::string block = TestBlock("tear");
  std::string why;
  auto first = GlobalVars::Open(host, block, why);
  auto second = GlobalVars::Open(host, block, why);  // an independent mapping, as another instance has
  ASSERT_TRUE(first && second) << why;
  const std::string as(511, 'a'), bs(511, 'b');
  std::atomic<int> torn{0};
  auto writer = [&](GlobalVars& g, const std::string& value) {
    RecordingSink sink;
    for (int i = 0; i < 1000; ++i) g.Set(host, sink, "Shared", value);
    EXPECT_TRUE(sink.reports.empty());
  };
  auto reader = [&] {
    RecordingSink sink;
    for (int i = 0; i < 1000; ++i) {
      std::string v = first->Get(host, sink, "Shared").value_or("?");
      if (!v.empty() && v != as && v != bs) ++torn;
    }
  };
  std::thread w1(writer, std::ref(*first), as), w2(writer, std::ref(*second), bs), r(reader);
  w1.join();
  w2.join();
  r.join();
  EXPECT_EQ(torn.load(), 0);
}

// Runs the program next to this test binary on a script, with the global block named block.
struct ProgramRun {
  std::string out;
  int code = -1;
};

class ProgramRunsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    program = (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "src" / "kestrune").string();
    if (!fs::exists(program)) GTEST_SKIP() << "program not built at " << program;
  }

  ProgramRun Run(const std::string& script) {
    std::string path = dir.path() + "/s" + std::to_string(runs++) + ".scpt";
    std::ofstream(path, std::ios::binary) << script;
    std::string command =
        "KESTRUNE_GLOBALVAR_NAME=" + block + " '" + program + "' 'SCRIPT:" + path + "' /sim '\\\\.\\PHYSICALDRIVE0' 2>/dev/null";
    ProgramRun run;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return run;
    char buf[512];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) run.out.append(buf, n);
    int status = ::pclose(p);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
  }

  const std::string kSet =
      "SetGlobalVar( Var:\"Gi\", Value:4711 );\r\n"
      "SetGlobalVar( Var:\"Hex\", Value:0x1F );\r\n"
      "SetGlobalVar( Var:\"Txt\", Value:\"a b\" );\r\n";
  const std::string kGet =
      "x = GetGlobalVar( Var:\"gI\" );\r\n"
      "y = x + 1;\r\n"
      "Print( Output:y );\r\n"
      "h = GetGlobalVar( Var:\"HEX\" );\r\n"
      "h = h + 1;\r\n"
      "Print( Output:h );\r\n"
      "t = GetGlobalVar( Var:\"txt\" );\r\n"
      "Print( Output:\"[\" + t + \"]\" );\r\n";

  std::string program;
  testing::TempDir dir;
  std::string block = TestBlock("program");
  int runs = 0;
};

TEST_F(ProgramRunsTest, AValueStoredByOneRunIsReadByTheNext) {
  std::string why;
  auto holder = testing::SystemObjectsHost().OpenSharedBlock(block, kGlobalVarBlockBytes, why);
  ASSERT_TRUE(holder) << why;
  ProgramRun set = Run(kSet);
  EXPECT_EQ(set.code, 0) << set.out;
  GlobalVarTable table(holder->Bytes());
  EXPECT_EQ(table.EntryName(0), "Gi");
  EXPECT_EQ(table.EntryValue(0), "4711");
  EXPECT_EQ(table.EntryValue(1), "0x0000001F");
  EXPECT_EQ(table.EntryValue(2), "a b");

  ProgramRun get = Run(kGet);
  EXPECT_EQ(get.code, 0);
  EXPECT_EQ(get.out, "        4712\n        0x20\n        [a b]\n");
}

TEST_F(ProgramRunsTest, NothingSurvivesWhenNoInstanceHoldsTheBlock) {
  EXPECT_EQ(Run(kSet).code, 0);
  ProgramRun get = Run(kGet);
  EXPECT_EQ(get.code, 0);
  EXPECT_EQ(get.out, "        1\n        1\n        []\n");
}

TEST_F(ProgramRunsTest, AFullTableStopsTheRunWithAReport) {
  std::string why;
  auto holder = testing::SystemObjectsHost().OpenSharedBlock(block, kGlobalVarBlockBytes, why);
  ASSERT_TRUE(holder) << why;
  std::string script;
  for (int i = 0; i < 11; ++i) script += "SetGlobalVar( Var:\"G" + std::to_string(i) + "\", Value:1 );\r\n";
  ProgramRun run = Run(script);
  EXPECT_EQ(run.code, 254);
  EXPECT_NE(run.out.find("No free global variable for G10: all 10 entries hold other names"),
            std::string::npos)
      << run.out;
}

}  // namespace
}  // namespace kestrune::engine
