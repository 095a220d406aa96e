// The file test commands over the lab's file layer on a real temporary folder: the bytes File_Write
// leaves, faults where a script cannot reach them (a full disk, a failed read, a flip seen once or
// on every read, a cancel at a given byte), the jobs' states and their failures, the copies and
// the deletes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/bytes.h"
#include "base/completion_codes.h"
#include "engine/command_fixture.h"
#include "platform/files.h"
#include "sim/lab_files.h"
#include "workloads/file_commands.h"
#include "workloads/file_data.h"
#include "workloads/file_handlers.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;
constexpr uint64_t kMiB = 1024 * 1024;

// Holds every write (or, with kFlushes, every flush) of the files it wraps until it is opened, or
// until the watched flag (a job's cancel) turns true: a job that cannot finish before the test has
// looked at it. Counts the flushes, keeps the file's size at the last one, and may fail them.
class GatedFiles final : public platform::JobFiles {
 public:
  enum Gate { kWrites, kFlushes };
  explicit GatedFiles(std::shared_ptr<platform::JobFiles> inner, Gate gate = kWrites)
      : inner_(std::move(inner)), gate_(gate) {}
  struct File final : platform::JobFile {
    File(std::unique_ptr<platform::JobFile> f, GatedFiles& g) : inner(std::move(f)), gate(g) {}
    uint64_t Size() override { return inner->Size(); }
    bool unbuffered() const override { return inner->unbuffered(); }
    platform::FileIo ReadAt(uint64_t o, std::span<uint8_t> b) override { return inner->ReadAt(o, b); }
    platform::FileIo WriteAt(uint64_t o, std::span<const uint8_t> b) override {
      if (gate.gate_ == kWrites) gate.Wait();
      return inner->WriteAt(o, b);
    }
    bool Flush(std::string& why) override {
      gate.sizeAtFlush = inner->Size();
      ++gate.flushes;
      if (gate.gate_ == kFlushes) gate.Wait();
      if (gate.failFlush) return why = "injected flush failure", false;
      return inner->Flush(why);
    }
    std::unique_ptr<platform::JobFile> inner;
    GatedFiles& gate;
  };
  std::unique_ptr<platform::JobFile> Open(const std::string& p, platform::FileAccess a,
                                          std::string& why) override {
    std::unique_ptr<platform::JobFile> f = inner_->Open(p, a, why);
    return f ? std::make_unique<File>(std::move(f), *this) : nullptr;
  }
  platform::FileStat Stat(const std::string& p) override { return inner_->Stat(p); }
  std::vector<std::string> ListFiles(const std::string& f) override { return inner_->ListFiles(f); }
  bool Remove(const std::string& p) override { return inner_->Remove(p); }

  std::atomic<int> flushes{0};
  std::atomic<uint64_t> sizeAtFlush{0};
  bool failFlush = false;

  void Open() {
    std::lock_guard<std::mutex> g(lock_);
    open_ = true;
    changed_.notify_all();
  }
  void Watch(const std::atomic<bool>* flag) {
    std::lock_guard<std::mutex> g(lock_);
    watched_ = flag;
    changed_.notify_all();
  }

 private:
  void Wait() {
    std::unique_lock<std::mutex> l(lock_);
    while (!open_ && !(watched_ && watched_->load())) changed_.wait_for(l, std::chrono::milliseconds(1));
  }
  std::shared_ptr<platform::JobFiles> inner_;
  Gate gate_;
  std::mutex lock_;
  std::condition_variable changed_;
  bool open_ = false;
  const std::atomic<bool>* watched_ = nullptr;
};

class FileJobsTest : public engine::CommandFixture<> {
 protected:
  FileJobsTest() { EXPECT_TRUE(RegisterFileTestCommands(interp).empty()); }
  ~FileJobsTest() override { EndFileJobs(interp, 0); }

  // The lab's file layer with these rules (a copy: the cancel pointer goes with it).
  void Use(std::vector<sim::FileFaults> rules) {
    UseJobFiles(interp, sim::MakeLabJobFiles(platform::SystemJobFiles(), std::move(rules), host));
  }
  std::string Path(const std::string& name) { return platform::JoinPath(dir.path(), name); }
  // Runs a statement; its one completion code (0 when none) and the description.
  int32_t Code(const std::string& statement) {
    last = testing::RunStatement(interp, statement);
    return testing::SingleCode(last);
  }
  std::string Detail() { return testing::LastDescription(last); }
  bool Shows(const std::string& text) {
    for (const engine::OutputLine& l : Lines())
      if (l.text.find(text) != std::string::npos) return true;
    return false;
  }
  int32_t WriteFile(const std::string& name, uint64_t bytes, const std::string& more = "0x12345678") {
    return Code("File_Write( File:\"" + Path(name) + "\", DataLenByte:" + std::to_string(bytes) +
                ", WritePattern:" + more + " );");
  }
  testing::PassReports last;
};

TEST_F(FileJobsTest, WriteLaysPatternAndOffsetMarksThatTheCompareAccepts) {
  Use({});
  ASSERT_EQ(WriteFile("a.bin", 2 * kMiB + 700), 0);
  const std::vector<uint8_t> bytes = platform::ReadWholeFile(Path("a.bin")).value();
  ASSERT_EQ(bytes.size(), 2 * kMiB + 700);
  for (uint64_t unit : {uint64_t{0}, uint64_t{512}, kMiB, 2 * kMiB + 512}) {
    EXPECT_EQ(base::GetLe64(bytes.data() + unit), unit);
    EXPECT_EQ(bytes[unit + 8], 0x12) << unit;
    EXPECT_EQ(bytes[unit + 11], 0x78) << unit;
  }
  EXPECT_TRUE(Shows("Pattern     : 0x12345678"));
  EXPECT_TRUE(Shows("File Job 1 : 2097852 bytes in"));
  EXPECT_EQ(Var("_FThread1").number, kWriteJobFinished);
  EXPECT_EQ(Var("File_Write").number, 1);
  // From the start and from an offset inside a unit, with the marks; without them it differs.
  for (const char* offset : {"0", "1000", "2097651"}) {
    EXPECT_EQ(Code("File_CompareWithPattern( File:\"" + Path("a.bin") +
                   "\", Pattern:0x12345678, CheckHead:TRUE, OffsetByte:" + offset + " );"),
              0)
        << offset << Detail();
  }
  EXPECT_EQ(
      Code("File_CompareWithPattern( File:\"" + Path("a.bin") + "\", Pattern:0x12345678, CheckHead:FALSE );"),
      code::kMiscompareTwice);
  EXPECT_NE(Detail().find("Miscompare File Offset : 0x0"), std::string::npos) << Detail();
}

// Each fault on one file of 3 MiB + 100 bytes, written once, and what each command makes of it.
struct FaultCase {
  const char* what;
  sim::FileFaults faults;
  std::string statement;  // "%F" is the file, "%G" a clean copy of it
  int32_t code;
  std::string detail;  // a part of the description
};

TEST_F(FileJobsTest, FaultsReachTheCommandsAsTheirCodes) {
  auto rule = [](auto set) {
    sim::FileFaults f;
    f.name = "f.bin";
    set(f);
    return f;
  };
  const uint64_t flip = 2 * kMiB + 1234;  // in the third MiB, unit 0x200400
  const std::vector<FaultCase> cases = {
      {"disk full", rule([](auto& f) { f.fullAt = kMiB + kMiB / 2; }), "", code::kWriteFailed,
       "Disk full at offset 0x100000"},
      {"flip once, pattern", rule([&](auto& f) { f.flipAt = flip; }),
       "File_CompareWithPattern( File:\"%F\", Pattern:0x12345678, CheckHead:TRUE, OffsetByte:1000 );",
       code::kMiscompareThenCorrect, "Miscompare File Offset : 0x200400"},
      {"flip always, pattern", rule([&](auto& f) {
         f.flipAt = flip;
         f.flipEveryRead = true;
       }),
       "File_CompareWithPattern( File:\"%F\", Pattern:0x12345678, CheckHead:TRUE, OffsetByte:0 );",
       code::kMiscompareTwice, "Miscompare File Offset : 0x200400"},
      {"flip once, files", rule([&](auto& f) { f.flipAt = flip; }),
       "File_Compare( FromFile:\"%G\", ToFile:\"%F\" );", code::kMiscompareThenCorrect,
       "Miscompare Offset: 0x200400"},
      {"flip always, files", rule([&](auto& f) {
         f.flipAt = flip;
         f.flipEveryRead = true;
       }),
       "File_Compare( FromFile:\"%F\", ToFile:\"%G\" );", code::kMiscompareTwice,
       "Miscompare Offset: 0x200400"},
      {"read fails, files", rule([&](auto& f) { f.readFailAt = flip; }),
       "File_Compare( FromFile:\"%G\", ToFile:\"%F\" );", code::kReadFailed, "injected read failure"},
      {"read fails, job", rule([&](auto& f) { f.readFailAt = flip; }),
       "File_Read( File:\"%F\", OffsetByte:0, DataLenByte:0 );", code::kReadFailed,
       "Read failed at offset 0x200000"},
      {"read fails, pattern", rule([&](auto& f) { f.readFailAt = flip; }),
       "File_CompareWithPattern( File:\"%F\", Pattern:0x12345678 );", code::kReadFailed,
       "Read failed at offset 0x0"},
      {"offset at the end",
       {},
       "File_Read( File:\"%F\", OffsetByte:3145828, DataLenByte:0 );",
       code::kError,
       "Offset must < FileSize"},
      {"negative length",
       {},
       "File_Read( File:\"%F\", OffsetByte:0, DataLenByte:-1 );",
       code::kBadParameter,
       ""},
      {"AUTO",
       {},
       "File_CompareWithPattern( File:\"%F\", Pattern:\"AUTO\" );",
       code::kBadParameter,
       "Cannot support AUTO Pattern"},
      {"size differs",
       {},
       "File_Compare( FromFile:\"%F\", ToFile:\"%S\" );",
       code::kCompareSizeDifferent,
       ""},
      {"missing",
       {},
       "File_Compare( FromFile:\"%M\", ToFile:\"%F\" );",
       code::kFileOpenFailed,
       "missing.bin"},
  };
  Use({});
  ASSERT_EQ(WriteFile("g.bin", 3 * kMiB + 100), 0);
  ASSERT_EQ(WriteFile("s.bin", 3 * kMiB), 0);
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.what);
    Use({c.faults});
    const int32_t written = WriteFile("f.bin", 3 * kMiB + 100);
    std::string statement = c.statement;
    for (auto [mark, name] : {std::pair{"%F", "f.bin"}, std::pair{"%G", "g.bin"}, std::pair{"%S", "s.bin"},
                              std::pair{"%M", "missing.bin"}})
      for (size_t at; (at = statement.find(mark)) != std::string::npos;) statement.replace(at, 2, Path(name));
    const int32_t got = statement.empty() ? written : Code(statement);
    EXPECT_EQ(got, c.code);
    EXPECT_NE(Detail().find(c.detail), std::string::npos) << Detail();
  }
}

TEST_F(FileJobsTest, AJobThatIsNotWaitedForIsPolledAndReportsItsFailureOnce) {
  auto gated = std::make_shared<GatedFiles>(platform::SystemJobFiles());
  UseJobFiles(interp, gated);
  EXPECT_EQ(Code("J0 = File_Write( File:\"" + Path("w.bin") +
                 "\", DataLenMB:3, WritePattern:0, WaitFinish:FALSE );"),
            0);
  const int64_t id = Var("J0").number;
  EXPECT_EQ(Code("S = File_JobState( JobID:J0 );"), 0);
  EXPECT_EQ(Var("S").number, kWriteJobRunning);
  gated->Open();
  FileJobTable::Join(*FileStateOf(interp).jobs.Find(0, id), true);
  EXPECT_EQ(Code("S = File_JobState( JobID:J0 );"), 0);
  EXPECT_EQ(Var("S").number, kWriteJobFinished);
  EXPECT_EQ(Code("S = File_JobState( JobID:12345 );"), code::kBadParameter);

  // A failure waits for the poll that sees the job finished, and is told once.
  sim::FileFaults full;
  full.name = "full.bin";
  full.fullAt = 4096;
  Use({full});
  EXPECT_EQ(Code("J1 = File_Write( File:\"" + Path("full.bin") + "\", DataLenMB:2, WaitFinish:FALSE );"), 0);
  const int64_t second = Var("J1").number;
  EXPECT_EQ(second, id + 1);
  FileJobTable::Join(*FileStateOf(interp).jobs.Find(0, second), true);
  EXPECT_EQ(Code("S = File_JobState( JobID:J1 );"), code::kWriteFailed);
  EXPECT_EQ(Code("S = File_JobState( JobID:J1 );"), 0);
  EXPECT_EQ(Var("S").number, kWriteJobFinished);
}

// Written means on the drive: a write job reads 17 until its flush is done, the flush comes after
// the last byte, a failed flush fails the job, and a read job does not flush at all.
TEST_F(FileJobsTest, AWriteJobIsFinishedOnlyOnceItsFileIsFlushed) {
  auto gated = std::make_shared<GatedFiles>(platform::SystemJobFiles(), GatedFiles::kFlushes);
  UseJobFiles(interp, gated);
  EXPECT_EQ(Code("J0 = File_Write( File:\"" + Path("w.bin") + "\", DataLenMB:2, WaitFinish:FALSE );"), 0);
  for (int i = 0; i < 10000 && gated->flushes == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(gated->flushes, 1);
  EXPECT_EQ(gated->sizeAtFlush, 2 * kMiB);
  EXPECT_EQ(Code("S = File_JobState( JobID:J0 );"), 0);
  EXPECT_EQ(Var("S").number, kWriteJobRunning);
  gated->Open();
  FileJobTable::Join(*FileStateOf(interp).jobs.Find(0, Var("J0").number), true);
  EXPECT_EQ(Code("S = File_JobState( JobID:J0 );"), 0);
  EXPECT_EQ(Var("S").number, kWriteJobFinished);

  EXPECT_EQ(Code("File_Read( File:\"" + Path("w.bin") + "\", OffsetByte:0, DataLenByte:0 );"), 0) << Detail();
  EXPECT_EQ(gated->flushes, 1);

  gated->failFlush = true;
  EXPECT_EQ(Code("File_Write( File:\"" + Path("v.bin") + "\", DataLenByte:4096, WaitFinish:TRUE );"),
            code::kWriteFailed);
  EXPECT_NE(Detail().find("Flush failed: injected flush failure"), std::string::npos) << Detail();
  EXPECT_EQ(gated->flushes, 2);
}

TEST_F(FileJobsTest, TheEndOfTheRunCancelsAnOpenJob) {
  auto gated = std::make_shared<GatedFiles>(platform::SystemJobFiles());
  UseJobFiles(interp, gated);
  EXPECT_EQ(Code("J0 = File_Write( File:\"" + Path("w.bin") + "\", DataLenMB:8, WaitFinish:FALSE );"), 0);
  gated->Watch(&FileStateOf(interp).jobs.Find(0, Var("J0").number)->cancel);
  EndFileJobs(interp, 0);
  EXPECT_TRUE(Shows("File Job 1 : cancelled at "));
  EXPECT_LT(platform::ReadWholeFile(Path("w.bin"))->size(), 8 * kMiB);
  EXPECT_EQ(Code("S = File_JobState( JobID:J0 );"), code::kBadParameter);
}

TEST_F(FileJobsTest, CachedReadsAreSaidOncePerRun) {
  sim::FileFaults cached;
  cached.name = "c.bin";
  cached.cachedOnly = true;
  Use({cached});
  ASSERT_EQ(WriteFile("c.bin", 5000), 0);
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(Code("File_Read( File:\"" + Path("c.bin") + "\", OffsetByte:4999, DataLenByte:0 );"), 0);
  size_t said = 0;
  for (const engine::OutputLine& l : Lines())
    said += l.text == "Reads of this file system go through the system's cache";
  EXPECT_EQ(said, 1u);
  EXPECT_TRUE(Shows("File Job 3 : 1 bytes in"));
}

TEST_F(FileJobsTest, CopiesAFolderTenAtATimeAndRemovesWhatFailedOrWasCancelled) {
  Use({});
  ASSERT_TRUE(host.CreateFolders(Path("src")));
  for (int i = 0; i < 12; ++i) ASSERT_EQ(WriteFile("src/f" + std::to_string(i) + ".bin", 3 * kMiB + i), 0);
  EXPECT_EQ(Code("File_Copy( FromFile:\"" + Path("src") + "\", ToFile:\"" + Path("dst") + "\" );"), 0);
  EXPECT_TRUE(Shows("Total Copy Files: 12"));
  EXPECT_TRUE(Shows("> Finish: " + Path("src/f11.bin")));
  EXPECT_EQ(Code("File_Compare( FromFile:\"" + Path("src") + "\", ToFile:\"" + Path("dst") + "\" );"), 0);
  EXPECT_TRUE(Shows("File Compare No Different."));

  sim::FileFaults bad;
  bad.name = "f3.bin";
  bad.readFailAt = 2 * kMiB;
  Use({bad});
  EXPECT_EQ(Code("File_Copy( FromFile:\"" + Path("src/*.bin") + "\", ToFile:\"" + Path("bad") + "\" );"),
            code::kError);
  EXPECT_NE(Detail().find("Copy File Error"), std::string::npos) << Detail();
  EXPECT_TRUE(Shows("[Error] : " + Path("src/f3.bin")));
  EXPECT_FALSE(platform::FileExists(Path("bad/f3.bin")));
  EXPECT_TRUE(platform::FileExists(Path("bad/f4.bin")));

  // The cancel comes while the second piece is read: the copy cannot finish first.
  sim::FileFaults cancel;
  cancel.name = "f0.bin";
  cancel.cancelAt = kMiB + 1;
  cancel.cancel = &interp.CancelFlag(0);
  Use({cancel});
  EXPECT_EQ(Code("File_Copy( FromFile:\"" + Path("src/f0.bin") + "\", ToFile:\"" + Path("one.bin") + "\" );"),
            0);
  EXPECT_TRUE(Shows("---- Cancel Command ----"));
  EXPECT_TRUE(Shows("Total Copy Files: 0"));
  EXPECT_FALSE(platform::FileExists(Path("one.bin")));
  interp.CancelFlag(0).store(false);
  EXPECT_EQ(Code("File_Copy( FromFile:\"" + Path("none.bin") + "\", ToFile:\"x.bin\" );"), code::kError);
}

TEST_F(FileJobsTest, DeleteAsksAndRemovesOnlyTheMatchingFiles) {
  for (const char* name : {"a.tmp", "b.TMP", "c.bin"}) ASSERT_TRUE(platform::WriteWholeFile(Path(name), {}));
  const std::string all = "File_Delete( File:\"" + Path("*.tmp") + "\", ConfirmMsg:";
  // Nobody answers the question: declined.
  EXPECT_EQ(Code(all + "TRUE );"), 0);
  EXPECT_TRUE(Shows("---- Cancel Command ----"));
  EXPECT_TRUE(platform::FileExists(Path("a.tmp")));
  EXPECT_EQ(Code(all + "FALSE );"), 0);
  EXPECT_FALSE(platform::FileExists(Path("a.tmp")));
  EXPECT_FALSE(platform::FileExists(Path("b.TMP")));
  EXPECT_TRUE(platform::FileExists(Path("c.bin")));
  EXPECT_EQ(Code(all + "FALSE );"), code::kFileOpenFailed);
  EXPECT_EQ(Code("File_Delete( File:\"" + dir.path() + "\", ConfirmMsg:FALSE );"), code::kFileOpenFailed);
  EXPECT_TRUE(platform::FileExists(Path("c.bin")));
}

TEST(FileJobsData, ExpectedBytesFollowTheFileOffsetWhereverThePieceStarts) {
  std::vector<uint8_t> whole(4096), part(1500);
  ExpectedFilePiece(whole, 0, 0xA1B2C3D4, true);
  for (uint64_t start : {1u, 7u, 513u, 1030u, 2595u}) {
    ExpectedFilePiece(part, start, 0xA1B2C3D4, true);
    EXPECT_TRUE(std::equal(part.begin(), part.end(), whole.begin() + start)) << start;
  }
  EXPECT_EQ(FirstDifference(std::vector<uint8_t>{1, 2}, std::vector<uint8_t>{1, 2, 3}), 2u);
  EXPECT_TRUE(MatchesWildcard("Data01.BIN", "data*.bin"));
  EXPECT_TRUE(MatchesWildcard("a.b.c", "*.c"));
  EXPECT_TRUE(MatchesWildcard("abc", "a?c"));
  EXPECT_FALSE(MatchesWildcard("abcd", "a?c"));
  EXPECT_FALSE(MatchesWildcard("x.bin", "*.tmp"));
}

}  // namespace
}  // namespace kestrune::workloads
