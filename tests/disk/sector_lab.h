// An interpreter over a simulated lab for the block I/O tests:
//   PHYSICALDRIVE0  NVMe on the inbox driver, 512-byte sectors, no volumes (RAW)
//   PHYSICALDRIVE1  SATA on AHCI port 2 holding C: (the system disk)
//   PHYSICALDRIVE2  NVMe, 4096-byte sectors, carrying D: (a whole disk with volumes, and a volume entry)
//   PHYSICALDRIVE3  NVMe behind an ASM2362 USB bridge, 512-byte sectors, RAW
//   PHYSICALDRIVE4  NVMe, 4096-byte sectors, RAW
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "disk/disk_list.h"
#include "disk/disk_state.h"
#include "disk/sector_commands.h"
#include "engine/executor.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "platform/files.h"
#include "sim/lab_description.h"
#include "sim/sim_lab.h"
#include "support/fake_host.h"
#include "support/statement_runner.h"

namespace kestrune::disk::testing {

inline constexpr uint64_t kMiB = uint64_t{1} << 20;
inline const std::string kRawNvme = "\\\\.\\PHYSICALDRIVE0";
inline const std::string kSystemSata = "\\\\.\\PHYSICALDRIVE1";
inline const std::string kLettered = "\\\\.\\PHYSICALDRIVE2";
inline const std::string kBridge = "\\\\.\\PHYSICALDRIVE3";
inline const std::string kRaw4K = "\\\\.\\PHYSICALDRIVE4";
inline const std::string kVolumeD = "\\\\.\\D:";
inline constexpr uint64_t kVolumeDOffset = 1 * kMiB;

inline sim::DriveDescription LabDrive(std::string name, sim::Attachment attachment, uint32_t number,
                                      uint32_t sectorSize, uint64_t capacity) {
  sim::DriveDescription d;
  d.name = name;
  d.attachment = attachment;
  d.deviceNumber = number;
  d.model = "KESTRUNE TEST " + name;
  d.serial = "SERIAL" + std::to_string(number);
  d.firmware = "T100";
  d.sectorSize = sectorSize;
  d.capacityBytes = capacity;
  d.scsiPort = number;
  d.pciBus = number + 1;
  if (sim::IsUsbAttachment(attachment)) d.usbPorts = {number};
  d.inquiry = sim::DefaultInquiry(attachment, d.model, d.firmware);
  return d;
}

inline sim::LabDescription SectorTestLab() {
  sim::LabDescription lab;
  lab.drives.push_back(LabDrive("NVMe0", sim::Attachment::kNvmeInbox, 0, 512, 64 * kMiB));
  sim::DriveDescription sata = LabDrive("SATA1", sim::Attachment::kSataAhci, 1, 512, 64 * kMiB);
  sata.pathId = 2;
  sata.volumes.push_back({'C', kMiB, 63 * kMiB, 32 * kMiB});
  lab.drives.push_back(sata);
  sim::DriveDescription lettered = LabDrive("NVMe2", sim::Attachment::kNvmeInbox, 2, 4096, 64 * kMiB);
  lettered.volumes.push_back({'D', kVolumeDOffset, 32 * kMiB, 16 * kMiB});
  lab.drives.push_back(lettered);
  lab.drives.push_back(LabDrive("Bridge3", sim::Attachment::kUsbAsm2362, 3, 512, 16 * kMiB));
  lab.drives.push_back(LabDrive("NVMe4", sim::Attachment::kNvmeInbox, 4, 4096, 32 * kMiB));
  return lab;
}

// A lab (by default the one above), its disk list, and a view that runs statements with errors
// counted and skipped.
class SectorLab : public ::testing::Test {
 protected:
  // The block I/O tests' lab, or another one.
  explicit SectorLab(sim::LabDescription description = SectorTestLab())
      : interp(host, ::kestrune::testing::WorkFolderSettings(dir.path()), &console) {
    std::string error;
    lab = sim::SimLab::Create(std::move(description), platform::JoinPath(dir.path(), "lab"), host, error);
    if (!lab) ADD_FAILURE() << error;
    DiskState& s = StateOf(interp);
    s.tree = lab.get();
    RebuildDiskList(s);
    EXPECT_TRUE(RegisterSectorCommands(interp).empty());
    engine::View& v = interp.view(0);
    ::kestrune::testing::ReadyForStatements(v);
    v.vars.SetText("_ErrorDesc", "");
  }

  DiskState& state() { return StateOf(interp); }
  platform::DeviceTree& tree() { return *lab; }

  // Makes the list entry whose device path is path the current disk.
  void Select(const std::string& path) {
    for (const DiskEntry& e : state().list) {
      if (e.devicePath == path) {
        SetCurrentDisk(interp, e);
        return;
      }
    }
    FAIL() << "no list entry " << path;
  }

  std::shared_ptr<sim::SimDrive> Drive(const std::string& path) { return lab->Drive(path); }

  // Runs one statement as the run thread does, keeping the completion codes it reported and the
  // lines it printed.
  void Run(std::string statement) {
    size_t before = interp.output(0)->lines.size();
    reports = ::kestrune::testing::RunStatement(interp, std::move(statement));
    printed = ::kestrune::testing::LinesFrom(interp, before);
  }

  // The completion code the last statement reported; 0 when none.
  int32_t Code() const { return reports.empty() ? 0 : reports.back().first; }
  // Its description ("<error text>. <detail>"); "" when none.
  std::string Description() const { return reports.empty() ? std::string() : reports.back().second; }

  // The lines of the last statement without the wrapper's header and elapsed-time lines.
  std::vector<engine::OutputLine> Body() const {
    std::vector<engine::OutputLine> out;
    for (const engine::OutputLine& l : printed)
      if (l.header == 0 && !l.text.starts_with("Elapsed Time")) out.push_back(l);
    return out;
  }

  // The data file the last statement announced; "" when none.
  std::string DumpPath() const {
    for (const engine::OutputLine& l : printed)
      if (l.kind == engine::kDataFile) return l.attachedPath;
    return {};
  }

  std::vector<uint8_t> DumpBytes() const {
    return platform::ReadWholeFile(DumpPath()).value_or(std::vector<uint8_t>{});
  }

  // The lab's requests of one operation ("Read", "Write", "Trim", ...) since the last clear.
  std::vector<sim::RequestRecord> Requests(std::string_view operation) {
    std::vector<sim::RequestRecord> out;
    for (sim::RequestRecord& r : lab->requestLog().Records())
      if (r.operation == operation) out.push_back(std::move(r));
    return out;
  }

  ::kestrune::testing::TempDir dir;
  ::kestrune::testing::FakeHost host;
  ::kestrune::testing::CapturedConsole console;
  engine::Interpreter interp;
  std::unique_ptr<sim::SimLab> lab;
  ::kestrune::testing::PassReports reports;
  std::vector<engine::OutputLine> printed;
};

}  // namespace kestrune::disk::testing
