// libFuzzer target: the NTFS walker over a real NTFS image with the input laid over its metadata
// (ntfs_fuzz_input.h). Build as executor_fuzz.cpp says (target ntfs_fuzz), or on its own:
//   clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -Isrc -Itests
//     -DKESTRUNE_SOURCE_DIR='"'$PWD'"' tests/fuzz/ntfs_fuzz.cpp src/fsmap/{run_list,ntfs_volume,file_extents,sector_source}.cpp
//     src/disk/{sector_io,sector_buffer}.cpp src/base/{text,unicode}.cpp src/platform/{path,files,async_queue}.cpp
//     -lz -o ntfs_fuzz
// Run on a copy of the corpus (new inputs are written into it):
//   ntfs_fuzz -max_total_time=600 -max_len=70000 -timeout=10 corpus_copy
#include "ntfs_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrune::fuzz::RunNtfsInput(data, size);
  return 0;
}
