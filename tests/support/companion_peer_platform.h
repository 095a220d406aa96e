// What the companion stand-in (companion_peer.cpp) needs of its platform: the signal that the
// channel block holds something new, and ending the program it runs. One implementation per
// platform: companion_peer_linux.cpp, companion_peer_win32.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace companion_peer {

class SignalWatch {
 public:
  virtual ~SignalWatch() = default;
  // Waits at most ms milliseconds. True when the block is to be looked at: on Linux after every
  // wait (the stand-in looks at least every ms milliseconds, signal or not); on Windows only when
  // the broadcast "UNIWM_SENDCMD" reached the stand-in's window, so that a run under Wine shows
  // that the program's broadcast arrives.
  virtual bool Wait(uint32_t ms) = 0;
};

// Starts watching for the signal. nullptr with why when it cannot.
std::unique_ptr<SignalWatch> WatchSignal(std::string& why);

// Interrupts the process as an operator's Ctrl-C would. False where the stand-in cannot do that
// (Windows).
bool InterruptProgram(uint32_t pid);

// Ends the process at once.
void EndProgram(uint32_t pid);

}  // namespace companion_peer
