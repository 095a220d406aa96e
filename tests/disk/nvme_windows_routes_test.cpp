// The Windows routes of the NVMe operations: the request buffers of the inbox driver, Intel RST and
// the community miniport byte by byte, the reading of their answers, and the raw entry where the
// backend has no device-control requests.
#include <gtest/gtest.h>

#include "support/fake_host.h"

#include "base/bytes.h"
#include "disk/nvme_operations.h"
#include "disk/nvme_transport.h"
#include "platform/hex_bytes.h"
#include "platform/win_ioctl_codes.h"
#include "scripted_device.h"

namespace kestrune::disk {
namespace {

using kestrune::testing::Hex;
using platform::PassStatus;
using testing::PassCall;

namespace w = platform::winio;

uint32_t U32(const std::vector<uint8_t>& b, size_t at) { return base::GetLe32(b.data() + at); }

DiskEntry Disk(DiskKind kind) {
  DiskEntry e;
  e.diskKind = kind;
  e.devicePath = "\\\\.\\PHYSICALDRIVE3";
  e.scsiPortPath = "\\\\.\\scsi3:";
  e.pathId = 2;
  return e;
}

class WindowsRoutes : public ::testing::Test {
 protected:
  kestrune::testing::FakeHost clock;  // the settle wait after an activation advances its virtual clock

  testing::ScriptedTree tree;
  testing::ScriptedDevice& dev = tree.device;
};

// ---- Inbox driver (kind 10) ----

TEST_F(WindowsRoutes, InboxIdentifyIsAnAdapterPropertyQueryWithA4096ByteArea) {
  dev.control = [](uint32_t, std::span<uint8_t> out, uint32_t&) {
    base::PutLe32(&out[32], 0xDEADBEEF);
    for (size_t i = 48; i < out.size(); ++i) out[i] = static_cast<uint8_t>(i);
    return PassStatus::kOk;
  };
  std::vector<uint8_t> data(512, 0xEE);
  uint32_t dw0 = 0;
  ASSERT_EQ(Identify(tree, Disk(DiskKind::kNvm), 1, 0, data, &dw0), 1);
  EXPECT_EQ(tree.opened, std::vector<std::string>{"\\\\.\\PHYSICALDRIVE3"});
  ASSERT_EQ(dev.calls.size(), 1u);
  const PassCall& c = dev.calls[0];
  EXPECT_EQ(c.code, w::kIoctlStorageQueryProperty);
  ASSERT_EQ(c.bytes.size(), 4144u);
  EXPECT_EQ(std::vector<uint8_t>(c.bytes.begin(), c.bytes.begin() + 48),
            Hex("31 00 00 00 00 00 00 00  03 00 00 00 01 00 00 00  01 00 00 00 00 00 00 00"
                "28 00 00 00 00 10 00 00  00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00"));
  EXPECT_EQ(c.length, 4144u);  // the answer comes back into the same 4144 bytes
  EXPECT_EQ(dw0, 0xDEADBEEFu);
  EXPECT_EQ(data[0], 48);       // the data from byte 48 on
  EXPECT_EQ(data[511], static_cast<uint8_t>(48 + 511));

  // CNS 2 and above: the device property; NSID in the sub value.
  dev.calls.clear();
  ASSERT_EQ(Identify(tree, Disk(DiskKind::kNvm), 3, 1, data), 1);
  EXPECT_EQ(U32(dev.calls[0].bytes, 0), 50u);
  EXPECT_EQ(U32(dev.calls[0].bytes, 16), 3u);
  EXPECT_EQ(U32(dev.calls[0].bytes, 20), 1u);
}

TEST_F(WindowsRoutes, InboxQueriesCannotCarryMoreThanTheirDataArea) {
  dev.control = [](uint32_t, std::span<uint8_t>, uint32_t&) { return PassStatus::kOk; };
  std::vector<uint8_t> big(4100);
  EXPECT_EQ(Identify(tree, Disk(DiskKind::kNvm), 1, 0, big), -2);
  std::vector<uint8_t> log(8192);
  EXPECT_EQ(GetLogPage(tree, Disk(DiskKind::kNvm), 2, 0, false, log), -2);
  std::vector<uint8_t> page(512);
  EXPECT_EQ(GetLogPage(tree, Disk(DiskKind::kNvm), 2, 0x10, false, page), -2);  // LSP beyond 4 bits
  uint32_t dw0 = 7;
  EXPECT_EQ(GetFeatures(tree, Disk(DiskKind::kNvm), 0x206, &dw0), -2);  // a select field
  EXPECT_EQ(dw0, 0u);
  EXPECT_EQ(dev.Count(PassCall::kControl), 0u);
}

TEST_F(WindowsRoutes, InboxLogPageAndFeatureQueries) {
  dev.control = [](uint32_t, std::span<uint8_t> out, uint32_t&) {
    base::PutLe32(&out[32], 0x1234);
    return PassStatus::kOk;
  };
  std::vector<uint8_t> page(512);
  uint32_t dw0 = 0;
  ASSERT_EQ(GetLogPage(tree, Disk(DiskKind::kNvm), 0x02, 0x05, true, page, &dw0), 1);
  const PassCall& log = dev.calls[0];
  ASSERT_EQ(log.bytes.size(), 4144u);
  EXPECT_EQ(std::vector<uint8_t>(log.bytes.begin(), log.bytes.begin() + 48),
            Hex("32 00 00 00 00 00 00 00  03 00 00 00 02 00 00 00  02 00 00 00 00 00 00 00"
                "28 00 00 00 00 10 00 00  00 00 00 00 00 00 00 00  00 00 00 00 0B 00 00 00"));
  EXPECT_EQ(dw0, 0x1234u);

  ASSERT_EQ(GetFeatures(tree, Disk(DiskKind::kNvm), 0x06, &dw0), 1);
  const PassCall& feature = dev.calls[1];
  EXPECT_EQ(feature.bytes, Hex("31 00 00 00 00 00 00 00  03 00 00 00 03 00 00 00  06 00 00 00 00 00 00 00"
                               "00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00"));
  EXPECT_EQ(dw0, 0x1234u);
}

TEST_F(WindowsRoutes, InboxSetFeaturesIsAPropertySet) {
  dev.control = [](uint32_t, std::span<uint8_t>, uint32_t&) { return PassStatus::kOk; };
  ASSERT_EQ(SetFeatures(tree, Disk(DiskKind::kNvm), 0x10, true, 0x0161016B), 1);
  const PassCall& c = dev.calls[0];
  EXPECT_EQ(c.code, w::kIoctlStorageSetProperty);
  ASSERT_EQ(c.bytes.size(), 4168u);
  EXPECT_EQ(std::vector<uint8_t>(c.bytes.begin(), c.bytes.begin() + 32),
            Hex("31 00 00 00 00 00 00 00  03 00 00 00 03 00 00 00  10 00 00 80 6B 01 61 01  00 00 00 00 00 00 00 00"));
  EXPECT_TRUE(std::all_of(c.bytes.begin() + 32, c.bytes.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(WindowsRoutes, InboxRawCommandIsAProtocolCommandThatMustReportSuccess) {
  uint32_t returnStatus = 1;
  dev.control = [&](uint32_t, std::span<uint8_t> out, uint32_t&) {
    base::PutLe32(&out[16], returnStatus);
    base::PutLe32(&out[64], 0xCAFE);
    for (size_t i = 144; i < out.size(); ++i) out[i] = 0x5A;
    return PassStatus::kOk;
  };
  NvmeCommand record;
  record.SetCdw(0, 0xAB000000);
  record.SetCdw(12, 0x82);
  record.SetCdw(1, 77);  // replaced by the NSID argument
  std::vector<uint8_t> data(16, 0);
  uint32_t dw0 = 0;
  ASSERT_EQ(RawAdmin(tree, Disk(DiskKind::kNvm), NvmeDirection::kIn, 0xFE, 1, record, data, &dw0), 1);
  const PassCall& c = dev.calls[0];
  EXPECT_EQ(c.code, w::kIoctlStorageProtocolCommand);
  ASSERT_EQ(c.bytes.size(), 160u);
  EXPECT_EQ(std::vector<uint8_t>(c.bytes.begin(), c.bytes.begin() + 80),
            Hex("01 00 00 00 54 00 00 00 03 00 00 00 00 00 00 80  00 00 00 00 00 00 00 00 40 00 00 00 00 00 00 00"
                "00 00 00 00 10 00 00 00 3C 00 00 00 00 00 00 00  90 00 00 00 90 00 00 00 01 00 00 00 00 00 00 00"
                "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(U32(c.bytes, 80), 0xAB0000FEu);
  EXPECT_EQ(U32(c.bytes, 84), 1u);
  EXPECT_EQ(U32(c.bytes, 80 + 48), 0x82u);
  EXPECT_EQ(dw0, 0xCAFEu);
  EXPECT_EQ(data, std::vector<uint8_t>(16, 0x5A));
  EXPECT_EQ(record.Cdw(1), 77u);  // the caller's record is untouched

  // The driver completed the request, but the command failed: not a success.
  returnStatus = 2;
  EXPECT_EQ(RawAdmin(tree, Disk(DiskKind::kNvm), NvmeDirection::kNone, 0xFE, 1, record, {}, &dw0), -74);
  EXPECT_EQ(dev.calls.back().bytes.size(), 144u);
  dev.control = [](uint32_t, std::span<uint8_t>, uint32_t&) { return PassStatus::kFailed; };
  EXPECT_EQ(RawAdmin(tree, Disk(DiskKind::kNvm), NvmeDirection::kNone, 0xFE, 1, record, {}), -74);
}

TEST_F(WindowsRoutes, InboxDataOutGoesInAfterTheCommand) {
  dev.control = [](uint32_t, std::span<uint8_t> out, uint32_t&) {
    base::PutLe32(&out[16], 1);
    return PassStatus::kOk;
  };
  std::vector<uint8_t> data = {1, 2, 3, 4};
  ASSERT_EQ(RawAdmin(tree, Disk(DiskKind::kNvm), NvmeDirection::kOut, 0xFD, 0, NvmeCommand{}, data), 1);
  const PassCall& c = dev.calls[0];
  EXPECT_EQ(U32(c.bytes, 32), 4u);  // to the device
  EXPECT_EQ(U32(c.bytes, 36), 0u);
  EXPECT_EQ(std::vector<uint8_t>(c.bytes.begin() + 144, c.bytes.end()), data);
}

TEST_F(WindowsRoutes, InboxFirmwareRequests) {
  uint32_t error = 0;
  dev.control = [&](uint32_t, std::span<uint8_t>, uint32_t& e) {
    e = error;
    return error == 0 ? PassStatus::kOk : PassStatus::kFailed;
  };
  auto handle = tree.Open("h", platform::OpenAccess::kReadWrite);
  std::vector<uint8_t> image(8, 0x77);
  ASSERT_EQ(FirmwareDownloadChunk(*handle, Disk(DiskKind::kNvm), 4096, image), 1);
  const PassCall& down = dev.calls[0];
  EXPECT_EQ(down.code, w::kIoctlStorageFirmwareDownload);
  EXPECT_EQ(down.bytes, Hex("28 00 00 00 30 00 00 00 01 00 00 00 01 00 00 00  00 10 00 00 00 00 00 00"
                            "08 00 00 00 00 00 00 00  77 77 77 77 77 77 77 77  00 00 00 00 00 00 00 00"));
  EXPECT_EQ(down.length, 0u);  // no answer buffer

  ASSERT_EQ(FirmwareCommit(tree, Disk(DiskKind::kNvm), 2, 1, clock), 1);
  EXPECT_EQ(dev.calls[1].code, w::kIoctlStorageFirmwareActivate);
  EXPECT_EQ(dev.calls[1].bytes, Hex("10 00 00 00 10 00 00 00 01 00 00 00 02 00 00 00"));
  EXPECT_EQ(clock.monotonic, 1000u);
  ASSERT_EQ(FirmwareCommit(tree, Disk(DiskKind::kNvm), 1, 2, clock), 1);
  EXPECT_EQ(U32(dev.calls[2].bytes, 8), 0x80000001u);  // switch to the existing image

  error = 0x30207;  // done, active after a reset
  EXPECT_EQ(FirmwareCommit(tree, Disk(DiskKind::kNvm), 2, 1, clock), 1);
  error = 31;
  clock.monotonic = 0;
  EXPECT_EQ(FirmwareCommit(tree, Disk(DiskKind::kNvm), 2, 1, clock), -4);
  EXPECT_EQ(clock.monotonic, 0u);
  EXPECT_EQ(FirmwareCommit(tree, Disk(DiskKind::kNvm), 8, 1, clock), -2);  // slot beyond 3 bits
  EXPECT_EQ(FirmwareDownloadChunk(*handle, Disk(DiskKind::kNvm), 2, image), -2);
  EXPECT_EQ(FirmwareDownloadChunk(*handle, Disk(DiskKind::kNvm), 0, {}), -2);
}

TEST_F(WindowsRoutes, InboxFormatReinitializesTheMedia) {
  dev.control = [](uint32_t, std::span<uint8_t>, uint32_t&) { return PassStatus::kOk; };
  ASSERT_EQ(FormatAll(tree, Disk(DiskKind::kNvm)), 1);
  EXPECT_EQ(dev.calls[0].code, w::kIoctlStorageReinitializeMedia);
  EXPECT_TRUE(dev.calls[0].bytes.empty());
  EXPECT_EQ(dev.calls[0].length, 0u);
}

TEST_F(WindowsRoutes, InboxSecurityFallsBackToScsiSecurityProtocol) {
  uint8_t scsiStatus = 0;
  dev.control = [&](uint32_t code, std::span<uint8_t> out, uint32_t&) {
    if (code == w::kIoctlStorageProtocolCommand) return PassStatus::kFailed;
    out[2] = scsiStatus;
    return PassStatus::kOk;
  };
  std::vector<uint8_t> data(32, 0x11);
  uint8_t status = 0xFF;
  ASSERT_EQ(SecuritySend(tree, Disk(DiskKind::kNvm), 0xEF, 0x0102, data, &status), 1);
  EXPECT_EQ(status, 0);
  ASSERT_EQ(dev.calls.size(), 2u);
  EXPECT_EQ(dev.calls[0].code, w::kIoctlStorageProtocolCommand);
  EXPECT_EQ(U32(dev.calls[0].bytes, 80), 0x81u);
  const PassCall& sptd = dev.calls[1];
  EXPECT_EQ(sptd.code, w::kIoctlScsiPassThroughDirect);
  ASSERT_EQ(sptd.bytes.size(), 128u);
  EXPECT_EQ(sptd.bytes[4], 1);   // target id 1
  EXPECT_EQ(sptd.bytes[6], 12);  // CDB length
  EXPECT_EQ(sptd.bytes[7], 64);  // sense bytes
  EXPECT_EQ(sptd.bytes[8], 0);   // data out
  EXPECT_EQ(U32(sptd.bytes, 12), 32u);
  EXPECT_EQ(U32(sptd.bytes, 16), 60u);
  EXPECT_EQ(base::GetLe64(&sptd.bytes[24]), reinterpret_cast<uintptr_t>(data.data()));
  EXPECT_EQ(std::vector<uint8_t>(sptd.bytes.begin() + 36, sptd.bytes.begin() + 48),
            Hex("B5 EF 01 02 00 00 00 00 00 20 00 00"));

  scsiStatus = 2;
  EXPECT_EQ(SecurityReceive(tree, Disk(DiskKind::kNvm), 0, 0, data, &status), -255);
  EXPECT_EQ(status, 2);
  EXPECT_EQ(dev.calls.back().bytes[36], 0xA2);
  EXPECT_EQ(dev.calls.back().bytes[8], 1);  // data in
  dev.control = [](uint32_t, std::span<uint8_t>, uint32_t&) { return PassStatus::kFailed; };
  EXPECT_EQ(SecurityReceive(tree, Disk(DiskKind::kNvm), 0, 0, data), -74);
}

TEST_F(WindowsRoutes, WithoutDeviceControlTheRawEntryGoesToTheSystemDriver) {
  dev.nvme = [](std::span<const uint8_t, 64>, std::span<uint8_t> data, platform::NvmeCompletion& c) {
    std::fill(data.begin(), data.end(), uint8_t{0x42});
    c.dw0 = 9;
    return PassStatus::kOk;
  };
  std::vector<uint8_t> page(512);
  uint32_t dw0 = 0;
  ASSERT_EQ(GetLogPage(tree, Disk(DiskKind::kNvm), 0x02, 0, false, page, &dw0), 1);
  ASSERT_EQ(dev.calls.size(), 2u);  // the query, refused; then the entry
  EXPECT_EQ(dev.calls[0].kind, PassCall::kControl);
  const PassCall& raw = dev.calls[1];
  EXPECT_EQ(raw.kind, PassCall::kNvme);
  EXPECT_EQ(raw.route, platform::NvmeRoute::kInbox);
  EXPECT_EQ(raw.queue, platform::NvmeQueue::kAdmin);
  EXPECT_EQ(raw.direction, platform::DataDirection::kIn);
  EXPECT_EQ(raw.length, 512u);
  EXPECT_EQ(U32(raw.bytes, 40), 0x007F0002u);
  EXPECT_EQ(dw0, 9u);
  EXPECT_EQ(page[0], 0x42);

  // The other routes fall back the same way, each on its own route.
  const std::pair<DiskKind, platform::NvmeRoute> routes[] = {
      {DiskKind::kIrstNvm, platform::NvmeRoute::kRstMiniport},
      {DiskKind::kOfaNvm, platform::NvmeRoute::kCommunityMiniport},
      {DiskKind::kAta, platform::NvmeRoute::kCommunityMiniport}};
  for (const auto& [kind, route] : routes) {
    dev.calls.clear();
    ASSERT_EQ(Identify(tree, Disk(kind), 1, 0, page), 1);
    ASSERT_EQ(dev.calls.size(), 2u);
    EXPECT_EQ(dev.calls[1].route, route);
  }

  // A completion with an error status fails.
  dev.nvme = [](std::span<const uint8_t, 64>, std::span<uint8_t>, platform::NvmeCompletion& c) {
    c.status = 0x0002;
    return PassStatus::kOk;
  };
  EXPECT_EQ(FormatAll(tree, Disk(DiskKind::kNvm)), -74);
}

// ---- Intel RST (kind 12) ----

TEST_F(WindowsRoutes, RstRequestCarriesTheEntryAndChecksTheCompletion) {
  uint16_t status = 0;
  dev.control = [&](uint32_t, std::span<uint8_t> out, uint32_t&) {
    base::PutLe32(&out[96], 0x600D);
    base::PutLe16(&out[110], static_cast<uint16_t>(status << 1 | 1));  // with the phase bit
    for (size_t i = 164; i < out.size(); ++i) out[i] = 0x33;
    return PassStatus::kOk;
  };
  std::vector<uint8_t> data(8, 0x01);
  uint32_t dw0 = 0;
  ASSERT_EQ(Identify(tree, Disk(DiskKind::kIrstNvm), 1, 0, data, &dw0), 1);
  EXPECT_EQ(tree.opened.back(), "\\\\.\\scsi3:");
  const PassCall& c = dev.calls[0];
  EXPECT_EQ(c.code, w::kIoctlScsiMiniport);
  ASSERT_EQ(c.bytes.size(), 8u + 167u);
  EXPECT_EQ(c.length, 175u);
  EXPECT_EQ(std::vector<uint8_t>(c.bytes.begin(), c.bytes.begin() + 32),
            Hex("1C 00 00 00 49 6E 74 65 6C 4E 76 6D 28 00 00 00  08 28 00 F0 00 00 00 00 93 00 00 00 01 02 00 00"));
  EXPECT_EQ(c.bytes[32], 0x06);
  EXPECT_EQ(U32(c.bytes, 72), 1u);  // CDW10 at 32 + 40
  EXPECT_EQ(std::vector<uint8_t>(c.bytes.begin() + 96, c.bytes.begin() + 124),
            Hex("00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00  00 00 00 00 A4 00 00 00 08 00 00 00"));
  EXPECT_EQ(std::vector<uint8_t>(c.bytes.begin() + 164, c.bytes.end()), Hex("01 01 01 01 01 01 01 01 00 00 00"));
  EXPECT_EQ(dw0, 0x600Du);
  EXPECT_EQ(data, std::vector<uint8_t>(8, 0x33));

  status = 0x0002;  // the completion reports an error: not a success
  EXPECT_EQ(Identify(tree, Disk(DiskKind::kIrstNvm), 1, 0, data, &dw0), -74);
  EXPECT_EQ(dw0, 0x600Du);

  std::vector<uint8_t> none;
  dev.calls.clear();
  status = 0;
  ASSERT_EQ(Deallocate(tree, Disk(DiskKind::kIrstNvm), 16, 8), 1);
  EXPECT_EQ(U32(dev.calls[0].bytes, 112), 1u);  // the I/O queue
  EXPECT_EQ(base::GetLe32(&dev.calls[0].bytes[164 + 4]), 8u);
  EXPECT_EQ(base::GetLe64(&dev.calls[0].bytes[164 + 8]), 16u);
}

TEST_F(WindowsRoutes, RstFirmwareRequests) {
  dev.control = [](uint32_t, std::span<uint8_t>, uint32_t&) { return PassStatus::kOk; };
  auto handle = tree.Open("h", platform::OpenAccess::kReadWrite);
  std::vector<uint8_t> image(16, 0x99);
  ASSERT_EQ(FirmwareDownloadChunk(*handle, Disk(DiskKind::kIrstNvm), 0x12340, image), 1);
  const PassCall& down = dev.calls[0];
  ASSERT_EQ(down.bytes.size(), 104u);
  EXPECT_EQ(down.length, 0u);
  EXPECT_EQ(std::vector<uint8_t>(down.bytes.begin(), down.bytes.begin() + 88),
            Hex("1C 00 00 00 49 6E 74 65 6C 46 77 20 C8 00 00 00  40 00 00 F0 00 00 00 00 4C 00 00 00 01 02 00 00"
                "01 00 00 00 18 00 00 00 02 00 00 00 01 00 00 00  38 00 00 00 30 00 00 00 02 00 00 00 20 00 00 00"
                "40 23 01 00 00 00 00 00 10 00 00 00 00 00 00 00  FF 00 00 00 00 00 00 00"));
  ASSERT_EQ(FirmwareCommit(tree, Disk(DiskKind::kIrstNvm), 3, 3, clock), 1);
  const PassCall& act = dev.calls[1];
  ASSERT_EQ(act.bytes.size(), 4184u);
  EXPECT_EQ(U32(act.bytes, 24), 4156u);
  EXPECT_EQ(U32(act.bytes, 40), 3u);
  EXPECT_EQ(U32(act.bytes, 72), 7u);
  dev.control = [](uint32_t, std::span<uint8_t>, uint32_t&) { return PassStatus::kFailed; };
  EXPECT_EQ(FirmwareCommit(tree, Disk(DiskKind::kIrstNvm), 3, 3, clock), -74);
}

// ---- Community miniport (kind 11 and the others) ----

TEST_F(WindowsRoutes, CommunityRequestAndItsStatusCodes) {
  uint16_t status = 0;
  dev.control = [&](uint32_t, std::span<uint8_t> out, uint32_t&) {
    base::PutLe32(&out[116], 0xF00D);
    base::PutLe16(&out[130], static_cast<uint16_t>(status << 1));
    return PassStatus::kOk;
  };
  uint32_t dw0 = 0;
  ASSERT_EQ(GetFeatures(tree, Disk(DiskKind::kOfaNvm), 0x04, &dw0), 1);
  const PassCall& c = dev.calls[0];
  EXPECT_EQ(c.code, w::kIoctlScsiMiniport);
  ASSERT_EQ(c.bytes.size(), 152u);
  EXPECT_EQ(std::vector<uint8_t>(c.bytes.begin(), c.bytes.begin() + 28),
            Hex("1C 00 00 00 4E 76 6D 65 4D 69 6E 69 28 00 00 00  00 20 00 E0 00 00 00 00 7C 00 00 00"));
  EXPECT_EQ(c.bytes[52], 0x0A);
  EXPECT_EQ(U32(c.bytes, 52 + 40), 4u);
  EXPECT_EQ(std::vector<uint8_t>(c.bytes.begin() + 132, c.bytes.end()),
            Hex("00 00 00 00 00 00 00 00 98 00 00 00 00 00 00 00 98 00 00 00"));
  EXPECT_EQ(dw0, 0xF00Du);

  struct Row {
    uint16_t status;
    uint8_t opcode;  // 0x10: a firmware commit
    int32_t rc;
  };
  const Row rows[] = {{0x0000, 0x0A, 1}, {0x0002, 0x0A, -74}, {0x000B, 0x0A, -74},
                      {0x010B, 0x0A, -74}, {0x010B, 0x10, 1},  {0x0106, 0x10, -74}};
  for (const Row& r : rows) {
    status = r.status;
    const int32_t rc = r.opcode == 0x10 ? FirmwareCommit(tree, Disk(DiskKind::kOfaNvm), 1, 1, clock)
                                        : GetFeatures(tree, Disk(DiskKind::kOfaNvm), 4, &dw0);
    EXPECT_EQ(rc, r.rc) << std::hex << r.status;
  }

  status = 0;
  dev.calls.clear();
  std::vector<uint8_t> data(64);
  ASSERT_EQ(SecurityReceive(tree, Disk(DiskKind::kOfaNvm), 1, 2, data), 1);
  EXPECT_EQ(dev.calls[0].bytes.size(), 64u + 152u);
  EXPECT_EQ(U32(dev.calls[0].bytes, 132), 2u);  // device to host
  EXPECT_EQ(U32(dev.calls[0].bytes, 140), 216u);
  auto handle = tree.Open("h", platform::OpenAccess::kReadWrite);
  std::vector<uint8_t> image(8, 1);
  ASSERT_EQ(FirmwareDownloadChunk(*handle, Disk(DiskKind::kOfaNvm), 64, image), 1);
  EXPECT_EQ(dev.calls[1].bytes[52], 0x11);
  EXPECT_EQ(U32(dev.calls[1].bytes, 52 + 40), 1u);   // (8 - 1) / 4
  EXPECT_EQ(U32(dev.calls[1].bytes, 52 + 44), 16u);  // 64 / 4
  EXPECT_EQ(U32(dev.calls[1].bytes, 132), 1u);       // host to device

  dev.control = [](uint32_t, std::span<uint8_t>, uint32_t&) { return PassStatus::kFailed; };
  EXPECT_EQ(GetFeatures(tree, Disk(DiskKind::kOfaNvm), 4, &dw0), -74);
}

TEST_F(WindowsRoutes, PathsThatDoNotOpenAndParametersRefusedBeforeAnyIo) {
  tree.failing = {"\\\\.\\scsi3:"};
  std::vector<uint8_t> data(512);
  EXPECT_EQ(Identify(tree, Disk(DiskKind::kOfaNvm), 1, 0, data), -1);
  tree.opened.clear();
  for (size_t length : {size_t{0}, size_t{6}, kMaxLogPageBytes + 4}) {
    std::vector<uint8_t> page(length);
    EXPECT_EQ(GetLogPage(tree, Disk(DiskKind::kJmi), 2, 0, false, page), -2) << length;
  }
  EXPECT_EQ(GetLogPage(tree, Disk(DiskKind::kJmi), 2, 0x80, false, data), -2);
  EXPECT_TRUE(tree.opened.empty());
  EXPECT_TRUE(dev.calls.empty());
}

}  // namespace
}  // namespace kestrune::disk
