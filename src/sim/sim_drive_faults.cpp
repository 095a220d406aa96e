// The injected data faults of a simulated drive that need more than a look at the fault plan: the
// drive's one generator, transient media errors, and the power cut of the drive alone.
#include <array>

#include "sim/sim_drive.h"

namespace kestrune::sim {

uint64_t SimDrive::DrawLocked() {
  // splitmix64: every state, a zero one included, gives a well-mixed stream.
  uint64_t z = (random_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

void SimDrive::PlanSetLocked() {
  planSetMs_ = host_.MonotonicMs();
  if (faults_.seed) {
    random_ = *faults_.seed;
    return;
  }
  if (random_ != 1) return;  // an unseeded plan keeps the stream going
  std::array<uint8_t, 8> bytes{};
  uint64_t seed = 0x2545F4914F6CDD1Dull;
  if (host_.RandomBytes(bytes))
    for (uint8_t b : bytes) seed = seed << 8 | b;
  random_ = seed;
}

bool SimDrive::PoweredLocked() {
  if (poweredOff_ && powerBackAtMs_ && host_.MonotonicMs() >= *powerBackAtMs_) {
    poweredOff_ = false;
    powerBackAtMs_.reset();
  }
  return !poweredOff_;
}

void SimDrive::PowerCutDueLocked() {
  if (faults_.powerCutAfterMs == 0 || host_.MonotonicMs() < planSetMs_ + faults_.powerCutAfterMs) return;
  faults_.powerCutAfterMs = 0;
  InjectedPowerCutLocked();
}

void SimDrive::InjectedPowerCutLocked() {
  // Each cached write had an even chance of reaching the media before the power went.
  store_->DestageSome([this] { return (DrawLocked() & 1) != 0; });
  PowerLossLocked();
  ++powerEpoch_;
  poweredOff_ = true;
  powerBackAtMs_.reset();
  if (faults_.returnAfterSeconds) powerBackAtMs_ = host_.MonotonicMs() + *faults_.returnAfterSeconds * 1000ull;
}

void SimDrive::TearLocked(uint64_t offset, std::span<const uint8_t> data) {
  const uint32_t ss = desc_.sectorSize;
  const uint64_t sectors = data.size() / ss;
  if (sectors == 0 || offset > desc_.capacityBytes || data.size() > desc_.capacityBytes - offset) return;
  const uint64_t kept = DrawLocked() % sectors;  // the sector it tore at: never the whole write
  if (kept > 0) store_->Write(offset, data.first(kept * ss), true);
}

bool SimDrive::MediaErrorOnReadLocked(uint64_t offset, uint64_t length) {
  std::optional<uint64_t> hit = FirstMediaError(offset, length);
  if (!hit) return false;
  lastMediaError_ = hit;
  // This read counts as one read of every transient bad sector it touches.
  const uint32_t ss = desc_.sectorSize;
  auto& transient = faults_.transientMediaErrors;
  for (auto it = transient.lower_bound(offset / ss); it != transient.end() && it->first * ss < offset + length;) {
    if (it->second <= 1) {
      it = transient.erase(it);
    } else {
      --it->second;
      ++it;
    }
  }
  return true;
}

}  // namespace kestrune::sim
