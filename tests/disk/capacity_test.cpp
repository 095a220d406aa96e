// The capacity label by the IDEMA rule, at its boundaries.
#include "disk/capacity.h"

#include <gtest/gtest.h>

#include "fake_device_tree.h"

namespace kestrune::disk {
namespace {

TEST(Capacity, Boundaries) {
  struct Case {
    uint64_t bytes;
    uint32_t sectorSize;
    uint32_t spare;
    uint64_t gb;
  };
  const Case cases[] = {
      {0, 512, 0, 0},
      {999999999, 512, 0, 0},
      {1000000000, 0, 0, 0},             // no sector size
      {1000000000, 512, 0, 0},           // 1953125 sectors: below one IDEMA step
      {1000204886016ULL, 512, 0, 1000},  // (1953525168 - 21168) / 1953504 = 1000 exactly
      {1000204885504ULL, 512, 0, 999},   // one sector less
      {512110190592ULL, 512, 0, 512},
      {512110190592ULL, 4096, 0, 512},         // (125027878 - 2646) / 244188 = 512
      {512110190592ULL, 520, 0, 512},          // other sizes: bytes / 10^9
      {kIdemaFormulaLimit - 1, 512, 0, 8000},  // the last size of the formula
      {kIdemaFormulaLimit, 512, 0, 8001},      // sectorSize * sectors / 10^9 from here on
      {kIdemaFormulaLimit - 1, 512, 8, 8000},  // the spare ratio only counts from the limit on
      {16000900661248ULL, 4096, 0, 16000},
      // r = 64 on 4096-byte sectors: sectors * 4160 * 1000 / 4096 / 995, then * 4096 / 10^9.
      {16000900661248ULL, 4096, 64, 16332},
      {UINT64_MAX, 512, 0, 18446744073},
      {UINT64_MAX, 512, 0xFFFFFFFF, 155520123941093273ULL},  // no overflow in the scaling
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.bytes) + " bytes, " + std::to_string(c.sectorSize) + ", r " +
                 std::to_string(c.spare));
    EXPECT_EQ(CapacityGB(c.bytes, c.sectorSize, c.spare), c.gb);
  }
}

TEST(Capacity, LabelOfAnEntryAsksTheDrive) {
  testing::FakeDeviceTree tree;
  DiskEntry e;
  e.physicalPath = "\\\\.\\PHYSICALDRIVE1";
  e.totalBytes = 1;                         // the entry's own numbers are not used
  EXPECT_EQ(CapacityLabelOf(tree, e), 0u);  // does not open
  tree.disks[e.physicalPath].length = 1000204886016ULL;
  EXPECT_EQ(CapacityLabelOf(tree, e), 0u);  // no sector size
  tree.disks[e.physicalPath].sectorSize = 512;
  EXPECT_EQ(CapacityLabelOf(tree, e), 1000u);
}

}  // namespace
}  // namespace kestrune::disk
