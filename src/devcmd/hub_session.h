// One exchange with the power hub: the checks before it, the hub lock (one per port, shared by
// all instances of the user), the port or relay board opened, the steps of hub_frames sent and
// their replies checked, the port closed and the lock given back 100 ms later.
#pragma once

#include <cstdint>
#include <string>

#include "devcmd/power_station.h"
#include "platform/host.h"

namespace kestrune::devcmd {

struct HubOutcome {
  int32_t code = 0;  // 0, or the completion code to report
  std::string detail;
  uint32_t status = 0;  // HubQuery: the state read
  bool ok() const { return code == 0; }
};

// What needs no hub traffic: the station's hub type (-72 naming the key when missing or not a hub
// type), a port name (-72 without detail when empty), the port in range for the type (-2).
HubOutcome CheckHub(const PowerStation& station, uint32_t port);
// CheckHub, then the hub's port opened and closed again under the lock: -72 when it does not open.
HubOutcome ProbeHub(PowerStation& station, platform::Host& host, uint32_t port);
// Switches port off (on false) or on.
HubOutcome SwitchHub(PowerStation& station, platform::Host& host, uint32_t port, bool on);
// Reads the state of port: type 0 the status byte, type 2 the reply value, type 4 1 when the
// relay status is not 1, else 0. Types 3 and 5: -72 with their message.
HubOutcome QueryHub(PowerStation& station, platform::Host& host, uint32_t port);

// The lock's name for a port name.
std::string HubLockName(std::string_view portName);

}  // namespace kestrune::devcmd
