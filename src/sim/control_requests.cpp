#include "sim/control_requests.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/bytes.h"
#include "base/text.h"

namespace kestrune::sim {
namespace {

using platform::DataDirection;
using platform::NvmeQueue;
using platform::PassStatus;

// The control codes (CTL_CODE(device type, function, method buffered, access)).
constexpr uint32_t Ctl(uint32_t type, uint32_t function, uint32_t access) {
  return (type << 16) | (access << 14) | (function << 2);
}
constexpr uint32_t kQueryProperty = Ctl(0x2D, 0x500, 0);
constexpr uint32_t kSetProperty = Ctl(0x2D, 0x4FF, 2);
constexpr uint32_t kProtocolCommand = Ctl(0x2D, 0x4F0, 3);
constexpr uint32_t kReinitializeMedia = Ctl(0x2D, 0x590, 2);
constexpr uint32_t kFirmwareGetInfo = Ctl(0x2D, 0x700, 0);
constexpr uint32_t kFirmwareDownload = Ctl(0x2D, 0x701, 3);
constexpr uint32_t kFirmwareActivate = Ctl(0x2D, 0x702, 3);
constexpr uint32_t kScsiMiniport = Ctl(0x04, 0x402, 3);

constexpr uint32_t kProtocolNvme = 3;
constexpr uint32_t kDataIdentify = 1, kDataLogPage = 2, kDataFeature = 3;
constexpr uint32_t kProtocolStatusSuccess = 1, kProtocolStatusError = 2;

uint32_t Get32(std::span<const uint8_t> b, size_t at) { return base::GetLe32(b.data() + at); }
uint64_t Get64(std::span<const uint8_t> b, size_t at) { return base::GetLe64(b.data() + at); }
void Put32(std::span<uint8_t> b, size_t at, uint32_t v) { base::PutLe32(b.data() + at, v); }

struct Entry {
  std::array<uint32_t, 16> cdw{};
  std::array<uint8_t, 64> Bytes() const {
    std::array<uint8_t, 64> e{};
    for (size_t i = 0; i < 16; ++i) base::PutLe32(e.data() + 4 * i, cdw[i]);
    return e;
  }
};

PassStatus Fail(ControlCall& c, uint32_t error, const char* why) {
  c.systemError = error;
  c.record.result = why;
  return PassStatus::kFailed;
}

// The controller refused the command: the driver fails the request (the record keeps the status).
PassStatus DeviceError(ControlCall& c) {
  c.systemError = win_error::kIoDevice;
  return PassStatus::kFailed;
}

// Runs entry; the record keeps it and the outcome.
platform::NvmeCompletion Run(ControlCall& c, const Entry& entry, NvmeQueue queue, DataDirection direction,
                             std::span<uint8_t> data) {
  const std::array<uint8_t, 64> bytes = entry.Bytes();
  c.record.operation = queue == NvmeQueue::kAdmin ? "NvmeAdmin" : "NvmeIo";
  c.record.command.assign(bytes.begin(), bytes.end());
  c.record.length = data.size();
  platform::NvmeCompletion completion;
  ExecuteNvmeEntry(c.drive, queue, bytes, direction, data, completion);
  c.record.result = completion.status == 0 ? "ok" : base::Format("status 0x%04X", completion.status);
  return completion;
}

// The output starts as a copy of the input (the drivers answer in the request's own buffer).
bool EchoInput(ControlCall& c, size_t bytes) {
  if (c.output.size() < bytes || c.input.size() < bytes) return false;
  if (c.output.data() != c.input.data()) std::memmove(c.output.data(), c.input.data(), bytes);
  c.returned = static_cast<uint32_t>(bytes);
  return true;
}

// ---- Inbox driver: storage requests ----

// STORAGE_PROPERTY_QUERY with NVMe protocol-specific data; the answer is the data descriptor.
PassStatus QueryProperty(ControlCall& c) {
  std::span<const uint8_t> in = c.input;
  if (in.size() < 48 || Get32(in, 4) != 0 || Get32(in, 8) != kProtocolNvme)
    return Fail(c, win_error::kInvalidParameter, "bad request");
  const uint32_t property = Get32(in, 0), dataType = Get32(in, 12);
  if (property != 49 && property != 50) return Fail(c, win_error::kInvalidParameter, "bad request");
  const uint32_t dataOffset = Get32(in, 24), dataLength = Get32(in, 28);
  if (dataLength > 0 && (dataOffset < 40 || dataLength % 4 != 0)) return Fail(c, win_error::kInvalidParameter, "bad request");
  const size_t total = dataLength == 0 ? 48 : 8 + size_t{dataOffset} + dataLength;
  if (c.output.size() < total) return Fail(c, win_error::kInsufficientBuffer, "bad request");

  Entry e;
  switch (dataType) {
    case kDataIdentify:
      e.cdw[0] = 0x06;
      e.cdw[1] = Get32(in, 20);
      e.cdw[10] = Get32(in, 16) & 0xFF;
      break;
    case kDataLogPage: {
      if (dataLength == 0) return Fail(c, win_error::kInvalidParameter, "bad request");
      const uint32_t flags = Get32(in, 44);
      e.cdw[0] = 0x02;
      e.cdw[1] = 0xFFFFFFFF;
      e.cdw[10] = (Get32(in, 16) & 0xFF) | ((flags >> 1) & 0xF) << 8 | (flags & 1) << 15 | (dataLength / 4 - 1) << 16;
      e.cdw[12] = Get32(in, 20);  // offset, low and high
      e.cdw[13] = Get32(in, 36);
      break;
    }
    case kDataFeature:
      e.cdw[0] = 0x0A;
      e.cdw[10] = Get32(in, 16) & 0xFF;
      e.cdw[11] = Get32(in, 20);
      break;
    default:
      return Fail(c, win_error::kInvalidParameter, "bad request");
  }
  std::vector<uint8_t> data(dataLength, 0);
  const platform::NvmeCompletion done =
      Run(c, e, NvmeQueue::kAdmin, dataLength == 0 ? DataDirection::kNone : DataDirection::kIn, data);
  if (done.status != 0) return DeviceError(c);
  std::fill(c.output.begin(), c.output.begin() + static_cast<std::ptrdiff_t>(total), uint8_t{0});
  // The descriptor: version and size, then the protocol data as asked, with the return value.
  Put32(c.output, 0, 48);
  Put32(c.output, 4, 48);
  Put32(c.output, 8, kProtocolNvme);
  Put32(c.output, 12, dataType);
  Put32(c.output, 24, dataLength == 0 ? 0 : dataOffset);
  Put32(c.output, 28, dataLength);
  Put32(c.output, 32, done.dw0);
  std::copy(data.begin(), data.end(), c.output.begin() + 8 + dataOffset);
  c.returned = static_cast<uint32_t>(total);
  return PassStatus::kOk;
}

// STORAGE_PROPERTY_SET of an NVMe feature: CDW10 and CDW11 from the protocol data.
PassStatus SetProperty(ControlCall& c) {
  std::span<const uint8_t> in = c.input;
  if (in.size() < 72 || Get32(in, 0) != 49 || Get32(in, 4) != 0 || Get32(in, 8) != kProtocolNvme ||
      Get32(in, 12) != kDataFeature)
    return Fail(c, win_error::kInvalidParameter, "bad request");
  Entry e;
  e.cdw[0] = 0x09;
  e.cdw[10] = Get32(in, 16);
  e.cdw[11] = Get32(in, 20);
  const platform::NvmeCompletion done = Run(c, e, NvmeQueue::kAdmin, DataDirection::kNone, {});
  if (done.status != 0) return DeviceError(c);
  if (EchoInput(c, 72)) Put32(c.output, 32, done.dw0);
  return PassStatus::kOk;
}

// STORAGE_PROTOCOL_COMMAND. The driver passes any command except the security ones (those go
// through its SCSI translation); the request succeeds and the NVMe status comes back in
// ReturnStatus and ErrorCode.
PassStatus ProtocolCommand(ControlCall& c) {
  std::span<const uint8_t> in = c.input;
  if (in.size() < 144 || Get32(in, 0) != 1 || Get32(in, 4) != 84 || Get32(in, 8) != kProtocolNvme ||
      Get32(in, 24) != 64)
    return Fail(c, win_error::kInvalidParameter, "bad request");
  const uint32_t toDevice = Get32(in, 32), fromDevice = Get32(in, 36);
  const uint32_t toOffset = Get32(in, 48), fromOffset = Get32(in, 52), specific = Get32(in, 56);
  if ((toDevice > 0 && fromDevice > 0) || (specific != 1 && specific != 2))
    return Fail(c, win_error::kInvalidParameter, "bad request");
  if ((toDevice > 0 && size_t{toOffset} + toDevice > in.size()) ||
      (fromDevice > 0 && size_t{fromOffset} + fromDevice > c.output.size()))
    return Fail(c, win_error::kInvalidParameter, "bad request");
  Entry e;
  for (size_t i = 0; i < 16; ++i) e.cdw[i] = Get32(in, 80 + 4 * i);
  const NvmeQueue queue = specific == 1 ? NvmeQueue::kAdmin : NvmeQueue::kIo;
  const uint8_t opcode = static_cast<uint8_t>(e.cdw[0]);
  if (queue == NvmeQueue::kAdmin && (opcode == 0x81 || opcode == 0x82))
    return Fail(c, win_error::kNotSupported, "not supported");
  DataDirection direction = DataDirection::kNone;
  std::vector<uint8_t> data;
  if (toDevice > 0) {
    direction = DataDirection::kOut;
    data.assign(in.begin() + toOffset, in.begin() + toOffset + toDevice);
  } else if (fromDevice > 0) {
    direction = DataDirection::kIn;
    data.assign(fromDevice, 0);
  }
  const platform::NvmeCompletion done = Run(c, e, queue, direction, data);
  if (!EchoInput(c, in.size())) return Fail(c, win_error::kInsufficientBuffer, "bad request");
  Put32(c.output, 16, done.status == 0 ? kProtocolStatusSuccess : kProtocolStatusError);
  Put32(c.output, 20, done.status);
  Put32(c.output, 64, done.dw0);
  if (direction == DataDirection::kIn) std::copy(data.begin(), data.end(), c.output.begin() + fromOffset);
  return PassStatus::kOk;
}

// STORAGE_HW_FIRMWARE_DOWNLOAD: one piece of the image at a byte offset.
// STORAGE_HW_FIRMWARE_INFO_QUERY for the controller: the head of STORAGE_HW_FIRMWARE_INFO (24
// bytes) with the payload alignment and most bytes a download takes, then a 32-byte entry per slot.
PassStatus FirmwareGetInfo(ControlCall& c) {
  std::span<const uint8_t> in = c.input;
  if (in.size() < 16 || Get32(in, 0) != 16 || Get32(in, 4) < 16) return Fail(c, win_error::kInvalidParameter, "bad request");
  const NvmeFirmwareDescription& fw = c.drive.description().nvmeFirmware;
  const size_t bytes = 24 + size_t{32} * fw.slots;
  if (c.output.size() < bytes) return Fail(c, win_error::kInsufficientBuffer, "bad request");
  std::fill(c.output.begin(), c.output.begin() + static_cast<std::ptrdiff_t>(bytes), uint8_t{0});
  Put32(c.output, 0, 56);
  Put32(c.output, 4, static_cast<uint32_t>(bytes));
  c.output[8] = 1;  // upgrades supported
  c.output[9] = fw.slots;
  c.output[10] = 1;
  c.output[12] = 1;  // the firmware is the controller's
  Put32(c.output, 16, fw.systemAlignment);
  Put32(c.output, 20, fw.systemMaxTransfer);
  for (uint8_t slot = 1; slot <= fw.slots; ++slot) {
    const size_t at = 24 + size_t{32} * (slot - 1);
    Put32(c.output, at, 32);
    Put32(c.output, at + 4, 32);
    c.output[at + 8] = slot;
    c.output[at + 9] = slot == 1 && fw.slot1ReadOnly ? 1 : 0;
  }
  c.returned = static_cast<uint32_t>(bytes);
  c.record.operation = "FirmwareGetInfo";
  c.record.result = "ok";
  return PassStatus::kOk;
}

PassStatus FirmwareDownload(ControlCall& c) {
  std::span<const uint8_t> in = c.input;
  if (in.size() < 32) return Fail(c, win_error::kInvalidParameter, "bad request");
  const uint64_t offset = Get64(in, 16), size = Get64(in, 24);
  if (size == 0 || size % 4 != 0 || offset % 4 != 0 || size > in.size() - 32 || Get32(in, 4) < 32 + size ||
      offset / 4 > 0xFFFFFFFF)
    return Fail(c, win_error::kInvalidParameter, "bad request");
  // The driver refuses what its own answer to the information query rules out.
  const NvmeFirmwareDescription& fw = c.drive.description().nvmeFirmware;
  if ((fw.systemMaxTransfer != 0 && size > fw.systemMaxTransfer) ||
      (fw.systemAlignment != 0 && (size % fw.systemAlignment != 0 || offset % fw.systemAlignment != 0)))
    return Fail(c, win_error::kInvalidParameter, "beyond the payload limits");
  Entry e;
  e.cdw[0] = 0x11;
  e.cdw[10] = static_cast<uint32_t>(size / 4 - 1);
  e.cdw[11] = static_cast<uint32_t>(offset / 4);
  std::vector<uint8_t> image(in.begin() + 32, in.begin() + 32 + static_cast<std::ptrdiff_t>(size));
  const platform::NvmeCompletion done = Run(c, e, NvmeQueue::kAdmin, DataDirection::kOut, image);
  if (done.status != 0) return DeviceError(c);
  return PassStatus::kOk;
}

// STORAGE_HW_FIRMWARE_ACTIVATE: without "switch to existing firmware" the downloaded image goes
// into the slot and activates at the next reset, which the driver reports as an error of its own.
PassStatus FirmwareActivate(ControlCall& c) {
  std::span<const uint8_t> in = c.input;
  if (in.size() < 16 || Get32(in, 0) != 16 || Get32(in, 4) != 16)
    return Fail(c, win_error::kInvalidParameter, "bad request");
  const bool existing = (Get32(in, 8) & 0x80000000) != 0;
  Entry e;
  e.cdw[0] = 0x10;
  e.cdw[10] = (in[12] & 7u) | (existing ? 2u : 1u) << 3;
  const platform::NvmeCompletion done = Run(c, e, NvmeQueue::kAdmin, DataDirection::kNone, {});
  if (done.status != 0) return DeviceError(c);
  if (!existing) return Fail(c, win_error::kActivateAfterReset, "ok, after reset");
  return PassStatus::kOk;
}

// IOCTL_STORAGE_REINITIALIZE_MEDIA: a user-data erase of every namespace in the current format.
PassStatus ReinitializeMedia(ControlCall& c) {
  Entry e;
  e.cdw[0] = 0x80;
  e.cdw[1] = 0xFFFFFFFF;
  e.cdw[10] = 0x200 | (c.drive.description().sectorSize == 4096 ? 1u : 0u);
  const platform::NvmeCompletion done = Run(c, e, NvmeQueue::kAdmin, DataDirection::kNone, {});
  if (done.status != 0) return DeviceError(c);
  return PassStatus::kOk;
}

// ---- Miniports: SRB_IO_CONTROL requests ----

bool Signature(std::span<const uint8_t> in, const char (&sig)[9]) { return std::memcmp(in.data() + 4, sig, 8) == 0; }

// The data direction the Intel driver derives from the opcode (bit 0 to the device, bit 1 from it).
DataDirection DirectionOfOpcode(uint8_t opcode, uint32_t length) {
  if (length == 0) return DataDirection::kNone;
  switch (opcode & 3) {
    case 1:
      return DataDirection::kOut;
    case 2:
      return DataDirection::kIn;
    default:
      return DataDirection::kNone;
  }
}

void PutCompletion(std::span<uint8_t> out, size_t at, const platform::NvmeCompletion& done) {
  std::fill(out.begin() + at, out.begin() + at + 16, uint8_t{0});
  Put32(out, at, done.dw0);
  base::PutLe16(out.data() + at + 14, static_cast<uint16_t>(done.status << 1));
}

PassStatus RstNvme(ControlCall& c) {
  std::span<const uint8_t> in = c.input;
  if (in.size() < 167 || in[28] != 1 || Get32(in, 116) != 164) return Fail(c, win_error::kInvalidParameter, "bad request");
  if (in[29] != c.drive.description().pathId) return Fail(c, win_error::kInvalidParameter, "no such path");
  const uint32_t length = Get32(in, 120);
  if (size_t{164} + length > in.size()) return Fail(c, win_error::kInvalidParameter, "bad request");
  const uint32_t queueId = Get32(in, 112);
  if (queueId > 1) return Fail(c, win_error::kInvalidParameter, "bad request");
  Entry e;
  for (size_t i = 0; i < 16; ++i) e.cdw[i] = Get32(in, 32 + 4 * i);
  std::vector<uint8_t> data(in.begin() + 164, in.begin() + 164 + length);
  const DataDirection direction = DirectionOfOpcode(static_cast<uint8_t>(e.cdw[0]), length);
  const platform::NvmeCompletion done =
      Run(c, e, queueId == 0 ? NvmeQueue::kAdmin : NvmeQueue::kIo, direction, data);
  if (!EchoInput(c, in.size())) return Fail(c, win_error::kInsufficientBuffer, "bad request");
  Put32(c.output, 20, 0);  // SRB return code
  PutCompletion(c.output, 96, done);
  std::copy(data.begin(), data.end(), c.output.begin() + 164);
  return PassStatus::kOk;
}

// The "IntelFw " request words at 32-80 of a download (kind 2) or an activation (kind 3).
bool FirmwareWords(std::span<const uint8_t> in, uint32_t length, bool download) {
  const uint32_t expected[][2] = {{32, 1}, {36, 24}, {44, 1}, {48, 56}};
  for (const auto& w : expected)
    if (Get32(in, w[0]) != w[1]) return false;
  if (download) {
    return Get32(in, 52) == length + 32 && Get32(in, 56) == 2 && Get32(in, 60) == 32 && Get32(in, 68) == 0 &&
           Get32(in, 80) == 255;
  }
  return Get32(in, 52) == 12 && Get32(in, 56) == 1 && Get32(in, 60) == 12 && Get32(in, 64) == 1 &&
         Get32(in, 68) == 5 && Get32(in, 72) == 7;
}

PassStatus RstFirmware(ControlCall& c) {
  std::span<const uint8_t> in = c.input;
  if (in.size() < 88 || in[28] != 1) return Fail(c, win_error::kInvalidParameter, "bad request");
  Entry e;
  platform::NvmeCompletion done;
  if (Get32(in, 40) == 2) {
    const uint32_t offset = Get32(in, 64), length = Get32(in, 72);
    if (length == 0 || length % 4 != 0 || offset % 4 != 0 || size_t{88} + length != in.size() ||
        !FirmwareWords(in, length, true))
      return Fail(c, win_error::kInvalidParameter, "bad request");
    e.cdw[0] = 0x11;
    e.cdw[10] = length / 4 - 1;
    e.cdw[11] = offset / 4;
    std::vector<uint8_t> image(in.begin() + 88, in.end());
    done = Run(c, e, NvmeQueue::kAdmin, DataDirection::kOut, image);
  } else if (Get32(in, 40) == 3) {
    if (in.size() != 4184 || !FirmwareWords(in, 0, false)) return Fail(c, win_error::kInvalidParameter, "bad request");
    e.cdw[0] = 0x10;
    e.cdw[10] = 1u << 3;  // the downloaded image into a slot the controller picks, active at reset
    done = Run(c, e, NvmeQueue::kAdmin, DataDirection::kNone, {});
  } else {
    return Fail(c, win_error::kInvalidParameter, "bad request");
  }
  if (done.status != 0) return DeviceError(c);
  return PassStatus::kOk;
}

PassStatus CommunityNvme(ControlCall& c) {
  std::span<const uint8_t> in = c.input;
  if (in.size() < 152 || Get32(in, 140) != in.size() || Get32(in, 148) != in.size())
    return Fail(c, win_error::kInvalidParameter, "bad request");
  const uint32_t directionWord = Get32(in, 132), queueId = Get32(in, 136);
  if (directionWord > 2 || queueId > 1) return Fail(c, win_error::kInvalidParameter, "bad request");
  const size_t length = in.size() - 152;
  const DataDirection direction =
      length == 0 || directionWord == 0 ? DataDirection::kNone
                                        : directionWord == 1 ? DataDirection::kOut : DataDirection::kIn;
  Entry e;
  for (size_t i = 0; i < 16; ++i) e.cdw[i] = Get32(in, 52 + 4 * i);
  std::vector<uint8_t> data(in.begin() + 152, in.end());
  const platform::NvmeCompletion done = Run(c, e, queueId == 0 ? NvmeQueue::kAdmin : NvmeQueue::kIo, direction,
                                            direction == DataDirection::kNone ? std::span<uint8_t>() : data);
  if (!EchoInput(c, in.size())) return Fail(c, win_error::kInsufficientBuffer, "bad request");
  Put32(c.output, 20, 0);
  PutCompletion(c.output, 116, done);
  std::copy(data.begin(), data.end(), c.output.begin() + 152);
  return PassStatus::kOk;
}

PassStatus Miniport(ControlCall& c) {
  std::span<const uint8_t> in = c.input;
  if (in.size() < 28 || Get32(in, 0) != 28 || Get32(in, 24) != in.size() - 28)
    return Fail(c, win_error::kInvalidParameter, "bad request");
  const Attachment a = c.drive.description().attachment;
  const uint32_t control = Get32(in, 16);
  if (a == Attachment::kNvmeRst && Signature(in, "IntelNvm") && control == 0xF0002808) return RstNvme(c);
  if (a == Attachment::kNvmeRst && Signature(in, "IntelFw ") && control == 0xF0000040) return RstFirmware(c);
  if (a == Attachment::kNvmeCommunity && Signature(in, "NvmeMini") && control == 0xE0002000)
    return CommunityNvme(c);
  return Fail(c, win_error::kInvalidFunction, "not supported");
}

}  // namespace

PassStatus AnswerControl(ControlCall& c) {
  if (c.code == kScsiMiniport) {
    if (!c.portHandle) return Fail(c, win_error::kInvalidFunction, "not supported");
    return Miniport(c);
  }
  const bool storage = c.code == kQueryProperty || c.code == kSetProperty || c.code == kProtocolCommand ||
                       c.code == kFirmwareDownload || c.code == kFirmwareActivate || c.code == kReinitializeMedia ||
                       c.code == kFirmwareGetInfo;
  if (!storage || c.portHandle || c.drive.description().attachment != Attachment::kNvmeInbox)
    return Fail(c, win_error::kInvalidFunction, "not supported");
  switch (c.code) {
    case kQueryProperty:
      return QueryProperty(c);
    case kSetProperty:
      return SetProperty(c);
    case kProtocolCommand:
      return ProtocolCommand(c);
    case kFirmwareGetInfo:
      return FirmwareGetInfo(c);
    case kFirmwareDownload:
      return FirmwareDownload(c);
    case kFirmwareActivate:
      return FirmwareActivate(c);
    default:
      return ReinitializeMedia(c);
  }
}

}  // namespace kestrune::sim
