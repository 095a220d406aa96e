#include "disk/ata_identity.h"

#include "base/text.h"
#include "disk/capacity.h"
#include "disk/identify_data.h"

namespace kestrune::disk {
namespace {

bool Bit(uint16_t word, int bit) { return ((word >> bit) & 1) != 0; }

// The highest set bit of word in [low, high], -1 if none.
int HighestBit(uint16_t word, int low, int high) {
  for (int b = high; b >= low; --b)
    if (Bit(word, b)) return b;
  return -1;
}

}  // namespace

uint16_t IdentifyWord(std::span<const uint8_t> data, size_t w) {
  if (data.size() < 2 * w + 2) return 0;
  return static_cast<uint16_t>(data[2 * w] | (data[2 * w + 1] << 8));
}

AtaIdentity ParseAtaIdentity(std::span<const uint8_t> data) {
  auto word = [&](size_t w) { return IdentifyWord(data, w); };
  AtaIdentity id;
  id.serial = AtaIdentifyString(data, 10, 10);
  id.firmware = AtaIdentifyString(data, 23, 4);
  id.model = AtaIdentifyString(data, 27, 20);
  for (size_t w = 108; w <= 111; ++w)
    id.worldWideName += base::Format("%02X%02X", word(w) >> 8, word(w) & 0xFF);
  id.userSectors28 = base::Format("0x%08X", static_cast<unsigned>(word(60) | (uint32_t{word(61)} << 16)));
  id.lba48Supported = Bit(word(83), 10);
  id.maxLba =
      uint64_t{word(100)} | uint64_t{word(101)} << 16 | uint64_t{word(102)} << 32 | uint64_t{word(103)} << 48;
  id.maxLba48 = base::Format("0x%08X%08X", static_cast<unsigned>(id.maxLba >> 32),
                             static_cast<unsigned>(id.maxLba & 0xFFFFFFFF));
  const unsigned __int128 bytes = static_cast<unsigned __int128>(id.maxLba) * 512;
  const uint64_t bytes64 = bytes > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(bytes);
  id.capacityGB = CapacityGB(bytes64, 512);
  id.capacityGiB = static_cast<uint64_t>(bytes >> 30);
  const uint16_t security = word(128);
  id.securitySupported = Bit(security, 0);
  id.securityEnabled = Bit(security, 1);
  id.securityLocked = Bit(security, 2);
  id.securityFrozen = Bit(security, 3);
  id.securityCountExpired = Bit(security, 4);
  id.enhancedEraseSupported = Bit(security, 8);
  id.sataGenerationMax = HighestBit(word(76), 1, 3);
  id.sataSpeedCurrent = (word(77) >> 1) & 0x07;
  id.ataMajorVersion = HighestBit(word(80), 4, 14);
  for (int i = 0; i <= 6; ++i)
    if (Bit(word(88), i) && Bit(word(88), i + 8)) id.udmaMode = i;
  id.writeCacheEnabled = Bit(word(85), 5);
  return id;
}

uint32_t EraseUnitMinutes(std::span<const uint8_t> data) {
  const uint16_t w = IdentifyWord(data, 89);
  if (w & 0x8000) return 2u * (w & 0x7FFF);
  const uint32_t units = w & 0xFF;
  return units == 255 ? 0 : 2 * units;
}

uint32_t EraseUnitTimeoutSeconds(std::span<const uint8_t> data) {
  constexpr uint32_t kUnknownSeconds = 12 * 3600;
  const uint32_t minutes = EraseUnitMinutes(data);
  return minutes == 0 ? kUnknownSeconds : (2 * minutes + 5) * 60;
}

}  // namespace kestrune::disk
