// Dump files: the raw bytes a command read from or wrote to a disk, kept in the log folder.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/host.h"

namespace kestrune::disk {

// Writes bytes to path as a binary file (created or replaced), creating missing folders on the path
// first. False when the file could not be written.
bool WriteDumpFile(platform::Host& host, const std::string& path, std::span<const uint8_t> bytes);

}  // namespace kestrune::disk
