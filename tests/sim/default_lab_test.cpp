// The built-in lab: what the inventory sees, and that both drives carry sector I/O and Identify.
#include <gtest/gtest.h>

#include "base/bytes.h"
#include "lab_fixture.h"

namespace kestrune::sim {
namespace {

TEST(DefaultLab, EnumeratesAnNvmeAndTwoSataDisks) {
  LabUnderTest t;
  platform::DeviceSnapshot snap = t.lab->Enumerate();
  ASSERT_EQ(snap.disks.size(), 3u);

  const platform::DiskNode& nvme = snap.disks[0];
  EXPECT_EQ(nvme.physicalPath, "\\\\.\\PHYSICALDRIVE0");
  EXPECT_EQ(nvme.deviceNumber, 0u);
  EXPECT_EQ(nvme.busType, platform::bus::kNvme);
  EXPECT_EQ(nvme.sectorSize, 512u);
  EXPECT_EQ(nvme.lengthBytes, uint64_t{4} << 30);
  EXPECT_EQ(nvme.parent.driverService, "stornvme");
  EXPECT_EQ(nvme.parent.name, "Standard NVM Express Controller");
  // The inventory takes the numbers between the last "(" and ")" as bus, device, function.
  const std::string& loc = nvme.parent.locationInformation;
  EXPECT_EQ(loc.substr(loc.rfind('(')), "(3,0,0)");
  EXPECT_TRUE(nvme.hasScsiAddress);
  EXPECT_FALSE(nvme.removable);

  const platform::DiskNode& sata = snap.disks[1];
  EXPECT_EQ(sata.physicalPath, "\\\\.\\PHYSICALDRIVE1");
  EXPECT_EQ(sata.busType, platform::bus::kSata);
  EXPECT_EQ(sata.pathId, 2u);
  EXPECT_EQ(sata.targetId, 0u);
  EXPECT_EQ(sata.lun, 0u);
  EXPECT_EQ(sata.parent.busAddress >> 16, 2u);
  EXPECT_NE(sata.parent.driverService, "stornvme");
  EXPECT_NE(sata.scsiPort, nvme.scsiPort);

  // The SATA test drive: on the same AHCI controller, port 3, without volumes.
  const platform::DiskNode& test = snap.disks[2];
  EXPECT_EQ(test.physicalPath, "\\\\.\\PHYSICALDRIVE2");
  EXPECT_EQ(test.busType, platform::bus::kSata);
  EXPECT_EQ(test.pathId, 3u);
  EXPECT_EQ(test.scsiPort, sata.scsiPort);

  ASSERT_EQ(snap.volumes.size(), 1u);
  const platform::VolumeNode& c = snap.volumes[0];
  EXPECT_EQ(c.letter, "C:");
  EXPECT_EQ(c.path, "\\\\.\\C:");
  EXPECT_TRUE(c.onListedDisk);
  EXPECT_EQ(c.diskNumber, 1u);
  EXPECT_TRUE(c.holdsSystem);
  EXPECT_FALSE(c.softwareRaid);
  EXPECT_EQ(c.partitionOffset, uint64_t{1} << 20);
  // Its NTFS file system's whole 4 KiB clusters, the backup boot sector left out: one cluster less
  // than the partition.
  EXPECT_EQ(c.totalBytes, (uint64_t{2} << 30) - (uint64_t{1} << 20) - 4096);

  ASSERT_EQ(snap.adapters.size(), 2u);
  EXPECT_EQ(snap.adapters[0].instanceId, nvme.parent.instanceId);
  EXPECT_EQ(snap.adapters[0].childDiskNumbers, std::vector<uint32_t>{0});
}

TEST(DefaultLab, NvmeIdentifyControllerOnTheInboxRoute) {
  LabUnderTest t;
  auto dev = t.Open("\\\\.\\physicaldrive0");  // paths match without regard to case
  ASSERT_TRUE(dev);
  std::array<uint8_t, 64> entry{};
  entry[0] = 0x06;
  base::PutLe32(&entry[40], 1);  // CNS 1
  std::vector<uint8_t> data(4096);
  platform::NvmeCompletion done;
  ASSERT_EQ(dev->Nvme(platform::NvmeRoute::kInbox, platform::NvmeQueue::kAdmin, entry,
                      platform::DataDirection::kIn, data, 60, done),
            platform::PassStatus::kOk);
  EXPECT_EQ(done.status, 0);
  EXPECT_EQ(std::string(data.begin() + 24, data.begin() + 44), "KESTRUNE SIM NVME 4G");
  // The miniport routes do not reach a drive on the inbox driver.
  EXPECT_EQ(dev->Nvme(platform::NvmeRoute::kCommunityMiniport, platform::NvmeQueue::kAdmin, entry,
                      platform::DataDirection::kIn, data, 60, done),
            platform::PassStatus::kNotSupported);
}

TEST(DefaultLab, SataIdentifyDeviceAndSectorIo) {
  LabUnderTest t;
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE1");
  ASSERT_TRUE(dev);
  platform::AtaRegisters regs;
  regs.command = 0xEC;
  std::vector<uint8_t> id(512);
  ASSERT_EQ(dev->Ata(regs, platform::DataDirection::kIn, id, 60), platform::PassStatus::kOk);
  EXPECT_EQ(regs.command, 0x50);
  EXPECT_EQ(id[54], 'E');  // "KE" stored byte-swapped
  EXPECT_EQ(id[55], 'K');

  std::vector<uint8_t> data = Pattern(4096, 3);
  ASSERT_EQ(dev->Write(8192, data, false), 4096u);
  std::vector<uint8_t> back(4096);
  ASSERT_EQ(dev->Read(8192, back), 4096u);
  EXPECT_EQ(back, data);
  EXPECT_EQ(dev->SectorSize(), 512u);
  EXPECT_EQ(dev->LengthBytes(), uint64_t{2} << 30);
  EXPECT_EQ(dev->WriteCacheEnabled(), true);
  EXPECT_EQ(dev->TrimSupported(), true);
}

TEST(DefaultLab, VolumeHandleSeesThePartition) {
  LabUnderTest t;
  auto disk = t.Open("\\\\.\\PHYSICALDRIVE1");
  auto volume = t.Open("\\\\.\\C:");
  ASSERT_TRUE(disk && volume);
  std::vector<uint8_t> data = Pattern(512, 9);
  ASSERT_EQ(volume->Write(512, data, false), 512u);
  std::vector<uint8_t> back(512);
  ASSERT_EQ(disk->Read((uint64_t{1} << 20) + 512, back), 512u);
  EXPECT_EQ(back, data);
  EXPECT_EQ(volume->LengthBytes(), (uint64_t{2} << 30) - (uint64_t{1} << 20));
}

TEST(DefaultLab, UnknownPathsDoNotOpen) {
  LabUnderTest t;
  EXPECT_FALSE(t.Open("\\\\.\\PHYSICALDRIVE7"));
  EXPECT_FALSE(t.Open("\\\\.\\Q:"));
  EXPECT_FALSE(t.Open("\\\\.\\scsi9:"));
  EXPECT_FALSE(t.Open(""));
}

}  // namespace
}  // namespace kestrune::sim
