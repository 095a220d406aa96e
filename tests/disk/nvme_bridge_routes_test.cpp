// The USB bridge routes of the NVMe operations: the CDB sequence of each form, what each phase
// carries, the reading of the completion, phase failures, and the ASMedia form order.
#include <gtest/gtest.h>

#include "base/bytes.h"
#include "base/text.h"
#include "disk/bridge_probe.h"
#include "disk/nvme_operations.h"
#include "disk/nvme_transport.h"
#include "platform/hex_bytes.h"
#include "scripted_device.h"

namespace kestrune::disk {
namespace {

using kestrune::testing::Hex;
using platform::DataDirection;
using platform::PassStatus;
using testing::PassCall;

DiskEntry Bridge(DiskKind kind) {
  DiskEntry e;
  e.diskKind = kind;
  e.devicePath = "disk";
  e.volumePath = "vol";
  return e;
}

// A bridge that answers every phase GOOD; the completion carries dw0 and status at the form's place.
struct FakeBridge {
  uint32_t dw0 = 0x11223344;
  uint16_t status = 0;       // NVMe status field of the completion entry
  uint8_t scsiStatus = 0;    // of every phase
  int failPhase = -1;        // index of the CDB (in order) whose request fails
  int calls = 0;

  PassStatus operator()(std::span<const uint8_t> cdb, std::span<uint8_t> data, platform::ScsiResult& r) {
    if (calls++ == failPhase) return PassStatus::kFailed;
    r.status = scsiStatus;
    const bool completion = (cdb[0] == 0xEB && cdb[2] == 0x82) || (cdb[0] == 0xA1 && (cdb[1] & 0x7F) == 0x0F) ||
                            (cdb[0] == 0xE4 && cdb[3] == 0xF9);
    if (completion) {
      const size_t at = cdb[0] == 0xEB ? 0 : 8;
      std::fill(data.begin(), data.end(), uint8_t{0xCC});
      base::PutLe32(&data[at], dw0);
      if (cdb[0] != 0xE4) base::PutLe16(&data[at + 14], static_cast<uint16_t>(status << 1 | 1));
    } else if (cdb[0] == 0xE6 || (cdb[0] == 0xE4 && cdb[3] != 0xF8)) {
      if (!data.empty()) base::PutLe32(data.data(), dw0);
    }
    return PassStatus::kOk;
  }
};

std::vector<uint8_t> Cdb(const PassCall& c) { return c.bytes; }

class BridgeRoutes : public ::testing::Test {
 protected:
  void SetUp() override {
    SetAsmediaSingleFirst(NvmeOperation::kIdentify, false);
    SetAsmediaSingleFirst(NvmeOperation::kGetLogPage, false);
  }
  void TearDown() override { SetUp(); }
  void Answer(FakeBridge& b) {
    dev.scsi = [&b](std::span<const uint8_t> cdb, std::span<uint8_t> data, platform::ScsiResult& r) {
      return b(cdb, data, r);
    };
  }
  testing::ScriptedTree tree;
  testing::ScriptedDevice& dev = tree.device;
};

TEST_F(BridgeRoutes, AsmediaThreePhaseIdentify) {
  FakeBridge bridge;
  Answer(bridge);
  std::vector<uint8_t> data(4096, 0xEE);
  uint32_t dw0 = 0;
  ASSERT_EQ(Identify(tree, Bridge(DiskKind::kAsm2364), 1, 0, data, &dw0), 1);
  EXPECT_EQ(tree.opened, std::vector<std::string>{"vol"});
  ASSERT_EQ(dev.calls.size(), 3u);
  EXPECT_EQ(Cdb(dev.calls[0]), Hex("EA 5A 80 00 01 00 00 00 00 00 00 00 00 40 00 00"));
  EXPECT_EQ(dev.calls[0].direction, DataDirection::kOut);
  ASSERT_EQ(dev.calls[0].data.size(), 64u);
  EXPECT_EQ(dev.calls[0].data[0], 0x06);
  EXPECT_EQ(dev.calls[0].data[40], 0x01);
  EXPECT_EQ(Cdb(dev.calls[1]), Hex("EB 5A 81 00 01 00 00 00 00 00 00 00 10 00 00 00"));
  EXPECT_EQ(dev.calls[1].direction, DataDirection::kIn);
  EXPECT_EQ(dev.calls[1].length, 4096u);
  EXPECT_EQ(Cdb(dev.calls[2]), Hex("EB 5A 82 00 01 00 00 00 00 00 00 00 00 10 00 00"));
  EXPECT_EQ(dev.calls[2].length, 16u);
  EXPECT_EQ(dw0, 0x11223344u);
  EXPECT_EQ(data[0], 0);  // zeroed before the data phase; the bridge put nothing there
}

TEST_F(BridgeRoutes, AsmediaCompletionDoesNotTouchTheCallersRecord) {
  FakeBridge bridge;
  Answer(bridge);
  NvmeCommand record;
  record.SetCdw(12, 0x82);
  record.SetCdw(13, 3);
  const NvmeCommand before = record;
  ASSERT_EQ(RawAdmin(tree, Bridge(DiskKind::kAsm2362), NvmeDirection::kNone, 0xFC, 0xFFFFFFFF, record, {}), 1);
  ASSERT_EQ(RawAdmin(tree, Bridge(DiskKind::kAsm2362), NvmeDirection::kNone, 0xFC, 0xFFFFFFFF, record, {}), 1);
  EXPECT_EQ(record.bytes, before.bytes);
  ASSERT_EQ(dev.calls.size(), 6u);
  EXPECT_EQ(dev.calls[0].data, dev.calls[3].data);  // the same entry went out twice
  EXPECT_EQ(dev.calls[0].data[0], 0xFC);
  EXPECT_EQ(base::GetLe32(&dev.calls[0].data[48]), 0x82u);
  EXPECT_EQ(Cdb(dev.calls[1]), Hex("EB 5A 81 00 00 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(dev.calls[1].direction, DataDirection::kNone);
}

TEST_F(BridgeRoutes, PhaseOutcomes) {
  struct Row {
    const char* what;
    uint8_t scsiStatus;
    uint16_t nvmeStatus;
    int failPhase;
    uint8_t opcode;
    int32_t rc;
  };
  const Row rows[] = {
      {"all good", 0, 0, -1, 0xFC, 1},
      {"check condition", 2, 0, -1, 0xFC, -74},
      {"busy is no success either", 8, 0, -1, 0xFC, -74},
      {"controller refused", 0, 0x0002, -1, 0xFC, -74},
      {"command phase request fails", 0, 0, 0, 0xFC, -74},
      {"data phase request fails", 0, 0, 1, 0xFC, -74},
      {"data phase request fails for F7h", 0, 0, 1, 0xF7, 1},
      {"data phase of F7h still needs GOOD", 2, 0, -1, 0xF7, -74},
      {"completion request fails", 0, 0, 2, 0xF7, -74},
  };
  for (DiskKind kind : {DiskKind::kAsm2362, DiskKind::kJmi, DiskKind::kRtl9210B}) {
    for (const Row& r : rows) {
      FakeBridge bridge;
      bridge.scsiStatus = r.scsiStatus;
      bridge.status = r.nvmeStatus;
      bridge.failPhase = r.failPhase;
      Answer(bridge);
      const int32_t rc = RawAdmin(tree, Bridge(kind), NvmeDirection::kNone, r.opcode, 0, NvmeCommand{}, {});
      // RTL9210B completions carry no status field: that bridge reports a refusal by CHECK CONDITION.
      const int32_t expected = kind == DiskKind::kRtl9210B && r.nvmeStatus != 0 ? 1 : r.rc;
      EXPECT_EQ(rc, expected) << r.what << " on kind " << static_cast<int>(kind);
    }
  }
}

TEST_F(BridgeRoutes, JmicronPhases) {
  FakeBridge bridge;
  Answer(bridge);
  std::vector<uint8_t> data = {9, 8, 7, 6};
  uint32_t dw0 = 0;
  NvmeCommand record;
  ASSERT_EQ(RawAdmin(tree, Bridge(DiskKind::kJmi), NvmeDirection::kOut, 0xFD, 1, record, data, &dw0), 1);
  ASSERT_EQ(dev.calls.size(), 3u);
  EXPECT_EQ(Cdb(dev.calls[0]), Hex("A1 80 00 00 02 00 00 00 00 00 00 00 00 00 00 00"));
  ASSERT_EQ(dev.calls[0].data.size(), 512u);
  EXPECT_EQ(std::vector<uint8_t>(dev.calls[0].data.begin(), dev.calls[0].data.begin() + 13),
            Hex("4E 56 4D 45 00 00 00 00 FD 00 00 00 01"));
  EXPECT_EQ(Cdb(dev.calls[1]), Hex("A1 83 00 00 00 04 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(dev.calls[1].data, data);
  EXPECT_EQ(Cdb(dev.calls[2]), Hex("A1 8F 00 00 02 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(dev.calls[2].length, 512u);
  EXPECT_EQ(dw0, 0x11223344u);

  dev.calls.clear();
  ASSERT_EQ(Deallocate(tree, Bridge(DiskKind::kJmi), 100, 8), 1);
  EXPECT_EQ(dev.calls[0].bytes[1], 0x00);  // I/O queue
  EXPECT_EQ(dev.calls[0].data[8], 0x09);
  EXPECT_EQ(Cdb(dev.calls[1]), Hex("A1 03 00 00 10 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(base::GetLe64(&dev.calls[1].data[8]), 100u);
  EXPECT_EQ(dev.calls[2].bytes[1], 0x0F);
}

TEST_F(BridgeRoutes, Rtl9210BPhases) {
  FakeBridge bridge;
  Answer(bridge);
  std::vector<uint8_t> page(512);
  uint32_t dw0 = 0;
  ASSERT_EQ(GetLogPage(tree, Bridge(DiskKind::kRtl9210B), 0x02, 0, false, page, &dw0), 1);
  ASSERT_EQ(dev.calls.size(), 3u);
  EXPECT_EQ(Cdb(dev.calls[0]), Hex("E5 40 00 F7 00 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(base::GetLe32(&dev.calls[0].data[40]), 0x007F0002u);
  EXPECT_EQ(Cdb(dev.calls[1]), Hex("E4 00 02 F8 00 00 01 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(Cdb(dev.calls[2]), Hex("E4 10 00 F9 00 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(dw0, 0x11223344u);
  std::vector<uint8_t> tooLong(kMaxRtl9210Bytes + 1);
  EXPECT_EQ(Identify(tree, Bridge(DiskKind::kRtl9210B), 1, 0, tooLong), -2);
}

TEST_F(BridgeRoutes, Rtl9210SingleCdbs) {
  FakeBridge bridge;
  Answer(bridge);
  std::vector<uint8_t> data(4096);
  uint32_t dw0 = 5;
  ASSERT_EQ(Identify(tree, Bridge(DiskKind::kRtl9210), 1, 0, data, &dw0), 1);
  EXPECT_EQ(Cdb(dev.calls[0]), Hex("E4 00 10 06 01 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(dev.calls[0].direction, DataDirection::kIn);
  EXPECT_EQ(dw0, 0u);  // this form returns no completion dword

  ASSERT_EQ(SetFeatures(tree, Bridge(DiskKind::kRtl9210), 0x06, true, 1), 1);
  EXPECT_EQ(Cdb(dev.calls[1]), Hex("E4 00 00 09 06 00 00 00 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(dev.calls[1].direction, DataDirection::kNone);

  auto handle = tree.Open("vol", platform::OpenAccess::kReadWrite);
  std::vector<uint8_t> image(4096, 0xAB);
  ASSERT_EQ(FirmwareDownloadChunk(*handle, Bridge(DiskKind::kRtl9210), 4096, image), 1);
  EXPECT_EQ(Cdb(dev.calls[2]), Hex("E5 00 10 11 FF 03 00 04 00 00 00 00 00 00 00 00"));
  EXPECT_EQ(dev.calls[2].data, image);

  // No Get Features and no raw command on this bridge: refused before the path is opened.
  tree.opened.clear();
  dev.calls.clear();
  EXPECT_EQ(GetFeatures(tree, Bridge(DiskKind::kRtl9210), 0x06, &dw0), -79);
  EXPECT_EQ(RawAdmin(tree, Bridge(DiskKind::kRtl9210), NvmeDirection::kNone, 0xFC, 0, NvmeCommand{}, {}), -79);
  EXPECT_EQ(RawAdmin(*handle, Bridge(DiskKind::kRtl9210), NvmeDirection::kNone, 0xFC, 0, NvmeCommand{}, {}), -79);
  EXPECT_TRUE(tree.opened.empty());
  EXPECT_TRUE(dev.calls.empty());

  bridge.scsiStatus = 2;
  EXPECT_EQ(Identify(tree, Bridge(DiskKind::kRtl9210), 1, 0, data), -74);
}

TEST_F(BridgeRoutes, AsmediaFormOrderIsKeptPerOperation) {
  bool threePhaseWorks = false, singleWorks = true;
  dev.scsi = [&](std::span<const uint8_t> cdb, std::span<uint8_t>, platform::ScsiResult& r) {
    const bool single = cdb[0] == 0xE6;
    r.status = (single ? singleWorks : threePhaseWorks) ? 0 : 2;
    return PassStatus::kOk;
  };
  std::vector<uint8_t> data(4096);
  auto firstCdbs = [&]() {
    std::string s;
    for (const PassCall& c : dev.calls) s += base::Format("%02X ", c.bytes[0]);
    dev.calls.clear();
    return s;
  };
  ASSERT_EQ(Identify(tree, Bridge(DiskKind::kAsm2362), 1, 0, data), 1);
  EXPECT_EQ(firstCdbs(), "EA E6 ");  // three-phase fails at its command phase, the single form works
  ASSERT_EQ(Identify(tree, Bridge(DiskKind::kAsm2362), 1, 0, data), 1);
  EXPECT_EQ(firstCdbs(), "E6 ");      // single first from now on
  std::vector<uint8_t> page(512);
  ASSERT_EQ(GetLogPage(tree, Bridge(DiskKind::kAsm2364), 2, 0, false, page), 1);
  EXPECT_EQ(firstCdbs(), "EA E6 ");  // Get Log Page keeps its own order

  threePhaseWorks = true;
  singleWorks = false;
  ASSERT_EQ(Identify(tree, Bridge(DiskKind::kAsm2362), 1, 0, data), 1);
  EXPECT_EQ(firstCdbs(), "E6 EA EB EB ");
  EXPECT_FALSE(AsmediaSingleFirst(NvmeOperation::kIdentify));
  threePhaseWorks = false;
  EXPECT_EQ(Identify(tree, Bridge(DiskKind::kAsm2362), 1, 0, data), -74);
  EXPECT_FALSE(AsmediaSingleFirst(NvmeOperation::kIdentify));  // nothing worked: the order stays

  // Other operations use the three-phase form only.
  dev.calls.clear();
  EXPECT_EQ(FormatAll(tree, Bridge(DiskKind::kAsm2362)), -74);
  EXPECT_EQ(firstCdbs(), "EA ");
}

TEST_F(BridgeRoutes, LengthLimits) {
  FakeBridge bridge;
  Answer(bridge);
  std::vector<uint8_t> big(kMaxJmicronBytes + 1);
  NvmeCommand record;
  EXPECT_EQ(RawAdmin(tree, Bridge(DiskKind::kJmi), NvmeDirection::kIn, 0xFE, 0, record, big), -2);
  big.resize(kMaxRtl9210Bytes + 1);
  EXPECT_EQ(RawAdmin(tree, Bridge(DiskKind::kRtl9210B), NvmeDirection::kIn, 0xFE, 0, record, big), -2);
  EXPECT_EQ(SecurityReceive(tree, Bridge(DiskKind::kRtl9210), 0, 0, big), -2);
  EXPECT_TRUE(dev.calls.empty());
}

TEST_F(BridgeRoutes, ProbeFormsSendIdentifyController) {
  FakeBridge bridge;
  Answer(bridge);
  std::vector<uint8_t> data(4096);
  const std::pair<BridgeForm, uint8_t> forms[] = {{BridgeForm::kAsmediaThreePhase, 0xEA},
                                                  {BridgeForm::kJmicron, 0xA1},
                                                  {BridgeForm::kRtl9210B, 0xE5},
                                                  {BridgeForm::kRtl9210, 0xE4}};
  for (const auto& [form, first] : forms) {
    dev.calls.clear();
    EXPECT_TRUE(IdentifyThroughBridge(dev, form, data));
    EXPECT_EQ(dev.calls[0].bytes[0], first);
  }
  // The probe tries the ASMedia three-phase form only, and leaves the form order alone.
  bridge.scsiStatus = 2;
  EXPECT_FALSE(IdentifyThroughBridge(dev, BridgeForm::kAsmediaThreePhase, data));
  EXPECT_FALSE(AsmediaSingleFirst(NvmeOperation::kIdentify));
}

}  // namespace
}  // namespace kestrune::disk
