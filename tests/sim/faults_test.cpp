// Failure injection: every kind of fault, from the API and from the lab file, on host time.
#include <gtest/gtest.h>

#include "base/bytes.h"
#include "lab_fixture.h"
#include "sim/lab_file.h"

// Fault plans are written with designated initializers that leave the other faults at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace kestrune::sim {
namespace {

using platform::DataDirection;
using platform::PassStatus;

struct FaultLab : LabUnderTest {
  FaultLab()
      : LabUnderTest(
            {{SmallDrive("N", Attachment::kNvmeInbox, 0), SmallDrive("S", Attachment::kSataAhci, 1)}}) {}
  std::shared_ptr<SimDrive> nvme() { return lab->Drive("N"); }
  void Plan(const FaultPlan& f) { nvme()->set_faults(f); }
};

PassStatus Identify(platform::Device& dev, uint32_t timeout, platform::NvmeCompletion& done) {
  std::array<uint8_t, 64> e{};
  e[0] = 0x06;
  base::PutLe32(&e[40], 1);
  std::vector<uint8_t> data(4096);
  return dev.Nvme(platform::NvmeRoute::kInbox, platform::NvmeQueue::kAdmin, e, DataDirection::kIn, data,
                  timeout, done);
}

TEST(Faults, OpenFailureEveryTimeOrCounted) {
  FaultLab t;
  t.Plan({.failOpen = true});
  EXPECT_FALSE(t.Open("\\\\.\\PHYSICALDRIVE0"));
  EXPECT_FALSE(t.Open("\\\\.\\PHYSICALDRIVE0"));
  EXPECT_TRUE(t.Open("\\\\.\\PHYSICALDRIVE1"));  // other drives are not touched
  t.Plan({.failOpen = true, .failOpenCount = 2});
  EXPECT_FALSE(t.Open("\\\\.\\PHYSICALDRIVE0"));
  EXPECT_FALSE(t.Open("\\\\.\\PHYSICALDRIVE0"));
  EXPECT_TRUE(t.Open("\\\\.\\PHYSICALDRIVE0"));
}

TEST(Faults, RequestFailuresByKind) {
  FaultLab t;
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  std::vector<uint8_t> data(512);
  platform::NvmeCompletion done;
  struct Row {
    uint32_t kinds;
    bool read, write, flush, trim, pass;  // whether each still works
  };
  const Row rows[] = {
      {request::kRead, false, true, true, true, true},
      {request::kWrite, true, false, true, true, true},
      {request::kFlush, true, true, false, true, true},
      {request::kTrim, true, true, true, false, true},
      {request::kPassThrough, true, true, true, true, false},
      {request::kAll, false, false, false, false, false},
  };
  for (const Row& row : rows) {
    t.Plan({.failRequests = row.kinds});
    EXPECT_EQ(dev->Read(0, data).has_value(), row.read) << RequestKindsText(row.kinds);
    EXPECT_EQ(dev->Write(0, data, false).has_value(), row.write) << RequestKindsText(row.kinds);
    EXPECT_EQ(dev->Flush(), row.flush) << RequestKindsText(row.kinds);
    EXPECT_EQ(dev->Trim(0, 512), row.trim) << RequestKindsText(row.kinds);
    EXPECT_EQ(Identify(*dev, 60, done) == PassStatus::kOk, row.pass) << RequestKindsText(row.kinds);
  }
  t.Plan({.failRequests = request::kRead, .failRequestsCount = 1});
  EXPECT_FALSE(dev->Read(0, data));
  EXPECT_TRUE(dev->Read(0, data));
}

TEST(Faults, MediaErrorsOnEveryRoute) {
  FaultLab t;
  t.Plan({.mediaErrorLbas = {10}});
  t.lab->Drive("S")->AddMediaError(10);
  auto nvme = t.Open("\\\\.\\PHYSICALDRIVE0");
  std::vector<uint8_t> data(4096);
  EXPECT_FALSE(nvme->Read(8 * 512, data));         // sectors 8-15
  EXPECT_TRUE(nvme->Read(11 * 512, data));         // sectors 11-18
  EXPECT_TRUE(nvme->Write(8 * 512, data, false));  // writing does not mend it
  EXPECT_FALSE(nvme->Read(10 * 512, std::span(data).first(512)));

  std::array<uint8_t, 64> read{};
  read[0] = 0x02;
  base::PutLe32(&read[4], 1);
  base::PutLe32(&read[40], 9);
  base::PutLe32(&read[48], 1);  // LBA 9, two blocks
  platform::NvmeCompletion done;
  ASSERT_EQ(nvme->Nvme(platform::NvmeRoute::kInbox, platform::NvmeQueue::kIo, read, DataDirection::kIn, data,
                       60, done),
            PassStatus::kOk);
  EXPECT_EQ(done.status, nvme_status::kUnrecoveredReadError);

  auto sata = t.Open("\\\\.\\PHYSICALDRIVE1");
  platform::AtaRegisters regs;
  regs.command = 0x25;
  regs.count = 4;
  regs.lbaLow = 8;
  regs.extended = true;
  ASSERT_EQ(sata->Ata(regs, DataDirection::kIn, data, 60), PassStatus::kOk);
  EXPECT_EQ(regs.command, 0x51);
  EXPECT_EQ(regs.features, 0x40);  // UNC
  EXPECT_EQ(regs.lbaLow, 10);      // the failing sector
  const uint8_t read10[10] = {0x28, 0, 0, 0, 0, 10, 0, 0, 1, 0};
  platform::ScsiResult result;
  ASSERT_EQ(sata->Scsi(read10, DataDirection::kIn, data, 60, result), PassStatus::kOk);
  EXPECT_EQ(SenseCodes(result), (std::array<uint8_t, 3>{3, 0x11, 0}));
  t.lab->Drive("S")->ClearMediaErrors();
  EXPECT_TRUE(sata->Read(10 * 512, std::span(data).first(512)));
}

TEST(Faults, ShortTransfersReportSuccess) {
  FaultLab t;
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  std::vector<uint8_t> data = Pattern(4096, 1);
  t.Plan({.shortTransfer = request::kWrite});
  EXPECT_EQ(dev->Write(0, data, false), 2048u);  // half, in whole sectors
  t.Plan({.shortTransfer = request::kRead, .shortTransferBytes = 1000});
  std::vector<uint8_t> back(4096, 0xEE);
  EXPECT_EQ(dev->Read(0, back), 512u);  // 1000 bytes rounded down to a sector
  EXPECT_TRUE(std::equal(back.begin(), back.begin() + 512, data.begin()));
  EXPECT_EQ(back[512], 0xEE);  // untouched beyond what was moved
  t.Plan({});
  ASSERT_EQ(dev->Read(0, back), 4096u);
  EXPECT_TRUE(std::equal(back.begin(), back.begin() + 2048, data.begin()));
  EXPECT_EQ(back[2048], 0);  // the short write never reached these bytes
  t.Plan({.shortTransfer = request::kRead});
  EXPECT_EQ(dev->Read(0, std::span(back).first(512)), 0u);  // half a sector moves nothing
}

TEST(Faults, StallsUseHostTimeAndTimeOutPassThrough) {
  FaultLab t;
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  std::vector<uint8_t> data(512);
  t.Plan({.stallMs = 5000, .stallRequests = request::kRead | request::kPassThrough});
  const uint64_t start = t.host.monotonic;
  EXPECT_TRUE(dev->Read(0, data));
  EXPECT_EQ(t.host.monotonic - start, 5000u);
  EXPECT_TRUE(dev->Write(0, data, false));  // writes do not stall
  EXPECT_EQ(t.host.monotonic - start, 5000u);
  platform::NvmeCompletion done;
  EXPECT_EQ(Identify(*dev, 60, done), PassStatus::kOk);
  EXPECT_EQ(t.host.monotonic - start, 10000u);
  EXPECT_EQ(Identify(*dev, 3, done), PassStatus::kTimeout);  // gives up after its own timeout
  EXPECT_EQ(t.host.monotonic - start, 13000u);
}

TEST(Faults, UnplugAndReturnOnHostTime) {
  FaultLab t;
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  std::vector<uint8_t> data = Pattern(512, 2);
  ASSERT_TRUE(dev->Write(0, data, true));
  ASSERT_TRUE(dev->Write(512, data, false));  // lost with the power of the cable
  t.nvme()->Unplug(10);
  EXPECT_EQ(t.lab->Enumerate().disks.size(), 1u);
  EXPECT_FALSE(dev->Read(0, data));
  EXPECT_FALSE(dev->LengthBytes());
  EXPECT_FALSE(t.Open("\\\\.\\PHYSICALDRIVE0"));
  t.host.monotonic += 9999;
  EXPECT_EQ(t.lab->Enumerate().disks.size(), 1u);
  t.host.monotonic += 1;
  ASSERT_EQ(t.lab->Enumerate().disks.size(), 2u);
  EXPECT_FALSE(dev->Read(0, data));  // a handle from before stays dead
  auto fresh = t.Open("\\\\.\\PHYSICALDRIVE0");
  ASSERT_TRUE(fresh);
  std::vector<uint8_t> back(1024);
  ASSERT_TRUE(fresh->Read(0, back));
  EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
  EXPECT_EQ(std::vector<uint8_t>(back.begin() + 512, back.end()), std::vector<uint8_t>(512, 0));
}

TEST(Faults, UnplugAfterRequestsAndStayAway) {
  FaultLab t;
  t.Plan({.unplugAfterRequests = 2});
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  std::vector<uint8_t> data(512);
  EXPECT_TRUE(dev->Read(0, data));
  EXPECT_TRUE(dev->Read(0, data));
  EXPECT_FALSE(dev->Read(0, data));
  t.host.monotonic += 3600 * 1000;
  EXPECT_FALSE(t.nvme()->Present());
  t.nvme()->Replug();
  EXPECT_TRUE(t.Open("\\\\.\\PHYSICALDRIVE0"));
}

TEST(Faults, FromTheLabFile) {
  LabFileResult file = ParseLab(base::IniFile::Parse(
      "[Gone]\nAttachment = nvme-inbox\nCapacity = 8MiB\nUnplugged = 1\nReturnAfter = 5\n"
      "[Bad]\nAttachment = sata-ahci\nCapacity = 8MiB\nMediaErrors = 3\nFailRequests = flush\n"));
  ASSERT_TRUE(file.lab) << file.error;
  LabUnderTest t(*file.lab);
  EXPECT_EQ(t.lab->Enumerate().disks.size(), 1u);
  t.host.monotonic += 5000;
  EXPECT_EQ(t.lab->Enumerate().disks.size(), 2u);
  auto bad = t.Open("\\\\.\\PHYSICALDRIVE1");
  std::vector<uint8_t> data(512);
  EXPECT_FALSE(bad->Read(3 * 512, data));
  EXPECT_FALSE(bad->Flush());
}

TEST(Nodes, RemoveRescanDisableEnable) {
  FaultLab t;
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  std::vector<uint8_t> data = Pattern(512, 3);
  ASSERT_TRUE(dev->Write(0, data, false));
  EXPECT_TRUE(t.lab->RemoveNode("\\\\.\\PHYSICALDRIVE0"));
  platform::DeviceSnapshot snap = t.lab->Enumerate();
  ASSERT_EQ(snap.disks.size(), 1u);
  ASSERT_EQ(snap.adapters.size(), 2u);  // the controller stays, without its disk
  EXPECT_TRUE(snap.adapters[0].childDiskNumbers.empty());
  EXPECT_FALSE(dev->Read(0, data));
  EXPECT_FALSE(t.lab->RemoveNode("\\\\.\\PHYSICALDRIVE0"));
  EXPECT_TRUE(t.lab->Rescan());
  auto again = t.Open("\\\\.\\PHYSICALDRIVE0");
  std::vector<uint8_t> back(512);
  ASSERT_TRUE(again->Read(0, back));
  EXPECT_EQ(back, data);  // removal is orderly: the cache was written first

  const std::string controller = snap.adapters[0].instanceId;
  EXPECT_TRUE(t.lab->RemoveNode(controller));
  snap = t.lab->Enumerate();
  EXPECT_EQ(snap.adapters.size(), 1u);
  EXPECT_EQ(snap.disks.size(), 1u);
  EXPECT_TRUE(t.lab->Rescan());
  EXPECT_TRUE(t.lab->SetNodeEnabled(controller, false));
  EXPECT_EQ(t.lab->Enumerate().disks.size(), 1u);
  EXPECT_TRUE(t.lab->Rescan());
  EXPECT_EQ(t.lab->Enumerate().disks.size(), 1u);  // a rescan does not enable it
  EXPECT_TRUE(t.lab->SetNodeEnabled(controller, true));
  EXPECT_EQ(t.lab->Enumerate().disks.size(), 2u);
  EXPECT_FALSE(t.lab->SetNodeEnabled("PCI\\NOTHING", true));
  EXPECT_FALSE(t.lab->RemoveNode("\\\\.\\PHYSICALDRIVE9"));
}

}  // namespace
}  // namespace kestrune::sim
