// The operating-system seam for reading the machine's physical memory: where the firmware leaves
// its ACPI tables when the system's table interface does not give them (the root pointer "RSD PTR "
// in the BIOS area 0xE0000-0xFFFFF, and the tables it leads to). Reads only.
//
// Implementations: platform/linux (/dev/mem, root; a kernel built with STRICT_DEVMEM lets only
// the BIOS area and firmware regions through) and platform/win32 (the IOrw kernel driver's
// physical memory request, at most 4096 bytes a request, addresses below 4 GiB, installed for one
// piece of work and removed again). Tests use their own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrune::platform {

class PhysicalMemory {
 public:
  virtual ~PhysicalMemory() = default;

  // Reads length bytes from address into bytes. False with why when the memory cannot be read
  // (permissions, the driver, an address this access cannot reach); bytes is empty then. A
  // backend may read in pieces, but gives all or nothing. Thread-safe.
  virtual bool Read(uint64_t address, uint32_t length, std::vector<uint8_t>& bytes, std::string& why) = 0;
};

// The system's physical memory. programFolder holds the Windows kernel driver file. Never null.
std::unique_ptr<PhysicalMemory> MakeSystemPhysicalMemory(const std::string& programFolder);

}  // namespace kestrune::platform
