// The request log: what reached the drives, in order, with bytes and outcome.
#include "sim/request_log.h"

#include <gtest/gtest.h>

#include "base/bytes.h"
#include "lab_fixture.h"

// Fault plans are written with designated initializers that leave the other faults at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace kestrune::sim {
namespace {

using platform::DataDirection;

TEST(RequestLog, RecordsEveryRequestInOrder) {
  LabUnderTest t;
  auto nvme = t.Open("\\\\.\\PHYSICALDRIVE0");
  auto sata = t.Open("\\\\.\\PHYSICALDRIVE1");
  EXPECT_FALSE(t.Open("\\\\.\\PHYSICALDRIVE5"));
  std::vector<uint8_t> data(1024);
  nvme->Write(512, data, true);
  nvme->Read(0, data);
  nvme->Flush();
  nvme->Trim(0, 512);
  std::array<uint8_t, 64> entry{};
  entry[0] = 0x06;
  base::PutLe32(&entry[4], 0);
  base::PutLe32(&entry[40], 1);
  std::vector<uint8_t> id(4096);
  platform::NvmeCompletion done;
  nvme->Nvme(platform::NvmeRoute::kInbox, platform::NvmeQueue::kAdmin, entry, DataDirection::kIn, id, 60,
             done);
  entry[0] = 0xC1;
  nvme->Nvme(platform::NvmeRoute::kInbox, platform::NvmeQueue::kAdmin, entry, DataDirection::kNone, {}, 60,
             done);
  const uint8_t inquiry[6] = {0x12, 0, 0, 0, 36, 0};
  platform::ScsiResult result;
  sata->Scsi(inquiry, DataDirection::kIn, id, 60, result);
  const uint8_t bogus[6] = {0xC0, 0, 0, 0, 0, 0};
  sata->Scsi(bogus, DataDirection::kNone, {}, 60, result);
  platform::AtaRegisters regs;
  regs.command = 0xEC;
  sata->Ata(regs, DataDirection::kIn, std::span(id).first(512), 60);
  regs = {};
  regs.command = 0x99;
  sata->Ata(regs, DataDirection::kNone, {}, 60);

  const std::vector<std::string> expected = {
      "Open \\\\.\\PHYSICALDRIVE0 -> ok",
      "Open \\\\.\\PHYSICALDRIVE1 -> ok",
      "Open \\\\.\\PHYSICALDRIVE5 -> not found",
      "WriteFua \\\\.\\PHYSICALDRIVE0 @512 +1024 -> ok",
      "Read \\\\.\\PHYSICALDRIVE0 @0 +1024 -> ok",
      "Flush \\\\.\\PHYSICALDRIVE0 -> ok",
      "Trim \\\\.\\PHYSICALDRIVE0 @0 +512 -> ok",
      "NvmeAdmin \\\\.\\PHYSICALDRIVE0 op 06 nsid 0 cdw10 00000001 +4096 -> ok",
      "NvmeAdmin \\\\.\\PHYSICALDRIVE0 op C1 nsid 0 cdw10 00000001 +0 -> status 0x0001",
      "Scsi \\\\.\\PHYSICALDRIVE1 12 00 00 00 24 00 +4096 -> ok",
      "Scsi \\\\.\\PHYSICALDRIVE1 C0 00 00 00 00 00 +0 -> check condition 5/20/00",
      "Ata \\\\.\\PHYSICALDRIVE1 EC 00 00 00 00 00 00 00 00 00 00 00 +512 -> ok",
      "Ata \\\\.\\PHYSICALDRIVE1 99 00 00 00 00 00 00 00 00 00 00 00 +0 -> ata error 0x04",
  };
  EXPECT_EQ(t.lab->requestLog().Lines(), expected);
  std::vector<RequestRecord> records = t.lab->requestLog().Records();
  ASSERT_EQ(records.size(), expected.size());
  EXPECT_EQ(records[7].command.size(), 64u);
  EXPECT_EQ(records[7].command[0], 0x06);

  t.lab->requestLog().Clear();
  EXPECT_TRUE(t.lab->requestLog().Records().empty());
}

TEST(RequestLog, OutcomesOfInjectedFaults) {
  LabUnderTest t;
  auto dev = t.Open("\\\\.\\PHYSICALDRIVE0");
  std::vector<uint8_t> data(1024);
  auto drive = t.lab->Drive("\\\\.\\PHYSICALDRIVE0");
  drive->set_faults(
      {.failRequests = request::kFlush, .mediaErrorLbas = {1}, .shortTransfer = request::kWrite});
  dev->Flush();
  dev->Read(0, data);
  dev->Write(0, data, false);
  dev->Read(1, data);
  drive->set_faults({.failOpen = true});
  t.Open("\\\\.\\PHYSICALDRIVE0");
  drive->Unplug(std::nullopt);
  dev->Read(0, data);
  t.Open("\\\\.\\PHYSICALDRIVE0");
  const std::vector<std::string> expected = {
      "Open \\\\.\\PHYSICALDRIVE0 -> ok",
      "Flush \\\\.\\PHYSICALDRIVE0 -> failed",
      "Read \\\\.\\PHYSICALDRIVE0 @0 +1024 -> media error",
      "Write \\\\.\\PHYSICALDRIVE0 @0 +1024 -> short 512",
      "Read \\\\.\\PHYSICALDRIVE0 @1 +1024 -> bad request",
      "Open \\\\.\\PHYSICALDRIVE0 -> failed",
      "Read \\\\.\\PHYSICALDRIVE0 @0 +1024 -> gone",
      "Open \\\\.\\PHYSICALDRIVE0 -> gone",
  };
  EXPECT_EQ(t.lab->requestLog().Lines(), expected);
}

TEST(RequestLog, KeepsTheNewestRecords) {
  RequestLog log;
  for (size_t i = 0; i < RequestLog::kCapacity + 3; ++i) log.Add({"Read", "p", i, 0, {}, "ok"});
  std::vector<RequestRecord> records = log.Records();
  EXPECT_EQ(records.size(), RequestLog::kCapacity);
  EXPECT_EQ(records.front().offset, 3u);
  EXPECT_EQ(log.dropped(), 3u);
  log.set_enabled(false);
  log.Add({"Read", "p", 0, 0, {}, "ok"});
  EXPECT_EQ(log.Records().size(), RequestLog::kCapacity);
}

}  // namespace
}  // namespace kestrune::sim
