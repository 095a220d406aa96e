// The download plan against what the system's own route carries: the table crosses the route's
// limit (disk kind), FWUG, MDTS and the system's limit and alignment; the lab cases ask the limit
// through a handle, as an update does (the inbox driver's firmware information query, the
// handle's own limit on the other routes).
#include <gtest/gtest.h>

#include <algorithm>

#include "devcmd/firmware_plan.h"
#include "disk/nvme_operations.h"
#include "disk/sector_lab.h"

namespace kestrune::devcmd {
namespace {

using K = disk::DiskKind;

struct SystemCase {
  const char* what;
  K kind;
  uint8_t fwug, mdts;
  platform::TransferLimit system;
  uint64_t bytes;
  int32_t code;
  uint32_t pieceBytes;  // and the number of pieces, when planned
  size_t pieces;
  const char* detail;   // a part of the refusal's detail
};

TEST(FirmwarePlanSystemLimit, RouteByFwugByMdtsBySystem) {
  constexpr uint32_t k = 4096;
  const SystemCase cases[] = {
      {"nothing limits", K::kNvm, 0, 0, {}, 3 * k, 0, k, 3, ""},
      {"system 4096 exactly", K::kNvm, 0, 0, {k, 0}, 3 * k, 0, k, 3, ""},
      {"system below 4096", K::kNvm, 0, 0, {2048, 0}, 3 * k, -2, 0, 0, "2048 bytes a transfer, below 4096"},
      {"system 0 is no limit, FWUG 16", K::kNvm, 16, 0, {0, 0}, 32 * k, 0, 16 * k, 2, ""},
      {"system 128 KiB carries FWUG 16", K::kNvm, 16, 0, {32 * k, 0}, 32 * k, 0, 16 * k, 2, ""},
      {"system 32 KiB below FWUG 16", K::kNvm, 16, 0, {8 * k, 0}, 32 * k, -2, 0, 0,
       "above the 32768 bytes the system's route carries"},
      {"max_hw_sectors_kb 512, MDTS 5, FWUG 16", K::kNvm, 16, 5, {512 * 1024, 0}, 32 * k, 0, 16 * k, 2, ""},
      {"MDTS 3 binds before the system", K::kNvm, 16, 3, {1 << 20, 0}, 32 * k, -2, 0, 0,
       "granularity 65536 bytes above the 32768"},
      {"RTL9210's 65535 B binds before the system", K::kRtl9210, 16, 0, {1 << 20, 0}, 32 * k, -2, 0, 0,
       "above the 65535 bytes"},
      {"RTL9210, system 8 KiB, plain pieces", K::kRtl9210, 0, 0, {2 * k, 0}, 3 * k, 0, k, 3, ""},
      {"JMicron, system 32 KiB carries FWUG 8", K::kJmi, 8, 0, {8 * k, 0}, 16 * k, 0, 8 * k, 2, ""},
      {"JMicron, system 16 KiB below FWUG 8", K::kJmi, 8, 0, {4 * k, 0}, 16 * k, -2, 0, 0,
       "above the 16384 bytes the system's route carries"},
      {"alignment 512 divides the piece", K::kNvm, 0, 0, {0, 512}, 3 * k, 0, k, 3, ""},
      {"alignment 8192 doubles the piece", K::kNvm, 0, 0, {0, 2 * k}, 4 * k, 0, 2 * k, 2, ""},
      {"alignment 8192, odd page count", K::kNvm, 0, 0, {0, 2 * k}, 3 * k, -2, 0, 0, "8192-byte alignment"},
      {"alignment 3000 leaves no piece under MDTS 5", K::kNvm, 0, 5, {0, 3000}, 3 * k, -2, 0, 0,
       "3000-byte alignment"},
      {"alignment 8192 above the system's 4096", K::kNvm, 0, 0, {k, 2 * k}, 4 * k, -2, 0, 0,
       "above the 4096 bytes the system's route carries"},
  };
  for (const SystemCase& c : cases) {
    SCOPED_TRACE(c.what);
    const FirmwareCaps caps{0x06, c.fwug, c.mdts, 0};
    const DownloadPlan p = PlanDownload(caps, c.kind, c.bytes, 2, c.system);
    EXPECT_EQ(p.code, c.code) << p.detail;
    if (c.code != 0) {
      EXPECT_TRUE(p.pieces.empty());
      EXPECT_NE(p.detail.find(c.detail), std::string::npos) << p.detail;
      continue;
    }
    EXPECT_EQ(p.pieceBytes, c.pieceBytes);
    ASSERT_EQ(p.pieces.size(), c.pieces);
    for (const DownloadPiece& piece : p.pieces) {
      EXPECT_EQ(piece.offset % c.pieceBytes, 0u);
      if (c.system.maxBytes != 0) {
        EXPECT_LE(piece.length, c.system.maxBytes);
      }
      if (c.system.alignment != 0) {
        EXPECT_EQ(piece.length % c.system.alignment, 0u);
      }
    }
  }
}

// An inbox NVMe drive (the firmware information query) and one behind a USB bridge (the handle's
// own limit), each with the system limits given.
sim::LabDescription LimitLab(platform::TransferLimit inbox, platform::TransferLimit bridge) {
  using disk::testing::kMiB;
  sim::LabDescription lab;
  sim::DriveDescription nvme = disk::testing::LabDrive("NVMe0", sim::Attachment::kNvmeInbox, 0, 512, 64 * kMiB);
  nvme.nvmeFirmware.systemMaxTransfer = inbox.maxBytes;
  nvme.nvmeFirmware.systemAlignment = inbox.alignment;
  lab.drives.push_back(nvme);
  sim::DriveDescription usb = disk::testing::LabDrive("Bridge1", sim::Attachment::kUsbAsm2362, 1, 512, 16 * kMiB);
  usb.nvmeFirmware.systemMaxTransfer = bridge.maxBytes;
  usb.nvmeFirmware.systemAlignment = bridge.alignment;
  lab.drives.push_back(usb);
  return lab;
}

class LimitLabTest : public disk::testing::SectorLab {
 protected:
  LimitLabTest() : SectorLab(LimitLab({8192, 4096}, {2048, 0})) {}
  const disk::DiskEntry& Entry(const std::string& path) {
    const auto& list = state().list;
    const auto it = std::find_if(list.begin(), list.end(), [&](const disk::DiskEntry& e) { return e.devicePath == path; });
    EXPECT_NE(it, list.end()) << path;
    return *it;
  }
};

TEST_F(LimitLabTest, ThePlanAsksTheSystemThroughTheDisksHandle) {
  const FirmwareCaps caps{0x06, 0, 0, 0};
  lab->requestLog().Clear();
  // The inbox driver answers 8 KiB with 4 KiB alignment: 4 KiB pieces go; FWUG 4 (16 KiB) cannot.
  const DownloadPlan inbox = PlanDiskDownload(tree(), Entry("\\\\.\\PHYSICALDRIVE0"), caps, 4 * 4096, 2);
  EXPECT_EQ(inbox.code, 0) << inbox.detail;
  EXPECT_EQ(inbox.pieceBytes, 4096u);
  const DownloadPlan coarse =
      PlanDiskDownload(tree(), Entry("\\\\.\\PHYSICALDRIVE0"), FirmwareCaps{0x06, 4, 0, 0}, 4 * 4096, 2);
  EXPECT_EQ(coarse.code, -2);
  EXPECT_NE(coarse.detail.find("8192 bytes the system's route carries"), std::string::npos) << coarse.detail;
  // The bridge's handle reports 2 KiB: refused before anything is sent.
  const DownloadPlan bridge = PlanDiskDownload(tree(), Entry("\\\\.\\PHYSICALDRIVE1"), caps, 4 * 4096, 2);
  EXPECT_EQ(bridge.code, -2);
  EXPECT_NE(bridge.detail.find("2048 bytes a transfer"), std::string::npos) << bridge.detail;
  size_t queries = 0;
  for (const sim::RequestRecord& r : lab->requestLog().Records()) {
    if (r.operation == "FirmwareGetInfo") ++queries;
    ASSERT_EQ(r.command.empty() ? 0 : r.command[0], 0) << "an NVMe command went out: " << r.operation;
  }
  EXPECT_EQ(queries, 2u);
}

TEST_F(LimitLabTest, TheInboxDriverRefusesAPieceAboveItsOwnLimit) {
  const disk::DiskEntry& d = Entry("\\\\.\\PHYSICALDRIVE0");
  std::unique_ptr<platform::Device> device = tree().Open(disk::NvmePathOf(d), platform::OpenAccess::kReadWrite);
  ASSERT_TRUE(device);
  const std::vector<uint8_t> piece(4 * 4096, 0x5A);
  EXPECT_LT(disk::FirmwareDownloadChunk(*device, d, 0, piece, nullptr), 0);
  EXPECT_EQ(disk::FirmwareDownloadChunk(*device, d, 0, std::span(piece).first(4096), nullptr), disk::kNvmeDone);
}

}  // namespace
}  // namespace kestrune::devcmd
