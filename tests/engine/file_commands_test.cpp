// Report_Print, CSV_AddData, MergeCSVs, FileRename, the file queries, the log folder commands, Cls
// and LogUpload, run as scripts; the CSV and upload-folder rules also as tables.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "engine/csv_rows.h"
#include "engine/log_upload.h"
#include "script_run_fixture.h"

namespace kestrune::engine {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using FileCommandsTest = ScriptRunFixture<>;

struct CsvAddCase {
  const char* name;
  std::string_view before;
  std::string_view item;
  std::string_view output;
  bool appendOnTail;
  std::string_view after;
};

// clang-format off
const CsvAddCase kCsvAddCases[] = {
  {"appends at the row's end",              "Temp,1\r\n", "Temp", "2", true,  "Temp,1,2\r\n"},
  {"inserts right after the item",          "Temp,1\r\n", "Temp", "2", false, "Temp,2,1\r\n"},
  {"matches the whole first field only",    "Temperature,40\r\n", "Temp", "1", true, "Temperature,40\r\nTemp,1\r\n"},
  {"finds a row that is just the item",     "A\r\nTemp\r\n", "Temp", "5", true, "A\r\nTemp,5\r\n"},
  {"takes the first matching row",          "A,1\r\nA,2\r\n", "A", "3", true, "A,1,3\r\nA,2\r\n"},
  {"ends an unterminated last row first",   "A,1", "B", "2", true, "A,1\r\nB,2\r\n"},
  {"extends an unterminated last row",      "A,1", "A", "2", true, "A,1,2"},
  {"keeps LF rows",                         "A,1\nB,2\n", "B", "3", true, "A,1\nB,2,3\n"},
  {"an empty output appends the bare item", "A,1\r\n", "A", "", true, "A,1\r\nA\r\n"},
  {"starts a new file",                     "", "A", "1", true, "A,1\r\n"},
};
// clang-format on

TEST(CsvRowsTest, AddCsvData) {
  for (const CsvAddCase& c : kCsvAddCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AddCsvData(c.before, c.item, c.output, c.appendOnTail), c.after);
  }
}

struct MergeCase {
  const char* name;
  std::vector<std::string> texts;
  std::string_view merged;
};

TEST(CsvRowsTest, MergeCsvTextsSideBySide) {
  // clang-format off
  const MergeCase cases[] = {
    {"an item missing from one file leaves its cells empty",
     {"Model,X\r\nSeqRead,3000\r\n", "Model,Y\r\nRandRead,500\r\n"},
     "Model,X,Y\r\nSeqRead,3000,\r\nRandRead,,500\r\n"},
    {"each file fills a block as wide as its widest row",
     {"A,1,2\r\nB,3\r\n", "A,4\r\nB,5\r\n"},
     "A,1,2,4\r\nB,3,,5\r\n"},
    {"an item listed twice pairs up in order", {"T,1\r\nT,2\r\n", "T,3\r\n"}, "T,1,3\r\nT,2,\r\n"},
    {"quoted fields keep their commas", {"\"a,b\",1\r\n", "\"a,b\",2\n"}, "\"a,b\",1,2\r\n"},
    {"empty lines go, the first file's byte-order mark stays",
     {"\xEF\xBB\xBF" "A,1\r\n\r\n", "\xEF\xBB\xBF" "A,2"}, "\xEF\xBB\xBF" "A,1,2\r\n"},
    {"one file is squared up", {"A\r\nB,1\r\n"}, "A,\r\nB,1\r\n"},
  };
  // clang-format on
  for (const MergeCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MergeCsvTexts(c.texts), c.merged);
  }
}

TEST(LogUploadTest, ResolveUploadFolder) {
  struct Case {
    std::string_view text;
    char separator;
    std::string_view folder;
  };
  // clang-format off
  const Case cases[] = {
    {"\\\\server\\share\\logs", '\\', "\\\\server\\share\\logs"},  // UNC stays a full path
    {"//server/share/logs",     '\\', "\\\\server\\share\\logs"},
    {"D:/logs",                 '\\', "D:\\logs"},
    {".\\logs",                 '\\', "C:\\prog\\.\\logs"},          // "." : the program's folder
    {"logs/run1",               '\\', "C:\\scripts\\logs\\run1"},    // else the script folder
    {"/var/log/k",              '/',  "/var/log/k"},
    {"\\\\server\\share",       '/',  "//server/share"},
    {"logs\\run1",              '/',  "C:\\scripts/logs/run1"},
    {"  ",                      '/',  ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ResolveUploadFolder(c.text, "C:\\prog", "C:\\scripts", c.separator), c.folder);
  }
}

TEST_F(FileCommandsTest, ReportPrintAppendsOrReplaces) {
  std::string elsewhere = platform::JoinPath(dir.path(), "elsewhere.txt");
  Run(R"(
      Report_Print( File:"report.txt", Output:"line1\nline2\n" );
      Report_Print( File:"report.txt", Output:"line3" );
      Report_Print( File:"fresh.txt", Output:"old" );
      Report_Print( File:"fresh.txt", Output:"new\n", Append:FALSE );
      Report_Print( File:")" +
      elsewhere + R"(", Output:"full path" );
  )");
  EXPECT_EQ(Read(Work("report.txt")), "line1\r\nline2\r\nline3");
  EXPECT_EQ(Read(Work("fresh.txt")), "new\r\n");
  EXPECT_EQ(Read(elsewhere), "full path");
}

TEST_F(FileCommandsTest, AnEmptyFileNameCancelsTheRunAndWritesNothing) {
  for (const char* statement :
       {R"(Report_Print( File:"", Output:"x" );)", R"(CSV_AddData( Item:"A", Output:"1" );)",
        R"(MergeCSVs( File:"", SrcFile:"a.csv" );)"}) {
    SCOPED_TRACE(statement);
    const Lines& out = Run(std::string(statement) + R"( Print( Output:"after" );)");
    EXPECT_EQ(out, (Lines{D("---- Cancel Job ----")}));
    EXPECT_EQ(platform::ListFiles(work), Lines{});
  }
}

TEST_F(FileCommandsTest, CsvAddDataBuildsOneRowPerItem) {
  const Lines& out = Run(R"(
      SetErrorSkip( SkipCount:1 );
      CSV_AddData( File:"data.csv", Item:"Temperature", Output:40 );
      CSV_AddData( File:"data.csv", Item:"Temp", Output:"A" );
      CSV_AddData( File:"data.csv", Item:"Temp", Output:"B" );
      CSV_AddData( File:"data.csv", Item:"Temperature", Output:"first", AppendOnTail:FALSE );
      CSV_AddData( File:"data.csv", Item:"", Output:"x" );
  )");
  EXPECT_EQ(Read(Work("data.csv")), "Temperature,first,40\r\nTemp,A,B\r\n");
  EXPECT_EQ(out, (Lines{D("[Error Code]:  0xFFFFFFFE"),
                        D("[Error Desc]:  Parameters not match spec or over limit. Must ItemName"),
                        D("-- Error Count: 1 --")}));
}

TEST_F(FileCommandsTest, MergeCsvsWritesTheMergedFile) {
  Write(Work("a.csv"), "Model,X\r\nSeqRead,3000\r\n");
  Write(platform::JoinPath(scripts, "b.csv"), "Model,Y\r\nRandRead,500\r\n");
  const Lines& out = Run(R"(
      SetErrorSkip( SkipCount:1 );
      n = MergeCSVs( File:"all.csv", SrcFile:"a.csv", SrcFile:"b.csv" );
      Print( Output:n );
      m = MergeCSVs( File:"none.csv", SrcFile:"a.csv", SrcFile:"nope.csv" );
  )");
  EXPECT_EQ(Read(Work("all.csv")), "Model,X,Y\r\nSeqRead,3000,\r\nRandRead,,500\r\n");
  EXPECT_FALSE(platform::FileExists(Work("none.csv")));
  EXPECT_EQ(out, (Lines{D("MergeCSVs To " + Work("all.csv")), D("3"), D("[Error Code]:  0xFFFFFFF5"),
                        D("[Error Desc]:  File Open Fail or File Does Not Exist. nope.csv"),
                        D("-- Error Count: 1 --")}));
}

TEST_F(FileCommandsTest, FileRenameAndFileQueries) {
  Write(Work("a.txt"), "x");
  Write(Work("c.txt"), "yy");
  const Lines& out = Run(R"(
      SetErrorSkip( SkipCount:10 );
      r = FileRename( SrcFile:"a.txt", DestFile:"b.txt" );
      Print( Output:r );
      r = FileRename( SrcFile:"b.txt", DestFile:"c.txt" );
      Print( Output:r );
      r = FileRename( SrcFile:"b.txt", DestFile:"" );
      r = FileRename( SrcFile:"missing.txt", DestFile:"d.txt" );
      s = GetFileSize( File:")" +
                         Work("c.txt") + R"(" );
      Print( Output:s );
      s = GetFileSize( File:"c.txt" );
      Print( Output:s );
      e = IsFileExist( File:"b.txt" );
      Print( Output:e );
      e = IsFileExist( File:"a.txt" );
      Print( Output:e );
  )");
  EXPECT_EQ(Read(Work("b.txt")), "x");
  EXPECT_FALSE(platform::FileExists(Work("a.txt")));
  EXPECT_EQ(
      out,
      (Lines{D("1"), D("[Error Code]:  0xFFFFFFEB"), D("[Error Desc]:  Output File Fail. DestFile is Exist."),
             D("-- Error Count: 1 --"), D("0"), D("[Error Code]:  0xFFFFFFEB"),
             D("[Error Desc]:  Output File Fail. DestFile is Empty."), D("-- Error Count: 2 --"),
             D("[Error Code]:  0xFFFFFFF5"),
             D("[Error Desc]:  File Open Fail or File Does Not Exist. missing.txt"),
             D("-- Error Count: 3 --"), D("2"), D("0"),  // GetFileSize takes the name as written: no lookup
             D("1"), D("0")}));
}

TEST_F(FileCommandsTest, GetLogFolderShowsOnlyWhenAsked) {
  const Lines& out = Run(R"(
      f = GetLogFolder();
      Print( Output:f );
      g = LogFolder( JobPath:FALSE, ShowResult:TRUE );
  )");
  EXPECT_EQ(out, (Lines{D(work), D(work)}));
}

TEST_F(FileCommandsTest, SetLogFolderCopiesTheLogFolderAtRunEnd) {
  settings.subParam = "a$";  // the run writes "_InitParam.txt", which is not copied
  std::string upload = platform::JoinPath(scripts, "upload/run1");
  const Lines& out = Run(R"(
      SetLogFolder( Output:"upload\run1" );
      Report_Print( File:"report.txt", Output:"x" );
      Print( Output:"done" );
  )");
  EXPECT_EQ(out, (Lines{D("SetLogFolder To " + upload), D("done")}));
  EXPECT_EQ(platform::ListFiles(upload), Lines{"report.txt"});

  // The next run starts without a destination.
  Run(R"(Report_Print( File:"second.txt", Output:"x" );)");
  EXPECT_EQ(platform::ListFiles(upload), Lines{"report.txt"});
}

TEST_F(FileCommandsTest, LogUploadCopiesNowIntoANamedFolder) {
  const Lines& out = Run(R"(
      SetErrorSkip( SkipCount:5 );
      d = LogUpload( LogName:"Burnin" );
      SetLogFolder( Output:"up" );
      Report_Print( File:"r.txt", Output:"x" );
      d = LogUpload( LogName:"Burnin", Param:"SN:12/3", Param:"", Param:"FW1" );
      Print( Output:d );
  )");
  std::string target = platform::JoinPath(scripts, "up/Burnin_SN_12_3_FW1");
  EXPECT_EQ(
      out,
      (Lines{
          D("[Error Code]:  0xFFFFFFFE"),
          D("[Error Desc]:  Parameters not match spec or over limit. No upload folder: SetLogFolder first"),
          D("-- Error Count: 1 --"), D("SetLogFolder To " + platform::JoinPath(scripts, "up")),
          D("LogUpload To " + target), D(target)}));
  EXPECT_EQ(platform::ListFiles(target), Lines{"r.txt"});
  EXPECT_EQ(platform::ListFiles(platform::JoinPath(scripts, "up")), Lines{"r.txt"});
}

// A clock that moves a second on every reading, so that the run has a measurable start.
class TickingHost : public testing::FakeHost {
 public:
  uint64_t MonotonicMs() const override { return ticks += 1000; }
  mutable uint64_t ticks = 0;
};

using ClsTest = ScriptRunFixture<TickingHost>;

TEST_F(ClsTest, ClearsTheListAndDeletesOnlyThisRunsDumps) {
  Write(Work("package.hex"), "from the package");
  fs::last_write_time(Work("package.hex"), fs::file_time_type::clock::now() - std::chrono::hours(1));
  Write(Work("notes.txt"), "kept");
  Run(R"(
      Report_Print( File:"dump.hex", Output:"x" );
      Report_Print( File:"DUMP2.HEX", Output:"x" );
      Print( Output:"before" );
      Cls();
      Print( Output:"after" );
  )");
  EXPECT_EQ(platform::ListFiles(work), (Lines{"notes.txt", "package.hex"}));
  ASSERT_EQ(interp->output(0)->lines.size(), 1u);
  EXPECT_EQ(interp->output(0)->lines[0].text, "after");
}

}  // namespace
}  // namespace kestrune::engine
