// AtaSend and the ATA operations on the simulated lab's SATA drives: which route carries a command,
// when the SAT route runs after the ATA route, the commands that are never sent twice, the recovery
// step of a failed command, the 48-bit addressing of the SAT route, and the lab's SATA model as a
// drive answers (protocol checks, sense formats, SMART and its self-test clock, SET MULTIPLE).
#include <gtest/gtest.h>

#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/ata_operations.h"
#include "disk/ata_send.h"
#include "disk/ata_smart.h"
#include "platform/sat_cdb.h"
#include "sim/lab_fixture.h"

namespace kestrune::disk {
namespace {

namespace flag = ata_flag;
using sim::Attachment;

constexpr uint64_t kTiB = uint64_t{1} << 40;
const std::string kAhci = "\\\\.\\PHYSICALDRIVE0";
const std::string kUsb = "\\\\.\\PHYSICALDRIVE1";

sim::LabDescription SataLab() {
  sim::LabDescription lab;
  lab.drives.push_back(sim::SmallDrive("AHCI", Attachment::kSataAhci, 0, 512, 3 * kTiB));  // sparse
  lab.drives.push_back(sim::SmallDrive("USB", Attachment::kSataUsb, 1));
  return lab;
}

class AtaSendLab : public ::testing::Test {
 protected:
  sim::LabUnderTest t{SataLab()};

  std::unique_ptr<platform::Device> Open(const std::string& path) { return t.Open(path); }
  void Fail(const std::string& path, std::map<uint8_t, uint8_t> failures, uint32_t count) {
    sim::FaultPlan plan;
    plan.ataFailures = std::move(failures);
    plan.ataFailuresCount = count;
    t.lab->Drive(path)->set_faults(plan);
  }
  // "Ata C8h", "Scsi A1h EC" ... of the requests since the last clear (passes through only).
  std::vector<std::string> Sent() {
    std::vector<std::string> out;
    for (const sim::RequestRecord& r : t.lab->requestLog().Records()) {
      if (r.operation == "Ata") out.push_back(base::Format("Ata %02Xh", r.command[0]));
      if (r.operation == "Scsi" && !r.command.empty()) {
        const uint8_t ata = r.command[0] == 0x85 ? r.command[14] : r.command[0] == 0xA1 ? r.command[9] : 0;
        out.push_back(base::Format("Scsi %02Xh %02Xh", r.command[0], ata));
      }
    }
    return out;
  }
  DiskEntry Entry(const std::string& path, DiskKind kind) {
    DiskEntry e;
    e.devicePath = e.physicalPath = path;
    e.diskKind = kind;
    e.sectorSize = 512;
    return e;
  }
};

TEST_F(AtaSendLab, RoutesFallbackAndTheCommandsSentOnceOnly) {
  auto d = Open(kAhci);
  std::vector<uint8_t> sector(512);
  t.lab->requestLog().Clear();
  Fail(kAhci, {{0x20, 0x04}}, 1);  // the ATA route's answer has ERR: the SAT route runs
  EXPECT_TRUE(AtaSend(DiskKind::kAta, *d, TaskFile(0x20, flag::kPioIn, 5, 1), sector));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"Ata 20h", "Scsi A1h 20h"}));

  t.lab->requestLog().Clear();
  Fail(kAhci, {{0xF1, 0x04}}, 1);  // a refused SET PASSWORD is not sent again: it would cost an attempt
  std::vector<uint8_t> block(512);
  EXPECT_FALSE(AtaSend(DiskKind::kAta, *d, TaskFile(0xF1, flag::kPioOut, 0, 1), block));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"Ata F1h"}));

  auto usb = Open(kUsb);  // behind a USB bridge only the SAT route exists, and it is not tried twice
  t.lab->requestLog().Clear();
  EXPECT_TRUE(AtaSend(DiskKind::kUsbAta, *usb, TaskFile(0xF1, flag::kPioOut, 0, 1), block));
  EXPECT_EQ(Sent(), (std::vector<std::string>{"Scsi A1h F1h"}));
}

TEST_F(AtaSendLab, FailedCommandIsFollowedByIdleImmediate) {
  Fail(kAhci, {{0x25, 0x40}}, 0);
  std::vector<uint8_t> data(512);
  t.lab->requestLog().Clear();
  EXPECT_EQ(AtaCommand(*t.lab, Entry(kAhci, DiskKind::kAta), TaskFile(0x25, flag::kDmaIn, 0, 1), data),
            base::code::kReadFailed);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"Ata 25h", "Scsi 85h 25h", "Ata E1h"}));
  EXPECT_EQ(AtaCommand(*t.lab, Entry(kAhci, DiskKind::kAta), TaskFile(0x20, flag::kPioIn, 0, 0), data),
            base::code::kBadParameter);  // nothing sent
  EXPECT_EQ(AtaCommand(*t.lab, Entry("nowhere", DiskKind::kAta), TaskFile(0xE1, flag::kNoData), {}),
            base::code::kOpenDiskFailed);
}

TEST_F(AtaSendLab, SatRouteAddressesPast32BitsWithExtend) {
  auto d = Open(kUsb);
  auto ahci = Open(kAhci);
  std::vector<uint8_t> out = sim::Pattern(1024, 3), back(1024, 0);
  const uint64_t lba = 0x100000001;
  ASSERT_EQ(SendSatRoute(*ahci, TaskFile(0x35, flag::kDmaOut, lba, 2), out), AtaRouteResult::kDone);
  ASSERT_TRUE(ahci->Read(lba * 512, back));
  EXPECT_EQ(back, out);
  std::vector<uint8_t> again(1024, 0);
  ASSERT_EQ(SendSatRoute(*ahci, TaskFile(0x25, flag::kDmaIn, lba, 2), again), AtaRouteResult::kDone);
  EXPECT_EQ(again, out);
  static_cast<void>(d);
}

TEST_F(AtaSendLab, TranslatorChecksTheProtocolAndAnswersInBothSenseFormats) {
  struct Case {
    const std::string* path;
    bool descriptor;
  };
  for (const Case& c : {Case{&kAhci, true}, Case{&kUsb, false}}) {
    SCOPED_TRACE(*c.path);
    auto d = Open(*c.path);
    std::vector<uint8_t> data(512);
    // READ DMA with the PIO data-in protocol: the command is aborted.
    platform::AtaRegisters regs;
    regs.command = 0xC8;
    regs.count = 1;
    regs.device = 0x40;
    const auto cdb = platform::AtaPassThrough12Cdb(regs, platform::DataDirection::kIn, false);
    platform::ScsiResult result;
    ASSERT_EQ(d->Scsi(cdb, platform::DataDirection::kIn, data, 10, result), platform::PassStatus::kOk);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.sense[0] & 0x7F, c.descriptor ? 0x72 : 0x70);
    const auto out =
        platform::AtaRegistersFromSense(std::span<const uint8_t>(result.sense.data(), result.senseLength));
    ASSERT_TRUE(out);
    EXPECT_EQ(out->command, 0x51);   // STATUS: ERR
    EXPECT_EQ(out->features, 0x04);  // ERROR: ABRT
    EXPECT_FALSE(platform::SatCommandSucceeded(result));
    // The right protocol reads.
    EXPECT_EQ(SendSatRoute(*d, TaskFile(0xC8, flag::kDmaIn, 0, 1), data), AtaRouteResult::kDone);
  }
}

TEST_F(AtaSendLab, SmartPagesAndTheSelfTestClock) {
  const DiskEntry e = Entry(kAhci, DiskKind::kAta);
  std::vector<uint8_t> data(512), thresholds(512);
  ASSERT_EQ(AtaCommand(*t.lab, e, SmartTaskFile(kSmartReadData, flag::kPioIn), data), 1);
  ASSERT_EQ(AtaCommand(*t.lab, e, SmartTaskFile(kSmartReadThresholds, flag::kPioIn), thresholds), 1);
  EXPECT_TRUE(SmartChecksumOk(data));
  EXPECT_TRUE(SmartChecksumOk(thresholds));
  const auto attributes = ParseSmartAttributes(data, thresholds);
  std::vector<int> ids;
  for (const SmartAttribute& a : attributes) ids.push_back(a.id);
  EXPECT_EQ(ids, (std::vector<int>{5, 9, 12, 190, 194, 231}));
  EXPECT_EQ(attributes[0].threshold, 10);
  EXPECT_EQ(SataTemperatures(attributes)[0], 38);
  EXPECT_EQ(ReadSataTemperatures(*t.lab, e), (std::array<uint16_t, 9>{38, 36, 37, 0, 0, 0, 0, 0, 0}));

  auto status = [&] {
    EXPECT_EQ(AtaCommand(*t.lab, e, SmartTaskFile(kSmartReadData, flag::kPioIn), data), 1);
    return data[kSmartSelfTestStatus];
  };
  ASSERT_EQ(AtaCommand(*t.lab, e, SmartTaskFile(kSmartExecuteOffline, flag::kNoData, 1), {}), 1);
  EXPECT_EQ(status(), 0xF9);
  t.host.Advance(60 * 1000);  // half of the two minutes
  EXPECT_EQ(status(), 0xF5);
  t.host.Advance(61 * 1000);
  EXPECT_EQ(status(), 0x00);
  ASSERT_EQ(AtaCommand(*t.lab, e, SmartTaskFile(kSmartExecuteOffline, flag::kNoData, 2), {}), 1);
  ASSERT_EQ(AtaCommand(*t.lab, e, SmartTaskFile(kSmartExecuteOffline, flag::kNoData, 0x7F), {}), 1);
  EXPECT_EQ(status(), 0x10);  // aborted by the host

  sim::FaultPlan plan;
  plan.smartBadChecksum = 1;
  t.lab->Drive(kAhci)->set_faults(plan);
  EXPECT_EQ(status(), 0x10);
  EXPECT_FALSE(SmartChecksumOk(data));
}

TEST_F(AtaSendLab, MultipleTransfersNeedSetMultiple) {
  const DiskEntry e = Entry(kAhci, DiskKind::kAta);
  std::vector<uint8_t> data(4096);
  EXPECT_EQ(AtaCommand(*t.lab, e, TaskFile(0xC4, flag::kPioIn, 0, 8), data), 1);
  AtaTaskFile off = TaskFile(0xC6, flag::kNoData);
  EXPECT_EQ(AtaCommand(*t.lab, e, off, {}), 1);  // count 0: multiple mode off
  EXPECT_EQ(AtaCommand(*t.lab, e, TaskFile(0xC4, flag::kPioIn, 0, 8), data), base::code::kReadFailed);
  off.sectorCount = 3;  // not a power of two
  EXPECT_EQ(AtaCommand(*t.lab, e, off, {}), base::code::kOpenDiskFailed);
  t.lab->Drive(kAhci)->PowerCut();  // the default comes back with the power
  EXPECT_EQ(AtaCommand(*t.lab, e, TaskFile(0x29, flag::kPioIn, 0x10000000, 8), data), 1);
}

TEST_F(AtaSendLab, MicrocodeActivationAndTheFrozenProbe) {
  const DiskEntry e = Entry(kAhci, DiskKind::kAta);
  EXPECT_EQ(AtaActivateMicrocode(*t.lab, e), base::code::kActivateFwFailed);  // nothing downloaded
  std::vector<uint8_t> image(1024, 0x5A);
  AtaTaskFile chunk = TaskFile(kAtaDownloadMicrocode, flag::kPioOut, 0, 2, 0x0E);
  ASSERT_EQ(AtaCommand(*t.lab, e, chunk, image), 1);
  t.lab->requestLog().Clear();
  EXPECT_EQ(AtaActivateMicrocode(*t.lab, e), 1);
  EXPECT_EQ(Sent(), (std::vector<std::string>{"Ata 92h"}));  // not retried, and not needed
  EXPECT_EQ(t.lab->Drive(kAhci)->ata().activations, 1u);

  EXPECT_EQ(AtaSecurityFrozen(*t.lab, e), 0);
  ASSERT_EQ(AtaCommand(*t.lab, e, TaskFile(0xF5, flag::kNoData), {}), 1);
  EXPECT_EQ(AtaSecurityFrozen(*t.lab, e), 1);
  t.lab->Drive(kAhci)->PowerCut();
  EXPECT_EQ(AtaSecurityFrozen(*t.lab, e), 0);
  EXPECT_EQ(AtaSecurityFrozen(*t.lab, Entry("nowhere", DiskKind::kAta)), base::code::kOpenDiskFailed);
}

}  // namespace
}  // namespace kestrune::disk
