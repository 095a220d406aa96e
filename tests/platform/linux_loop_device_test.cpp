// The Linux sector path on real block devices: loop devices over files with 512- and 4096-byte
// logical blocks, through the disk layer's sector functions and the device handle itself, and the
// program run on a loop device its command line names. Needs root and losetup; the tests skip with
// the reason when they cannot have a loop device.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/startup.h"
#include "base/zip_archive.h"
#include "disk/disk_list.h"
#include "disk/sector_buffer.h"
#include "disk/sector_io.h"
#include "platform/files.h"
#include "platform/linux/linux_device_tree.h"
#include "support/fake_host.h"
#include "support/loop_device.h"

namespace kestrune::platform {
namespace {

constexpr uint64_t kDiskBytes = ::kestrune::testing::kLoopDiskBytes;

using ::kestrune::testing::LoopDevice;
using ::kestrune::testing::Run;

std::vector<uint8_t> Pattern(size_t bytes, uint8_t seed) {
  std::vector<uint8_t> v(bytes);
  for (size_t i = 0; i < bytes; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 9));
  return v;
}

class LoopSectorPath : public ::testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    loop = std::make_unique<LoopDevice>(dir.path(), GetParam());
    if (loop->path().empty()) GTEST_SKIP() << loop->why();
  }

  uint32_t ss() const { return GetParam(); }
  const std::string& path() const { return loop->path(); }

  int32_t Write(uint64_t lba, const std::vector<uint8_t>& data, bool fua = false) {
    disk::SectorBuffer b(data.size());
    std::copy(data.begin(), data.end(), b.data());
    return disk::WriteSectors(tree, path(), lba, static_cast<int32_t>(data.size() / ss()), b.bytes(), ss(), fua);
  }

  std::vector<uint8_t> Read(uint64_t lba, uint32_t count, int32_t* code = nullptr) {
    disk::SectorBuffer b(static_cast<size_t>(count) * ss());
    int32_t rc = disk::ReadSectors(tree, path(), lba, static_cast<int32_t>(count), b.bytes(), ss());
    if (code) *code = rc;
    return std::vector<uint8_t>(b.data(), b.data() + b.size());
  }

  ::kestrune::testing::TempDir dir;
  std::unique_ptr<LoopDevice> loop;
  linux_dev::LinuxDeviceTree tree{linux_dev::LinuxTreeOptions{"/", true, {}}};
};

TEST_P(LoopSectorPath, IsListedWithItsGeometryAndNoVolumes) {
  DeviceSnapshot s = tree.Enumerate();
  const DiskNode* node = nullptr;
  for (const DiskNode& d : s.disks)
    if (d.physicalPath == path()) node = &d;
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->sectorSize, ss());
  EXPECT_EQ(node->lengthBytes, kDiskBytes);
  for (const VolumeNode& v : s.volumes) EXPECT_NE(v.diskNumber, node->deviceNumber) << v.letter;

  std::unique_ptr<Device> d = tree.Open(path(), OpenAccess::kRead);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->LengthBytes(), kDiskBytes);
  EXPECT_EQ(d->SectorSize(), ss());
  EXPECT_TRUE(d->WriteCacheEnabled().has_value());
  // The pass-through limit is the queue's, as the block layer applies it.
  std::ifstream kb("/sys/block/" + path().substr(path().rfind('/') + 1) + "/queue/max_hw_sectors_kb");
  uint64_t limitKb = 0;
  ASSERT_TRUE(kb >> limitKb);
  EXPECT_EQ(d->SystemTransferLimit().maxBytes, limitKb * 1024);
}

TEST_P(LoopSectorPath, RoundTripsWithAndWithoutForcedUnitAccess) {
  const std::vector<uint8_t> a = Pattern(5 * ss(), 0x11);
  const std::vector<uint8_t> b = Pattern(3 * ss(), 0x77);
  ASSERT_EQ(Write(3, a), 1);
  ASSERT_EQ(Write(20, b, true), 1);
  EXPECT_EQ(Read(3, 5), a);
  EXPECT_EQ(Read(20, 3), b);
  const uint64_t last = kDiskBytes / ss() - 1;
  ASSERT_EQ(Write(last, Pattern(ss(), 0x33)), 1);
  EXPECT_EQ(Read(last, 1), Pattern(ss(), 0x33));
}

TEST_P(LoopSectorPath, UnalignedBuffersGoThroughAnAlignedOne) {
  std::unique_ptr<Device> d = tree.Open(path(), OpenAccess::kReadWrite);
  ASSERT_TRUE(d);
  std::vector<uint8_t> store(3 * ss() + 1);
  std::span<uint8_t> odd(store.data() + 1, 3 * ss());  // not page-aligned
  const std::vector<uint8_t> data = Pattern(odd.size(), 0x5A);
  std::copy(data.begin(), data.end(), odd.begin());
  ASSERT_EQ(d->Write(8 * ss(), odd, false), odd.size());
  std::fill(odd.begin(), odd.end(), 0);
  ASSERT_EQ(d->Read(8 * ss(), odd), odd.size());
  EXPECT_TRUE(std::equal(odd.begin(), odd.end(), data.begin()));
}

TEST_P(LoopSectorPath, RangeErrorsAndShortTransfersAreReported) {
  int32_t code = 0;
  const uint64_t sectors = kDiskBytes / ss();
  Read(sectors - 1, 2, &code);
  EXPECT_EQ(code, -2);  // past the end the device reports: refused before any I/O
  EXPECT_EQ(Write(sectors, Pattern(ss(), 1)), -2);
  EXPECT_EQ(Read(0, 0).size(), 0u);

  std::unique_ptr<Device> d = tree.Open(path(), OpenAccess::kReadWrite);
  ASSERT_TRUE(d);
  disk::SectorBuffer b(2 * ss());
  EXPECT_EQ(d->Read((sectors - 1) * ss(), b.bytes()), ss());  // the device moves what it has
  EXPECT_EQ(d->Read(sectors * ss(), b.bytes()), 0u);
  EXPECT_FALSE(d->Read(ss() / 2, b.bytes().first(ss())));     // not a sector boundary
  EXPECT_FALSE(d->Write(0, b.bytes().first(ss() / 2), false));  // not a whole sector
  EXPECT_FALSE(d->Trim(ss() / 2, ss()));
}

TEST_P(LoopSectorPath, TrimDeallocatesAndFlushReachesTheDevice) {
  ASSERT_EQ(Write(40, Pattern(8 * ss(), 0x99)), 1);
  std::unique_ptr<Device> d = tree.Open(path(), OpenAccess::kReadWrite);
  ASSERT_TRUE(d);
  EXPECT_EQ(disk::TrimSupported(tree, path()), 1);
  EXPECT_EQ(disk::TrimRange(*d, 42 * ss(), 4 * ss()), 1);
  std::vector<uint8_t> after = Read(40, 8);
  const std::vector<uint8_t> before = Pattern(8 * ss(), 0x99);
  EXPECT_TRUE(std::equal(after.begin(), after.begin() + 2 * ss(), before.begin()));
  EXPECT_TRUE(std::all_of(after.begin() + 2 * ss(), after.begin() + 6 * ss(), [](uint8_t c) { return c == 0; }));
  EXPECT_TRUE(std::equal(after.begin() + 6 * ss(), after.end(), before.begin() + 6 * ss()));
  EXPECT_EQ(disk::TrimRange(*d, kDiskBytes - ss(), 2 * ss()), -74);  // runs past the end
  EXPECT_EQ(disk::FlushDevice(tree, path()), 1);
}

TEST_P(LoopSectorPath, PassThroughOfOtherTransportsIsNotCarried) {
  std::unique_ptr<Device> d = tree.Open(path(), OpenAccess::kReadWrite);
  ASSERT_TRUE(d);
  std::array<uint8_t, 6> inquiry = {0x12, 0, 0, 0, 36, 0};
  std::vector<uint8_t> data(36);
  ScsiResult result;
  EXPECT_EQ(d->Scsi(inquiry, DataDirection::kIn, data, 5, result), PassStatus::kNotSupported);
  AtaRegisters regs;
  regs.command = 0xEC;
  EXPECT_EQ(d->Ata(regs, DataDirection::kIn, data, 5), PassStatus::kNotSupported);
  std::array<uint8_t, 64> entry{};
  entry[0] = 0x06;
  NvmeCompletion completion;
  EXPECT_EQ(d->Nvme(NvmeRoute::kInbox, NvmeQueue::kAdmin, entry, DataDirection::kNone, {}, 5, completion),
            PassStatus::kNotSupported);
  EXPECT_EQ(d->Nvme(NvmeRoute::kRstMiniport, NvmeQueue::kAdmin, entry, DataDirection::kNone, {}, 5, completion),
            PassStatus::kNotSupported);
}

// A writing handle holds the disk: the system cannot claim it meanwhile, and handles of the same
// process share the claim. A disk that someone else holds opens, but refuses every write.
TEST_P(LoopSectorPath, WritingTakesTheDiskExclusively) {
  {
    std::unique_ptr<Device> first = tree.Open(path(), OpenAccess::kReadWrite);
    std::unique_ptr<Device> second = tree.Open(path(), OpenAccess::kReadWrite);
    ASSERT_TRUE(first && second);
    disk::SectorBuffer b(ss());
    EXPECT_EQ(second->Write(0, b.bytes(), false), ss());
    first.reset();
    EXPECT_EQ(second->Write(ss(), b.bytes(), false), ss());
    int other = ::open(path().c_str(), O_RDONLY | O_EXCL);
    EXPECT_LT(other, 0);
    if (other >= 0) ::close(other);
  }
  int holder = ::open(path().c_str(), O_RDONLY | O_EXCL);  // as a mount would
  ASSERT_GE(holder, 0) << "the claim was not given back";
  const std::vector<uint8_t> data = Pattern(ss(), 0x42);
  EXPECT_EQ(Write(2, data), -4);
  std::unique_ptr<Device> d = tree.Open(path(), OpenAccess::kReadWrite);
  ASSERT_TRUE(d);
  EXPECT_FALSE(d->Trim(0, ss()));
  disk::SectorBuffer b(ss());
  EXPECT_EQ(d->Read(0, b.bytes()), ss());
  d.reset();
  ::close(holder);
  EXPECT_EQ(Write(2, data), 1);
}

// The program with a package whose script information accepts any disk, run on args; its console
// output goes to out.
int RunKestrune(const std::string& folder, std::vector<std::string> args, std::string& out) {
  static uint32_t runs = 0;
  ::kestrune::testing::FakeHost host;
  host.tempFolder = folder;
  host.programPath = folder + "/bin/kestrune";
  host.pid = 1000 + runs++;  // a work folder of its own
  host.args = {"kestrune"};
  host.args.insert(host.args.end(), args.begin(), args.end());
  const std::string info = "[SCRIPTINFO]\r\nStyle=30\r\nTITLE=Loop\r\nSOCID=*\r\nModelName=\r\n";
  host.package = base::WriteZip(
      {{"ScriptInfo.ini", std::vector<uint8_t>(info.begin(), info.end())}, {"script.encode", {}}}, true);
  const int code = app::RunProgram(host);
  out = host.out;
  return code;
}

// The line of out that holds text; "" when none does.
std::string LineWith(const std::string& out, const std::string& text) {
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);)
    if (line.find(text) != std::string::npos) return line;
  return {};
}

TEST_P(LoopSectorPath, IsATargetWhenTheCommandLineNamesIt) {
  const std::string script = dir.path() + "/loop.scpt";
  std::ofstream(script, std::ios::binary) << "Raw = IsRAWDisk();\r\nPrint( Output:Raw );\r\n"
                                             "DiskList( Column:TRUE, Master:FALSE );\r\n";
  std::string out;
  ASSERT_EQ(RunKestrune(dir.path(), {"SCRIPT:" + script, path()}, out), 0) << out;
  EXPECT_EQ(LineWith(out, "NO FOUND"), "") << out;
  EXPECT_NE(out.find("        1\n"), std::string::npos) << out;  // RAW: nothing on it is mounted
  // Kind "-", listed also without the system disks (Master:FALSE): never the system disk.
  EXPECT_NE(LineWith(out, "|" + path()).find("|-        |"), std::string::npos) << out;

  EXPECT_EQ(RunKestrune(dir.path(), {"--list"}, out), 0);
  EXPECT_EQ(LineWith(out, path()), "") << "listed without being named:\n" << out;
  EXPECT_EQ(RunKestrune(dir.path(), {"--list", path()}, out), 0);
  EXPECT_NE(LineWith(out, path()), "") << out;
}

TEST_P(LoopSectorPath, AMountedDiskIsAVolumeAndIsNotWritten) {
  const std::string mountPoint = dir.path() + "/mnt";
  if (!loop->Mount(mountPoint)) GTEST_SKIP() << "cannot make and mount a file system here";
  DeviceSnapshot s = tree.Enumerate();
  const VolumeNode* volume = nullptr;
  for (const VolumeNode& v : s.volumes)
    if (v.path == path()) volume = &v;
  ASSERT_NE(volume, nullptr);
  EXPECT_EQ(volume->letter, mountPoint);
  EXPECT_FALSE(volume->holdsSystem);
  EXPECT_GT(volume->totalBytes, 0u);
  EXPECT_EQ(Write(0, Pattern(ss(), 0x42)), -4);
  EXPECT_EQ(disk::FlushDevice(tree, path()), 1);

  std::vector<disk::DiskEntry> list;
  ASSERT_GT(disk::BuildDiskList(tree, list), 0);
  auto entry = std::find_if(list.begin(), list.end(), [&](const disk::DiskEntry& e) {
    return e.entryKind == disk::EntryKind::kPhysical && e.physicalPath == path();
  });
  ASSERT_NE(entry, list.end());
  EXPECT_EQ(entry->diskKind, disk::DiskKind::kUnclassified);
  EXPECT_FALSE(entry->raw);
  EXPECT_FALSE(entry->systemDisk);
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, LoopSectorPath, ::testing::Values(512u, 4096u),
                         [](const ::testing::TestParamInfo<uint32_t>& i) { return std::to_string(i.param); });

}  // namespace
}  // namespace kestrune::platform
