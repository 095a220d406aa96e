// The video stream engine behind Performance_VideoStream: one request in flight, frames written one
// after another through the stream's region, and with FrameHead a pattern of sector-sized head
// requests between frames (as a recorder updates its index), sampled every FramePerDot requests.
//
// The nine steps of the sequence: without FrameHead nine frame writes. With FrameHead step 0 is a
// frame write and steps 1 to 8 are head requests write, read, read, write, write, read, read, write:
// pairs on one sector; after each pair the head position moves on one sector and the next of three
// head areas (1 MiB each, at the range's start and 1 MiB and 2 MiB after it) is used. The frames then
// start 5 MiB after the range's start.
#pragma once

#include <cstdint>

#include "workloads/throughput_engine.h"

namespace kestrune::workloads {

// Where the head areas and the frames of a stream lie.
inline constexpr uint64_t kHeadAreaBytes = uint64_t{1} << 20;
inline constexpr uint32_t kHeadAreas = 3;
inline constexpr uint64_t kFrameRegionOffset = 0x500000;
inline constexpr uint32_t kStreamSteps = 9;

struct StreamSetup {
  uint64_t startOffset = 0;  // the range's first byte
  uint64_t streamBytes = 0;  // RangeLenMB MiB: the frame region, and the bytes of one cycle
  uint32_t sectorSize = 512;
  uint32_t accessSize = 0;  // frame size in bytes; for a size range its upper bound
  uint32_t accessSpan = 0;
  bool frameHead = false;
  uint32_t limitCycles = 1;  // 0 = no limit
  uint32_t limitTimeSec = 0;
  uint32_t framePerDot = 20;
  uint32_t pattern = 0;
  const std::atomic<bool>* cancel = nullptr;
};

// One step of the sequence: what it does and where.
struct StreamStep {
  bool write = true;
  bool frame = true;
  uint64_t offset = 0;
  uint32_t length = 0;
};

// Walks the nine-step sequence. Not thread-safe.
class StreamSequence {
 public:
  explicit StreamSequence(const StreamSetup& setup) : s_(setup) {}
  // The next step, with the frame of frameSize bytes when it is a frame write.
  StreamStep Next(uint32_t frameSize);

 private:
  const StreamSetup& s_;
  uint32_t step_ = 0;
  uint64_t frameOffset_ = 0;  // within the frame region
  uint64_t headSector_ = 0;   // within a head area
  uint32_t headArea_ = 0;
  uint32_t inPair_ = 0;
};

// Runs one stream job on the caller's thread; the outcome as the throughput engine gives it.
ThroughputOutcome RunVideoStream(const StreamSetup& setup, ThroughputHooks& hooks, platform::Host& host);

}  // namespace kestrune::workloads
