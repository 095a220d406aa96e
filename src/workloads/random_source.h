// The pseudo-random draws of the workload engines: a generator with its own 32-bit state (the step of
// disk/pattern_fill.h, so "AUTO" patterns and workers share one sequence rule), seeds from the
// system's cryptographic source, and block numbers over ranges of 2^32 blocks or more.
#pragma once

#include <cstdint>

namespace kestrune::platform {
class Host;
}

namespace kestrune::workloads {

// A generator with its own state: state <- state * 0x081E4F25 + 0xA2C6302D (mod 2^32). Not
// thread-safe: each worker owns one.
class Generator {
 public:
  explicit Generator(uint32_t seed = 0) : state_(seed) {}

  // Steps the state and returns it.
  uint32_t Next();
  // Steps the state and returns state mod n (0 when n is 0).
  uint32_t Below(uint32_t n);
  uint32_t state() const { return state_; }

 private:
  uint32_t state_;
};

// A worker's seed: 4 bytes of the host's cryptographic random source, little-endian. When the source
// fails, the host's tick count mixed with the worker index, so that workers still differ.
uint32_t WorkerSeed(platform::Host& host, uint32_t workerIndex);

// The seed of the draws that only need to differ from run to run (the shuffled tables of a job, the
// client replay's data offsets): the host's tick count. Reproducible under a host with a virtual
// clock.
uint32_t TickSeed(const platform::Host& host);

// A block number in 0 <= v < blocks. Under 2^32 blocks one draw mod blocks; at 2^32 blocks or more two
// draws combined as (high x 2^32 + low) mod blocks, so that blocks past 2^32 are reached too, each
// draw with its 16-bit halves swapped so that the generator's weak low bits do not decide the
// block's low bits. 0 when blocks is 0.
uint64_t RandomBlock(Generator& generator, uint64_t blocks);

}  // namespace kestrune::workloads
