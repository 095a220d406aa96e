// An open disk, volume or SCSI port on Windows: sector I/O with ReadFile/WriteFile on a synchronous
// handle, flush, trim and the cache and trim queries through storage IOCTLs, and the SCSI, ATA and
// NVMe pass-through requests built by the portable layouts (platform/win_*_layouts.h).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/device.h"
#include "platform/win32/win32_io.h"

namespace kestrune::platform::win32 {

class Win32Device final : public Device {
 public:
  Win32Device(std::string path, UniqueHandle handle, OpenAccess access);

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
  PassStatus Nvme(NvmeRoute route, NvmeQueue queue, std::span<const uint8_t, 64> entry,
                  DataDirection direction, std::span<uint8_t> data, uint32_t timeoutSeconds,
                  NvmeCompletion& completion) override;
  // Carries a request that portable code built (the NVMe routes' storage and miniport requests).
  PassStatus Control(uint32_t code, std::span<const uint8_t> input, std::span<uint8_t> output,
                     uint32_t& returned, uint32_t& systemError) override;

 private:
  // The handle writes with forced unit access go through: a second handle with write-through,
  // opened on first use. Null when it does not open.
  HANDLE WriteThroughHandle();

  // The SCSI port and path id that miniport requests go to: this handle when the device is a port
  // ("\\.\scsiN:", path id 0); for a disk, the port of its SCSI address, opened on first use.
  bool MiniportTarget(HANDLE& port, uint8_t& pathId);

  PassStatus NvmeInbox(NvmeQueue queue, std::span<const uint8_t, 64> entry, DataDirection direction,
                       std::span<uint8_t> data, uint32_t timeoutSeconds, NvmeCompletion& completion);
  PassStatus NvmeRst(NvmeQueue queue, std::span<const uint8_t, 64> entry, DataDirection direction,
                     std::span<uint8_t> data, NvmeCompletion& completion);
  PassStatus NvmeCommunity(NvmeQueue queue, std::span<const uint8_t, 64> entry, DataDirection direction,
                           std::span<uint8_t> data, NvmeCompletion& completion);
  // Security Send/Receive as SCSI SECURITY PROTOCOL OUT/IN, when the protocol command was refused.
  PassStatus SecurityThroughScsi(std::span<const uint8_t, 64> entry, DataDirection direction,
                                 std::span<uint8_t> data, uint32_t timeoutSeconds,
                                 NvmeCompletion& completion);
  PassStatus SendSptd(std::span<const uint8_t> cdb, DataDirection direction, std::span<uint8_t> data,
                      uint32_t timeoutSeconds, uint8_t targetId, ScsiResult& result);

  std::string path_;
  UniqueHandle handle_;
  OpenAccess access_;
  UniqueHandle writeThrough_;
  bool writeThroughTried_ = false;
  UniqueHandle port_;
  uint8_t pathId_ = 0;
  bool portResolved_ = false;
};

}  // namespace kestrune::platform::win32
