// The package bytes linked in by package_bytes.S (Linux builds of the program).
#include "platform/embedded_package.h"

extern "C" const uint8_t kestrune_package_begin[];
extern "C" const uint8_t kestrune_package_end[];

namespace kestrune::platform {

std::span<const uint8_t> EmbeddedPackageBytes() {
  return {kestrune_package_begin, static_cast<size_t>(kestrune_package_end - kestrune_package_begin)};
}

}  // namespace kestrune::platform
