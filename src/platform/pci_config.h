// The operating-system seam for the configuration space of a PCI function: the 256-byte header
// with its capability list (and the extended space behind it where the system offers it), read and
// written by register offset. What the bytes mean (the header fields, the capability walk, the
// PCI Express link registers) is portable code in devcmd/pci_express.h; a backend only carries
// bytes.
//
// Implementations: platform/linux (the function's sysfs "config" file; reads past the first 64
// bytes and every write need root), platform/win32 (the IOrw kernel driver, installed as a service
// for one session and removed again; its request record is platform/iorw_request.h) and the lab
// (sim/lab_pci.h: a configuration space per lab drive). Writes on the real machine are refused
// while RealPowerActionsRefused() (power.h) holds: a retrained or misconfigured link can take the
// disk away from a test run.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace kestrune::platform {

inline constexpr uint32_t kPciHeaderBytes = 256;
inline constexpr uint32_t kPciExtendedBytes = 4096;

// A PCI function: its bus, device and function numbers (segment 0), and the device node the system
// knows it by (ParentNode::instanceId; Linux: its sysfs folder), "" when not known.
struct PciFunction {
  uint32_t bus = 0;
  uint32_t device = 0;    // below 32
  uint32_t function = 0;  // below 8
  std::string instanceId;
};

// Why a session did not open or a request failed.
enum class PciAccessFailure : uint8_t {
  kNone = 0,
  kDriverLoad,  // the kernel driver would not install or start ("Load Kernel Driver Fail")
  kDriverOpen,  // the driver started but its device does not open ("Create Driver Object Fail")
  kNoFunction,  // the system shows no such function
  kRefused,     // the system or the test environment refuses the request (permissions, no power actions)
  kFailed,      // the request reached the system and failed
};

// One command's access to one function's configuration space. Used by one thread at a time; the
// end of the session (its destruction) releases what Open took (the Windows driver service). A
// session ends before the PciConfig that opened it goes.
class PciConfigSession {
 public:
  virtual ~PciConfigSession() = default;

  // Reads buffer.size() bytes from register offset (offset + size at most kPciExtendedBytes).
  // Returns the number of bytes the system gave, from offset on (fewer than asked when the system
  // shows an unprivileged reader only the start of the header; the rest of buffer is zero);
  // nullopt with failure and why when the read failed.
  virtual std::optional<uint32_t> Read(uint32_t offset, std::span<uint8_t> buffer, PciAccessFailure& failure,
                                       std::string& why) = 0;

  // Writes data to register offset (1, 2 or 4 bytes at an offset aligned to their size). False
  // with failure and why when refused or failed; nothing was written then.
  virtual bool Write(uint32_t offset, std::span<const uint8_t> data, PciAccessFailure& failure,
                     std::string& why) = 0;
};

class PciConfig {
 public:
  virtual ~PciConfig() = default;

  // Opens a session on fn. nullptr with failure and why when the access cannot be had (the driver
  // does not load or open, the function is not there). Thread-safe; one session at a time per
  // process on Windows (the driver service is shared), which the backend serialises itself.
  virtual std::unique_ptr<PciConfigSession> Open(const PciFunction& fn, PciAccessFailure& failure,
                                                 std::string& why) = 0;

  // True for the lab: its writes change only lab state, so the test environments may make them.
  virtual bool Simulated() const = 0;
};

// The system's own access. programFolder holds the Windows kernel driver file. Never null.
std::unique_ptr<PciConfig> MakeSystemPciConfig(const std::string& programFolder);

}  // namespace kestrune::platform
