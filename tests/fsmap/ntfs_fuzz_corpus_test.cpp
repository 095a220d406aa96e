// The NTFS fuzz target's inputs run in the unit tests: every corpus file, and variants of each with
// bytes changed at fixed pseudo-random places, must walk to an end without a crash or a hang.
#include <gtest/gtest.h>

#include "fuzz/corpus_replay.h"
#include "fuzz/ntfs_fuzz_input.h"

namespace kestrune::fsmap {
namespace {

TEST(NtfsFuzzCorpus, EveryInputAndItsVariantsEnd) {
  const int inputs = fuzz::ReplayCorpus(KESTRUNE_SOURCE_DIR "/tests/fuzz/ntfs_corpus", 3, 24,
                                        [](const std::string&, const std::vector<uint8_t>& bytes, int) {
                                          fuzz::RunNtfsInput(bytes.data(), bytes.size());
                                        });
  EXPECT_GE(inputs, 5);
}

}  // namespace
}  // namespace kestrune::fsmap
