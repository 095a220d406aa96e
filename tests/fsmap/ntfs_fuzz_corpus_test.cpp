// The NTFS fuzz target's inputs run in the unit tests: every corpus file, and variants of each with
// bytes changed at fixed pseudo-random places, must walk to an end without a crash or a hang.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz/ntfs_fuzz_input.h"

namespace kestrune::fsmap {
namespace {

TEST(NtfsFuzzCorpus, EveryInputAndItsVariantsEnd) {
  const std::filesystem::path folder = KESTRUNE_SOURCE_DIR "/tests/fuzz/ntfs_corpus";
  int inputs = 0;
  uint32_t state = 12345;
  const auto next = [&] { return state = state * 1103515245u + 12345u; };
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<uint8_t> seed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SCOPED_TRACE(entry.path().filename().string());
    fuzz::RunNtfsInput(seed.data(), seed.size());
    for (int variant = 0; variant < 24; ++variant) {
      std::vector<uint8_t> bytes = seed;
      for (int change = 0; change < 1 + variant; ++change) {
        const size_t at = 3 + (next() >> 8) % (bytes.size() - 3);
        bytes[at] = static_cast<uint8_t>(next() >> 16);
      }
      fuzz::RunNtfsInput(bytes.data(), bytes.size());
    }
    ++inputs;
  }
  EXPECT_GE(inputs, 5);
}

}  // namespace
}  // namespace kestrune::fsmap
