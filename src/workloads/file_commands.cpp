#include "workloads/file_commands.h"

#include "base/text.h"
#include "engine/arguments.h"
#include "engine/file_lookup.h"
#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "engine/output.h"
#include "engine/view.h"
#include "workloads/file_handlers.h"

namespace kestrune::workloads {
namespace {

constexpr engine::HandlerRow kHandlers[] = {
    {"File_Write", engine::kAnyDisk, FileWrite},
    {"File_FullByPattern", engine::kAnyDisk, FileFullByPattern},
    {"File_Read", engine::kAnyDisk, FileRead},
    {"File_JobState", engine::kAnyDisk, FileJobState},
    {"File_Compare", engine::kAnyDisk, FileCompare},
    {"File_CompareWithPattern", engine::kAnyDisk, FileCompareWithPattern},
    {"File_Copy", engine::kAnyDisk, FileCopy},
    {"File_Delete", engine::kAnyDisk, FileDelete},
};

bool HasWildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

}  // namespace

FileCommandState& FileStateOf(engine::Interpreter& interp) { return interp.State<FileCommandState>(); }

std::vector<engine::HandlerRow> RegisterFileTestCommands(engine::Interpreter& interp) {
  FileStateOf(interp);  // made before any run, so no run thread is the first to use it
  interp.AddRunEndHook([&interp](uint32_t view) { EndFileJobs(interp, view); });
  return interp.Register({kHandlers});
}

void UseJobFiles(engine::Interpreter& interp, std::shared_ptr<platform::JobFiles> files) {
  if (files) FileStateOf(interp).files = std::move(files);
}

bool MatchesWildcard(std::string_view name, std::string_view pattern) {
  // Greedy match with one back-track point: the last "*" seen.
  size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || base::ToLowerAscii(pattern[p]) == base::ToLowerAscii(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

SourceList ExpandSources(platform::JobFiles& files, const std::string& from) {
  SourceList list;
  std::string folder;
  std::string filter = "*";
  if (files.Stat(from).folder) {
    folder = from;
  } else if (HasWildcard(platform::FileNameOf(from))) {
    folder = platform::FolderOf(from);
    filter = platform::FileNameOf(from);
    // "*.*" is every file, with or without a dot in its name.
    if (filter == "*.*") filter = "*";
  } else {
    list.paths.push_back(from);
    return list;
  }
  list.fromFolder = true;
  for (const std::string& name : files.ListFiles(folder))
    if (MatchesWildcard(name, filter)) list.paths.push_back(platform::JoinPath(folder, name));
  return list;
}

bool ReadFromToFiles(engine::Interpreter& interp, uint32_t view, std::string_view args, const engine::FileChoice& toChoice,
                     bool destIsOutput, FromToFiles& out) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"FromFile", "ToFile"});
  out.from = in.Text("");
  out.to = in.Text("");
  if (!in.ok()) return false;
  if (!engine::ChooseFileIfEmpty(interp, view, out.from, engine::FileChoice::Open("File", ""))) return false;
  if (!engine::ChooseFileIfEmpty(interp, view, out.to, toChoice)) return false;
  out.from = InputPath(interp, view, out.from);
  out.to = destIsOutput ? engine::OutputFilePath(interp, view, out.to) : InputPath(interp, view, out.to);
  out.sources = ExpandSources(*FileStateOf(interp).files, out.from);
  return true;
}

std::string InputPath(engine::Interpreter& interp, uint32_t view, const std::string& name) {
  if (engine::IsFullPath(name)) return name;
  return engine::LookupFile(name, interp.Folders(view)).value_or(name);
}

void SayCachedReads(engine::Interpreter& interp, uint32_t view) {
  if (FileStateOf(interp).cachedReadsSaid.at(view).exchange(true)) return;
  interp.writer().WriteLine(interp.output(view), "Reads of this file system go through the system's cache",
                            engine::kDetail, 10, engine::colour::kGrey);
}

}  // namespace kestrune::workloads
