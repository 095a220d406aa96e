// The station file "Station.ini" beside the program: the power hub's type and first port name, the
// serial devices of port names, the LAN power-cycle server, and the LAN file server.
//
//   [PowerHub]
//   Type=2                 0, 2, 3, 4 or 5 (see devcmd/hub_frames.h)
//   Port=COM3              the port name before any SetPowerHub (type 4: the relay board's serial)
//   [SerialPorts]
//   COM3=/dev/ttyUSB0      the device of a port name (default: /dev/ttyS<n-1>, on Windows \\.\COMn)
//   [LanPower]
//   Server=192.168.1.20    the power-cycle server
//   Port=1224
//   [FILESERVER]
//   Server=192.168.1.30    the FTP server of the workloads' data files (the client master trace)
//   Port=21
//   User=tester
//   Password=...           never printed or logged
#pragma once

#include <string>
#include <string_view>

#include "devcmd/power_station.h"

namespace kestrune::app {

// The station file of the text: keys it does not know are left alone, values that are not numbers
// where numbers belong count as missing. path is recorded for messages.
devcmd::StationConfig ParseStationFile(std::string_view text, std::string path);

// Reads the file at path (a missing file gives an empty configuration naming path).
devcmd::StationConfig ReadStationFile(const std::string& path);

// Where the station file is: KESTRUNE_STATION when set (the test stations), else "Station.ini" in
// programFolder.
std::string StationFilePath(const std::string& programFolder);

}  // namespace kestrune::app
