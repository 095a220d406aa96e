// What the inventory takes from a drive's own identify data: model, firmware revision and, for
// NVMe, the PCI vendor id. NVMe Identify Controller (CNS 1) and ATA IDENTIFY DEVICE layouts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kestrune::disk {

inline constexpr size_t kIdentifyControllerBytes = 4096;
inline constexpr size_t kAtaIdentifyBytes = 512;

struct DriveIdentity {
  std::string model;         // trimmed
  std::string firmware;      // trimmed
  std::string serial;        // trimmed
  uint32_t pciVendorId = 0;  // NVMe only
  uint32_t wwnOui = 0;       // SATA only: the IEEE OUI of the world wide name; 0 without one
};

// Identify Controller: vendor id at bytes 0-1, serial number at 4-23, model at 24-63, firmware revision at 64-71.
// data must hold at least 72 bytes; a shorter span gives an empty identity.
DriveIdentity ParseIdentifyController(std::span<const uint8_t> data);

// IDENTIFY DEVICE: serial number in words 10-19, firmware in words 23-26, model in words 27-46, both with the two bytes of each
// word swapped (ATA string order); the world wide name's OUI from words 108-109 (NAA nibble, then the 24-bit
// OUI) when word 108 holds one. data must hold at least 94 bytes.
DriveIdentity ParseAtaIdentify(std::span<const uint8_t> data);

// Words [firstWord, firstWord + words) of IDENTIFY DEVICE data as text (the two bytes of each word
// swapped back), as IdentifyText gives it; empty when data is too short.
std::string AtaIdentifyString(std::span<const uint8_t> data, size_t firstWord, size_t words);

// An identify text field as UTF-8: ends at the first NUL, bytes above 7Fh taken as Latin-1,
// control characters as blanks, blanks trimmed at both ends.
std::string IdentifyText(std::span<const uint8_t> field);

}  // namespace kestrune::disk
