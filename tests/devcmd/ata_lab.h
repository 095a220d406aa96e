// An interpreter over a simulated lab of SATA drives with the ATA commands registered:
//   PHYSICALDRIVE0  SATA on AHCI, 512-byte sectors, 200 GiB (sparse), RAW: the current disk
//   PHYSICALDRIVE1  SATA on AHCI holding C: (the system disk)
//   PHYSICALDRIVE2  SATA on AHCI carrying D: (a whole disk with volumes)
//   PHYSICALDRIVE3  SATA behind a USB bridge, RAW
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "devcmd/ata_commands.h"
#include "disk/sector_lab.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "support/scripted_ui.h"

namespace kestrune::devcmd::testing {

inline const std::string kRawSata = "\\\\.\\PHYSICALDRIVE0";
inline const std::string kSystemSata = "\\\\.\\PHYSICALDRIVE1";
inline const std::string kLetteredSata = "\\\\.\\PHYSICALDRIVE2";
inline const std::string kUsbSata = "\\\\.\\PHYSICALDRIVE3";

inline sim::LabDescription AtaTestLab() {
  using disk::testing::kMiB;
  using disk::testing::LabDrive;
  sim::LabDescription lab;
  sim::DriveDescription raw = LabDrive("SATA0", sim::Attachment::kSataAhci, 0, 512, uint64_t{200} << 30);
  raw.pathId = 1;
  lab.drives.push_back(raw);
  sim::DriveDescription system = LabDrive("SATA1", sim::Attachment::kSataAhci, 1, 512, 64 * kMiB);
  system.pathId = 2;
  system.volumes.push_back({'C', kMiB, 63 * kMiB, 32 * kMiB});
  lab.drives.push_back(system);
  sim::DriveDescription lettered = LabDrive("SATA2", sim::Attachment::kSataAhci, 2, 512, 64 * kMiB);
  lettered.pathId = 3;
  lettered.volumes.push_back({'D', kMiB, 32 * kMiB, 16 * kMiB});
  lab.drives.push_back(lettered);
  lab.drives.push_back(LabDrive("USB3", sim::Attachment::kSataUsb, 3, 512, 64 * kMiB));
  return lab;
}

class AtaLab : public disk::testing::SectorLab {
 protected:
  AtaLab() : SectorLab(AtaTestLab()) {
    EXPECT_TRUE(RegisterAtaCommands(interp).empty());
    interp.SetUi(ui);
    interp.view(0).logFolder = dir.path();
    Select(kRawSata);
  }

  engine::Value Var(std::string_view name) { return interp.view(0).vars.Get(name); }

  std::vector<std::string> BodyTexts() const {
    std::vector<std::string> out;
    for (const engine::OutputLine& l : Body()) out.push_back(l.text);
    return out;
  }

  // The ATA commands the lab received since the last clear, on either route (the SAT CDB's command
  // byte), in order.
  std::vector<uint8_t> SentAtaCommands() {
    std::vector<uint8_t> out;
    for (const sim::RequestRecord& r : lab->requestLog().Records()) {
      if (r.operation == "Ata" && !r.command.empty()) out.push_back(r.command[0]);
      if (r.operation == "Scsi" && r.command.size() == 16 && r.command[0] == 0x85)
        out.push_back(r.command[14]);
      if (r.operation == "Scsi" && r.command.size() == 12 && r.command[0] == 0xA1)
        out.push_back(r.command[9]);
    }
    return out;
  }

  std::shared_ptr<::kestrune::testing::ScriptedUi> ui = std::make_shared<::kestrune::testing::ScriptedUi>();
};

}  // namespace kestrune::devcmd::testing
