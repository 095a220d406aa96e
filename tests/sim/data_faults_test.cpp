// The injected faults of stored data, flushes, trims and power: one table of faults and what eight
// sectors read back, on the three routes that move data (sector I/O, NVMe commands, the lab
// queue); the drive's power cut with its random destaged part and torn in-flight writes; the queue's
// race of overlapping requests; the seed that makes all of it reproducible; the lab file's keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "lab_fixture.h"
#include "platform/io_buffer.h"
#include "sim/lab_file.h"
#include "sim/sim_queue.h"

// Fault plans are written with designated initializers that leave the other faults at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace kestrune::sim {
namespace {

using platform::DataDirection;
using platform::IoBuffer;
using platform::IoCompletion;
using platform::IoRequest;
using platform::IoStatus;

constexpr uint32_t kSs = 512;

// One way of moving sectors to and from the drive.
class Route {
 public:
  virtual ~Route() = default;
  virtual bool Write(uint64_t lba, std::span<const uint8_t> data, bool fua) = 0;
  virtual bool Read(uint64_t lba, std::span<uint8_t> out) = 0;
  virtual bool Flush() = 0;
  virtual bool Trim(uint64_t lba, uint64_t count) = 0;
};

class DeviceRoute : public Route {
 public:
  explicit DeviceRoute(std::unique_ptr<platform::Device> dev) : dev_(std::move(dev)) {}
  bool Write(uint64_t lba, std::span<const uint8_t> d, bool fua) override {
    return dev_->Write(lba * kSs, d, fua) == d.size();
  }
  bool Read(uint64_t lba, std::span<uint8_t> out) override { return dev_->Read(lba * kSs, out) == out.size(); }
  bool Flush() override { return dev_->Flush(); }
  bool Trim(uint64_t lba, uint64_t count) override { return dev_->Trim(lba * kSs, count * kSs); }

 private:
  std::unique_ptr<platform::Device> dev_;
};

// NVMe I/O commands on the inbox route.
class NvmeRoute : public Route {
 public:
  explicit NvmeRoute(std::unique_ptr<platform::Device> dev) : dev_(std::move(dev)) {}
  bool Write(uint64_t lba, std::span<const uint8_t> d, bool fua) override {
    std::vector<uint8_t> copy(d.begin(), d.end());
    return Run(0x01, lba, d.size() / kSs, fua, DataDirection::kOut, copy);
  }
  bool Read(uint64_t lba, std::span<uint8_t> out) override {
    return Run(0x02, lba, out.size() / kSs, false, DataDirection::kIn, out);
  }
  bool Flush() override { return Run(0x00, 0, 0, false, DataDirection::kNone, {}); }
  bool Trim(uint64_t lba, uint64_t count) override {
    std::vector<uint8_t> range(16);
    base::PutLe32(&range[4], static_cast<uint32_t>(count));
    base::PutLe64(&range[8], lba);
    return Run(0x09, 0, 0, false, DataDirection::kOut, range);
  }

 private:
  bool Run(uint8_t opcode, uint64_t lba, uint64_t count, bool fua, DataDirection dir, std::span<uint8_t> data) {
    std::array<uint8_t, 64> e{};
    e[0] = opcode;
    base::PutLe32(&e[4], 1);
    if (opcode == 0x09) {
      base::PutLe32(&e[44], 4);  // one range, deallocate
    } else if (count > 0) {
      base::PutLe64(&e[40], lba);
      base::PutLe32(&e[48], static_cast<uint32_t>(count - 1) | (fua ? 1u << 30 : 0));
    }
    platform::NvmeCompletion done;
    return dev_->Nvme(platform::NvmeRoute::kInbox, platform::NvmeQueue::kIo, e, dir, data, 60, done) ==
               platform::PassStatus::kOk &&
           done.status == 0;
  }
  std::unique_ptr<platform::Device> dev_;
};

// The lab queue, one request at a time.
class QueueRoute : public Route {
 public:
  explicit QueueRoute(std::unique_ptr<platform::AsyncQueue> q) : q_(std::move(q)), buffer_(IoBuffer::Make(64 * kSs)) {}
  bool Write(uint64_t lba, std::span<const uint8_t> d, bool fua) override {
    std::copy(d.begin(), d.end(), buffer_->data());
    return One(IoRequest::Write(lba * kSs, buffer_->bytes().first(d.size()), 1, fua));
  }
  bool Read(uint64_t lba, std::span<uint8_t> out) override {
    if (!One(IoRequest::Read(lba * kSs, buffer_->bytes().first(out.size()), 1))) return false;
    std::copy(buffer_->data(), buffer_->data() + out.size(), out.begin());
    return true;
  }
  bool Flush() override { return One(IoRequest::Flush(1)); }
  bool Trim(uint64_t lba, uint64_t count) override { return One(IoRequest::Trim(lba * kSs, count * kSs, 1)); }

 private:
  bool One(const IoRequest& r) {
    if (q_->Submit(r).status != platform::SubmitStatus::kOk) return false;
    std::vector<IoCompletion> done;
    q_->Drain(&done);
    return done.size() == 1 && done[0].status == IoStatus::kOk;
  }
  std::unique_ptr<platform::AsyncQueue> q_;
  std::shared_ptr<IoBuffer> buffer_;
};

enum class RouteKind { kDevice, kNvme, kQueue };

struct DataLab : LabUnderTest {
  DataLab() : LabUnderTest({{SmallDrive("N", Attachment::kNvmeInbox, 0)}}) {}
  std::shared_ptr<SimDrive> drive() { return lab->Drive("N"); }
  std::unique_ptr<platform::AsyncQueue> Queue(uint32_t depth) {
    platform::QueueOptions o;
    o.depth = depth;
    std::string why;
    auto q = lab->OpenQueue(PhysicalDrivePath(0), o, host, why);
    EXPECT_TRUE(q) << why;
    return q;
  }
  std::unique_ptr<Route> Make(RouteKind kind) {
    switch (kind) {
      case RouteKind::kDevice:
        return std::make_unique<DeviceRoute>(Open(PhysicalDrivePath(0)));
      case RouteKind::kNvme:
        return std::make_unique<NvmeRoute>(Open(PhysicalDrivePath(0)));
      case RouteKind::kQueue:
        return std::make_unique<QueueRoute>(Queue(1));
    }
    return nullptr;
  }
};

// n sectors of pattern seed, each sector's bytes unlike every other sector's.
std::vector<uint8_t> Sectors(uint64_t n, uint8_t seed) {
  std::vector<uint8_t> v = Pattern(n * kSs, seed);
  for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint8_t>(v[i] + i / kSs * 13);
  return v;
}

// One letter per sector of [0, 8): what a read of that sector alone gives. 1 and 2 the two
// patterns written, Z zeros, F 0xFF bytes, C anything else, X a failed read.
std::string ReadLetters(Route& route, const std::vector<uint8_t>& p1, const std::vector<uint8_t>& p2) {
  std::string letters;
  std::vector<uint8_t> s(kSs);
  for (uint64_t lba = 0; lba < 8; ++lba) {
    if (!route.Read(lba, s)) {
      letters += 'X';
      continue;
    }
    const auto at = [&](const std::vector<uint8_t>& p) { return std::equal(s.begin(), s.end(), p.begin() + lba * kSs); };
    const bool zero = std::all_of(s.begin(), s.end(), [](uint8_t b) { return b == 0; });
    const bool ones = std::all_of(s.begin(), s.end(), [](uint8_t b) { return b == 0xFF; });
    letters += at(p1) ? '1' : at(p2) ? '2' : zero ? 'Z' : ones ? 'F' : 'C';
  }
  return letters;
}

// Sectors 0-7 written durably with pattern 1; 0-1 trimmed; 4-7 written with pattern 2 and flushed;
// sector 6 written with pattern 1 again, not flushed; then, if asked, the drive's power is cut
// (SimDrive::PowerCut: every unflushed write lost). Two passes of single-sector reads.
TEST(DataFaults, EachFaultOnEveryRoute) {
  const struct {
    const char* what;
    std::function<void(FaultPlan&)> plan;
    bool cut;
    const char* first;
    const char* second;
  } rows[] = {
      {"none", [](FaultPlan&) {}, false, "ZZ112212", "ZZ112212"},
      {"none, power cut", [](FaultPlan&) {}, true, "ZZ112222", "ZZ112222"},
      {"ignored flush", [](FaultPlan& p) { p.ignoreFlush = true; }, false, "ZZ112212", "ZZ112212"},
      {"ignored flush, power cut", [](FaultPlan& p) { p.ignoreFlush = true; }, true, "ZZ111111", "ZZ111111"},
      {"trim reads ff", [](FaultPlan& p) { p.trimReads = FaultPlan::TrimRead::kOnes; }, true, "FF112222", "FF112222"},
      {"trim reads old", [](FaultPlan& p) { p.trimReads = FaultPlan::TrimRead::kOld; }, false, "11112212", "11112212"},
      {"media error", [](FaultPlan& p) { p.mediaErrorLbas = {3}; }, false, "ZZ1X2212", "ZZ1X2212"},
      {"transient media errors",
       [](FaultPlan& p) { p.transientMediaErrors = {{2, 1}, {5, 2}}; }, false, "ZZX12X12", "ZZ112X12"},
      {"read bit flip", [](FaultPlan& p) { p.bitFlipReads = {4}; }, false, "ZZ11C212", "ZZ112212"},
      {"stored bit flip", [](FaultPlan& p) { p.bitFlipWrites = {5}; }, false, "ZZ112C12", "ZZ112C12"},
      {"lost write", [](FaultPlan& p) { p.lostWrites = {5}; }, false, "ZZ111111", "ZZ111111"},
      {"torn write", [](FaultPlan& p) { p.tornWrites = {6}; }, false, "ZZ112211", "ZZ112211"},
      {"misdirected write", [](FaultPlan& p) { p.misdirectedWrites = {{6, 7}}; }, false, "ZZ111C1C", "ZZ111C1C"},
  };
  for (RouteKind kind : {RouteKind::kDevice, RouteKind::kNvme, RouteKind::kQueue}) {
    for (const auto& row : rows) {
      const char* routes[] = {"sector I/O", "NVMe commands", "the lab queue"};
      const std::string label = std::string(row.what) + " through " + routes[static_cast<int>(kind)];
      DataLab t;
      auto route = t.Make(kind);
      const std::vector<uint8_t> p1 = Sectors(8, 1), p2 = Sectors(8, 2);
      ASSERT_TRUE(route->Write(0, p1, true)) << label;
      FaultPlan plan;
      row.plan(plan);
      t.drive()->set_faults(plan);
      EXPECT_TRUE(route->Trim(0, 2)) << label;
      EXPECT_TRUE(route->Write(4, std::span(p2).subspan(4 * kSs), false)) << label;
      EXPECT_TRUE(route->Flush()) << label;  // an ignored flush reports success all the same
      EXPECT_TRUE(route->Write(6, std::span(p1).subspan(6 * kSs, kSs), false)) << label;
      if (row.cut) t.drive()->PowerCut();
      EXPECT_EQ(ReadLetters(*route, p1, p2), row.first) << label;
      EXPECT_EQ(ReadLetters(*route, p1, p2), row.second) << label;
    }
  }
}

// A transient media error ends on the ATA route as on the others, naming the sector while it lasts.
TEST(DataFaults, TransientMediaErrorOnAta) {
  LabUnderTest t({{SmallDrive("S", Attachment::kSataAhci, 0)}});
  t.lab->Drive("S")->set_faults({.transientMediaErrors = {{10, 1}}});
  auto sata = t.Open(PhysicalDrivePath(0));
  std::vector<uint8_t> data(4 * kSs);
  for (bool fails : {true, false}) {
    platform::AtaRegisters regs;
    regs.command = 0x25;  // READ DMA EXT, sectors 8-11
    regs.count = 4;
    regs.lbaLow = 8;
    regs.extended = true;
    ASSERT_EQ(sata->Ata(regs, DataDirection::kIn, data, 60), platform::PassStatus::kOk);
    EXPECT_EQ(regs.command, fails ? 0x51 : 0x50);
    if (fails) {
      EXPECT_EQ(regs.lbaLow, 10);  // the failing sector, though it reads clean from now on
    }
  }
}

// The sectors of n cached single-sector writes (LBA 2i, pattern i + 1) that survive a power cut
// after those n writes, on a drive seeded with seed; the drive is back at once afterwards.
std::set<uint64_t> Survivors(uint64_t seed, uint32_t n) {
  DataLab t;
  t.drive()->set_faults({.seed = seed, .powerCutAfterRequests = n, .returnAfterSeconds = 0});
  auto dev = t.Open(PhysicalDrivePath(0));
  for (uint32_t i = 0; i < n; ++i) EXPECT_TRUE(dev->Write(2 * i * kSs, Sectors(1, static_cast<uint8_t>(i + 1)), false));
  std::set<uint64_t> kept;
  std::vector<uint8_t> back(kSs);
  for (uint32_t i = 0; i < n; ++i) {
    EXPECT_TRUE(dev->Read(2 * i * kSs, back)) << i;
    if (back == Sectors(1, static_cast<uint8_t>(i + 1))) kept.insert(i);
  }
  return kept;
}

TEST(DataFaults, PowerCutKeepsARandomSubsetReproducibly) {
  const std::set<uint64_t> a = Survivors(7, 40), b = Survivors(7, 40), c = Survivors(8, 40);
  EXPECT_EQ(a, b);  // the same seed, the same writes destaged
  EXPECT_NE(a, c);
  EXPECT_GT(a.size(), 5u);   // some destaged ...
  EXPECT_LT(a.size(), 35u);  // ... most of the others lost
}

TEST(DataFaults, RequestsFailUntilThePowerReturns) {
  DataLab t;
  t.drive()->set_faults({.powerCutAfterRequests = 2, .returnAfterSeconds = 3});
  auto dev = t.Open(PhysicalDrivePath(0));
  const std::vector<uint8_t> data = Sectors(1, 9);
  std::vector<uint8_t> back(kSs);
  ASSERT_TRUE(dev->Write(0, data, true));
  ASSERT_TRUE(dev->Write(kSs, data, true));  // the second request: the power goes after it
  EXPECT_FALSE(dev->Read(0, back));
  EXPECT_FALSE(dev->Flush());
  EXPECT_TRUE(t.drive()->Present());  // still on the bus, the handle stays open
  t.host.monotonic += 2999;
  EXPECT_FALSE(dev->Read(0, back));
  t.host.monotonic += 1;
  ASSERT_TRUE(dev->Read(0, back));
  EXPECT_EQ(back, data);  // FUA writes survive
  ASSERT_TRUE(dev->Read(kSs, back));
  EXPECT_EQ(back, data);
  EXPECT_TRUE(dev->Write(0, data, false));  // and it fires once
  EXPECT_TRUE(dev->Write(0, data, false));
}

// Writes of eight sectors in flight when a timed cut comes: each fails and has stored the sectors
// before some random one (never all of them); the same seed tears them alike.
TEST(DataFaults, InFlightWritesAreTornAtASector) {
  auto run = [](uint64_t seed) {
    DataLab t;
    t.drive()->set_faults({.seed = seed, .powerCutAfterMs = 1, .returnAfterSeconds = 0});
    auto q = t.Queue(16);
    auto old = IoBuffer::Make(128 * kSs), fresh = IoBuffer::Make(128 * kSs);
    std::fill(fresh->data(), fresh->data() + 128 * kSs, 0xAB);
    std::vector<IoCompletion> done;
    // Nothing is due before the cut: the model's latency is 0, so the requests are held back by
    // advancing the clock between submit and reap.
    for (uint64_t i = 0; i < 16; ++i)
      EXPECT_EQ(q->Submit(IoRequest::Write(i * 8 * kSs, fresh->bytes().subspan(i * 8 * kSs, 8 * kSs), i)).status,
                platform::SubmitStatus::kOk);
    t.host.monotonic += 1;
    q->Drain(&done);
    EXPECT_EQ(done.size(), 16u);
    for (const IoCompletion& c : done) EXPECT_EQ(c.status, IoStatus::kFailed) << c.tag;
    std::vector<uint64_t> kept;
    EXPECT_EQ(q->Submit(IoRequest::Read(0, old->bytes(), 99)).status, platform::SubmitStatus::kOk);
    done.clear();
    q->Drain(&done);
    EXPECT_EQ(done.size(), 1u);
    for (uint64_t i = 0; i < 16; ++i) {
      const uint8_t* w = old->data() + i * 8 * kSs;
      uint64_t k = 0;
      while (k < 8 && w[k * kSs] == 0xAB) ++k;
      for (uint64_t j = k; j < 8; ++j) EXPECT_EQ(w[j * kSs], 0) << i << " " << j;  // a prefix, no more
      EXPECT_LT(k, 8u) << i;
      kept.push_back(k);
    }
    return kept;
  };
  const std::vector<uint64_t> a = run(3), b = run(3);
  EXPECT_EQ(a, b);
  EXPECT_GT(std::set<uint64_t>(a.begin(), a.end()).size(), 2u);
}

// Two writes of the same sectors in flight together: which lands last is the drive's (seeded)
// choice, not the submission order; the completions still come out in submission order.
TEST(DataFaults, OverlappingQueuedWritesRace) {
  std::set<uint8_t> winners;
  for (uint64_t seed = 1; seed <= 16; ++seed) {
    uint8_t first = 0;
    for (int again = 0; again < 2; ++again) {
      DataLab t;
      t.drive()->set_faults({.seed = seed});
      auto q = t.Queue(2);
      auto a = IoBuffer::Make(kSs), b = IoBuffer::Make(kSs), r = IoBuffer::Make(kSs);
      std::fill(a->data(), a->data() + kSs, 0xA1);
      std::fill(b->data(), b->data() + kSs, 0xB2);
      const IoRequest both[] = {IoRequest::Write(0, a->bytes(), 1), IoRequest::Write(0, b->bytes(), 2)};
      ASSERT_EQ(q->Submit(both).queued, 2u);
      std::vector<IoCompletion> done;
      q->Drain(&done);
      ASSERT_EQ(done.size(), 2u);
      EXPECT_EQ(done[0].tag, 1u);
      ASSERT_EQ(q->Submit(IoRequest::Read(0, r->bytes(), 3)).status, platform::SubmitStatus::kOk);
      q->Drain(&done);
      if (again == 0) first = r->data()[0];
      EXPECT_EQ(r->data()[0], first) << seed;  // reproducible
    }
    winners.insert(first);
  }
  EXPECT_EQ(winners, (std::set<uint8_t>{0xA1, 0xB2}));
}

TEST(DataFaults, FromTheLabFile) {
  const char* drive = "[N]\nAttachment = nvme-inbox\nCapacity = 8MiB\n";
  LabFileResult good = ParseLab(base::IniFile::Parse(
      std::string(drive) +
      "Seed = 0x1234\nIgnoreFlush = yes\nTrimReads = FF\nTrimPromise = old\nMediaErrors = 5, 9\nMediaErrorsCount = 3\n"
      "LostWrites = 1\nTornWrites = 2\nMisdirectedWrites = 3=4, 0x10=0x20\nPowerCutAfterRequests = 7\n"
      "PowerCutAfterMs = 250\nReturnAfter = 1\n"));
  ASSERT_TRUE(good.lab) << good.error;
  const FaultPlan& f = good.lab->drives[0].faults;
  EXPECT_EQ(f.seed, 0x1234u);
  EXPECT_TRUE(f.ignoreFlush);
  EXPECT_EQ(f.trimReads, FaultPlan::TrimRead::kOnes);
  EXPECT_EQ(good.lab->drives[0].trimPromise, FaultPlan::TrimRead::kOld);  // no promise in the identify data
  EXPECT_TRUE(f.mediaErrorLbas.empty());
  EXPECT_EQ(f.transientMediaErrors, (std::map<uint64_t, uint32_t>{{5, 3}, {9, 3}}));
  EXPECT_EQ(f.lostWrites, std::set<uint64_t>{1});
  EXPECT_EQ(f.tornWrites, std::set<uint64_t>{2});
  EXPECT_EQ(f.misdirectedWrites, (std::map<uint64_t, uint64_t>{{3, 4}, {16, 32}}));
  EXPECT_EQ(f.powerCutAfterRequests, 7u);
  EXPECT_EQ(f.powerCutAfterMs, 250u);
  // Without a count a media error stays.
  good = ParseLab(base::IniFile::Parse(std::string(drive) + "MediaErrors = 5\n"));
  ASSERT_TRUE(good.lab) << good.error;
  EXPECT_EQ(good.lab->drives[0].faults.mediaErrorLbas, std::set<uint64_t>{5});

  const struct {
    const char* line;
    const char* error;
  } bad[] = {
      {"TrimReads = one", "TrimReads = \"one\": not zero, ff or old"},
      {"TrimPromise = 00", "TrimPromise = \"00\": not zero, ff or old"},
      {"MediaErrorsCount = 2", "MediaErrorsCount = \"2\": needs MediaErrors"},
      {"MisdirectedWrites = 3", "not a list of LBA=LBA"},
      {"MisdirectedWrites = 3=3", "not a list of LBA=LBA"},
      {"MisdirectedWrites = 3=16384", "not a list of LBA=LBA"},  // past the last of 16384 sectors
      {"TornWrites = 16384", "not a list of LBAs on the drive"},
      {"Seed = x", "Seed = \"x\": not a number"},
      {"IgnoreFlush = maybe", "not a switch"},
      {"PowerCutAfterMs = -1", "not a number"},
  };
  for (const auto& b : bad) {
    LabFileResult r = ParseLab(base::IniFile::Parse(std::string(drive) + b.line + "\n"));
    EXPECT_FALSE(r.lab) << b.line;
    EXPECT_NE(r.error.find(b.error), std::string::npos) << b.line << ": " << r.error;
  }
}

}  // namespace
}  // namespace kestrune::sim
