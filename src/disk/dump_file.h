// Dump files: the raw bytes a disk or device command read or wrote, kept in the log folder and
// announced in the output, so that a later ResultHex finds them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/host.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::disk {

// COLORREF of the line that announces the dump of bytes read from a disk (olive).
inline constexpr uint32_t kReadDumpColour = 0x009696;

// The output base name with extension: a file of its own for every dump, since the name carries the
// view's output-line counter.
std::string DefaultDumpPath(engine::Interpreter& interp, uint32_t view, std::string_view extension = ".Hex");

// Writes bytes as a new file at path (replacing one of that name; missing folders are created), then
// announces it in colour, shown as a line or (show false) only in the result file. Reports -21 with
// the path and returns false when the file cannot be written.
bool SaveDump(engine::Interpreter& interp, uint32_t view, const std::string& path,
              std::span<const uint8_t> bytes, uint32_t colour, bool show = true);

// Appends bytes to path, creating the file and its folders when missing. False on failure.
bool AppendToFile(platform::Host& host, const std::string& path, std::span<const uint8_t> bytes);

}  // namespace kestrune::disk
