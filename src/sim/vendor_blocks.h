// What the maker's controller of a simulated drive serves and does, whatever carries the request:
// the NVMe vendor opcodes (nvme_vendor.cpp) and the ATA vendor commands of the SATA drives
// (ata_vendor.cpp) both come here, so the two carriages hand out the same blocks. The vendor state
// is the drive's VendorState (nvme_controller.h). Call with the drive's lock held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/sim_drive.h"

namespace kestrune::sim {

inline constexpr size_t kVendorPage = 4096;
inline constexpr uint8_t kVendorMark = 0x5A;

// The configuration page: the mark, the controller id at byte 2, the firmware text at 32-39; byte
// 1 is FFh while a factory reset runs.
std::vector<uint8_t> ConfigPage(SimDrive& drive);
// The drive-information page: layout 1768 names the controller (drive-info drives), layout 4096
// only gives the activation time hint (configuration-page drives); the items from byte 1576.
std::vector<uint8_t> DriveInfoPage(SimDrive& drive);
// The legacy drive-information page: the firmware text at 50.
std::vector<uint8_t> LegacyDriveInfoPage(SimDrive& drive);
// The crash dump's bytes of block `block` (a counting pattern).
std::vector<uint8_t> DumpBytes(uint64_t block);
// The vital product data: manufacturer, part number, model and serial number.
std::vector<uint8_t> VpdPage(SimDrive& drive);
// A defect list page: the mark, the count at 2, (channel, CE, LUN, plane, block) from byte 16,
// eight bytes each. The grown defect list is DefectPage(2, 0x123).
std::vector<uint8_t> DefectPage(uint16_t count, uint16_t firstBlock);
std::vector<uint8_t> GrownDefectPage();
// DriveInformation source `source`, page `page`: 0 the drive-information page, 2 the factory defect
// list (three defects on page 0, none on page 1). nullopt for any other.
std::optional<std::vector<uint8_t>> DriveInfoSource(SimDrive& drive, uint32_t source, uint32_t page);
// The event log: "ELOG", its length at 8, the entry count at 16, entries of 16 bytes from byte 64
// (power-on seconds, event id, severity, parameter). Each read gives the next page, then it starts
// over.
std::vector<uint8_t> NextEventLogPage(SimDrive& drive);
// A unique id made from the serial number, the controller id, and the signature dword.
std::vector<uint8_t> OtpUidPage(SimDrive& drive);
// Reconstruction done: the mark, 100 %, the configuration rebuilt in full.
std::vector<uint8_t> ReconstructionPage();

// ReadBlock k: 1 the configuration block, 3 the configuration page (configuration-page drives), 7
// the lane margins, 8 the next crash dump block (unless the dump comes through log page 07h), 11
// the critical log page at criticalOffset, or the next one when there is none. nullopt: no such
// block (or an offset off a page boundary).
std::optional<std::vector<uint8_t>> ReadVendorBlock(SimDrive& drive, uint32_t k,
                                                    std::optional<uint64_t> criticalOffset);
// WriteBlock k: 1 a configuration block ("CONF", crc the CRC the drive checks), 7 the lanes of the
// next lane margin run. false when refused.
bool WriteVendorBlock(SimDrive& drive, uint32_t k, std::span<const uint8_t> data, uint32_t crc);
// The security id block; false when a write has the wrong length or no "SCID".
std::vector<uint8_t> SecurityBlock(SimDrive& drive);
bool WriteSecurityBlock(SimDrive& drive, std::span<const uint8_t> data);

// The actions without data; mode is the forced firmware mode.
enum class VendorAction : uint8_t {
  kBrandNew, kFtlVirgin, kCleanSmart, kForceMode, kKill, kKeepFrb, kCleanEventLog, kTrainDdrEye,
};
void RunVendorAction(SimDrive& drive, VendorAction action, uint32_t mode = 0);

}  // namespace kestrune::sim
