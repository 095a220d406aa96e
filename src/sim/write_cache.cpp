#include "sim/write_cache.h"

#include <algorithm>
#include <cstring>

namespace kestrune::sim {

void WriteCache::Erase(uint64_t offset, uint64_t length) { EraseRange(offset, length); }

WriteCache::Extents::iterator WriteCache::EraseRange(uint64_t offset, uint64_t length) {
  if (length == 0 || extents_.empty()) return extents_.lower_bound(offset);
  const uint64_t end = offset + length;
  auto it = extents_.upper_bound(offset);
  if (it != extents_.begin()) {
    auto prev = std::prev(it);
    if (prev->first + prev->second.size() > offset) it = prev;
  }
  while (it != extents_.end() && it->first < end) {
    const uint64_t start = it->first;
    std::vector<uint8_t> data = std::move(it->second);
    const uint64_t stop = start + data.size();
    it = extents_.erase(it);
    bytes_ -= data.size();
    if (start < offset) {
      std::vector<uint8_t> head(data.begin(), data.begin() + static_cast<ptrdiff_t>(offset - start));
      bytes_ += head.size();
      extents_.emplace(start, std::move(head));
    }
    if (stop > end) {
      std::vector<uint8_t> tail(data.begin() + static_cast<ptrdiff_t>(end - start), data.end());
      bytes_ += tail.size();
      return extents_.emplace(end, std::move(tail)).first;  // nothing after it overlaps the range
    }
  }
  return it;
}

void WriteCache::Put(uint64_t offset, std::span<const uint8_t> data) {
  if (data.empty()) return;
  // After the erase nothing lies in the range, so the new extent goes right before what follows it.
  extents_.emplace_hint(EraseRange(offset, data.size()), offset,
                        std::vector<uint8_t>(data.begin(), data.end()));
  bytes_ += data.size();
}

void WriteCache::Overlay(uint64_t offset, std::span<uint8_t> out) const {
  if (out.empty() || extents_.empty()) return;
  const uint64_t end = offset + out.size();
  auto it = extents_.upper_bound(offset);
  if (it != extents_.begin()) --it;
  for (; it != extents_.end() && it->first < end; ++it) {
    const uint64_t start = std::max(it->first, offset);
    const uint64_t stop = std::min<uint64_t>(it->first + it->second.size(), end);
    if (start >= stop) continue;
    std::memcpy(out.data() + (start - offset), it->second.data() + (start - it->first), stop - start);
  }
}

bool WriteCache::ForEach(const std::function<bool(uint64_t, std::span<const uint8_t>)>& visit) const {
  for (const auto& [offset, data] : extents_) {
    if (!visit(offset, data)) return false;
  }
  return true;
}

void WriteCache::Clear() {
  extents_.clear();
  bytes_ = 0;
}

}  // namespace kestrune::sim
