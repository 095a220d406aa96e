// The NVMe commands every simulated controller answers: Identify on the admin queue (the other
// admin commands have files of their own, see nvme_admin.h); Flush, Write, Read and Dataset
// Management on the I/O queue. The drive has one namespace, its NamespaceId (1 unless the lab file
// gives another).
#include <algorithm>
#include <cstring>

#include "base/bytes.h"
#include "sim/identify_data.h"
#include "sim/nvme_admin.h"

namespace kestrune::sim {
namespace {

using platform::NvmeQueue;

// Identify Controller with what changes while the controller runs: the active firmware.
std::array<uint8_t, 4096> ControllerData(SimDrive& drive) {
  std::array<uint8_t, 4096> id = NvmeIdentifyController(drive.description());
  PutAsciiField(&id[64], 8, drive.controller().firmwareRevision());
  return id;
}

void Identify(NvmeRequest& r) {
  const uint8_t cns = static_cast<uint8_t>(r.cdw[10]);
  const DriveDescription& d = r.drive.description();
  switch (cns) {
    case 0x00:
      if (!NamesOwnOrEveryNamespace(r)) return SetStatus(r, nvme_status::kInvalidNamespace);
      return ReturnBytes(r, NvmeIdentifyNamespace(d, r.nsid()));
    case 0x01:
      return ReturnBytes(r, ControllerData(r.drive));
    case 0x02: {  // active namespaces above NSID
      if (r.nsid() >= 0xFFFFFFFE) return SetStatus(r, nvme_status::kInvalidNamespace);
      std::array<uint8_t, 4096> list{};
      if (r.nsid() < d.namespaceId) base::PutLe32(list.data(), d.namespaceId);
      return ReturnBytes(r, list);
    }
    case 0x03:  // namespace identification descriptors
      if (!NamesOwnNamespace(r)) return SetStatus(r, nvme_status::kInvalidNamespace);
      return ReturnBytes(r, NvmeNamespaceDescriptors(d));
    default:
      return SetStatus(r, nvme_status::kInvalidField);
  }
}

// Checks a Read or Write: namespace, range and buffer. Fills byte offset and length.
bool CheckTransfer(NvmeRequest& r, uint64_t& offset, uint64_t& length) {
  if (!NamesOwnNamespace(r)) {
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
  if (!NamesOwnOrEveryNamespace(r)) return SetStatus(r, nvme_status::kInvalidNamespace);
  if (!r.drive.FlushMedia()) SetStatus(r, nvme_status::kWriteFault);
}

void DatasetManagement(NvmeRequest& r) {
  if (!r.drive.description().trimSupported) return SetStatus(r, nvme_status::kInvalidOpcode);
  if (!NamesOwnNamespace(r)) return SetStatus(r, nvme_status::kInvalidNamespace);
  const uint32_t ranges = (r.cdw[10] & 0xFF) + 1;
  const bool deallocate = (r.cdw[11] >> 2) & 1;
  if (r.data.size() < ranges * 16ull) return SetStatus(r, nvme_status::kDataTransferError);
  if (!deallocate) return;  // attributes only: nothing to do
  const uint64_t sectors = r.drive.sectorCount();
  const uint32_t ss = r.drive.description().sectorSize;
  for (uint32_t i = 0; i < ranges; ++i) {
    const uint8_t* range = r.data.data() + i * 16;
    const uint64_t count = base::GetLe32(range + 4);
    const uint64_t slba = base::GetLe64(range + 8);
    if (slba > sectors || count > sectors - slba) return SetStatus(r, nvme_status::kLbaOutOfRange);
  }
  for (uint32_t i = 0; i < ranges; ++i) {
    const uint8_t* range = r.data.data() + i * 16;
    const uint64_t count = base::GetLe32(range + 4);
    const uint64_t slba = base::GetLe64(range + 8);
    if (count == 0) continue;
    SetMediaStatus(r, r.drive.TrimMedia(slba * ss, count * ss), nvme_status::kInternalError);
    if (r.completion.status != nvme_status::kSuccess) return;
  }
}

}  // namespace

void ReturnBytes(NvmeRequest& r, std::span<const uint8_t> bytes) {
  const size_t n = std::min(r.data.size(), bytes.size());
  std::memcpy(r.data.data(), bytes.data(), n);
  std::fill(r.data.begin() + static_cast<std::ptrdiff_t>(n), r.data.end(), uint8_t{0});
}

void ExecuteNvme(const NvmeCommandTable& table, NvmeRequest& request) {
  request.completion = {};
  const bool io = request.queue == NvmeQueue::kIo;
  if (std::optional<uint16_t> injected = request.drive.TakeNvmeFailure(io, request.opcode())) {
    request.completion.status = *injected;
  } else if (const auto* handler = table.Find(NvmeKey(request.queue, request.opcode()))) {
    (*handler)(request);
  } else {
    request.completion.status = nvme_status::kInvalidOpcode;
  }
  if (request.completion.status != nvme_status::kSuccess)
    request.drive.controller().LogError(io ? 1 : 0, request.opcode(), request.completion.status, request.nsid());
}

void ExecuteNvmeEntry(SimDrive& drive, platform::NvmeQueue queue, std::span<const uint8_t, 64> entry,
                      platform::DataDirection direction, std::span<uint8_t> data,
                      platform::NvmeCompletion& completion) {
  NvmeRequest request{drive, queue, {}, direction, data, completion};
  for (size_t i = 0; i < 16; ++i) request.cdw[i] = base::GetLe32(entry.data() + 4 * i);
  ExecuteNvme(drive.commands().nvme, request);
}

void RegisterNvmeCommands(NvmeCommandTable& table) {
  table.Register(NvmeKey(NvmeQueue::kAdmin, 0x02), GetLogPage);
  table.Register(NvmeKey(NvmeQueue::kAdmin, 0x06), Identify);
  table.Register(NvmeKey(NvmeQueue::kAdmin, 0x09), SetFeatures);
  table.Register(NvmeKey(NvmeQueue::kAdmin, 0x0A), GetFeatures);
  table.Register(NvmeKey(NvmeQueue::kAdmin, 0x10), FirmwareCommit);
  table.Register(NvmeKey(NvmeQueue::kAdmin, 0x11), FirmwareDownload);
  table.Register(NvmeKey(NvmeQueue::kAdmin, 0x80), FormatNvm);
  table.Register(NvmeKey(NvmeQueue::kAdmin, 0x81), SecuritySend);
  table.Register(NvmeKey(NvmeQueue::kAdmin, 0x82), SecurityReceive);
  table.Register(NvmeKey(NvmeQueue::kIo, 0x00), Flush);
  table.Register(NvmeKey(NvmeQueue::kIo, 0x01), Write);
  table.Register(NvmeKey(NvmeQueue::kIo, 0x02), Read);
  table.Register(NvmeKey(NvmeQueue::kIo, 0x09), DatasetManagement);
  RegisterVendorCommands(table);
}

}  // namespace kestrune::sim
