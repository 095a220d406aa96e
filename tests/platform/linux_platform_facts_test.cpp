// The Linux backends of the PCI configuration access and the system facts on a fake machine:
// the function's config file read whole or as an unprivileged reader sees it, writes refused in
// the test environments, and the summary from os-release, /proc, DMI and the EFI folder.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "devcmd/system_info_lines.h"
#include "fake_sysfs.h"
#include "platform/linux/linux_pci_config.h"
#include "platform/linux/linux_system_facts.h"

namespace kestrune::platform::testing {
namespace {

const std::string kNvmePci = "/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0";

TEST(LinuxPciConfig, ReadsTheConfigFileAndRefusesWritesHere) {
  setenv("KESTRUNE_NO_POWER", "1", 1);
  FakeSysfs f;
  f.PciFunction(kNvmePci, "0x010802", "nvme");
  std::string config(256, '\0');
  config[0] = '\x4b', config[1] = '\x1e', config[0x34] = '\x40';
  f.File(kNvmePci + "/config", config);
  std::unique_ptr<PciConfig> pci = linux_dev::MakeLinuxPciConfig(linux_dev::SysRoot(f.root()));
  PciAccessFailure failure = PciAccessFailure::kNone;
  std::string why;

  // By the instance id (the sysfs folder) and by the address through /sys/bus/pci/devices.
  for (const PciFunction& fn : {PciFunction{3, 0, 0, kNvmePci}, PciFunction{3, 0, 0, ""}}) {
    std::unique_ptr<PciConfigSession> s = pci->Open(fn, failure, why);
    ASSERT_NE(s, nullptr) << why;
    std::array<uint8_t, 256> h{};
    EXPECT_EQ(s->Read(0, h, failure, why), 256u);
    EXPECT_EQ(h[0], 0x4B);
    EXPECT_EQ(h[0x34], 0x40);
    const std::array<uint8_t, 2> retrain{0x20, 0x00};
    EXPECT_FALSE(s->Write(0x80, retrain, failure, why));
    EXPECT_EQ(failure, PciAccessFailure::kRefused);
  }
  EXPECT_EQ(linux_dev::PciFunctionFolder({0x3A, 0x1F, 7, ""}), "/sys/bus/pci/devices/0000:3a:1f.7");

  // What the kernel shows an unprivileged reader: the first 64 bytes.
  f.File(kNvmePci + "/config", config.substr(0, 64));
  std::unique_ptr<PciConfigSession> s = pci->Open({3, 0, 0, kNvmePci}, failure, why);
  ASSERT_NE(s, nullptr);
  std::array<uint8_t, 256> h{};
  h.fill(0xEE);
  EXPECT_EQ(s->Read(0, h, failure, why), 64u);
  EXPECT_EQ(h[255], 0) << "the rest reads as zero";

  EXPECT_EQ(pci->Open({9, 0, 0, ""}, failure, why), nullptr);
  EXPECT_EQ(failure, PciAccessFailure::kNoFunction);
}

TEST(LinuxSystemFacts, SummaryFromTheSystemFiles) {
  FakeSysfs f;
  f.File("/etc/os-release",
         "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
  f.File("/proc/sys/kernel/osrelease", "6.1.0-18-amd64\n");
  f.File(
      "/proc/cpuinfo",
      "processor\t: 0\nmodel name\t: Test CPU @ 2.0GHz\n\nprocessor\t: 1\nmodel name\t: Test CPU @ 2.0GHz\n");
  f.File("/proc/meminfo", "MemTotal:       16318712 kB\nMemFree:         1000 kB\n");
  f.File("/sys/class/dmi/id/board_vendor", "ASUSTeK COMPUTER INC.\n");
  f.File("/sys/class/dmi/id/board_name", "PRIME B660M-A\n");
  f.File("/proc/sys/kernel/hostname", "bench-07\n");
  f.Folder("/sys/firmware/efi");
  f.File("/sys/module/nvme/parameters/max_host_mem_size_mb", "128\n");
  std::unique_ptr<SystemFacts> facts = linux_dev::MakeLinuxSystemFacts(linux_dev::SysRoot(f.root()), 12);
  const PlatformSummary s = facts->Summary();
  EXPECT_EQ(s.productName, "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(s.releaseId, "12");
  EXPECT_EQ(s.build, "6.1.0-18-amd64");
  EXPECT_EQ(s.processorName, "Test CPU @ 2.0GHz");
  EXPECT_EQ(s.processors, 12u);
  EXPECT_EQ(devcmd::MemoryGB(s.memoryBytes), 16u);
  EXPECT_EQ(s.boardMaker + "|" + s.boardProduct, "ASUSTeK COMPUTER INC.|PRIME B660M-A");
  EXPECT_EQ(s.computerName, "bench-07");
  EXPECT_TRUE(s.uefi);

  const HmbPolicyReport hmb = facts->HmbPolicy();
  EXPECT_FALSE(hmb.available);
  EXPECT_EQ(hmb.note,
            "Linux has no host memory buffer policy; the nvme driver's max_host_mem_size_mb is 128");
  std::string why;
  EXPECT_FALSE(facts->SetHmbPolicy(2, why));

  FakeSysfs bare;  // a machine that tells nothing: no crash, empty fields, legacy firmware
  const PlatformSummary none = linux_dev::MakeLinuxSystemFacts(linux_dev::SysRoot(bare.root()), 1)->Summary();
  EXPECT_EQ(none.productName, "Linux");
  EXPECT_FALSE(none.uefi);
  EXPECT_EQ(none.memoryBytes, 0u);
}

}  // namespace
}  // namespace kestrune::platform::testing
#endif
