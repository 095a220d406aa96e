#include "disk/nvme_bridge_cdbs.h"

#include <algorithm>

namespace kestrune::disk {
namespace {

uint8_t QueueFlag(NvmeQueue q) { return q == NvmeQueue::kIo ? 1 : 0; }

// The direction code of the ASMedia and RTL9210B forms: 0 none, 1 in, 2 out.
uint8_t InOutCode(NvmeDirection d) {
  switch (d) {
    case NvmeDirection::kIn:
      return 1;
    case NvmeDirection::kOut:
      return 2;
    default:
      return 0;
  }
}

void PutBe32(BridgeCdb& cdb, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) cdb[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
void PutBe24(BridgeCdb& cdb, size_t at, uint32_t v) {
  for (size_t i = 0; i < 3; ++i) cdb[at + i] = static_cast<uint8_t>(v >> (16 - 8 * i));
}
void PutLe16(BridgeCdb& cdb, size_t at, uint32_t v) {
  cdb[at] = static_cast<uint8_t>(v);
  cdb[at + 1] = static_cast<uint8_t>(v >> 8);
}

BridgeCdb Asmedia(uint8_t op, uint8_t phase, NvmeQueue queue, NvmeDirection direction, uint32_t length) {
  BridgeCdb cdb{op, 0x5A, phase, QueueFlag(queue), InOutCode(direction)};
  PutBe32(cdb, 10, length);
  return cdb;
}

constexpr uint8_t kJmicronOp = 0xA1, kJmicronAdmin = 0x80;

}  // namespace

BridgeCdb AsmediaCommandCdb(NvmeQueue queue, NvmeDirection direction) {
  return Asmedia(0xEA, 0x80, queue, direction, 64);
}

BridgeCdb AsmediaDataCdb(NvmeQueue queue, NvmeDirection direction, uint32_t length) {
  return Asmedia(direction == NvmeDirection::kOut ? 0xEA : 0xEB, 0x81, queue, direction, length);
}

BridgeCdb AsmediaCompletionCdb(NvmeQueue queue, NvmeDirection direction) {
  return Asmedia(0xEB, 0x82, queue, direction, kBridgeCompletionBytes);
}

BridgeCdb AsmediaSingleCdb(const NvmeCommand& command, uint32_t length) {
  BridgeCdb cdb{0xE6, command.opcode()};
  cdb[3] = static_cast<uint8_t>(command.Cdw(10));
  if (command.nsid() == kBroadcastNsid) {
    const uint32_t numd = length / 4 - 1;
    cdb[6] = static_cast<uint8_t>(numd >> 8);
    cdb[7] = static_cast<uint8_t>(numd);
  } else {
    cdb[7] = static_cast<uint8_t>(command.nsid());
  }
  return cdb;
}

BridgeCdb JmicronCommandCdb(NvmeQueue queue) {
  BridgeCdb cdb{kJmicronOp, static_cast<uint8_t>(queue == NvmeQueue::kAdmin ? kJmicronAdmin : 0)};
  PutBe24(cdb, 3, kBridgeWorkBytes);
  return cdb;
}

BridgeCdb JmicronDataCdb(NvmeQueue queue, NvmeDirection direction, uint32_t length) {
  uint8_t code = direction == NvmeDirection::kIn ? 2 : direction == NvmeDirection::kOut ? 3 : 1;
  if (queue == NvmeQueue::kAdmin) code |= kJmicronAdmin;
  BridgeCdb cdb{kJmicronOp, code};
  PutBe24(cdb, 3, length);
  return cdb;
}

BridgeCdb JmicronCompletionCdb(NvmeQueue queue) {
  BridgeCdb cdb{kJmicronOp, static_cast<uint8_t>(queue == NvmeQueue::kAdmin ? 0x8F : 0x0F)};
  PutBe24(cdb, 3, kBridgeWorkBytes);
  return cdb;
}

std::array<uint8_t, kBridgeWorkBytes> JmicronCommandBlock(const NvmeCommand& command) {
  std::array<uint8_t, kBridgeWorkBytes> block{'N', 'V', 'M', 'E'};
  std::copy(command.bytes.begin(), command.bytes.end(), block.begin() + kJmicronEntryOffset);
  return block;
}

BridgeCdb Rtl9210BCommandCdb(NvmeQueue queue) {
  BridgeCdb cdb{0xE5};
  PutLe16(cdb, 1, 64);
  cdb[3] = 0xF7;
  cdb[4] = QueueFlag(queue);
  return cdb;
}

BridgeCdb Rtl9210BDataCdb(NvmeDirection direction, uint32_t length) {
  BridgeCdb cdb{static_cast<uint8_t>(direction == NvmeDirection::kIn ? 0xE4 : 0xE5)};
  PutLe16(cdb, 1, length);
  cdb[3] = 0xF8;
  cdb[6] = InOutCode(direction);
  return cdb;
}

BridgeCdb Rtl9210BCompletionCdb() {
  BridgeCdb cdb{0xE4};
  PutLe16(cdb, 1, kBridgeCompletionBytes);
  cdb[3] = 0xF9;
  return cdb;
}

BridgeCdb Rtl9210Cdb(const NvmeCommand& command, uint32_t length) {
  BridgeCdb cdb{0xE4};
  PutLe16(cdb, 1, length);
  cdb[3] = command.opcode();
  cdb[4] = static_cast<uint8_t>(command.Cdw(10));
  return cdb;
}

BridgeCdb Rtl9210DownloadCdb(uint32_t offset, uint32_t length) {
  BridgeCdb cdb{0xE5};
  PutLe16(cdb, 1, length);
  cdb[3] = 0x11;
  PutLe16(cdb, 4, (length - 1) / 4);
  PutLe16(cdb, 6, offset / 4);
  return cdb;
}

}  // namespace kestrune::disk
