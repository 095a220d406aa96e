// Commands on files and folders of the run: Report_Print, CSV_AddData, MergeCSVs, FileRename,
// GetFileSize, IsFileExist, GetLogFolder (LogFolder), SetLogFolder, Cls and LogUpload.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "platform/atomic_file.h"
#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/arguments.h"
#include "engine/csv_rows.h"
#include "engine/expression.h"
#include "engine/file_lookup.h"
#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "engine/literals.h"
#include "engine/log_upload.h"
#include "engine/view.h"
#include "platform/files.h"

namespace kestrune::engine {

namespace code = base::code;
using base::ContainsNoCase;
using base::EndsWithNoCase;
using platform::SaveFileAtomically;
using base::Trim;

namespace {

namespace fs = std::filesystem;

// The whole file as bytes; "" for a file that does not exist, nullopt for one that cannot be read.
std::optional<std::string> ReadIfPresent(const std::string& path) {
  if (!platform::FileExists(path)) return std::string();
  auto bytes = platform::ReadWholeFile(path);
  if (!bytes) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size());
}

void ReportPrint(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"File", "Output", "Append"});
  std::string file = in.Text("");
  std::string output = in.Text("");
  bool append = in.Bool(true);
  if (!in.ok()) return;
  if (!ChooseFileIfEmpty(interp, view, file, FileChoice::Save("CSV File", "csv"))) return;

  std::string text;
  for (size_t i = 0; i < output.size(); ++i) {
    if (output[i] == '\\' && i + 1 < output.size() && output[i + 1] == 'n') {
      text += "\r\n";
      ++i;
    } else {
      text += output[i];
    }
  }
  std::string path = OutputFilePath(interp, view, file);
  bool ok;
  if (append) {
    std::ofstream out(platform::FsPath(path), std::ios::binary | std::ios::app);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    ok = static_cast<bool>(out);
  } else {
    ok = SaveFileAtomically(path, text);
  }
  if (!ok) interp.ReportCompletion(view, code::kOutputFileFailed, path);
}

void CsvAddData(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"File", "Item", "Output", "AppendOnTail"});
  std::string file = in.Text("");
  std::string item = in.Text("");
  std::string output = in.Text("");
  bool appendOnTail = in.Bool(true);
  if (!in.ok()) return;
  if (item.empty()) return interp.ReportCompletion(view, code::kBadParameter, "Must ItemName");
  if (!ChooseFileIfEmpty(interp, view, file, FileChoice::Save("CSV File", "csv"))) return;

  std::string path = OutputFilePath(interp, view, file);
  auto lock = LockDataFiles(interp);
  std::optional<std::string> text = ReadIfPresent(path);
  if (!text) return interp.ReportCompletion(view, code::kFileOpenFailed, path);
  const platform::Host& host = interp.host();
  std::string updated = AddCsvData(*text, host.ToAnsi(item), host.ToAnsi(output), appendOnTail);
  if (!SaveFileAtomically(path, updated)) interp.ReportCompletion(view, code::kOutputFileFailed, path);
}

// MergeCSVs( File:"All.csv", SrcFile:"A.csv", SrcFile:"B.csv", ... ): the item-keyed CSV files
// SrcFile merged side by side into File; the result is the number of rows written.
void MergeCsvs(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  VarList& vars = interp.view(view).vars;
  // The sources repeat one parameter name, so they bind by position after File.
  ArgReader in(vars, errors, args,
               {"File", "SrcFile1", "SrcFile2", "SrcFile3", "SrcFile4", "SrcFile5", "SrcFile6", "SrcFile7",
                "SrcFile8"});
  std::string file = in.Text("");
  std::vector<std::string> sources;
  for (int i = 0; i < 8; ++i)
    if (std::string source = in.Text(""); !source.empty()) sources.push_back(source);
  if (!in.ok()) return;
  StoreValue(vars, errors, name, Value::Number(0));
  if (sources.empty()) return interp.ReportCompletion(view, code::kBadParameter, "Must SrcFile");
  if (!ChooseFileIfEmpty(interp, view, file, FileChoice::Save("CSV File", "csv"))) return;

  std::string path = OutputFilePath(interp, view, file);
  auto lock = LockDataFiles(interp);
  std::vector<std::string> texts;
  for (const std::string& source : sources) {
    std::optional<std::string> found = LookupFile(source, interp.Folders(view));
    auto bytes = found ? platform::ReadWholeFile(*found) : std::nullopt;
    if (!bytes) return interp.ReportCompletion(view, code::kFileOpenFailed, source);
    texts.emplace_back(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  }
  std::string merged = MergeCsvTexts(texts);
  if (!SaveFileAtomically(path, merged)) return interp.ReportCompletion(view, code::kOutputFileFailed, path);
  int64_t rows = static_cast<int64_t>(std::count(merged.begin(), merged.end(), '\n'));
  StoreValue(vars, errors, name, Value::Number(rows));
  interp.writer().WriteLine(interp.output(view), "MergeCSVs To " + path, kDetail, 10, colour::kCyan);
}

// Moves src to dest; across file systems by a copy and a delete.
bool MoveOrCopy(const std::string& src, const std::string& dest) {
  std::error_code ec;
  fs::rename(platform::FsPath(src), platform::FsPath(dest), ec);
  if (!ec) return true;
  if (!fs::copy_file(platform::FsPath(src), platform::FsPath(dest), ec)) return false;
  if (platform::RemoveFile(src)) return true;
  platform::RemoveFile(dest);
  return false;
}

void FileRename(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  VarList& vars = interp.view(view).vars;
  ArgReader in(vars, errors, args, {"SrcFile", "DestFile"});
  std::string src = in.Text("");
  std::string dest = in.Text("");
  if (!in.ok()) return;
  StoreValue(vars, errors, name, Value::Number(0));

  std::optional<std::string> from = LookupFile(src, interp.Folders(view));
  if (!from) return interp.ReportCompletion(view, code::kFileOpenFailed, src);
  if (dest.empty()) return interp.ReportCompletion(view, code::kOutputFileFailed, "DestFile is Empty.");
  // A bare name renames the file in its own folder.
  std::string to = IsFullPath(dest) ? dest : platform::JoinPath(platform::FolderOf(*from), dest);
  std::error_code ec;
  if (fs::exists(fs::symlink_status(platform::FsPath(to), ec)))
    return interp.ReportCompletion(view, code::kOutputFileFailed, "DestFile is Exist.");
  StoreValue(vars, errors, name, Value::Number(MoveOrCopy(*from, to) ? 1 : 0));
}

void GetFileSize(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  VarList& vars = interp.view(view).vars;
  ArgReader in(vars, errors, args, {"File"});
  std::string file = in.Text("");
  if (!in.ok()) return;
  std::error_code ec;
  uintmax_t size = file.empty() ? 0 : fs::file_size(platform::FsPath(file), ec);
  StoreValue(vars, errors, name, Value::Number(ec ? 0 : static_cast<int64_t>(size)));
}

void IsFileExist(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  VarList& vars = interp.view(view).vars;
  ArgReader in(vars, errors, args, {"File"});
  std::string file = in.Text("");
  if (!in.ok()) return;
  StoreValue(vars, errors, name, Value::Number(LookupFile(file, interp.Folders(view)) ? 1 : 0));
}

// GetLogFolder and LogFolder take their pairs by a fragment of the name: "JobPath" and "Show".
void GetLogFolder(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  View& v = interp.view(view);
  bool jobPath = true;
  bool show = false;
  while (auto pair = NextPair(args)) {
    if (pair->value.empty()) continue;
    if (ContainsNoCase(pair->name, "JobPath"))
      jobPath = ToBoolean(ReadValue(v.vars, errors, pair->value));
    else if (ContainsNoCase(pair->name, "Show"))
      show = ToBoolean(ReadValue(v.vars, errors, pair->value));
  }
  std::string folder =
      jobPath && interp.settings().htmlLogEnabled ? v.logFolder : interp.settings().workFolder;
  StoreValue(v.vars, errors, name, Value::Text(folder));
  if (show) interp.writer().WriteLine(&v.output, folder, kDetail, 10, colour::kYellow);
}

void SetLogFolder(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  ReportingSink errors(interp, view);
  View& v = interp.view(view);
  ArgReader in(v.vars, errors, args, {"Output"});
  std::string text = in.Text("");
  if (!in.ok()) return;
  std::string folder =
      ResolveUploadFolder(text, interp.settings().programFolder, v.scriptFolder, platform::kPathSeparator);
  if (folder.empty()) {
    v.uploadFolder.clear();  // no copy at run end
    return;
  }
  if (!interp.host().CreateFolders(folder))
    return interp.ReportCompletion(view, code::kOutputFileFailed, folder);
  v.uploadFolder = folder;
  interp.writer().WriteLine(&v.output, "SetLogFolder To " + folder, kDetail, 10, colour::kCyan);
}

// Empties the output list and deletes the hex dumps of this run: "*.hex" files of the log folder
// written since the run started. Older ones (unpacked from the package, kept from earlier runs)
// stay.
void Cls(Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  View& v = interp.view(view);
  {
    std::lock_guard<std::mutex> guard(v.output.lock);
    v.output.lines.clear();
    ++v.output.generation;
  }
  constexpr uint64_t kLongestRunMs = 10ull * 366 * 24 * 3600 * 1000;  // keeps the time arithmetic in range
  uint64_t runMs = std::min(interp.host().MonotonicMs() - v.runStartMs, kLongestRunMs);
  fs::file_time_type runStart = fs::file_time_type::clock::now() - std::chrono::milliseconds(runMs);
  for (const std::string& file : platform::ListFiles(v.logFolder)) {
    if (!EndsWithNoCase(file, ".hex")) continue;
    std::string path = platform::JoinPath(v.logFolder, file);
    std::error_code ec;
    fs::file_time_type written = fs::last_write_time(platform::FsPath(path), ec);
    if (!ec && written >= runStart) platform::RemoveFile(path);
  }
}

// A word of a log name as a file name allows it.
std::string FileNameWord(std::string_view word) {
  std::string out(Trim(word));
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 32 ||
        std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
      c = '_';
  return out;
}

// LogUpload( LogName:"", Param:"", ... ): copies the files of the log folder now into the folder
// LogName (followed by "_" and each non-empty Param) below the SetLogFolder folder; a full-path
// LogName is used as it is. The result is the folder the files went to.
void LogUpload(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  ReportingSink errors(interp, view);
  View& v = interp.view(view);
  // The template repeats "Param", so the Params bind by position.
  ArgReader in(v.vars, errors, args, {"LogName", "Param1", "Param2", "Param3", "Param4", "Param5"});
  std::string logName(Trim(in.Text("")));
  for (int i = 0; i < 5; ++i)
    if (std::string param = FileNameWord(in.Text("")); !param.empty())
      logName += (logName.empty() ? "" : "_") + param;
  if (!in.ok()) return;
  StoreValue(v.vars, errors, name, Value::Text(""));

  if (logName.empty()) logName = platform::FileNameOf(v.logFolder);
  if (!IsFullPath(logName) && v.uploadFolder.empty())
    return interp.ReportCompletion(view, code::kBadParameter, "No upload folder: SetLogFolder first");
  std::string target = ResolveUploadFolder(logName, v.uploadFolder, v.uploadFolder, platform::kPathSeparator);
  if (!CopyFolderFiles(v.logFolder, target))
    return interp.ReportCompletion(view, code::kOutputFileFailed, target);
  StoreValue(v.vars, errors, name, Value::Text(target));
  interp.writer().WriteLine(&v.output, "LogUpload To " + target, kDetail, 10, colour::kCyan);
}

// The handlers of this file, one row per command table row.
constexpr HandlerRow kHandlers[] = {
    {"Report_Print", kAnyDisk, ReportPrint},
    {"CSV_AddData", kAnyDisk, CsvAddData},
    {"MergeCSVs", kAnyDisk, MergeCsvs},
    {"FileRename", kAnyDisk, FileRename},
    {"GetFileSize", kAnyDisk, GetFileSize},
    {"IsFileExist", kAnyDisk, IsFileExist},
    {"GetLogFolder", kAnyDisk, GetLogFolder},
    {"SetLogFolder", kAnyDisk, SetLogFolder},
    {"Cls", kAnyDisk, Cls},
    {"LogUpload", kAnyDisk, LogUpload},
};

}  // namespace

std::vector<HandlerRow> RegisterFileCommands(Interpreter& interp) {
  return interp.Register({kHandlers});
}

}  // namespace kestrune::engine
