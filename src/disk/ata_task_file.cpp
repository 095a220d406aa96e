#include "disk/ata_task_file.h"

#include "base/completion_codes.h"

namespace kestrune::disk {

uint64_t AtaTaskFile::Lba() const {
  return uint64_t{lbaLow} | uint64_t{lbaMid} << 8 | uint64_t{lbaHigh} << 16 | uint64_t{exLow} << 24 |
         uint64_t{exMid} << 32 | uint64_t{exHigh} << 40;
}

void AtaTaskFile::SetLba(uint64_t lba) {
  lbaLow = static_cast<uint8_t>(lba);
  lbaMid = static_cast<uint8_t>(lba >> 8);
  lbaHigh = static_cast<uint8_t>(lba >> 16);
  exLow = static_cast<uint8_t>(lba >> 24);
  exMid = static_cast<uint8_t>(lba >> 32);
  exHigh = static_cast<uint8_t>(lba >> 40);
}

AtaTaskFile TaskFile(uint8_t command, uint16_t flags, uint64_t lba, uint32_t sectorCount, uint16_t feature) {
  AtaTaskFile tf;
  tf.command = command;
  tf.flags = flags;
  tf.feature = feature;
  tf.sectorCount = sectorCount;
  tf.SetLba(lba);
  return tf;
}

bool Is48BitCommand(uint8_t c) {
  return (c >= 0x24 && c <= 0x26) || c == 0x29 || (c >= 0x34 && c <= 0x36) || c == 0x39 || c == 0x3D ||
         c == 0x3E || (c >= 0xC1 && c <= 0xC3) || c == 0xCE || c == 0xFE;
}

platform::DataDirection DirectionOf(uint16_t flags) {
  if (flags & ata_flag::kDataIn) return platform::DataDirection::kIn;
  if (flags & ata_flag::kDataOut) return platform::DataDirection::kOut;
  return platform::DataDirection::kNone;
}

std::string_view IoNameOf(uint16_t flags) {
  switch (DirectionOf(flags)) {
    case platform::DataDirection::kIn:
      return "IN";
    case platform::DataDirection::kOut:
      return "OUT";
    default:
      return "NODATA";
  }
}

int32_t CheckTransfer(const AtaTaskFile& tf) {
  if (DirectionOf(tf.flags) == platform::DataDirection::kNone) return 0;
  const bool wide = Is48BitCommand(tf.command);
  const uint64_t lba = tf.Lba();
  if (tf.sectorCount == 0 || tf.sectorCount > (wide ? kMaxSectors48 : kMaxSectors28))
    return base::code::kBadParameter;
  if (!wide && lba >= kLba28Limit) return base::code::kBadParameter;
  if (lba + tf.sectorCount > kLba48Limit) return base::code::kBadParameter;
  return 0;
}

platform::AtaRegisters RegistersOf(const AtaTaskFile& tf) {
  platform::AtaRegisters r;
  r.command = tf.command;
  r.features = static_cast<uint8_t>(tf.feature);
  r.count = static_cast<uint8_t>(tf.sectorCount);
  r.lbaLow = tf.lbaLow;
  r.lbaMid = tf.lbaMid;
  r.lbaHigh = tf.lbaHigh;
  r.dma = (tf.flags & ata_flag::kUseDma) != 0;
  if (Is48BitCommand(tf.command)) {
    r.extended = true;
    r.device = 0x40;
    r.featuresExp = static_cast<uint8_t>(tf.feature >> 8);
    r.countExp = static_cast<uint8_t>(tf.sectorCount >> 8);
    r.lbaLowExp = tf.exLow;
    r.lbaMidExp = tf.exMid;
    r.lbaHighExp = tf.exHigh;
  } else {
    r.device = static_cast<uint8_t>(0x40 | (tf.exLow & 0x0F));
  }
  return r;
}

}  // namespace kestrune::disk
