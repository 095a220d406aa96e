// The maker's vendor commands and how each is carried in an NVMe admin command: opcode, data
// direction, NSID and the sub-command dwords for the three command-set variants (1: FC/FD/FE,
// 192: C0/C1/C2, anything else: the legacy per-command opcodes), and the debug echo of a command
// in the syntax of the script's raw NVMe command. Portable: nothing here sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "disk/nvme_operations.h"

namespace kestrune::devcmd {

// The signature dword in CDW2 of every vendor command: "vdvs" read from the most significant byte.
inline constexpr uint32_t kVendorSignature = 0x76647673;
// "RIMO" and "VALD" in memory order: the legacy encodings' marks in CDW14 and CDW15.
inline constexpr uint32_t kRimo = 0x4F4D4952;
inline constexpr uint32_t kVald = 0x444C4156;

inline constexpr uint32_t kVariantFc = 1;
inline constexpr uint32_t kVariantC0 = 192;

enum class VendorOp : uint8_t {
  kEnterVendorMode,
  kBrandNew,
  kFtlVirgin,
  kCleanSmart,
  kForceFirmwareMode,      // a = mode
  kKillFirmware,
  kKeepFrb,
  kSetThinCapacity,        // a, b = low and high dwords of the sector count
  kReadBlock,              // a = block kind; b = offset (critical log, variant 1)
  kWriteBlock,             // a = block kind; crc = the block's CRC
  kLaneMarginPrepare,      // variant 1's first step before WriteBlock 7
  kDriveInformation,       // a, b, c
  kGrownDefect,
  kOtpUid,
  kReconstructionStatus,   // alder: the Alder family's legacy opcode
  kSpiDebugInformation,    // a = b of the caller
  kVpdPrepare,
  kVpdRead,
  kSecurityIdRead,
  kSecurityIdWrite,
  kEventLog,
  kLegacyDriveInformation,
  kPhyCalibration,
  kCleanEventLog,          // the SATA drives' own actions (vendor_sata_carriage.h): no NVMe form
  kTrainDdrEye,
};

// Block kinds of ReadBlock / WriteBlock.
inline constexpr uint32_t kBlockConfig = 1;
inline constexpr uint32_t kBlockConfigPage = 3;
inline constexpr uint32_t kBlockLaneMargin = 7;
inline constexpr uint32_t kBlockCrashDump = 8;
inline constexpr uint32_t kBlockCriticalLog = 11;

struct VendorArgs {
  uint32_t a = 0, b = 0, c = 0;
  uint32_t crc = 0;
  bool alder = false;  // the controller is of the Alder family
};

// One vendor command, ready for RawAdmin: code 1, or -74 when the variant has no encoding of the
// operation (SPI debug information off variant 1) and -79 when it is not carried at all (PHY
// calibration on variant 192, the SATA-only actions). length is the data length; CDW10 carries it in dwords.
struct VendorCommand {
  int32_t code = disk::kNvmeDone;
  disk::NvmeDirection direction = disk::NvmeDirection::kNone;
  uint8_t opcode = 0;
  uint32_t nsid = disk::kBroadcastNsid;
  disk::NvmeCommand record;  // CDW2, CDW10, CDW12-CDW15 filled
  size_t length = 0;
};

VendorCommand EncodeVendorCommand(VendorOp op, uint32_t variant, const VendorArgs& args, size_t length);

// The sector count VSC_SetThinCapacity asks for sizeGb on a drive of sectorSize bytes a sector.
uint64_t ThinCapacitySectors(uint64_t sizeGb, uint32_t sectorSize);

// "NVMe(IO:\"IN\", DataLenByte:4096, OpCode:0xFE, NSID:0xFFFFFFFF, CDW10:0x400, CDW12:0x82, ...);"
// withCdw2: the by-handle form of the event log, which also shows CDW2 after the NSID.
std::string VendorEchoText(const VendorCommand& command, bool withCdw2 = false);

}  // namespace kestrune::devcmd
