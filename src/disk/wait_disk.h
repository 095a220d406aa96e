// Waiting for the current disk to come back after it went away (power cycle, relink, reboot of the
// controller).
#pragma once

#include <cstdint>

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::disk {

// Prints "Wait Disk..." (grey) and then, up to seconds + 1 times, counts the same line down
// ("Wait Disk Remain Timeout %d sec"), waits 1 s and tries FindCurrentDiskAgain by identity. On
// success the line is cleared, "Find Disk : %s" (white) names the new device path, the main window
// hears that the list changed, and the result is true. Otherwise "TimeOut, Disk Disconnect" (red)
// and false; a cancelled run stops waiting at once (false, no timeout line).
bool WaitForDisk(engine::Interpreter& interp, uint32_t view, uint32_t seconds);

}  // namespace kestrune::disk
