// Port names "COMn" and their default devices.
#include "platform/serial_port.h"

#include <string>

namespace kestrune::platform {

uint32_t ComPortNumber(std::string_view name) {
  if (name.size() < 4 || name.size() > 6) return 0;
  for (size_t i = 0; i < 3; ++i)
    if ((name[i] & ~0x20) != "COM"[i]) return 0;
  uint32_t n = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + static_cast<uint32_t>(c - '0');
  }
  return n;
}

std::string DefaultSerialDevice(std::string_view name) {
  const uint32_t n = ComPortNumber(name);
  if (n == 0) return {};
#ifdef _WIN32
  return "\\\\.\\COM" + std::to_string(n);
#else
  return "/dev/ttyS" + std::to_string(n - 1);
#endif
}

}  // namespace kestrune::platform
