// libFuzzer target: the partition table reader over a disk image of arbitrary bytes
// (partition_fuzz_input.h). Build with the fuzz preset options (KESTRUNE_FUZZ=ON, clang); run on a
// copy of a corpus:
//   partition_table_fuzz -max_total_time=300 -max_len=65536 corpus_copy
#include "partition_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrune::disk::PartitionTable table;
  kestrune::fuzz::RunPartitionInput(data, size, table);
  return 0;
}
