// libFuzzer target: arbitrary bytes as an LBA map file. A map that passes the checks must encode
// back to the same bytes and replay without touching a block outside its range; one that fails must
// name its fault.
// Build as tests/fuzz/executor_fuzz.cpp says, target map_file_fuzz.
// Run:   build/fuzz/tests/fuzz/map_file_fuzz -max_total_time=300
#include <algorithm>
#include <cstdlib>
#include <string>

#include "workloads/lba_map_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrune::workloads;
  const std::span<const uint8_t> bytes(data, size);
  for (uint32_t sectorSize : {512u, 4096u}) {
    std::string problem;
    const std::optional<LbaMap> map = DecodeMap(bytes, sectorSize, uint64_t{1} << 40, problem);
    if (!map) {
      if (problem.empty()) std::abort();
      continue;
    }
    const std::vector<uint8_t> again = EncodeMap(*map);
    if (again.size() != size || !std::equal(again.begin(), again.end(), data)) std::abort();
    if (map->Blocks() > (uint64_t{1} << 20)) continue;  // keeps a run's memory small
    const MapReplay replay(*map, map->entries.size(), {});
    for (const MapEntry& e : map->entries)
      if (e.kind != MapKind::kFlush && map->BlockOf(e) >= map->Blocks()) std::abort();
    static_cast<void>(replay);
  }
  return 0;
}
