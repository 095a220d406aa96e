// The disk selection dialog of the window form: the disks that pass the package's filter; OK gives
// the chosen disk's selector (its device path), Cancel nothing.
#pragma once

#include <optional>
#include <string>

#include "engine/interpreter.h"

namespace kestrune::app::win32 {

std::optional<std::string> ChooseDisk(engine::Interpreter& interp, const std::string& caption);

}  // namespace kestrune::app::win32
