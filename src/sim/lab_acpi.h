// The lab machine's ACPI: a fixed FADT and DSDT (LabAcpiTables) and its I/O ports (LabPortIo), of
// which only the PM1a control register exists. Writing the DSDT's S5 sleep type with the sleep
// enable bit there is the lab's power cut: every drive loses what its cache held (SimLab::PowerCut),
// and the caller ends its process as the machine's end would.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "platform/acpi_tables.h"
#include "platform/port_io.h"

namespace kestrune::sim {

class SimLab;

inline constexpr uint16_t kLabPm1aControlPort = 0x604;
inline constexpr uint8_t kLabS5SleepType = 5;

// An ACPI table: the 36-byte header (signature, length, revision, checksum, the lab's ids) and body.
std::vector<uint8_t> LabAcpiTable(const char* signature, uint8_t revision, std::span<const uint8_t> body);

class LabAcpiTables final : public platform::AcpiTables {
 public:
  // "FACP" and "DSDT"; the DSDT declares Name(_S5_, Package(){kLabS5SleepType, ...}) inside
  // Scope(\), after a method that refers to it.
  bool Read(std::string_view signature, std::vector<uint8_t>& bytes, std::string& why) override;
};

class LabPortIo final : public platform::PortIo {
 public:
  // lab may be null (a run without drives); it must outlive this object.
  explicit LabPortIo(SimLab* lab) : lab_(lab) {}
  std::optional<uint16_t> Read16(uint16_t port, std::string& why) override;
  bool Write16(uint16_t port, uint16_t value, std::string& why) override;
  bool Simulated() const override { return true; }
  // What the PM1a control register holds, and whether the machine was switched off (tests).
  uint16_t pm1aControl() const;
  bool poweredOff() const;

 private:
  SimLab* lab_;
  mutable std::mutex mutex_;
  uint16_t pm1aControl_ = 0x0001;  // SCI_EN: the machine is in ACPI mode
  bool poweredOff_ = false;
};

}  // namespace kestrune::sim
