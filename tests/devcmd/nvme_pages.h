// Byte pages the decoder tests feed in: Identify Controller, Identify Namespace and log pages with
// the fields the tests look at.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "base/bytes.h"

namespace kestrune::devcmd::testing {

using Page = std::array<uint8_t, 4096>;

inline void PutText(uint8_t* p, size_t width, std::string_view text, uint8_t pad = ' ') {
  for (size_t i = 0; i < width; ++i) p[i] = i < text.size() ? static_cast<uint8_t>(text[i]) : pad;
}

inline Page ControllerPage() {
  Page p{};
  base::PutLe16(&p[0], 0x1E4B);
  base::PutLe16(&p[2], 0x1E4C);
  PutText(&p[4], 20, "SN0042");
  PutText(&p[24], 40, "KX NVMe 512G");
  PutText(&p[64], 8, "1.2A");
  p[73] = 0x5C;  // IEEE OUI E4-D2-5C, least significant byte first
  p[74] = 0xD2;
  p[75] = 0xE4;
  p[76] = 0x0B;
  p[77] = 5;                            // MDTS: 128 KiB
  base::PutLe32(&p[80], 0x00010402);  // NVMe 1.4.2
  p[260] = 0x16;                        // three slots, activation without reset
  p[319] = 2;                           // FWUG: 8 KiB
  base::PutLe32(&p[516], 3);
  PutText(&p[768], 256, "nqn.2026-01.test:kx", 0);
  base::PutLe16(&p[2048], 800);  // PSD0: 8.00 W
  p[2048 + 3] = 0x02;              // PSD0: non-operational
  return p;
}

// Namespace 1 of sectors sectors; format 0 is 512 bytes, format 1 4096 bytes with 8 bytes of metadata.
inline Page NamespacePage(uint64_t sectors, uint8_t flbas) {
  Page p{};
  base::PutLe64(&p[0], sectors);
  base::PutLe64(&p[8], sectors);
  base::PutLe64(&p[16], sectors / 2);
  p[25] = 1;
  p[26] = flbas;
  for (int i = 0; i < 8; ++i) p[120 + i] = static_cast<uint8_t>(0x11 * i);
  for (int i = 0; i < 16; ++i) p[104 + i] = static_cast<uint8_t>(0xA0 + i);
  base::PutLe32(&p[128], 0x02090000);
  base::PutLe32(&p[132], 0x000C0008);
  return p;
}

}  // namespace kestrune::devcmd::testing
