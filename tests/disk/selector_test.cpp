// Target selectors and the package's target filter.
#include "disk/selector.h"

#include <gtest/gtest.h>

#include "disk/target_filter.h"

namespace kestrune::disk {
namespace {

DiskEntry Nvme() {
  DiskEntry e;
  e.diskKind = DiskKind::kNvm;
  e.model = e.displayName = "XYZ ABC 512G";
  e.firmwareRevision = "1.2A";
  e.pciVendorId = 0x1F2A;
  e.location = 0x0300;
  e.devicePath = e.physicalPath = "\\\\.\\PHYSICALDRIVE1";
  e.identifyAnswered = true;
  return e;
}

// Counts identification requests and gives socId when asked.
struct Refresher {
  uint32_t socId = 0;
  int calls = 0;
  IdentityRefresher Fn() {
    return [this](DiskEntry& e) {
      ++calls;
      e.socId = socId;
    };
  }
};

// The direct compares of firmware and port are exact, but the wildcard compare that follows a
// failed direct one ignores case, so "/fwver/1.2a" still names 1.2A.
TEST(Selector, Forms) {
  struct Case {
    std::string selector;
    bool match;
  };
  const Case cases[] = {
      {"/model/abc", true},
      {"/MODEL/ABC 512", true},
      {"\\MODEL\\abc", true},
      {"/model/QRS", false},
      {"/model/XYZ ABC 51?G", true},
      {"/model/???", false},
      {"/fwver/1.2A", true},
      {"/fwver/1.2a", true},
      {"/fwver/1.2?", true},
      {"/fwver/1.?a", true},
      {"/fwver/1.2", false},
      {"/fwver/1.2??", false},
      {"\\FWVER\\1.2A", true},
      {"/port/PCIE-03:00.0", true},
      {"/port/pcie-03:00.0", true},
      {"/port/PCIE-03:??.?", true},
      {"\\PORT\\PCIE-03:00.0", true},
      {"/vid/1F2A", true},
      {"/vid/0x1f2a", true},
      {"/vid/1F2?", true},
      {"/vid/1F2B", false},
      {"\\VID\\1f2a", true},
      {"/all/model/abc", true},
      {"/ALL/vid/1F2A", true},
      {"/all/port/PCIE-03:00.0", true},
      {"/all/model/nope", false},
      {"\\\\.\\ALL\\MODEL\\ABC", true},
      {"/all/", true},
      {"\\\\.\\ALL\\", true},
      {"\\NULLDisk", true},
      {"\\\\.\\PhysicalDrive1", true},
      {"\\\\.\\PHYSICALDRIVE2", false},
      {"", false},
      {"abc", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selector);
    DiskEntry e = Nvme();
    EXPECT_EQ(MatchTarget(c.selector, e, PortMap{}, nullptr), c.match);
  }
}

TEST(Selector, FirmwareWildcardMatchesEachRevision) {
  for (std::string fw : {"1.2A", "1.2B"}) {
    DiskEntry e = Nvme();
    e.firmwareRevision = fw;
    EXPECT_TRUE(MatchTarget("/fwver/1.2?", e, PortMap{}, nullptr)) << fw;
  }
  DiskEntry e = Nvme();
  e.firmwareRevision = "1.3A";
  EXPECT_FALSE(MatchTarget("/fwver/1.2?", e, PortMap{}, nullptr));
}

TEST(Selector, VendorIdOnlyForNvmeKinds) {
  DiskEntry e = Nvme();
  e.diskKind = DiskKind::kAta;
  e.pciVendorId = 0;
  EXPECT_FALSE(MatchTarget("/vid/0000", e, PortMap{}, nullptr));
  EXPECT_FALSE(MatchTarget("/vid/????", e, PortMap{}, nullptr));
}

TEST(Selector, PortNamesComeFromThePortMap) {
  DiskEntry e = Nvme();
  PortMap map = PortMap::FromIni(base::IniFile::Parse("[PortMap]\nBay-1=cmd0A_scsi0000_Parent0300\n"));
  EXPECT_TRUE(MatchTarget("/port/Bay-1", e, map, nullptr));
  EXPECT_FALSE(MatchTarget("/port/PCIE-03:00.0", e, map, nullptr));
}

TEST(Selector, SocIdIsIdentifiedOnDemand) {
  Refresher r;
  r.socId = 0x7301;
  DiskEntry e = Nvme();
  EXPECT_TRUE(MatchTarget("/socid/7301", e, PortMap{}, r.Fn()));
  EXPECT_EQ(r.calls, 1);
  EXPECT_TRUE(MatchTarget("/all/socid/73??", e, PortMap{}, r.Fn()));
  EXPECT_TRUE(MatchTarget("\\VDDISK", e, PortMap{}, r.Fn()));
  EXPECT_EQ(r.calls, 1);  // known now

  Refresher none;
  DiskEntry unknown = Nvme();
  EXPECT_FALSE(MatchTarget("\\VDDISK", unknown, PortMap{}, none.Fn()));
  EXPECT_FALSE(MatchTarget("/socid/7301", unknown, PortMap{}, none.Fn()));
  EXPECT_TRUE(MatchTarget("/socid/0000", unknown, PortMap{}, none.Fn()));
  EXPECT_FALSE(MatchTarget("\\VDDISK", unknown, PortMap{}, nullptr));
}

TEST(Selector, MultiDiskForms) {
  EXPECT_TRUE(IsMultiDiskSelector("/all/model/x"));
  EXPECT_TRUE(IsMultiDiskSelector("/ALL/"));
  EXPECT_TRUE(IsMultiDiskSelector("\\\\.\\all\\"));
  EXPECT_FALSE(IsMultiDiskSelector("/model/all"));
  EXPECT_FALSE(IsMultiDiskSelector("\\\\.\\PHYSICALDRIVE1"));
}

TEST(Selector, Wildcard) {
  EXPECT_TRUE(WildcardEquals("a?C", "Abc"));
  EXPECT_TRUE(WildcardEquals("", ""));
  EXPECT_FALSE(WildcardEquals("a?", "abc"));
  EXPECT_FALSE(WildcardEquals("abc?", "abc"));
}

TEST(TargetFilter, ModelProtocolAndSocId) {
  Refresher r;
  r.socId = 0x7301;
  struct Case {
    const char* name;
    TargetFilter filter;
    DiskKind kind;
    bool passes;
  };
  const Case cases[] = {
      {"any", {"**", "*", 0, false}, DiskKind::kNvm, true},
      {"no filters set", {"", "_WithOutDrv", 0, false}, DiskKind::kNvm, true},
      {"model in the list", {"XYZ ABC 512G|XYZ ABC 1T", "*", 0, false}, DiskKind::kNvm, true},
      {"model in the list, any case", {"xyz abc 512g", "*", 0, false}, DiskKind::kNvm, true},
      {"model not in the list", {"XYZ ABC 1T", "*", 0, false}, DiskKind::kNvm, false},
      {"SATA only", {"**", "*", 1, false}, DiskKind::kNvm, false},
      {"SATA only, SATA disk", {"**", "*", 1, false}, DiskKind::kUsbAta, true},
      {"NVMe only", {"**", "*", 2, false}, DiskKind::kJmi, true},
      {"NVMe only rejects ASM2364", {"**", "*", 2, false}, DiskKind::kAsm2364, false},
      {"NVMe only rejects SATA", {"**", "*", 2, false}, DiskKind::kAta, false},
      {"SoC in the filter", {"**", "7301,7302", 0, false}, DiskKind::kNvm, true},
      {"SoC not in the filter", {"**", "7302", 0, false}, DiskKind::kNvm, false},
      {"maker's name takes any SoC", {"**", "VALDRIMO", 0, false}, DiskKind::kNvm, true},
      {"empty SoC filter takes none", {"**", "", 0, false}, DiskKind::kNvm, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DiskEntry e = Nvme();
    e.diskKind = c.kind;
    EXPECT_EQ(PassesTargetFilter(c.filter, e, r.Fn()), c.passes);
  }
}

TEST(TargetFilter, UnansweredIdentifyOrUnknownSocFails) {
  DiskEntry e = Nvme();
  e.identifyAnswered = false;
  EXPECT_FALSE(PassesTargetFilter({"XYZ ABC 512G", "*", 0, false}, e, nullptr));
  EXPECT_TRUE(PassesTargetFilter({"**", "*", 0, false}, e, nullptr));
  Refresher none;
  EXPECT_FALSE(PassesTargetFilter({"**", "VALDRIMO", 0, false}, e, none.Fn()));
  EXPECT_EQ(none.calls, 1);
}

}  // namespace
}  // namespace kestrune::disk
