// One simulated drive: its description, its contents (BackingStore), its command tables, its
// presence on the bus and the failures injected into it. Every handle (SimDevice) opened on the
// drive shares this object.
//
// Locking: one mutex guards everything. The presence, fault and power methods take it themselves.
// The media methods and the runtime state are for command handlers, which run with the lock held
// (the caller of a command table takes Lock() first).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/host.h"
#include "sim/ata_state.h"
#include "sim/backing_store.h"
#include "sim/command_sets.h"
#include "sim/faults.h"
#include "sim/identify_data.h"
#include "sim/lab_description.h"
#include "sim/nvme_controller.h"
#include "sim/queue_pacer.h"

namespace kestrune::sim {

enum class MediaStatus : uint8_t { kOk, kOutOfRange, kMediaError, kIoError };

// What a USB-to-NVMe bridge holds between the phases of a three-phase command: the submission
// entry of the command phase, and the completion entry the data phase produced.
struct BridgeState {
  bool commandPending = false;
  bool ioQueue = false;
  uint8_t directionCode = 0;               // as the command phase gave it (bridge-specific)
  std::array<uint8_t, 64> entry{};
  bool completed = false;
  std::array<uint8_t, 16> completion{};    // standard layout: DW0 at 0, status field at 14-15
  bool powerOff = false;                   // the bridge has switched the drive's power off
  uint8_t powerRequest = 0;                // JMicron: the power request of the pending command block
};

class SimDrive {
 public:
  SimDrive(DriveDescription description, std::unique_ptr<BackingStore> store, platform::Host& host);

  const DriveDescription& description() const { return desc_; }
  uint64_t sectorCount() const { return desc_.capacityBytes / desc_.sectorSize; }
  const CommandSets& commands() const { return commands_; }

  // ---- Presence (thread-safe) ----
  // Whether the drive is on the bus now; an unplugged drive whose return time has come is back.
  bool Present();
  // True while the drive is present and has not gone away since generation was taken.
  bool Alive(uint64_t generation);
  // Changes every time the drive goes away; handles opened before that fail from then on.
  uint64_t generation();
  // Pulls the drive (its unflushed writes are lost); it comes back after returnAfterSeconds of host
  // time, or on Replug when no time is given.
  void Unplug(std::optional<uint32_t> returnAfterSeconds);
  void Replug();
  // Node removal and disabling by the system (orderly: the cache is flushed first).
  void SetRemoved(bool removed);
  void SetDisabled(bool disabled);
  // A power cut: unflushed writes are lost; the drive stays on the bus and its handles keep working.
  void PowerCut();
  // The machine shuts down in order (a restart by the operating system): the cache is flushed.
  void ShutDown();

  // ---- Failure injection (thread-safe) ----
  FaultPlan faults();
  void set_faults(const FaultPlan& plan);
  void AddMediaError(uint64_t lba);
  void ClearMediaErrors();

  // ---- Admission of requests, for SimDevice (thread-safe) ----
  enum class Verdict : uint8_t { kGo, kGone, kFail };
  struct Admission {
    Verdict verdict = Verdict::kGo;
    uint32_t stallMs = 0;                // wait this long first
    uint32_t slowUs = 0;                 // and this much longer (a slow request)
    std::optional<uint64_t> shortLimit;  // move at most this much (0: half the request)
    uint64_t epoch = 0;                  // the drive's power cuts so far (InFlightAtCutLocked)
    uint64_t draw = 0;                   // a draw of the drive's generator for the request
  };
  // Counts down open failures; false when the open must fail (absent, or an injected failure).
  bool AdmitOpen();
  // Decides the fate of one request of kind (request::k...) on a handle of generation.
  Admission Admit(uint32_t kind, uint64_t generation);
  // Called after admitted requests (count of them); the drive goes away once it has served
  // UnplugAfterRequests.
  void RequestDone(uint32_t count = 1);
  void RequestDoneLocked(uint32_t count);
  bool AliveLocked(uint64_t generation) { return PresentLocked() && generation == generation_; }
  // The IOPS ceiling shared by every queue on the drive (its description's QueueModel).
  QueuePacer& pacer() { return pacer_; }

  // ---- For command handlers: call with Lock() held ----
  std::unique_lock<std::mutex> Lock() { return std::unique_lock(mutex_); }
  MediaStatus ReadMedia(uint64_t offset, std::span<uint8_t> out);
  MediaStatus WriteMedia(uint64_t offset, std::span<const uint8_t> data, bool fua);
  bool FlushMedia();
  MediaStatus TrimMedia(uint64_t offset, uint64_t length);
  // The first unreadable sector of [offset, offset + length), if any.
  std::optional<uint64_t> FirstMediaError(uint64_t offset, uint64_t length) const;
  // The unreadable sector the last failed read stopped at.
  std::optional<uint64_t> lastMediaError() const { return lastMediaError_; }
  // ---- Injected data faults (sim_drive_faults.cpp); Lock() held ----
  // The next number of the drive's one fault generator (FaultPlan::seed).
  uint64_t DrawLocked();
  // A timed power cut (FaultPlan::powerCutAfterMs) whose time has come happens now.
  void PowerCutDueLocked();
  // Whether a request admitted with admission was in flight when the power went since.
  bool InFlightAtCutLocked(const Admission& admission) const { return admission.epoch != powerEpoch_; }
  // What is left of a write in flight at a power cut: its sectors before a random one, on the media.
  void TearLocked(uint64_t offset, std::span<const uint8_t> data);
  // Whether an LBA of lbas lies in [offset, offset + length); flips the middle byte of each such
  // sector of data (data starts at offset) and forgets those LBAs.
  bool FaultsTouch(const std::set<uint64_t>& lbas, uint64_t offset, uint64_t length) const;
  void FlipBits(std::set<uint64_t>& lbas, uint64_t offset, std::span<uint8_t> data);
  // Whether a misdirected sector lies in [offset, offset + length).
  bool MisdirectedIn(uint64_t offset, uint64_t length) const;
  // Stores a write that a stored-data fault touches, as FaultPlan says.
  bool WriteWithFaults(uint64_t offset, std::span<const uint8_t> data, bool durable);
  IdentifyState& state() { return state_; }
  AtaDriveState& ata() { return ata_; }
  // The fault plan as it stands (handlers read it with the lock held).
  const FaultPlan& faults_locked() const { return faults_; }
  // Milliseconds of host time (the injectable clock).
  uint64_t NowMs() const { return host_.MonotonicMs(); }
  // An injected failure of this ATA command (FaultPlan::ataFailures): the ERROR value to fail
  // with, counted down; nullopt when none applies.
  std::optional<uint8_t> TakeAtaFailure(uint8_t command);
  NvmeControllerState& controller() { return controller_; }
  // The drive falls off the bus in the middle of a command (it returns after ReturnAfter, if set).
  void PullLocked() { UnplugLocked(faults_.returnAfterSeconds); }
  BridgeState& bridge() { return bridge_; }
  // The USB bridge switches the drive's power (its power requests): off loses the unflushed writes
  // and leaves the drive without power (the bridge still answers, carried commands are refused),
  // on gives the power back, a relink restarts the drive (unflushed writes lost, handles fail).
  enum class BridgePowerAction : uint8_t { kOff, kOn, kReLink };
  void BridgePowerLocked(BridgePowerAction action);
  // Erases the user data: every byte reads as zero afterwards (format, sanitize, secure erase).
  bool EraseMedia();
  // Hours of host time since the lab started the drive.
  uint64_t PowerOnHours() const;
  // An injected failure of this NVMe command (FaultPlan::nvmeFailures): the status to complete
  // with, counted down; nullopt when none applies.
  std::optional<uint16_t> TakeNvmeFailure(bool ioQueue, uint8_t opcode);
  // An injected failure of this bridge phase (FaultPlan::bridgeCheckPhases / bridgeFailPhases).
  enum class PhaseFault : uint8_t { kNone, kCheckCondition, kRequestFails };
  PhaseFault TakeBridgeFailure(uint32_t phase);
  bool writeCacheOn() const { return desc_.writeCache && state_.writeCacheEnabled; }

  // ---- The lab's own system: partition tables, boot sectors and drive letters (Lock() held) ----
  // A drive letter the system gave the partition that starts at offset, with what the volume says
  // of itself. Whether the volume is there is decided by the partition table (lab_volumes.h).
  struct LetterAssignment {
    char letter = 'D';
    uint64_t offset = 0;
    uint64_t freeBytes = 0;
    std::string label;
  };
  std::vector<LetterAssignment>& letters() { return letters_; }
  // The system's reads and writes of those sectors: the stored data as it stands, durable, without
  // the drive's counters or injected faults.
  bool ReadStored(uint64_t offset, std::span<uint8_t> out);
  bool WriteStored(uint64_t offset, std::span<const uint8_t> data);
  uint64_t volatileBytes() const { return store_->volatileBytes(); }

 private:
  bool PresentLocked();
  void GoneLocked();
  void UnplugLocked(std::optional<uint32_t> returnAfterSeconds);
  // The power went away without warning: unflushed writes are lost, the controller restarts.
  void PowerLossLocked();
  // The fault plan was (re)set: its clocks start, a seeded plan restarts the generator.
  void PlanSetLocked();
  // Whether the drive has power (an injected cut ends when its return time comes).
  bool PoweredLocked();
  // The injected power cut: a random part of the cache destaged, the rest lost, the power off.
  void InjectedPowerCutLocked();
  // Whether a read of [offset, offset + length) hits an unreadable sector (counting transient ones
  // down); remembers that sector.
  bool MediaErrorOnReadLocked(uint64_t offset, uint64_t length);

  const DriveDescription desc_;
  std::unique_ptr<BackingStore> store_;
  platform::Host& host_;
  CommandSets commands_;
  std::mutex mutex_;
  IdentifyState state_;
  AtaDriveState ata_;  // survives power cycles in part (AtaDriveState::PowerCycle)
  NvmeControllerState controller_;
  BridgeState bridge_;
  uint64_t startMs_ = 0;
  FaultPlan faults_;
  uint64_t generation_ = 1;
  uint64_t served_ = 0;
  uint64_t admitted_ = 0;  // requests admitted since the fault plan was set (slow requests)
  QueuePacer pacer_;
  bool unplugged_ = false;
  std::optional<uint64_t> returnAtMs_;
  bool removed_ = false;
  bool disabled_ = false;
  std::vector<LetterAssignment> letters_;
  uint64_t random_ = 1;              // the fault generator's state
  uint64_t planSetMs_ = 0;           // when the fault plan was set (powerCutAfterMs)
  uint64_t powerEpoch_ = 0;          // injected power cuts so far
  bool poweredOff_ = false;          // after an injected cut, until the power returns
  std::optional<uint64_t> powerBackAtMs_;
  std::optional<uint64_t> lastMediaError_;
};

}  // namespace kestrune::sim
