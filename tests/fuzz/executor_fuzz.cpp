// libFuzzer target: arbitrary bytes as a script, run through the whole interpreter.
// Build: cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
//        -DKESTRUNE_FUZZ=ON -DKESTRUNE_TESTS=OFF && cmake --build build/fuzz --target executor_fuzz
// Run:   build/fuzz/tests/fuzz/executor_fuzz -max_total_time=300 tests/fuzz/corpus
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "engine/interpreter.h"
#include "platform/host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = [] {
    auto dir = std::filesystem::temp_directory_path() / "kestrune_fuzz";
    std::filesystem::create_directories(dir);
    return dir.string();
  }();
  kestrune::engine::RunSettings settings;
  settings.workFolder = folder;
  settings.style = 30;
  settings.statementLimit = 20000;  // a fuzzed While(1) must end
  kestrune::engine::Interpreter interp(kestrune::platform::DefaultHost(), settings, nullptr);
  // Commands that start programs, touch files outside the work folder, change the console or wait
  // real time are taken out: a fuzzed script must not rename this machine's files or sleep for hours.
  for (const char* name : {"Exec", "CallFnScript", "CancelFnScript", "roziDadaze", "FileRename", "Report_Print",
                           "CSV_AddData", "MergeCSVs", "SetINIData", "Cls", "SetLogFolder", "LogUpload",
                           "ConsoleOut", "Delay", "GlobalLock", "SetGlobalVar", "PrintEx"})
    interp.Register(name, kestrune::engine::kAnyDisk, nullptr);
  interp.RunScriptText(0, std::string(reinterpret_cast<const char*>(data), size), folder + "/fuzz.scpt");
  return 0;
}
