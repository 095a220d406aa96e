#include "platform/win_scsi_layouts.h"

#include <algorithm>
#include <cstring>

#include "platform/win_layout_bytes.h"

namespace kestrune::platform::winio {
namespace {

// SCSI_PASS_THROUGH_DIRECT (x64)
constexpr size_t kSptdLength = 0, kSptdScsiStatus = 2, kSptdTargetId = 4, kSptdCdbLength = 6,
                 kSptdSenseInfoLength = 7, kSptdDataIn = 8, kSptdTransferLength = 12, kSptdTimeout = 16,
                 kSptdDataBuffer = 24, kSptdSenseInfoOffset = 32, kSptdCdb = 36;

// ATA_PASS_THROUGH_DIRECT (x64); task files: features, count, LBA low, mid, high, device, command.
constexpr size_t kAptdLength = 0, kAptdFlags = 2, kAptdTransferLength = 8, kAptdTimeout = 12,
                 kAptdDataBuffer = 24, kAptdPrevious = 32, kAptdCurrent = 40;

// SRB_IO_CONTROL
constexpr size_t kSrbHeaderLength = 0, kSrbSignature = 4, kSrbTimeout = 12, kSrbControlCode = 16,
                 kSrbReturnCode = 20, kSrbLength = 24;

// IntelNvm block
constexpr size_t kRstVersion = 28, kRstPathId = 29, kRstEntry = 32, kRstCompletion = 96, kRstQueue = 112,
                 kRstParameterLength = 116, kRstReturnLength = 120;
// NvmeMini block
constexpr size_t kMiniEntry = 52, kMiniCompletion = 116, kMiniDirection = 132, kMiniQueue = 136,
                 kMiniDataLength = 140, kMiniMetadataLength = 144, kMiniReturnLength = 148;

constexpr SrbHeader kRstNvmeHeader{
    {'I', 'n', 't', 'e', 'l', 'N', 'v', 'm'}, kRstNvmeTimeoutSeconds, kRstNvmeControlCode};
constexpr SrbHeader kRstFirmwareHeader{
    {'I', 'n', 't', 'e', 'l', 'F', 'w', ' '}, kRstFirmwareTimeoutSeconds, kRstFirmwareControlCode};
constexpr SrbHeader kCommunityHeader{
    {'N', 'v', 'm', 'e', 'M', 'i', 'n', 'i'}, kCommunityNvmeTimeoutSeconds, kCommunityNvmeControlCode};

uint32_t QueueId(NvmeQueue queue) { return queue == NvmeQueue::kAdmin ? 0 : 1; }

// A completion entry's DW0 and its status field (upper half of DW3) without the phase bit.
NvmeCompletion CompletionAt(std::span<const uint8_t> reply, size_t at) {
  NvmeCompletion c;
  c.dw0 = Get32(reply, at);
  c.status = static_cast<uint16_t>(Get16(reply, at + 14) >> 1);
  return c;
}

void CopyDataBack(std::span<const uint8_t> reply, size_t at, std::span<uint8_t> data) {
  if (reply.size() <= at) return;
  size_t n = std::min(data.size(), reply.size() - at);
  std::copy_n(reply.begin() + static_cast<std::ptrdiff_t>(at), n, data.begin());
}

// The first part of an IntelFw request: header, version 1, path id.
std::vector<uint8_t> RstFirmwareRequest(size_t total, uint8_t pathId) {
  std::vector<uint8_t> r(total, 0);
  PutSrbIoControl(r, kRstFirmwareHeader);
  r[kRstVersion] = 1;
  r[kRstPathId] = pathId;
  return r;
}

}  // namespace

uint8_t ScsiDataInOf(DataDirection direction) {
  switch (direction) {
    case DataDirection::kIn:
      return kScsiDataIn;
    case DataDirection::kOut:
      return kScsiDataOut;
    default:
      return kScsiDataUnspecified;
  }
}

std::optional<SptdRequest> BuildSptd(const SptdFields& f) {
  if (f.cdb.empty() || f.cdb.size() > kMaxCdbBytes) return std::nullopt;
  SptdRequest r{};
  Put16(r, kSptdLength, kSptdHeaderBytes);
  r[kSptdTargetId] = f.targetId;
  r[kSptdCdbLength] = static_cast<uint8_t>(f.cdb.size());
  r[kSptdSenseInfoLength] = kSptdSenseBytes;
  r[kSptdDataIn] = f.dataIn;
  Put32(r, kSptdTransferLength, f.transferLength);
  Put32(r, kSptdTimeout, f.timeoutSeconds);
  Put64(r, kSptdDataBuffer, f.dataAddress);
  Put32(r, kSptdSenseInfoOffset, kSptdSenseOffset);
  std::copy(f.cdb.begin(), f.cdb.end(), r.begin() + kSptdCdb);
  return r;
}

SptdReply ReadSptd(const SptdRequest& r) {
  SptdReply reply;
  reply.scsiStatus = r[kSptdScsiStatus];
  reply.senseLength = std::min<uint8_t>(r[kSptdSenseInfoLength], kSptdSenseBytes);
  reply.transferred = Get32(r, kSptdTransferLength);
  reply.sense = std::span<const uint8_t>(r).subspan(kSptdSenseOffset, reply.senseLength);
  return reply;
}

uint16_t AtaFlagsOf(const AtaRegisters& regs, DataDirection direction) {
  uint16_t flags = 0;
  if (direction == DataDirection::kIn) flags = kAtaFlagDrdyRequired | kAtaFlagDataIn;
  if (direction == DataDirection::kOut) flags = kAtaFlagDrdyRequired | kAtaFlagDataOut;
  if (regs.extended) flags |= kAtaFlag48Bit;
  if (regs.dma) flags |= kAtaFlagUseDma;
  return flags;
}

AptdRequest BuildAptd(const AtaRegisters& regs, DataDirection direction, uint32_t transferLength,
                      uint32_t timeoutSeconds, uint64_t dataAddress) {
  AptdRequest r{};
  Put16(r, kAptdLength, kAptdBytes);
  Put16(r, kAptdFlags, AtaFlagsOf(regs, direction));
  Put32(r, kAptdTransferLength, transferLength);
  Put32(r, kAptdTimeout, timeoutSeconds);
  Put64(r, kAptdDataBuffer, dataAddress);
  if (regs.extended) {
    const uint8_t previous[] = {regs.featuresExp, regs.countExp, regs.lbaLowExp, regs.lbaMidExp,
                                regs.lbaHighExp};
    std::copy(std::begin(previous), std::end(previous), r.begin() + kAptdPrevious);
  }
  const uint8_t current[] = {regs.features, regs.count,  regs.lbaLow, regs.lbaMid,
                             regs.lbaHigh,  regs.device, regs.command};
  std::copy(std::begin(current), std::end(current), r.begin() + kAptdCurrent);
  return r;
}

void ReadAptd(const AptdRequest& r, AtaRegisters& regs) {
  const uint8_t* cur = r.data() + kAptdCurrent;
  const uint8_t* prev = r.data() + kAptdPrevious;
  regs.features = cur[0];
  regs.count = cur[1];
  regs.lbaLow = cur[2];
  regs.lbaMid = cur[3];
  regs.lbaHigh = cur[4];
  regs.device = cur[5];
  regs.command = cur[6];
  regs.featuresExp = prev[0];
  regs.countExp = prev[1];
  regs.lbaLowExp = prev[2];
  regs.lbaMidExp = prev[3];
  regs.lbaHighExp = prev[4];
}

void PutSrbIoControl(std::span<uint8_t> request, const SrbHeader& header) {
  Put32(request, kSrbHeaderLength, kSrbIoControlBytes);
  std::copy(header.signature.begin(), header.signature.end(), request.begin() + kSrbSignature);
  Put32(request, kSrbTimeout, header.timeoutSeconds);
  Put32(request, kSrbControlCode, header.controlCode);
  Put32(request, kSrbReturnCode, 0);
  Put32(request, kSrbLength, static_cast<uint32_t>(request.size() - kSrbIoControlBytes));
}

uint32_t SrbReturnCode(std::span<const uint8_t> reply) {
  return reply.size() < kSrbIoControlBytes ? 0 : Get32(reply, kSrbReturnCode);
}

std::vector<uint8_t> BuildRstNvme(uint8_t pathId, NvmeQueue queue,
                                  std::span<const uint8_t, kNvmeEntryBytes> entry,
                                  std::span<const uint8_t> data) {
  std::vector<uint8_t> r(data.size() + kRstNvmeExtraBytes, 0);
  PutSrbIoControl(r, kRstNvmeHeader);
  r[kRstVersion] = 1;
  r[kRstPathId] = pathId;
  std::copy(entry.begin(), entry.end(), r.begin() + kRstEntry);
  Put32(r, kRstQueue, QueueId(queue));
  Put32(r, kRstParameterLength, kRstNvmeDataOffset);
  Put32(r, kRstReturnLength, static_cast<uint32_t>(data.size()));
  std::copy(data.begin(), data.end(), r.begin() + kRstNvmeDataOffset);
  return r;
}

void ReadRstNvme(std::span<const uint8_t> reply, DataDirection direction, std::span<uint8_t> data,
                 NvmeCompletion& completion) {
  if (reply.size() < kRstNvmeDataOffset) return;
  completion = CompletionAt(reply, kRstCompletion);
  if (direction == DataDirection::kIn) CopyDataBack(reply, kRstNvmeDataOffset, data);
}

std::vector<uint8_t> BuildRstFirmwareDownload(uint8_t pathId, uint32_t offset,
                                              std::span<const uint8_t> image) {
  const uint32_t length = static_cast<uint32_t>(image.size());
  std::vector<uint8_t> r = RstFirmwareRequest(image.size() + kRstFirmwareImageOffset, pathId);
  Put32(r, 32, 1);
  Put32(r, 36, 24);
  Put32(r, 40, 2);
  Put32(r, 44, 1);
  Put32(r, 48, 56);
  Put32(r, 52, length + 32);
  Put32(r, 56, 2);
  Put32(r, 60, 32);
  Put32(r, 64, offset);  // low 16 bits at 64, high 16 bits at 66
  Put32(r, 68, 0);
  Put32(r, 72, length);
  Put32(r, 80, 255);
  std::copy(image.begin(), image.end(), r.begin() + kRstFirmwareImageOffset);
  return r;
}

std::vector<uint8_t> BuildRstFirmwareActivate(uint8_t pathId) {
  std::vector<uint8_t> r = RstFirmwareRequest(kRstFirmwareActivateBytes, pathId);
  const uint32_t words[][2] = {{32, 1}, {36, 24}, {40, 3}, {44, 1}, {48, 56}, {52, 12},
                               {56, 1}, {60, 12}, {64, 1}, {68, 5}, {72, 7},  {80, 0}};
  for (const auto& w : words) Put32(r, w[0], w[1]);
  return r;
}

uint32_t CommunityDirectionOf(DataDirection direction) {
  switch (direction) {
    case DataDirection::kOut:
      return 1;
    case DataDirection::kIn:
      return 2;
    default:
      return 0;
  }
}

std::vector<uint8_t> BuildCommunityNvme(NvmeQueue queue, std::span<const uint8_t, kNvmeEntryBytes> entry,
                                        DataDirection direction, std::span<const uint8_t> data) {
  const size_t total = data.size() + kCommunityNvmeDataOffset;
  std::vector<uint8_t> r(total, 0);
  PutSrbIoControl(r, kCommunityHeader);
  std::copy(entry.begin(), entry.end(), r.begin() + kMiniEntry);
  Put32(r, kMiniDirection, CommunityDirectionOf(direction));
  Put32(r, kMiniQueue, QueueId(queue));
  Put32(r, kMiniDataLength, static_cast<uint32_t>(total));
  Put32(r, kMiniMetadataLength, 0);
  Put32(r, kMiniReturnLength, static_cast<uint32_t>(total));
  std::copy(data.begin(), data.end(), r.begin() + kCommunityNvmeDataOffset);
  return r;
}

void ReadCommunityNvme(std::span<const uint8_t> reply, DataDirection direction, std::span<uint8_t> data,
                       NvmeCompletion& completion) {
  if (reply.size() < kCommunityNvmeDataOffset) return;
  completion = CompletionAt(reply, kMiniCompletion);
  if (direction == DataDirection::kIn) CopyDataBack(reply, kCommunityNvmeDataOffset, data);
}

}  // namespace kestrune::platform::winio
