// Which entries of a map replay are durable: a write or trim is durable once its FUA write has
// completed, once it has completed on a drive whose write cache is off, or once a flush issued
// after it completed has completed. A flush is durable when it completes. The replay keeps the
// length of the durable prefix: every entry before it is durable, so a power cut cannot undo it.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "workloads/lba_map_file.h"

namespace kestrune::workloads {

class DurabilityTracker {
 public:
  DurabilityTracker(uint64_t entries, bool cacheOff);
  // The entry was submitted; a flush covers every entry completed before it.
  void Issued(uint64_t entry, MapKind kind);
  // The entry completed successfully.
  void Completed(uint64_t entry, MapKind kind);
  // Entries [0, n) are durable.
  uint64_t DurablePrefix() const { return prefix_; }

 private:
  void MakeDurable(uint64_t entry);

  std::vector<bool> durable_;
  std::vector<uint64_t> volatile_;  // completed, not yet covered by a flush
  std::unordered_map<uint64_t, std::vector<uint64_t>> flushCovers_;
  uint64_t prefix_ = 0;
  bool cacheOff_;
};

}  // namespace kestrune::workloads
