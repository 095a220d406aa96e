#include "disk/ata_smart.h"

#include "disk/ata_operations.h"
#include "disk/sector_buffer.h"

namespace kestrune::disk {

uint64_t SmartAttribute::RawValue() const {
  uint64_t v = 0;
  for (size_t i = raw.size(); i-- > 0;) v = v << 8 | raw[i];
  return v;
}

AtaTaskFile SmartTaskFile(uint8_t feature, uint16_t flags, uint8_t lbaLow) {
  AtaTaskFile tf = TaskFile(kAtaSmart, flags, 0, flags == ata_flag::kNoData ? 0 : 1, feature);
  tf.lbaLow = lbaLow;
  tf.lbaMid = 0x4F;
  tf.lbaHigh = 0xC2;
  return tf;
}

std::vector<SmartAttribute> ParseSmartAttributes(std::span<const uint8_t> data,
                                                 std::span<const uint8_t> thresholds) {
  constexpr size_t kFirst = 2, kEntry = 12;
  std::vector<SmartAttribute> out;
  for (size_t i = 0; i < kMaxSmartAttributes; ++i) {
    const size_t at = kFirst + i * kEntry;
    if (at + kEntry > data.size() || data[at] == 0) break;
    SmartAttribute a;
    a.id = data[at];
    a.flags = static_cast<uint16_t>(data[at + 1] | (data[at + 2] << 8));
    a.current = data[at + 3];
    a.worst = data[at + 4];
    for (size_t b = 0; b < a.raw.size(); ++b) a.raw[b] = data[at + 5 + b];
    for (size_t t = 0; t < kMaxSmartAttributes; ++t) {
      const size_t tat = kFirst + t * kEntry;
      if (tat + 2 > thresholds.size()) break;
      if (thresholds[tat] == a.id) {
        a.threshold = thresholds[tat + 1];
        break;
      }
    }
    out.push_back(a);
  }
  return out;
}

bool SmartChecksumOk(std::span<const uint8_t> page) {
  if (page.size() < kSmartPageBytes) return false;
  uint8_t sum = 0;
  for (size_t i = 0; i < kSmartPageBytes; ++i) sum = static_cast<uint8_t>(sum + page[i]);
  return sum == 0;
}

std::array<uint16_t, 9> SataTemperatures(const std::vector<SmartAttribute>& attributes) {
  std::array<uint16_t, 9> t{};
  for (const SmartAttribute& a : attributes) {
    if (a.id == 194) t[0] = a.raw[0];
    if (a.id == 190) t[1] = a.raw[0];
    if (a.id == 231) t[2] = a.raw[0];
  }
  return t;
}

std::optional<std::array<uint16_t, 9>> ReadSataTemperatures(platform::DeviceTree& tree,
                                                            const DiskEntry& entry) {
  if (!IsSataKind(entry.diskKind)) return std::nullopt;
  SectorBuffer page(kSmartPageBytes);
  if (!page.ok()) return std::nullopt;
  if (AtaCommand(tree, entry, SmartTaskFile(kSmartReadData, ata_flag::kPioIn), page.bytes()) < 0)
    return std::nullopt;
  return SataTemperatures(ParseSmartAttributes(page.bytes(), {}));
}

}  // namespace kestrune::disk
