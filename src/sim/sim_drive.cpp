#include "sim/sim_drive.h"

namespace kestrune::sim {

SimDrive::SimDrive(DriveDescription description, std::unique_ptr<BackingStore> store, platform::Host& host)
    : desc_(std::move(description)),
      store_(std::move(store)),
      host_(host),
      commands_(CommandSetsFor(desc_.attachment)),
      controller_(desc_),
      startMs_(host.MonotonicMs()),
      faults_(desc_.faults),
      pacer_(desc_.queue.iops) {
  PlanSetLocked();
  if (faults_.unplugged) {
    unplugged_ = true;
    if (faults_.returnAfterSeconds) returnAtMs_ = host_.MonotonicMs() + *faults_.returnAfterSeconds * 1000ull;
  }
}

// ---- Presence ----

bool SimDrive::PresentLocked() {
  if (unplugged_ && returnAtMs_ && host_.MonotonicMs() >= *returnAtMs_) {
    unplugged_ = false;
    returnAtMs_.reset();
  }
  return !unplugged_ && !removed_ && !disabled_;
}

void SimDrive::GoneLocked() { ++generation_; }

bool SimDrive::Present() {
  std::lock_guard lock(mutex_);
  return PresentLocked();
}

bool SimDrive::Alive(uint64_t generation) {
  std::lock_guard lock(mutex_);
  return PresentLocked() && generation == generation_;
}

uint64_t SimDrive::generation() {
  std::lock_guard lock(mutex_);
  return generation_;
}

void SimDrive::PowerLossLocked() {
  store_->DropVolatile();
  bridge_ = BridgeState{};
  controller_.ControllerReset(faults_.firmwareKeepsOld);
  controller_.PowerCycle(true);
  state_ = IdentifyState{};
  ata_.PowerCycle();
  const auto wce = controller_.features.find(0x06);
  if (wce != controller_.features.end()) state_.writeCacheEnabled = (wce->second.current & 1) != 0;
}

void SimDrive::BridgePowerLocked(BridgePowerAction action) {
  switch (action) {
    case BridgePowerAction::kOff:
      PowerLossLocked();
      bridge_.powerOff = true;
      return;
    case BridgePowerAction::kOn:
      bridge_.powerOff = false;
      return;
    case BridgePowerAction::kReLink:
      PowerLossLocked();
      GoneLocked();
      return;
  }
}

void SimDrive::UnplugLocked(std::optional<uint32_t> returnAfterSeconds) {
  PowerLossLocked();  // the drive lost power with the cable
  if (!unplugged_) GoneLocked();
  unplugged_ = true;
  returnAtMs_.reset();
  if (returnAfterSeconds) returnAtMs_ = host_.MonotonicMs() + *returnAfterSeconds * 1000ull;
}

void SimDrive::Unplug(std::optional<uint32_t> returnAfterSeconds) {
  std::lock_guard lock(mutex_);
  UnplugLocked(returnAfterSeconds);
}

void SimDrive::Replug() {
  std::lock_guard lock(mutex_);
  unplugged_ = false;
  returnAtMs_.reset();
  poweredOff_ = false;  // and the power is back
  powerBackAtMs_.reset();
}

void SimDrive::SetRemoved(bool removed) {
  std::lock_guard lock(mutex_);
  if (removed && !removed_) {
    store_->Flush();
    GoneLocked();
  }
  removed_ = removed;
}

void SimDrive::SetDisabled(bool disabled) {
  std::lock_guard lock(mutex_);
  if (disabled && !disabled_) {
    store_->Flush();
    GoneLocked();
    controller_.ControllerReset(faults_.firmwareKeepsOld);  // a relink resets the controller
  }
  disabled_ = disabled;
}

void SimDrive::PowerCut() {
  std::lock_guard lock(mutex_);
  PowerLossLocked();
}

void SimDrive::ShutDown() {
  std::lock_guard lock(mutex_);
  store_->Flush();
}

// ---- Failure injection ----

FaultPlan SimDrive::faults() {
  std::lock_guard lock(mutex_);
  return faults_;
}

void SimDrive::set_faults(const FaultPlan& plan) {
  std::lock_guard lock(mutex_);
  faults_ = plan;
  served_ = 0;
  admitted_ = 0;
  PlanSetLocked();
}

void SimDrive::AddMediaError(uint64_t lba) {
  std::lock_guard lock(mutex_);
  faults_.mediaErrorLbas.insert(lba);
}

void SimDrive::ClearMediaErrors() {
  std::lock_guard lock(mutex_);
  faults_.mediaErrorLbas.clear();
}

// ---- Admission ----

bool SimDrive::AdmitOpen() {
  std::lock_guard lock(mutex_);
  if (!PresentLocked()) return false;
  if (!faults_.failOpen) return true;
  if (faults_.failOpenCount > 0 && --faults_.failOpenCount == 0) faults_.failOpen = false;
  return false;
}

SimDrive::Admission SimDrive::Admit(uint32_t kind, uint64_t generation) {
  std::lock_guard lock(mutex_);
  Admission a;
  a.draw = DrawLocked();
  if (!PresentLocked() || generation != generation_) {
    a.verdict = Verdict::kGone;
    return a;
  }
  PowerCutDueLocked();
  a.epoch = powerEpoch_;
  if (!PoweredLocked()) {
    a.verdict = Verdict::kFail;
    return a;
  }
  if (faults_.stallMs > 0 && (faults_.stallRequests & kind) != 0) a.stallMs = faults_.stallMs;
  if (faults_.slowEvery > 0 && ++admitted_ % faults_.slowEvery == 0) a.slowUs = faults_.slowUs;
  if ((faults_.failRequests & kind) != 0) {
    a.verdict = Verdict::kFail;
    if (faults_.failRequestsCount > 0 && --faults_.failRequestsCount == 0) faults_.failRequests = 0;
    return a;
  }
  if ((faults_.shortTransfer & kind) != 0) a.shortLimit = faults_.shortTransferBytes;
  return a;
}

std::optional<uint16_t> SimDrive::TakeNvmeFailure(bool ioQueue, uint8_t opcode) {
  auto it = faults_.nvmeFailures.find(NvmeFaultKey(ioQueue, opcode));
  if (it == faults_.nvmeFailures.end()) return std::nullopt;
  const uint16_t status = it->second;
  if (faults_.nvmeFailuresCount > 0 && --faults_.nvmeFailuresCount == 0) faults_.nvmeFailures.clear();
  return status;
}

std::optional<uint8_t> SimDrive::TakeAtaFailure(uint8_t command) {
  auto it = faults_.ataFailures.find(command);
  if (it == faults_.ataFailures.end()) return std::nullopt;
  const uint8_t error = it->second;
  if (faults_.ataFailuresCount > 0 && --faults_.ataFailuresCount == 0) faults_.ataFailures.clear();
  return error;
}

SimDrive::PhaseFault SimDrive::TakeBridgeFailure(uint32_t phase) {
  PhaseFault fault = PhaseFault::kNone;
  if ((faults_.bridgeFailPhases & phase) != 0) {
    fault = PhaseFault::kRequestFails;
  } else if ((faults_.bridgeCheckPhases & phase) != 0) {
    fault = PhaseFault::kCheckCondition;
  }
  if (fault != PhaseFault::kNone && faults_.bridgeFailuresCount > 0 && --faults_.bridgeFailuresCount == 0) {
    faults_.bridgeFailPhases = 0;
    faults_.bridgeCheckPhases = 0;
  }
  return fault;
}

void SimDrive::RequestDone(uint32_t count) {
  if (count == 0) return;
  std::lock_guard lock(mutex_);
  RequestDoneLocked(count);
}

void SimDrive::RequestDoneLocked(uint32_t count) {
  served_ += count;
  if (faults_.powerCutAfterRequests > 0 && served_ >= faults_.powerCutAfterRequests) {
    faults_.powerCutAfterRequests = 0;
    InjectedPowerCutLocked();
  }
  if (faults_.unplugAfterRequests > 0 && served_ >= faults_.unplugAfterRequests) {
    faults_.unplugAfterRequests = 0;
    UnplugLocked(faults_.returnAfterSeconds);
  }
}

// ---- Media ----

std::optional<uint64_t> SimDrive::FirstMediaError(uint64_t offset, uint64_t length) const {
  if (length == 0) return std::nullopt;
  const uint64_t first = offset / desc_.sectorSize;
  const uint64_t last = (offset + length - 1) / desc_.sectorSize;
  std::optional<uint64_t> found;
  auto it = faults_.mediaErrorLbas.lower_bound(first);
  if (it != faults_.mediaErrorLbas.end() && *it <= last) found = *it;
  auto t = faults_.transientMediaErrors.lower_bound(first);
  if (t != faults_.transientMediaErrors.end() && t->first <= last && (!found || t->first < *found))
    found = t->first;
  return found;
}

bool SimDrive::FaultsTouch(const std::set<uint64_t>& lbas, uint64_t offset, uint64_t length) const {
  const uint32_t ss = desc_.sectorSize;
  auto it = lbas.lower_bound(offset / ss);
  return it != lbas.end() && *it * ss < offset + length;
}

void SimDrive::FlipBits(std::set<uint64_t>& lbas, uint64_t offset, std::span<uint8_t> data) {
  const uint32_t ss = desc_.sectorSize;
  for (auto it = lbas.lower_bound(offset / ss); it != lbas.end() && *it * ss < offset + data.size();) {
    const uint64_t at = *it * ss + ss / 2;
    if (at >= offset) data[at - offset] ^= 1;
    it = lbas.erase(it);
  }
}

MediaStatus SimDrive::ReadMedia(uint64_t offset, std::span<uint8_t> out) {
  if (offset > desc_.capacityBytes || out.size() > desc_.capacityBytes - offset)
    return MediaStatus::kOutOfRange;
  // A locked drive moves no user data.
  if (controller_.security.locked || ata_.security.locked()) return MediaStatus::kIoError;
  HealthCounters& h = controller_.health;
  if (MediaErrorOnReadLocked(offset, out.size())) {
    ++h.mediaErrors;
    return MediaStatus::kMediaError;
  }
  if (!store_->Read(offset, out)) return MediaStatus::kIoError;
  FlipBits(faults_.bitFlipReads, offset, out);
  ++h.readCommands;
  h.bytesRead += out.size();
  return MediaStatus::kOk;
}

MediaStatus SimDrive::WriteMedia(uint64_t offset, std::span<const uint8_t> data, bool fua) {
  if (offset > desc_.capacityBytes || data.size() > desc_.capacityBytes - offset)
    return MediaStatus::kOutOfRange;
  if (controller_.security.locked || ata_.security.locked()) return MediaStatus::kIoError;
  const bool durable = fua || !writeCacheOn();
  FaultPlan& f = faults_;
  const bool faulty = FaultsTouch(f.bitFlipWrites, offset, data.size()) ||
                      FaultsTouch(f.lostWrites, offset, data.size()) ||
                      FaultsTouch(f.tornWrites, offset, data.size()) || MisdirectedIn(offset, data.size());
  if (!faulty) {
    if (!store_->Write(offset, data, durable)) return MediaStatus::kIoError;
  } else if (!WriteWithFaults(offset, data, durable)) {
    return MediaStatus::kIoError;
  }
  ++controller_.health.writeCommands;
  controller_.health.bytesWritten += data.size();
  return MediaStatus::kOk;
}

bool SimDrive::MisdirectedIn(uint64_t offset, uint64_t length) const {
  const uint32_t ss = desc_.sectorSize;
  auto it = faults_.misdirectedWrites.lower_bound(offset / ss);
  return it != faults_.misdirectedWrites.end() && it->first * ss < offset + length;
}

bool SimDrive::WriteWithFaults(uint64_t offset, std::span<const uint8_t> data, bool durable) {
  const uint32_t ss = desc_.sectorSize;
  const uint64_t first = offset / ss, end = offset + data.size();
  std::vector<uint8_t> bytes(data.begin(), data.end());
  FlipBits(faults_.bitFlipWrites, offset, bytes);
  // A lost write stores nothing; a misdirected one lands shifted to where its LBA points; a torn
  // one stores only its sectors before the tear.
  if (auto lost = faults_.lostWrites.lower_bound(first); lost != faults_.lostWrites.end() && *lost * ss < end) {
    faults_.lostWrites.erase(lost);
    return true;
  }
  uint64_t target = offset;
  if (auto m = faults_.misdirectedWrites.lower_bound(first);
      m != faults_.misdirectedWrites.end() && m->first * ss < end) {
    target = offset + (m->second - m->first) * ss;
    faults_.misdirectedWrites.erase(m);
    if (target > desc_.capacityBytes || bytes.size() > desc_.capacityBytes - target) return true;
  }
  size_t length = bytes.size();
  if (auto torn = faults_.tornWrites.lower_bound(first); torn != faults_.tornWrites.end() && *torn * ss < end) {
    length = static_cast<size_t>(std::max(*torn * ss, offset) - offset);
    faults_.tornWrites.erase(torn);
  }
  return length == 0 || store_->Write(target, std::span<const uint8_t>(bytes).first(length), durable);
}

bool SimDrive::EraseMedia() {
  store_->DropVolatile();
  return store_->Deallocate(0, desc_.capacityBytes);
}

uint64_t SimDrive::PowerOnHours() const { return (host_.MonotonicMs() - startMs_) / 3600000; }

bool SimDrive::FlushMedia() { return faults_.ignoreFlush || store_->Flush(); }

MediaStatus SimDrive::TrimMedia(uint64_t offset, uint64_t length) {
  if (offset > desc_.capacityBytes || length > desc_.capacityBytes - offset) return MediaStatus::kOutOfRange;
  if (faults_.trimReads == FaultPlan::TrimRead::kOld) return MediaStatus::kOk;  // the data stays
  const bool ones = faults_.trimReads == FaultPlan::TrimRead::kOnes;
  return store_->Deallocate(offset, length, ones) ? MediaStatus::kOk : MediaStatus::kIoError;
}

bool SimDrive::ReadStored(uint64_t offset, std::span<uint8_t> out) {
  if (offset > desc_.capacityBytes || out.size() > desc_.capacityBytes - offset) return false;
  return store_->Read(offset, out);
}

bool SimDrive::WriteStored(uint64_t offset, std::span<const uint8_t> data) {
  if (offset > desc_.capacityBytes || data.size() > desc_.capacityBytes - offset) return false;
  return store_->Write(offset, data, true);
}

}  // namespace kestrune::sim
