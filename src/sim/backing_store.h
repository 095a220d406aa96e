// The contents of one simulated drive: the media (a sparse file, durable) behind a volatile write
// cache. Writes land in the cache unless they are durable (FUA, or the cache is off); Flush moves
// the cache to the media; DropVolatile (a power cut) loses what the cache held. Reads see the
// cache over the media. Not thread-safe: the drive's lock guards it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
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
  // Deallocates a range: it reads as zeros afterwards (as 0xFF bytes with ones), cached or not,
  // until written again. Deallocation is durable (the 0xFF reading lasts as long as this object).
  bool Deallocate(uint64_t offset, uint64_t length, bool ones = false);
  // Loses every unflushed write.
  void DropVolatile() { cache_.Clear(); }
  // Moves the cached writes that pick chooses (asked once per cached range, in offset order) to the
  // media and keeps the rest cached: what a drive had destaged on its own when the power went.
  bool DestageSome(const std::function<bool()>& pick);

  uint64_t volatileBytes() const { return cache_.bytes(); }
  void set_cacheLimit(uint64_t bytes) { cacheLimit_ = bytes; }

 private:
  explicit BackingStore(std::unique_ptr<SparseFile> media) : media_(std::move(media)) {}
  // Writes to the media, which ends the 0xFF reading of those bytes.
  bool WriteMedia(uint64_t offset, std::span<const uint8_t> data);
  void ForgetOnes(uint64_t offset, uint64_t length);
  std::unique_ptr<SparseFile> media_;
  std::map<uint64_t, uint64_t> ones_;  // deallocated ranges that read as 0xFF: start -> end
  WriteCache cache_;
  uint64_t cacheLimit_ = kDefaultCacheLimit;
};

}  // namespace kestrune::sim
