// Access to the script package that the build links into the program.
#pragma once

#include <cstdint>
#include <span>

namespace kestrune::platform {

// The package bytes (a ZIP archive with altered local-header signatures), or an empty span when the
// program was built without one. Valid for the life of the process.
std::span<const uint8_t> EmbeddedPackageBytes();

}  // namespace kestrune::platform
