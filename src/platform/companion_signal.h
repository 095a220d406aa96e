// Telling the companion log viewer that the channel block "LogView_Sync" holds something new.
//  - Windows: the registered message "UNIWM_SENDCMD" posted to every top-level window
//    (HWND_BROADCAST) with wParam 0 and lParam 0.
//  - Linux: the 32-bit counter at byte 0 of the user's own shared block "UNIWM_SENDCMD" (see
//    Host::OpenSharedBlock) is incremented and its futex woken; a companion keeps that block mapped
//    and waits on the counter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/host.h"

namespace kestrune::platform {

inline constexpr const char* kCompanionSignalName = "UNIWM_SENDCMD";
inline constexpr size_t kCompanionSignalBytes = 4;

// Sends the signal. False, with why, when it could not be sent. Thread-safe.
bool SignalCompanion(Host& host, std::string& why);

// Waits at most ms milliseconds for the counter word (in a mapping of the "UNIWM_SENDCMD" block) to
// change from seen; may return early. Linux only (the companion's side); elsewhere it sleeps.
void WaitForCompanionSignal(uint32_t* counter, uint32_t seen, uint32_t ms);

}  // namespace kestrune::platform
