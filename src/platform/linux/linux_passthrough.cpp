// The pass-through requests of LinuxDevice: SCSI CDBs (and with them the SAT CDBs of ATA commands)
// through SG_IO, NVMe through the NVMe driver's admin and I/O ioctls.
#include <linux/nvme_ioctl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/linux/linux_device.h"

namespace kestrune::platform::linux_dev {
namespace {

constexpr uint8_t kHostTimeout = 0x03;    // DID_TIME_OUT
constexpr uint16_t kDriverTimeout = 0x06; // DRIVER_TIMEOUT
constexpr uint16_t kDriverSense = 0x08;   // DRIVER_SENSE
constexpr uint16_t kNvmeStatusField = 0x7FFF;  // SC, SCT, CRD, More and Do Not Retry, as the drive set them

uint32_t TimeoutMs(uint32_t seconds) {
  return seconds == 0 ? 0 : static_cast<uint32_t>(std::min<uint64_t>(uint64_t{seconds} * 1000, UINT_MAX));
}

PassStatus FailureOf(int error) {
  switch (error) {
    case ENOTTY:
      return PassStatus::kNotSupported;
    case ETIMEDOUT:
    case EINTR:
      return PassStatus::kTimeout;
    default:
      return PassStatus::kFailed;
  }
}

PassStatus SgIo(int fd, std::span<const uint8_t> cdb, DataDirection direction, std::span<uint8_t> data,
                uint32_t timeoutSeconds, ScsiResult& result) {
  result = ScsiResult{};
  if (cdb.size() < 6 || cdb.size() > 16 || data.size() > UINT_MAX) return PassStatus::kFailed;
  if (direction != DataDirection::kNone && data.empty()) direction = DataDirection::kNone;

  sg_io_hdr_t h;
  std::memset(&h, 0, sizeof h);
  h.interface_id = 'S';
  h.cmd_len = static_cast<unsigned char>(cdb.size());
  h.cmdp = const_cast<unsigned char*>(cdb.data());
  h.mx_sb_len = static_cast<unsigned char>(result.sense.size());
  h.sbp = result.sense.data();
  h.timeout = TimeoutMs(timeoutSeconds);
  switch (direction) {
    case DataDirection::kNone:
      h.dxfer_direction = SG_DXFER_NONE;
      break;
    case DataDirection::kIn:
      h.dxfer_direction = SG_DXFER_FROM_DEV;
      break;
    case DataDirection::kOut:
      h.dxfer_direction = SG_DXFER_TO_DEV;
      break;
  }
  if (direction != DataDirection::kNone) {
    h.dxfer_len = static_cast<unsigned int>(data.size());
    h.dxferp = data.data();
  }
  // Not repeated on failure: the command may have reached the device.
  if (::ioctl(fd, SG_IO, &h) < 0) return FailureOf(errno);
  if (h.host_status == kHostTimeout || (h.driver_status & 0x0F) == kDriverTimeout) return PassStatus::kTimeout;
  if (h.host_status != 0) return PassStatus::kFailed;  // the adapter lost the device or the request
  // The driver byte: DRIVER_SENSE only says that sense data came back; anything else is a failure
  // of the request on its way (the device's answer cannot be trusted).
  if ((h.driver_status & 0x0F) != 0 && (h.driver_status & 0x0F) != kDriverSense) return PassStatus::kFailed;

  result.status = h.status;
  result.senseLength = std::min<uint32_t>(h.sb_len_wr, static_cast<uint32_t>(result.sense.size()));
  if (direction != DataDirection::kNone) {
    const int resid = std::max(h.resid, 0);
    result.transferred = h.dxfer_len - std::min<unsigned int>(static_cast<unsigned int>(resid), h.dxfer_len);
  }
  return PassStatus::kOk;
}

}  // namespace

bool LinuxDevice::TakesSgIo() {
  if (!sgIo_) {
    int version = 0;
    sgIo_ = !nvme_ && ::ioctl(fd_, SG_GET_VERSION_NUM, &version) == 0;
  }
  return *sgIo_;
}

PassStatus LinuxDevice::Scsi(std::span<const uint8_t> cdb, DataDirection direction, std::span<uint8_t> data,
                             uint32_t timeoutSeconds, ScsiResult& result) {
  result = ScsiResult{};
  if (!TakesSgIo()) return PassStatus::kNotSupported;
  return SgIo(fd_, cdb, direction, data, timeoutSeconds, result);
}

PassStatus LinuxDevice::Ata(AtaRegisters&, DataDirection, std::span<uint8_t>, uint32_t) {
  // Linux has no ATA task-file request for SATA disks: libata takes ATA commands only as the SCSI
  // ATA PASS-THROUGH CDBs, which the SAT route sends through Scsi.
  return PassStatus::kNotSupported;
}

PassStatus LinuxDevice::Nvme(NvmeRoute route, NvmeQueue queue, std::span<const uint8_t, 64> entry,
                             DataDirection direction, std::span<uint8_t> data, uint32_t timeoutSeconds,
                             NvmeCompletion& completion) {
  completion = NvmeCompletion{};
  if (route != NvmeRoute::kInbox || !nvme_) return PassStatus::kNotSupported;
  if (data.size() > UINT32_MAX) return PassStatus::kFailed;
  auto dword = [&](int i) {
    const uint8_t* p = entry.data() + 4 * i;
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
  };
  // The driver builds the data pointers itself and refuses flags (fused operations, SGLs); the
  // command identifier is its own too. Metadata is not carried.
  nvme_passthru_cmd cmd;
  std::memset(&cmd, 0, sizeof cmd);
  cmd.opcode = entry[0];
  cmd.nsid = dword(1);
  cmd.cdw2 = dword(2);
  cmd.cdw3 = dword(3);
  if (direction != DataDirection::kNone && !data.empty()) {
    cmd.addr = reinterpret_cast<uintptr_t>(data.data());
    cmd.data_len = static_cast<uint32_t>(data.size());
  }
  cmd.cdw10 = dword(10);
  cmd.cdw11 = dword(11);
  cmd.cdw12 = dword(12);
  cmd.cdw13 = dword(13);
  cmd.cdw14 = dword(14);
  cmd.cdw15 = dword(15);
  cmd.timeout_ms = TimeoutMs(timeoutSeconds);

  const bool admin = queue == NvmeQueue::kAdmin;
  const int fd = admin ? AdminFd() : fd_;
  // Not repeated on EINTR: the driver answers so when it cancelled the command (a timeout).
  const int rc = ::ioctl(fd, admin ? NVME_IOCTL_ADMIN_CMD : NVME_IOCTL_IO_CMD, &cmd);
  if (rc < 0) return FailureOf(errno);
  // A positive answer is the completion's status field (phase bit removed).
  completion.status = static_cast<uint16_t>(rc & kNvmeStatusField);
  completion.dw0 = cmd.result;
  return PassStatus::kOk;
}

}  // namespace kestrune::platform::linux_dev
