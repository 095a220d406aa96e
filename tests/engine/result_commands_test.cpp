// Result, ResultColumn and ResultHex driven through the statement executor.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/executor.h"
#include "engine/interpreter.h"
#include "engine/output_base.h"
#include "engine/view.h"
#include "platform/files.h"
#include "support/fake_host.h"
#include "support/statement_runner.h"

namespace kestrune::engine {
namespace {

using Lines = std::vector<std::string>;

RunSettings SettingsFor(const std::string& folder, const std::string& subBase = "") {
  RunSettings s;
  s.workFolder = folder;
  s.subBase = subBase;
  return s;
}

class ResultCommandsTest : public ::testing::Test {
 protected:
  ResultCommandsTest() : interp(host, SettingsFor(dir.path()), &console) {
    View& v = interp.view(0);
    testing::ReadyForStatements(v);  // errors are counted, the statements go on
    v.vars.SetText("_ErrorDesc", "");
  }

  // Runs one statement as the run thread does: pass after pass until it is done.
  // Keeps the completion code each pass reported.
  void Run(std::string statement) {
    console.lines.clear();
    reports = testing::RunStatement(interp, std::move(statement));
  }

  // A new command's output: its header line (a fresh "_Result.txt") and detail lines.
  void Command(const Lines& details) {
    interp.writer().WriteLine(interp.output(0), "Identify();", kHeader, 10, colour::kGreen);
    for (const std::string& d : details)
      interp.writer().WriteLine(interp.output(0), d, kDetail, 10, colour::kWhite);
  }

  // A command whose output announces a data file holding bytes.
  std::string CommandWithDataFile(const std::vector<uint8_t>& bytes) {
    std::string path = platform::JoinPath(dir.path(), "dump.Hex");
    EXPECT_TRUE(platform::WriteWholeFile(path, bytes));
    Command({"Data Length : 6"});
    interp.writer().WriteDataFile(interp.output(0), colour::kOrange, path, false);
    return path;
  }

  Value Var(std::string_view name) { return interp.view(0).vars.Get(name); }
  // The single completion code the last statement reported (0 when none); more than one fails.
  int32_t LastCode() { return testing::SingleCode(reports); }
  std::string LastDescription() { return testing::LastDescription(reports); }

  testing::TempDir dir;
  testing::FakeHost host;
  testing::CapturedConsole console;
  Interpreter interp;
  testing::PassReports reports;
};

void ExpectNumber(const Value& v, int64_t n, ValueType type = ValueType::kNumber) {
  EXPECT_EQ(v.type, type);
  EXPECT_EQ(v.number, n);
}

void ExpectText(const Value& v, std::string_view text) {
  EXPECT_EQ(v.type, ValueType::kText);
  EXPECT_EQ(v.text, text);
}

TEST_F(ResultCommandsTest, AlternativesFindWhicheverKeyTheLatestCommandPrinted) {
  Command({"Model Number : KX-1", "SN : 0042"});
  Run(R"(x = Result( KeyWord:"Serial Number|SN", ShowResult:TRUE );)");
  ExpectNumber(Var("x"), 42);
  EXPECT_EQ(console.lines, Lines{"        SN                                         = 42"});

  Command({"Serial Number : S/N 77"});
  Run(R"(x = Result( KeyWord:"Serial Number|SN", ShowResult:FALSE );)");
  ExpectText(Var("x"), "S/N 77");
  EXPECT_TRUE(console.lines.empty());
}

TEST_F(ResultCommandsTest, KeyWithBracketAnswersItsShortAndFullKey) {
  Command({"Temperature (Celsius) : 40"});
  Run(R"(a = Result( KeyWord:"Temperature" );)");
  Run("b = Result( KeyWord:\"Temperature (Celsius)\" );");
  Run(R"(c = Result( KeyWord:"Celsius" );)");  // the bracket key, from "_Result.txt"
  ExpectNumber(Var("a"), 40);
  ExpectNumber(Var("b"), 40);
  ExpectNumber(Var("c"), 40);
}

TEST_F(ResultCommandsTest, OlderCommandsAreNotSearched) {
  Command({"Model Number : KX-1"});
  Command({"Firmware : 1.0"});
  Run(R"(m = Result( KeyWord:"Model Number", ShowResult:TRUE, CovertType:"AUTO", Default:"none" );)");
  ExpectText(Var("m"), "none");
  EXPECT_EQ(console.lines, (Lines{"        No KeyWord [Model Number], Return DefaultStr",
                                  "        Model Number                               = none"}));
  EXPECT_EQ(interp.output(0)->lines[interp.output(0)->lines.size() - 2].colour, colour::kRed);
  EXPECT_EQ(LastCode(), 0);  // a missing key word is no error for Result
}

TEST_F(ResultCommandsTest, ConversionByCovertType) {
  struct Case {
    std::string value, covertType;
    Value expected;
    std::string shown;
  };
  const Case cases[] = {
      {"0x1F", "AUTO", Value::Hex(31), "0x1F"},        {"-12", "Auto", Value::Number(-12), "-12"},
      {"2.5", "auto", Value::Number(2), "2"},          {"12 MB", "Auto", Value::Text("12 MB"), "12 MB"},
      {"0x1F", "String", Value::Text("0x1F"), "0x1F"}, {"40 C", "Integer", Value::Number(40), "40"},
      {"abc", "INTEGER", Value::Number(0), "0"},       {"1f", "Hex", Value::Hex(31), "0x1F"},
      {"0x10", "hex", Value::Hex(16), "0x10"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value + " as " + c.covertType);
    Command({"Value : " + c.value});
    Run(R"(v = Result( KeyWord:"Value", ShowResult:TRUE, CovertType:")" + c.covertType + R"(" );)");
    Value v = Var("v");
    EXPECT_EQ(v.type, c.expected.type);
    EXPECT_EQ(v.number, c.expected.number);
    EXPECT_EQ(v.text, c.expected.text);
    ASSERT_EQ(console.lines.size(), 1u);
    EXPECT_EQ(console.lines[0], "        Value                                      = " + c.shown);
  }
}

TEST_F(ResultCommandsTest, LargeNumbersAreEchoedWhole) {
  Command({"Capacity : 5000000000"});
  Run(R"(v = Result( KeyWord:"Capacity" );)");
  ExpectNumber(Var("v"), 5000000000);
  EXPECT_EQ(console.lines, Lines{"        Capacity                                   = 5000000000"});
}

TEST_F(ResultCommandsTest, ResultColumnSplitsAtBars) {
  Command({"Lanes : a | b |c"});
  Run(R"(c0 = ResultColumn( KeyWord:"Lanes", Colume:0, ShowResult:FALSE );)");
  Run(R"(c2 = ResultColumn( KeyWord:"Lanes", Colume:2, ShowResult:TRUE );)");
  ExpectText(Var("c0"), "a");
  ExpectText(Var("c2"), "c");
  EXPECT_EQ(console.lines, Lines{"        Lanes[2] = c"});
  Command({"Pair : 7|0x20"});
  Run(R"(n = ResultColumn( KeyWord:"Pair", Colume:1, ShowResult:TRUE );)");
  ExpectNumber(Var("n"), 32, ValueType::kHex);
  EXPECT_EQ(console.lines, Lines{"        Pair[1] = 0x20"});
}

TEST_F(ResultCommandsTest, ResultColumnFailures) {
  Command({"Lanes : a|b|c"});
  Run(R"(c = ResultColumn( KeyWord:"Lanes", Colume:3 );)");
  EXPECT_EQ(LastCode(), -29);
  EXPECT_EQ(LastDescription(), "Cannot find ColumeId. ColumeId: 3");
  EXPECT_EQ(console.lines, (Lines{"        [Error Code]:  0xFFFFFFE3",
                                  "        [Error Desc]:  Cannot find ColumeId. ColumeId: 3",
                                  "        -- Error Count: 1 --"}));
  Run(R"(c = ResultColumn( KeyWord:"Lanes", Colume:-1 );)");
  EXPECT_EQ(LastCode(), -29);
  Run(R"(c = ResultColumn( KeyWord:"Width|Depth", Colume:1 );)");
  EXPECT_EQ(LastCode(), -28);
  EXPECT_EQ(LastDescription(), "Cannot find KeyWord. Width|Depth");
  ExpectText(Var("c"), "");  // counted once, and no value of an earlier call
}

TEST_F(ResultCommandsTest, ResultHexForms) {
  CommandWithDataFile({0x41, 0x42, 0x00, 0x43, 0x34, 0x12, 0xFF, 0x80, 0x01, 0x02, 0x03, 0x04});
  struct Case {
    std::string args;
    Value expected;
    std::string shown;
  };
  const Case cases[] = {
      {R"(ByteStart:4, Len:2, HexParse:"Num")", Value::Number(4660), "4660"},
      {R"(ByteStart:4, Len:8, HexParse:"Num")", Value::Number(0x04030201'80FF1234), "289077006564266548"},
      {R"(ByteStart:4, HexParse:"WORD")", Value::Hex(0x1234), "0x1234"},
      {R"(ByteStart:4, Len:1, HexParse:"BYTE")", Value::Hex(0x34), "0x34"},
      {R"(ByteStart:4, HexParse:"dword")", Value::Hex(0x80FF1234), "0x80FF1234"},
      {R"(ByteStart:4, HexParse:"ULONGLONG")", Value::Hex(0x0403020180FF1234), "0x0403020180FF1234"},
      {R"(Len:1, ByteStart:5, ReturnType:"NumX")", Value::Hex(0x12), "0x12"},
      {R"(ByteStart:0, Len:6, HexParse:"Hex")", Value::Text("414200433412"), "414200433412"},
      {R"(ByteStart:4, Len:3, HexParse:"HexDump")", Value::Text("34 12 FF "), "34 12 FF "},
      {R"(ByteStart:0, Len:6, HexParse:"String")", Value::Text("AB"), "AB"},
      {R"(ByteStart:3, Len:5, HexParse:"Str")", Value::Text("C4..."), "C4..."},
      {R"(ByteStart:0, Len:6, HexParse:"HexASCII")", Value::Text("AB.C4."), "AB.C4."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Run("d = ResultHex( " + c.args + ", ShowResult:TRUE );");
    Value v = Var("d");
    EXPECT_EQ(v.type, c.expected.type);
    EXPECT_EQ(v.number, c.expected.number);
    EXPECT_EQ(v.text, c.expected.text);
    EXPECT_EQ(console.lines, Lines{"        ResultHex        : " + c.shown});
    EXPECT_EQ(LastCode(), 0);
  }
}

TEST_F(ResultCommandsTest, ResultHexTakesPairsByNameOnly) {
  CommandWithDataFile({0, 0, 0, 0, 0x34, 0x12});
  Run(R"(d = ResultHex( Other:1, HexParse:"Num", Len:2, ByteStart:4 );)");  // ShowResult defaults to FALSE
  ExpectNumber(Var("d"), 4660);
  EXPECT_TRUE(console.lines.empty());
  Run(R"(d = ResultHex( 4, 2, "Num" );)");  // unnamed pairs are ignored: no form
  EXPECT_EQ(LastCode(), -26);
}

TEST_F(ResultCommandsTest, ResultHexFailures) {
  struct Case {
    std::string args;
    int32_t code;
    std::string description;
  };
  const Case withFile[] = {
      {R"(Len:3, HexParse:"Num")", -26, "Script Variable Type Error. Num only support Len 1,2,4,8"},
      {R"(Len:0, HexParse:"NumX")", -26, "Script Variable Type Error. NumX only support Len 1,2,4,8"},
      {R"(Len:2, HexParse:"Float")", -26, "Script Variable Type Error. ReturnType Error"},
      {R"(Len:2)", -26, "Script Variable Type Error. ReturnType Error"},
      {R"(ByteStart:5, Len:2, HexParse:"Hex")", -11, "File Open Fail or File Does Not Exist. "},
      {R"(ByteStart:7, HexParse:"RawBinary")", -11, "File Open Fail or File Does Not Exist. "},
      {R"(ByteStart:-1, Len:2, HexParse:"Hex")", -2,
       "Parameters not match spec or over limit. ByteStart and Len must not be negative"},
  };
  CommandWithDataFile({1, 2, 3, 4, 5, 6});
  for (const Case& c : withFile) {
    SCOPED_TRACE(c.args);
    interp.view(0).vars.SetText("d", "stale");
    Run("d = ResultHex( " + c.args + " );");
    EXPECT_EQ(LastCode(), c.code);
    EXPECT_EQ(LastDescription(), c.description);
    ExpectText(Var("d"), "");
  }

  Command({"No data file here : 1"});  // no FINDHEX in this command's result file
  Run(R"(d = ResultHex( Len:2, HexParse:"Hex" );)");
  EXPECT_EQ(LastCode(), -11);

  CommandWithDataFile({});
  Run(R"(d = ResultHex( Len:0, HexParse:"Hex" );)");
  EXPECT_EQ(LastCode(), -11);
}

TEST_F(ResultCommandsTest, ResultHexLimitsLenTo256) {
  std::vector<uint8_t> bytes(300, 0xAB);
  CommandWithDataFile(bytes);
  Run(R"(d = ResultHex( Len:300, HexParse:"Hex" );)");
  EXPECT_EQ(Var("d").text.size(), 512u);
}

TEST_F(ResultCommandsTest, RawBinaryWritesTheBytesToTheOutputBaseName) {
  CommandWithDataFile({1, 2, 3, 4, 5, 6});
  std::string expected = OutputBaseName(interp, 0) + ".raw";
  EXPECT_EQ(expected, platform::JoinPath(dir.path(), "R0000000002.raw"));
  Run(R"(d = ResultHex( ByteStart:2, HexParse:"RawBinary", ShowResult:TRUE );)");
  ExpectText(Var("d"), expected);
  EXPECT_EQ(console.lines, Lines{"        ResultHex        : " + expected});
  EXPECT_EQ(platform::ReadWholeFile(expected), (std::vector<uint8_t>{3, 4, 5, 6}));

  Run(R"(d = ResultHex( ByteStart:1, Len:2, HexParse:"RawBinary", SaveFile:"part.bin" );)");
  std::string part = platform::JoinPath(dir.path(), "part.bin");
  ExpectText(Var("d"), part);
  EXPECT_EQ(platform::ReadWholeFile(part), (std::vector<uint8_t>{2, 3}));

  Run(R"(d = ResultHex( HexParse:"RawBinary", SaveFile:"/nonexistent/folder/x.bin" );)");
  EXPECT_EQ(LastCode(), -21);
}

TEST(OutputBaseName, ChildRunsUseTheBaseNameTheirParentGave) {
  testing::TempDir dir;
  testing::FakeHost host;
  Interpreter interp(host, SettingsFor(dir.path(), "/parent/log/R0000000012"), nullptr);
  interp.writer().WriteLine(interp.output(0), "line", kDetail, 10, colour::kWhite);
  EXPECT_EQ(OutputBaseName(interp, 0), "/parent/log/R0000000012");
  Interpreter plain(host, SettingsFor(dir.path()), nullptr);
  for (int i = 0; i < 12; ++i) plain.writer().WriteLine(plain.output(0), "line", kDetail, 10, colour::kWhite);
  EXPECT_EQ(OutputBaseName(plain, 0), platform::JoinPath(dir.path(), "R0000000012"));
}

}  // namespace
}  // namespace kestrune::engine
