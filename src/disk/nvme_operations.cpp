// The NVMe operations: build the command, check what the route cannot carry, pick the route of
// the disk's kind, open the path (or use the caller's handle) and send.
#include "disk/nvme_operations.h"

#include <atomic>
#include <memory>
#include <vector>

#include "disk/dataset_management.h"
#include "disk/nvme_entries.h"
#include "disk/nvme_transport.h"

namespace kestrune::disk {
namespace {

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
      return op == NvmeOperation::kRawAdmin || op == NvmeOperation::kGetFeatures ? Route::kNone : Route::kRtl9210;
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
  auto send = [&](bool single) { return single ? SendAsmediaSingle(device, x) : SendAsmediaThreePhase(device, x); };
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
  return kNvmeNotSupported;
}

// Sends x on device; dw0 (optional) gets the completion dword whatever the outcome.
int32_t Send(platform::Device& device, const DiskEntry& disk, NvmeExchange& x, uint32_t* dw0) {
  const Route route = RouteOf(x.operation, disk.diskKind);
  const int32_t rc = route == Route::kNone ? kNvmeNotSupported : SendOn(device, disk, route, x);
  if (dw0 != nullptr) *dw0 = x.dw0;
  return rc;
}

// Opens the disk's NVMe path and sends; -79 and -1 come before anything is allocated.
int32_t Send(platform::DeviceTree& tree, const DiskEntry& disk, NvmeExchange& x, uint32_t* dw0) {
  if (dw0 != nullptr) *dw0 = 0;
  if (RouteOf(x.operation, disk.diskKind) == Route::kNone) return kNvmeNotSupported;
  std::unique_ptr<platform::Device> device = tree.Open(NvmePathOf(disk), platform::OpenAccess::kReadWrite);
  if (!device) return kNvmeOpenFailed;
  return Send(*device, disk, x, dw0);
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
  if (!FitsLength(b.x.data)) b.refusal = kNvmeBadLength;
  return b;
}

Built IdentifyExchange(uint8_t cns, uint32_t nsid, std::span<uint8_t> buffer) {
  Built b;
  b.x.operation = NvmeOperation::kIdentify;
  b.x.command = IdentifyCommand(cns, nsid);
  b.x.direction = NvmeDirection::kIn;
  b.x.data = buffer;
  if (!FitsLength(buffer)) b.refusal = kNvmeBadLength;
  return b;
}

Built LogPageExchange(const DiskEntry& disk, uint8_t lid, uint8_t lsp, bool rae, std::span<uint8_t> buffer) {
  Built b;
  const size_t length = buffer.size();
  const size_t limit = disk.diskKind == DiskKind::kNvm ? kInboxDataAreaBytes : kMaxLogPageBytes;
  if (length == 0 || length % 4 != 0 || length > limit || lsp > 0x7F) {
    b.refusal = kNvmeBadLength;
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
    b.refusal = kNvmeBadLength;
    return b;
  }
  b.x = NoData(NvmeOperation::kFirmwareCommit, FirmwareCommitCommand(slot, action));
  return b;
}

Built SecurityExchange(bool send, uint8_t secp, uint16_t spsp, std::span<uint8_t> buffer) {
  Built b;
  if (!FitsLength(buffer)) {
    b.refusal = kNvmeBadLength;
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

template <typename Target>
int32_t SendBuilt(Target& target, const DiskEntry& disk, Built& b, uint32_t* dw0) {
  if (b.refusal != 0) {
    if (dw0 != nullptr) *dw0 = 0;
    return b.refusal;
  }
  return Send(target, disk, b.x, dw0);
}

template <typename Target>
int32_t SecurityOn(Target& target, const DiskEntry& disk, bool send, uint8_t secp, uint16_t spsp,
                   std::span<uint8_t> buffer, uint8_t* scsiStatus) {
  Built b = SecurityExchange(send, secp, spsp, buffer);
  const int32_t rc = SendBuilt(target, disk, b, nullptr);
  if (scsiStatus != nullptr) *scsiStatus = b.x.scsiStatus;
  return rc;
}

template <typename Target>
int32_t DeallocateOn(Target& target, const DiskEntry& disk, uint64_t lba, uint32_t count) {
  std::vector<uint8_t> page(kDeallocatePageBytes, 0);
  NvmeExchange x = DeallocateExchange(page, lba, count);
  return Send(target, disk, x, nullptr);
}

}  // namespace

bool AsmediaSingleFirst(NvmeOperation op) {
  std::atomic<bool>* flag = SingleFirstFlag(op);
  return flag != nullptr && flag->load(std::memory_order_relaxed);
}

void SetAsmediaSingleFirst(NvmeOperation op, bool single) {
  if (std::atomic<bool>* flag = SingleFirstFlag(op)) flag->store(single, std::memory_order_relaxed);
}

// ---- Opening the path ----

int32_t RawAdmin(platform::DeviceTree& tree, const DiskEntry& disk, NvmeDirection direction, uint8_t opcode,
                 uint32_t nsid, const NvmeCommand& record, std::span<uint8_t> buffer, uint32_t* dw0) {
  Built b = RawAdminExchange(direction, opcode, nsid, record, buffer);
  return SendBuilt(tree, disk, b, dw0);
}

int32_t Identify(platform::DeviceTree& tree, const DiskEntry& disk, uint8_t cns, uint32_t nsid,
                 std::span<uint8_t> buffer, uint32_t* dw0) {
  Built b = IdentifyExchange(cns, nsid, buffer);
  return SendBuilt(tree, disk, b, dw0);
}

int32_t GetLogPage(platform::DeviceTree& tree, const DiskEntry& disk, uint8_t lid, uint8_t lsp, bool rae,
                   std::span<uint8_t> buffer, uint32_t* dw0) {
  Built b = LogPageExchange(disk, lid, lsp, rae, buffer);
  return SendBuilt(tree, disk, b, dw0);
}

int32_t GetFeatures(platform::DeviceTree& tree, const DiskEntry& disk, uint32_t fid, uint32_t* dw0) {
  NvmeExchange x = NoData(NvmeOperation::kGetFeatures, GetFeaturesCommand(fid));
  return Send(tree, disk, x, dw0);
}

int32_t SetFeatures(platform::DeviceTree& tree, const DiskEntry& disk, uint32_t fid, bool save, uint32_t value,
                    uint32_t* dw0) {
  NvmeExchange x = NoData(NvmeOperation::kSetFeatures, SetFeaturesCommand(fid, save, value));
  return Send(tree, disk, x, dw0);
}

int32_t FirmwareCommit(platform::DeviceTree& tree, const DiskEntry& disk, uint8_t slot, uint8_t action,
                       uint32_t* dw0) {
  Built b = CommitExchange(slot, action);
  return SendBuilt(tree, disk, b, dw0);
}

int32_t FormatAll(platform::DeviceTree& tree, const DiskEntry& disk) {
  NvmeExchange x = NoData(NvmeOperation::kFormatAll, FormatAllCommand());
  return Send(tree, disk, x, nullptr);
}

int32_t SecurityReceive(platform::DeviceTree& tree, const DiskEntry& disk, uint8_t secp, uint16_t spsp,
                        std::span<uint8_t> buffer, uint8_t* scsiStatus) {
  return SecurityOn(tree, disk, false, secp, spsp, buffer, scsiStatus);
}

int32_t SecuritySend(platform::DeviceTree& tree, const DiskEntry& disk, uint8_t secp, uint16_t spsp,
                     std::span<uint8_t> buffer, uint8_t* scsiStatus) {
  return SecurityOn(tree, disk, true, secp, spsp, buffer, scsiStatus);
}

int32_t Deallocate(platform::DeviceTree& tree, const DiskEntry& disk, uint64_t lba, uint32_t count) {
  return DeallocateOn(tree, disk, lba, count);
}

// ---- On the caller's handle ----

int32_t RawAdmin(platform::Device& device, const DiskEntry& disk, NvmeDirection direction, uint8_t opcode,
                 uint32_t nsid, const NvmeCommand& record, std::span<uint8_t> buffer, uint32_t* dw0) {
  Built b = RawAdminExchange(direction, opcode, nsid, record, buffer);
  return SendBuilt(device, disk, b, dw0);
}

int32_t Identify(platform::Device& device, const DiskEntry& disk, uint8_t cns, uint32_t nsid,
                 std::span<uint8_t> buffer, uint32_t* dw0) {
  Built b = IdentifyExchange(cns, nsid, buffer);
  return SendBuilt(device, disk, b, dw0);
}

int32_t GetLogPage(platform::Device& device, const DiskEntry& disk, uint8_t lid, uint8_t lsp, bool rae,
                   std::span<uint8_t> buffer, uint32_t* dw0) {
  Built b = LogPageExchange(disk, lid, lsp, rae, buffer);
  return SendBuilt(device, disk, b, dw0);
}

int32_t GetFeatures(platform::Device& device, const DiskEntry& disk, uint32_t fid, uint32_t* dw0) {
  NvmeExchange x = NoData(NvmeOperation::kGetFeatures, GetFeaturesCommand(fid));
  return Send(device, disk, x, dw0);
}

int32_t SetFeatures(platform::Device& device, const DiskEntry& disk, uint32_t fid, bool save, uint32_t value,
                    uint32_t* dw0) {
  NvmeExchange x = NoData(NvmeOperation::kSetFeatures, SetFeaturesCommand(fid, save, value));
  return Send(device, disk, x, dw0);
}

int32_t FirmwareCommit(platform::Device& device, const DiskEntry& disk, uint8_t slot, uint8_t action,
                       uint32_t* dw0) {
  Built b = CommitExchange(slot, action);
  return SendBuilt(device, disk, b, dw0);
}

int32_t FormatAll(platform::Device& device, const DiskEntry& disk) {
  NvmeExchange x = NoData(NvmeOperation::kFormatAll, FormatAllCommand());
  return Send(device, disk, x, nullptr);
}

int32_t SecurityReceive(platform::Device& device, const DiskEntry& disk, uint8_t secp, uint16_t spsp,
                        std::span<uint8_t> buffer, uint8_t* scsiStatus) {
  return SecurityOn(device, disk, false, secp, spsp, buffer, scsiStatus);
}

int32_t SecuritySend(platform::Device& device, const DiskEntry& disk, uint8_t secp, uint16_t spsp,
                     std::span<uint8_t> buffer, uint8_t* scsiStatus) {
  return SecurityOn(device, disk, true, secp, spsp, buffer, scsiStatus);
}

int32_t Deallocate(platform::Device& device, const DiskEntry& disk, uint64_t lba, uint32_t count) {
  return DeallocateOn(device, disk, lba, count);
}

int32_t FirmwareDownloadChunk(platform::Device& device, const DiskEntry& disk, uint32_t offset,
                              std::span<const uint8_t> image) {
  if (image.empty() || image.size() % 4 != 0 || offset % 4 != 0 || image.size() > UINT32_MAX)
    return kNvmeBadLength;
  std::vector<uint8_t> chunk(image.begin(), image.end());  // the routes may write into their buffer
  NvmeExchange x;
  x.operation = NvmeOperation::kFirmwareDownload;
  x.command = FirmwareDownloadCommand(offset, static_cast<uint32_t>(chunk.size()));
  x.direction = NvmeDirection::kOut;
  x.data = chunk;
  x.imageOffset = offset;
  return Send(device, disk, x, nullptr);
}

}  // namespace kestrune::disk
