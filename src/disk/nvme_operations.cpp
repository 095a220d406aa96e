// The NVMe operations: build the command, check what the route cannot carry, pick the route of
// the disk's kind, and send to the target.
#include "disk/nvme_operations.h"

#include <atomic>
#include <vector>

#include "base/completion_codes.h"
#include "disk/dataset_management.h"
#include "disk/nvme_entries.h"
#include "disk/nvme_transport.h"

namespace kestrune::disk {
namespace {

namespace code = base::code;

enum class Route : uint8_t {
  kInbox,
  kRst,
  kCommunity,
  kJmicron,
  kAsmediaThreePhase,
  kAsmediaWithFallback,
  kRtl9210B,
  kRtl9210,
  kNone,
};

Route RouteOf(NvmeOperation op, DiskKind kind) {
  switch (kind) {
    case DiskKind::kNvm:
      return op == NvmeOperation::kDeallocate ? Route::kCommunity : Route::kInbox;
    case DiskKind::kIrstNvm:
      return Route::kRst;
    case DiskKind::kJmi:
      return Route::kJmicron;
    case DiskKind::kAsm2362:
    case DiskKind::kAsm2364:
      return op == NvmeOperation::kIdentify || op == NvmeOperation::kGetLogPage ? Route::kAsmediaWithFallback
                                                                                : Route::kAsmediaThreePhase;
    case DiskKind::kRtl9210B:
      return Route::kRtl9210B;
    case DiskKind::kRtl9210:
      return op == NvmeOperation::kRawAdmin || op == NvmeOperation::kGetFeatures ? Route::kNone
                                                                                 : Route::kRtl9210;
    default:
      return Route::kCommunity;
  }
}

std::atomic<bool> g_identifySingleFirst{false};
std::atomic<bool> g_logPageSingleFirst{false};

std::atomic<bool>* SingleFirstFlag(NvmeOperation op) {
  if (op == NvmeOperation::kIdentify) return &g_identifySingleFirst;
  if (op == NvmeOperation::kGetLogPage) return &g_logPageSingleFirst;
  return nullptr;
}

// The two ASMedia forms in the order the operation's flag gives; the one that works after the
// other failed goes first from then on.
int32_t AsmediaWithFallback(platform::Device& device, NvmeExchange& x) {
  const bool singleFirst = AsmediaSingleFirst(x.operation);
  auto send = [&](bool single) {
    return single ? SendAsmediaSingle(device, x) : SendAsmediaThreePhase(device, x);
  };
  const int32_t first = send(singleFirst);
  if (first == kNvmeDone) return first;
  const int32_t second = send(!singleFirst);
  if (second == kNvmeDone) SetAsmediaSingleFirst(x.operation, !singleFirst);
  return second;
}

int32_t SendOn(platform::Device& device, const DiskEntry& disk, Route route, NvmeExchange& x) {
  switch (route) {
    case Route::kInbox:
      return SendInbox(device, x);
    case Route::kRst:
      return SendRst(device, static_cast<uint8_t>(disk.pathId), x);
    case Route::kCommunity:
      return SendCommunity(device, x);
    case Route::kJmicron:
      return SendJmicron(device, x);
    case Route::kAsmediaThreePhase:
      return SendAsmediaThreePhase(device, x);
    case Route::kAsmediaWithFallback:
      return AsmediaWithFallback(device, x);
    case Route::kRtl9210B:
      return SendRtl9210B(device, x);
    case Route::kRtl9210:
      return SendRtl9210(device, x);
    case Route::kNone:
      break;
  }
  return code::kNotSupported;
}

// Sends x to the target; dw0 (optional) gets the completion dword whatever the outcome. -79 and -1
// come before anything is sent.
int32_t Send(DeviceTarget target, const DiskEntry& disk, NvmeExchange& x, uint32_t* dw0) {
  if (dw0 != nullptr) *dw0 = 0;
  const Route route = RouteOf(x.operation, disk.diskKind);
  if (route == Route::kNone) return code::kNotSupported;
  DeviceTarget::Handle device = target.Open(NvmePathOf(disk));
  if (!device) return code::kOpenDiskFailed;
  const int32_t rc = SendOn(*device, disk, route, x);
  if (dw0 != nullptr) *dw0 = x.dw0;
  return rc;
}

bool FitsLength(std::span<const uint8_t> data) { return data.size() <= UINT32_MAX; }

// The exchange of an operation, or the code that refuses its parameters before anything is sent.
struct Built {
  NvmeExchange x;
  int32_t refusal = 0;  // non-zero: send nothing, return this
};

Built RawAdminExchange(NvmeDirection direction, uint8_t opcode, uint32_t nsid, const NvmeCommand& record,
                       std::span<uint8_t> buffer) {
  Built b;
  b.x.operation = NvmeOperation::kRawAdmin;
  b.x.command = record;
  b.x.command.set_opcode(opcode);
  b.x.command.set_nsid(nsid);
  b.x.direction = direction;
  b.x.data = direction == NvmeDirection::kNone ? std::span<uint8_t>() : buffer;
  if (!FitsLength(b.x.data)) b.refusal = code::kBadParameter;
  return b;
}

Built IdentifyExchange(uint8_t cns, uint32_t nsid, std::span<uint8_t> buffer) {
  Built b;
  b.x.operation = NvmeOperation::kIdentify;
  b.x.command = IdentifyCommand(cns, nsid);
  b.x.direction = NvmeDirection::kIn;
  b.x.data = buffer;
  if (!FitsLength(buffer)) b.refusal = code::kBadParameter;
  return b;
}

Built LogPageExchange(const DiskEntry& disk, uint8_t lid, uint8_t lsp, bool rae, std::span<uint8_t> buffer) {
  Built b;
  const size_t length = buffer.size();
  const size_t limit = disk.diskKind == DiskKind::kNvm ? kInboxDataAreaBytes : kMaxLogPageBytes;
  if (length == 0 || length % 4 != 0 || length > limit || lsp > 0x7F) {
    b.refusal = code::kBadParameter;
    return b;
  }
  b.x.operation = NvmeOperation::kGetLogPage;
  b.x.command = GetLogPageCommand(lid, lsp, rae, static_cast<uint32_t>(length));
  b.x.direction = NvmeDirection::kIn;
  b.x.data = buffer;
  return b;
}

NvmeExchange NoData(NvmeOperation op, const NvmeCommand& command) {
  NvmeExchange x;
  x.operation = op;
  x.command = command;
  return x;
}

Built CommitExchange(uint8_t slot, uint8_t action) {
  Built b;
  if (slot > 7 || action > 7) {
    b.refusal = code::kBadParameter;
    return b;
  }
  b.x = NoData(NvmeOperation::kFirmwareCommit, FirmwareCommitCommand(slot, action));
  return b;
}

Built SecurityExchange(bool send, uint8_t secp, uint16_t spsp, std::span<uint8_t> buffer) {
  Built b;
  if (!FitsLength(buffer)) {
    b.refusal = code::kBadParameter;
    return b;
  }
  b.x.operation = send ? NvmeOperation::kSecuritySend : NvmeOperation::kSecurityReceive;
  b.x.command = SecurityCommand(send ? nvme_opcode::kSecuritySend : nvme_opcode::kSecurityReceive, secp, spsp,
                                static_cast<uint32_t>(buffer.size()));
  b.x.direction = send ? NvmeDirection::kOut : NvmeDirection::kIn;
  b.x.data = buffer;
  return b;
}

NvmeExchange DeallocateExchange(std::span<uint8_t> page, uint64_t lba, uint32_t count) {
  PutDeallocateRange(page, lba, count);
  NvmeExchange x;
  x.operation = NvmeOperation::kDeallocate;
  x.command = DeallocateCommand();
  x.queue = NvmeQueue::kIo;
  x.direction = NvmeDirection::kOut;
  x.data = page;
  return x;
}

int32_t SendBuilt(DeviceTarget target, const DiskEntry& disk, Built& b, uint32_t* dw0) {
  if (b.refusal != 0) {
    if (dw0 != nullptr) *dw0 = 0;
    return b.refusal;
  }
  return Send(target, disk, b.x, dw0);
}

int32_t Security(DeviceTarget target, const DiskEntry& disk, bool send, uint8_t secp, uint16_t spsp,
                 std::span<uint8_t> buffer, uint8_t* scsiStatus) {
  Built b = SecurityExchange(send, secp, spsp, buffer);
  const int32_t rc = SendBuilt(target, disk, b, nullptr);
  if (scsiStatus != nullptr) *scsiStatus = b.x.scsiStatus;
  return rc;
}

}  // namespace

bool AsmediaSingleFirst(NvmeOperation op) {
  std::atomic<bool>* flag = SingleFirstFlag(op);
  return flag != nullptr && flag->load(std::memory_order_relaxed);
}

void SetAsmediaSingleFirst(NvmeOperation op, bool single) {
  if (std::atomic<bool>* flag = SingleFirstFlag(op)) flag->store(single, std::memory_order_relaxed);
}

int32_t RawAdmin(DeviceTarget target, const DiskEntry& disk, NvmeDirection direction, uint8_t opcode,
                 uint32_t nsid, const NvmeCommand& record, std::span<uint8_t> buffer, uint32_t* dw0) {
  Built b = RawAdminExchange(direction, opcode, nsid, record, buffer);
  return SendBuilt(target, disk, b, dw0);
}

int32_t Identify(DeviceTarget target, const DiskEntry& disk, uint8_t cns, uint32_t nsid,
                 std::span<uint8_t> buffer, uint32_t* dw0) {
  Built b = IdentifyExchange(cns, nsid, buffer);
  return SendBuilt(target, disk, b, dw0);
}

int32_t GetLogPage(DeviceTarget target, const DiskEntry& disk, uint8_t lid, uint8_t lsp, bool rae,
                   std::span<uint8_t> buffer, uint32_t* dw0) {
  Built b = LogPageExchange(disk, lid, lsp, rae, buffer);
  return SendBuilt(target, disk, b, dw0);
}

int32_t GetFeatures(DeviceTarget target, const DiskEntry& disk, uint32_t fid, uint32_t* dw0) {
  NvmeExchange x = NoData(NvmeOperation::kGetFeatures, GetFeaturesCommand(fid));
  return Send(target, disk, x, dw0);
}

int32_t SetFeatures(DeviceTarget target, const DiskEntry& disk, uint32_t fid, bool save, uint32_t value,
                    uint32_t* dw0) {
  NvmeExchange x = NoData(NvmeOperation::kSetFeatures, SetFeaturesCommand(fid, save, value));
  return Send(target, disk, x, dw0);
}

int32_t FirmwareCommit(DeviceTarget target, const DiskEntry& disk, uint8_t slot, uint8_t action,
                       platform::Host& clock, uint32_t* dw0, uint16_t* status) {
  if (status != nullptr) *status = 0;
  Built b = CommitExchange(slot, action);
  // The inbox driver's activation request has no "replace without activating".
  if (b.refusal == 0 && action == 0 && disk.diskKind == DiskKind::kNvm) b.refusal = code::kNotSupported;
  b.x.clock = &clock;
  const int32_t rc = SendBuilt(target, disk, b, dw0);
  if (status != nullptr) *status = b.x.status;
  return rc;
}

int32_t FirmwareDownloadChunk(DeviceTarget target, const DiskEntry& disk, uint32_t offset,
                              std::span<const uint8_t> image, uint16_t* status) {
  if (status != nullptr) *status = 0;
  if (image.empty() || image.size() % 4 != 0 || offset % 4 != 0 || image.size() > UINT32_MAX)
    return code::kBadParameter;
  std::vector<uint8_t> chunk(image.begin(), image.end());  // the routes may write into their buffer
  NvmeExchange x;
  x.operation = NvmeOperation::kFirmwareDownload;
  x.command = FirmwareDownloadCommand(offset, static_cast<uint32_t>(chunk.size()));
  x.direction = NvmeDirection::kOut;
  x.data = chunk;
  x.imageOffset = offset;
  const int32_t rc = Send(target, disk, x, nullptr);
  if (status != nullptr) *status = x.status;
  return rc;
}

int32_t FormatAll(DeviceTarget target, const DiskEntry& disk) {
  NvmeExchange x = NoData(NvmeOperation::kFormatAll, FormatAllCommand());
  return Send(target, disk, x, nullptr);
}

int32_t SecurityReceive(DeviceTarget target, const DiskEntry& disk, uint8_t secp, uint16_t spsp,
                        std::span<uint8_t> buffer, uint8_t* scsiStatus) {
  return Security(target, disk, false, secp, spsp, buffer, scsiStatus);
}

int32_t SecuritySend(DeviceTarget target, const DiskEntry& disk, uint8_t secp, uint16_t spsp,
                     std::span<uint8_t> buffer, uint8_t* scsiStatus) {
  return Security(target, disk, true, secp, spsp, buffer, scsiStatus);
}

int32_t Deallocate(DeviceTarget target, const DiskEntry& disk, uint64_t lba, uint32_t count) {
  std::vector<uint8_t> page(kDeallocatePageBytes, 0);
  NvmeExchange x = DeallocateExchange(page, lba, count);
  return Send(target, disk, x, nullptr);
}

}  // namespace kestrune::disk
