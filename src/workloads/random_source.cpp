#include "workloads/random_source.h"

#include <array>
#include <bit>

#include "disk/pattern_fill.h"
#include "platform/host.h"

namespace kestrune::workloads {

uint32_t Generator::Next() { return disk::StepRandom(state_); }

uint32_t Generator::Below(uint32_t n) {
  const uint32_t value = Next();
  return n == 0 ? 0 : value % n;
}

uint32_t WorkerSeed(platform::Host& host, uint32_t workerIndex) {
  std::array<uint8_t, 4> bytes{};
  if (host.RandomBytes(bytes))
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  const uint64_t ticks = host.Ticks();
  // Golden-ratio spacing keeps the fallback seeds of workers started in the same tick apart.
  return static_cast<uint32_t>(ticks ^ (ticks >> 32)) ^ (workerIndex * 0x9E3779B9u);
}

uint32_t TickSeed(const platform::Host& host) {
  const uint64_t ticks = host.Ticks();
  return static_cast<uint32_t>(ticks ^ (ticks >> 32));
}

uint64_t RandomBlock(Generator& generator, uint64_t blocks) {
  constexpr uint64_t kOneDrawLimit = uint64_t{1} << 32;
  if (blocks == 0) return 0;
  if (blocks < kOneDrawLimit) return generator.Next() % blocks;
  // Each draw with its 16-bit halves swapped: a generator of this kind repeats its low bits with short
  // periods (the lowest one alternates), so two consecutive draws would give every pair the same
  // lowest bits and leave half of a power-of-two range unreached.
  const uint64_t high = std::rotl(generator.Next(), 16);
  const uint64_t low = std::rotl(generator.Next(), 16);
  return ((high << 32) | low) % blocks;
}

}  // namespace kestrune::workloads
