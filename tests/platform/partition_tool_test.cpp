// The partition tool's request rules: the DISKPART script bytes of every form, the labels that may
// reach a tool, and the requests every tool refuses before it runs.
#include "platform/partition_tool.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrune::platform {
namespace {

class AnyTool final : public PartitionTool {
 public:
  explicit AnyTool(bool ext4) : ext4_(ext4) {}
  PartitionOutcome Run(const PartitionRequest&, const std::atomic<bool>*) override { return {}; }
  bool Supports(PartitionFileSystem fs) const override { return ext4_ || fs != PartitionFileSystem::kExt4; }

 private:
  bool ext4_;
};

PartitionRequest Request(PartitionOperation op, PartitionFileSystem fs, int64_t sizeMB,
                         std::vector<std::string> labels) {
  PartitionRequest r;
  r.operation = op;
  r.fileSystem = fs;
  r.sizeMB = sizeMB;
  r.labels = std::move(labels);
  return r;
}

TEST(DiskpartScript, EveryFormByteForByte) {
  using Op = PartitionOperation;
  using Fs = PartitionFileSystem;
  const struct {
    PartitionRequest request;
    uint32_t disk;
    std::string script;
  } cases[] = {
      {Request(Op::kCreateMbr, Fs::kNtfs, 1024, {"A", "B"}), 3,
       "SELECT DISK 3 \r\nCLEAN \r\nCONVERT MBR \r\nCREATE PARTITION PRIMARY SIZE=1024\r\nCREATE PARTITION "
       "PRIMARY "
       "\r\nSELECT PARTITION 1 \r\nFORMAT FS=NTFS QUICK label=\"A\"\r\nASSIGN \r\nSELECT PARTITION 2 "
       "\r\nFORMAT "
       "FS=NTFS QUICK label=\"B\"\r\nASSIGN \r\nEXIT"},
      {Request(Op::kCreateMbr, Fs::kExfat, 0, {""}), 12,
       "SELECT DISK 12 \r\nCLEAN \r\nCONVERT MBR \r\n CREATE PARTITION PRIMARY \r\nSELECT PARTITION 1 "
       "\r\nFORMAT "
       "FS=EXFAT QUICK \r\nASSIGN \r\nEXIT"},
      {Request(Op::kCreateGpt, Fs::kExfat, 1024, {"A", "B"}), 4,
       "SELECT DISK 4 \r\nCLEAN \r\nCONVERT GPT \r\nCREATE PARTITION PRIMARY SIZE=1024\r\nCREATE PARTITION "
       "PRIMARY "
       "\r\nSELECT PARTITION 2 \r\nFORMAT FS=EXFAT QUICK label=\"A\"\r\nASSIGN \r\nSELECT PARTITION 3 "
       "\r\nFORMAT "
       "FS=EXFAT QUICK label=\"B\"\r\nASSIGN \r\nEXIT"},
      {Request(Op::kCreateGpt, Fs::kNtfs, 100, {"", "LOGS"}), 0,
       "SELECT DISK 0 \r\nCLEAN \r\nCONVERT GPT \r\nCREATE PARTITION PRIMARY SIZE=100\r\nCREATE PARTITION "
       "PRIMARY "
       "\r\nSELECT PARTITION 2 \r\nFORMAT FS=NTFS QUICK \r\nASSIGN \r\nSELECT PARTITION 3 \r\nFORMAT FS=NTFS "
       "QUICK "
       "label=\"LOGS\"\r\nASSIGN \r\nEXIT"},
      {Request(Op::kCreateGpt, Fs::kNtfs, 0, {"DATA"}), 1,
       "SELECT DISK 1 \r\nCLEAN \r\nCONVERT GPT \r\n CREATE PARTITION PRIMARY \r\nSELECT PARTITION 2 "
       "\r\nFORMAT "
       "FS=NTFS QUICK label=\"DATA\"\r\nASSIGN \r\nEXIT"},
      {Request(Op::kClean, Fs::kNtfs, 0, {}), 7, "SELECT DISK 7 \r\nCLEAN \r\nEXIT"},
  };
  for (const auto& c : cases) {
    std::optional<std::string> script = DiskpartScript(c.request, c.disk);
    ASSERT_TRUE(script.has_value()) << c.script;
    EXPECT_EQ(*script, c.script);
  }
  EXPECT_FALSE(DiskpartScript(Request(Op::kCreateMbr, Fs::kExt4, 0, {}), 1).has_value());
  EXPECT_FALSE(DiskpartScript(Request(static_cast<Op>(4), Fs::kNtfs, 0, {}), 1).has_value());
}

TEST(PartitionLabels, WhatMayReachATool) {
  using Fs = PartitionFileSystem;
  const struct {
    std::string label;
    Fs fs;
    bool allowed;
  } cases[] = {
      {"", Fs::kNtfs, true},
      {"DATA 01_x-y", Fs::kNtfs, true},
      {std::string(32, 'N'), Fs::kNtfs, true},
      {std::string(33, 'N'), Fs::kNtfs, false},
      {std::string(11, 'E'), Fs::kExfat, true},
      {std::string(12, 'E'), Fs::kExfat, false},
      {std::string(16, 'L'), Fs::kExt4, true},
      {std::string(17, 'L'), Fs::kExt4, false},
      {"A\"B", Fs::kNtfs, false},        // ends the quoted label
      {"A\r\nCLEAN", Fs::kNtfs, false},  // a command of its own
      {"A\nB", Fs::kNtfs, false},
      {"A\rB", Fs::kNtfs, false},
      {std::string("A\0B", 3), Fs::kNtfs, false},
      {"TAB\tX", Fs::kNtfs, false},
      {"\x7F", Fs::kNtfs, false},
      {"DATEN_\xC3\x84", Fs::kNtfs, false},  // not in every ANSI code page
  };
  for (const auto& c : cases) EXPECT_EQ(LabelAllowed(c.label, c.fs), c.allowed) << c.label;

  EXPECT_EQ(SplitLabels(""), (std::vector<std::string>{""}));
  EXPECT_EQ(SplitLabels("A|B"), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(SplitLabels("|B"), (std::vector<std::string>{"", "B"}));
  EXPECT_FALSE(SplitLabels("A|B|C").has_value());
  EXPECT_FALSE(SplitLabels("||").has_value());
}

TEST(PartitionRequestCheck, RefusedBeforeAnyToolRuns) {
  using Op = PartitionOperation;
  using Fs = PartitionFileSystem;
  const std::string longLabel(32, 'X');
  const struct {
    PartitionRequest request;
    bool ext4Tool;
    int32_t code;
  } cases[] = {
      {Request(Op::kCreateMbr, Fs::kNtfs, 0, {""}), false, 0},
      {Request(Op::kClean, Fs::kNtfs, 0, {}), false, 0},
      {Request(static_cast<Op>(0), Fs::kNtfs, 0, {}), false, -2},
      {Request(static_cast<Op>(4), Fs::kNtfs, 0, {}), false, -2},
      {Request(Op::kCreateMbr, Fs::kNtfs, -1, {}), false, -2},
      {Request(Op::kCreateMbr, Fs::kNtfs, int64_t{1} << 31, {}), false, -2},
      {Request(Op::kCreateMbr, Fs::kNtfs, 0, {"A", "B"}), false, -2},  // two labels, one partition
      {Request(Op::kCreateMbr, Fs::kNtfs, 0, {"A", ""}), false, 0},
      {Request(Op::kCreateMbr, Fs::kNtfs, 8, {"A", "B", "C"}), false, -2},
      {Request(Op::kCreateMbr, Fs::kExfat, 8, {"A", "TWELVE_CHARS"}), false, -2},
      {Request(Op::kCreateMbr, Fs::kNtfs, 8, {"A\r\nCLEAN"}), false, -2},
      {Request(Op::kCreateMbr, Fs::kExt4, 0, {}), false, -2},
      {Request(Op::kCreateMbr, Fs::kExt4, 0, {"linux-data"}), true, 0},
      // 32-character labels on both partitions: the script would pass 256 bytes.
      {Request(Op::kCreateGpt, Fs::kNtfs, 8, {longLabel, longLabel}), false, -2},
      {Request(Op::kCreateGpt, Fs::kNtfs, 8, {std::string(20, 'X'), "B"}), false, 0},  // 245 bytes
      {Request(Op::kCreateGpt, Fs::kNtfs, 8, {longLabel, "B"}), false, -2},            // 258 bytes
      {Request(Op::kCreateGpt, Fs::kExt4, 8, {std::string(16, 'L'), std::string(16, 'L')}), true, 0},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    AnyTool tool(cases[i].ext4Tool);
    EXPECT_EQ(CheckPartitionRequest(cases[i].request, tool), cases[i].code) << "case " << i;
  }
}

}  // namespace
}  // namespace kestrune::platform
