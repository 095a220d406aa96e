// The "%...%" words of an outside program's parameter text (ExtCmd.ini commands and Exec) and the
// current disk's target mode those commands check.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrune::engine {

class Interpreter;

// The values that replace the words of a parameter text. A word whose value is nullopt is left as it
// stands.
struct ParameterValues {
  std::optional<std::string> disk;          // %Disk%: device path (raw disk) or volume letters
  std::optional<std::string> diskId;        // %DiskId%: disk number (raw disk) or first volume's number
  std::optional<std::string> xVolume;       // %xVolume%: the letters of the volumes of all other disks
  std::optional<std::string> cdiId;         // %CdiId%: number of disks of the same kind before this one
  std::optional<std::string> scriptFolder;  // %Scpdir%
  std::optional<std::string> outputBase;    // %Output%
};

// Replaces %Disk%, %DiskId%, %xVolume%, %CdiId%, %Scpdir% and %Output% (any case) in text, in one
// pass: a value is never searched for further words. Double quotes are dropped from the values, so
// that no value can close the quoted argument it stands in and spill into further arguments.
std::string SubstituteParameters(std::string_view text, const ParameterValues& values);

// The current disk's target mode: no disk, a raw disk, or a disk used through its volumes.
enum class DiskMode { kNone, kRaw, kVolumes };

DiskMode CurrentDiskMode(Interpreter& interp, uint32_t view);

// The values for a command on view: the script folder, outputBase, and the current disk's words.
ParameterValues CommandParameterValues(Interpreter& interp, uint32_t view, const std::string& outputBase);

}  // namespace kestrune::engine
