// The operating-system seam for the machine's ACPI tables: a table's bytes by its four-letter
// signature ("FACP", "DSDT"), header included, as the firmware gave them. What the bytes mean (the
// FADT fields, the DSDT's sleep-state package) is portable code in devcmd/acpi_s5.h; a backend only
// carries bytes.
//
// Implementations: platform/linux (/sys/firmware/acpi/tables/<signature>, readable by root),
// platform/win32 (the firmware table interface, provider 'ACPI') and the lab (sim/lab_acpi.h: a
// fixed FADT and DSDT).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::platform {

class AcpiTables {
 public:
  virtual ~AcpiTables() = default;

  // The bytes of the first table whose signature is signature (four characters). False with why
  // when the system has no such table or does not let this process read it; bytes is empty then.
  // Reads only. Thread-safe.
  virtual bool Read(std::string_view signature, std::vector<uint8_t>& bytes, std::string& why) = 0;
};

// The system's tables. Never null.
std::unique_ptr<AcpiTables> MakeSystemAcpiTables();

}  // namespace kestrune::platform
