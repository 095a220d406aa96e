// The vendor command channel of a run: the maker's data, the identification of the maker's drives
// (socId, configType, vendorAux, vendorVariant, currentFirmware) and the sending of one vendor
// command from a command handler with its debug echo.
//
// Vendor commands go only to the maker's drives: NVMe drives whose PCI vendor id (Identify
// Controller bytes 0-1, which also reaches the program behind USB bridges) is one of the maker's,
// SATA drives whose world wide name carries one of the maker's OUIs. Any other drive, the boot
// drive among them, never sees a vendor opcode. NVMe drives get the NVMe admin encodings
// (vendor_operations.h), SATA drives the ATA vendor commands (vendor_sata_carriage.h). Everything
// runs on the view's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "devcmd/nvme_command_support.h"
#include "devcmd/vendor_data.h"
#include "devcmd/vendor_operations.h"
#include "disk/disk_entry.h"
#include "platform/device.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::devcmd {

inline constexpr const char* kVendorDataFile = "VendorData.txt";

struct VendorState {
  VendorData data;
  std::string source;  // the file read; empty when there is none (no drive is the maker's)
};
VendorState& VendorStateOf(engine::Interpreter& interp);

// Reads folder/VendorData.txt and installs the identification as the disk layer's refresher.
// Returns "" or why the file was refused (then no drive is the maker's). A missing file is no
// error. Called once at start-up, before any run.
std::string UseVendorData(engine::Interpreter& interp, const std::string& folder);

// Whether the disk is one of the maker's by its identify data (nothing is sent).
bool IsMakerDrive(const VendorData& data, const disk::DiskEntry& entry);

// The identification of one disk over tree. configKind 2 and 4 pick the first and second
// configuration type of each group, anything else the third. Drives that are not the maker's get
// socId 0 and nothing is sent. Sets entry.vendorIdentified.
void IdentifyMakerDrive(platform::DeviceTree& tree, const VendorData& data, disk::DiskEntry& entry,
                        int configKind = 0);

// The current disk when it is the maker's drive; otherwise it reports -1 (no disk) or -79 and
// returns an empty target.
NvmeTarget MakerTarget(engine::Interpreter& interp, uint32_t view);

// Sends op in the current disk's variant through RawAdmin (SATA drives: its ATA vendor command
// through AtaCommand), after printing the debug echo in grey (withCdw2: the by-handle echo form of
// NVMe). buffer's size is the data length. Returns the transport
// result (1 success) or the encoding's code; nothing is reported.
int32_t SendVendor(engine::Interpreter& interp, uint32_t view, const NvmeTarget& target, VendorOp op,
                   const VendorArgs& args, std::span<uint8_t> buffer, bool withCdw2 = false);

// SendVendor without the echo: the repeated reads of one dump after its first.
int32_t SendVendorQuiet(const NvmeTarget& target, VendorOp op, const VendorArgs& args, std::span<uint8_t> buffer);

// Reads buffer's size of op with SendVendor; false when it failed (reported).
bool ReadVendor(engine::Interpreter& interp, uint32_t view, const NvmeTarget& target, VendorOp op,
                const VendorArgs& args, std::span<uint8_t> buffer);

// Sends on the disk's own device path (the bridges' requests): send's result, or -1 when the path
// does not open.
int32_t OnDiskDevice(engine::Interpreter& interp, const disk::DiskEntry& disk,
                     const std::function<int32_t(platform::Device&)>& send);
// The bridge power reset after a firmware change (bridge_power.h) on the disk's path; 0 for kinds
// without one.
int32_t PowerResetDisk(engine::Interpreter& interp, const disk::DiskEntry& disk);

// Where a reading command keeps what it read: file as an output file, or when empty a new default
// dump name with extension.
std::string VendorSavePath(engine::Interpreter& interp, uint32_t view, const std::string& file,
                           std::string_view extension);

// "Dump Size     : %5d MB" in grey each time a long read passes a whole MiB (from before to after
// bytes).
void ShowDumpProgress(engine::Interpreter& interp, uint32_t view, uint64_t before, uint64_t after);

// VendorArgs with the Alder flag of the current disk's controller.
VendorArgs ArgsFor(engine::Interpreter& interp, const disk::DiskEntry& disk, uint32_t a = 0, uint32_t b = 0,
                   uint32_t c = 0);

}  // namespace kestrune::devcmd
