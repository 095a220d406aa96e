// The named completion codes (base/completion_codes.h) against the error table: every name stands
// for a row, with that row's text beside it, and every row has exactly one name.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine/error_table.h"

namespace kestrune::engine {
namespace {

struct NamedCode {
  std::string name;
  int32_t code;
  std::string text;  // the row text quoted in the comment beside the name
};

// The names as the header writes them: "inline constexpr int32_t kName = code;  // "row text"".
std::vector<NamedCode> NamedCodes() {
  std::ifstream in(KESTRUNE_SOURCE_DIR "/src/base/completion_codes.h");
  std::stringstream text;
  text << in.rdbuf();
  const std::string header = text.str();
  const std::regex line(R"re(inline constexpr int32_t (k\w+) = (-?\d+);[ ]*// "(.*)")re");
  std::vector<NamedCode> out;
  for (std::sregex_iterator it(header.begin(), header.end(), line), end; it != end; ++it)
    out.push_back({(*it)[1], std::stoi((*it)[2]), (*it)[3]});
  return out;
}

TEST(CompletionCodes, EveryNameHasARowAndEveryRowOneName) {
  const std::vector<NamedCode> named = NamedCodes();
  ASSERT_FALSE(named.empty()) << "no names read from src/base/completion_codes.h";
  std::map<int32_t, std::vector<std::string>> namesOf;
  for (const NamedCode& n : named) {
    namesOf[n.code].push_back(n.name);
    EXPECT_EQ(ErrorText(n.code), n.text) << n.name << " = " << n.code;
  }
  for (const ErrorRow& row : ErrorTable())
    EXPECT_EQ(namesOf[row.code].size(), 1u) << row.code << " \"" << row.text << "\" needs exactly one name";
  EXPECT_EQ(named.size(), ErrorTable().size());
}

}  // namespace
}  // namespace kestrune::engine
