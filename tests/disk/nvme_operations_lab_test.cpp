// The NVMe operations end to end on the simulated lab: every driver path carries every operation
// the way its table says, with the device-control requests of Windows and, where a backend has
// none, the raw entries of the system's drivers.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "base/bytes.h"
#include "disk/nvme_operations.h"
#include "disk/nvme_transport.h"
#include "sim/lab_firmware_image.h"
#include "sim/sim_lab.h"
#include "support/fake_host.h"

namespace kestrune::disk {
namespace {

using sim::Attachment;

constexpr uint64_t kCapacity = uint64_t{8} << 20;

sim::DriveDescription Drive(Attachment a, uint32_t n) {
  sim::DriveDescription d;
  d.name = "D" + std::to_string(n);
  d.attachment = a;
  d.deviceNumber = n;
  d.scsiPort = n;
  d.pathId = n;
  d.model = "LAB DRIVE " + std::to_string(n);
  d.serial = "S" + std::to_string(n);
  d.firmware = "OLD" + std::to_string(n);
  d.capacityBytes = kCapacity;
  if (sim::IsUsbAttachment(a)) d.usbPorts = {n + 1};
  d.inquiry = sim::DefaultInquiry(a, d.model, d.firmware);
  return d;
}

const Attachment kAttachments[] = {Attachment::kNvmeInbox,   Attachment::kNvmeCommunity, Attachment::kNvmeRst,
                                   Attachment::kUsbJmicron,  Attachment::kUsbAsm2362,    Attachment::kUsbAsm2364,
                                   Attachment::kUsbRtl9210B, Attachment::kUsbRtl9210};

// A tree whose handles have no device-control requests, as on Linux: the routes send raw entries.
class NoControlTree final : public platform::DeviceTree {
 public:
  explicit NoControlTree(platform::DeviceTree& inner) : inner_(inner) {}
  platform::DeviceSnapshot Enumerate() override { return inner_.Enumerate(); }
  std::unique_ptr<platform::Device> Open(const std::string& path, platform::OpenAccess a) override {
    std::unique_ptr<platform::Device> d = inner_.Open(path, a);
    return d ? std::make_unique<Handle>(std::move(d)) : nullptr;
  }
  bool Rescan() override { return true; }
  bool RemoveNode(const std::string&) override { return false; }
  bool SetNodeEnabled(const std::string&, bool) override { return false; }

 private:
  class Handle final : public platform::Device {
   public:
    explicit Handle(std::unique_ptr<platform::Device> d) : d_(std::move(d)) {}
    std::optional<uint64_t> Read(uint64_t o, std::span<uint8_t> b) override { return d_->Read(o, b); }
    std::optional<uint64_t> Write(uint64_t o, std::span<const uint8_t> b, bool f) override { return d_->Write(o, b, f); }
    bool Flush() override { return d_->Flush(); }
    bool Trim(uint64_t o, uint64_t l) override { return d_->Trim(o, l); }
    std::optional<uint64_t> LengthBytes() override { return d_->LengthBytes(); }
    std::optional<uint32_t> SectorSize() override { return d_->SectorSize(); }
    std::optional<bool> WriteCacheEnabled() override { return d_->WriteCacheEnabled(); }
    std::optional<bool> TrimSupported() override { return d_->TrimSupported(); }
    platform::PassStatus Scsi(std::span<const uint8_t> c, platform::DataDirection dir, std::span<uint8_t> data,
                              uint32_t t, platform::ScsiResult& r) override {
      return d_->Scsi(c, dir, data, t, r);
    }
    platform::PassStatus Ata(platform::AtaRegisters& r, platform::DataDirection dir, std::span<uint8_t> data,
                             uint32_t t) override {
      return d_->Ata(r, dir, data, t);
    }
    platform::PassStatus Nvme(platform::NvmeRoute route, platform::NvmeQueue q, std::span<const uint8_t, 64> e,
                              platform::DataDirection dir, std::span<uint8_t> data, uint32_t t,
                              platform::NvmeCompletion& c) override {
      return d_->Nvme(route, q, e, dir, data, t, c);
    }

   private:
    std::unique_ptr<platform::Device> d_;
  };
  platform::DeviceTree& inner_;
};

class NvmeOperationsLab : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    sim::LabDescription lab;
    for (uint32_t n = 0; n < std::size(kAttachments); ++n) lab.drives.push_back(Drive(kAttachments[n], n));
    std::string error;
    lab_ = sim::SimLab::Create(lab, dir.path(), host, error);
    ASSERT_TRUE(lab_) << error;
    if (GetParam()) noControl_ = std::make_unique<NoControlTree>(*lab_);
    SetAsmediaSingleFirst(NvmeOperation::kIdentify, false);
    SetAsmediaSingleFirst(NvmeOperation::kGetLogPage, false);
  }

  platform::DeviceTree& tree() { return noControl_ ? static_cast<platform::DeviceTree&>(*noControl_) : *lab_; }
  bool windows() const { return !GetParam(); }

  DiskEntry Entry(uint32_t n) const {
    DiskEntry e;
    e.diskKind = sim::ExpectedKind(kAttachments[n]);
    e.devicePath = e.physicalPath = sim::PhysicalDrivePath(n);
    e.scsiPortPath = sim::ScsiPortPath(n);
    e.pathId = n;
    e.sectorSize = 512;
    return e;
  }
  // The path the firmware update keeps open: the SCSI port for kinds 11-12, the disk otherwise.
  std::string FirmwarePath(const DiskEntry& e) const {
    return e.diskKind == DiskKind::kOfaNvm || e.diskKind == DiskKind::kIrstNvm ? e.scsiPortPath : e.devicePath;
  }
  std::string Model(uint32_t n, std::string* firmware = nullptr) {
    std::vector<uint8_t> id(4096);
    EXPECT_EQ(Identify(tree(), Entry(n), 1, 0, id), 1) << n;
    if (firmware) *firmware = std::string(id.begin() + 64, id.begin() + 72);
    std::string model(id.begin() + 24, id.begin() + 64);
    return model.substr(0, model.find_last_not_of(' ') + 1);
  }

  kestrune::testing::TempDir dir;
  kestrune::testing::FakeHost host;
  std::unique_ptr<sim::SimLab> lab_;
  std::unique_ptr<NoControlTree> noControl_;
};

TEST_P(NvmeOperationsLab, IdentifyAndLogPagesOnEveryRoute) {
  for (uint32_t n = 0; n < std::size(kAttachments); ++n) {
    EXPECT_EQ(Model(n), "LAB DRIVE " + std::to_string(n));
    std::vector<uint8_t> ns(4096);
    ASSERT_EQ(Identify(tree(), Entry(n), 0, 1, ns), 1) << n;
    EXPECT_EQ(base::GetLe64(ns.data()), kCapacity / 512) << n;
    std::vector<uint8_t> smart(512);
    ASSERT_EQ(GetLogPage(tree(), Entry(n), 0x02, 0, false, smart), 1) << n;
    EXPECT_EQ(base::GetLe16(&smart[1]), sim::kCompositeTemperatureKelvin) << n;
    std::vector<uint8_t> effects(4096);
    ASSERT_EQ(GetLogPage(tree(), Entry(n), 0x05, 0, false, effects), 1) << n;
    EXPECT_EQ(base::GetLe32(&effects[4 * 0x06]), 1u) << n;
    std::vector<uint8_t> bad(512);
    EXPECT_EQ(GetLogPage(tree(), Entry(n), 0x42, 0, false, bad), -74) << n;  // no such log page
  }
}

TEST_P(NvmeOperationsLab, FeaturesOnEveryRoute) {
  for (uint32_t n = 0; n < std::size(kAttachments); ++n) {
    const DiskEntry e = Entry(n);
    uint32_t dw0 = 0;
    if (e.diskKind == DiskKind::kRtl9210) {
      EXPECT_EQ(GetFeatures(tree(), e, 0x04, &dw0), -79);
      continue;
    }
    ASSERT_EQ(GetFeatures(tree(), e, 0x04, &dw0), 1) << n;
    EXPECT_EQ(dw0, sim::kWarningTemperatureKelvin) << n;
    ASSERT_EQ(SetFeatures(tree(), e, 0x04, true, 350), 1) << n;
    ASSERT_EQ(GetFeatures(tree(), e, 0x04, &dw0), 1) << n;
    EXPECT_EQ(dw0, 350u) << n;
    EXPECT_EQ(SetFeatures(tree(), e, 0x07, true, 1), -74) << n;  // not saveable
  }
  lab_->PowerCut();
  uint32_t dw0 = 0;
  ASSERT_EQ(GetFeatures(tree(), Entry(0), 0x04, &dw0), 1);
  EXPECT_EQ(dw0, 350u);  // saved
}

TEST_P(NvmeOperationsLab, FirmwareUpdateOnEveryRoute) {
  const std::vector<uint8_t> image = sim::MakeLabImage("NEWFW001", 8192);
  for (uint32_t n = 0; n < std::size(kAttachments); ++n) {
    const DiskEntry e = Entry(n);
    std::unique_ptr<platform::Device> handle = tree().Open(FirmwarePath(e), platform::OpenAccess::kReadWrite);
    ASSERT_TRUE(handle) << n;
    for (uint32_t offset = 0; offset < image.size(); offset += 4096) {
      ASSERT_EQ(FirmwareDownloadChunk(*handle, e, offset, std::span<const uint8_t>(image).subspan(offset, 4096)), 1)
          << n << " @" << offset;
    }
    ASSERT_EQ(FirmwareCommit(tree(), e, 2, 1, host), 1) << n;
  }
  lab_->PowerCut();
  for (uint32_t n = 0; n < std::size(kAttachments); ++n) {
    std::string firmware;
    Model(n, &firmware);
    EXPECT_EQ(firmware, "NEWFW001") << n;
  }
}

TEST_P(NvmeOperationsLab, FormatSecurityAndDeallocate) {
  std::vector<uint8_t> data(4096, 0x6B), back(4096);
  for (uint32_t n = 0; n < std::size(kAttachments); ++n) {
    const DiskEntry e = Entry(n);
    std::unique_ptr<platform::Device> disk = lab_->Open(e.devicePath, platform::OpenAccess::kReadWrite);
    auto zeroAt = [&](uint64_t offset) {
      EXPECT_EQ(disk->Read(offset, back), back.size());
      return std::all_of(back.begin(), back.end(), [](uint8_t b) { return b == 0; });
    };
    // Deallocate: kind 10 goes to the community miniport (which a drive on the inbox driver does not
    // have); the RTL9210 CDB carries only the opcode and CDW10 bits 0-7, which the drive does not
    // take as a Dataset Management.
    ASSERT_EQ(disk->Write(0, data, true), data.size());
    const bool trims = e.diskKind != DiskKind::kNvm && e.diskKind != DiskKind::kRtl9210;
    EXPECT_EQ(Deallocate(tree(), e, 0, 8), trims ? 1 : -74) << n;
    EXPECT_EQ(zeroAt(0), trims) << n;

    std::vector<uint8_t> list(16);
    ASSERT_EQ(SecurityReceive(tree(), e, 0, 0, list), 1) << n;
    EXPECT_EQ(list[9], 0xEF) << n;
    std::vector<uint8_t> password(32, 'p');
    // The RTL9210 CDB does not carry the protocol: the drive refuses protocol 0 for a send.
    EXPECT_EQ(SecuritySend(tree(), e, 0xEF, 5, password), e.diskKind == DiskKind::kRtl9210 ? -74 : 1) << n;

    ASSERT_EQ(disk->Write(8192, data, true), data.size());
    ASSERT_EQ(FormatAll(tree(), e), 1) << n;
    // The RTL9210 CDB drops the erase setting: that format leaves the data.
    EXPECT_EQ(zeroAt(8192), e.diskKind != DiskKind::kRtl9210) << n;
  }
}

TEST_P(NvmeOperationsLab, RawAdminCommands) {
  for (uint32_t n = 0; n < std::size(kAttachments); ++n) {
    const DiskEntry e = Entry(n);
    NvmeCommand record;
    record.SetCdw(10, 1);
    std::vector<uint8_t> data(4096);
    const bool carried = e.diskKind != DiskKind::kRtl9210;
    EXPECT_EQ(RawAdmin(tree(), e, NvmeDirection::kIn, 0x06, 0, record, data), carried ? 1 : -79) << n;
    if (carried) EXPECT_EQ(std::string(data.begin() + 24, data.begin() + 33), "LAB DRIVE") << n;
    EXPECT_EQ(RawAdmin(tree(), e, NvmeDirection::kNone, 0xC5, 0, record, {}), carried ? -74 : -79) << n;
  }
}

TEST_P(NvmeOperationsLab, InjectedCommandFailuresAreFailuresOnEveryRoute) {
  for (uint32_t n = 0; n < std::size(kAttachments); ++n) {
    sim::FaultPlan plan;
    plan.nvmeFailures = {{sim::NvmeFaultKey(false, 0x06), 0x0002}};
    lab_->drives()[n]->set_faults(plan);
    std::vector<uint8_t> id(4096);
    EXPECT_EQ(Identify(tree(), Entry(n), 1, 0, id), -74) << n;
    lab_->drives()[n]->set_faults({});
  }
}

TEST_P(NvmeOperationsLab, AsmediaFallsBackToTheSingleForm) {
  sim::FaultPlan plan;
  plan.bridgeCheckPhases = sim::bridge_phase::kCommand;
  lab_->drives()[4]->set_faults(plan);
  EXPECT_EQ(Model(4), "LAB DRIVE 4");
  EXPECT_TRUE(AsmediaSingleFirst(NvmeOperation::kIdentify));
  EXPECT_FALSE(AsmediaSingleFirst(NvmeOperation::kGetLogPage));
  uint32_t dw0 = 0;
  EXPECT_EQ(GetFeatures(tree(), Entry(4), 0x06, &dw0), -74);  // three-phase only
}

INSTANTIATE_TEST_SUITE_P(Backends, NvmeOperationsLab, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "RawEntries" : "DeviceControl"; });

}  // namespace
}  // namespace kestrune::disk
