// AtaIdentity: the summary of IDENTIFY DEVICE (ECh, 512 bytes) that the inventory and the ATA
// commands use: identity texts, capacities, the security bits of word 128, the SATA link
// generations, the ATA major version, the Ultra DMA mode and the write cache bit.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kestrune::disk {

inline constexpr uint8_t kAtaIdentifyDevice = 0xEC;

struct AtaIdentity {
  std::string serial;           // words 10-19
  std::string model;            // words 27-46
  std::string firmware;         // words 23-26
  std::string worldWideName;    // words 108-111, 16 hex digits, each word high byte first
  std::string userSectors28;    // words 60-61 as "0x%08X"
  bool lba48Supported = false;  // word 83 bit 10
  std::string maxLba48;         // words 100-103 as "0x%08X%08X"
  uint64_t capacityGB = 0;      // the IDEMA rule on 512-byte sectors
  uint64_t capacityGiB = 0;
  uint64_t maxLba = 0;  // words 100-103
  bool securitySupported = false, securityEnabled = false, securityLocked = false;
  bool securityFrozen = false, securityCountExpired = false, enhancedEraseSupported = false;
  int sataGenerationMax = -1;      // highest of word 76 bits 1-3, -1 if none
  int sataSpeedCurrent = 0;        // word 77 bits 3:1
  int ataMajorVersion = -1;        // highest of word 80 bits 4-14, -1 if none
  int udmaMode = -1;               // highest i with word 88 bits i and i + 8 set, -1 if none
  bool writeCacheEnabled = false;  // word 85 bit 5
};

// Word w of IDENTIFY DEVICE data (0 past its end).
uint16_t IdentifyWord(std::span<const uint8_t> data, size_t w);

AtaIdentity ParseAtaIdentity(std::span<const uint8_t> data);

// The minutes SECURITY ERASE UNIT may take by word 89: bits 7:0 times 2 minutes, or bits 14:0 times
// 2 when bit 15 (extended format) is set; 0 when the drive does not say (0, or 255 in the short form).
uint32_t EraseUnitMinutes(std::span<const uint8_t> data);

// The timeout SecurErase gives ERASE UNIT: twice the drive's time plus 5 minutes, 12 hours when the
// drive does not say.
uint32_t EraseUnitTimeoutSeconds(std::span<const uint8_t> data);

}  // namespace kestrune::disk
