#include "sim/sim_device.h"

#include <algorithm>

#include "base/bytes.h"
#include "base/text.h"
#include "sim/control_requests.h"

namespace kestrune::sim {

using platform::DataDirection;
using platform::PassStatus;

namespace {

// The NVMe route that reaches a drive on this attachment; nullopt when none does.
std::optional<platform::NvmeRoute> RouteOf(Attachment a) {
  switch (a) {
    case Attachment::kNvmeInbox:
      return platform::NvmeRoute::kInbox;
    case Attachment::kNvmeCommunity:
      return platform::NvmeRoute::kCommunityMiniport;
    case Attachment::kNvmeRst:
      return platform::NvmeRoute::kRstMiniport;
    default:
      return std::nullopt;
  }
}

}  // namespace

SimDevice::SimDevice(Opening opening, RequestLog& log, platform::Host& host)
    : drive_(std::move(opening.drive)),
      target_(opening.target),
      base_(opening.base),
      length_(opening.length),
      path_(std::move(opening.path)),
      access_(opening.access),
      generation_(drive_->generation()),
      log_(log),
      host_(host) {}

RequestRecord SimDevice::Record(const char* operation, uint64_t offset, uint64_t length) const {
  RequestRecord r;
  r.operation = operation;
  r.path = path_;
  r.offset = offset;
  r.length = length;
  return r;
}

void SimDevice::Finish(RequestRecord& record, std::string result) {
  record.result = std::move(result);
  log_.Add(std::move(record));
}

SimDevice::Gate SimDevice::Enter(uint32_t kind, RequestRecord& record, uint32_t timeoutSeconds,
                                 std::optional<uint64_t>* shortLimit) {
  SimDrive::Admission a = drive_->Admit(kind, generation_);
  if (a.verdict == SimDrive::Verdict::kGone) {
    Finish(record, "gone");
    return Gate::kStop;
  }
  const uint32_t waitMs = a.stallMs + (a.slowUs + 999) / 1000;
  if (waitMs > 0) {
    if (timeoutSeconds > 0 && waitMs >= timeoutSeconds * 1000ull) {
      host_.SleepMs(timeoutSeconds * 1000);
      Finish(record, "timeout");
      return Gate::kTimeout;
    }
    host_.SleepMs(waitMs);
  }
  if (a.verdict == SimDrive::Verdict::kFail) {
    Finish(record, "failed");
    return Gate::kStop;
  }
  if (shortLimit != nullptr) *shortLimit = a.shortLimit;
  return Gate::kGo;
}

bool SimDevice::SectorRequestValid(uint64_t offset, uint64_t length) const {
  const uint32_t ss = drive_->description().sectorSize;
  if (target_ == HandleTarget::kScsiPort) return false;
  if (offset % ss != 0 || length % ss != 0) return false;
  return offset <= length_ && length <= length_ - offset;
}

std::optional<uint64_t> SimDevice::Read(uint64_t offset, std::span<uint8_t> buffer) {
  RequestRecord rec = Record("Read", offset, buffer.size());
  std::optional<uint64_t> cap;
  if (Enter(request::kRead, rec, 0, &cap) != Gate::kGo) return std::nullopt;
  if (!SectorRequestValid(offset, buffer.size())) {
    Finish(rec, "bad request");
    return std::nullopt;
  }
  const uint64_t n = cap ? ShortLength(buffer.size(), *cap, drive_->description().sectorSize) : buffer.size();
  MediaStatus s;
  {
    auto lock = drive_->Lock();
    s = drive_->ReadMedia(base_ + offset, buffer.first(n));
  }
  drive_->RequestDone();
  if (s != MediaStatus::kOk) {
    Finish(rec, s == MediaStatus::kMediaError ? "media error" : "failed");
    return std::nullopt;
  }
  Finish(rec, n == buffer.size() ? "ok" : "short " + std::to_string(n));
  return n;
}

std::optional<uint64_t> SimDevice::Write(uint64_t offset, std::span<const uint8_t> data, bool fua) {
  RequestRecord rec = Record(fua ? "WriteFua" : "Write", offset, data.size());
  std::optional<uint64_t> cap;
  if (Enter(request::kWrite, rec, 0, &cap) != Gate::kGo) return std::nullopt;
  if (access_ != platform::OpenAccess::kReadWrite || !SectorRequestValid(offset, data.size())) {
    Finish(rec, "bad request");
    return std::nullopt;
  }
  const uint64_t n = cap ? ShortLength(data.size(), *cap, drive_->description().sectorSize) : data.size();
  MediaStatus s;
  {
    auto lock = drive_->Lock();
    s = drive_->WriteMedia(base_ + offset, data.first(n), fua);
  }
  drive_->RequestDone();
  if (s != MediaStatus::kOk) {
    Finish(rec, "failed");
    return std::nullopt;
  }
  Finish(rec, n == data.size() ? "ok" : "short " + std::to_string(n));
  return n;
}

bool SimDevice::Flush() {
  RequestRecord rec = Record("Flush", 0, 0);
  if (Enter(request::kFlush, rec, 0, nullptr) != Gate::kGo) return false;
  if (target_ == HandleTarget::kScsiPort) {
    Finish(rec, "not supported");
    return false;
  }
  bool ok;
  {
    auto lock = drive_->Lock();
    ok = drive_->FlushMedia();
  }
  drive_->RequestDone();
  Finish(rec, ok ? "ok" : "failed");
  return ok;
}

bool SimDevice::Trim(uint64_t offset, uint64_t length) {
  RequestRecord rec = Record("Trim", offset, length);
  if (Enter(request::kTrim, rec, 0, nullptr) != Gate::kGo) return false;
  if (!drive_->description().trimSupported) {
    Finish(rec, "not supported");
    return false;
  }
  if (access_ != platform::OpenAccess::kReadWrite || !SectorRequestValid(offset, length)) {
    Finish(rec, "bad request");
    return false;
  }
  MediaStatus s;
  {
    auto lock = drive_->Lock();
    s = drive_->TrimMedia(base_ + offset, length);
  }
  drive_->RequestDone();
  Finish(rec, s == MediaStatus::kOk ? "ok" : "failed");
  return s == MediaStatus::kOk;
}

std::optional<uint64_t> SimDevice::LengthBytes() {
  if (!Alive() || target_ == HandleTarget::kScsiPort) return std::nullopt;
  return length_;
}

std::optional<uint32_t> SimDevice::SectorSize() {
  if (!Alive() || target_ == HandleTarget::kScsiPort) return std::nullopt;
  return drive_->description().sectorSize;
}

std::optional<bool> SimDevice::WriteCacheEnabled() {
  if (!Alive() || target_ == HandleTarget::kScsiPort) return std::nullopt;
  auto lock = drive_->Lock();
  return drive_->writeCacheOn();
}

platform::TransferLimit SimDevice::SystemTransferLimit() {
  // The inbox driver names its limits in its answer to the firmware information query only.
  if (drive_->description().attachment == Attachment::kNvmeInbox) return {};
  const NvmeFirmwareDescription& fw = drive_->description().nvmeFirmware;
  return {fw.systemMaxTransfer, fw.systemAlignment};
}

std::optional<bool> SimDevice::TrimSupported() {
  if (!Alive() || target_ == HandleTarget::kScsiPort) return std::nullopt;
  return drive_->description().trimSupported;
}

PassStatus SimDevice::Scsi(std::span<const uint8_t> cdb, DataDirection direction, std::span<uint8_t> data,
                           uint32_t timeoutSeconds, platform::ScsiResult& result) {
  RequestRecord rec = Record("Scsi", 0, data.size());
  rec.command.assign(cdb.begin(), cdb.end());
  Gate gate = Enter(request::kPassThrough, rec, timeoutSeconds, nullptr);
  if (gate != Gate::kGo) return gate == Gate::kTimeout ? PassStatus::kTimeout : PassStatus::kFailed;
  if (target_ == HandleTarget::kScsiPort || drive_->description().attachment == Attachment::kSoftwareRaid) {
    Finish(rec, "not supported");
    return PassStatus::kNotSupported;
  }
  if (cdb.size() < 6 || cdb.size() > 16) {
    Finish(rec, "bad request");
    return PassStatus::kFailed;
  }
  bool failed = false;
  {
    auto lock = drive_->Lock();
    ScsiRequest request{*drive_, cdb, direction, data, result};
    ExecuteScsi(drive_->commands().scsi, request);
    failed = request.failed;
  }
  drive_->RequestDone();
  if (failed) {
    Finish(rec, "failed");
    return PassStatus::kFailed;
  }
  if (result.status == 0) {
    Finish(rec, "ok");
  } else {
    auto codes = SenseCodes(result);
    Finish(rec, base::Format("check condition %X/%02X/%02X", codes[0], codes[1], codes[2]));
  }
  return PassStatus::kOk;
}

PassStatus SimDevice::Ata(platform::AtaRegisters& regs, DataDirection direction, std::span<uint8_t> data,
                          uint32_t timeoutSeconds) {
  RequestRecord rec = Record("Ata", 0, data.size());
  rec.command = {regs.command,  regs.features,  regs.count,     regs.lbaLow,
                 regs.lbaMid,   regs.lbaHigh,   regs.device,    regs.featuresExp,
                 regs.countExp, regs.lbaLowExp, regs.lbaMidExp, regs.lbaHighExp};
  Gate gate = Enter(request::kPassThrough, rec, timeoutSeconds, nullptr);
  if (gate != Gate::kGo) return gate == Gate::kTimeout ? PassStatus::kTimeout : PassStatus::kFailed;
  if (target_ == HandleTarget::kScsiPort || drive_->description().attachment != Attachment::kSataAhci) {
    Finish(rec, "not supported");
    return PassStatus::kNotSupported;
  }
  {
    auto lock = drive_->Lock();
    AtaRequest request{*drive_, regs, direction, data};
    ExecuteAta(drive_->commands().ata, request);
  }
  drive_->RequestDone();
  Finish(rec, (regs.command & 0x01) ? base::Format("ata error 0x%02X", regs.features) : "ok");
  return PassStatus::kOk;
}

PassStatus SimDevice::Nvme(platform::NvmeRoute route, platform::NvmeQueue queue,
                           std::span<const uint8_t, 64> entry, DataDirection direction,
                           std::span<uint8_t> data, uint32_t timeoutSeconds,
                           platform::NvmeCompletion& completion) {
  RequestRecord rec = Record(queue == platform::NvmeQueue::kAdmin ? "NvmeAdmin" : "NvmeIo", 0, data.size());
  rec.command.assign(entry.begin(), entry.end());
  Gate gate = Enter(request::kPassThrough, rec, timeoutSeconds, nullptr);
  if (gate != Gate::kGo) return gate == Gate::kTimeout ? PassStatus::kTimeout : PassStatus::kFailed;
  const bool onPort = target_ == HandleTarget::kScsiPort;
  const bool portRoute = route != platform::NvmeRoute::kInbox;
  if (RouteOf(drive_->description().attachment) != route || onPort != portRoute) {
    Finish(rec, "not supported");
    return PassStatus::kNotSupported;
  }
  {
    auto lock = drive_->Lock();
    ExecuteNvmeEntry(*drive_, queue, entry, direction, data, completion);
  }
  drive_->RequestDone();
  Finish(rec, completion.status == 0 ? "ok" : base::Format("status 0x%04X", completion.status));
  return PassStatus::kOk;
}

PassStatus SimDevice::Control(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                              uint32_t& returned, uint32_t& systemError) {
  returned = 0;
  systemError = 0;
  constexpr uint32_t kScsiPassThroughDirect = 0x0004D014;
  if (code == kScsiPassThroughDirect) return PassThroughDirect(input, output, returned, systemError);
  RequestRecord rec = Record("Control", 0, input.size());
  rec.control = code;
  Gate gate = Enter(request::kPassThrough, rec, 0, nullptr);
  if (gate != Gate::kGo) {
    systemError = win_error::kDeviceNotConnected;
    return gate == Gate::kTimeout ? PassStatus::kTimeout : PassStatus::kFailed;
  }
  PassStatus status;
  {
    auto lock = drive_->Lock();
    ControlCall call{*drive_, target_ == HandleTarget::kScsiPort, code, input, output, returned, systemError, rec};
    status = AnswerControl(call);
  }
  drive_->RequestDone();
  log_.Add(std::move(rec));
  return status;
}

// SCSI_PASS_THROUGH_DIRECT (x64): the CDB at 36, DataIn at 8, the length at 12, the timeout at 16,
// the buffer address at 24, the sense area where SenseInfoOffset (32) points; the answer writes
// ScsiStatus (2), SenseInfoLength (7) and the bytes moved (12).
PassStatus SimDevice::PassThroughDirect(std::span<const uint8_t> input, std::span<uint8_t> output,
                                        uint32_t& returned, uint32_t& systemError) {
  if (input.size() < 56 || output.size() < input.size() || base::GetLe16(input.data()) != 56) {
    systemError = win_error::kInvalidParameter;
    return PassStatus::kFailed;
  }
  const uint8_t cdbLength = input[6], senseRoom = input[7], dataIn = input[8];
  const uint32_t length = base::GetLe32(&input[12]), timeout = base::GetLe32(&input[16]);
  const uint64_t address = base::GetLe64(&input[24]);
  const uint32_t senseOffset = base::GetLe32(&input[32]);
  if (cdbLength == 0 || cdbLength > 16 || dataIn > 2 || (length > 0 && address == 0) ||
      size_t{senseOffset} + senseRoom > output.size()) {
    systemError = win_error::kInvalidParameter;
    return PassStatus::kFailed;
  }
  const std::vector<uint8_t> cdb(input.begin() + 36, input.begin() + 36 + cdbLength);
  const DataDirection direction =
      length == 0 || dataIn == 2 ? DataDirection::kNone : dataIn == 1 ? DataDirection::kIn : DataDirection::kOut;
  std::span<uint8_t> data(reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(address)), length);
  platform::ScsiResult result;
  const PassStatus s = Scsi(cdb, direction, data, timeout, result);
  if (s != PassStatus::kOk) {
    systemError = s == PassStatus::kNotSupported ? win_error::kInvalidFunction : win_error::kIoDevice;
    return s == PassStatus::kTimeout ? s : PassStatus::kFailed;
  }
  if (output.data() != input.data()) std::copy(input.begin(), input.end(), output.begin());
  output[2] = result.status;
  const uint8_t sense = static_cast<uint8_t>(std::min<uint32_t>({result.senseLength, senseRoom, 32}));
  std::copy_n(result.sense.begin(), sense, output.begin() + senseOffset);
  output[7] = sense;
  base::PutLe32(&output[12], result.transferred);
  returned = static_cast<uint32_t>(input.size());
  return PassStatus::kOk;
}

}  // namespace kestrune::sim
