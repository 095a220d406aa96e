#include "disk/nvme_identify_entry.h"

namespace kestrune::disk {

std::array<uint8_t, 64> EntryBytes(const SubmissionDwords& dwords) {
  std::array<uint8_t, 64> bytes{};
  for (size_t i = 0; i < dwords.cdw.size(); ++i)
    for (size_t b = 0; b < 4; ++b) bytes[4 * i + b] = static_cast<uint8_t>(dwords.cdw[i] >> (8 * b));
  return bytes;
}

std::array<uint8_t, 64> IdentifyControllerEntry() {
  constexpr uint32_t kIdentifyOpcode = 0x06;
  constexpr uint32_t kCnsController = 1;
  SubmissionDwords d;
  d.cdw[0] = kIdentifyOpcode;
  d.cdw[10] = kCnsController;
  return EntryBytes(d);
}

}  // namespace kestrune::disk
