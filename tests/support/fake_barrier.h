// An in-process BarrierSystem for tests: every FakeBarrierSystem is one simulated process (its own
// pid and start time); all of them share one table of blocks, as the processes of one user share
// the system's named objects. Blocks are plain bytes with a mutex as their lock and a condition
// variable for the waits. A wait that sees no change advances the host's clock by the slice (with
// a virtual FakeHost clock, a three-minute timeout then passes at once), after a short real wait
// that lets other threads' releases through.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/barrier_block.h"
#include "platform/host.h"

namespace kestrune::testing {

class FakeBarrierSystem final : public platform::BarrierSystem {
 public:
  // What all simulated processes share.
  struct Shared {
    std::mutex mutex;
    std::set<uint32_t> deadPids;
    struct Block {
      std::mutex lock;
      std::mutex waitMutex;
      std::condition_variable changed;
      std::array<uint8_t, platform::kBarrierBlockBytes> bytes{};
      bool repairNext = false;  // the next Lock reports a holder that died
    };
    std::map<std::string, std::shared_ptr<Block>> blocks;
  };

  FakeBarrierSystem(platform::Host& host, uint32_t pid, uint64_t startTime = 1000)
      : host_(host), self_{pid, startTime} {}

  // The shared state of the test process; Reset between tests.
  static Shared& State() {
    static Shared* shared = new Shared;
    return *shared;
  }
  static void Reset() {
    std::lock_guard<std::mutex> guard(State().mutex);
    State().blocks.clear();
    State().deadPids.clear();
  }
  // The simulated process pid ends (Alive gives false from now on).
  static void Kill(uint32_t pid) {
    std::lock_guard<std::mutex> guard(State().mutex);
    State().deadPids.insert(pid);
  }
  // The block name, made (zeroed, magic and generation 1) when missing.
  static std::shared_ptr<Shared::Block> BlockOf(const std::string& name) {
    std::lock_guard<std::mutex> guard(State().mutex);
    std::shared_ptr<Shared::Block>& block = State().blocks[name];
    if (!block) {
      block = std::make_shared<Shared::Block>();
      PutWord(block->bytes.data() + platform::kBarrierMagicOffset, platform::kBarrierMagic);
      PutWord(block->bytes.data() + platform::kBarrierGenerationOffset, 1);
    }
    return block;
  }

  std::string refusal;  // when set, Open refuses with this reason

  std::unique_ptr<platform::BarrierBlock> Open(std::string_view name, std::string& why) override {
    if (!refusal.empty()) {
      why = refusal;
      return nullptr;
    }
    std::shared_ptr<Shared::Block> block = BlockOf(std::string(name));
    std::lock_guard<std::mutex> guard(block->lock);
    if (Word(block->bytes.data() + platform::kBarrierMagicOffset) != platform::kBarrierMagic) {
      why = "refused the barrier block " + std::string(name) + ": wrong magic";
      return nullptr;
    }
    return std::make_unique<FakeBlock>(host_, std::move(block));
  }
  platform::ProcessIdentity Self() override { return self_; }
  bool Alive(const platform::ProcessIdentity& process) override {
    std::lock_guard<std::mutex> guard(State().mutex);
    return process.pid != 0 && State().deadPids.count(process.pid) == 0;
  }

 private:
  static uint32_t Word(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  static void PutWord(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

  class FakeBlock final : public platform::BarrierBlock {
   public:
    FakeBlock(platform::Host& host, std::shared_ptr<Shared::Block> block)
        : host_(host), block_(std::move(block)) {}
    bool Lock(bool& repaired, std::string&) override {
      block_->lock.lock();
      repaired = block_->repairNext;
      block_->repairNext = false;
      return true;
    }
    void Unlock() override { block_->lock.unlock(); }
    std::span<uint8_t> Bytes() override { return block_->bytes; }
    void WakeWaiters() override {
      { std::lock_guard<std::mutex> guard(block_->waitMutex); }
      block_->changed.notify_all();
    }
    void WaitForChange(uint32_t seen, uint32_t ms) override {
      {
        std::unique_lock<std::mutex> wait(block_->waitMutex);
        if (block_->changed.wait_for(wait, std::chrono::milliseconds(2),
                                     [&] { return Generation() != seen; }))
          return;
      }
      host_.SleepMs(ms);
    }

   private:
    // Read under the block's lock, so the wait does not race the writers.
    uint32_t Generation() {
      std::lock_guard<std::mutex> guard(block_->lock);
      return Word(block_->bytes.data() + platform::kBarrierGenerationOffset);
    }
    platform::Host& host_;
    std::shared_ptr<Shared::Block> block_;
  };

  platform::Host& host_;
  platform::ProcessIdentity self_;
};

}  // namespace kestrune::testing
