// The cross-instance barrier's state in its shared block, and every change of it. The block (see
// platform/barrier_block.h for the platform's words and the lock) holds:
//
//   offset  width  field
//   0       4      pending: participants that have not arrived at the current barrier (signed)
//   4       4      total: participants registered (signed)
//   8       8      always zero (once a handle; never read as one)
//   16      4      magic (set by the platform)
//   20      4      generation: counts releases, never 0; waiters wait for it to change
//   24      4      capacity of the participant table (64)
//   28      4      zero
//   32      3072   64 participant entries of 48 bytes:
//                    +0 pid (0 = free entry), +4 view, +8 process start time (64-bit),
//                    +16 generation of its last arrival (0 = none), +20 zero,
//                    +24 disk caption (UTF-8, NUL-terminated, 24 bytes)
//   3104    96     the platform's lock
//
// Every field is little-endian and read and written through base/bytes.h. The table is the truth:
// pending and total are rewritten from it after every change, so a holder that died half-way
// through a change leaves nothing that the next one cannot rebuild. A participant has arrived at
// the current barrier when its arrival generation equals the block's generation; the last arrival
// moves the generation on, which at once re-arms every other participant for the next barrier.
//
// A BarrierTable only reads and writes the bytes it is given: hold the block's lock for as long as
// one is used. Not thread-safe otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/barrier_block.h"

namespace kestrune::engine {

inline constexpr size_t kBarrierCapacity = 64;
inline constexpr size_t kBarrierTableOffset = 32;
inline constexpr size_t kBarrierEntryBytes = 48;
inline constexpr size_t kBarrierCaptionBytes = 24;
static_assert(platform::kBarrierMagicOffset == 16 && platform::kBarrierGenerationOffset == 20);
static_assert(kBarrierTableOffset + kBarrierCapacity * kBarrierEntryBytes == platform::kBarrierLockOffset);
static_assert(kBarrierEntryBytes == 24 + kBarrierCaptionBytes);

struct BarrierParticipant {
  platform::ProcessIdentity process;
  uint32_t view = 0;
  uint32_t arrival = 0;  // generation of its last arrival; 0 = none
  std::string caption;   // the participant's disk, for the roll call
};

class BarrierTable {
 public:
  // bytes: the whole block (platform::kBarrierBlockBytes).
  explicit BarrierTable(std::span<uint8_t> bytes) : bytes_(bytes) {}

  int32_t Pending() const;
  int32_t Total() const;
  uint32_t Generation() const;
  // The participants in table order.
  std::vector<BarrierParticipant> Participants() const;
  // The participants that have not arrived at the current barrier, in table order.
  std::vector<BarrierParticipant> Missing() const;

  enum class Joined { kAdded, kAlreadyIn, kFull };
  // Registers the participant (process and view) unless it is in already; a new one has not
  // arrived yet, so the others also wait for it.
  Joined Join(const platform::ProcessIdentity& process, uint32_t view, std::string_view caption);

  struct Arrival {
    bool registered = false;  // false: the participant is not in the table; nothing changed
    bool released = false;    // this arrival was the last: the generation has moved on
    uint32_t generation = 0;  // the generation to wait on (before the release, when released)
  };
  // Marks the participant as arrived. When it was the last, releases the barrier.
  Arrival Arrive(const platform::ProcessIdentity& process, uint32_t view);

  // True when the barrier the participant waits on (seen) has been released.
  bool Released(uint32_t seen) const { return Generation() != seen; }

  // Takes back the participant's arrival at barrier seen (timeout, cancel). Returns true, changing
  // nothing, when that barrier was released first: the wait then counts as passed.
  bool Withdraw(const platform::ProcessIdentity& process, uint32_t view, uint32_t seen);

  // Removes the participant. True when that released the others (all of them had arrived).
  bool Leave(const platform::ProcessIdentity& process, uint32_t view);

  // Removes every participant whose process no longer runs (alive says). Returns how many went;
  // released is set when that released the remaining ones.
  size_t Purge(const std::function<bool(const platform::ProcessIdentity&)>& alive, bool& released);

  // Rewrites pending, total and the fixed words from the table (after a lock taken from a holder
  // that died). Every change above ends with it too.
  void Refresh();

 private:
  uint8_t* Entry(size_t index) const {
    return bytes_.data() + kBarrierTableOffset + index * kBarrierEntryBytes;
  }
  std::optional<size_t> Find(const platform::ProcessIdentity& process, uint32_t view) const;
  BarrierParticipant Read(size_t index) const;
  bool ReleaseIfAllArrived();

  std::span<uint8_t> bytes_;
};

}  // namespace kestrune::engine
