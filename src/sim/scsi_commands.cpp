// The SCSI commands every simulated disk answers, as the system's SCSI layer (or a bridge)
// translates them: TEST UNIT READY, INQUIRY, READ CAPACITY(10/16), READ/WRITE(10/16) and
// SYNCHRONIZE CACHE(10).
#include <algorithm>
#include <cstring>

#include "sim/command_sets.h"
#include "sim/identify_data.h"
#include "sim/scsi_bytes.h"
#include "sim/sim_drive.h"

namespace kestrune::sim {
namespace {

using platform::DataDirection;

void InvalidField(ScsiRequest& r) { CheckCondition(r.result, sense_key::kIllegalRequest, 0x24, 0x00); }

// Copies up to allocation bytes of bytes into the data buffer.
void ReturnData(ScsiRequest& r, std::span<const uint8_t> bytes, uint32_t allocation) {
  size_t n = std::min<size_t>({bytes.size(), r.data.size(), allocation});
  std::memcpy(r.data.data(), bytes.data(), n);
  r.result.transferred = static_cast<uint32_t>(n);
}

void TestUnitReady(ScsiRequest&) {}

void Inquiry(ScsiRequest& r) {
  if (r.cdb.size() < 6) return InvalidField(r);
  const uint32_t allocation = GetBe16(&r.cdb[3]);
  const DriveDescription& d = r.drive.description();
  if ((r.cdb[1] & 0x01) == 0) {
    if (r.cdb[2] != 0) return InvalidField(r);
    return ReturnData(r, ScsiInquiryData(d), allocation);
  }
  switch (r.cdb[2]) {
    case 0x00: {  // supported pages
      const uint8_t pages[] = {0x00, 0x00, 0x00, 0x02, 0x00, 0x80};
      return ReturnData(r, pages, allocation);
    }
    case 0x80: {  // unit serial number
      std::array<uint8_t, 24> page{};
      page[1] = 0x80;
      page[3] = 20;
      PutAsciiField(&page[4], 20, d.serial);
      return ReturnData(r, page, allocation);
    }
    default:
      return InvalidField(r);
  }
}

void ReadCapacity10(ScsiRequest& r) {
  std::array<uint8_t, 8> data{};
  const uint64_t last = r.drive.sectorCount() - 1;
  PutBe32(&data[0], static_cast<uint32_t>(std::min<uint64_t>(last, 0xFFFFFFFF)));
  PutBe32(&data[4], r.drive.description().sectorSize);
  ReturnData(r, data, 8);
}

void ServiceActionIn16(ScsiRequest& r) {
  if (r.cdb.size() < 16 || (r.cdb[1] & 0x1F) != 0x10) return InvalidField(r);  // READ CAPACITY(16) only
  std::array<uint8_t, 32> data{};
  PutBe64(&data[0], r.drive.sectorCount() - 1);
  PutBe32(&data[8], r.drive.description().sectorSize);
  if (r.drive.description().trimSupported) data[14] = 0xC0;  // thin provisioned, unmapped reads zero
  ReturnData(r, data, GetBe32(&r.cdb[10]));
}

// READ and WRITE (10) and (16): LBA and block count from the CDB, data of count sectors.
void Transfer(ScsiRequest& r, bool write) {
  const bool sixteen = r.cdb[0] == 0x88 || r.cdb[0] == 0x8A;
  if (r.cdb.size() < (sixteen ? 16u : 10u)) return InvalidField(r);
  const uint64_t lba = sixteen ? GetBe64(&r.cdb[2]) : GetBe32(&r.cdb[2]);
  const uint64_t count = sixteen ? GetBe32(&r.cdb[10]) : GetBe16(&r.cdb[7]);
  const bool fua = (r.cdb[1] & 0x08) != 0;
  const uint32_t ss = r.drive.description().sectorSize;
  if (lba > r.drive.sectorCount() || count > r.drive.sectorCount() - lba) {
    return CheckCondition(r.result, sense_key::kIllegalRequest, 0x21, 0x00);  // LBA out of range
  }
  const uint64_t length = count * ss;
  const DataDirection want = write ? DataDirection::kOut : DataDirection::kIn;
  if (count > 0 && (r.direction != want || r.data.size() < length)) return InvalidField(r);
  MediaStatus s = write ? r.drive.WriteMedia(lba * ss, r.data.first(length), fua)
                        : r.drive.ReadMedia(lba * ss, r.data.first(length));
  switch (s) {
    case MediaStatus::kOk:
      r.result.transferred = static_cast<uint32_t>(length);
      return;
    case MediaStatus::kMediaError:
      return CheckCondition(r.result, sense_key::kMediumError, 0x11, 0x00);  // unrecovered read error
    case MediaStatus::kOutOfRange:
      return CheckCondition(r.result, sense_key::kIllegalRequest, 0x21, 0x00);
    case MediaStatus::kIoError:
      return CheckCondition(r.result, sense_key::kMediumError, write ? 0x0C : 0x11, 0x00);
  }
}

void Read(ScsiRequest& r) { Transfer(r, false); }
void Write(ScsiRequest& r) { Transfer(r, true); }

void SynchronizeCache(ScsiRequest& r) {
  if (!r.drive.FlushMedia()) CheckCondition(r.result, sense_key::kMediumError, 0x0C, 0x00);
}

}  // namespace

void CheckCondition(platform::ScsiResult& result, uint8_t key, uint8_t asc, uint8_t ascq) {
  result.status = 2;
  result.sense = {};
  result.sense[0] = 0x70;
  result.sense[2] = key;
  result.sense[7] = 10;
  result.sense[12] = asc;
  result.sense[13] = ascq;
  result.senseLength = 18;
  result.transferred = 0;
}

std::array<uint8_t, 3> SenseCodes(const platform::ScsiResult& result) {
  const auto& s = result.sense;
  if ((s[0] & 0x7F) == 0x72 || (s[0] & 0x7F) == 0x73) {
    return {static_cast<uint8_t>(s[1] & 0x0F), s[2], s[3]};
  }
  return {static_cast<uint8_t>(s[2] & 0x0F), s[12], s[13]};
}

void ExecuteScsi(const ScsiCommandTable& table, ScsiRequest& request) {
  request.result = {};
  const auto* handler = request.cdb.empty() ? nullptr : table.Find(request.cdb[0]);
  if (handler == nullptr) {
    return CheckCondition(request.result, sense_key::kIllegalRequest, 0x20, 0x00);  // invalid operation code
  }
  (*handler)(request);
}

void RegisterScsiCommands(ScsiCommandTable& table) {
  table.Register(0x00, TestUnitReady);
  table.Register(0x12, Inquiry);
  table.Register(0x25, ReadCapacity10);
  table.Register(0x9E, ServiceActionIn16);
  table.Register(0x28, Read);
  table.Register(0x88, Read);
  table.Register(0x2A, Write);
  table.Register(0x8A, Write);
  table.Register(0x35, SynchronizeCache);
}

}  // namespace kestrune::sim
