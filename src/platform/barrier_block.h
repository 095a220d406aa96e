// The cross-instance barrier's shared block: a named block of fixed layout that every instance of
// one user maps, a lock inside (or beside) it that survives the death of its holder, and a wait on
// the block's generation word that a releasing instance ends for everybody at once.
//
// The platform owns the block's first words of the extension (magic and generation, which it sets
// when it makes the block) and the lock; what the rest of the block means is the portable barrier
// code's (engine/barrier_state.h). One implementation per platform (linux/, win32/
// barrier_block.cpp); tests use an in-process one (tests/support/fake_barrier.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace kestrune::platform {

// The block's size and the words the platform reads and writes. Bytes 0-15 keep the older 16-byte
// layout (pending, total, 8 bytes that are always zero); the extension starts at byte 16. All
// fields are little-endian.
inline constexpr size_t kBarrierBlockBytes = 3200;
inline constexpr size_t kBarrierMagicOffset = 16;
inline constexpr size_t kBarrierGenerationOffset = 20;
// "KBR1" read as a little-endian word.
inline constexpr uint32_t kBarrierMagic = 0x3152424Bu;
// Bytes kept for a lock that lives inside the block (Linux: a process-shared mutex), 8-aligned.
inline constexpr size_t kBarrierLockOffset = 3104;
inline constexpr size_t kBarrierLockBytes = 96;
static_assert(kBarrierLockOffset + kBarrierLockBytes == kBarrierBlockBytes);
static_assert(kBarrierLockOffset % 8 == 0 && kBarrierGenerationOffset % 4 == 0);

// A process as the barrier knows it: the id and the start time, so that a reused id is not
// mistaken for a participant that has died. The start time's unit is the platform's own (clock
// ticks since boot, FILETIME); only equality counts.
struct ProcessIdentity {
  uint32_t pid = 0;
  uint64_t startTime = 0;
  bool operator==(const ProcessIdentity&) const = default;
};

// One mapping of the barrier block. A BarrierBlock object may be used by several threads, but Lock
// and Unlock pair on one thread, and only the holder of the lock touches Bytes().
class BarrierBlock {
 public:
  virtual ~BarrierBlock() = default;

  // Takes the block's lock, waiting for its holder (in any process of the user) to let it go. A
  // holder that died while holding it leaves it to the next taker, who gets it with repaired set
  // (what the dead holder wrote may be half done: rebuild what can be derived). False when the
  // lock cannot be had (broken beyond repair, or held for longer than any honest holder keeps it);
  // why then says so. Not re-entrant.
  virtual bool Lock(bool& repaired, std::string& why) = 0;
  // Gives the lock back. Only after a successful Lock, on the same thread.
  virtual void Unlock() = 0;

  // The block's kBarrierBlockBytes bytes. Read and write them only while holding the lock.
  virtual std::span<uint8_t> Bytes() = 0;

  // Ends every WaitForChange of every process on this block. Call after the generation word has
  // changed, holding the lock or not. Thread-safe.
  virtual void WakeWaiters() = 0;

  // Waits, without the lock, until the generation word no longer holds seen, WakeWaiters is called
  // or ms milliseconds pass; may also return early for no reason. The caller then looks at the
  // block under the lock: this call decides nothing. Thread-safe.
  virtual void WaitForChange(uint32_t seen, uint32_t ms) = 0;
};

// Opening barrier blocks and telling whether their participants still live.
class BarrierSystem {
 public:
  virtual ~BarrierSystem() = default;

  // Maps the barrier block name (a short plain word, made the user's own as Host::OpenSharedBlock
  // describes), creating it when it is missing: a new block is zero-filled with the magic, the
  // generation 1 and a fresh lock. A block that exists with another size, another magic or another
  // owner (or open to other users) is refused: nullptr, nothing written, and why names the block
  // and what is wrong with it. Thread-safe; each call gives an independent mapping.
  virtual std::unique_ptr<BarrierBlock> Open(std::string_view name, std::string& why) = 0;

  // This process. Thread-safe.
  virtual ProcessIdentity Self() = 0;

  // True while the process still runs (a process that has ended but has not been collected yet
  // counts as ended, as does another process that now has the id). When the start time cannot be
  // read but the process exists, it is taken to be alive. Thread-safe.
  virtual bool Alive(const ProcessIdentity& process) = 0;
};

// The system's barrier blocks. Never null; lives for the whole process.
BarrierSystem& DefaultBarrierSystem();

}  // namespace kestrune::platform
