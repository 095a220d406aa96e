#include "base/unicode.h"
#include "engine/keyword_lookup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "support/fake_host.h"

namespace kestrune::engine {

using base::Utf16Le;

namespace {

using Alternatives = std::vector<std::string>;

OutputLine Line(std::string text, int32_t kind = kText) {
  OutputLine l;
  l.text = std::move(text);
  l.kind = kind;
  return l;
}

std::optional<KeywordHit> InLines(std::deque<OutputLine> lines, std::string_view keyword) {
  return SearchOutputLines(lines, SplitAlternatives(keyword));
}

void WriteResultFile(const std::string& folder, std::string_view text) {
  std::string bytes = Utf16Le(text);
  ASSERT_TRUE(
      platform::WriteWholeFile(platform::JoinPath(folder, "_Result.txt"),
                               std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())));
}

TEST(SplitAlternatives, TrimsDropsEmptyPartsAndBoundsCountAndLength) {
  EXPECT_EQ(SplitAlternatives("Serial Number|SN"), (Alternatives{"Serial Number", "SN"}));
  EXPECT_EQ(SplitAlternatives(" A || B |"), (Alternatives{"A", "B"}));
  EXPECT_EQ(SplitAlternatives(""), Alternatives{});
  EXPECT_EQ(SplitAlternatives("1|2|3|4|5|6|7|8|9|10|11|12").size(), kMaxAlternatives);
  EXPECT_EQ(SplitAlternatives(std::string(300, 'k'))[0], std::string(kMaxAlternativeChars, 'k'));
}

TEST(SearchOutputLines, NewestMatchingLineWinsWhicheverAlternativeItHolds) {
  std::deque<OutputLine> lines{Line("<09:05:07-1> Identify();"), Line("Serial Number : OLD"),
                               Line("SN : 1234")};
  auto hit = SearchOutputLines(lines, {"Serial Number", "SN"});
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->keyword, "SN");
  EXPECT_EQ(hit->value, "1234");

  lines.push_back(Line("serial number   :  S123  "));
  hit = SearchOutputLines(lines, {"Serial Number", "SN"});
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->keyword, "Serial Number");
  EXPECT_EQ(hit->value, "S123");
}

TEST(SearchOutputLines, KeyAndShortKeyButNotBracketKey) {
  std::deque<OutputLine> lines{Line("Temperature (Celsius) : 40")};
  EXPECT_EQ(InLines(lines, "Temperature")->value, "40");
  EXPECT_EQ(InLines(lines, "temperature (celsius)")->value, "40");
  EXPECT_FALSE(InLines(lines, "Celsius"));
  // Only the first ":" splits.
  EXPECT_EQ(InLines({Line("Time : 09:05:07")}, "Time")->value, "09:05:07");
}

TEST(SearchOutputLines, StopsAtTheLatestCommandHeader) {
  std::deque<OutputLine> lines{Line("Model : A"), Line("<09:05:07-2> Identify();"), Line("Other : B")};
  EXPECT_FALSE(InLines(lines, "Model"));
  EXPECT_EQ(InLines(lines, "Other")->value, "B");
}

TEST(SearchOutputLines, FindImageTakesTheNewestPictureLine) {
  std::deque<OutputLine> lines{Line("old.png", kPicture), Line("C:\\log\\new.png", kPicture),
                               Line("FINDIMAGE : text")};
  auto hit = InLines(lines, "FINDIMAGE");
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->value, "C:\\log\\new.png");
  EXPECT_FALSE(InLines({Line("FINDIMAGE : text")}, "FINDIMAGE"));
}

TEST(SearchResultText, FirstLineWinsAndBracketKeyCounts) {
  std::string text = "Temperature (Celsius) : 40\nTemperature : 99\nFINDHEX:/log/R0000000003.Hex\n";
  auto hit = SearchResultText(text, {"Celsius"});
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->value, "40");
  EXPECT_EQ(SearchResultText(text, {"Temperature"})->value, "40");
  EXPECT_EQ(SearchResultText(text, {"FINDHEX"})->value, "/log/R0000000003.Hex");
  EXPECT_FALSE(SearchResultText(text, {"Fahrenheit"}));
  // A line is cut at 1,000 characters before it is split.
  std::string padded = "A" + std::string(998, ' ');
  EXPECT_EQ(SearchResultText(padded + ":value\n", {"A"})->value, "");
  EXPECT_FALSE(SearchResultText(padded + " :value\n", {"A"}));
}

TEST(LookupKeyword, FallsBackToTheResultFileAndClosesIt) {
  testing::TempDir dir;
  ViewOutput view;
  view.baseLogFolder = dir.path();
  view.lines.push_back(Line("Temperature (Celsius) : 40"));
  WriteResultFile(dir.path(), "Temperature (Celsius) : 40\n");
  view.resultFile = std::fopen(platform::JoinPath(dir.path(), "other.txt").c_str(), "wb");

  auto hit = LookupKeyword(&view, "Fahrenheit|Celsius");
  EXPECT_EQ(view.resultFile, nullptr);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->keyword, "Celsius");
  EXPECT_EQ(hit->value, "40");
  EXPECT_FALSE(LookupKeyword(&view, "Pressure"));
  platform::RemoveFile(platform::JoinPath(dir.path(), "_Result.txt"));
  EXPECT_FALSE(LookupKeyword(&view, "Celsius"));
}

}  // namespace
}  // namespace kestrune::engine
