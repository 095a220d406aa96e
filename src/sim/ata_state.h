// What a simulated SATA drive keeps of its ATA command set while it runs: the security feature set,
// SMART (enabled, the self-test in progress, the power cycle count), the READ/WRITE MULTIPLE block
// size, the power mode and the microcode downloaded but not yet activated. Guarded by the drive's
// lock like the rest of its runtime state.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/ata_security.h"

namespace kestrune::sim {

// A SMART self-test: the status byte it reports (byte 363 of SMART READ DATA: status in the high
// nibble, 10 % steps remaining in the low one) is worked out from the host clock.
struct SmartSelfTest {
  bool running = false;
  uint8_t subcommand = 0;  // 1 short, 2 extended
  uint64_t startMs = 0;
  uint64_t durationMs = 0;
  uint8_t lastStatus = 0x00;  // after the last test ended: 00h completed, 10h aborted, 20h interrupted
};

struct AtaDriveState {
  static constexpr uint8_t kDefaultMultiple = 16;

  AtaSecurity security;
  bool smartEnabled = true;
  SmartSelfTest selfTest;
  uint32_t powerCycles = 1;
  uint8_t multipleCount = kDefaultMultiple;  // sectors per DRQ block of READ/WRITE MULTIPLE; 0 = not set
  bool standby = false;
  std::vector<uint8_t> microcode;  // downloaded, waiting for activation
  uint32_t activations = 0;

  // Power off and on: security locks and unfreezes, a running self-test is interrupted, the
  // multiple setting and the power mode go back to their defaults.
  void PowerCycle() {
    security.PowerCycle();
    if (selfTest.running) {
      selfTest.running = false;
      selfTest.lastStatus = 0x20;
    }
    ++powerCycles;
    multipleCount = kDefaultMultiple;
    standby = false;
    microcode.clear();
  }
};

}  // namespace kestrune::sim
