// ACPI tables found in physical memory, for machines whose operating system does not hand them
// out: the root pointer "RSD PTR " (on a 16-byte boundary in the BIOS area 0xE0000-0xFFFFF, its
// first 20 bytes summing to zero, so a stray copy of the words is passed over), its RSDT (or, when
// the pointer gives no RSDT, the XSDT), the entry whose table has the signature asked for, and the
// DSDT at the address the FADT gives.
//
// Every address and length read from memory is checked before it is followed: a table's length
// is bounded, a root table's entries are counted from its own length.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/acpi_tables.h"
#include "platform/physical_memory.h"

namespace kestrune::devcmd {

inline constexpr uint64_t kBiosAreaStart = 0xE0000;
inline constexpr uint64_t kBiosAreaEnd = 0x100000;  // one past the last byte searched

// The table with signature found through the root pointer in memory, header included.
// False with why when there is no valid root pointer, the root table names no such table, or a
// read fails or runs out of bounds.
bool ReadAcpiTableFromMemory(platform::PhysicalMemory& memory, std::string_view signature,
                             std::vector<uint8_t>& bytes, std::string& why);

// The system's table interface first; the memory search when it does not give the table.
// Thread-safe as its two parts are; both must outlive this object.
class AcpiTablesWithMemorySearch final : public platform::AcpiTables {
 public:
  AcpiTablesWithMemorySearch(platform::AcpiTables& system, platform::PhysicalMemory& memory)
      : system_(system), memory_(memory) {}
  bool Read(std::string_view signature, std::vector<uint8_t>& bytes, std::string& why) override;

 private:
  platform::AcpiTables& system_;
  platform::PhysicalMemory& memory_;
};

}  // namespace kestrune::devcmd
