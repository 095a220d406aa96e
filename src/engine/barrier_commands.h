// The cross-instance barrier of the script commands SyncInit and SyncWait: each view that has
// called SyncInit is a participant of the machine-wide barrier block, and every SyncWait of every
// participant waits until all of them have reached it. A view leaves when its run ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/command_table.h"
#include "platform/barrier_block.h"

namespace kestrune::engine {

class Interpreter;

// The barrier block's name: KESTRUNE_BARRIER_NAME when it is set and not empty (tests keep their
// instances apart from other runs with it), else "UNI_SHAREE".
std::string BarrierBlockName();

// The barrier blocks the views use from now on (the system's by default; tests give a fake one that
// lives as long as the interpreter). Call before any run starts.
void UseBarrierSystem(Interpreter& interp, platform::BarrierSystem& system);

enum class BarrierWaitResult {
  kReleased,       // every participant arrived
  kTimedOut,       // the time ran out; this arrival was taken back
  kCancelled,      // the view's cancel flag was set; this arrival was taken back
  kNotRegistered,  // the view has not called SyncInit
  kFailed,         // the block could not be locked; why says so
};

// The barrier wait without output lines (the firmware update's, between the download and the
// activation): arrives, waits in slices that watch the cancel flag and drop participants whose
// process has died, and takes the arrival back on a timeout or cancel. timeoutSec 0 waits without
// limit. Run thread of view only.
BarrierWaitResult WaitAtBarrier(Interpreter& interp, uint32_t view, uint32_t timeoutSec, std::string& why);

// Participants registered in the view's barrier (0 when the view takes part in none). Run thread
// of view only.
uint32_t BarrierParticipantCount(Interpreter& interp, uint32_t view);

// SyncInit, SyncWait, and leaving the barrier at the end of every run. Returns the rows that took
// nothing, as Interpreter::Register does.
[[nodiscard]] std::vector<HandlerRow> RegisterBarrierCommands(Interpreter& interp);

}  // namespace kestrune::engine
