// The volatile write cache of a simulated drive: byte ranges written but not yet on the media.
// Newer data replaces older data of the same bytes; ranges never overlap. Not thread-safe (the
// drive's lock guards it).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <vector>

namespace kestrune::sim {

class WriteCache {
 public:
  // Keeps data for the bytes [offset, offset + size), replacing what was cached there.
  void Put(uint64_t offset, std::span<const uint8_t> data);
  // Copies the cached bytes that fall into [offset, offset + out.size()) over out.
  void Overlay(uint64_t offset, std::span<uint8_t> out) const;
  // Forgets the cached bytes of [offset, offset + length).
  void Erase(uint64_t offset, uint64_t length);
  // Visits the cached ranges in offset order; stops at the first visit that returns false.
  bool ForEach(const std::function<bool(uint64_t offset, std::span<const uint8_t> data)>& visit) const;
  void Clear();

  uint64_t bytes() const { return bytes_; }
  size_t ranges() const { return extents_.size(); }

 private:
  using Extents = std::map<uint64_t, std::vector<uint8_t>>;
  // Erase's work; returns where an extent starting at offset + length would go.
  Extents::iterator EraseRange(uint64_t offset, uint64_t length);

  Extents extents_;  // start offset -> bytes
  uint64_t bytes_ = 0;
};

}  // namespace kestrune::sim
