// File_Compare (two files, or the files of a folder with those of the same names in another) and
// File_CompareWithPattern (a file against the pattern and offset marks of File_Write). Both read
// past the system's cache where the file system allows it, and classify a difference by reading the
// piece again a second later: gone (-70) or still there (-71). The unit reported is the one that
// differed in the first read.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/pattern_fill.h"
#include "engine/detail_line.h"
#include "engine/arguments.h"
#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "engine/output_base.h"
#include "engine/view.h"
#include "platform/files.h"
#include "workloads/compare_report.h"
#include "workloads/file_data.h"
#include "workloads/file_handlers.h"
#include "workloads/progress_line.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;
using base::Format;
namespace colour = engine::colour;

constexpr size_t kComparePiece = 128 * 1024;
constexpr size_t kPatternPiece = 16 * 1024 * 1024;
constexpr uint32_t kUnit = 512;
constexpr uint32_t kRereadWaitMs = 1000;

unsigned long long Ull(uint64_t v) { return static_cast<unsigned long long>(v); }

constexpr auto& Line = engine::DetailLine;

// Writes the unit of data at index (cut at data's end) to path and shows it; false when it cannot.
bool DumpUnit(engine::Interpreter& interp, uint32_t view, const std::string& path,
              std::span<const uint8_t> data, size_t index) {
  const size_t start = std::min(index, data.size());
  const std::span<const uint8_t> unit = data.subspan(start, std::min<size_t>(kUnit, data.size() - start));
  if (!platform::WriteWholeFile(path, unit)) {
    interp.ReportCompletion(view, code::kOutputFileFailed, path);
    return false;
  }
  interp.writer().WriteDataFile(interp.output(view), kFileReadColour, path, true);
  return true;
}

// One open file of a compare and its window.
struct CompareFile {
  std::unique_ptr<platform::JobFile> file;
  FileWindow window{kComparePiece};
  std::vector<uint8_t> first;  // the piece as first read
};

struct FileOutcome {
  int32_t code = 0;  // 0: equal
  std::string detail;
  uint64_t unitOffset = 0;         // a miscompare: the first unit that differed in the first read
  std::vector<uint8_t> src, dest;  // that piece of both files, as first read
  size_t index = 0;                // the unit's place in it
};

// Compares two files piece by piece.
FileOutcome CompareTwo(engine::Interpreter& interp, uint32_t view, const std::string& from,
                       const std::string& to) {
  FileOutcome r;
  platform::JobFiles& files = *FileStateOf(interp).files;
  CompareFile a, b;
  std::string why;
  for (auto [f, path] : {std::pair{&a, &from}, std::pair{&b, &to}}) {
    f->file = files.Open(*path, platform::FileAccess::kReadUnbuffered, why);
    if (!f->file) {
      r.code = code::kFileOpenFailed;
      r.detail = *path;
      return r;
    }
    if (!f->window.ok()) {
      r.code = code::kHostMemoryAllocFailed;
      return r;
    }
    if (!f->file->unbuffered()) SayCachedReads(interp, view);
  }
  const uint64_t size = a.file->Size();
  if (size != b.file->Size()) {
    r.code = code::kCompareSizeDifferent;
    return r;
  }
  const std::atomic<bool>& cancel = interp.CancelFlag(view);
  for (uint64_t at = 0; at < size && !cancel.load(); at += kComparePiece) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kComparePiece, size - at));
    auto readPiece = [&](CompareFile& f, std::vector<uint8_t>& into) {
      platform::FileIo io;
      const std::optional<std::span<const uint8_t>> data = f.window.Read(*f.file, at, want, io);
      if (!data || data->size() < want) {
        r.code = code::kReadFailed;
        r.detail =
            Format("Read failed at offset 0x%llX: %s", Ull(at), data ? "the file ended" : io.why.c_str());
        return false;
      }
      into.assign(data->begin(), data->end());
      return true;
    };
    if (!readPiece(a, a.first) || !readPiece(b, b.first)) return r;
    const std::optional<size_t> diff = FirstDifference(a.first, b.first);
    if (!diff) continue;
    interp.host().SleepMs(kRereadWaitMs);
    std::vector<uint8_t> again, againDest;
    if (!readPiece(a, again) || !readPiece(b, againDest)) return r;
    r.code = again == againDest ? code::kMiscompareThenCorrect : code::kMiscompareTwice;
    r.index = *diff - *diff % kUnit;
    r.unitOffset = at + r.index;
    r.detail = Format("Miscompare Offset: 0x%llX", Ull(r.unitOffset));
    r.src = std::move(a.first);
    r.dest = std::move(b.first);
    return r;
  }
  return r;
}

// "Source File", "Destination" and, for a miscompare, the offset and the unit's dumps; then the code.
void ReportFileFailure(engine::Interpreter& interp, uint32_t view, const std::string& from,
                       const std::string& to, const FileOutcome& r) {
  const bool miscompare = r.code == code::kMiscompareThenCorrect || r.code == code::kMiscompareTwice;
  const std::string base = engine::OutputBaseName(interp, view);
  const std::string offset = Format("Miscompare Offset: 0x%llX", Ull(r.unitOffset));
  Line(interp, view, "Source File: " + from, colour::kWhite);
  if (miscompare) {
    Line(interp, view, offset, colour::kYellow);
    if (!DumpUnit(interp, view, base + "_Src.hex", r.src, r.index)) return;
  }
  Line(interp, view, "Destination: " + to, colour::kWhite);
  if (miscompare) {
    Line(interp, view, offset, colour::kYellow);
    if (!DumpUnit(interp, view, base + "_Dest.hex", r.dest, r.index)) return;
  }
  interp.ReportCompletion(view, r.code, r.detail);
}

}  // namespace

void FileCompare(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  FromToFiles named;
  if (!ReadFromToFiles(interp, view, args, engine::FileChoice::Open("File", ""), false, named)) return;
  const std::string& from = named.from;
  const std::string& to = named.to;
  const SourceList& sources = named.sources;
  platform::JobFiles& files = *FileStateOf(interp).files;
  if (!sources.fromFolder && !files.Stat(from).exists)
    return interp.ReportCompletion(view, code::kFileOpenFailed, from);
  const bool intoFolder = files.Stat(to).folder;
  ProgressLine progress(interp, view, colour::kWhite);
  progress.Show("Checking Files: 0");
  uint32_t checked = 0;
  for (const std::string& source : sources.paths) {
    if (interp.CancelFlag(view).load()) return Line(interp, view, kCancelCommand, colour::kCyan);
    const std::string dest = intoFolder ? platform::JoinPath(to, platform::FileNameOf(source)) : to;
    progress.Show(Format("Check Files: %u", ++checked));
    const FileOutcome r = CompareTwo(interp, view, source, dest);
    if (r.code != 0) return ReportFileFailure(interp, view, source, dest, r);
  }
  if (interp.CancelFlag(view).load()) return Line(interp, view, kCancelCommand, colour::kCyan);
  Line(interp, view, "File Compare No Different.", colour::kYellow);
}

void FileCompareWithPattern(engine::Interpreter& interp, uint32_t view, std::string_view args,
                            std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"File", "Pattern", "CheckHead", "OffsetByte"});
  std::string name = in.Text("");
  const std::optional<engine::Value> patternArg = in.Any();
  const bool marks = in.Bool(true);
  const int64_t offsetArg = in.I64(0);
  if (!in.ok()) return;
  const std::optional<uint32_t> pattern = patternArg ? disk::PatternValue(*patternArg) : 0x55AA33CCu;
  if (!pattern || offsetArg < 0) return interp.ReportCompletion(view, code::kBadParameter, "");
  if (*pattern == disk::kAutoPattern)
    return interp.ReportCompletion(view, code::kBadParameter, "Cannot support AUTO Pattern");
  if (!engine::ChooseFileIfEmpty(interp, view, name, engine::FileChoice::Open("File", ""))) return;
  const std::string path = InputPath(interp, view, name);
  platform::JobFiles& files = *FileStateOf(interp).files;
  if (!files.Stat(path).exists) return interp.ReportCompletion(view, code::kFileOpenFailed, path);
  std::string why;
  std::unique_ptr<platform::JobFile> file = files.Open(path, platform::FileAccess::kReadUnbuffered, why);
  if (!file) return interp.ReportCompletion(view, code::kOpenDiskFailed, path + ": " + why);
  if (!file->unbuffered()) SayCachedReads(interp, view);
  FileWindow window(kPatternPiece);
  std::vector<uint8_t> expected(kPatternPiece);
  if (!window.ok()) return interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");

  const uint64_t size = file->Size();
  const uint64_t start = static_cast<uint64_t>(offsetArg);
  const uint64_t total = size > start ? size - start : 0;
  ProgressLine progress(interp, view, colour::kWhite);
  progress.Show("File Compare with Pattern : 0%");
  uint32_t percent = 0;
  const std::atomic<bool>& cancel = interp.CancelFlag(view);
  for (uint64_t at = start; at < size; at += kPatternPiece) {
    if (cancel.load()) return Line(interp, view, kCancelCommand, colour::kCyan);
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kPatternPiece, size - at));
    const std::span<uint8_t> wanted = std::span(expected).first(want);
    ExpectedFilePiece(wanted, at, *pattern, marks);
    platform::FileIo io;
    std::optional<std::span<const uint8_t>> data = window.Read(*file, at, want, io);
    if (!data || data->size() < want)
      return interp.ReportCompletion(
          view, code::kReadFailed,
          Format("Read failed at offset 0x%llX: %s", Ull(at), data ? "the file ended" : io.why.c_str()));
    const std::optional<size_t> diff = FirstDifference(wanted, *data);
    if (diff) {
      // The unit as the file counts them, whatever OffsetByte was.
      const uint64_t unit = (at + *diff) - (at + *diff) % kUnit;
      const size_t index = static_cast<size_t>(unit > at ? unit - at : 0);
      const std::vector<uint8_t> first(data->begin(), data->end());
      interp.host().SleepMs(kRereadWaitMs);
      data = window.Read(*file, at, want, io);
      if (!data || data->size() < want)
        return interp.ReportCompletion(view, code::kReadFailed,
                                       Format("Read failed at offset 0x%llX", Ull(at)));
      const int32_t result =
          FirstDifference(wanted, *data) ? code::kMiscompareTwice : code::kMiscompareThenCorrect;
      const std::string where = Format("Miscompare File Offset : 0x%llX", Ull(unit));
      Line(interp, view, where, colour::kYellow);
      const std::string base = engine::OutputBaseName(interp, view);
      const struct {
        const char* caption;
        const char* suffix;
        std::span<const uint8_t> bytes;
      } dumps[] = {{"Pattern Data", "_W.hex", wanted},
                   {"1st Read Data", "_R.hex", first},
                   {"2nd Read Data", "_R2.hex", *data}};
      for (const auto& d : dumps) {
        Line(interp, view, d.caption, colour::kWhite);
        if (!DumpUnit(interp, view, base + d.suffix, d.bytes, index)) return;
      }
      Line(interp, view, CompareResultLine(result), kCompareResultColour);
      return interp.ReportCompletion(view, result, where);
    }
    const uint64_t done = at + want - start;
    if (total && done * 100 / total != percent) {
      percent = static_cast<uint32_t>(done * 100 / total);
      const std::string text = Format("File Compare with Pattern : %u%%", percent);
      progress.Show(text);
      interp.ui().ShowStatus(view, text);
    }
  }
  Line(interp, view, CompareResultLine(code::kSuccessTrue), kCompareResultColour);
}

}  // namespace kestrune::workloads
