// The lab's queue: its latency model on the virtual clock, the IOPS ceiling, the injected faults
// (stalls, slow requests, media errors, failures, a drive that goes away), durability of FUA and
// flushed writes across a power cut, volume offsets, and the lab file's keys for all of it. The
// contract every queue keeps is tested in tests/platform/async_queue_contract_test.cpp.
#include "sim/sim_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "lab_fixture.h"
#include "platform/io_buffer.h"
#include "sim/lab_file.h"

namespace kestrune::sim {
namespace {

using platform::IoBuffer;
using platform::IoCompletion;
using platform::IoRequest;
using platform::IoStatus;
using platform::SubmitStatus;

constexpr uint64_t kChunk = 4096;

struct QueueLab {
  explicit QueueLab(QueueModel model = {}, bool trim = true) : lab(Description(model, trim)) {}
  static LabDescription Description(QueueModel model, bool trim) {
    DriveDescription d = SmallDrive("N", Attachment::kNvmeInbox, 0);
    d.queue = model;
    d.trimSupported = trim;
    LabDescription l;
    l.drives.push_back(d);
    return l;
  }
  std::unique_ptr<platform::AsyncQueue> Open(uint32_t depth, bool writeThrough = false,
                                             const std::string& path = PhysicalDrivePath(0)) {
    platform::QueueOptions o;
    o.depth = depth;
    o.writeThrough = writeThrough;
    std::string why;
    auto q = lab.lab->OpenQueue(path, o, lab.host, why);
    EXPECT_TRUE(q) << why;
    return q;
  }
  std::shared_ptr<SimDrive> drive() { return lab.lab->Drive("N"); }
  uint64_t now() const { return lab.host.Ticks(); }  // microseconds of the virtual clock
  LabUnderTest lab;
};

std::vector<IoCompletion> Drained(platform::AsyncQueue& q) {
  std::vector<IoCompletion> done;
  q.Drain(&done);
  return done;
}

// n reads of one chunk each, at chunk i, tagged i.
std::vector<IoRequest> Reads(IoBuffer& b, size_t n) {
  std::vector<IoRequest> r;
  for (size_t i = 0; i < n; ++i)
    r.push_back(IoRequest::Read(i * kChunk, b.bytes().subspan(i * kChunk, kChunk), i));
  return r;
}

TEST(SimQueue, LatencyIsTheModelsOnTheVirtualClock) {
  QueueLab t(QueueModel{250, 0, 0});
  auto b = IoBuffer::Make(4 * kChunk);
  auto q = t.Open(4);
  const uint64_t start = t.now();
  ASSERT_EQ(q->Submit(Reads(*b, 4)).queued, 4u);
  IoCompletion c[4];
  EXPECT_EQ(q->Reap(c), 0u);
  ASSERT_EQ(q->Wait(c, 10), 4u);
  for (const IoCompletion& x : c) {
    EXPECT_EQ(x.issueTicks, start);
    EXPECT_EQ(x.completeTicks - x.issueTicks, 250u);
  }
  EXPECT_EQ(c[0].tag, 0u);  // completions due together come out in submission order
  EXPECT_EQ(c[3].tag, 3u);
  EXPECT_EQ(t.now() - start, 1000u);  // one millisecond of sleep, of the virtual clock
}

TEST(SimQueue, JitterStaysInItsRange) {
  QueueLab t(QueueModel{100, 50, 0});
  auto b = IoBuffer::Make(64 * kChunk);
  auto q = t.Open(64);
  ASSERT_EQ(q->Submit(Reads(*b, 64)).queued, 64u);
  std::set<uint64_t> latencies;
  for (const IoCompletion& c : Drained(*q)) {
    const uint64_t us = c.completeTicks - c.issueTicks;
    EXPECT_GE(us, 100u);
    EXPECT_LE(us, 150u);
    latencies.insert(us);
  }
  EXPECT_GT(latencies.size(), 10u);
}

TEST(SimQueue, IopsCeilingSpacesRequestsAndCancelTakesBackTheWaiting) {
  QueueLab t(QueueModel{0, 0, 1000});  // one request a millisecond
  auto b = IoBuffer::Make(10 * kChunk);
  auto q = t.Open(10);
  const uint64_t start = t.now();
  ASSERT_EQ(q->Submit(Reads(*b, 10)).queued, 10u);
  std::vector<IoCompletion> done = Drained(*q);
  ASSERT_EQ(done.size(), 10u);
  for (size_t i = 0; i < done.size(); ++i) EXPECT_EQ(done[i].completeTicks - start, i * 1000) << i;

  // On an idle drive only the first has its turn at once; a cancel takes back the nine behind it.
  t.lab.host.Advance(5);
  const uint64_t again = t.now();
  ASSERT_EQ(q->Submit(Reads(*b, 10)).queued, 10u);
  EXPECT_EQ(q->CancelAll(), 9u);  // the first is done already
  done = Drained(*q);
  ASSERT_EQ(done.size(), 10u);
  EXPECT_EQ(std::count_if(done.begin(), done.end(), [](auto& c) { return c.status == IoStatus::kCancelled; }),
            9);
  for (const IoCompletion& c : done) EXPECT_EQ(c.completeTicks, again);
}

TEST(SimQueue, EveryNthRequestIsSlow) {
  QueueLab t;
  FaultPlan f;
  f.slowEvery = 4;
  f.slowUs = 3000;
  t.drive()->set_faults(f);
  auto b = IoBuffer::Make(8 * kChunk);
  auto q = t.Open(8);
  ASSERT_EQ(q->Submit(Reads(*b, 8)).queued, 8u);
  for (const IoCompletion& c : Drained(*q))
    EXPECT_EQ(c.completeTicks - c.issueTicks, c.tag % 4 == 3 ? 3000u : 0u) << c.tag;
}

TEST(SimQueue, StalledDriveAnswersWhenTheStallEnds) {
  QueueLab t;
  FaultPlan f;
  f.stallMs = 2000;
  f.stallRequests = request::kWrite;
  t.drive()->set_faults(f);
  auto b = IoBuffer::Make(kChunk);
  auto r = IoBuffer::Make(kChunk);
  auto q = t.Open(2);
  std::memset(b->data(), 0x5A, kChunk);
  const uint64_t start = t.now();
  ASSERT_EQ(q->Submit(IoRequest::Write(0, b->bytes(), 1)).status, SubmitStatus::kOk);
  IoCompletion c[2];
  EXPECT_EQ(q->Wait(c, 100), 0u);  // a wait that times out costs its time on the virtual clock
  EXPECT_EQ(t.now() - start, 100000u);
  EXPECT_EQ(q->CancelAll(), 1u);  // asked, but the drive has the write
  std::vector<IoCompletion> done = Drained(*q);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].status, IoStatus::kOk);
  EXPECT_EQ(done[0].completeTicks - done[0].issueTicks, 2000000u);
  ASSERT_EQ(q->Submit(IoRequest::Read(0, r->bytes(), 2)).status, SubmitStatus::kOk);  // reads do not stall
  ASSERT_EQ(Drained(*q).size(), 1u);
  EXPECT_EQ(r->data()[100], 0x5A);
}

TEST(SimQueue, InjectedErrorsEndTheirRequests) {
  QueueLab t;
  t.drive()->AddMediaError(17);  // in the third chunk, within what a short read of it moves
  FaultPlan f = t.drive()->faults();
  f.failRequests = request::kWrite;
  f.failRequestsCount = 1;
  f.shortTransfer = request::kRead;
  f.shortTransferBytes = 1024;
  t.drive()->set_faults(f);
  auto b = IoBuffer::Make(4 * kChunk);
  auto q = t.Open(4);
  ASSERT_EQ(q->Submit(Reads(*b, 3)).queued, 3u);
  std::vector<IoCompletion> reads = Drained(*q);
  ASSERT_EQ(reads.size(), 3u);
  EXPECT_EQ(reads[0].status, IoStatus::kOk);
  EXPECT_EQ(reads[0].bytes, 1024u);  // a short transfer
  EXPECT_EQ(reads[2].status, IoStatus::kMediaError);
  EXPECT_EQ(reads[2].bytes, 0u);

  const IoRequest writes[] = {IoRequest::Write(0, b->bytes().first(kChunk), 7),
                              IoRequest::Write(kChunk, b->bytes().first(kChunk), 8)};
  ASSERT_EQ(q->Submit(writes).queued, 2u);
  std::vector<IoCompletion> w = Drained(*q);
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(w[0].status, IoStatus::kFailed);  // only the next write fails
  EXPECT_EQ(w[1].status, IoStatus::kOk);

  ASSERT_EQ(q->Submit(writes[0]).status, SubmitStatus::kOk);
  t.drive()->Unplug(std::nullopt);
  w = Drained(*q);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0].status, IoStatus::kGone);
}

TEST(SimQueue, FuaFlushedAndWriteThroughDataSurviveAPowerCut) {
  QueueLab t;
  auto b = IoBuffer::Make(kChunk);
  auto r = IoBuffer::Make(5 * kChunk);
  auto q = t.Open(8);
  auto through = t.Open(1, true);
  std::memset(b->data(), 0xC3, kChunk);
  const IoRequest writes[] = {IoRequest::Write(0, b->bytes(), 1),             // cached: lost
                              IoRequest::Write(kChunk, b->bytes(), 2, true),  // FUA: kept
                              IoRequest::Write(2 * kChunk, b->bytes(), 3)};   // cached: lost
  ASSERT_EQ(q->Submit(writes).queued, 3u);
  ASSERT_EQ(Drained(*q).size(), 3u);
  ASSERT_EQ(through->Submit(IoRequest::Write(4 * kChunk, b->bytes(), 4)).status, SubmitStatus::kOk);
  ASSERT_EQ(Drained(*through).size(), 1u);
  ASSERT_EQ(q->Submit(IoRequest::Write(0, b->bytes(), 5)).status,
            SubmitStatus::kOk);  // overwritten, unflushed
  ASSERT_EQ(Drained(*q).size(), 1u);
  t.drive()->PowerCut();

  ASSERT_EQ(q->Submit(Reads(*r, 5)).queued, 5u);
  ASSERT_EQ(Drained(*q).size(), 5u);
  EXPECT_EQ(r->data()[0], 0x00);
  EXPECT_EQ(r->data()[kChunk], 0xC3);
  EXPECT_EQ(r->data()[2 * kChunk], 0x00);
  EXPECT_EQ(r->data()[4 * kChunk], 0xC3);

  ASSERT_EQ(q->Submit(IoRequest::Write(2 * kChunk, b->bytes(), 6)).status, SubmitStatus::kOk);
  ASSERT_EQ(Drained(*q).size(), 1u);
  ASSERT_EQ(q->Submit(IoRequest::Flush(7)).status, SubmitStatus::kOk);
  std::vector<IoCompletion> flushed = Drained(*q);
  ASSERT_EQ(flushed.size(), 1u);
  EXPECT_EQ(flushed[0].status, IoStatus::kOk);
  t.drive()->PowerCut();
  ASSERT_EQ(q->Submit(IoRequest::Read(2 * kChunk, r->bytes().first(kChunk), 8)).status, SubmitStatus::kOk);
  ASSERT_EQ(Drained(*q).size(), 1u);
  EXPECT_EQ(r->data()[0], 0xC3);
}

TEST(SimQueue, TrimOnADriveWithoutItIsNotSupported) {
  QueueLab t(QueueModel{}, false);
  auto q = t.Open(1);
  ASSERT_EQ(q->Submit(IoRequest::Trim(0, kChunk, 1)).status, SubmitStatus::kOk);
  std::vector<IoCompletion> done = Drained(*q);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].status, IoStatus::kNotSupported);
}

TEST(SimQueue, VolumeQueueReachesItsPartition) {
  LabUnderTest lab;  // the default lab: C: on the SATA drive
  auto drive = lab.lab->Drive("\\\\.\\C:");
  ASSERT_TRUE(drive);
  const VolumeDescription& c = drive->description().volumes.front();
  platform::QueueOptions o;
  std::string why;
  auto q = lab.lab->OpenQueue("\\\\.\\C:", o, lab.host, why);
  ASSERT_TRUE(q) << why;
  EXPECT_EQ(q->facts().lengthBytes, c.sizeBytes);
  auto b = IoBuffer::Make(kChunk);
  std::memset(b->data(), 0x77, kChunk);
  ASSERT_EQ(q->Submit(IoRequest::Write(0, b->bytes(), 1)).status, SubmitStatus::kOk);
  ASSERT_EQ(Drained(*q).size(), 1u);
  std::vector<uint8_t> disk(kChunk);
  auto dev = lab.Open(PhysicalDrivePath(drive->description().deviceNumber));
  ASSERT_EQ(dev->Read(c.offset, disk), kChunk);
  EXPECT_EQ(disk[0], 0x77);
}

TEST(SimQueue, OpenRefusesWhatHasNoSectors) {
  QueueLab t;
  platform::QueueOptions o;
  std::string why;
  EXPECT_FALSE(t.lab.lab->OpenQueue(ScsiPortPath(0), o, t.lab.host, why));
  EXPECT_NE(why.find("SCSI port"), std::string::npos) << why;
  EXPECT_FALSE(t.lab.lab->OpenQueue("\\\\.\\PHYSICALDRIVE9", o, t.lab.host, why));
  o.depth = 0;
  EXPECT_FALSE(t.lab.lab->OpenQueue(PhysicalDrivePath(0), o, t.lab.host, why));
  o.depth = 1;
  FaultPlan f;
  f.failOpen = true;
  f.failOpenCount = 1;
  t.drive()->set_faults(f);
  EXPECT_FALSE(t.lab.lab->OpenQueue(PhysicalDrivePath(0), o, t.lab.host, why));
  EXPECT_TRUE(t.lab.lab->OpenQueue(PhysicalDrivePath(0), o, t.lab.host, why));
  std::vector<std::string> lines = t.lab.lab->requestLog().Lines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](auto& l) { return l.find("OpenQueue") == 0; }));
}

TEST(SimQueue, LabFileSetsTheQueueModelAndSlowRequests) {
  LabFileResult r = ParseLab(base::IniFile::Parse(
      "[N]\nAttachment = nvme-inbox\nCapacity = 1GiB\nQueueLatencyUs = 80\nQueueJitterUs = 20\n"
      "QueueIops = 500000\nSlowEvery = 100\nSlowUs = 20000\n"));
  ASSERT_TRUE(r.lab) << r.error;
  const DriveDescription& d = r.lab->drives[0];
  EXPECT_EQ(d.queue.latencyUs, 80u);
  EXPECT_EQ(d.queue.jitterUs, 20u);
  EXPECT_EQ(d.queue.iops, 500000u);
  EXPECT_EQ(d.faults.slowEvery, 100u);
  EXPECT_EQ(d.faults.slowUs, 20000u);

  r = ParseLab(base::IniFile::Parse("[N]\nAttachment = nvme-inbox\nCapacity = 1GiB\nSlowUs = 5\n"));
  EXPECT_FALSE(r.lab);
  EXPECT_NE(r.error.find("SlowUs = \"5\": needs SlowEvery"), std::string::npos) << r.error;
  r = ParseLab(base::IniFile::Parse("[N]\nAttachment = nvme-inbox\nCapacity = 1GiB\nQueueIops = fast\n"));
  EXPECT_FALSE(r.lab);
  EXPECT_NE(r.error.find("QueueIops"), std::string::npos) << r.error;
}

}  // namespace
}  // namespace kestrune::sim
