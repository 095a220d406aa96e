// libFuzzer target: the NTFS walker over a real NTFS image with the input laid over its metadata
// (ntfs_fuzz_input.h). Build as executor_fuzz.cpp says (target ntfs_fuzz); run:
//   build/fuzz/tests/fuzz/ntfs_fuzz -max_total_time=600 -max_len=70000 tests/fuzz/ntfs_corpus
#include "ntfs_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrune::fuzz::RunNtfsInput(data, size);
  return 0;
}
