// Interpreter throughput: simple statements per second, and the cost of starting a run.
// Build with the release preset and run build/release/bench/kestrune_bench.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

#include "engine/interpreter.h"
#include "engine/output.h"
#include "platform/host.h"

namespace {

namespace fs = std::filesystem;
using kestrune::engine::Interpreter;
using kestrune::engine::RunSettings;

std::string WriteScript(const std::string& name, const std::string& text) {
  fs::path dir = fs::temp_directory_path() / "kestrune_bench";
  fs::create_directories(dir);
  fs::path file = dir / name;
  std::ofstream(file, std::ios::binary) << text;
  return file.string();
}

RunSettings Settings() {
  RunSettings s;
  s.workFolder = (fs::temp_directory_path() / "kestrune_bench").string();
  s.style = 30;
  return s;
}

// "i = 0; While (i < N) { i++; }": each iteration runs the While condition, the increment and the
// closing brace (three statements).
void BM_WhileLoop(benchmark::State& state) {
  const int64_t n = state.range(0);
  std::string path = WriteScript("loop.scpt", "i = 0;\r\nWhile (i < " + std::to_string(n) + ") {\r\n  i++;\r\n}\r\n");
  Interpreter interp(kestrune::platform::DefaultHost(), Settings(), nullptr);
  for (auto _ : state) interp.RunScript(0, path);
  state.counters["statements/s"] =
      benchmark::Counter(static_cast<double>(3 * n + 1) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WhileLoop)->Arg(100000)->Unit(benchmark::kMillisecond);

// A loop of Print calls (output kept in the view's list, no console).
void BM_PrintLoop(benchmark::State& state) {
  const int64_t n = state.range(0);
  std::string path = WriteScript(
      "print.scpt", "i = 0;\r\nWhile (i < " + std::to_string(n) + ") {\r\n  Print( Output:\"line\" + i );\r\n  i++;\r\n}\r\n");
  Interpreter interp(kestrune::platform::DefaultHost(), Settings(), nullptr);
  for (auto _ : state) interp.RunScript(0, path);
  state.counters["statements/s"] =
      benchmark::Counter(static_cast<double>(4 * n + 1) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PrintLoop)->Arg(20000)->Unit(benchmark::kMillisecond);

// From a new interpreter to the end of a one-statement script: the run start-up cost.
void BM_RunStart(benchmark::State& state) {
  std::string path = WriteScript("one.scpt", "x = 1;\r\n");
  for (auto _ : state) {
    Interpreter interp(kestrune::platform::DefaultHost(), Settings(), nullptr);
    interp.RunScript(0, path);
  }
}
BENCHMARK(BM_RunStart)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
