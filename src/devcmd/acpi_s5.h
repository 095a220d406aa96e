// The power cut of PCReBoot's SPOR power-off (S5, soft off) through the ACPI registers: the FADT
// gives the PM1a control port, the DSDT's \_S5_ package the sleep type; writing the type with
// the sleep enable bit to the PM1a control register switches the machine off at once, without the
// operating system (unflushed writes are lost).
//
// The readers work on the tables' bytes only and check every field against the table's own
// length; a table they do not understand gives a failure, never a guessed value.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/acpi_tables.h"
#include "platform/port_io.h"

namespace kestrune::devcmd {

struct FadtFields {
  uint64_t dsdtAddress = 0;      // DSDT (byte 40), else X_DSDT (byte 140); 0 when neither is set
  uint16_t pm1aControlPort = 0;  // PM1a_CNT_BLK (byte 64), else X_PM1a_CNT_BLK in system I/O space
};

// Reads the FADT ("FACP") fields. False with why when the bytes are no FADT, are shorter than
// their header says, or name no PM1a control port in I/O space.
bool ReadFadt(std::span<const uint8_t> table, FadtFields& fields, std::string& why);

// The S5 sleep type (SLP_TYPa, 0 to 7): the first element of the package that the DSDT's
// Name(_S5_, Package(){...}) declares (the name plain or with a '\' or '^' prefix, at the top
// level or inside a scope; the element ZeroOp, OneOp or a byte, word, dword or qword constant).
// False with why when there is no such declaration, one is malformed or runs past the table, or
// two declare different types.
bool FindS5SleepType(std::span<const uint8_t> dsdt, uint8_t& sleepType, std::string& why);

// The PM1a control value that enters S5: current with bits 12:10 (SLP_TYP) set to sleepType and
// bit 13 (SLP_EN) set.
uint16_t S5ControlValue(uint16_t current, uint8_t sleepType);

// The whole cut: the FADT and DSDT from tables, the PM1a control register read and written back
// through ports. False with why when any step fails; nothing is written then (unless the write
// itself is what failed). True: the machine is switching off.
bool AcpiPowerCut(platform::AcpiTables& tables, platform::PortIo& ports, std::string& why);

}  // namespace kestrune::devcmd
