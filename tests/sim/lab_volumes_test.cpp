// The lab's volumes come from its drives' own sectors: described volumes get a real table and boot
// sector, the partition tool writes real tables, and a volume whose table is gone is gone.
#include <gtest/gtest.h>

#include <cstring>

#include "disk/layout/partition_layout.h"
#include "disk/layout/partition_table.h"
#include "lab_fixture.h"
#include "platform/partition_tool.h"

namespace kestrune::sim {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
using platform::PartitionFileSystem;
using platform::PartitionOperation;

LabDescription TwoDisks() {
  LabDescription lab;
  DriveDescription a = SmallDrive("A", Attachment::kNvmeInbox, 0, 512, 64 * kMiB);
  a.volumes.push_back({'D', kMiB, 16 * kMiB, 8 * kMiB});
  DriveDescription b = SmallDrive("B", Attachment::kNvmeInbox, 1, 4096, 64 * kMiB);
  b.volumes.push_back({'E', 2 * kMiB, 32 * kMiB, 4 * kMiB});
  DriveDescription raw = SmallDrive("Raw", Attachment::kNvmeInbox, 2, 4096, 64 * kMiB);
  lab.drives = {a, b, raw};
  return lab;
}

std::vector<uint8_t> ReadAt(LabUnderTest& t, const std::string& path, uint64_t offset, size_t bytes) {
  auto device = t.Open(path);
  if (!device) return {};
  std::vector<uint8_t> buffer(bytes);
  if (!device->Read(offset, buffer)) return {};
  return buffer;
}

TEST(LabVolumes, DescribedVolumesStandInTheirOwnSectors) {
  LabUnderTest t(TwoDisks());
  platform::DeviceSnapshot snap = t.lab->Enumerate();
  ASSERT_EQ(snap.volumes.size(), 2u);
  const struct {
    std::string letter;
    uint64_t offset, size, free;  // size: the file system's, as the system reports it
    uint32_t sectorSize;
  } want[] = {{"D:", kMiB, 16 * kMiB - 4096, 8 * kMiB, 512}, {"E:", 2 * kMiB, 32 * kMiB - 4096, 4 * kMiB, 4096}};
  for (size_t i = 0; i < 2; ++i) {
    const platform::VolumeNode& v = snap.volumes[i];
    EXPECT_EQ(v.letter, want[i].letter);
    EXPECT_EQ(v.partitionOffset, want[i].offset);
    EXPECT_EQ(v.totalBytes, want[i].size);
    EXPECT_EQ(v.freeBytes, want[i].free);
    EXPECT_EQ(v.fileSystem, "NTFS");
    // The disk's MBR names the partition; the volume's first sector is its NTFS boot sector.
    std::vector<uint8_t> mbr = ReadAt(t, PhysicalDrivePath(static_cast<uint32_t>(i)), 0, want[i].sectorSize);
    ASSERT_EQ(mbr.size(), want[i].sectorSize);
    EXPECT_EQ(mbr[510], 0x55);
    EXPECT_EQ(mbr[446 + 4], disk::kMbrTypeNtfs);
    std::vector<uint8_t> boot = ReadAt(t, "\\\\.\\" + want[i].letter, 0, want[i].sectorSize);
    ASSERT_FALSE(boot.empty());
    EXPECT_EQ(std::memcmp(boot.data() + 3, "NTFS    ", 8), 0);
  }

  // Overwriting the MBR takes the volume away: it is no longer listed and does not open.
  auto disk = t.Open(PhysicalDrivePath(0));
  const std::vector<uint8_t> zeros(512, 0);
  ASSERT_TRUE(disk->Write(0, zeros, true).has_value());
  snap = t.lab->Enumerate();
  ASSERT_EQ(snap.volumes.size(), 1u);
  EXPECT_EQ(snap.volumes[0].letter, "E:");
  EXPECT_EQ(t.Open("\\\\.\\D:"), nullptr);
}

TEST(LabVolumes, PartitionToolWritesTablesAndGivesLetters) {
  LabUnderTest t(TwoDisks());
  platform::PartitionTool* tool = t.lab->Partitioner();
  ASSERT_NE(tool, nullptr);
  platform::PartitionRequest create;
  create.targetPath = PhysicalDrivePath(2);
  create.operation = PartitionOperation::kCreateGpt;
  create.fileSystem = PartitionFileSystem::kExfat;
  create.sizeMB = 8;
  create.labels = {"ONE", "TWO"};
  platform::PartitionOutcome outcome = tool->Run(create, nullptr);
  ASSERT_EQ(outcome.code, 1) << outcome.detail;
  EXPECT_EQ(outcome.newPath, "\\\\.\\F:");  // D: and E: are taken

  platform::DeviceSnapshot snap = t.lab->Enumerate();
  ASSERT_EQ(snap.volumes.size(), 4u);
  EXPECT_EQ(snap.volumes[2].letter, "F:");
  EXPECT_EQ(snap.volumes[2].label, "ONE");
  EXPECT_EQ(snap.volumes[2].fileSystem, "exFAT");
  EXPECT_EQ(snap.volumes[2].partitionOffset, 17 * kMiB);  // after the 16 MiB reserved partition
  EXPECT_EQ(snap.volumes[2].totalBytes, 7 * kMiB);  // exFAT's data area, from 1 MiB on
  EXPECT_EQ(snap.volumes[3].label, "TWO");

  // The volume path reaches the partition: a write through F: lands at its offset on the disk.
  {
    auto volume = t.Open("\\\\.\\F:");
    ASSERT_NE(volume, nullptr);
    const std::vector<uint8_t> data(4096, 0xC5);
    ASSERT_TRUE(volume->Write(4096, data, true).has_value());
  }
  EXPECT_EQ(ReadAt(t, PhysicalDrivePath(2), 17 * kMiB + 4096, 4096)[100], 0xC5);

  platform::PartitionRequest clean;
  clean.targetPath = PhysicalDrivePath(2);
  clean.operation = PartitionOperation::kClean;
  outcome = tool->Run(clean, nullptr);
  ASSERT_EQ(outcome.code, 1);
  EXPECT_EQ(outcome.newPath, PhysicalDrivePath(2));
  EXPECT_EQ(t.lab->Enumerate().volumes.size(), 2u);
  EXPECT_EQ(t.Open("\\\\.\\F:"), nullptr);
}

TEST(LabVolumes, InjectedToolFailures) {
  const struct {
    std::string name;
    void (*fault)(FaultPlan&);
    int32_t code;
    std::string detail;
    bool tableWritten;
  } cases[] = {
      {"tool fails", [](FaultPlan& f) { f.partitionToolExit = 87; }, -7, "DISKPART exit code 87", false},
      {"no letter", [](FaultPlan& f) { f.partitionNoLetter = true; }, -7, "No drive letter on disk 2", true},
      {"format fails", [](FaultPlan& f) { f.partitionFormatFails = true; }, -23, "FORMAT FS=NTFS", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LabUnderTest t(TwoDisks());
    std::shared_ptr<SimDrive> drive = t.lab->Drive(PhysicalDrivePath(2));
    FaultPlan plan;
    c.fault(plan);
    drive->set_faults(plan);
    platform::PartitionRequest create;
    create.targetPath = PhysicalDrivePath(2);
    create.operation = PartitionOperation::kCreateMbr;
    const platform::PartitionOutcome outcome = t.lab->Partitioner()->Run(create, nullptr);
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_EQ(outcome.detail, c.detail);
    EXPECT_EQ(t.lab->Enumerate().volumes.size(), 2u);  // no new volume either way
    std::vector<uint8_t> mbr = ReadAt(t, PhysicalDrivePath(2), 0, 4096);
    EXPECT_EQ(mbr[510] == 0x55, c.tableWritten);
  }
}

}  // namespace
}  // namespace kestrune::sim
