// File_Write, File_Read, File_JobState and File_FullByPattern: a file written with the pattern and
// its offset marks, or read to the end, in 1 MiB pieces on a job thread of its own. The handler
// waits for the job (WaitFinish TRUE) or returns after a second with the job's number, which
// File_JobState then asks about.
#include <algorithm>
#include <limits>
#include <optional>
#include <string>

#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/pattern_fill.h"
#include "engine/arguments.h"
#include "engine/expression.h"
#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "engine/literals.h"
#include "engine/output_base.h"
#include "engine/view.h"
#include "platform/files.h"
#include "workloads/file_data.h"
#include "workloads/file_handlers.h"
#include "workloads/fill_by_pattern.h"
#include "workloads/progress_line.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;
using base::Format;

constexpr size_t kJobPiece = 1024 * 1024;
constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint32_t kDefaultPattern = 0x55AA33CC;
constexpr int64_t kDefaultLengthMiB = 4096;
constexpr uint32_t kStartWaitMs = 1000;
constexpr size_t kDumpBytes = 512;

// What a job thread needs of the command that started it.
struct JobContext {
  engine::Interpreter* interp = nullptr;
  uint32_t view = 0;
  engine::ResultFileRef owner;  // the command's "_Result.txt": the job's lines go there while it is open
  std::shared_ptr<platform::JobFiles> files;
  std::string path;
  uint64_t offset = 0;   // File_Read: where to start
  uint64_t length = 0;   // File_Write: bytes to write; File_Read: bytes to read, 0 = to the end
  uint32_t pattern = 0;  // File_Write
  std::string dumpPath;  // the first block's dump
};

uint32_t PercentOf(uint64_t done, uint64_t total) {
  if (total == 0) return 100;
  return static_cast<uint32_t>(static_cast<unsigned __int128>(done) * 100 / total);
}

// The line a job ends with: the bytes, the time and the rate, or where it was cancelled.
std::string ReportLine(uint32_t id, bool cancelled, uint64_t bytes, uint64_t total, uint64_t ms) {
  if (cancelled) return Format("File Job %u : cancelled at %u%%", id, PercentOf(bytes, total));
  const double seconds = static_cast<double>(std::max<uint64_t>(ms, 1)) / 1000.0;
  const auto hundredths =
      static_cast<unsigned long long>(static_cast<double>(bytes) / kMiB / seconds * 100.0 + 0.5);
  return Format("File Job %u : %lld bytes in %llu.%03llu s, %llu.%02llu MB/s", id,
                static_cast<long long>(bytes), static_cast<unsigned long long>(ms / 1000),
                static_cast<unsigned long long>(ms % 1000), hundredths / 100, hundredths % 100);
}

// The job's side of the output: its own lines only, in the command's result file while it is open.
class JobLines {
 public:
  JobLines(const JobContext& c, FileJob& job, uint32_t progressColour)
      : c_(c), job_(job), progress_(*c.interp, c.view, progressColour) {}
  void Line(const std::string& text, uint32_t colour) {
    c_.interp->writer().WriteLine(c_.interp->output(c_.view), text, engine::kDetail, 10, colour);
  }
  // Shows text in place and on the status line.
  void Progress(const std::string& text) {
    progress_.Show(text);
    c_.interp->ui().ShowStatus(c_.view, text);
  }
  bool Stopped() const { return job_.cancel.load() || c_.interp->CancelFlag(c_.view).load(); }
  void Fail(int32_t failure, std::string detail) {
    job_.failure = failure;
    job_.failureDetail = std::move(detail);
  }
  // The first 512 bytes of the first piece, kept as the job's dump.
  void Dump(std::span<const uint8_t> piece) {
    if (platform::WriteWholeFile(c_.dumpPath, piece.first(std::min(piece.size(), kDumpBytes))))
      job_.dumpPath = c_.dumpPath;
  }

 private:
  const JobContext& c_;
  FileJob& job_;
  ProgressLine progress_;
};

void RunWriteJob(const JobContext& c, FileJob& job) {
  engine::OutputWriter::BackgroundScope scope(c.owner);
  JobLines out(c, job, kFileProgressColour);
  const auto finish = [&] { job.state.store(kWriteJobFinished); };
  std::string why;
  std::unique_ptr<platform::JobFile> file = c.files->Open(c.path, platform::FileAccess::kCreate, why);
  if (!file) return out.Fail(code::kOpenDiskFailed, c.path + ": " + why), finish();
  std::shared_ptr<platform::IoBuffer> buffer = platform::IoBuffer::Make(kJobPiece);
  if (!buffer) return out.Fail(code::kHostMemoryAllocFailed, ""), finish();
  out.Line(PatternLine(disk::FillPattern(buffer->bytes(), c.pattern)), kPatternLineColour);
  out.Progress("File Write : 0%");
  const uint64_t started = c.interp->host().MonotonicMs();
  uint64_t done = 0;
  uint32_t percent = 0;
  while (done < c.length && !out.Stopped()) {
    std::span<uint8_t> piece =
        buffer->bytes().first(static_cast<size_t>(std::min<uint64_t>(kJobPiece, c.length - done)));
    StampFileMarks(piece, done);
    const platform::FileIo io = file->WriteAt(done, piece);
    if (!io.ok) {
      out.Fail(code::kWriteFailed,
               Format("%s at offset 0x%llX: %s", io.diskFull ? "Disk full" : "Write failed",
                      static_cast<unsigned long long>(done), io.why.c_str()));
      return finish();
    }
    if (done == 0) out.Dump(piece);
    done += piece.size();
    if (PercentOf(done, c.length) != percent) {
      percent = PercentOf(done, c.length);
      out.Progress(Format("File Write : %u%%", percent));
    }
  }
  // Written means on the drive: the state says finished only after the flush.
  if (!file->Flush(why)) return out.Fail(code::kWriteFailed, "Flush failed: " + why), finish();
  file.reset();
  out.Line(ReportLine(job.id, done < c.length, done, c.length, c.interp->host().MonotonicMs() - started),
           engine::colour::kGreen);
  finish();
}

void RunReadJob(const JobContext& c, FileJob& job) {
  engine::OutputWriter::BackgroundScope scope(c.owner);
  JobLines out(c, job, kFileReadColour);
  const auto finish = [&] { job.state.store(kReadJobFinished); };
  std::string why;
  std::unique_ptr<platform::JobFile> file = c.files->Open(c.path, platform::FileAccess::kReadUnbuffered, why);
  if (!file) return out.Fail(code::kOpenDiskFailed, c.path + ": " + why), finish();
  const uint64_t size = file->Size();
  if (c.offset >= size) return out.Fail(code::kError, "Offset must < FileSize"), finish();
  const uint64_t length = c.length == 0 ? size - c.offset : std::min(c.length, size - c.offset);
  if (!file->unbuffered()) SayCachedReads(*c.interp, c.view);
  FileWindow window(kJobPiece);
  if (!window.ok()) return out.Fail(code::kHostMemoryAllocFailed, ""), finish();
  out.Progress("File Read : 0%");
  const uint64_t started = c.interp->host().MonotonicMs();
  uint64_t done = 0;
  uint32_t percent = 0;
  while (done < length && !out.Stopped()) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kJobPiece, length - done));
    const uint64_t at = c.offset + done;
    platform::FileIo io;
    const std::optional<std::span<const uint8_t>> data = window.Read(*file, at, want, io);
    if (!data || data->size() < want) {
      out.Fail(code::kReadFailed,
               Format("Read failed at offset 0x%llX: %s", static_cast<unsigned long long>(at),
                      data ? "the file ended" : io.why.c_str()));
      return finish();
    }
    if (done == 0) out.Dump(*data);
    done += want;
    if (PercentOf(done, length) != percent) {
      percent = PercentOf(done, length);
      out.Progress(Format("File Read : %u%%", percent));
    }
  }
  out.Line(ReportLine(job.id, done < length, done, length, c.interp->host().MonotonicMs() - started),
           engine::colour::kGreen);
  finish();
}

void SetStateVariable(engine::Interpreter& interp, uint32_t view, const FileJob& job) {
  interp.view(view).vars.SetNumber(Format("_FThread%u", job.id), job.state.load());
}

// Reports the job's failure once; the thread must be joined.
void ReportFailure(engine::Interpreter& interp, uint32_t view, FileJob& job) {
  if (job.reported || job.failure == 0) return;
  job.reported = true;
  interp.ReportCompletion(view, job.failure, job.failureDetail);
}

// Starts the job, gives the command its number, then waits for it or for a second.
void StartJob(engine::Interpreter& interp, uint32_t view, std::string_view name, JobContext c,
              int32_t running, bool wait, void (*work)(const JobContext&, FileJob&)) {
  engine::ReportingSink errors(interp, view);
  c.interp = &interp;
  c.view = view;
  c.owner = engine::OutputWriter::OpenResultFile(interp.output(view));
  c.files = FileStateOf(interp).files;
  c.dumpPath = engine::OutputBaseName(interp, view) + ".Hex";
  std::shared_ptr<FileJob> job =
      FileStateOf(interp).jobs.Start(view, running, [c = std::move(c), work](FileJob& j) { work(c, j); });
  engine::StoreValue(interp.view(view).vars, errors, name, engine::Value::Number(job->id));
  SetStateVariable(interp, view, *job);
  if (!wait) {
    interp.host().SleepMs(kStartWaitMs);
    return SetStateVariable(interp, view, *job);
  }
  FileJobTable::Join(*job, true);
  SetStateVariable(interp, view, *job);
  if (job->failure) return ReportFailure(interp, view, *job);
  if (!job->dumpPath.empty())
    interp.writer().WriteDataFile(interp.output(view), kFileProgressColour, job->dumpPath, true);
}

// A length parameter: MiB when it is named DataLenMB (or given by position), bytes otherwise.
std::optional<uint64_t> LengthOf(engine::Interpreter& interp, uint32_t view,
                                 const std::optional<engine::Pair>& pair, int64_t fallbackMiB) {
  int64_t n = fallbackMiB;
  bool inMiB = true;
  if (pair && !pair->value.empty()) {
    engine::ReportingSink errors(interp, view);
    const std::optional<int64_t> v =
        engine::ToInt64(engine::ReadValue(interp.view(view).vars, errors, pair->value));
    if (!v) return std::nullopt;
    n = *v;
    inMiB = pair->name.empty() || base::EqualsNoCase(pair->name, "DataLenMB");
  }
  if (n < 0 || (inMiB && n > std::numeric_limits<int64_t>::max() / static_cast<int64_t>(kMiB)))
    return std::nullopt;
  return static_cast<uint64_t>(n) * (inMiB ? kMiB : 1);
}

void WriteCommand(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name,
                  bool oldName) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args,
                       {"File", "DataLenMB", "WritePattern", "WaitFinish"});
  std::string file = in.Text("");
  const std::optional<engine::Pair> length = in.Raw();
  const std::optional<engine::Value> patternArg = in.Any();
  const bool wait = in.Bool(true);
  if (!in.ok()) return;
  if (oldName)
    interp.writer().WriteLine(interp.output(view),
                              "Warning! function name no longer supported, please change to File_Write",
                              engine::kDetail, 10, engine::colour::kOrange);
  JobContext c;
  const std::optional<uint64_t> bytes = LengthOf(interp, view, length, kDefaultLengthMiB);
  const std::optional<uint32_t> pattern = patternArg ? disk::PatternValue(*patternArg) : kDefaultPattern;
  if (!bytes || !pattern) return interp.ReportCompletion(view, code::kBadParameter, "");
  if (!engine::ChooseFileIfEmpty(interp, view, file, engine::FileChoice::Save("Any File", ""))) return;
  c.path = engine::OutputFilePath(interp, view, file);
  c.length = *bytes;
  c.pattern = *pattern;
  StartJob(interp, view, name, std::move(c), kWriteJobRunning, wait, RunWriteJob);
}

}  // namespace

void FileWrite(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  WriteCommand(interp, view, args, name, false);
}

void FileFullByPattern(engine::Interpreter& interp, uint32_t view, std::string_view args,
                       std::string_view name) {
  WriteCommand(interp, view, args, name, true);
}

void FileRead(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args,
                       {"File", "OffsetByte", "DataLenByte", "WaitFinish"});
  std::string file = in.Text("");
  const int64_t offset = in.I64(0);
  const int64_t length = in.I64(0);
  const bool wait = in.Bool(true);
  if (!in.ok()) return;
  if (offset < 0 || length < 0) return interp.ReportCompletion(view, code::kBadParameter, "");
  if (!engine::ChooseFileIfEmpty(interp, view, file, engine::FileChoice::Open("File", ""))) return;
  JobContext c;
  c.path = InputPath(interp, view, file);
  if (!FileStateOf(interp).files->Stat(c.path).exists)
    return interp.ReportCompletion(view, code::kFileOpenFailed, c.path);
  c.offset = static_cast<uint64_t>(offset);
  c.length = static_cast<uint64_t>(length);
  StartJob(interp, view, name, std::move(c), kReadJobRunning, wait, RunReadJob);
}

void FileJobState(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"JobID"});
  const int64_t id = in.I64(0);
  if (!in.ok()) return;
  std::shared_ptr<FileJob> job = FileStateOf(interp).jobs.Find(view, id);
  if (!job) {
    // The result target still gets a value (no state), so that only the unknown ID is reported.
    engine::StoreValue(interp.view(view).vars, errors, name, engine::Value::Number(0));
    return interp.ReportCompletion(view, code::kBadParameter, Format("No File Job %lld", static_cast<long long>(id)));
  }
  const int32_t state = job->state.load();
  SetStateVariable(interp, view, *job);
  engine::StoreValue(interp.view(view).vars, errors, name, engine::Value::Number(state));
  // A finished job's thread is about to end (or has): its failure is reported now, once.
  if (state == kWriteJobFinished || state == kReadJobFinished) {
    FileJobTable::Join(*job, true);
    ReportFailure(interp, view, *job);
  }
}

void EndFileJobs(engine::Interpreter& interp, uint32_t view) {
  FileCommandState& st = FileStateOf(interp);
  for (const std::shared_ptr<FileJob>& job : st.jobs.EndRun(view)) ReportFailure(interp, view, *job);
  st.cachedReadsSaid.at(view).store(false);
}

}  // namespace kestrune::workloads
