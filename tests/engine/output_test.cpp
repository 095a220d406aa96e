#include "base/unicode.h"
#include "engine/output.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "platform/files.h"
#include "support/fake_host.h"
#include "support/statement_runner.h"

namespace kestrune::engine {

using base::FromUtf16Le;

namespace {

using Lines = std::vector<std::string>;

std::string ResultFileText(const std::string& folder) {
  auto bytes = platform::ReadWholeFile(platform::JoinPath(folder, "_Result.txt"));
  if (!bytes) return "<missing>";
  return FromUtf16Le(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

class OutputWriterTest : public ::testing::Test {
 protected:
  OutputWriterTest() : writer(OutputSettings{true, 30, 0, &console}, host) {
    view.baseLogFolder = dir.path();
  }
  ~OutputWriterTest() override { OutputWriter::CloseResultFile(&view); }

  std::string DataFile(const std::vector<uint8_t>& bytes) {
    std::string path = platform::JoinPath(dir.path(), "R0000000002.Hex");
    EXPECT_TRUE(platform::WriteWholeFile(path, bytes));
    return path;
  }

  testing::TempDir dir;
  testing::FakeHost host;  // the header clock: 09:05:07
  testing::CapturedConsole console;
  OutputWriter writer;
  ViewOutput view;
};

TEST(ShortHexDump, SixteenBytesALinePaddedWithPrintableCharacters) {
  std::vector<uint8_t> bytes{'A',  'b',  0x00, 0x1F, 0x20, 0x7E, 0x34, 0x12, 'z',  0x0A,
                             0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x30, 0x31, 0x32, 0x33};
  EXPECT_EQ(ShortHexDump(bytes),
            (Lines{"00000000h: 41 62 00 1F 20 7E 34 12 7A 0A 41 42 43 44 45 46  ; Ab.. ~4.z.ABCDEF",
                   "00000010h: 30 31 32 33                                      ; 0123"}));
}

TEST(ShortHexDump, ShowsAtMostSixtyFourBytes) {
  std::vector<uint8_t> bytes(100);
  std::iota(bytes.begin(), bytes.end(), 0x40);
  Lines lines = ShortHexDump(bytes);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[3], "00000030h: 70 71 72 73 74 75 76 77 78 79 7A 7B 7C 7D 7E 7F  ; pqrstuvwxyz{|}~\x7F");
  EXPECT_TRUE(ShortHexDump({}).empty());
}

TEST_F(OutputWriterTest, ShownDataFileIsAListLineAConsoleDumpAndAFindHexEntry) {
  std::string path = DataFile({0x00, 0x00, 0x00, 0x00, 0x34, 0x12});
  writer.WriteLine(&view, "Identify();", kHeader, 10, colour::kGreen);
  console.lines.clear();
  LineRef ref = writer.WriteDataFile(&view, colour::kOrange, path, true);

  ASSERT_EQ(ref.index, view.lines.size() - 1);
  const OutputLine& line = view.lines.back();
  EXPECT_EQ(line.kind, kDataFile);
  EXPECT_EQ(line.text, path);
  EXPECT_EQ(line.attachedPath, path);
  EXPECT_EQ(line.colour, colour::kOrange);
  EXPECT_EQ(console.lines,
            (Lines{"        00000000h: 00 00 00 00 34 12                                ; ....4.",
                   "        Hex File : " + path}));
  EXPECT_EQ(ResultFileText(dir.path()), "<09:05:07-1> Identify();\nFINDHEX:" + path + "\n");
}

TEST_F(OutputWriterTest, UnshownDataFileOnlyGoesIntoTheResultFile) {
  std::string path = DataFile({1, 2, 3});
  writer.WriteLine(&view, "Identify();", kHeader, 10, colour::kGreen);
  console.lines.clear();
  LineRef ref = writer.WriteDataFile(&view, colour::kOrange, path, false);
  EXPECT_EQ(view.lines.size(), 1u);
  EXPECT_EQ(ref.index, 0u);
  EXPECT_TRUE(console.lines.empty());
  EXPECT_EQ(ResultFileText(dir.path()), "<09:05:07-1> Identify();\nFINDHEX:" + path + "\n");
}

TEST_F(OutputWriterTest, DataFileAfterTheResultFileClosedIsListedButNotDumped) {
  std::string path = DataFile({1, 2, 3});
  writer.WriteLine(&view, "Identify();", kHeader, 10, colour::kGreen);
  writer.WriteLine(&view, "", kClosingDetail, 10, colour::kWhite);
  console.lines.clear();
  writer.WriteDataFile(&view, colour::kOrange, path, true);
  EXPECT_EQ(view.lines.back().kind, kDataFile);
  EXPECT_TRUE(console.lines.empty());
  EXPECT_EQ(ResultFileText(dir.path()), "<09:05:07-1> Identify();\n");
}

TEST_F(OutputWriterTest, LongTextIsShownAndLoggedAsItsFirst250Characters) {
  writer.WriteLine(&view, "Identify();", kHeader, 10, colour::kGreen);
  console.lines.clear();
  std::string text = std::string(249, 'a') + "bcd" + std::string(48, 'e');
  writer.WriteLine(&view, text, kDetail, 10, colour::kYellow);
  std::string cut = std::string(249, 'a') + "b";
  EXPECT_EQ(view.lines.back().text, cut);
  EXPECT_EQ(console.lines, Lines{"        " + cut});
  EXPECT_EQ(ResultFileText(dir.path()), "<09:05:07-1> Identify();\n" + cut + "\n");
}

}  // namespace
}  // namespace kestrune::engine
