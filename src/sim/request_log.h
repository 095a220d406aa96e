// The lab's record of every request that reached a simulated drive, in arrival order: opens,
// sector I/O, flushes, trims and pass-through commands with their bytes and outcome. Tests read
// it to see what the program sent; it keeps the newest kCapacity records. Thread-safe.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace kestrune::sim {

struct RequestRecord {
  // "Open", "Read", "Write", "WriteFua", "Flush", "Trim", "Scsi", "Ata", "NvmeAdmin", "NvmeIo",
  // "Control" (a device-control request of the NVMe routes that ran no NVMe command).
  std::string operation;
  std::string path;     // the path the handle was opened on
  uint64_t offset = 0;  // Read/Write/Trim: byte offset on that path
  uint64_t length = 0;  // bytes asked for (Trim: bytes; pass-through: the data buffer)
  // Scsi: the CDB. Ata: command, features, count, LBA low/mid/high, device, then the five 48-bit
  // "previous" registers. Nvme: the 64-byte submission entry. Empty for the others.
  std::vector<uint8_t> command;
  // "ok", "short N" (moved N bytes), "failed" (injected), "gone" (unplugged or stale handle),
  // "media error", "bad request", "not supported", "timeout", "status 0xSSSS" (NVMe, non-zero),
  // "check condition K/AA/QQ" (SCSI sense key, ASC, ASCQ), "ata error 0xEE" (ATA error register).
  // A device-control request is logged as the NVMe command it carried (NvmeAdmin, NvmeIo) with its
  // control code, or as "Control" with "bad request" or "not supported" when none ran; "ok, after
  // reset" is a firmware activation that the driver reports as waiting for a reset.
  std::string result;
  uint32_t control = 0;  // the device-control code that carried the request; 0 for the others
};

// One line: the operation, path, "@offset +length" for sector requests, the command bytes in hex
// (NVMe: opcode, NSID and CDW10), "->" and the result.
std::string FormatRecord(const RequestRecord& r);

class RequestLog {
 public:
  static constexpr size_t kCapacity = 100000;

  void Add(RequestRecord record);
  std::vector<RequestRecord> Records() const;
  // Every record as FormatRecord lines.
  std::vector<std::string> Lines() const;
  void Clear();
  // Records dropped because the log was full, since the last Clear.
  uint64_t dropped() const;
  void set_enabled(bool on);

 private:
  mutable std::mutex mutex_;
  std::deque<RequestRecord> records_;
  uint64_t dropped_ = 0;
  bool enabled_ = true;
};

}  // namespace kestrune::sim
