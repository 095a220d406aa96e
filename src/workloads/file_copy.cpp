// File_Copy (a file, or the files of a folder, with up to 10 copies at a time, each on its own
// thread and with its own output line) and File_Delete (the files a path or wildcard names, after
// the operator's yes). A copy that fails or is cancelled removes what it had written.
#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/arguments.h"
#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "workloads/file_data.h"
#include "workloads/file_handlers.h"
#include "workloads/progress_line.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;
using base::Format;
namespace colour = engine::colour;

constexpr size_t kMaxCopies = 10;
constexpr size_t kCopyPiece = 1024 * 1024;
constexpr auto kWaitStep = std::chrono::seconds(1);

// Copies one file in pieces, through the cache on neither side where the file system allows it
// (reads unbuffered, the copy flushed to the drive). A failed or cancelled copy is removed.
// cancel is the copy's own flag, viewCancel the view's: either stops it at the next piece.
bool CopyOneFile(platform::JobFiles& files, const std::string& from, const std::string& to,
                 const std::atomic<bool>& cancel, const std::atomic<bool>& viewCancel) {
  std::string why;
  std::unique_ptr<platform::JobFile> src = files.Open(from, platform::FileAccess::kReadUnbuffered, why);
  if (!src) return false;
  std::unique_ptr<platform::JobFile> dst = files.Open(to, platform::FileAccess::kCreate, why);
  if (!dst) return false;
  FileWindow window(kCopyPiece);
  bool ok = window.ok();
  const uint64_t size = src->Size();
  for (uint64_t at = 0; ok && at < size; at += kCopyPiece) {
    if (cancel.load() || viewCancel.load()) {
      ok = false;
      break;
    }
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kCopyPiece, size - at));
    platform::FileIo io;
    const std::optional<std::span<const uint8_t>> data = window.Read(*src, at, want, io);
    ok = data && data->size() == want && dst->WriteAt(at, *data).ok;
  }
  ok = ok && dst->Flush(why);
  dst.reset();
  if (!ok) files.Remove(to);
  return ok;
}

// The copies running at one time, and what the run thread waits on.
class CopyPool {
 public:
  struct Copy {
    std::string from, to;
    engine::LineRef line;
    std::atomic<bool> cancel{false};
    bool done = false;  // guarded by the pool's lock
    bool ok = false;    // written before done
    std::thread thread;
  };

  CopyPool(engine::Interpreter& interp, uint32_t view) : interp_(interp), view_(view) {}
  ~CopyPool() {
    CancelAll();
    for (auto& c : copies_)
      if (c->thread.joinable()) c->thread.join();
  }

  // Starts a copy with its own line "Copying : <from>". Run thread.
  void Start(std::string from, std::string to) {
    auto c = std::make_unique<Copy>();
    c->from = std::move(from);
    c->to = std::move(to);
    c->line = interp_.writer().WriteLine(interp_.output(view_), "Copying : " + c->from, engine::kDetail, 10,
                                         colour::kWhite);
    Copy* p = c.get();
    std::shared_ptr<platform::JobFiles> files = FileStateOf(interp_).files;
    p->thread = std::thread([this, p, files] {
      const bool ok = CopyOneFile(*files, p->from, p->to, p->cancel, interp_.CancelFlag(view_));
      interp_.writer().RewriteLine(interp_.output(view_), p->line,
                                   (ok ? "> Finish: " : "[Error] : ") + p->from);
      std::lock_guard<std::mutex> guard(lock_);
      p->ok = ok;
      p->done = true;
      ended_.notify_all();
    });
    copies_.push_back(std::move(c));
  }

  // The copies not yet done.
  size_t Busy() {
    std::lock_guard<std::mutex> guard(lock_);
    size_t n = 0;
    for (auto& c : copies_) n += c->done ? 0 : 1;
    return n;
  }

  // Waits up to one step for a copy to end; true when one has ended since the last call.
  bool WaitStep() {
    std::unique_lock<std::mutex> lock(lock_);
    const size_t before = endedSeen_;
    ended_.wait_for(lock, kWaitStep, [&] { return Ended() != before; });
    endedSeen_ = Ended();
    return endedSeen_ != before;
  }

  void CancelAll() {
    for (auto& c : copies_) c->cancel.store(true);
  }

  // Joins every copy; the number copied without error and whether any failed.
  std::pair<uint32_t, bool> JoinAll() {
    uint32_t copied = 0;
    bool failed = false;
    for (auto& c : copies_) {
      if (c->thread.joinable()) c->thread.join();
      if (c->ok)
        ++copied;
      else
        failed = true;
    }
    return {copied, failed};
  }

 private:
  size_t Ended() const {
    size_t n = 0;
    for (auto& c : copies_) n += c->done ? 1 : 0;
    return n;
  }

  engine::Interpreter& interp_;
  uint32_t view_;
  std::mutex lock_;
  std::condition_variable ended_;
  size_t endedSeen_ = 0;
  std::list<std::unique_ptr<Copy>> copies_;
};

}  // namespace

void FileCopy(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  FromToFiles named;
  if (!ReadFromToFiles(interp, view, args, engine::FileChoice::Save("Any File", ""), true, named)) return;
  const std::string& from = named.from;
  const std::string& to = named.to;
  const SourceList& sources = named.sources;
  platform::JobFiles& files = *FileStateOf(interp).files;
  if (!sources.fromFolder && !files.Stat(from).exists)
    return interp.ReportCompletion(view, code::kError, "Source is not exist");
  // The files of a folder go into a folder: made when missing, never one file over another.
  bool intoFolder = files.Stat(to).folder;
  if (sources.fromFolder && !intoFolder) {
    if (files.Stat(to).exists || !interp.host().CreateFolders(to))
      return interp.ReportCompletion(view, code::kBadParameter, "ToFile must be a folder: " + to);
    intoFolder = true;
  }

  ProgressLine counter(interp, view, kFileProgressColour);
  counter.Show("Copying Files: 0");
  const std::atomic<bool>& cancel = interp.CancelFlag(view);
  uint32_t dots = 0;
  uint32_t started = 0;
  {
    CopyPool pool(interp, view);
    for (const std::string& source : sources.paths) {
      while (pool.Busy() >= kMaxCopies && !cancel.load()) {
        if (!pool.WaitStep())
          counter.Show(Format("Copying Files: %u ", started) + std::string(dots++ % 10, '.'));
      }
      if (cancel.load()) break;
      pool.Start(source, intoFolder ? platform::JoinPath(to, platform::FileNameOf(source)) : to);
      counter.Show(Format("Copying Files: %u", ++started));
    }
    // Wait for the copies; the view's cancel flag cancels every one of them.
    std::unique_ptr<ProgressLine> cancelling;
    while (pool.Busy() > 0) {
      if (cancel.load()) {
        pool.CancelAll();
        if (!cancelling) cancelling = std::make_unique<ProgressLine>(interp, view, colour::kCyan);
        cancelling->Show("Cancel Copy Job " + std::string(dots++ % 10, '.'));
      }
      pool.WaitStep();
    }
    const auto [copied, failed] = pool.JoinAll();
    interp.writer().WriteLine(interp.output(view), Format("Total Copy Files: %u", copied), engine::kDetail,
                              10, colour::kWhite);
    if (cancel.load()) {
      interp.writer().WriteLine(interp.output(view), kCancelCommand, engine::kDetail, 10, colour::kCyan);
      return;
    }
    if (failed) return interp.ReportCompletion(view, code::kError, "Copy File Error");
  }
}

void FileDelete(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  engine::ArgReader in(v.vars, errors, args, {"File", "ConfirmMsg"});
  std::string file = in.Text("");
  const bool confirm = in.Bool(true);
  if (!in.ok()) return;
  if (!engine::ChooseFileIfEmpty(interp, view, file, engine::FileChoice::Save("Any File", ""))) return;
  platform::JobFiles& files = *FileStateOf(interp).files;
  const std::string path = InputPath(interp, view, file);
  if (confirm &&
      !interp.ui().AskYesNo(view, Format("Do you want to delete File: \n%s?", path.c_str()), &v.cancel, false, true)) {
    interp.writer().WriteLine(interp.output(view), kCancelCommand, engine::kDetail, 10, colour::kCyan);
    return;
  }
  // Only files: a folder named without a wildcard is not emptied.
  std::vector<std::string> targets;
  const platform::FileStat st = files.Stat(path);
  if (st.exists && !st.folder)
    targets.push_back(path);
  else if (!st.exists) {
    SourceList matching = ExpandSources(files, path);
    if (matching.fromFolder) targets = std::move(matching.paths);
  }
  if (targets.empty()) return interp.ReportCompletion(view, code::kFileOpenFailed, path);
  for (const std::string& target : targets)
    if (!files.Remove(target))
      return interp.ReportCompletion(view, code::kError, "Delete File Error: " + target);
  interp.writer().WriteLine(interp.output(view), Format("Delete Files: %zu", targets.size()), engine::kDetail,
                            10, colour::kWhite);
}

}  // namespace kestrune::workloads
