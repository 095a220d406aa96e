// What a simulated NVMe controller remembers between commands: feature values (current and
// saved), firmware slots and the image being downloaded, the security state, the error log and
// the health counters. Held by SimDrive and guarded by its lock; a power cycle (PowerCycle) brings
// it to what a drive shows after power-on.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/lab_description.h"

namespace kestrune::sim {

// Status field values of the controller model beyond the common ones of command_sets.h.
namespace nvme_status {
inline constexpr uint16_t kInvalidFirmwareSlot = 0x0106;
inline constexpr uint16_t kInvalidFirmwareImage = 0x0107;
inline constexpr uint16_t kInvalidLogPage = 0x0109;
inline constexpr uint16_t kInvalidFormat = 0x010A;
inline constexpr uint16_t kFeatureNotSaveable = 0x010D;
inline constexpr uint16_t kFeatureNotChangeable = 0x010E;
inline constexpr uint16_t kAccessDenied = 0x0286;
inline constexpr uint16_t kCommandSequenceError = 0x000C;
inline constexpr uint16_t kOverlappingRange = 0x0114;
}  // namespace nvme_status

// The drive's temperature, what SMART/health and the thresholds compare against.
inline constexpr uint16_t kCompositeTemperatureKelvin = 313;
inline constexpr uint16_t kWarningTemperatureKelvin = 343;
inline constexpr uint16_t kCriticalTemperatureKelvin = 353;
inline constexpr uint16_t kMinThermalManagementKelvin = 273;
inline constexpr uint16_t kMaxThermalManagementKelvin = 373;

inline constexpr uint8_t kFirmwareSlots = 7;  // the most FRMW can count
inline constexpr size_t kMaxFirmwareImageBytes = size_t{32} << 20;
inline constexpr size_t kErrorLogEntries = 64;

struct FeatureValue {
  uint32_t current = 0;
  std::optional<uint32_t> saved;
};

struct ErrorLogEntry {
  uint64_t errorCount = 0;
  uint16_t queueId = 0;  // 0 admin, 1 I/O
  uint8_t opcode = 0;
  uint16_t status = 0;   // SCT << 8 | SC
  uint32_t nsid = 0;
};

// The password state machine of security protocol EFh (see nvme_security.cpp).
struct SecurityState {
  bool enabled = false;
  bool locked = false;
  bool frozen = false;
  bool erasePrepared = false;
  std::array<uint8_t, 32> password{};
  uint8_t attemptsLeft = 5;
};

struct HealthCounters {
  uint64_t bytesRead = 0;
  uint64_t bytesWritten = 0;
  uint64_t readCommands = 0;
  uint64_t writeCommands = 0;
  uint64_t powerCycles = 1;  // the power-on that started the lab
  uint64_t unsafeShutdowns = 0;
  uint64_t mediaErrors = 0;
};

// What the maker's vendor channel changed on the drive (sim/nvme_vendor.cpp).
struct VendorState {
  std::array<uint8_t, 4096> configBlock{};  // "CONF" and the configuration items
  bool vendorMode = false;
  bool keepFrb = false;
  uint32_t forcedMode = 0;
  bool killed = false;          // running its recovery code until a forced boot
  uint32_t brandNewPolls = 0;   // configuration page reads still to show a reset in progress
  uint32_t ftlVirgins = 0;
  uint64_t thinSectors = 0;     // 0: the whole capacity
  uint32_t marginLanes = 0;     // the lanes the last lane margin run measured
  uint64_t dumpCursor = 0;      // the crash dump's next block (ReadBlock 8 or log page 07h)
  uint64_t criticalCursor = 0;  // the critical log's next page where reads carry no offset
  uint64_t eventCursor = 0;     // the event log's next page
  bool vpdReady = false;        // the vital product data was prepared
  std::array<uint8_t, 4096> securityBlock{};  // "SCID", the MSID and the PSID
  uint32_t eventLogCleans = 0;  // the SATA drives' own actions, counted
  uint32_t ddrTrainings = 0;
};

// The drive's vendor state at power-on from its description: the configuration block's items.
void InitVendorState(VendorState& state, const DriveDescription& d);

struct NvmeControllerState {
  explicit NvmeControllerState(const DriveDescription& d);

  // ---- Features: keyed by FID, the temperature threshold by (THSEL << 4 | TMPSEL) << 8 | 04h ----
  std::map<uint32_t, FeatureValue> features;
  std::map<uint32_t, uint32_t> defaults;

  // ---- Firmware ----
  std::array<std::string, kFirmwareSlots> slotRevisions;  // empty: no image in the slot
  uint8_t slotCount = 3;
  bool slot1ReadOnly = true;
  uint8_t activeSlot = 1;
  uint8_t nextSlot = 0;  // activated at the next reset; 0 none
  std::vector<uint8_t> stagedImage;
  std::vector<std::pair<uint64_t, uint64_t>> stagedRanges;  // [offset, end) of the pieces received
  uint32_t piecesReceived = 0;  // Firmware Image Download commands, counted for injected failures

  SecurityState security;
  VendorState vendor;
  std::deque<ErrorLogEntry> errors;  // newest first
  uint64_t errorCount = 0;
  HealthCounters health;

  // The firmware revision Identify Controller reports: the active slot's.
  const std::string& firmwareRevision() const { return slotRevisions[activeSlot - 1]; }
  // Records a failed command in the error log.
  void LogError(uint16_t queueId, uint8_t opcode, uint16_t status, uint32_t nsid);
  // Power-on after a power loss: features fall back to their saved values (else defaults), a
  // pending firmware activates (ControllerReset), a password-protected drive locks.
  void PowerCycle(bool unsafe);
  // A controller-level reset (relink, bridge power reset, power cycle): a pending slot becomes
  // active unless keepOld, and a partly downloaded image is dropped.
  void ControllerReset(bool keepOld);
};


}  // namespace kestrune::sim
