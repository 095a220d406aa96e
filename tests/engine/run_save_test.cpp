// The save of a run made before a restart: the state files' record layouts, a round trip of a
// view's state, and the sets a resume must refuse.
#include <gtest/gtest.h>

#include <functional>

#include "base/bytes.h"
#include "engine/run_save.h"
#include "platform/files.h"
#include "support/fake_host.h"

namespace kestrune::engine {
namespace {

class RunSaveTest : public ::testing::Test {
 protected:
  RunSaveTest() {
    v.vars.SetNumber("Count", 3);
    v.vars.Set("Mask", Value::Hex(0x55AA));
    v.vars.SetText("Name", "Kestrune \xC3\xA9t\xC3\xA9");
    v.vars.SetText("A[1]", "6");
    v.mainList = {{0, BlockAction::kIfDo, 0}, {1, BlockAction::kLoopDo, 120}};
    v.subList = {{0, BlockAction::kIfDo, 0}, {2, BlockAction::kIfSkip, 300}};
    v.loopList = {1};
    v.statementOffset = 400;
    v.statementEnd = 431;
    record.saveId = 4711;
    record.rebootCount = 2;
    record.scriptPath = "/var/tmp/run/test.scpt";
    record.resumeOffset = 431;
    record.loopLevel = 1;
    record.logFolder = "/var/tmp/run";
    record.lineCounter = 77;
    record.diskIdentity = "17-0-256-0-1-10";
    record.lastDescription = "two\nlines";
  }

  void Save() {
    std::string why;
    std::optional<SaveImage> image = BuildRunSave(v, record, why);
    ASSERT_TRUE(image) << why;
    ASSERT_TRUE(WriteRunSave(dir.path(), record.saveId, *image, why)) << why;
  }
  std::string Path(const std::string& part) { return RunSavePath(dir.path(), record.saveId, part); }
  std::string Read(const std::string& part) {
    auto b = platform::ReadWholeFile(Path(part));
    return b ? std::string(b->begin(), b->end()) : std::string();
  }
  void Write(const std::string& part, const std::string& bytes) {
    ASSERT_TRUE(platform::WriteWholeFile(Path(part), base::TextBytes(bytes)));
  }

  testing::TempDir dir;
  View v;
  ResumeRecord record;
};

TEST_F(RunSaveTest, RecordsLieWhereTheirLayoutsPutThem) {
  Save();
  const std::string vars = Read("VarList.sct");
  ASSERT_EQ(vars.size(), 4 * kVarRecordSize);
  const auto* b = reinterpret_cast<const uint8_t*>(vars.data());
  EXPECT_EQ(std::string(vars.data(), 10), std::string("C\0o\0u\0n\0t\0", 10));  // UTF-16 name at 0
  EXPECT_EQ(base::GetLe32(b + 128), 1u);                                          // type
  EXPECT_EQ(base::GetLe64(b + 136), 3u);                                          // value
  EXPECT_EQ(base::GetLe32(b + kVarRecordSize + 128), 3u);                         // the hex type
  EXPECT_EQ(vars.substr(2 * kVarRecordSize + 144, 4), std::string("K\0e\0", 4));  // text at 144
  const std::string main = Read("MainList.sct");
  ASSERT_EQ(main.size(), 2 * kBlockRecordSize);
  const auto* m = reinterpret_cast<const uint8_t*>(main.data()) + kBlockRecordSize;
  EXPECT_EQ(base::GetLe64(m), 0u);  // the pointer words carry nothing
  EXPECT_EQ(base::GetLe32(m + 16), 1u);
  EXPECT_EQ(base::GetLe32(m + 20), static_cast<uint32_t>(BlockAction::kLoopDo));
  EXPECT_EQ(base::GetLe32(m + 24), 120u);
  EXPECT_EQ(Read("ScriptInfo.sct").size(), kScriptInfoSize);
}

TEST_F(RunSaveTest, RoundTripGivesTheStateBack) {
  Save();
  std::string why;
  std::optional<LoadedSave> loaded = LoadRunSave(dir.path(), record.saveId, why);
  ASSERT_TRUE(loaded) << why;
  const ResumeRecord& r = loaded->record;
  EXPECT_EQ(r.rebootCount, 2u);
  EXPECT_EQ(r.scriptPath, record.scriptPath);
  EXPECT_EQ(r.resumeOffset, 431u);
  EXPECT_EQ(r.lineCounter, 77u);
  EXPECT_EQ(r.diskIdentity, record.diskIdentity);
  EXPECT_EQ(r.lastDescription, "two\nlines");
  ASSERT_EQ(loaded->state.vars.size(), 4u);
  EXPECT_EQ(loaded->state.vars[1].value.type, ValueType::kHex);
  EXPECT_EQ(loaded->state.vars[1].value.number, 0x55AA);
  EXPECT_EQ(loaded->state.vars[2].value.text, "Kestrune \xC3\xA9t\xC3\xA9");
  ASSERT_EQ(loaded->state.subList.size(), 2u);
  EXPECT_EQ(loaded->state.subList[1].action, BlockAction::kIfSkip);
  EXPECT_EQ(loaded->state.subList[1].savedOffset, 300u);
  EXPECT_EQ(loaded->state.loopList, std::vector<int32_t>{1});
}

TEST_F(RunSaveTest, WhatDoesNotFitFailsTheSave) {
  struct Case {
    const char* what;
    std::string name;
    std::string text;
  } cases[] = {
      {"a 64-character name", std::string(64, 'n'), "x"},
      // 600 characters outside the basic plane are 1200 UTF-16 units: more than the 1024 field.
      {"a text of 1200 UTF-16 units", "T", [] {
         std::string s;
         for (int i = 0; i < 600; ++i) s += "\xF0\x9F\x98\x80";
         return s;
       }()},
  };
  for (const Case& c : cases) {
    View big;
    big.vars.SetText(c.name, c.text);
    ResumeRecord r = record;
    std::string why;
    EXPECT_FALSE(BuildRunSave(big, r, why)) << c.what;
    EXPECT_NE(why.find("too long"), std::string::npos) << c.what << ": " << why;
  }
}

TEST_F(RunSaveTest, DamagedTruncatedForeignAndNewerSetsAreRefused) {
  struct Case {
    const char* what;
    std::string part;
    std::function<std::string(std::string)> change;
    const char* why;
  } cases[] = {
      {"a state file cut short", "SubList.sct", [](std::string s) { return s.substr(0, 40); }, "does not match"},
      {"a state file changed", "VarList.sct", [](std::string s) { s[130] ^= 1; return s; }, "does not match"},
      {"a state file gone", "LoopList.sct", [](std::string) { return std::string("\x01"); }, "does not match"},
      {"the record changed", kResumePart, [](std::string s) { s[s.size() - 3] ^= 1; return s; }, "damaged"},
      {"the record cut short", kResumePart, [](std::string s) { return s.substr(0, 30); }, "damaged"},
      {"a foreign file", kResumePart, [](std::string) { return std::string("[Settings]\nA=1\n"); }, "not a run save"},
      {"a newer format", kResumePart,
       [](std::string s) { return "KestruneRunSave 9" + s.substr(s.find('\n')); }, "newer version"},
  };
  for (const Case& c : cases) {
    Save();
    Write(c.part, c.change(Read(c.part)));
    std::string why;
    EXPECT_FALSE(LoadRunSave(dir.path(), record.saveId, why)) << c.what;
    EXPECT_NE(why.find(c.why), std::string::npos) << c.what << ": " << why;
  }
  std::string why;
  EXPECT_FALSE(LoadRunSave(dir.path(), 4712, why));  // another id has no save
}

}  // namespace
}  // namespace kestrune::engine
