#include "sim/backing_store.h"

namespace kestrune::sim {

std::unique_ptr<BackingStore> BackingStore::Open(const std::string& path) {
  auto media = SparseFile::Open(path);
  if (!media) return nullptr;
  return std::unique_ptr<BackingStore>(new BackingStore(std::move(media)));
}

bool BackingStore::Read(uint64_t offset, std::span<uint8_t> out) {
  if (!media_->Read(offset, out)) return false;
  cache_.Overlay(offset, out);
  return true;
}

bool BackingStore::Write(uint64_t offset, std::span<const uint8_t> data, bool durable) {
  if (durable) {
    cache_.Erase(offset, data.size());
    return media_->Write(offset, data);
  }
  cache_.Put(offset, data);
  if (cache_.bytes() > cacheLimit_) return Flush();
  return true;
}

bool BackingStore::Flush() {
  bool ok = cache_.ForEach(
      [this](uint64_t offset, std::span<const uint8_t> data) { return media_->Write(offset, data); });
  if (!ok) return false;
  cache_.Clear();
  return true;
}

bool BackingStore::Deallocate(uint64_t offset, uint64_t length) {
  cache_.Erase(offset, length);
  return media_->Zero(offset, length);
}

}  // namespace kestrune::sim
