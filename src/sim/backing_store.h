// The contents of one simulated drive: the media (a sparse file, durable) behind a volatile write
// cache. Writes land in the cache unless they are durable (FUA, or the cache is off); Flush moves
// the cache to the media; DropVolatile (a power cut) loses what the cache held. Reads see the
// cache over the media. Not thread-safe: the drive's lock guards it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "sim/sparse_file.h"
#include "sim/write_cache.h"

namespace kestrune::sim {

class BackingStore {
 public:
  // A drive destages its cache on its own once it holds this much.
  static constexpr uint64_t kDefaultCacheLimit = uint64_t{64} << 20;

  // Opens (or creates) the media file. nullptr when it cannot be opened.
  static std::unique_ptr<BackingStore> Open(const std::string& path);

  bool Read(uint64_t offset, std::span<uint8_t> out);
  // durable: the bytes go to the media at once (and replace any cached copy of them).
  bool Write(uint64_t offset, std::span<const uint8_t> data, bool durable);
  // Moves every cached byte to the media. False on an I/O error (the cache keeps what it held).
  bool Flush();
  // Deallocates a range: it reads as zeros afterwards, cached or not. Deallocation is durable.
  bool Deallocate(uint64_t offset, uint64_t length);
  // Loses every unflushed write.
  void DropVolatile() { cache_.Clear(); }

  uint64_t volatileBytes() const { return cache_.bytes(); }
  void set_cacheLimit(uint64_t bytes) { cacheLimit_ = bytes; }

 private:
  explicit BackingStore(std::unique_ptr<SparseFile> media) : media_(std::move(media)) {}
  std::unique_ptr<SparseFile> media_;
  WriteCache cache_;
  uint64_t cacheLimit_ = kDefaultCacheLimit;
};

}  // namespace kestrune::sim
