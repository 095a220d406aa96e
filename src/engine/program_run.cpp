#include "engine/program_run.h"

#include <memory>

#include "base/completion_codes.h"
#include "base/ini.h"
#include "base/text.h"
#include "engine/elapsed_time.h"
#include "engine/external_commands.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "platform/files.h"

namespace kestrune::engine {

namespace code = base::code;
using base::DecodeTextFile;
using base::EndsWithNoCase;
using base::Format;
using base::IniFile;
using base::ToLowerAscii;
using base::Trim;

namespace {

constexpr const char* kKinds[] = {"PNG", "INI", "TXT", "XML"};
constexpr uint32_t kBackgroundPauseMs = 5000;

std::string ReadText(const std::string& path) {
  auto bytes = platform::ReadWholeFile(path);
  if (!bytes) return {};
  return DecodeTextFile(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

// Calls line(text) for every line of text (line ends removed).
template <typename F>
void ForEachLine(std::string_view text, F line) {
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view l = text.substr(0, end);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    line(l);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

void ShowPicture(OutputWriter& w, ViewOutput* out, std::string_view path) {
  w.WriteLine(out, path, kDetail, 10, colour::kWhite, kPicture, path);
}

void ImportIni(OutputWriter& w, ViewOutput* out, const std::string& path, ImportOutcome& outcome) {
  auto ini = IniFile::Load(path);
  if (!ini) return;
  for (int n = 0;; ++n) {
    auto item = ini->Get("Result", Format("ITEM%d", n));
    if (!item) break;
    std::string_view text = *item, link;
    size_t at = text.find("[LINK]");
    if (at != std::string_view::npos) {
      link = Trim(text.substr(at + 6));
      text = Trim(text.substr(0, at));
    }
    bool err = text.find("Err") != std::string_view::npos;
    if (err && !outcome.failed) outcome.failure = std::string(text);
    outcome.failed = outcome.failed || err;
    w.WriteLine(out, text, kDetail, 10, err ? colour::kRed : colour::kWhite, kText, link);
  }
}

void ImportTxt(OutputWriter& w, ViewOutput* out, const std::string& path) {
  ForEachLine(ReadText(path), [&](std::string_view line) {
    if (Trim(line).empty()) return;
    size_t at = line.find("      [PNG]");
    if (at != std::string_view::npos)
      ShowPicture(w, out, Trim(line.substr(at + 11)));
    else
      w.WriteLine(out, line, kDetail, 10, colour::kGrey);
  });
}

void ImportXml(OutputWriter& w, ViewOutput* out, const std::string& path) {
  ForEachLine(ReadText(path), [&](std::string_view line) {
    size_t close = line.find("</");
    if (close == std::string_view::npos) return;
    std::string rest;
    for (char c : line.substr(0, close))
      if (c != '<') rest += c;
    size_t gt = rest.find('>');
    if (gt == std::string::npos) return;
    std::string tag(Trim(std::string_view(rest).substr(0, gt)));
    std::string value(Trim(std::string_view(rest).substr(gt + 1)));
    uint32_t c = tag.find("Score") != std::string::npos ? colour::kYellow : colour::kGrey;
    w.WriteFormatted(out, kDetail, 10, c, "%-60s : %s", tag.c_str(), value.c_str());
  });
}

// The files to import for a run: its single result file, or the files of its base name.
std::vector<std::string> FilesFor(const ProgramRun& run) {
  if (run.resultFile.empty()) return ResultFilesOf(run.resultBase);
  for (const char* kind : kKinds) {
    if (EndsWithNoCase(run.resultFile, std::string(".") + kind)) {
      if (platform::FileExists(run.resultFile)) return {run.resultFile};
      return {};
    }
  }
  return ResultFilesOf(run.resultFile);
}

void WriteElapsed(Interpreter& interp, ViewOutput* out, uint64_t ms) {
  OutputWriter& w = interp.writer();
  if (w.settings().consoleForm) {
    w.WriteLine(out, "", kClosingDetail, 10, colour::kWhite);
    return;
  }
  w.WriteLine(out, Format("Elapsed Time(ms): %llu", static_cast<unsigned long long>(ms)), kDetail, 10,
              colour::kWhite);
  w.WriteLine(out, "Elapsed Time    : " + ElapsedTimeText(ms), kClosingDetail, 10, colour::kWhite);
}

// After the program has ended: import and close.
ImportOutcome Finish(Interpreter& interp, ViewOutput* out, const ProgramRun& run, uint64_t startMs) {
  std::vector<std::string> files = FilesFor(run);
  if (files.empty()) return {};
  ImportOutcome outcome = ImportResultFiles(interp.writer(), out, files);
  WriteElapsed(interp, out, interp.host().MonotonicMs() - startMs);
  return outcome;
}

}  // namespace

std::vector<std::string> ResultFilesOf(const std::string& base) {
  std::vector<std::string> files;
  if (base.empty()) return files;
  for (const char* kind : kKinds) {
    std::string upper = base + "." + kind;
    std::string lower = base + "." + ToLowerAscii(kind);
    if (platform::FileExists(upper))
      files.push_back(upper);
    else if (platform::FileExists(lower))
      files.push_back(lower);
  }
  return files;
}

ImportOutcome ImportResultFiles(OutputWriter& writer, ViewOutput* out,
                                const std::vector<std::string>& files) {
  ImportOutcome outcome;
  for (const std::string& f : files) {
    if (EndsWithNoCase(f, ".PNG"))
      ShowPicture(writer, out, f);
    else if (EndsWithNoCase(f, ".INI"))
      ImportIni(writer, out, f, outcome);
    else if (EndsWithNoCase(f, ".TXT"))
      ImportTxt(writer, out, f);
    else if (EndsWithNoCase(f, ".XML"))
      ImportXml(writer, out, f);
  }
  return outcome;
}

std::optional<int> RunProgramAndImport(Interpreter& interp, uint32_t view, ExternalCommands& ext,
                                       const ProgramRun& run) {
  ViewOutput* out = interp.output(view);
  interp.writer().WriteLine(out, "", kHeader, 10, colour::kGreen);
  uint64_t start = interp.host().MonotonicMs();
  std::string error;
  std::shared_ptr<platform::Process> process =
      ext.launcher().StartCommandLine(run.program, run.commandLine, run.folder, error);
  if (!process) {
    interp.ReportCompletion(view, code::kFileOpenFailed, error);
    return std::nullopt;
  }

  if (!run.waitClose) {
    // The imported lines belong to this command's "_Result.txt" (opened by the header above); once a
    // later command has opened its own, they reach only the output list and the console.
    const ResultFileRef owner = OutputWriter::OpenResultFile(out);
    ext.StartBackground([&interp, out, run, process, start, owner](const std::atomic<bool>& stop) {
      if (!process->Wait(&stop)) return;
      OutputWriter::BackgroundScope scope(owner);
      Finish(interp, out, run, start);
    });
    interp.host().SleepMs(kBackgroundPauseMs);
    return std::nullopt;
  }

  std::optional<int> code = process->Wait(&interp.view(view).cancel);
  if (!code) return std::nullopt;  // the run was cancelled; the program runs on
  ImportOutcome outcome = Finish(interp, out, run, start);
  if (outcome.failed) interp.ReportCompletion(view, code::kError, outcome.failure);
  return code;
}

}  // namespace kestrune::engine
