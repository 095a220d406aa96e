// DeviceTarget: from a tree every operation opens the path it names for itself; from a held device
// the handle is lent whatever path is named, and nothing is opened.
#include "disk/device_target.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disk/fake_device_tree.h"

namespace kestrune::disk {
namespace {

TEST(DeviceTarget, TreeOpensThePathForEachCallAndHeldDeviceIsLent) {
  testing::FakeDeviceTree tree;
  tree.disks["\\\\.\\A"] = {};
  const DeviceTarget fromTree(tree);
  {
    DeviceTarget::Handle first = fromTree.Open("\\\\.\\A");
    DeviceTarget::Handle second = fromTree.Open("\\\\.\\A");
    ASSERT_TRUE(first && second);
    EXPECT_NE(&*first, &*second);  // a handle of its own for every call
  }
  EXPECT_FALSE(fromTree.Open("\\\\.\\Missing"));
  EXPECT_EQ(tree.requests,
            (std::vector<std::string>{"open \\\\.\\A", "open \\\\.\\A", "open \\\\.\\Missing"}));

  std::unique_ptr<platform::Device> held = tree.Open("\\\\.\\A", platform::OpenAccess::kReadWrite);
  tree.requests.clear();
  const DeviceTarget fromHandle(*held);
  DeviceTarget::Handle lent = fromHandle.Open("\\\\.\\Missing");
  ASSERT_TRUE(lent);
  EXPECT_EQ(&*lent, held.get());
  EXPECT_TRUE(tree.requests.empty());
}

}  // namespace
}  // namespace kestrune::disk
