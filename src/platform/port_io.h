// The operating-system seam for 16-bit I/O ports: the ACPI power-management registers (the PM1a
// control block of the FADT). A write there can switch the machine off at once, so every request
// on the real machine is refused while RealPowerActionsRefused() (power.h) holds.
//
// Implementations: platform/linux (16-bit in and out after ioperm, root), platform/win32 (the
// IOrw kernel driver, its port requests in platform/iorw_request.h, installed for one request and
// removed again) and the lab (sim/lab_acpi.h: the lab machine's PM1a control register).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kestrune::platform {

class PortIo {
 public:
  virtual ~PortIo() = default;

  // The 16-bit value of port. nullopt with why when refused (the test environment, permissions,
  // the driver) or failed. Thread-safe.
  virtual std::optional<uint16_t> Read16(uint16_t port, std::string& why) = 0;

  // Writes value to port. False with why when refused or failed; nothing was written then.
  // Thread-safe.
  virtual bool Write16(uint16_t port, uint16_t value, std::string& why) = 0;

  // True for the lab: its ports are lab state, so the test environments may use them.
  virtual bool Simulated() const = 0;
};

// The system's ports. programFolder holds the Windows kernel driver file. Never null.
std::unique_ptr<PortIo> MakeSystemPortIo(const std::string& programFolder);

}  // namespace kestrune::platform
