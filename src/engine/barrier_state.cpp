#include "engine/barrier_state.h"

#include <cstring>

#include "base/bytes.h"

namespace kestrune::engine {
namespace {

using base::GetLe32;
using base::GetLe64;
using base::PutLe32;
using base::PutLe64;

constexpr size_t kPendingOffset = 0;
constexpr size_t kTotalOffset = 4;
constexpr size_t kCapacityOffset = 24;
constexpr size_t kPidField = 0;
constexpr size_t kViewField = 4;
constexpr size_t kStartField = 8;
constexpr size_t kArrivalField = 16;
constexpr size_t kCaptionField = 24;

// The caption cut to the field (room for the NUL), never inside a UTF-8 sequence.
std::string_view FitCaption(std::string_view caption) {
  if (caption.size() < kBarrierCaptionBytes) return caption;
  size_t keep = kBarrierCaptionBytes - 1;
  while (keep > 0 && (static_cast<unsigned char>(caption[keep]) & 0xC0) == 0x80) --keep;
  return caption.substr(0, keep);
}

}  // namespace

int32_t BarrierTable::Pending() const {
  return static_cast<int32_t>(GetLe32(bytes_.data() + kPendingOffset));
}
int32_t BarrierTable::Total() const { return static_cast<int32_t>(GetLe32(bytes_.data() + kTotalOffset)); }
uint32_t BarrierTable::Generation() const {
  return GetLe32(bytes_.data() + platform::kBarrierGenerationOffset);
}

BarrierParticipant BarrierTable::Read(size_t index) const {
  const uint8_t* e = Entry(index);
  BarrierParticipant p;
  p.process.pid = GetLe32(e + kPidField);
  p.view = GetLe32(e + kViewField);
  p.process.startTime = GetLe64(e + kStartField);
  p.arrival = GetLe32(e + kArrivalField);
  const char* caption = reinterpret_cast<const char*>(e + kCaptionField);
  p.caption.assign(caption, strnlen(caption, kBarrierCaptionBytes));
  return p;
}

std::vector<BarrierParticipant> BarrierTable::Participants() const {
  std::vector<BarrierParticipant> all;
  for (size_t i = 0; i < kBarrierCapacity; ++i)
    if (GetLe32(Entry(i) + kPidField) != 0) all.push_back(Read(i));
  return all;
}

std::vector<BarrierParticipant> BarrierTable::Missing() const {
  std::vector<BarrierParticipant> missing;
  const uint32_t generation = Generation();
  for (const BarrierParticipant& p : Participants())
    if (p.arrival != generation) missing.push_back(p);
  return missing;
}

std::optional<size_t> BarrierTable::Find(const platform::ProcessIdentity& process, uint32_t view) const {
  for (size_t i = 0; i < kBarrierCapacity; ++i) {
    const uint8_t* e = Entry(i);
    if (GetLe32(e + kPidField) == process.pid && process.pid != 0 && GetLe32(e + kViewField) == view &&
        GetLe64(e + kStartField) == process.startTime)
      return i;
  }
  return std::nullopt;
}

BarrierTable::Joined BarrierTable::Join(const platform::ProcessIdentity& process, uint32_t view,
                                        std::string_view caption) {
  if (Find(process, view)) return Joined::kAlreadyIn;
  for (size_t i = 0; i < kBarrierCapacity; ++i) {
    uint8_t* e = Entry(i);
    if (GetLe32(e + kPidField) != 0) continue;
    std::memset(e, 0, kBarrierEntryBytes);
    PutLe32(e + kPidField, process.pid);
    PutLe32(e + kViewField, view);
    PutLe64(e + kStartField, process.startTime);
    const std::string_view fitted = FitCaption(caption);
    std::memcpy(e + kCaptionField, fitted.data(), fitted.size());
    Refresh();
    return Joined::kAdded;
  }
  return Joined::kFull;
}

bool BarrierTable::ReleaseIfAllArrived() {
  const std::vector<BarrierParticipant> all = Participants();
  if (all.empty() || !Missing().empty()) return false;
  uint32_t next = Generation() + 1;
  if (next == 0) next = 1;  // 0 means "never arrived"
  PutLe32(bytes_.data() + platform::kBarrierGenerationOffset, next);
  return true;
}

BarrierTable::Arrival BarrierTable::Arrive(const platform::ProcessIdentity& process, uint32_t view) {
  Arrival result;
  result.generation = Generation();
  const std::optional<size_t> index = Find(process, view);
  if (!index) return result;
  result.registered = true;
  PutLe32(Entry(*index) + kArrivalField, result.generation);
  result.released = ReleaseIfAllArrived();
  Refresh();
  return result;
}

bool BarrierTable::Withdraw(const platform::ProcessIdentity& process, uint32_t view, uint32_t seen) {
  if (Released(seen)) return true;
  if (const std::optional<size_t> index = Find(process, view)) PutLe32(Entry(*index) + kArrivalField, 0);
  Refresh();
  return false;
}

bool BarrierTable::Leave(const platform::ProcessIdentity& process, uint32_t view) {
  const std::optional<size_t> index = Find(process, view);
  if (!index) return false;
  std::memset(Entry(*index), 0, kBarrierEntryBytes);
  const bool released = ReleaseIfAllArrived();
  Refresh();
  return released;
}

size_t BarrierTable::Purge(const std::function<bool(const platform::ProcessIdentity&)>& alive,
                           bool& released) {
  released = false;
  size_t removed = 0;
  for (size_t i = 0; i < kBarrierCapacity; ++i) {
    uint8_t* e = Entry(i);
    if (GetLe32(e + kPidField) == 0) continue;
    if (alive(Read(i).process)) continue;
    std::memset(e, 0, kBarrierEntryBytes);
    ++removed;
  }
  if (removed > 0) {
    released = ReleaseIfAllArrived();
    Refresh();
  }
  return removed;
}

void BarrierTable::Refresh() {
  const int32_t total = static_cast<int32_t>(Participants().size());
  const int32_t pending = static_cast<int32_t>(Missing().size());
  PutLe32(bytes_.data() + kPendingOffset, static_cast<uint32_t>(pending));
  PutLe32(bytes_.data() + kTotalOffset, static_cast<uint32_t>(total));
  PutLe64(bytes_.data() + 8, 0);
  PutLe32(bytes_.data() + kCapacityOffset, kBarrierCapacity);
  PutLe32(bytes_.data() + 28, 0);
  // A generation of 0 would make every fresh entry look arrived.
  if (Generation() == 0) PutLe32(bytes_.data() + platform::kBarrierGenerationOffset, 1);
}

}  // namespace kestrune::engine
