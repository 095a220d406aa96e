// acpi_probe: reads the machine's FADT and DSDT through the Linux ACPI table backend inside the
// qemu lab guest and prints what the power cut would use, one "key: value" line each, for
// check_power.sh to compare with the disassembler's reading of the same DSDT. Built statically by
// that script from the readers' own sources; not part of the program or the unit tests.
#include <cstdio>
#include <string>
#include <vector>

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
  return 0;
}
