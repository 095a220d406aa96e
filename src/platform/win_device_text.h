// The texts of Windows device paths and device-node properties that the Windows backend reads and
// writes: "\\.\PHYSICALDRIVE%d", "\\.\scsi%d:", "\\.\%c:", USB location texts and hub instance ids.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrune::platform::winio {

std::string PhysicalDrivePath(uint32_t number);  // "\\.\PHYSICALDRIVE3"
std::string ScsiPortPath(uint32_t port);         // "\\.\scsi1:"
std::string VolumePath(char letter);             // "\\.\D:"

// The N of "\\.\PHYSICALDRIVEN" (any case); nullopt for any other text.
std::optional<uint32_t> PhysicalDriveNumber(std::string_view path);

// The N of "\\.\SCSIN:" (any case); nullopt for any other text.
std::optional<uint32_t> ScsiPortNumber(std::string_view path);

// The port of a USB device's location text "Port_#0003.Hub_#0004" (3); nullopt when the text does
// not start that way.
std::optional<uint32_t> UsbPortOfLocation(std::string_view location);

// True for a root hub's instance id: the eight characters after the first four read "ROOT_HUB"
// ("USB\ROOT_HUB30\4&1a2b3c&0&0").
bool IsRootHubInstanceId(std::string_view instanceId);

}  // namespace kestrune::platform::winio
