// An open disk on Linux: a block device (a whole disk or a partition) opened with O_DIRECT, or a
// character device that carries commands only (an NVMe controller "/dev/nvme0", an NVMe generic
// node, a SCSI generic node).
//
// Sector I/O goes straight to the device: pread/pwrite loops that report how much really moved,
// forced unit access as a per-write O_DSYNC (RWF_DSYNC, which the block layer sends as FUA), flush as
// fsync (a cache flush to the drive), trim as BLKDISCARD. Offsets and lengths must be whole logical
// sectors; a buffer that is not page-aligned goes through an aligned one. The queries come from the
// block-device ioctls (length, sector size) and the disk's queue attributes in sysfs (write cache,
// discard limit).
//
// Pass-through: SCSI CDBs through SG_IO, on nodes that take it (SCSI disks and generic nodes);
// ATA task files as ATA PASS-THROUGH(16) through SG_IO, the output registers coming back in sense
// data (a data command that succeeds returns none: its STATUS reads 50h, its ERROR 0); NVMe entries
// through the NVMe driver's ioctls, on NVMe nodes and the inbox route only: admin commands on the
// controller node, I/O commands on the namespace node. Requests the node cannot carry are
// kNotSupported.
//
// Every handle reads through a read-only descriptor. A handle opened for writing also shares this
// process's exclusive claim on the device (DiskClaim) and opens a writing descriptor at its first
// write or trim, so that identify, queries and reads never leave the "written" mark that makes udev
// re-probe the disk. When the system uses the disk the claim is refused and the handle stays
// read-only: every write and trim through it fails. Pass-through requests go through either way:
// they are the script's own commands, as on Windows, and the kernel allows them to the
// administrator only.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/device.h"
#include "platform/linux/disk_claims.h"
#include "platform/linux/sys_root.h"

namespace kestrune::platform::linux_dev {

class LinuxDevice final : public Device {
 public:
  enum class NodeKind : uint8_t { kBlock, kCommandNode };

  struct Opening {
    int fd = -1;                   // read-only descriptor, owned by the device from now on
    std::string localNode;         // the node's path, for the writing descriptor
    NodeKind kind = NodeKind::kBlock;
    bool direct = true;            // opened with O_DIRECT
    std::string diskSysPath;       // sysfs folder of the (whole) disk, for the queue attributes
    std::string controllerNode;    // local path of the NVMe controller node for admin commands; ""
    bool nvme = false;             // an NVMe namespace or controller node: the NVMe ioctls apply
    DiskClaim claim;               // held: writes may go
    SysRoot sys;                   // where diskSysPath is read
  };

  explicit LinuxDevice(Opening opening);
  ~LinuxDevice() override;

  std::optional<uint64_t> Read(uint64_t offset, std::span<uint8_t> buffer) override;
  std::optional<uint64_t> Write(uint64_t offset, std::span<const uint8_t> data, bool fua) override;
  bool Flush() override;
  bool Trim(uint64_t offset, uint64_t length) override;
  std::optional<uint64_t> LengthBytes() override;
  std::optional<uint32_t> SectorSize() override;
  std::optional<bool> WriteCacheEnabled() override;
  std::optional<bool> TrimSupported() override;
  TransferLimit SystemTransferLimit() override;
  PassStatus Scsi(std::span<const uint8_t> cdb, DataDirection direction, std::span<uint8_t> data,
                  uint32_t timeoutSeconds, ScsiResult& result) override;
  PassStatus Ata(AtaRegisters& regs, DataDirection direction, std::span<uint8_t> data,
                 uint32_t timeoutSeconds) override;
  PassStatus Nvme(NvmeRoute route, NvmeQueue queue, std::span<const uint8_t, 64> entry, DataDirection direction,
                  std::span<uint8_t> data, uint32_t timeoutSeconds, NvmeCompletion& completion) override;

 private:
  // Whether a sector request of length bytes at offset is whole sectors of this device.
  bool SectorAligned(uint64_t offset, uint64_t length);
  // One transfer loop; write selects pwrite. Returns the bytes moved, nullopt when nothing moved
  // because of an error.
  std::optional<uint64_t> Transfer(uint64_t offset, uint8_t* data, uint64_t length, bool write, bool fua);
  std::optional<uint64_t> Bounced(uint64_t offset, uint8_t* data, uint64_t length, bool write, bool fua);
  // The fd that carries admin commands: the controller node, opened on first use, else our own.
  int AdminFd();
  // The writing descriptor, opened on first use; -1 without a claim or when it does not open.
  int WriteFd();
  // Whether the node takes SG_IO (SCSI disks and generic nodes answer its version query).
  bool TakesSgIo();

  int fd_;
  std::string localNode_;
  NodeKind kind_;
  bool direct_;
  std::string diskSysPath_;
  std::string controllerNode_;
  bool nvme_;
  std::optional<bool> sgIo_;
  DiskClaim claim_;
  SysRoot sys_;
  bool adminOpened_ = false;
  int adminFd_ = -1;
  bool writeOpened_ = false;
  int writeFd_ = -1;
};

}  // namespace kestrune::platform::linux_dev
