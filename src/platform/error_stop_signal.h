// The error-stop broadcast between instances: a run that stops on an error asks every other
// instance of the user to cancel its job.
//  - Linux: the user's own shared block "UNIWM_BROADCASTERRSTOP" (see Host::OpenSharedBlock) of 8
//    bytes: a 32-bit counter at byte 0 and the sender's process id at byte 4, written under the lock
//    "UNIWM_BROADCASTERRSTOPLock"; the counter's futex is woken. Listeners keep the block mapped.
//  - Windows: the registered message "UNIWM_BROADCASTERRSTOP" posted to HWND_BROADCAST with wParam =
//    the sender's window and lParam 0. The listener is a hidden top-level window of its own (also in
//    the console form); while it exists its handle is the sender's id.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/host.h"

namespace kestrune::platform {

inline constexpr const char* kErrorStopName = "UNIWM_BROADCASTERRSTOP";

// Sends the broadcast. sender: this process's id (on Windows the listener's window replaces it
// while there is one).
// False, with why, when it could not be sent. Thread-safe.
bool BroadcastErrorStop(Host& host, uint64_t sender, std::string& why);

// Receives the broadcasts of other processes. Use it from one thread.
class ErrorStopListener {
 public:
  virtual ~ErrorStopListener() = default;
  // Waits at most ms milliseconds for a broadcast sent after the listener was made, or after the
  // last one this returned; gives the sender's id, or nullopt when none came. Broadcasts this
  // process sent itself are passed over.
  virtual std::optional<uint64_t> Wait(uint32_t ms) = 0;
};

// Starts listening. nullptr, with why, when the block cannot be mapped (Linux) or no window can be
// made (Windows).
std::unique_ptr<ErrorStopListener> ListenForErrorStops(Host& host, std::string& why);

}  // namespace kestrune::platform
