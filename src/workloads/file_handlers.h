// What the files of the file test commands share: their state in the interpreter, the handlers
// that RegisterFileTestCommands puts into the command table, and the helpers of their parameters
// and lines.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "platform/job_files.h"
#include "workloads/file_job_table.h"

namespace kestrune::workloads {

struct FileCommandState {
  std::shared_ptr<platform::JobFiles> files = platform::SystemJobFiles();
  FileJobTable jobs;
  // The run was told that its reads go through the cache (said once per run). Run thread of the view.
  std::array<std::atomic<bool>, engine::Interpreter::kViews> cachedReadsSaid{};
};
FileCommandState& FileStateOf(engine::Interpreter& interp);

// COLORREFs of the file commands' lines.
inline constexpr uint32_t kFileProgressColour = 0x277FFF;  // File Write, Copying Files
inline constexpr uint32_t kFileReadColour = 0x009696;      // File Read
inline constexpr const char* kCancelCommand = "---- Cancel Command ----";

// The sources a FromFile names: a folder or a path whose last part has "*" or "?" stands for the
// files in that folder (the last part as the filter; sub-folders are skipped); any other path for
// itself. fromFolder tells which of the two it was.
struct SourceList {
  std::vector<std::string> paths;
  bool fromFolder = false;
};
SourceList ExpandSources(platform::JobFiles& files, const std::string& from);

// FromFile and ToFile of File_Compare and File_Copy: read (an empty one chosen by the operator, the
// destination as toChoice asks), the source found as InputPath finds it and expanded, the
// destination an input path or, when destIsOutput, an output path. False when a parameter is wrong
// or the choice was not made (both reported).
struct FromToFiles {
  std::string from, to;
  SourceList sources;
};
bool ReadFromToFiles(engine::Interpreter& interp, uint32_t view, std::string_view args, const engine::FileChoice& toChoice,
                     bool destIsOutput, FromToFiles& out);

// True when name matches the pattern of "*" (any run) and "?" (one character), any case.
bool MatchesWildcard(std::string_view name, std::string_view pattern);

// A file a command reads: a full path as it is, else found in the script, log or program folder;
// a name found nowhere stays as given (the command then reports it missing).
std::string InputPath(engine::Interpreter& interp, uint32_t view, const std::string& name);

// Writes "Reads of this file system go through the system's cache" once per run of the view.
void SayCachedReads(engine::Interpreter& interp, uint32_t view);

// file_jobs.cpp
void FileWrite(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name);
void FileFullByPattern(engine::Interpreter& interp, uint32_t view, std::string_view args,
                       std::string_view name);
void FileRead(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name);
void FileJobState(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name);
// The end of a run: cancels and joins the view's open jobs and reports a failure nobody saw.
void EndFileJobs(engine::Interpreter& interp, uint32_t view);
// file_compare.cpp
void FileCompare(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name);
void FileCompareWithPattern(engine::Interpreter& interp, uint32_t view, std::string_view args,
                            std::string_view name);
// file_copy.cpp
void FileCopy(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name);
void FileDelete(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name);

}  // namespace kestrune::workloads
