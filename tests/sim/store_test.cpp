// Contents of a simulated drive: round trips, zeros where nothing was written, the volatile
// write cache with flush, FUA and power cut, deallocation, and files kept between labs.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "lab_fixture.h"
#include "platform/files.h"
#include "sim/write_cache.h"

namespace kestrune::sim {
namespace {

std::vector<uint8_t> ReadBack(platform::Device& dev, uint64_t offset, size_t n) {
  std::vector<uint8_t> out(n, 0xEE);
  EXPECT_EQ(dev.Read(offset, out), n);
  return out;
}

TEST(WriteCache, NewerBytesReplaceOlderOnes) {
  WriteCache cache;
  cache.Put(100, std::vector<uint8_t>(100, 1));  // [100, 200)
  cache.Put(150, std::vector<uint8_t>(20, 2));   // splits it in three
  cache.Put(190, std::vector<uint8_t>(20, 3));   // overlaps the tail
  EXPECT_EQ(cache.bytes(), 110u);
  std::vector<uint8_t> out(120, 0);
  cache.Overlay(95, out);  // [95, 215)
  EXPECT_EQ(out[4], 0);
  EXPECT_EQ(out[5], 1);
  EXPECT_EQ(out[54], 1);
  EXPECT_EQ(out[55], 2);
  EXPECT_EQ(out[74], 2);
  EXPECT_EQ(out[75], 1);
  EXPECT_EQ(out[94], 1);
  EXPECT_EQ(out[95], 3);
  EXPECT_EQ(out[114], 3);
  EXPECT_EQ(out[115], 0);
  cache.Erase(160, 40);  // [160, 200)
  EXPECT_EQ(cache.bytes(), 70u);
  std::fill(out.begin(), out.end(), 0);
  cache.Overlay(95, out);
  EXPECT_EQ(out[64], 2);
  EXPECT_EQ(out[65], 0);
  EXPECT_EQ(out[104], 0);
  EXPECT_EQ(out[105], 3);
  uint64_t last = 0;
  cache.ForEach([&](uint64_t offset, std::span<const uint8_t> data) {
    EXPECT_GE(offset, last);
    last = offset + data.size();
    return true;
  });
  cache.Put(0, std::vector<uint8_t>(1000, 9));  // covers everything
  EXPECT_EQ(cache.ranges(), 1u);
  EXPECT_EQ(cache.bytes(), 1000u);
}

class SectorSizes : public ::testing::TestWithParam<uint32_t> {};

TEST_P(SectorSizes, RoundTripAndZerosElsewhere) {
  const uint32_t ss = GetParam();
  LabUnderTest t({{SmallDrive("A", Attachment::kNvmeInbox, 0, ss)}});
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  ASSERT_TRUE(dev);
  EXPECT_EQ(dev->SectorSize(), ss);
  EXPECT_EQ(ReadBack(*dev, 0, ss), std::vector<uint8_t>(ss, 0));
  const uint64_t last = (uint64_t{8} << 20) - ss;
  std::vector<uint8_t> a = Pattern(3 * ss, 1), b = Pattern(ss, 2);
  ASSERT_EQ(dev->Write(ss, a, false), a.size());
  ASSERT_EQ(dev->Write(last, b, true), b.size());
  EXPECT_EQ(ReadBack(*dev, ss, a.size()), a);
  EXPECT_EQ(ReadBack(*dev, last, ss), b);
  EXPECT_EQ(ReadBack(*dev, 4 * ss, ss), std::vector<uint8_t>(ss, 0));
  // Misaligned, partial-sector and beyond-the-end requests fail as on a real disk.
  std::vector<uint8_t> odd(ss + 1);
  EXPECT_FALSE(dev->Read(0, odd));
  EXPECT_FALSE(dev->Read(1, b));
  EXPECT_FALSE(dev->Read(last + ss, b));
  EXPECT_FALSE(dev->Write(last, a, false));
  // Nothing is cached once flushed, and the file stays small (sparse).
  ASSERT_TRUE(dev->Flush());
  EXPECT_EQ(t.lab->Drive("A")->volatileBytes(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Sim, SectorSizes, ::testing::Values(512u, 4096u));

TEST(WriteCacheDurability, PowerCutDropsWhatWasNotFlushed) {
  LabUnderTest t({{SmallDrive("A", Attachment::kSataAhci, 0)}});
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  std::vector<uint8_t> flushed = Pattern(512, 1), fua = Pattern(512, 2), cached = Pattern(512, 3);
  ASSERT_TRUE(dev->Write(0, flushed, false));
  ASSERT_TRUE(dev->Flush());
  ASSERT_TRUE(dev->Write(512, fua, true));
  ASSERT_TRUE(dev->Write(1024, cached, false));
  ASSERT_TRUE(dev->Write(0, cached, false));  // overwrites flushed data, in the cache only
  EXPECT_EQ(ReadBack(*dev, 0, 512), cached);
  t.lab->PowerCut();
  EXPECT_EQ(ReadBack(*dev, 0, 512), flushed);
  EXPECT_EQ(ReadBack(*dev, 512, 512), fua);
  EXPECT_EQ(ReadBack(*dev, 1024, 512), std::vector<uint8_t>(512, 0));
}

TEST(WriteCacheDurability, WithoutACacheEveryWriteIsDurable) {
  DriveDescription d = SmallDrive("A", Attachment::kNvmeInbox, 0);
  d.writeCache = false;
  LabUnderTest t({{d}});
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  EXPECT_EQ(dev->WriteCacheEnabled(), false);
  std::vector<uint8_t> data = Pattern(512, 4);
  ASSERT_TRUE(dev->Write(0, data, false));
  t.lab->Drive("A")->PowerCut();
  EXPECT_EQ(ReadBack(*dev, 0, 512), data);
}

TEST(WriteCacheDurability, AtaSetFeaturesTurnsTheCacheOff) {
  LabUnderTest t({{SmallDrive("A", Attachment::kSataAhci, 0)}});
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  std::vector<uint8_t> data = Pattern(512, 4);
  ASSERT_TRUE(dev->Write(0, data, false));
  platform::AtaRegisters regs;
  regs.command = 0xEF;
  regs.features = 0x82;  // disable write cache: what it holds is written first
  ASSERT_EQ(dev->Ata(regs, platform::DataDirection::kNone, {}, 60), platform::PassStatus::kOk);
  EXPECT_EQ(dev->WriteCacheEnabled(), false);
  ASSERT_TRUE(dev->Write(512, data, false));
  t.lab->PowerCut();
  EXPECT_EQ(ReadBack(*dev, 0, 512), data);
  EXPECT_EQ(ReadBack(*dev, 512, 512), data);
  EXPECT_EQ(dev->WriteCacheEnabled(), true);  // the setting does not survive the power cut
}

TEST(Trim, DeallocatedRangesReadZeros) {
  LabUnderTest t({{SmallDrive("A", Attachment::kNvmeInbox, 0)}});
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  std::vector<uint8_t> data = Pattern(4096, 5);
  ASSERT_TRUE(dev->Write(0, data, false));
  ASSERT_TRUE(dev->Flush());
  ASSERT_TRUE(dev->Write(8192, data, false));  // cached only
  ASSERT_TRUE(dev->Trim(1024, 1024));
  ASSERT_TRUE(dev->Trim(8192, 512));
  std::vector<uint8_t> expect = data;
  std::fill(expect.begin() + 1024, expect.begin() + 2048, 0);
  EXPECT_EQ(ReadBack(*dev, 0, 4096), expect);
  expect = data;
  std::fill(expect.begin(), expect.begin() + 512, 0);
  EXPECT_EQ(ReadBack(*dev, 8192, 4096), expect);
  // To the end of the disk; out of range and misaligned trims fail.
  EXPECT_TRUE(dev->Trim(4096, (uint64_t{8} << 20) - 4096));
  EXPECT_EQ(ReadBack(*dev, 8192, 4096), std::vector<uint8_t>(4096, 0));
  EXPECT_FALSE(dev->Trim(0, (uint64_t{8} << 20) + 512));
  EXPECT_FALSE(dev->Trim(100, 512));
}

TEST(Trim, NotOnDrivesWithoutIt) {
  LabUnderTest t({{SmallDrive("F", Attachment::kUsbFlash, 0)}});
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  EXPECT_EQ(dev->TrimSupported(), false);
  EXPECT_FALSE(dev->Trim(0, 512));
}

TEST(Backing, HandlesOnSeveralThreads) {
  LabUnderTest t({{SmallDrive("A", Attachment::kNvmeInbox, 0)}});
  std::vector<std::thread> threads;
  for (uint8_t k = 0; k < 4; ++k) {
    threads.emplace_back([&t, k] {
      auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
      for (uint64_t i = 0; i < 64; ++i) {
        std::vector<uint8_t> data = Pattern(512, static_cast<uint8_t>(k * 64 + i));
        const uint64_t offset = (i * 4 + k) * 512;
        EXPECT_EQ(dev->Write(offset, data, i % 2 == 0), 512u);
        if (i % 8 == 0) {
          EXPECT_TRUE(dev->Flush());
        }
        std::vector<uint8_t> back(512);
        EXPECT_EQ(dev->Read(offset, back), 512u);
        EXPECT_EQ(back, data);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(t.lab->requestLog().Records().size(), 4u * (1 + 64 * 2 + 8));
}

TEST(Backing, FromALabFileOrTheDefault) {
  testing::TempDir dir;
  testing::FakeHost host;
  std::string error;
  auto lab = SimLab::CreateFromFile("", dir.path(), host, error);
  ASSERT_TRUE(lab) << error;
  EXPECT_EQ(lab->Enumerate().disks.size(), 3u);
  lab = SimLab::CreateFromFile(std::string(KESTRUNE_SOURCE_DIR) + "/examples/lab_4k.ini", dir.path(), host,
                               error);
  ASSERT_TRUE(lab) << error;
  platform::DeviceSnapshot snap = lab->Enumerate();
  ASSERT_EQ(snap.disks.size(), 3u);
  EXPECT_EQ(snap.disks[0].sectorSize, 4096u);
  EXPECT_EQ(snap.disks[1].usbPorts, (std::vector<uint32_t>{3, 4}));
  ASSERT_EQ(snap.volumes.size(), 2u);
  EXPECT_EQ(snap.volumes[0].letter, "D:");
  EXPECT_EQ(snap.volumes[1].diskNumber, 2u);
  EXPECT_FALSE(SimLab::CreateFromFile(dir.path() + "/none.ini", dir.path(), host, error));
  EXPECT_NE(error.find("none.ini"), std::string::npos);
}

TEST(Backing, FilesAreKeptForTheNextLab) {
  testing::TempDir dir;
  testing::FakeHost host;
  std::string error;
  std::vector<uint8_t> data = Pattern(512, 6);
  {
    auto lab = SimLab::Create(DefaultLab(), dir.path(), host, error);
    ASSERT_TRUE(lab) << error;
    auto dev = lab->Open("\\\\.\\PHYSICALDRIVE0", platform::OpenAccess::kReadWrite);
    ASSERT_TRUE(dev->Write(uint64_t{3} << 30, data, true));
  }
  EXPECT_TRUE(std::filesystem::exists(dir.path() + "/SimDisk0.img"));
  EXPECT_TRUE(std::filesystem::exists(dir.path() + "/SimDisk1.img"));
  auto lab = SimLab::Create(DefaultLab(), dir.path(), host, error);
  ASSERT_TRUE(lab) << error;
  auto dev = lab->Open("\\\\.\\PHYSICALDRIVE0", platform::OpenAccess::kRead);
  EXPECT_EQ(ReadBack(*dev, uint64_t{3} << 30, 512), data);
  EXPECT_FALSE(dev->Write(0, data, false));  // opened for reading only
}

TEST(Backing, BadLabsAreRefused) {
  testing::TempDir dir;
  testing::FakeHost host;
  std::string error;
  LabDescription lab = DefaultLab();
  lab.drives[1].deviceNumber = 0;
  EXPECT_FALSE(SimLab::Create(lab, dir.path(), host, error));
  EXPECT_NE(error.find("device number 0 is taken"), std::string::npos) << error;
  // A lab folder that cannot be made (a file is in the way).
  platform::WriteWholeFile(dir.path() + "/blocker", std::vector<uint8_t>{1});
  EXPECT_FALSE(SimLab::Create(DefaultLab(), dir.path() + "/blocker/lab", host, error));
  EXPECT_NE(error.find("cannot create the lab folder"), std::string::npos) << error;
  // A drive file that cannot be opened (a folder is in the way).
  std::filesystem::create_directories(dir.path() + "/SimDisk0.img");
  EXPECT_FALSE(SimLab::Create(DefaultLab(), dir.path(), host, error));
  EXPECT_NE(error.find("drive [NVMe0]: cannot open"), std::string::npos) << error;
}

}  // namespace
}  // namespace kestrune::sim
