// SMART of a SATA drive: the attribute entries of SMART READ DATA with the thresholds of SMART READ
// THRESHOLDS, the pages' checksums, and a fresh reading of the temperatures for the workload
// monitors.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "disk/ata_task_file.h"
#include "disk/disk_entry.h"
#include "platform/device.h"

namespace kestrune::disk {

inline constexpr uint8_t kAtaSmart = 0xB0;
inline constexpr uint8_t kSmartReadData = 0xD0;
inline constexpr uint8_t kSmartReadThresholds = 0xD1;
inline constexpr uint8_t kSmartExecuteOffline = 0xD4;
inline constexpr uint8_t kSmartEnableOperations = 0xD8;
inline constexpr size_t kSmartPageBytes = 512;
inline constexpr size_t kMaxSmartAttributes = 30;

// SMART byte offsets of the off-line and self-test data in the attribute page.
inline constexpr size_t kSmartSelfTestStatus = 363;
inline constexpr size_t kSmartCapability = 367;
inline constexpr size_t kSmartShortTestMinutes = 372;
inline constexpr size_t kSmartExtendedTestMinutes = 373;

struct SmartAttribute {
  uint8_t id = 0;
  uint16_t flags = 0;
  uint8_t current = 0;
  uint8_t worst = 0;
  std::array<uint8_t, 6> raw{};  // least significant byte first
  uint8_t threshold = 0;
  uint64_t RawValue() const;
};

// A SMART command (B0h) with its signature in LBA mid/high (4Fh, C2h).
AtaTaskFile SmartTaskFile(uint8_t feature, uint16_t flags, uint8_t lbaLow = 0);

// The 12-byte entries from byte 2 of the attribute page, at most 30, up to the first ID 0; each
// takes the threshold of the entry with its ID in the threshold page (0 when none).
std::vector<SmartAttribute> ParseSmartAttributes(std::span<const uint8_t> data,
                                                 std::span<const uint8_t> thresholds);

// The bytes of a SMART page add up to 0 (mod 256).
bool SmartChecksumOk(std::span<const uint8_t> page);

// The temperatures of an attribute list as the throughput engine's monitor takes them: attribute
// 194 at index 0, 190 at index 1, 231 at index 2, each its first raw byte; 0 where absent.
std::array<uint16_t, 9> SataTemperatures(const std::vector<SmartAttribute>& attributes);

// A fresh SMART READ DATA of entry (a SATA kind) through the tree, as SataTemperatures gives it;
// nullopt when the disk does not open or the command fails.
std::optional<std::array<uint16_t, 9>> ReadSataTemperatures(platform::DeviceTree& tree,
                                                            const DiskEntry& entry);

}  // namespace kestrune::disk
