// The capability walk and link registers over the lab's NVMe header and broken lists, the header
// lines, the link ends' speeds and port type, and the lab's configuration space: writable registers,
// retraining through the port above and refused writes.
#include "devcmd/pci_express.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <vector>

#include "base/bytes.h"
#include "engine/output.h"
#include "sim/lab_pci.h"

namespace kestrune::devcmd {
namespace {

using platform::PciAccessFailure;

sim::DriveDescription Gen3x2OfGen4x4() {
  sim::DriveDescription d;
  d.attachment = sim::Attachment::kNvmeInbox;
  d.pciBus = 4;
  d.pcie.speedTenths = 80;
  d.pcie.width = 2;
  d.pcie.maxSpeedTenths = 160;
  d.pcie.maxWidth = 4;
  return d;
}

TEST(PciCapabilityWalk, ReachesThePcieCapabilityAndRefusesBrokenLists) {
  const auto lab = sim::LabConfigHeader(Gen3x2OfGen4x4());
  ASSERT_EQ(FindCapability(lab, kPcieCapabilityId), sim::kLabPcieCapability);
  EXPECT_EQ(FindCapability(lab, 0x11), 0xB0u);
  EXPECT_EQ(FindCapability(lab, 0x09), std::nullopt);
  const std::optional<disk::PciLinks> links = PcieLinkOf(lab, sim::kLabPcieCapability);
  ASSERT_TRUE(links);
  EXPECT_EQ(*links, (disk::PciLinks{{3, 2}, {4, 4}}));

  struct Case {
    const char* what;
    std::function<void(std::array<uint8_t, 256>&)> breakIt;
  } cases[] = {
      {"no capability list in the status", [](auto& h) { h[0x06] = 0; }},
      {"a pointer into the first 64 bytes", [](auto& h) { h[0x34] = 0x20; }},
      {"a loop", [](auto& h) { h[0x51] = 0x40; }},
      {"a capability with no room for its link registers", [](auto& h) { h[0x51] = 0xF0, h[0xF0] = 0x10; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto h = lab;
    c.breakIt(h);
    EXPECT_EQ(FindCapability(h, kPcieCapabilityId), std::nullopt);
  }
  // What an unprivileged reader is shown: the first 64 bytes only.
  EXPECT_EQ(FindCapability(std::span<const uint8_t>(lab.data(), 64), kPcieCapabilityId), std::nullopt);
}

TEST(PciHeaderLines, FieldsBarsAndLink) {
  sim::DriveDescription d = Gen3x2OfGen4x4();
  d.pciVendorId = 0x1E4B;
  LineCollector lines;
  PciHeaderLines(lines, sim::LabConfigHeader(d));
  PcieLinkLines(lines, {{3, 2}, {4, 4}});
  const std::vector<std::string> expected = {
      "VendorID       : 1E4B",
      "DeviceID       : 5016",
      "SubsystemID    : 0001",
      "SubsystemVID   : 1E4B",
      "Command        : 0x406",
      "Status         : 16",
      "RevisionID     : 1",
      "ClassCode      : 0x010802",
      "CacheLineSize  : 16",
      "LatencyTimer   : 0",
      "HeaderType     : 0",
      "BIST           : 0",
      "BAR0           : 0xFC040004 (MMIO)",
      "BAR1           : 0x00000000",
      "BAR2           : 0x0000E400 (PIO)",
      "BAR3           : 0x00000000",
      "BAR4           : 0x00000000",
      "BAR5           : 0x00000000",
      "Max Support Gen x Lane : 4 x 4 ",
      "Current Link Gen x Lane: 3 x 2 ",
  };
  EXPECT_EQ(lines.Texts(), expected);
  EXPECT_EQ(lines.lines[0].colour, engine::colour::kCyan);
  EXPECT_EQ(lines.lines[4].colour, engine::colour::kWhite);
  EXPECT_EQ(lines.lines[12].colour, engine::colour::kGrey);
}

TEST(PciLinkEnds, SupportedGenerationsAndPortType) {
  struct Case {
    const char* what;
    uint32_t linkCaps2;  // Link Capabilities 2
    uint32_t maxSpeed;   // Link Capabilities bits 3:0
    uint32_t want;
  } cases[] = {
      {"the vector, Gen1 to Gen4", 0x1E, 4, 0x0F},
      {"the vector wins over Max Link Speed", 0x06, 4, 0x03},
      {"a vector with a gap", 0x1A, 4, 0x0D},
      {"no vector: up to Max Link Speed", 0, 3, 0x07},
      {"no vector, Gen1 only", 0, 1, 0x01},
      {"the reserved bit 0 alone is no vector", 0x01, 2, 0x03},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto h = sim::LabConfigHeader(Gen3x2OfGen4x4());
    const uint32_t cap = sim::kLabPcieCapability;
    h[cap + kLinkCapabilities] = static_cast<uint8_t>((h[cap + kLinkCapabilities] & 0xF0) | c.maxSpeed);
    for (int i = 0; i < 4; ++i) h[cap + kLinkCapabilities2 + i] = static_cast<uint8_t>(c.linkCaps2 >> 8 * i);
    EXPECT_EQ(SupportedGenerations(h, cap), c.want);
  }
  sim::DriveDescription d = Gen3x2OfGen4x4();
  d.pcie.rootPort = {{0, 28, 4}};
  const auto port = sim::LabPortHeader(d);
  const std::optional<uint32_t> portCap = FindCapability(port, kPcieCapabilityId);
  ASSERT_TRUE(portCap);
  EXPECT_EQ(PortTypeOf(port, *portCap), kRootPort);
  EXPECT_EQ(PortTypeOf(sim::LabConfigHeader(d), sim::kLabPcieCapability), 0u) << "an endpoint";
  EXPECT_EQ(SupportedGenerations(port, *portCap), 0x1Fu) << "the lab's ports run up to Gen5";
  EXPECT_EQ(port[0x19], 4) << "the controller's bus is the port's secondary bus";
}

TEST(LabPciConfig, ThePortRetrainsTheLinkAndKeepsReadOnlyRegisters) {
  sim::DriveDescription d = Gen3x2OfGen4x4();
  d.pcie.rootPort = {{0, 28, 4}};
  sim::LabPciConfig lab({&d});
  PciAccessFailure failure = PciAccessFailure::kNone;
  std::string why;
  EXPECT_EQ(lab.Open({9, 0, 0, ""}, failure, why), nullptr);
  EXPECT_EQ(failure, PciAccessFailure::kNoFunction);
  auto s = lab.Open({4, 0, 0, ""}, failure, why);
  auto p = lab.Open({0, 28, 4, ""}, failure, why);
  ASSERT_NE(s, nullptr);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(lab.RetrainedGeneration(4, 0, 0), std::nullopt);

  auto write16 = [&](platform::PciConfigSession& to, uint32_t at, uint16_t v) {
    const std::array<uint8_t, 2> b{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    return to.Write(at, b, failure, why);
  };
  auto header = [&](platform::PciConfigSession& of) {
    std::array<uint8_t, 256> h{};
    EXPECT_EQ(of.Read(0, h, failure, why), 256u);
    return h;
  };
  const uint32_t cap = sim::kLabPcieCapability;
  const uint32_t portCap = *FindCapability(header(*p), kPcieCapabilityId);

  // Retrain Link of the endpoint is reserved: nothing trains.
  ASSERT_TRUE(write16(*s, cap + kLinkControl2, WithTargetSpeed(0x0040, 1)));
  ASSERT_TRUE(write16(*s, cap + kLinkControl, 0x0040 | kRetrainLink));
  EXPECT_EQ(PcieLinkOf(header(*s), cap)->current, (disk::PcieLink{3, 2}));
  EXPECT_EQ(lab.RetrainedGeneration(4, 0, 0), std::nullopt);

  struct Step {
    uint16_t driveTarget, portTarget;
    uint32_t generation;  // after the retrain
  } steps[] = {{4, 4, 4}, {6, 6, 4}, {1, 4, 1}, {4, 2, 2}, {0, 0, 4}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.generation);
    ASSERT_TRUE(write16(*s, cap + kLinkControl2, WithTargetSpeed(0x0040, step.driveTarget)));
    ASSERT_TRUE(write16(*p, portCap + kLinkControl2, WithTargetSpeed(0, step.portTarget)));
    ASSERT_TRUE(write16(*p, portCap + kLinkControl, 0x0040 | kRetrainLink));
    const auto during = header(*p);
    EXPECT_NE(base::GetLe16(during.data() + portCap + kLinkStatus) & kLinkTraining, 0) << "training at first";
    const auto after = header(*p);
    EXPECT_EQ(base::GetLe16(after.data() + portCap + kLinkStatus) & kLinkTraining, 0) << "then up";
    EXPECT_EQ(PcieLinkOf(after, portCap)->current, (disk::PcieLink{step.generation, 2}));
    const auto h = header(*s);
    EXPECT_EQ(PcieLinkOf(h, cap)->current, (disk::PcieLink{step.generation, 2}));
    EXPECT_EQ(after[portCap + kLinkControl] & kRetrainLink, 0) << "Retrain Link reads 0";
    EXPECT_EQ(lab.RetrainedGeneration(4, 0, 0), step.generation);
  }
  ASSERT_TRUE(write16(*s, 0x00, 0x1234));  // the vendor id is read-only
  EXPECT_EQ(header(*s)[0], d.pciVendorId & 0xFF);
  const std::array<uint8_t, 3> odd{};
  EXPECT_FALSE(s->Write(0x10, odd, failure, why));
  EXPECT_FALSE(write16(*s, 0x11, 0));
  std::array<uint8_t, 16> extended{};
  EXPECT_EQ(s->Read(0x100, extended, failure, why), 16u);  // the extended space reads as zero
}

}  // namespace
}  // namespace kestrune::devcmd
