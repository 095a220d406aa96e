#include "disk/identify_data.h"

#include <vector>

#include "base/text.h"

namespace kestrune::disk {

std::string IdentifyText(std::span<const uint8_t> field) {
  std::string out;
  for (uint8_t b : field) {
    if (b == 0) break;
    if (b < 0x20 || b == 0x7F) {
      out += ' ';
    } else if (b < 0x80) {
      out += static_cast<char>(b);
    } else {
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return std::string(base::Trim(out));
}

DriveIdentity ParseIdentifyController(std::span<const uint8_t> data) {
  DriveIdentity id;
  if (data.size() < 72) return id;
  id.pciVendorId = static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8);
  id.serial = IdentifyText(data.subspan(4, 20));
  id.model = IdentifyText(data.subspan(24, 40));
  id.firmware = IdentifyText(data.subspan(64, 8));
  return id;
}

std::string AtaIdentifyString(std::span<const uint8_t> data, size_t firstWord, size_t words) {
  if (data.size() < 2 * (firstWord + words)) return {};
  std::vector<uint8_t> bytes;
  for (size_t w = firstWord; w < firstWord + words; ++w) {
    bytes.push_back(data[2 * w + 1]);
    bytes.push_back(data[2 * w]);
  }
  return IdentifyText(bytes);
}

DriveIdentity ParseAtaIdentify(std::span<const uint8_t> data) {
  DriveIdentity id;
  if (data.size() < 94) return id;
  id.serial = AtaIdentifyString(data, 10, 10);
  id.firmware = AtaIdentifyString(data, 23, 4);
  id.model = AtaIdentifyString(data, 27, 20);
  constexpr size_t kWwnWord = 108;
  if (data.size() >= 2 * (kWwnWord + 2)) {
    const uint16_t w108 = static_cast<uint16_t>(data[2 * kWwnWord] | data[2 * kWwnWord + 1] << 8);
    const uint16_t w109 = static_cast<uint16_t>(data[2 * kWwnWord + 2] | data[2 * kWwnWord + 3] << 8);
    if (w108 >> 12 != 0) id.wwnOui = static_cast<uint32_t>(w108 & 0x0FFF) << 12 | w109 >> 4;
  }
  return id;
}

}  // namespace kestrune::disk
