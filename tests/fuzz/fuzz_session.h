// What both fuzz targets share: a fake host whose clock never waits and whose named objects stay in
// the process, a work folder in memory (/dev/shm where there is one), and one interpreter that runs
// every input, so that an input costs a run and not a process start.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/interpreter.h"
#include "support/fake_host.h"

namespace kestrune::fuzz {

// A fresh folder for this fuzzing process, in memory when the machine has a tmpfs at /dev/shm.
inline std::string MemoryFolder(const char* name) {
  std::filesystem::path base = std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                      : std::filesystem::temp_directory_path();
  std::filesystem::path dir = base / (std::string(name) + "_" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}

// The fake host of a fuzzing process, its temporary folder in folder. Lives for the whole process.
inline testing::FakeHost& FuzzHost(const std::string& folder) {
  auto* host = new testing::FakeHost;
  host->tempFolder = folder;
  return *host;
}

inline engine::RunSettings FuzzSettings(const std::string& folder) {
  engine::RunSettings settings;
  settings.workFolder = folder;
  settings.programFolder = folder;
  settings.style = 30;
  settings.statementLimit = 2000;  // a fuzzed While(1) must end soon: coverage, not endurance
  return settings;
}

// Commands a fuzzed script must not reach even over the fake host: they start programs, move or
// delete files outside the work folder, or change the process's console.
inline constexpr const char* kOffLimits[] = {"Exec",       "CallFnScript", "CancelFnScript", "roziDadaze",
                                             "FileRename", "Cls",          "SetLogFolder",   "LogUpload",
                                             "ConsoleOut", "MergeCSVs",    "Report_Print",   "CSV_AddData"};

// Takes the commands above out of interp. Traps when a name has left the command table.
inline void TakeOutOffLimits(engine::Interpreter& interp) {
  std::vector<engine::HandlerRow> off;
  for (const char* name : kOffLimits) off.push_back({name, engine::kAnyDisk, nullptr});
  if (!interp.Register({off}).empty()) __builtin_trap();
}

inline void RunInput(engine::Interpreter& interp, const std::string& folder, const uint8_t* data, size_t size) {
  interp.RunScriptText(0, std::string(reinterpret_cast<const char*>(data), size), folder + "/fuzz.scpt");
}

}  // namespace kestrune::fuzz
