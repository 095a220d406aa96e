// The words of SystemInfo's platform lines: the Windows 11 rename by build, the policy names, the
// memory rounding and the exact line formats.
#include "devcmd/system_info_lines.h"

#include <gtest/gtest.h>

#include "sim/lab_system_facts.h"

namespace kestrune::devcmd {
namespace {

TEST(SystemInfoLines, ProductNameByBuild) {
  struct Case {
    const char* product;
    const char* build;
    const char* shown;
  } cases[] = {
      {"Windows 10 Pro", "21999", "Windows 10 Pro"},
      {"Windows 10 Pro", "22000", "Windows 11 Pro"},
      {"Windows 10 Enterprise", "26100", "Windows 11 Enterprise"},
      {"Windows 10 Pro", "22000.1", "Windows 10 Pro"},  // not a build number
      {"Windows 10 Pro", "", "Windows 10 Pro"},
      {"Debian GNU/Linux 12 (bookworm)", "6.1.0", "Debian GNU/Linux 12 (bookworm)"},
  };
  for (const Case& c : cases) {
    platform::PlatformSummary s;
    s.productName = c.product;
    s.build = c.build;
    EXPECT_EQ(ProductNameOf(s), c.shown) << c.product << " " << c.build;
  }
}

TEST(SystemInfoLines, PolicyNamesAndMemory) {
  platform::HmbPolicyReport r;
  r.available = true;
  EXPECT_EQ(HmbPolicyName(r), "Driver Default");
  const char* names[] = {"Disable HMB", "Minimum HMB Size", "Preferred HMB Size", "Unknown (3)"};
  for (uint32_t v = 0; v < 4; ++v) {
    r.value = v;
    EXPECT_EQ(HmbPolicyName(r), names[v]);
  }
  platform::HmbPolicyReport none;
  none.note = "Linux has no host memory buffer policy";
  EXPECT_EQ(HmbPolicyName(none), none.note);
  EXPECT_EQ(MemoryGB((uint64_t{16} << 30) - (uint64_t{300} << 20)), 16u);
  EXPECT_EQ(MemoryGB(uint64_t{1} << 29), 1u);
  EXPECT_EQ(MemoryGB((uint64_t{1} << 29) - 1), 0u);
}

TEST(SystemInfoLines, LabSummaryLines) {
  LineCollector lines;
  platform::HmbPolicyReport hmb;
  hmb.available = true;
  hmb.value = 2;
  platform::PlatformSummary s = sim::LabPlatformSummary();
  PlatformSummaryLines(lines, s, hmb, "Kestrune 1.0");
  const std::vector<std::string> expected = {
      "OS Version  : Windows 11 Pro (x64) Ver.23H2 Build.22631",
      "CPU         : Kestrune Lab CPU @ 3.00GHz  (8 Processors)",
      "Memory(GB)  : 16",
      "MotherBoard : Kestrune LAB-B1",
      "Computer    : KESTRUNE-LAB",
      "BIOS Mode   : UEFI",
      "HMB Mode    : Preferred HMB Size",
      "Application : Kestrune 1.0",
  };
  EXPECT_EQ(lines.Texts(), expected);
  s.uefi = false;
  s.x64 = false;
  LineCollector legacy;
  PlatformSummaryLines(legacy, s, hmb, "");
  EXPECT_EQ(legacy.lines[0].text, "OS Version  : Windows 11 Pro (x86) Ver.23H2 Build.22631");
  EXPECT_EQ(legacy.lines[5].text, "BIOS Mode   : Legacy");
}

}  // namespace
}  // namespace kestrune::devcmd
