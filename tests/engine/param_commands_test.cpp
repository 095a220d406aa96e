// InitParam_Data, InitParam_List, GetINIData, SetINIData and the program queries, run as scripts.
#include <gtest/gtest.h>

#include "script_run_fixture.h"

namespace kestrune::engine {
namespace {

using Lines = std::vector<std::string>;
using ParamCommandsTest = ScriptRunFixture<>;

TEST_F(ParamCommandsTest, InitParamDataReadsTheWordsOfTheCommandLine) {
  settings.subParam = "alpha$count=3$";
  settings.initCommand = "--go";
  const Lines& out = Run(R"(
      a = InitParam_Data( KeyWord:"Init_Param0" );
      n = InitParam_Data( KeyWord:"count", ShowResult:FALSE );
      m = n + 1;
      Print( Output:m );
      s = InitParam_Data( KeyWord:"count", ShowResult:FALSE, CovertType:"String" );
      t = s + 1;
      Print( Output:t );
      h = InitParam_Data( KeyWord:"none|count", CovertType:"Hex" );
      c = InitParam_Data( KeyWord:"Init_Command" );
      d = InitParam_Data( KeyWord:"missing", ShowResult:TRUE, CovertType:"AUTO", Default:"none" );
  )");
  EXPECT_EQ(out, (Lines{D("alpha"), D("4"), D("31"), D("0x3"), D("--go"), D("none")}));
  EXPECT_FALSE(platform::FileExists(Work("_InitParam.txt")));  // deleted at run end
}

TEST_F(ParamCommandsTest, InitParamDataWithoutParametersGivesTheDefault) {
  const Lines& out =
      Run(R"(x = InitParam_Data( KeyWord:"Init_Param0", ShowResult:TRUE, CovertType:"AUTO", Default:7 );
                            y = x * 2;
                            Print( Output:y );)");
  EXPECT_EQ(out, (Lines{D("7"), D("14")}));
}

TEST_F(ParamCommandsTest, InitParamListGivesEveryLineAsAnArray) {
  settings.subParam = "alpha$count=3$";
  const Lines& out = Run(R"(
      A[] = InitParam_List( ShowResult:TRUE );
      n = ArrayLen( Array:A[] );
      Print( Output:n );
      Print( Output:A[2] );
  )");
  EXPECT_EQ(out, (Lines{D("Init_Command:"), D("Init_Param0:alpha"), D("count:3"), D("3"), D("count:3")}));
}

TEST_F(ParamCommandsTest, InitParamListKeepsWholeItemsWithinATextVariable) {
  std::string word(200, 'w');
  for (int i = 0; i < 6; ++i) settings.subParam += word + "$";
  const Lines& out = Run(R"(
      A[] = InitParam_List( ShowResult:FALSE );
      n = ArrayLen( Array:A[] );
      Print( Output:n );
      Print( Output:A[4] );
  )");
  // "Init_Command:" and four words fit into 1,023 characters; a fifth would be cut.
  EXPECT_EQ(out, (Lines{D("5"), D("Init_Param3:" + word)}));
}

TEST_F(ParamCommandsTest, SetAndGetIniDataRoundTrip) {
  const Lines& out = Run(R"(
      SetINIData( Section:"Station", Item:"Slot", Output:7, File:"station.ini" );
      SetINIData( Item:"ErrCode", Output:"0x1F", File:"station.ini" );
      v = GetINIData( Section:"STATION", Item:"slot", File:"station.ini" );
      w = v + 1;
      Print( Output:w );
      h = GetINIData( Section:"Station", Item:"Slot", CovertType:"Hex", File:"station.ini" );
      Print( Output:h );
      e = GetINIData( Item:"errcode", File:"station.ini" );
      Print( Output:e );
      d = GetINIData( Section:"Station", Item:"none", File:"station.ini" );
      Print( Output:d );
      t = GetINIData( Section:"Station", Item:"Slot", CovertType:"String", Default:"", File:"station.ini" );
      u = t + 1;
      Print( Output:u );
  )");
  EXPECT_EQ(out, (Lines{D("8"), D("0x7"), D("0x1F"), D("ERR"), D("71")}));
  // A new file goes to the log folder.
  EXPECT_EQ(Read(Work("station.ini")), "[Station]\r\nSlot=7\r\n[LogData]\r\nErrCode=0x1F\r\n");
}

TEST_F(ParamCommandsTest, SetIniDataWritesAnExistingFileWhereGetIniDataFindsIt) {
  std::string lab = platform::JoinPath(scripts, "lab.ini");
  Write(lab, "; lab settings\r\n[Lab]\r\nName = old\r\n");
  Run(R"(SetINIData( Section:"lab", Item:"name", Output:"new", File:"lab.ini", Flush:TRUE );)");
  EXPECT_EQ(Read(lab), "; lab settings\r\n[Lab]\r\nName = new\r\n");
  EXPECT_FALSE(platform::FileExists(Work("lab.ini")));
}

TEST_F(ParamCommandsTest, IniFailures) {
  const Lines& out = Run(R"(
      SetErrorSkip( SkipCount:5 );
      v = GetINIData( Section:"A", Item:"k", File:"nope.ini" );
      SetINIData( Section:"A", Item:"k=1", Output:"v", File:"x.ini" );
  )");
  EXPECT_EQ(out, (Lines{D("[Error Code]:  0xFFFFFFF5"),
                        D("[Error Desc]:  File Open Fail or File Does Not Exist. nope.ini"),
                        D("-- Error Count: 1 --"), D("[Error Code]:  0xFFFFFFFE"),
                        D("[Error Desc]:  Parameters not match spec or over limit. [A] k=1 cannot be stored"),
                        D("-- Error Count: 2 --")}));
  EXPECT_FALSE(platform::FileExists(Work("x.ini")));
}

TEST_F(ParamCommandsTest, AnEmptyIniFileNameCancelsTheRun) {
  for (const char* statement : {R"(SetINIData( Section:"A", Item:"k", Output:"v" );)",
                                R"(v = GetINIData( Section:"A", Item:"k", File:"" );)"}) {
    SCOPED_TRACE(statement);
    const Lines& out = Run(std::string(statement) + R"( Print( Output:"after" );)");
    EXPECT_EQ(out, (Lines{D("---- Cancel Job ----")}));
    EXPECT_TRUE(Cancelled());
    EXPECT_EQ(platform::ListFiles(work), Lines{});
  }
}

TEST_F(ParamCommandsTest, ProgramAndViewQueries) {
  const Lines& out = Run(R"(
      f = ScpxFolder( ShowResult:TRUE );
      n = APFileName( ShowResult:FALSE );
      Print( Output:n );
      v = GetViewID();
      w = v + 10;
      Print( Output:w );
      o = IsWinOS();
      Print( Output:o );
  )");
#ifdef _WIN32
  const char* windows = "1";
#else
  const char* windows = "0";
#endif
  EXPECT_EQ(out, (Lines{D(settings.programFolder), D("kestrune"), D("10"), D(windows)}));
}

}  // namespace
}  // namespace kestrune::engine
