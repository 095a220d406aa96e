// The USB-to-NVMe bridge models: each runs the NVMe commands of its own CDB set and refuses the
// others; phases out of order and injected phase failures.
#include "base/bytes.h"
#include "lab_fixture.h"

namespace kestrune::sim {
namespace {

using platform::DataDirection;
using platform::PassStatus;

using Cdb = std::array<uint8_t, 16>;

struct Phase {
  Cdb cdb;
  DataDirection direction;
  size_t length;
};

// Identify Controller as each bridge form sends it; the data phase reads 4096 bytes.
std::vector<Phase> IdentifyPhases(const std::string& form) {
  std::array<uint8_t, 64> entry{};
  entry[0] = 0x06;
  entry[40] = 0x01;
  if (form == "asmedia") {
    return {{{0xEA, 0x5A, 0x80, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 64}, DataDirection::kOut, 64},
            {{0xEB, 0x5A, 0x81, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x10, 0}, DataDirection::kIn, 4096},
            {{0xEB, 0x5A, 0x82, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 16}, DataDirection::kIn, 16}};
  }
  if (form == "asmedia-single") return {{{0xE6, 0x06, 0, 0x01}, DataDirection::kIn, 4096}};
  if (form == "jmicron") {
    return {{{0xA1, 0x80, 0, 0, 0x02, 0}, DataDirection::kOut, 512},
            {{0xA1, 0x82, 0, 0, 0x10, 0}, DataDirection::kIn, 4096},
            {{0xA1, 0x8F, 0, 0, 0x02, 0}, DataDirection::kIn, 512}};
  }
  if (form == "rtl9210b") {
    return {{{0xE5, 64, 0, 0xF7, 0}, DataDirection::kOut, 64},
            {{0xE4, 0, 0x10, 0xF8, 0, 0, 1}, DataDirection::kIn, 4096},
            {{0xE4, 16, 0, 0xF9}, DataDirection::kIn, 16}};
  }
  return {{{0xE4, 0, 0x10, 0x06, 0x01}, DataDirection::kIn, 4096}};  // rtl9210
}

struct Outcome {
  bool good = true;             // every phase GOOD
  std::vector<uint8_t> data;    // what the data phase read
  std::vector<uint8_t> last;    // what the last phase read
};

Outcome RunForm(platform::Device& dev, const std::string& form, std::vector<PassStatus>* statuses = nullptr) {
  Outcome o;
  std::array<uint8_t, 64> entry{};
  entry[0] = 0x06;
  entry[40] = 0x01;
  std::vector<uint8_t> block(512, 0);
  std::copy_n("NVME", 4, block.begin());
  std::copy(entry.begin(), entry.end(), block.begin() + 8);
  const std::vector<Phase> phases = IdentifyPhases(form);
  for (size_t i = 0; i < phases.size(); ++i) {
    const Phase& p = phases[i];
    std::vector<uint8_t> buffer(p.length, 0);
    if (p.direction == DataDirection::kOut) {
      buffer = form == "jmicron" ? block : std::vector<uint8_t>(entry.begin(), entry.end());
    }
    platform::ScsiResult r;
    const PassStatus s = dev.Scsi(p.cdb, p.direction, buffer, 60, r);
    if (statuses) statuses->push_back(s);
    if (s != PassStatus::kOk || r.status != 0) o.good = false;
    if (p.length == 4096) o.data = buffer;
    o.last = buffer;
  }
  return o;
}

TEST(BridgeModels, EachBridgeAnswersItsOwnFormsOnly) {
  const std::pair<Attachment, std::vector<std::string>> bridges[] = {
      {Attachment::kUsbJmicron, {"jmicron"}},
      {Attachment::kUsbAsm2362, {"asmedia", "asmedia-single"}},
      {Attachment::kUsbAsm2364, {"asmedia", "asmedia-single"}},
      {Attachment::kUsbRtl9210B, {"rtl9210b"}},
      {Attachment::kUsbRtl9210, {"rtl9210"}},
      {Attachment::kUsbFlash, {}},
      {Attachment::kNvmeInbox, {}},
  };
  const std::string forms[] = {"jmicron", "asmedia", "asmedia-single", "rtl9210b", "rtl9210"};
  LabDescription lab;
  uint32_t n = 0;
  for (const auto& b : bridges) lab.drives.push_back(SmallDrive("B" + std::to_string(n), b.first, n)), ++n;
  LabUnderTest t(lab);
  for (size_t i = 0; i < std::size(bridges); ++i) {
    auto dev = t.Open(PhysicalDrivePath(static_cast<uint32_t>(i)));
    ASSERT_TRUE(dev);
    for (const std::string& form : forms) {
      const bool own = std::count(bridges[i].second.begin(), bridges[i].second.end(), form) > 0;
      const Outcome o = RunForm(*dev, form);
      EXPECT_EQ(o.good, own) << AttachmentName(bridges[i].first) << " " << form;
      if (own) EXPECT_EQ(std::string(o.data.begin() + 24, o.data.begin() + 33), "SIM MODEL") << form;
    }
  }
}

TEST(BridgeModels, CompletionPlacesDw0WhereEachFormReadsIt) {
  LabDescription lab;
  lab.drives = {SmallDrive("J", Attachment::kUsbJmicron, 0), SmallDrive("A", Attachment::kUsbAsm2362, 1),
                SmallDrive("R", Attachment::kUsbRtl9210B, 2)};
  LabUnderTest t(lab);
  // Identify leaves DW0 zero; a failing command shows its status in the standard entry.
  auto jm = t.Open(PhysicalDrivePath(0));
  const Outcome j = RunForm(*jm, "jmicron");
  ASSERT_EQ(j.last.size(), 512u);
  EXPECT_EQ(base::GetLe16(&j.last[8 + 14]), 0);
  FaultPlan plan;
  plan.nvmeFailures = {{NvmeFaultKey(false, 0x06), 0x0002}};
  t.lab->drives()[0]->set_faults(plan);
  t.lab->drives()[1]->set_faults(plan);
  t.lab->drives()[2]->set_faults(plan);
  const Outcome jf = RunForm(*jm, "jmicron");
  EXPECT_TRUE(jf.good);  // every phase GOOD, the status in the completion entry
  EXPECT_EQ(base::GetLe16(&jf.last[8 + 14]) >> 1, 0x0002);
  auto as = t.Open(PhysicalDrivePath(1));
  const Outcome af = RunForm(*as, "asmedia");
  EXPECT_EQ(base::GetLe16(&af.last[14]) >> 1, 0x0002);
  EXPECT_FALSE(RunForm(*as, "asmedia-single").good);  // the single form answers CHECK CONDITION
  auto rt = t.Open(PhysicalDrivePath(2));
  EXPECT_FALSE(RunForm(*rt, "rtl9210b").good);  // the RTL9210B refuses at its completion phase
}

TEST(BridgeModels, PhasesOutOfOrderAreRefused) {
  LabUnderTest t({{SmallDrive("A", Attachment::kUsbAsm2362, 0)}});
  auto dev = t.Open(PhysicalDrivePath(0));
  const std::vector<Phase> phases = IdentifyPhases("asmedia");
  std::vector<uint8_t> data(4096);
  platform::ScsiResult r;
  ASSERT_EQ(dev->Scsi(phases[1].cdb, DataDirection::kIn, data, 60, r), PassStatus::kOk);  // no command yet
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(SenseCodes(r)[1], 0x2C);
  ASSERT_EQ(dev->Scsi(phases[2].cdb, DataDirection::kIn, std::span<uint8_t>(data).first(16), 60, r), PassStatus::kOk);
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(RunForm(*dev, "asmedia").good);
  ASSERT_EQ(dev->Scsi(phases[2].cdb, DataDirection::kIn, std::span<uint8_t>(data).first(16), 60, r), PassStatus::kOk);
  EXPECT_EQ(r.status, 2);  // the completion was read already
}

TEST(BridgeModels, InjectedPhaseFailures) {
  LabUnderTest t({{SmallDrive("J", Attachment::kUsbJmicron, 0)}});
  auto dev = t.Open(PhysicalDrivePath(0));
  SimDrive& drive = *t.lab->drives()[0];
  FaultPlan plan;
  plan.bridgeFailPhases = bridge_phase::kData;
  plan.bridgeFailuresCount = 1;
  drive.set_faults(plan);
  std::vector<PassStatus> statuses;
  EXPECT_FALSE(RunForm(*dev, "jmicron", &statuses).good);
  EXPECT_EQ(statuses, (std::vector<PassStatus>{PassStatus::kOk, PassStatus::kFailed, PassStatus::kOk}));
  EXPECT_TRUE(RunForm(*dev, "jmicron").good);  // once only

  plan = {};
  plan.bridgeCheckPhases = bridge_phase::kCompletion;
  drive.set_faults(plan);
  statuses.clear();
  EXPECT_FALSE(RunForm(*dev, "jmicron", &statuses).good);
  EXPECT_EQ(statuses.size(), 3u);
  EXPECT_EQ(statuses[2], PassStatus::kOk);  // a CHECK CONDITION, not a failed request
  EXPECT_EQ(t.lab->requestLog().Records().back().result, "check condition B/00/00");
}

}  // namespace
}  // namespace kestrune::sim
