// The carriage of NVMe commands through the system's own NVMe driver: which request each command
// becomes, and what comes back.
#include "platform/win_nvme_inbox.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/hex_bytes.h"
#include "platform/win_ioctl_codes.h"
#include "platform/win_storage_layouts.h"

namespace kestrune::platform::winio {
namespace {

using testing::Hex;

struct Entry {
  uint8_t opcode;
  uint32_t nsid = 0;
  uint32_t cdw10 = 0;
  uint32_t cdw11 = 0;
};

std::array<uint8_t, 64> Make(const Entry& e) {
  std::array<uint8_t, 64> b{};
  b[0] = e.opcode;
  auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put(4, e.nsid);
  put(40, e.cdw10);
  put(44, e.cdw11);
  return b;
}

uint32_t Word(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

TEST(InboxCarriage, ByOpcodeAndQueue) {
  const struct {
    Entry entry;
    NvmeQueue queue;
    InboxCarriage carriage;
    uint32_t ioctl;
  } cases[] = {
      {{0x06, 0, 1}, NvmeQueue::kAdmin, InboxCarriage::kIdentifyQuery, kIoctlStorageQueryProperty},
      {{0x02, 0xFFFFFFFF, 0x007F0002},
       NvmeQueue::kAdmin,
       InboxCarriage::kLogPageQuery,
       kIoctlStorageQueryProperty},
      {{0x0A, 0, 7}, NvmeQueue::kAdmin, InboxCarriage::kFeatureQuery, kIoctlStorageQueryProperty},
      {{0x09, 0, 0x80000007, 3}, NvmeQueue::kAdmin, InboxCarriage::kFeatureSet, kIoctlStorageSetProperty},
      {{0x11, 0, 0xFF, 0},
       NvmeQueue::kAdmin,
       InboxCarriage::kFirmwareDownload,
       kIoctlStorageFirmwareDownload},
      {{0x10, 0, 0x09}, NvmeQueue::kAdmin, InboxCarriage::kFirmwareActivate, kIoctlStorageFirmwareActivate},
      {{0x80, 0xFFFFFFFF, 0x200},
       NvmeQueue::kAdmin,
       InboxCarriage::kReinitializeMedia,
       kIoctlStorageReinitializeMedia},
      // A format that is not "everything, user-data erase" is sent as itself.
      {{0x80, 1, 0x201}, NvmeQueue::kAdmin, InboxCarriage::kProtocolCommand, kIoctlStorageProtocolCommand},
      {{0x82, 0xFFFFFFFF}, NvmeQueue::kAdmin, InboxCarriage::kProtocolCommand, kIoctlStorageProtocolCommand},
      {{0xC0}, NvmeQueue::kAdmin, InboxCarriage::kProtocolCommand, kIoctlStorageProtocolCommand},
      // On the I/O queue 09h is Dataset Management, not Set Features.
      {{0x09, 1, 0, 4}, NvmeQueue::kIo, InboxCarriage::kProtocolCommand, kIoctlStorageProtocolCommand},
      {{0x06}, NvmeQueue::kIo, InboxCarriage::kProtocolCommand, kIoctlStorageProtocolCommand},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "opcode " << std::hex << int(c.entry.opcode));
    auto e = Make(c.entry);
    EXPECT_EQ(InboxCarriageOf(c.queue, e), c.carriage);
    std::optional<InboxRequest> r = BuildInboxRequest(c.queue, e, DataDirection::kNone, {}, 60);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->ioctl, c.ioctl);
  }
}

TEST(InboxRequest, IdentifyUsesTheAdapterPropertyForControllerAndNamespaceOnly) {
  std::vector<uint8_t> data(4096);
  const struct { uint32_t cns, nsid, property; } cases[] = {{0, 1, 49}, {1, 0, 49}, {2, 0, 50}, {3, 1, 50}};
  for (const auto& c : cases) {
    auto r = BuildInboxRequest(NvmeQueue::kAdmin, Make({0x06, c.nsid, c.cns}), DataDirection::kIn, data, 60);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->buffer.size(), 4144u);
    EXPECT_EQ(Word(r->buffer, 0), c.property);
    EXPECT_EQ(Word(r->buffer, 12), kNvmeDataTypeIdentify);
    EXPECT_EQ(Word(r->buffer, 16), c.cns);
    EXPECT_EQ(Word(r->buffer, 20), c.nsid);
    EXPECT_EQ(r->outputBytes, 4144u);
  }
}

TEST(InboxRequest, LogPageCarriesLidAndRaeWithLsp) {
  std::vector<uint8_t> data(512);
  const struct {
    uint32_t cdw10, lid, subValue4;
  } cases[] = {
      {0x007F0002, 0x02, 0},                       // SMART, 512 bytes
      {0x007F0002 | 1u << 15, 0x02, 1},            // retain asynchronous event
      {0x007F0002 | 3u << 8 | 1u << 15, 0x02, 7},  // LSP 3
      {0x007F00C0 | 0x1Fu << 8, 0xC0, 0x1E},       // LSP cut to 4 bits
  };
  for (const auto& c : cases) {
    auto r =
        BuildInboxRequest(NvmeQueue::kAdmin, Make({0x02, 0xFFFFFFFF, c.cdw10}), DataDirection::kIn, data, 60);
    ASSERT_TRUE(r);
    EXPECT_EQ(Word(r->buffer, 0), 50u);
    EXPECT_EQ(Word(r->buffer, 12), kNvmeDataTypeLogPage);
    EXPECT_EQ(Word(r->buffer, 16), c.lid);
    EXPECT_EQ(Word(r->buffer, 20), 0u);
    EXPECT_EQ(Word(r->buffer, 36), 0u);
    EXPECT_EQ(Word(r->buffer, 40), 0u);
    EXPECT_EQ(Word(r->buffer, 44), c.subValue4);
    EXPECT_EQ(Word(r->buffer, 28), 4096u);  // the data area is always a page
  }
}

TEST(InboxRequest, QueriesCannotMoveMoreThanAPage) {
  std::vector<uint8_t> big(8192);
  EXPECT_FALSE(BuildInboxRequest(NvmeQueue::kAdmin, Make({0x06, 0, 1}), DataDirection::kIn, big, 60));
  EXPECT_FALSE(BuildInboxRequest(NvmeQueue::kAdmin, Make({0x02, 0xFFFFFFFF, 0x07FF0002}), DataDirection::kIn,
                                 big, 60));
  // The protocol command has no such limit.
  EXPECT_TRUE(BuildInboxRequest(NvmeQueue::kAdmin, Make({0xC2}), DataDirection::kIn, big, 60));
}

TEST(InboxRequest, FirmwareDownloadOffsetIsInDwords) {
  const uint8_t image[] = {1, 2, 3, 4, 5, 6, 7, 8};
  auto r = BuildInboxRequest(NvmeQueue::kAdmin, Make({0x11, 0, 1, 0x100}), DataDirection::kOut, image, 60);
  ASSERT_TRUE(r);
  EXPECT_EQ(Word(r->buffer, 16), 0x400u);
  EXPECT_EQ(Word(r->buffer, 24), 8u);
  EXPECT_EQ(r->outputBytes, 0u);
}

TEST(InboxRequest, FirmwareCommitTakesSlotAndAction) {
  auto r = BuildInboxRequest(NvmeQueue::kAdmin, Make({0x10, 0, 2 | 3 << 3}), DataDirection::kNone, {}, 60);
  ASSERT_TRUE(r);
  // Action 3 puts the downloaded image in the slot: no "switch to existing firmware".
  EXPECT_EQ(r->buffer, Hex("10 00 00 00 10 00 00 00 01 00 00 00 02 00 00 00"));
}

TEST(InboxRequest, SecurityCommandsMayFallBackToScsi) {
  std::vector<uint8_t> data(512);
  auto receive = BuildInboxRequest(NvmeQueue::kAdmin, Make({0x82, 0xFFFFFFFF, 0x01000100, 512}),
                                   DataDirection::kIn, data, 60);
  ASSERT_TRUE(receive);
  EXPECT_TRUE(receive->scsiFallback);
  EXPECT_FALSE(
      BuildInboxRequest(NvmeQueue::kAdmin, Make({0xC0}), DataDirection::kNone, {}, 60)->scsiFallback);

  auto in = SecurityProtocolCdb(Make({0x82, 0xFFFFFFFF, 0x01000100}), 512);
  EXPECT_EQ(std::vector<uint8_t>(in.begin(), in.end()), Hex("A2 01 00 01 00 00 00 00 02 00 00 00"));
  auto out = SecurityProtocolCdb(Make({0x81, 0xFFFFFFFF, 0x02ABCD00}), 0x01020304);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.end()), Hex("B5 02 AB CD 00 00 01 02 03 04 00 00"));
}

TEST(InboxReply, QueryGivesDw0AndData) {
  std::vector<uint8_t> data(8);
  auto r = BuildInboxRequest(NvmeQueue::kAdmin, Make({0x06, 0, 1}), DataDirection::kIn, data, 60);
  ASSERT_TRUE(r);
  r->buffer[32] = 0x99;  // FixedProtocolReturnData
  r->buffer[48] = 0x86;  // the data area
  r->buffer[49] = 0x80;
  NvmeCompletion c;
  c.status = 7;
  ReadInboxReply(*r, DataDirection::kIn, data, c);
  EXPECT_EQ(c.dw0, 0x99u);
  EXPECT_EQ(c.status, 0);
  EXPECT_EQ(data[0], 0x86);
  EXPECT_EQ(data[1], 0x80);
}

TEST(InboxReply, ProtocolCommandGivesDw0AndDataIn) {
  std::vector<uint8_t> data(4);
  auto r = BuildInboxRequest(NvmeQueue::kAdmin, Make({0xC2}), DataDirection::kIn, data, 60);
  ASSERT_TRUE(r);
  r->buffer[64] = 0x42;
  r->buffer[144] = 0x5A;
  NvmeCompletion c;
  ReadInboxReply(*r, DataDirection::kIn, data, c);
  EXPECT_EQ(c.dw0, 0x42u);
  EXPECT_EQ(data[0], 0x5A);

  std::vector<uint8_t> sent = {1, 2, 3, 4};
  auto w = BuildInboxRequest(NvmeQueue::kAdmin, Make({0xC1}), DataDirection::kOut, sent, 60);
  w->buffer[144] = 0xFF;
  ReadInboxReply(*w, DataDirection::kOut, sent, c);
  EXPECT_EQ(sent[0], 1);  // data out is left alone
}

}  // namespace
}  // namespace kestrune::platform::winio
