// Runs a fuzz target's corpus in the unit tests: every file of the folder as it is, then variants of
// it with bytes changed at fixed pseudo-random places past its first `keep` bytes (the bytes that
// steer the input), so that the sanitizers of the test build see the inputs without a fuzzer.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace kestrune::fuzz {

// run(name, bytes, variant): variant is -1 for the corpus file itself. Returns the files run.
inline int ReplayCorpus(const std::filesystem::path& folder, size_t keep, int variants,
                        const std::function<void(const std::string&, const std::vector<uint8_t>&, int)>& run) {
  int inputs = 0;
  uint32_t state = 12345;
  const auto next = [&] { return state = state * 1103515245u + 12345u; };
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<uint8_t> seed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    run(name, seed, -1);
    for (int variant = 0; variant < variants && seed.size() > keep; ++variant) {
      std::vector<uint8_t> bytes = seed;
      for (int change = 0; change < 1 + variant; ++change) {
        const size_t at = keep + (next() >> 8) % (bytes.size() - keep);
        bytes[at] = static_cast<uint8_t>(next() >> 16);
      }
      run(name, bytes, variant);
    }
    ++inputs;
  }
  return inputs;
}

}  // namespace kestrune::fuzz
