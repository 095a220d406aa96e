// An open handle on a simulated drive: the whole disk, one of its volumes, or its SCSI port (the
// miniport NVMe routes). Every request passes the drive's failure injection, is logged in the lab's
// request log, and then runs on the drive's media or command tables.
//
// What a handle carries, as on the real system: sector I/O and the queries on disk and volume
// handles (volume offsets are relative to the partition); SCSI CDBs on disk and volume handles;
// ATA task files on disk and volume handles of SATA drives on AHCI; NVMe commands on the inbox
// route through disk and volume handles, on the miniport routes through the SCSI port handle, and
// only on the route of the drive's own attachment. Anything else is kNotSupported.
#pragma once

#include <memory>
#include <string>

#include "platform/device.h"
#include "platform/host.h"
#include "sim/request_log.h"
#include "sim/sim_drive.h"

namespace kestrune::sim {

enum class HandleTarget : uint8_t { kDisk, kVolume, kScsiPort };

class SimDevice : public platform::Device {
 public:
  struct Opening {
    std::shared_ptr<SimDrive> drive;
    HandleTarget target = HandleTarget::kDisk;
    uint64_t base = 0;    // volume handles: the partition's byte offset on the disk
    uint64_t length = 0;  // bytes the handle reaches
    std::string path;
    platform::OpenAccess access = platform::OpenAccess::kReadWrite;
  };
  SimDevice(Opening opening, RequestLog& log, platform::Host& host);

  std::optional<uint64_t> Read(uint64_t offset, std::span<uint8_t> buffer) override;
  std::optional<uint64_t> Write(uint64_t offset, std::span<const uint8_t> data, bool fua) override;
  bool Flush() override;
  bool Trim(uint64_t offset, uint64_t length) override;
  std::optional<uint64_t> LengthBytes() override;
  std::optional<uint32_t> SectorSize() override;
  std::optional<bool> WriteCacheEnabled() override;
  std::optional<bool> TrimSupported() override;
  // The lab's SystemMaxTransfer and SystemAlignment of an NVMe drive that is not on the inbox
  // driver (that one answers the firmware information query instead).
  platform::TransferLimit SystemTransferLimit() override;
  platform::PassStatus Scsi(std::span<const uint8_t> cdb, platform::DataDirection direction,
                            std::span<uint8_t> data, uint32_t timeoutSeconds,
                            platform::ScsiResult& result) override;
  platform::PassStatus Ata(platform::AtaRegisters& regs, platform::DataDirection direction,
                           std::span<uint8_t> data, uint32_t timeoutSeconds) override;
  platform::PassStatus Nvme(platform::NvmeRoute route, platform::NvmeQueue queue,
                            std::span<const uint8_t, 64> entry, platform::DataDirection direction,
                            std::span<uint8_t> data, uint32_t timeoutSeconds,
                            platform::NvmeCompletion& completion) override;
  // The storage-protocol and miniport requests of the NVMe routes (control_requests.h), and
  // IOCTL_SCSI_PASS_THROUGH_DIRECT, whose data buffer address is memory of this process.
  platform::PassStatus Control(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                               uint32_t& returned, uint32_t& systemError) override;

 private:
  platform::PassStatus PassThroughDirect(std::span<const uint8_t> input, std::span<uint8_t> output,
                                         uint32_t& returned, uint32_t& systemError);
  enum class Gate : uint8_t { kGo, kStop, kTimeout };
  // Admission, stall and injected failure of one request; logs and returns kStop/kTimeout when the
  // request ends here. shortLimit receives the short-transfer cap.
  Gate Enter(uint32_t kind, RequestRecord& record, uint32_t timeoutSeconds,
             std::optional<uint64_t>* shortLimit);
  void Finish(RequestRecord& record, std::string result);
  RequestRecord Record(const char* operation, uint64_t offset, uint64_t length) const;
  bool SectorRequestValid(uint64_t offset, uint64_t length) const;
  bool Alive() { return drive_->Alive(generation_); }

  std::shared_ptr<SimDrive> drive_;
  HandleTarget target_;
  uint64_t base_;
  uint64_t length_;
  std::string path_;
  platform::OpenAccess access_;
  uint64_t generation_;
  RequestLog& log_;
  platform::Host& host_;
};

}  // namespace kestrune::sim
