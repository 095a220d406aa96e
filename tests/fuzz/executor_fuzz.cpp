// libFuzzer target: arbitrary bytes as a script, run through the whole interpreter over the fake host
// (virtual clock, in-process named objects) with its work folder in memory.
// Build: cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
//        -DKESTRUNE_FUZZ=ON -DKESTRUNE_TESTS=OFF && cmake --build build/fuzz --target executor_fuzz
// Run:   build/fuzz/tests/fuzz/executor_fuzz -max_total_time=300 tests/fuzz/corpus
#include "fuzz_session.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrune;
  static const std::string folder = fuzz::MemoryFolder("kestrune_fuzz");
  static testing::FakeHost& host = fuzz::FuzzHost(folder);
  static engine::Interpreter* interp = [] {
    auto* i = new engine::Interpreter(host, fuzz::FuzzSettings(folder), nullptr);
    fuzz::TakeOutOffLimits(*i);
    return i;
  }();
  fuzz::RunInput(*interp, folder, data, size);
  return 0;
}
