// The GlobalVar block: entry layout, the locked table operations and the three commands, on the
// fake host's in-process blocks and locks.
#include "engine/global_vars.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "base/bytes.h"
#include "engine/executor.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "recording_sink.h"
#include "support/fake_host.h"
#include "support/statement_runner.h"

namespace kestrune::engine {

using base::GetLe16;
using base::PutLe16;

namespace {

using Reports = std::vector<std::pair<int32_t, std::string>>;

// A block name no other test uses: the fake namespace lives as long as the test process.
std::string FreshBlockName() {
  static int counter = 0;
  return "GlobalVarTest" + std::to_string(counter++);
}

std::string Repeat(std::string_view s, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

TEST(GlobalVarTableTest, EntriesAreUtf16AtFixedOffsets) {
  std::vector<uint8_t> bytes(kGlobalVarBlockBytes, 0);
  GlobalVarTable table(bytes);
  table.Write(3, "Gi", "4711");
  const uint8_t* name = bytes.data() + 3 * 1152;
  const uint8_t* value = name + 128;
  EXPECT_EQ(GetLe16(name), 'G');
  EXPECT_EQ(GetLe16(name + 2), 'i');
  EXPECT_EQ(GetLe16(name + 4), 0);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(GetLe16(value + 2 * i), "4711"[i]);
  EXPECT_EQ(GetLe16(value + 8), 0);
  size_t nonZero = 0;
  for (uint8_t b : bytes) nonZero += b != 0;
  EXPECT_EQ(nonZero, 6u) << "only entry 3 is written";

  table.Write(0,
              "Temp\xC2\xB0"
              "C",
              "\xE6\xB8\xA9\xE5\xBA\xA6 \xF0\x9F\x98\x80");  // BMP and a surrogate pair
  EXPECT_EQ(GetLe16(bytes.data() + 128 + 6), 0xD83D);
  EXPECT_EQ(table.EntryName(0),
            "Temp\xC2\xB0"
            "C");
  EXPECT_EQ(table.EntryValue(0), "\xE6\xB8\xA9\xE5\xBA\xA6 \xF0\x9F\x98\x80");
  EXPECT_EQ(table.EntryName(3), "Gi");
  EXPECT_EQ(table.EntryValue(3), "4711");
}

TEST(GlobalVarTableTest, ReadsStopAtTheFieldEvenWithoutATerminator) {
  std::vector<uint8_t> bytes(kGlobalVarBlockBytes, 'a');  // another program left no NUL anywhere
  GlobalVarTable table(bytes);
  EXPECT_EQ(table.EntryName(9).size(), kGlobalVarNameChars * 3);    // U+6161 is three UTF-8 bytes
  EXPECT_EQ(table.EntryValue(9).size(), kGlobalVarValueChars * 3);  // and nothing past the block
}

TEST(GlobalVarTableTest, LongValuesAreCutAt511Units) {
  std::vector<uint8_t> bytes(kGlobalVarBlockBytes, 0);
  GlobalVarTable table(bytes);
  const struct {
    std::string value;
    std::string stored;
  } cases[] = {
      {std::string(511, 'x'), std::string(511, 'x')},
      {std::string(600, 'x'), std::string(511, 'x')},
      {std::string(510, 'x') + "\xF0\x9F\x98\x80", std::string(510, 'x')},  // the pair would straddle the end
      {"short", "short"},                                                   // no leftovers of longer values
  };
  for (const auto& c : cases) {
    table.Write(1, "v", c.value);
    EXPECT_EQ(table.EntryValue(1), c.stored) << c.value.size();
    EXPECT_EQ(GetLe16(bytes.data() + 1152 + 128 + 1022), 0) << "the last unit stays the terminator";
  }
  EXPECT_EQ(table.EntryName(2), "") << "the next entry is untouched";
}

TEST(GlobalVarTableTest, NamesMustFitTheirField) {
  const struct {
    std::string name;
    bool fits;
  } cases[] = {
      {"", false},
      {std::string(63, 'n'), true},
      {std::string(64, 'n'), false},
      {Repeat("\xF0\x9F\x98\x80", 31), true},   // 62 units
      {Repeat("\xF0\x9F\x98\x80", 32), false},  // 64 units
  };
  for (const auto& c : cases) EXPECT_EQ(GlobalVarTable::NameFits(c.name), c.fits) << c.name;
}

class GlobalVarsTest : public ::testing::Test {
 protected:
  // A second mapping of the same block, as another instance would have it.
  GlobalVarTable Raw() {
    std::string why;
    raw = host.OpenSharedBlock(name, kGlobalVarBlockBytes, why);
    return GlobalVarTable(raw->Bytes());
  }

  testing::FakeHost host;
  RecordingSink sink;
  std::string name = FreshBlockName();
  std::string openWhy;
  std::unique_ptr<GlobalVars> globals = GlobalVars::Open(host, name, openWhy);
  std::unique_ptr<platform::SharedBlock> raw;
};

TEST_F(GlobalVarsTest, NamesAreComparedWithoutCase) {
  ASSERT_TRUE(globals);
  EXPECT_TRUE(globals->Set(host, sink, "Gi", "4711"));
  EXPECT_TRUE(globals->Set(host, sink, "GI", "5"));
  EXPECT_EQ(globals->Get(host, sink, "gi"), "5");
  EXPECT_EQ(globals->Get(host, sink, "other"), "");
  GlobalVarTable table = Raw();
  EXPECT_EQ(table.EntryName(0), "GI");
  EXPECT_EQ(table.EntryName(1), "");
  EXPECT_TRUE(sink.reports.empty());
}

TEST_F(GlobalVarsTest, FullTableIsReportedAndKeepsEveryEntry) {
  for (int i = 0; i < 10; ++i)
    ASSERT_TRUE(globals->Set(host, sink, "k" + std::to_string(i), std::to_string(i)));
  EXPECT_FALSE(globals->Set(host, sink, "k10", "10"));
  EXPECT_EQ(sink.reports,
            (Reports{{-2, "No free global variable for k10: all 10 entries hold other names"}}));
  EXPECT_TRUE(globals->Set(host, sink, "K9", "nine"));  // a held name still updates
  GlobalVarTable table = Raw();
  for (int i = 0; i < 9; ++i) EXPECT_EQ(table.EntryValue(i), std::to_string(i));
  EXPECT_EQ(table.EntryValue(9), "nine");
  EXPECT_EQ(globals->Get(host, sink, "k10"), "");
}

TEST_F(GlobalVarsTest, EveryReadAndUpdateTakesTheLock) {
  globals->Set(host, sink, "a", "1");
  globals->Get(host, sink, "a");
  globals->Get(host, sink, "missing");
  EXPECT_EQ(host.LockLog(), std::vector<std::string>(3, GlobalVarLockName(name)));
  EXPECT_NE(GlobalVarLockName(name), name) << "Windows keeps locks and blocks in one namespace";
}

TEST_F(GlobalVarsTest, ALockThatDoesNotComeIsReportedAndNothingIsWritten) {
  host.failNamedLocks = true;
  EXPECT_FALSE(globals->Set(host, sink, "a", "1"));
  EXPECT_EQ(globals->Get(host, sink, "a"), std::nullopt);
  ASSERT_EQ(sink.reports.size(), 2u);
  EXPECT_EQ(sink.reports[0].first, -255);
  EXPECT_EQ(sink.reports[0].second, "Cannot lock the global variables (" + name + "Lock) within 5000 ms");
  EXPECT_EQ(Raw().EntryName(0), "");
}

TEST_F(GlobalVarsTest, AFreeEntryReadsEmptyWhateverItHolds) {
  Raw();
  PutLe16(raw->Bytes().data() + 128, 'z');  // a stale value under an empty name
  EXPECT_EQ(globals->Get(host, sink, "anything"), "");
}

// The commands, run through the statement executor on a private block.
class VariableCommandsTest : public ::testing::Test {
 protected:
  VariableCommandsTest() : interp(host, testing::WorkFolderSettings(dir.path()), nullptr) {
    ::setenv("KESTRUNE_GLOBALVAR_NAME", block.c_str(), 1);
    testing::ReadyForStatements(interp.view(0));  // errors are counted, the statements go on
  }
  ~VariableCommandsTest() override { ::unsetenv("KESTRUNE_GLOBALVAR_NAME"); }

  // Runs one statement to its end; returns the codes it reported.
  std::vector<int32_t> Run(std::string statement) {
    std::vector<int32_t> codes;
    for (const auto& report : testing::RunStatement(interp, std::move(statement)))
      codes.push_back(report.first);
    return codes;
  }
  Value Var(std::string_view name) { return interp.view(0).vars.Get(name); }

  testing::TempDir dir;
  testing::FakeHost host;
  std::string block = FreshBlockName();
  Interpreter interp;
};

TEST_F(VariableCommandsTest, ValuesKeepTheirKindThroughTheBlock) {
  const struct {
    std::string value;   // as written in the script
    std::string stored;  // the text in the block
    Value read;          // what GetGlobalVar gives back
  } cases[] = {
      {"4711", "4711", Value::Number(4711)},  {"0 - 5", "-5", Value::Number(-5)},
      {"0x1F", "0x0000001F", Value::Hex(31)}, {"0xFFFFFFFFFFFFFFFF", "0xFFFFFFFFFFFFFFFF", Value::Hex(-1)},
      {"\"a b\"", "a b", Value::Text("a b")}, {"\"0x10\"", "0x10", Value::Hex(16)},
      {"\"\"", "", Value::Text("")},
  };
  std::string why;
  auto raw = host.OpenSharedBlock(block, kGlobalVarBlockBytes, why);
  ASSERT_TRUE(raw) << why;
  GlobalVarTable table(raw->Bytes());
  for (const auto& c : cases) {
    EXPECT_TRUE(Run("SetGlobalVar( Var:\"Gi\", Value:" + c.value + " );").empty()) << c.value;
    EXPECT_EQ(table.EntryValue(0), c.stored) << c.value;
    EXPECT_TRUE(Run("x = GetGlobalVar( Var:\"gI\" );").empty());
    Value x = Var("x");
    EXPECT_EQ(x.type, c.read.type) << c.value;
    EXPECT_EQ(x.number, c.read.number) << c.value;
    EXPECT_EQ(x.text, c.read.text) << c.value;
  }
  EXPECT_EQ(table.EntryName(1), "") << "one entry for one name";
}

TEST_F(VariableCommandsTest, UnknownNamesReadEmptyAndEmptyNamesAreRefused) {
  EXPECT_TRUE(Run("x = GetGlobalVar( Var:\"never\" );").empty());
  EXPECT_TRUE(Var("x").IsText());
  EXPECT_EQ(Var("x").text, "");
  EXPECT_EQ(Run("SetGlobalVar( Var:\"\", Value:1 );"), std::vector<int32_t>{-2});
  EXPECT_EQ(Run("SetGlobalVar( Var:\"" + std::string(64, 'n') + "\", Value:1 );"), std::vector<int32_t>{-2});
  EXPECT_TRUE(Run("x = GetGlobalVar( Var:\"\" );").empty()) << "no entry was written under an empty name";
  EXPECT_EQ(Var("x").text, "");
}

TEST_F(VariableCommandsTest, MappingFailureIsReportedAndRetried) {
  host.failSharedBlocks = true;
  EXPECT_EQ(Run("SetGlobalVar( Var:\"a\", Value:1 );"), std::vector<int32_t>{-83});
  host.failSharedBlocks = false;
  EXPECT_TRUE(Run("SetGlobalVar( Var:\"a\", Value:1 );").empty());
  EXPECT_TRUE(Run("x = GetGlobalVar( Var:\"a\" );").empty());
  EXPECT_EQ(Var("x").number, 1);
}

TEST_F(VariableCommandsTest, ARefusedBlockOrLockIsReportedWithItsReason) {
  const std::string reason = "refused the shared block B: it belongs to user 1000, not to user 0";
  host.refusal = reason;  // nothing is mapped yet: the block itself is refused
  EXPECT_EQ(testing::RunStatement(interp, "SetGlobalVar( Var:\"a\", Value:1 );"),
            (Reports{{-83, "Host Memory Alloc Fail. Cannot map the shared block " + block + ": " + reason}}));
  host.refusal.clear();
  EXPECT_TRUE(Run("SetGlobalVar( Var:\"a\", Value:1 );").empty());
  host.refusal = reason;  // the block stays mapped; now its lock is refused
  EXPECT_EQ(testing::RunStatement(interp, "GetGlobalVar( Var:\"a\" );"),
            (Reports{{-255, "Error. Cannot lock the global variables (" + block + "Lock): " + reason}}));
}

}  // namespace
}  // namespace kestrune::engine
