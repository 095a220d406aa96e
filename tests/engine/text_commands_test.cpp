// The text and number functions driven through the statement executor.
#include <string>

#include "base/text.h"
#include "command_fixture.h"

namespace kestrune::engine {
namespace {

using TextCommandsTest = CommandFixture<>;
const std::string kOverLimit = "Parameters not match spec or over limit. ";

TEST_F(TextCommandsTest, ResultsOfEachFunction) {
  struct Case {
    std::string statement;
    Value expected;
  };
  const Case cases[] = {
      {R"(StrSub( String:"ABCDEF", StartId:-2, EndId:0 ))", Value::Text("EF")},
      {R"(StrSub( String:"ABCDEF", StartId:3, EndId:3 ))", Value::Text("")},
      {R"(StrSub( String:"ABCDEF", StartId:1, EndId:-1 ))", Value::Text("BCDE")},
      {R"(StrSub( String:"ABCDEF", StartId:-10, EndId:2 ))", Value::Text("AB")},  // clamped
      {R"(StrSub( String:"ABCDEF", StartId:2, EndId:100 ))", Value::Text("CDEF")},
      {R"(StrSub( String:"ABCDEF", StartId:100, EndId:0 ))", Value::Text("")},
      {R"(StrSub( String:"äöüx", StartId:1, EndId:3 ))", Value::Text("öü")},
      {R"(StrCmp( String:"TEST", String:"test" ))", Value::Number(0)},
      {R"(StrCmp( "x", "x" ))", Value::Number(1)},
      {R"(StrStr( String:"TestString", SubStr:"EST" ))", Value::Number(1)},
      {R"(StrLen( String:"äb" ))", Value::Number(2)},
      {R"(StrReplace( String:"xCdycDz", OldStr:"cd", NewStr:"-" ))", Value::Text("x-y-z")},
      {R"(StrReplace( String:"aXa", OldStr:"a", NewStr:"aa" ))", Value::Text("aaXaa")},
      {R"(StrSetLen( String:"ABCDEF", RightAlign:TRUE, SetLen:3 ))", Value::Text("ABCDEF")},
      {R"(StrSetLen( String:"AB", RightAlign:TRUE, SetLen:5 ))", Value::Text("   AB")},
      {R"(StrSetLen( String:"ä", RightAlign:FALSE, SetLen:3 ))", Value::Text("ä  ")},
      {"StrSetLen( String:0x10, RightAlign:TRUE, SetLen:4 )", Value::Text("  16")},
      {R"(StrToNumber( String:"0x1F" ))", Value::Hex(31)},
      {R"(StrToNumber( String:"31", HexDec:"Hex" ))", Value::Hex(31)},
      {R"(StrToNumber( String:"0x1F", HexDec:"dec" ))", Value::Number(31)},
      {R"(StrToNumber( String:" 12 " ))", Value::Number(12)},
      {R"(StrToNumber( String:"12 MB" ))", Value::Number(0)},
      {R"(NumberToStr( Value:0x100000000, HexDec:"Hex" ))", Value::Text("0x0000000100000000")},
      {R"(NumberToStr( Value:31, HexDec:"HEX" ))", Value::Text("0x0000001F")},
      {R"(NumberToStr( Value:-1, HexDec:"Dec" ))", Value::Text("18446744073709551615")},
      {"BitValue( Value:0x80000000, BitId:31 )", Value::Number(1)},
      {"BitValue( Value:0x02, BitId:33 )", Value::Number(1)},  // bit index modulo 32
  };
  for (const Case& c : cases) {
    Run("x = " + c.statement + ";");
    SCOPED_TRACE(c.statement);
    EXPECT_EQ(Var("x").type, c.expected.type);
    EXPECT_EQ(DisplayText(Var("x")), DisplayText(c.expected));
  }
  EXPECT_EQ(ErrorCount(), 0);
}

TEST_F(TextCommandsTest, RefusedArguments) {
  interp.view(0).vars.SetText("quoted", R"(a"b"_c)");
  const std::pair<std::string, std::string> cases[] = {
      {R"(StrReplace( String:"ABC", OldStr:"", NewStr:"X" ))", "OldStr is Empty"},
      {R"(StrSetLen( String:"ABCDEF", RightAlign:TRUE, SetLen:200 ))", "SetLen Over Limit"},
      {R"(StrSetLen( String:"ABCDEF", RightAlign:TRUE, SetLen:0 ))", "SetLen Over Limit"},
      {R"(StrSplit( String:"AB_CD", Split:"__" ))", "Split Length > 1"},
      {R"(StrSplit( String:"AB_CD", Split:"" ))", "Split is Empty"},
      {R"(StrSplit( String:quoted, Split:"_" ))", "Split Item Has a Double Quote"},
      {R"(NumberToStr( Value:1, HexDec:"Oct" ))", "Format Error"},
      {"RandomValue( RangeStart:7, RangeEnd:7 )", "(RangeEnd must > RangeStart)"},
  };
  for (const auto& [statement, detail] : cases) {
    const int64_t before = ErrorCount();
    Run(statement + ";");
    SCOPED_TRACE(statement);
    EXPECT_EQ(ErrorCount(), before + 1);
    EXPECT_EQ(LastError(), kOverLimit + detail);
  }
}

TEST_F(TextCommandsTest, TextResultsLongerThanAVariableAreRefusedNotCut) {
  interp.view(0).vars.SetText("long", std::string(255, 'a'));
  Run(R"(StrReplace( String:long, OldStr:"a", NewStr:"aaaa" );)");   // 1,020 characters fit
  Run(R"(StrReplace( String:long, OldStr:"a", NewStr:"aaaaa" );)");  // 1,275 do not
  EXPECT_EQ(LastError(), kOverLimit + "Result Over 1023 Characters");
  EXPECT_EQ(Var("StrReplace").text.size(), 1020u);
}

TEST_F(TextCommandsTest, StrSplitFillsAnArray) {
  Run(R"(AA[] = StrSplit( String:"AB_CD__EF", Split:"_" );)");
  EXPECT_EQ(Var("StrSplit").text, R"("AB","CD","","EF")");
  EXPECT_EQ(Var("AA[0xEFFFFFFF]").number, 4);
  EXPECT_EQ(Var("AA[3]").text, "EF");
  Run(R"(x = StrSplit( String:"1,2,3", Split:",", 2 );)");  // at most two parts
  EXPECT_EQ(Var("x").text, R"("1","2")");
  EXPECT_EQ(ErrorCount(), 0);
}

TEST_F(TextCommandsTest, RandomValue) {
  for (int i = 0; i < 50; ++i) {
    Run("r = RandomValue( RangeStart:5, RangeEnd:6, ShowResult:FALSE, ShowHex:TRUE );");
    EXPECT_EQ(DisplayText(Var("r")), "0x5");
  }
  // The widest range: its span does not fit a signed number.
  Run("r = RandomValue( RangeStart:0x8000000000000000, RangeEnd:0x7FFFFFFFFFFFFFFF, ShowResult:FALSE );");
  EXPECT_TRUE(Lines().empty());
  Run("RandomValue( RangeStart:0x10, RangeEnd:0x11, ShowResult:TRUE );");
  ASSERT_EQ(Lines().size(), 1u);
  EXPECT_EQ(Lines()[0].text, "RandomValue: 16 | 0x00000010");
  EXPECT_EQ(Lines()[0].colour, colour::kYellow);
  EXPECT_EQ(ErrorCount(), 0);
}

}  // namespace
}  // namespace kestrune::engine
