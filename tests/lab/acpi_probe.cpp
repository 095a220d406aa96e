// acpi_probe: reads the machine's FADT and DSDT through the Linux ACPI table backend inside the
// qemu lab guest, and again by the search of physical memory for the root pointer (/dev/mem), and prints what the power cut would use, one "key: value" line each, for
// check_power.sh to compare with the disassembler's reading of the same DSDT. Built statically by
// that script from the readers' own sources; not part of the program or the unit tests.
#include <cstdio>
#include <string>
#include <vector>

#include "devcmd/acpi_memory_tables.h"
#include "devcmd/acpi_s5.h"
#include "platform/acpi_tables.h"

using namespace kestrune;

int main() {
  std::unique_ptr<platform::AcpiTables> tables = platform::MakeSystemAcpiTables();
  std::vector<uint8_t> fadt, dsdt;
  std::string why;
  devcmd::FadtFields fields;
  if (!tables->Read("FACP", fadt, why) || !devcmd::ReadFadt(fadt, fields, why)) {
    std::printf("fadt-error: %s\n", why.c_str());
    return 1;
  }
  std::printf("pm1a-control-port: 0x%X\n", fields.pm1aControlPort);
  std::printf("dsdt-address: 0x%llX\n", static_cast<unsigned long long>(fields.dsdtAddress));
  uint8_t type = 0;
  if (!tables->Read("DSDT", dsdt, why) || !devcmd::FindS5SleepType(dsdt, type, why)) {
    std::printf("dsdt-error: %s\n", why.c_str());
    return 1;
  }
  std::printf("dsdt-bytes: %zu\n", dsdt.size());
  std::printf("s5-sleep-type: %u\n", type);

  // The same two tables found through the root pointer in physical memory.
  std::unique_ptr<platform::PhysicalMemory> memory = platform::MakeSystemPhysicalMemory("");
  std::vector<uint8_t> memFadt, memDsdt;
  if (!devcmd::ReadAcpiTableFromMemory(*memory, "FACP", memFadt, why) ||
      !devcmd::ReadAcpiTableFromMemory(*memory, "DSDT", memDsdt, why)) {
    std::printf("memory-error: %s\n", why.c_str());
    return 0;
  }
  std::printf("memory-fadt-same: %d\n", memFadt == fadt ? 1 : 0);
  std::printf("memory-dsdt-same: %d\n", memDsdt == dsdt ? 1 : 0);
  return 0;
}
