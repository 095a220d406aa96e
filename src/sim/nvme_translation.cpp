// The system NVMe driver's SCSI translation of the security commands: SECURITY PROTOCOL IN (A2h)
// becomes Security Receive, SECURITY PROTOCOL OUT (B5h) Security Send, with SECP from byte 1, SPSP
// from bytes 2-3 and the length from bytes 6-9 (all big-endian).
#include "base/bytes.h"
#include "sim/command_sets.h"
#include "sim/scsi_bytes.h"
#include "sim/sim_drive.h"

namespace kestrune::sim {
namespace {

void SecurityProtocol(ScsiRequest& r) {
  if (r.cdb.size() < 12) return CheckCondition(r.result, sense_key::kIllegalRequest, 0x24, 0x00);
  const bool in = r.cdb[0] == 0xA2;
  const uint32_t length = GetBe32(&r.cdb[6]);
  const platform::DataDirection want = in ? platform::DataDirection::kIn : platform::DataDirection::kOut;
  if (length > 0 && (r.direction != want || r.data.size() < length))
    return CheckCondition(r.result, sense_key::kIllegalRequest, 0x24, 0x00);
  std::array<uint8_t, 64> entry{};
  entry[0] = in ? 0x82 : 0x81;
  base::PutLe32(&entry[40], static_cast<uint32_t>(r.cdb[1]) << 24 | static_cast<uint32_t>(GetBe16(&r.cdb[2]))
                                                                        << 8);
  base::PutLe32(&entry[44], length);
  platform::NvmeCompletion completion;
  ExecuteNvmeEntry(r.drive, platform::NvmeQueue::kAdmin, entry, length > 0 ? want : platform::DataDirection::kNone,
                   r.data.first(length), completion);
  if (completion.status != 0) return CheckCondition(r.result, sense_key::kIllegalRequest, 0x24, 0x00);
  r.result.transferred = length;
}

}  // namespace

void RegisterNvmeTranslation(ScsiCommandTable& table) {
  table.Register(0xA2, SecurityProtocol);
  table.Register(0xB5, SecurityProtocol);
}

}  // namespace kestrune::sim
