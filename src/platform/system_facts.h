// The operating-system seam for what SystemInfo and SetSystem_HMB need of the machine: the
// platform summary (operating system, processor, memory, board, name, firmware mode) and the
// storage port's host memory buffer policy (Windows: the value "HmbAllocationPolicy" under
// HKLM "SYSTEM\\CurrentControlSet\\Control\\StorPort").
//
// The words of the summary lines (the Windows 11 rename, the policy names) are portable code in
// devcmd/system_info_lines.h; a backend only reports what the system says. Implementations:
// platform/linux (os-release, /proc, the DMI folder, /sys/firmware/efi), platform/win32 (the
// registry and system calls) and the lab (sim/lab_system_facts.h: fixed values, the policy kept
// in the lab folder).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kestrune::platform {

struct PlatformSummary {
  std::string productName;  // "Windows 10 Pro"; Linux: os-release PRETTY_NAME
  bool x64 = true;          // the operating system's word size
  std::string releaseId;    // "22H2"; Linux: os-release VERSION_ID
  std::string build;        // "22631"; Linux: the kernel release
  std::string processorName;
  uint32_t processors = 0;   // logical processors
  uint64_t memoryBytes = 0;  // installed (Linux: what the kernel manages)
  std::string boardMaker;
  std::string boardProduct;
  std::string computerName;
  bool uefi = false;  // started from UEFI firmware (else legacy BIOS)
};

// What the machine says of the host memory buffer policy.
struct HmbPolicyReport {
  bool available = false;         // the system has such a policy (Windows' storage port)
  std::optional<uint32_t> value;  // the value set; nullopt when none is set (the driver's default holds)
  std::string note;               // when not available: what the system has instead, in words
};

class SystemFacts {
 public:
  virtual ~SystemFacts() = default;

  // The summary, read at the time of the call; fields the system does not report stay empty or 0.
  // Thread-safe.
  virtual PlatformSummary Summary() = 0;

  // The host memory buffer policy. Thread-safe.
  virtual HmbPolicyReport HmbPolicy() = 0;

  // Sets the policy (takes effect at the next start of the machine). False with why when the
  // system has no such policy or refuses (Windows: not an administrator). Thread-safe.
  virtual bool SetHmbPolicy(uint32_t value, std::string& why) = 0;
};

// The system's own. Never null.
std::unique_ptr<SystemFacts> MakeSystemFacts();

}  // namespace kestrune::platform
