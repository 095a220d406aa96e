// Unit tests link this instead of the program's linked-in package.
#include "platform/embedded_package.h"

namespace kestrune::platform {
std::span<const uint8_t> EmbeddedPackageBytes() { return {}; }
}  // namespace kestrune::platform
