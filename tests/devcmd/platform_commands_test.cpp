// The platform control commands on the lab: what the test environments refuse outside the lab,
// and how the configuration access's failures and a header cut short by the system reach the
// script.
#include "devcmd/platform_commands.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "base/bytes.h"
#include "devcmd/pci_express.h"
#include "devcmd/platform_access.h"
#include "devcmd/power_station.h"
#include "disk/sector_lab.h"
#include "sim/lab_pci.h"
#include "sim/lab_system_facts.h"

namespace kestrune::devcmd {
namespace {

using platform::PciAccessFailure;

// An access whose sessions do not open for a reason, or that shows only the first 64 bytes of
// the lab's header (what Linux gives an unprivileged reader).
class FakeAccess final : public platform::PciConfig {
 public:
  FakeAccess(platform::PciConfig& lab, PciAccessFailure failure, uint32_t shown)
      : lab_(lab), failure_(failure), shown_(shown) {}
  std::unique_ptr<platform::PciConfigSession> Open(const platform::PciFunction& fn, PciAccessFailure& failure,
                                                   std::string& why) override {
    if (failure_ != PciAccessFailure::kNone) {
      failure = failure_;
      why = "the fake refuses";
      return nullptr;
    }
    return std::make_unique<Short>(lab_.Open(fn, failure, why), shown_);
  }
  bool Simulated() const override { return false; }

 private:
  struct Short final : platform::PciConfigSession {
    Short(std::unique_ptr<platform::PciConfigSession> s, uint32_t shown)
        : inner(std::move(s)), shown(shown) {}
    std::optional<uint32_t> Read(uint32_t offset, std::span<uint8_t> b, PciAccessFailure& f,
                                 std::string& w) override {
      std::optional<uint32_t> n = inner->Read(offset, b, f, w);
      for (size_t i = shown; i < b.size(); ++i) b[i] = 0;
      return n ? std::min(*n, shown) : n;
    }
    bool Write(uint32_t o, std::span<const uint8_t> d, PciAccessFailure& f, std::string& w) override {
      return inner->Write(o, d, f, w);
    }
    std::unique_ptr<platform::PciConfigSession> inner;
    uint32_t shown;
  };
  platform::PciConfig& lab_;
  PciAccessFailure failure_;
  uint32_t shown_;
};

// An access that changes what the sessions of one function read: edit gets the header bytes.
class EditingAccess final : public platform::PciConfig {
 public:
  using Edit = std::function<void(std::span<uint8_t>)>;
  EditingAccess(platform::PciConfig& lab, platform::PciFunction target, Edit edit)
      : lab_(lab), target_(std::move(target)), edit_(std::move(edit)) {}
  std::unique_ptr<platform::PciConfigSession> Open(const platform::PciFunction& fn, PciAccessFailure& failure,
                                                   std::string& why) override {
    std::unique_ptr<platform::PciConfigSession> inner = lab_.Open(fn, failure, why);
    const bool edited = fn.bus == target_.bus && fn.device == target_.device && fn.function == target_.function;
    if (!inner || !edited) return inner;
    return std::make_unique<Edited>(std::move(inner), edit_);
  }
  bool Simulated() const override { return true; }

 private:
  struct Edited final : platform::PciConfigSession {
    Edited(std::unique_ptr<platform::PciConfigSession> s, Edit e) : inner(std::move(s)), edit(std::move(e)) {}
    std::optional<uint32_t> Read(uint32_t offset, std::span<uint8_t> b, PciAccessFailure& f,
                                 std::string& w) override {
      std::optional<uint32_t> n = inner->Read(offset, b, f, w);
      if (n && offset == 0 && b.size() >= platform::kPciHeaderBytes) edit(b);
      return n;
    }
    bool Write(uint32_t o, std::span<const uint8_t> d, PciAccessFailure& f, std::string& w) override {
      return inner->Write(o, d, f, w);
    }
    std::unique_ptr<platform::PciConfigSession> inner;
    Edit edit;
  };
  platform::PciConfig& lab_;
  platform::PciFunction target_;
  Edit edit_;
};

// The block I/O lab with a root port above the first NVMe drive's controller.
sim::LabDescription LabWithRootPort() {
  sim::LabDescription lab = disk::testing::SectorTestLab();
  lab.drives[0].pcie.rootPort = {{0, 28, 0}};
  return lab;
}

class PlatformCommands : public disk::testing::SectorLab {
 protected:
  PlatformCommands() : SectorLab(LabWithRootPort()) {
    EXPECT_TRUE(RegisterPlatformCommands(interp).empty());
    interp.view(0).logFolder = dir.path();
    PlatformAccessOf(interp) = {&lab->pciConfig(), &facts};
    StationOf(interp).Configure({}, nullptr, nullptr, true);
    Select(disk::testing::kRawNvme);
    const sim::DriveDescription& d = Drive(disk::testing::kRawNvme)->description();
    bus = d.pciBus, device = d.pciDevice, function = d.pciFunction;
  }
  std::optional<uint32_t> Retrained() { return lab->pciConfig().RetrainedGeneration(bus, device, function); }
  std::vector<std::string> BodyTexts() const {
    std::vector<std::string> out;
    for (const engine::OutputLine& l : Body()) out.push_back(l.text);
    return out;
  }

  sim::LabSystemFacts facts;
  uint32_t bus = 0, device = 0, function = 0;
};

TEST_F(PlatformCommands, MachineChangesAreRefusedOutsideTheLabInTheTestEnvironment) {
  ::setenv("KESTRUNE_NO_POWER", "1", 1);
  StationOf(interp).Configure({}, nullptr, nullptr, false);  // as if the devices were the system's
  for (const char* call : {"SetSystem_PCISpeed( Gen:1 );", "SetSystem_NVMeEnable( Enable:FALSE );",
                           "SetSystem_HMB( HmbSet:1 );"}) {
    Run(call);
    EXPECT_EQ(Code(), -255) << call;
    EXPECT_EQ(Description(), "Error. Power actions are off here (KESTRUNE_NO_POWER or CI)") << call;
  }
  EXPECT_EQ(Retrained(), std::nullopt) << "nothing was written";
  EXPECT_TRUE(Drive(disk::testing::kRawNvme)->Present());
  EXPECT_EQ(facts.HmbPolicy().value, std::nullopt);

  StationOf(interp).Configure({}, nullptr, nullptr, true);  // the lab changes nothing real
  Run("SetSystem_PCISpeed( Gen:1 );");
  EXPECT_EQ(Code(), 0) << Description();
  EXPECT_EQ(Retrained(), 1u);
  EXPECT_EQ(BodyTexts().back(), "Current Link Gen x Lane: 1 x 4 ");
}

// SetSystem_PCISpeed asks both ends for the speed and the port above for the retrain, waits for
// the training to end and holds the speed the link came up at against the one asked for.
TEST_F(PlatformCommands, TheLinkSpeedIsSetAtBothEndsAndReadBack) {
  const platform::PciFunction port{0, 28, 0, ""};
  const uint32_t cap = sim::kLabPortPcieCapability;
  auto status = [cap](std::span<uint8_t> h, uint16_t set, uint16_t clear) {
    const uint16_t v = static_cast<uint16_t>((base::GetLe16(h.data() + cap + kLinkStatus) & ~clear) | set);
    base::PutLe16(h.data() + cap + kLinkStatus, v);
  };
  struct Case {
    const char* what;
    int gen;
    EditingAccess::Edit portEdit;  // empty: the lab as it is
    int32_t code;
    const char* description;
    std::optional<uint32_t> retrained;
  } cases[] = {
      {"a speed both ends have", 2, {}, 0, "", 2},
      {"the drive's end lacks Gen4", 4, {}, -2,
       "Parameters not match spec or over limit. (Gen 4: the drive's end of the link does not support it)",
       std::nullopt},
      {"the port's end lacks Gen2", 2, [cap](std::span<uint8_t> h) { h[cap + kLinkCapabilities2] = 0x02; }, -2,
       "Parameters not match spec or over limit. (Gen 2: the port's end of the link does not support it)",
       std::nullopt},
      {"no downstream port above", 2, [cap](std::span<uint8_t> h) { h[cap + 2] = 0x02; }, -255,
       "Error. the device above the drive (00:1C.0) is no downstream port", std::nullopt},
      {"a link that keeps training", 2, [&](std::span<uint8_t> h) { status(h, kLinkTraining, 0); }, -255,
       "Error. the link is still training after 1 s", 2},
      {"a link that comes up slower", 2, [&](std::span<uint8_t> h) { status(h, 1, 0xF); }, -255,
       "Error. the link trained to Gen1, not Gen2", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::LabDescription fresh = LabWithRootPort();
    sim::LabPciConfig lab({&fresh.drives[0]});
    EditingAccess access(lab, port, c.portEdit ? c.portEdit : [](std::span<uint8_t>) {});
    PlatformAccessOf(interp).pci = &access;
    const uint64_t before = host.MonotonicMs();
    Run("SetSystem_PCISpeed( Gen:" + std::to_string(c.gen) + " );");
    EXPECT_EQ(Code(), c.code) << Description();
    EXPECT_EQ(Description(), c.description);
    EXPECT_EQ(lab.RetrainedGeneration(bus, device, function), c.retrained);
    if (c.retrained) EXPECT_EQ(BodyTexts().front(), "PCIE Target Link Speed : Gen2");
    if (c.code == 0) EXPECT_EQ(BodyTexts().back(), "Current Link Gen x Lane: 2 x 4 ");
    if (std::string_view(c.description).find("training") != std::string_view::npos)
      EXPECT_GE(host.MonotonicMs() - before, 1000u);
  }
  PlatformAccessOf(interp).pci = &lab->pciConfig();
  Select(disk::testing::kRaw4K);  // no port above it in the lab
  Run("SetSystem_PCISpeed( Gen:2 );");
  EXPECT_EQ(Code(), -255);
  EXPECT_EQ(Description(), "Error. the system shows no PCI port above the drive's function");
}

TEST_F(PlatformCommands, AccessFailuresAndAShortHeader) {
  struct Case {
    PciAccessFailure failure;
    int32_t code;
    const char* description;
  } cases[] = {
      {PciAccessFailure::kDriverLoad, -255, "Error. Load Kernel Driver Fail"},
      {PciAccessFailure::kDriverOpen, -255, "Error. Create Driver Object Fail"},
      {PciAccessFailure::kNoFunction, -79, "Function Not Support. Not PCI Device (the fake refuses)"},
      {PciAccessFailure::kFailed, -255, "Error. the fake refuses"},
  };
  for (const Case& c : cases) {
    FakeAccess fake(lab->pciConfig(), c.failure, 256);
    PlatformAccessOf(interp).pci = &fake;
    for (const char* call : {"PCIInfo();", "SetSystem_PCISpeed( Gen:2 );"}) {
      Run(call);
      EXPECT_EQ(Code(), c.code) << call;
      EXPECT_EQ(Description(), c.description) << call;
    }
  }
  EXPECT_EQ(Retrained(), std::nullopt);

  // Only the first 64 bytes: the header lines, then the link as the device tree reports it.
  FakeAccess shortHeader(lab->pciConfig(), PciAccessFailure::kNone, 64);
  PlatformAccessOf(interp).pci = &shortHeader;
  Run("PCIInfo( ExtData:FALSE );");
  EXPECT_EQ(Code(), 0) << Description();
  const std::vector<std::string> texts = BodyTexts();
  ASSERT_GE(texts.size(), 4u);
  EXPECT_EQ(texts[1], "VendorID       : CAFE");
  EXPECT_EQ(texts[texts.size() - 3],
            "The PCI Express capability is not readable here; the link is the system's report");
  Run("SetSystem_PCISpeed( Gen:2 );");
  EXPECT_EQ(Code(), -255);
  EXPECT_EQ(Description(), "Error. the drive's PCI function shows no PCI Express capability");

  FakeAccess cut(lab->pciConfig(), PciAccessFailure::kNone, 16);
  PlatformAccessOf(interp).pci = &cut;
  Run("PCIInfo();");
  EXPECT_EQ(Code(), -255);
  EXPECT_EQ(Description(), "Error. the system showed only 16 bytes of the configuration header");
}

}  // namespace
}  // namespace kestrune::devcmd
