// The NVMe commands every simulated controller answers: Identify on the admin queue; Flush,
// Write, Read and Dataset Management on the I/O queue. The drive has one namespace, NSID 1.
#include <algorithm>
#include <cstring>

#include "engine/bytes.h"
#include "sim/command_sets.h"
#include "sim/identify_data.h"
#include "sim/sim_drive.h"

namespace kestrune::sim {
namespace {

using platform::NvmeQueue;

constexpr uint32_t kBroadcastNsid = 0xFFFFFFFF;

void SetStatus(NvmeRequest& r, uint16_t status) { r.completion.status = status; }

void CopyOut(NvmeRequest& r, std::span<const uint8_t> bytes) {
  size_t n = std::min(r.data.size(), bytes.size());
  std::memcpy(r.data.data(), bytes.data(), n);
}

void Identify(NvmeRequest& r) {
  const uint8_t cns = static_cast<uint8_t>(r.cdw[10]);
  const DriveDescription& d = r.drive.description();
  switch (cns) {
    case 0x00:
      if (r.nsid() != 1 && r.nsid() != kBroadcastNsid) return SetStatus(r, nvme_status::kInvalidNamespace);
      return CopyOut(r, NvmeIdentifyNamespace(d, r.nsid()));
    case 0x01:
      return CopyOut(r, NvmeIdentifyController(d));
    case 0x02: {  // active namespaces above NSID
      std::array<uint8_t, 4096> list{};
      if (r.nsid() < 1) engine::PutLe32(list.data(), 1);
      return CopyOut(r, list);
    }
    default:
      return SetStatus(r, nvme_status::kInvalidField);
  }
}

bool ValidNamespace(const NvmeRequest& r) { return r.nsid() == 1; }

// Checks a Read or Write: namespace, range and buffer. Fills byte offset and length.
bool CheckTransfer(NvmeRequest& r, uint64_t& offset, uint64_t& length) {
  if (!ValidNamespace(r)) {
    SetStatus(r, nvme_status::kInvalidNamespace);
    return false;
  }
  const uint64_t slba = r.cdw[10] | (static_cast<uint64_t>(r.cdw[11]) << 32);
  const uint64_t blocks = (r.cdw[12] & 0xFFFF) + 1ull;
  if (slba >= r.drive.sectorCount() || blocks > r.drive.sectorCount() - slba) {
    SetStatus(r, nvme_status::kLbaOutOfRange);
    return false;
  }
  const uint32_t ss = r.drive.description().sectorSize;
  offset = slba * ss;
  length = blocks * ss;
  if (r.data.size() < length) {
    SetStatus(r, nvme_status::kDataTransferError);
    return false;
  }
  return true;
}

void SetMediaStatus(NvmeRequest& r, MediaStatus s, uint16_t errorStatus) {
  switch (s) {
    case MediaStatus::kOk:
      return;
    case MediaStatus::kOutOfRange:
      return SetStatus(r, nvme_status::kLbaOutOfRange);
    case MediaStatus::kMediaError:
      return SetStatus(r, nvme_status::kUnrecoveredReadError);
    case MediaStatus::kIoError:
      return SetStatus(r, errorStatus);
  }
}

void Read(NvmeRequest& r) {
  uint64_t offset = 0, length = 0;
  if (!CheckTransfer(r, offset, length)) return;
  SetMediaStatus(r, r.drive.ReadMedia(offset, r.data.first(length)), nvme_status::kInternalError);
}

void Write(NvmeRequest& r) {
  uint64_t offset = 0, length = 0;
  if (!CheckTransfer(r, offset, length)) return;
  const bool fua = (r.cdw[12] >> 30) & 1;
  SetMediaStatus(r, r.drive.WriteMedia(offset, r.data.first(length), fua), nvme_status::kWriteFault);
}

void Flush(NvmeRequest& r) {
  if (r.nsid() != 1 && r.nsid() != kBroadcastNsid) return SetStatus(r, nvme_status::kInvalidNamespace);
  if (!r.drive.FlushMedia()) SetStatus(r, nvme_status::kWriteFault);
}

void DatasetManagement(NvmeRequest& r) {
  if (!r.drive.description().trimSupported) return SetStatus(r, nvme_status::kInvalidOpcode);
  if (!ValidNamespace(r)) return SetStatus(r, nvme_status::kInvalidNamespace);
  const uint32_t ranges = (r.cdw[10] & 0xFF) + 1;
  const bool deallocate = (r.cdw[11] >> 2) & 1;
  if (r.data.size() < ranges * 16ull) return SetStatus(r, nvme_status::kDataTransferError);
  if (!deallocate) return;  // attributes only: nothing to do
  const uint64_t sectors = r.drive.sectorCount();
  const uint32_t ss = r.drive.description().sectorSize;
  for (uint32_t i = 0; i < ranges; ++i) {
    const uint8_t* range = r.data.data() + i * 16;
    const uint64_t count = engine::GetLe32(range + 4);
    const uint64_t slba = engine::GetLe64(range + 8);
    if (slba > sectors || count > sectors - slba) return SetStatus(r, nvme_status::kLbaOutOfRange);
  }
  for (uint32_t i = 0; i < ranges; ++i) {
    const uint8_t* range = r.data.data() + i * 16;
    const uint64_t count = engine::GetLe32(range + 4);
    const uint64_t slba = engine::GetLe64(range + 8);
    if (count == 0) continue;
    SetMediaStatus(r, r.drive.TrimMedia(slba * ss, count * ss), nvme_status::kInternalError);
    if (r.completion.status != nvme_status::kSuccess) return;
  }
}

}  // namespace

void ExecuteNvme(const NvmeCommandTable& table, NvmeRequest& request) {
  request.completion = {};
  const auto* handler = table.Find(NvmeKey(request.queue, request.opcode()));
  if (handler == nullptr) {
    request.completion.status = nvme_status::kInvalidOpcode;
    return;
  }
  (*handler)(request);
}

void RegisterNvmeCommands(NvmeCommandTable& table) {
  table.Register(NvmeKey(NvmeQueue::kAdmin, 0x06), Identify);
  table.Register(NvmeKey(NvmeQueue::kIo, 0x00), Flush);
  table.Register(NvmeKey(NvmeQueue::kIo, 0x01), Write);
  table.Register(NvmeKey(NvmeQueue::kIo, 0x02), Read);
  table.Register(NvmeKey(NvmeQueue::kIo, 0x09), DatasetManagement);
}

}  // namespace kestrune::sim
