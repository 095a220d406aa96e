#include "sim/backing_store.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace kestrune::sim {

std::unique_ptr<BackingStore> BackingStore::Open(const std::string& path) {
  auto media = SparseFile::Open(path);
  if (!media) return nullptr;
  return std::unique_ptr<BackingStore>(new BackingStore(std::move(media)));
}

bool BackingStore::Read(uint64_t offset, std::span<uint8_t> out) {
  if (!media_->Read(offset, out)) return false;
  const uint64_t end = offset + out.size();
  auto it = ones_.upper_bound(offset);
  if (it != ones_.begin()) --it;
  for (; it != ones_.end() && it->first < end; ++it) {
    const uint64_t from = std::max(it->first, offset), to = std::min(it->second, end);
    if (from < to) std::memset(out.data() + (from - offset), 0xFF, to - from);
  }
  cache_.Overlay(offset, out);
  return true;
}

void BackingStore::ForgetOnes(uint64_t offset, uint64_t length) {
  if (ones_.empty() || length == 0) return;
  const uint64_t end = offset + length;
  auto it = ones_.upper_bound(offset);
  if (it != ones_.begin() && std::prev(it)->second > offset) --it;
  while (it != ones_.end() && it->first < end) {
    const uint64_t start = it->first, stop = it->second;
    it = ones_.erase(it);
    if (start < offset) ones_.emplace(start, offset);
    if (stop > end) it = ones_.emplace(end, stop).first;
  }
}

bool BackingStore::WriteMedia(uint64_t offset, std::span<const uint8_t> data) {
  ForgetOnes(offset, data.size());
  return media_->Write(offset, data);
}

bool BackingStore::Write(uint64_t offset, std::span<const uint8_t> data, bool durable) {
  if (durable) {
    cache_.Erase(offset, data.size());
    return WriteMedia(offset, data);
  }
  cache_.Put(offset, data);
  if (cache_.bytes() > cacheLimit_) return Flush();
  return true;
}

bool BackingStore::Flush() {
  bool ok = cache_.ForEach(
      [this](uint64_t offset, std::span<const uint8_t> data) { return WriteMedia(offset, data); });
  if (!ok) return false;
  cache_.Clear();
  return true;
}

bool BackingStore::DestageSome(const std::function<bool()>& pick) {
  std::vector<std::pair<uint64_t, uint64_t>> done;
  bool ok = cache_.ForEach([&](uint64_t offset, std::span<const uint8_t> data) {
    if (!pick()) return true;
    done.emplace_back(offset, data.size());
    return WriteMedia(offset, data);
  });
  for (const auto& [offset, length] : done) cache_.Erase(offset, length);
  return ok;
}

bool BackingStore::Deallocate(uint64_t offset, uint64_t length, bool ones) {
  cache_.Erase(offset, length);
  ForgetOnes(offset, length);
  if (!media_->Zero(offset, length)) return false;
  if (ones && length > 0) {
    // Join a neighbouring range that ends or starts exactly here.
    uint64_t start = offset, end = offset + length;
    if (auto next = ones_.find(end); next != ones_.end()) {
      end = next->second;
      ones_.erase(next);
    }
    auto prev = ones_.lower_bound(start);
    if (prev != ones_.begin() && std::prev(prev)->second == start) {
      --prev;
      start = prev->first;
      ones_.erase(prev);
    }
    ones_.emplace(start, end);
  }
  return true;
}

}  // namespace kestrune::sim
