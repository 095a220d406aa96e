// The contract of AsyncQueue (platform/async_queue.h), run against every implementation this
// machine has: the lab's queue on a simulated drive (virtual clock), io_uring on a file in a
// temporary folder and on a loop device (root), and the thread-pool stand-in on a file. A rig that
// cannot run here skips with the reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/async_queue.h"
#include "platform/io_buffer.h"
#include "platform/linux/linux_queue.h"
#include "sim/sim_lab.h"
#include "support/fake_host.h"
#include "support/loop_device.h"

namespace kestrune::platform {
namespace {

constexpr uint64_t kTargetBytes = 8ull << 20;
constexpr uint64_t kChunk = 4096;

// One implementation with a target to run it on.
class QueueRig {
 public:
  virtual ~QueueRig() = default;
  virtual std::unique_ptr<AsyncQueue> Open(const QueueOptions& options, std::string& why) = 0;
  virtual Host& host() = 0;
  // The drive's data, read past every queue (the lab's own handle), to check what landed; empty
  // when the rig has no such view.
  virtual std::vector<uint8_t> Peek(uint64_t offset, size_t bytes) { return {}; }

  std::string skip;           // why the rig cannot run here; empty when it can
  std::string mechanism;      // what facts().mechanism says
  bool hasNotice = false;     // the queue is a stand-in and says so
  bool startsSlowly = false;  // requests stay in flight until the rig's clock moves (the lab)
};

QueueOptions Options(uint32_t depth, OpenAccess access = OpenAccess::kReadWrite) {
  QueueOptions o;
  o.depth = depth;
  o.access = access;
  return o;
}

// The lab: an NVMe drive whose queued requests take 1 ms of the fake host's virtual clock.
class LabRig : public QueueRig {
 public:
  LabRig() {
    sim::DriveDescription d;
    d.name = "Queue";
    d.attachment = sim::Attachment::kNvmeInbox;
    d.model = "QUEUE TEST";
    d.serial = "Q1";
    d.firmware = "F1";
    d.capacityBytes = kTargetBytes;
    d.queue.latencyUs = 1000;
    d.inquiry = sim::DefaultInquiry(d.attachment, d.model, d.firmware);
    sim::LabDescription lab;
    lab.drives.push_back(d);
    std::string error;
    lab_ = sim::SimLab::Create(lab, dir_.path(), host_, error);
    if (!lab_) skip = error;
    mechanism = "lab";
    startsSlowly = true;
  }
  std::unique_ptr<AsyncQueue> Open(const QueueOptions& options, std::string& why) override {
    return lab_->OpenQueue(sim::PhysicalDrivePath(0), options, host_, why);
  }
  Host& host() override { return host_; }
  std::vector<uint8_t> Peek(uint64_t offset, size_t bytes) override {
    std::vector<uint8_t> out(bytes);
    auto drive = lab_->Drive("Queue");
    auto lock = drive->Lock();
    drive->ReadMedia(offset, out);
    return out;
  }

 private:
  testing::TempDir dir_;
  testing::FakeHost host_;
  std::unique_ptr<sim::SimLab> lab_;
};

// The fake host with the real steady clock: system queues take real time.
class SteadyClockHost : public testing::FakeHost {
 public:
  uint64_t Ticks() const override {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  }
  uint64_t TickFrequency() const override { return 1000000000u; }
};

// A Linux queue on a file of kTargetBytes in a temporary folder, or on a loop device.
class LinuxRig : public QueueRig {
 public:
  LinuxRig(linux_dev::QueueMechanism m, bool onLoop) : mechanism_(m) {
    if (onLoop) {
      loop_ = std::make_unique<testing::LoopDevice>(dir_.path(), 512, kTargetBytes);
      path_ = loop_->path();
      if (path_.empty()) skip = loop_->why();
    } else {
      path_ = dir_.path() + "/target.img";
      std::ofstream(path_).close();
      std::filesystem::resize_file(path_, kTargetBytes);
    }
    mechanism = m == linux_dev::QueueMechanism::kThreadPool ? "thread pool" : "io_uring";
    hasNotice = m == linux_dev::QueueMechanism::kThreadPool;
    if (skip.empty() && m == linux_dev::QueueMechanism::kIoUring) {  // is io_uring there at all?
      std::string why;
      if (!Open(Options(1), why)) skip = why;
    }
  }
  std::unique_ptr<AsyncQueue> Open(const QueueOptions& options, std::string& why) override {
    return linux_dev::OpenLinuxQueue(linux_dev::SysRoot(), path_, options, host_, mechanism_, why);
  }
  Host& host() override { return host_; }

 private:
  linux_dev::QueueMechanism mechanism_;
  SteadyClockHost host_;
  testing::TempDir dir_;
  std::unique_ptr<testing::LoopDevice> loop_;
  std::string path_;
};

struct RigRow {
  const char* name;
  std::function<std::unique_ptr<QueueRig>()> make;
};

void PrintTo(const RigRow& row, std::ostream* os) { *os << row.name; }

const RigRow kRigs[] = {
    {"Lab", [] { return std::make_unique<LabRig>(); }},
    {"IoUringFile", [] { return std::make_unique<LinuxRig>(linux_dev::QueueMechanism::kIoUring, false); }},
    {"IoUringLoop", [] { return std::make_unique<LinuxRig>(linux_dev::QueueMechanism::kIoUring, true); }},
    {"ThreadPoolFile",
     [] { return std::make_unique<LinuxRig>(linux_dev::QueueMechanism::kThreadPool, false); }},
};

std::shared_ptr<IoBuffer> PatternBuffer(size_t bytes, uint8_t seed) {
  auto b = IoBuffer::Make(bytes);
  for (size_t i = 0; i < bytes; ++i) b->data()[i] = static_cast<uint8_t>(seed + i * 13 + (i >> 12));
  return b;
}

// Waits for n completions (a minute of the rig's clock at most).
std::vector<IoCompletion> Collect(AsyncQueue& q, size_t n) {
  std::vector<IoCompletion> got;
  IoCompletion batch[16];
  for (int i = 0; got.size() < n && i < 600; ++i) {
    const size_t k = q.Wait(batch, 100);
    got.insert(got.end(), batch, batch + k);
  }
  return got;
}

class AsyncQueueContract : public ::testing::TestWithParam<RigRow> {
 protected:
  void SetUp() override {
    rig = GetParam().make();
    if (!rig->skip.empty()) GTEST_SKIP() << rig->skip;
  }
  std::unique_ptr<AsyncQueue> OpenQueue(uint32_t depth, OpenAccess access = OpenAccess::kReadWrite) {
    std::string why;
    auto q = rig->Open(Options(depth, access), why);
    EXPECT_TRUE(q) << why;
    return q;
  }
  // Writes (or, with read, reads) n chunks of buffer b to offsets base + i * stride in one batch.
  std::vector<IoCompletion> Batch(AsyncQueue& q, IoBuffer& b, size_t n, uint64_t base, uint64_t stride,
                                  bool read, IoOp op = IoOp::kWrite) {
    std::vector<IoRequest> requests;
    for (size_t i = 0; i < n; ++i) {
      std::span<uint8_t> piece = b.bytes().subspan(i * kChunk, kChunk);
      requests.push_back(read ? IoRequest::Read(base + i * stride, piece, i)
                              : IoRequest::Write(base + i * stride, piece, i, op == IoOp::kWriteFua));
    }
    SubmitResult r = q.Submit(requests);
    EXPECT_EQ(r.status, SubmitStatus::kOk);
    EXPECT_EQ(r.queued, n);
    return Collect(q, n);
  }
  std::unique_ptr<QueueRig> rig;
};

TEST_P(AsyncQueueContract, OpensWithFactsOfItsTarget) {
  auto q = OpenQueue(8);
  ASSERT_TRUE(q);
  const QueueFacts& f = q->facts();
  EXPECT_EQ(f.mechanism, rig->mechanism);
  EXPECT_EQ(!f.notice.empty(), rig->hasNotice) << f.notice;
  EXPECT_EQ(f.depth, 8u);
  EXPECT_EQ(f.lengthBytes, kTargetBytes);
  EXPECT_GT(f.sectorSize, 0u);
  EXPECT_EQ(kChunk % f.sectorSize, 0u);
  EXPECT_FALSE(f.readOnly);
  EXPECT_EQ(q->InFlight(), 0u);
  std::string why;
  QueueOptions deep;
  deep.depth = kMaxQueueDepth + 1;
  EXPECT_FALSE(rig->Open(deep, why));
  EXPECT_FALSE(why.empty());
}

TEST_P(AsyncQueueContract, WritesAndReadsRoundTripInBatches) {
  auto out = PatternBuffer(8 * kChunk, 3);
  auto in = IoBuffer::Make(8 * kChunk);
  auto q = OpenQueue(8);
  ASSERT_TRUE(q);
  const std::span<uint8_t> both[] = {out->bytes(), in->bytes()};
  q->RegisterBuffers(both);  // io_uring pins them; the others ignore it

  std::vector<IoCompletion> wrote = Batch(*q, *out, 8, 0, 64 * 1024, false);
  ASSERT_EQ(wrote.size(), 8u);
  std::set<uint64_t> tags;
  for (const IoCompletion& c : wrote) {
    EXPECT_EQ(c.status, IoStatus::kOk) << IoStatusText(c.status) << " " << c.systemError;
    EXPECT_EQ(c.op, IoOp::kWrite);
    EXPECT_EQ(c.bytes, kChunk);
    EXPECT_LE(c.issueTicks, c.completeTicks);
    tags.insert(c.tag);
  }
  EXPECT_EQ(tags.size(), 8u);
  EXPECT_EQ(q->InFlight(), 0u);

  std::vector<IoCompletion> read = Batch(*q, *in, 8, 0, 64 * 1024, true);
  ASSERT_EQ(read.size(), 8u);
  for (const IoCompletion& c : read) EXPECT_EQ(c.bytes, kChunk);
  EXPECT_EQ(std::memcmp(in->data(), out->data(), 8 * kChunk), 0);
}

TEST_P(AsyncQueueContract, FuaWritesAndFlushesComplete) {
  auto out = PatternBuffer(2 * kChunk, 9);
  auto q = OpenQueue(4);
  ASSERT_TRUE(q);
  std::vector<IoCompletion> fua = Batch(*q, *out, 2, 1 << 20, kChunk, false, IoOp::kWriteFua);
  ASSERT_EQ(fua.size(), 2u);
  for (const IoCompletion& c : fua) {
    EXPECT_EQ(c.status, IoStatus::kOk);
    EXPECT_EQ(c.op, IoOp::kWriteFua);
    EXPECT_EQ(c.bytes, kChunk);
  }
  ASSERT_EQ(q->Submit(IoRequest::Flush(77)).status, SubmitStatus::kOk);
  std::vector<IoCompletion> flushed = Collect(*q, 1);
  ASSERT_EQ(flushed.size(), 1u);
  EXPECT_EQ(flushed[0].op, IoOp::kFlush);
  EXPECT_EQ(flushed[0].tag, 77u);
  EXPECT_EQ(flushed[0].status, IoStatus::kOk);
  EXPECT_EQ(flushed[0].bytes, 0u);

  QueueOptions through;
  through.depth = 1;
  through.writeThrough = true;
  std::string why;
  auto t = rig->Open(through, why);
  ASSERT_TRUE(t) << why;
  EXPECT_TRUE(t->facts().writeThrough);
  ASSERT_EQ(t->Submit(IoRequest::Write(0, out->bytes().first(kChunk), 1)).status, SubmitStatus::kOk);
  std::vector<IoCompletion> w = Collect(*t, 1);
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0].status, IoStatus::kOk);
}

TEST_P(AsyncQueueContract, TrimmedRangeReadsAsZeros) {
  auto out = PatternBuffer(16 * kChunk, 5);
  auto in = IoBuffer::Make(16 * kChunk);
  auto q = OpenQueue(4);
  ASSERT_TRUE(q);
  const uint64_t at = 2 << 20;
  ASSERT_EQ(q->Submit(IoRequest::Write(at, out->bytes(), 1)).status, SubmitStatus::kOk);
  ASSERT_EQ(Collect(*q, 1).size(), 1u);
  ASSERT_EQ(q->Submit(IoRequest::Trim(at + 4 * kChunk, 8 * kChunk, 2)).status, SubmitStatus::kOk);
  std::vector<IoCompletion> trimmed = Collect(*q, 1);
  ASSERT_EQ(trimmed.size(), 1u);
  EXPECT_EQ(trimmed[0].op, IoOp::kTrim);
  ASSERT_EQ(trimmed[0].status, IoStatus::kOk) << trimmed[0].systemError;
  EXPECT_EQ(trimmed[0].bytes, 8 * kChunk);

  ASSERT_EQ(q->Submit(IoRequest::Read(at, in->bytes(), 3)).status, SubmitStatus::kOk);
  ASSERT_EQ(Collect(*q, 1).size(), 1u);
  EXPECT_EQ(std::memcmp(in->data(), out->data(), 4 * kChunk), 0);
  EXPECT_TRUE(
      std::all_of(in->data() + 4 * kChunk, in->data() + 12 * kChunk, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(std::memcmp(in->data() + 12 * kChunk, out->data() + 12 * kChunk, 4 * kChunk), 0);
}

TEST_P(AsyncQueueContract, RefusesRequestsThatBreakTheRules) {
  auto b = IoBuffer::Make(2 * kChunk);
  auto q = OpenQueue(2);
  auto ro = OpenQueue(2, OpenAccess::kRead);
  ASSERT_TRUE(q && ro);
  EXPECT_TRUE(ro->facts().readOnly);
  const uint32_t ss = q->facts().sectorSize;
  struct Case {
    const char* what;
    IoRequest request;
    bool readOnly;
  };
  const Case cases[] = {
      {"read past the end", IoRequest::Read(kTargetBytes, b->bytes().first(kChunk), 0), false},
      {"read across the end", IoRequest::Read(kTargetBytes - ss, b->bytes().first(2 * ss), 0), false},
      {"offset off a sector", IoRequest::Read(ss / 2, b->bytes().first(ss), 0), false},
      {"length off a sector", IoRequest::Read(0, b->bytes().first(ss + 1), 0), false},
      {"empty read", IoRequest::Read(0, b->bytes().first(0), 0), false},
      {"buffer off a page", IoRequest::Read(0, b->bytes().subspan(8, ss), 0), false},
      {"trim past the end", IoRequest::Trim(kTargetBytes - ss, 2 * ss, 0), false},
      {"write on a read-only queue", IoRequest::Write(0, b->bytes().first(kChunk), 0), true},
      {"trim on a read-only queue", IoRequest::Trim(0, kChunk, 0), true},
  };
  for (const Case& c : cases) {
    SubmitResult r = (c.readOnly ? ro : q)->Submit(c.request);
    EXPECT_EQ(r.status, SubmitStatus::kInvalid) << c.what;
    EXPECT_EQ(r.queued, 0u) << c.what;
  }
  EXPECT_EQ(q->InFlight(), 0u);

  // A batch stops at the first bad request, and at the first that finds no free slot.
  const IoRequest mixed[] = {IoRequest::Read(0, b->bytes().first(kChunk), 1),
                             IoRequest::Read(kTargetBytes, b->bytes().first(kChunk), 2)};
  SubmitResult r = q->Submit(mixed);
  EXPECT_EQ(r.status, SubmitStatus::kInvalid);
  EXPECT_EQ(r.queued, 1u);
  // Request 1 is still reading into the first chunk: the next read lands in the second one.
  const IoRequest three[] = {IoRequest::Read(0, b->bytes().subspan(kChunk, kChunk), 3),
                             IoRequest::Read(kChunk, b->bytes().subspan(kChunk, kChunk), 4),
                             IoRequest::Read(0, b->bytes().first(kChunk), 5)};
  r = q->Submit(three);
  EXPECT_EQ(r.status, SubmitStatus::kFull);
  EXPECT_EQ(r.queued, 1u);
  EXPECT_EQ(q->InFlight(), 2u);
  EXPECT_EQ(Collect(*q, 2).size(), 2u);
}

TEST_P(AsyncQueueContract, WaitReturnsAtOnceWhenIdle) {
  auto b = IoBuffer::Make(kChunk);
  auto q = OpenQueue(1);
  ASSERT_TRUE(q);
  IoCompletion c[4];
  const uint64_t before = rig->host().Ticks();
  EXPECT_EQ(q->Wait(c, 60000), 0u);
  EXPECT_EQ(q->Reap(c), 0u);
  EXPECT_LT(rig->host().Ticks() - before, rig->host().TickFrequency());  // no minute passed

  ASSERT_EQ(q->Submit(IoRequest::Read(0, b->bytes(), 1)).status, SubmitStatus::kOk);
  if (rig->startsSlowly) {
    EXPECT_EQ(q->Reap(c), 0u);  // the lab's drive takes a millisecond
    EXPECT_EQ(q->Wait(c, 0), 0u);
  }
  size_t n = 0;
  for (int i = 0; n == 0 && i < 100; ++i) n = q->Wait(c, 100);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(q->InFlight(), 0u);
}

TEST_P(AsyncQueueContract, CancelledRequestsStillCompleteOnceEach) {
  auto b = IoBuffer::Make(16 * 65536);
  auto q = OpenQueue(16);
  ASSERT_TRUE(q);
  std::vector<IoRequest> requests;
  for (uint64_t i = 0; i < 16; ++i)
    requests.push_back(IoRequest::Read(i * 65536, b->bytes().subspan(i * 65536, 65536), i % 2));
  ASSERT_EQ(q->Submit(requests).queued, 16u);
  EXPECT_LE(q->Cancel(1), 8u);
  EXPECT_LE(q->CancelAll(), 16u);
  std::vector<IoCompletion> done;
  q->Drain(&done);
  EXPECT_EQ(q->InFlight(), 0u);
  ASSERT_EQ(done.size(), 16u);
  for (const IoCompletion& c : done) {
    EXPECT_TRUE(c.status == IoStatus::kOk || c.status == IoStatus::kCancelled) << IoStatusText(c.status);
    if (c.status == IoStatus::kCancelled) {
      EXPECT_EQ(c.bytes, 0u);
    }
  }
  // The queue goes on as before.
  ASSERT_EQ(q->Submit(requests.front()).status, SubmitStatus::kOk);
  std::vector<IoCompletion> again = Collect(*q, 1);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].status, IoStatus::kOk);
}

TEST_P(AsyncQueueContract, OneBufferServesTwoQueuesAtOnce) {
  auto shared = PatternBuffer(65536, 11);
  // Both queues are open before either thread starts and closed after both end, so that they are
  // really open at once, and no ring is mapped again at an address the other thread used: liburing
  // maps its rings by raw system calls, which ThreadSanitizer does not see.
  std::string why;
  auto qa = rig->Open(Options(4), why);
  ASSERT_TRUE(qa) << why;
  auto qb = rig->Open(Options(4), why);
  ASSERT_TRUE(qb) << why;
  auto writer = [&](AsyncQueue* q, uint64_t base) {
    for (uint64_t at = base; at < base + (1 << 20); at += 4 * 65536) {
      std::vector<IoRequest> four;
      for (uint64_t i = 0; i < 4; ++i)
        four.push_back(IoRequest::Write(at + i * 65536, shared->bytes(), at + i));
      ASSERT_EQ(q->Submit(four).queued, 4u);
      std::vector<IoCompletion> done = Collect(*q, 4);
      ASSERT_EQ(done.size(), 4u);
      for (const IoCompletion& c : done) EXPECT_EQ(c.status, IoStatus::kOk);
    }
  };
  std::thread a(writer, qa.get(), 0);
  std::thread b(writer, qb.get(), 1 << 20);
  a.join();
  b.join();
  qa.reset();
  qb.reset();
  auto in = IoBuffer::Make(65536);
  auto q = OpenQueue(1);
  ASSERT_TRUE(q);
  for (uint64_t at = 0; at < (2 << 20); at += 65536) {
    ASSERT_EQ(q->Submit(IoRequest::Read(at, in->bytes(), at)).status, SubmitStatus::kOk);
    ASSERT_EQ(Collect(*q, 1).size(), 1u);
    ASSERT_EQ(std::memcmp(in->data(), shared->data(), 65536), 0) << "at " << at;
  }
}

TEST_P(AsyncQueueContract, ReaperFinishesAQueueItsOwnerLetGoOf) {
  std::weak_ptr<IoBuffer> watch;
  {
    QueueReaper reaper;
    auto b = PatternBuffer(8 * kChunk, 21);
    auto q = OpenQueue(8);
    ASSERT_TRUE(q);
    watch = b;
    std::vector<IoRequest> writes;
    for (uint64_t i = 0; i < 8; ++i)
      writes.push_back(IoRequest::Write(3 << 20 | i * kChunk, b->bytes().subspan(i * kChunk, kChunk), i));
    ASSERT_EQ(q->Submit(writes).queued, 8u);
    reaper.Adopt(std::move(q), b);  // a forced stop: the owner lets go of queue and buffer at once
    b.reset();
    reaper.WaitIdle();
    EXPECT_EQ(reaper.Pending(), 0u);
    EXPECT_TRUE(watch.expired());
  }
  // The lab's drive had started every write: they landed, from the buffer the reaper kept alive.
  std::vector<uint8_t> landed = rig->Peek(3 << 20, 8 * kChunk);
  if (!landed.empty()) {
    auto expected = PatternBuffer(8 * kChunk, 21);
    EXPECT_EQ(std::memcmp(landed.data(), expected->data(), landed.size()), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Rigs, AsyncQueueContract, ::testing::ValuesIn(kRigs),
                         [](const ::testing::TestParamInfo<RigRow>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace kestrune::platform
