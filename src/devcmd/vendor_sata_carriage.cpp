#include "devcmd/vendor_sata_carriage.h"

#include "base/completion_codes.h"
#include "disk/ata_task_file.h"

namespace kestrune::devcmd {
namespace {

namespace flag = disk::ata_flag;

// What the LBA registers carry: nothing, the first parameter in LBA low, that and the second in LBA
// mid, or the first and the CRC.
enum class Lba : uint8_t { kNone, kA, kAAndB, kAAndCrc };

struct Row {
  VendorOp op;
  uint8_t command;
  uint16_t feature;
  uint16_t flags;
  Lba lba;
};

constexpr Row kRows[] = {
    {VendorOp::kCleanEventLog, kSataVendorAction, 0x01, flag::kNoData, Lba::kNone},
    {VendorOp::kCleanSmart, kSataVendorAction, 0x02, flag::kNoData, Lba::kNone},
    {VendorOp::kBrandNew, kSataVendorAction, 0x03, flag::kNoData, Lba::kNone},
    {VendorOp::kKillFirmware, kSataVendorAction, 0x04, flag::kNoData, Lba::kNone},
    {VendorOp::kTrainDdrEye, kSataVendorAction, 0x05, flag::kNoData, Lba::kNone},
    {VendorOp::kKeepFrb, kSataVendorAction, 0x06, flag::kNoData, Lba::kNone},
    {VendorOp::kForceFirmwareMode, kSataVendorAction, 0x88, flag::kNoData, Lba::kA},
    {VendorOp::kReadBlock, kSataVendorRead, kSataBlockFeature, flag::kPioIn, Lba::kA},
    {VendorOp::kWriteBlock, kSataVendorWrite, kSataBlockFeature, flag::kPioOut, Lba::kAAndCrc},
    {VendorOp::kOtpUid, kSataVendorInfo, 0x01, flag::kPioIn, Lba::kNone},
    {VendorOp::kSecurityIdRead, kSataVendorInfo, 0x20, flag::kPioIn, Lba::kNone},
    {VendorOp::kSecurityIdWrite, kSataVendorInfo, 0x21, flag::kPioOut, Lba::kNone},
    {VendorOp::kEventLog, kSataVendorInfo, 0x60, flag::kPioIn, Lba::kNone},
    {VendorOp::kDriveInformation, kSataVendorInfo, 0x63, flag::kPioIn, Lba::kAAndB},
    {VendorOp::kGrownDefect, kSataVendorInfo, 0x65, flag::kPioIn, Lba::kNone},
    {VendorOp::kReconstructionStatus, kSataVendorInfo, 0x69, flag::kPioIn, Lba::kNone},
};

}  // namespace

SataVendorCommand EncodeSataVendor(VendorOp op, const VendorArgs& args) {
  SataVendorCommand c;
  for (const Row& row : kRows) {
    if (row.op != op) continue;
    const bool data = row.flags != flag::kNoData;
    uint64_t lba = 0;
    if (row.lba != Lba::kNone) lba = args.a & 0xFF;
    if (row.lba == Lba::kAAndB) lba |= uint64_t{args.b & 0xFF} << 8;
    if (row.lba == Lba::kAAndCrc) lba |= uint64_t{args.crc} << 8;
    c.tf = disk::TaskFile(row.command, row.flags, lba, data ? kSataVendorSectors : 0, row.feature);
    c.length = data ? size_t{kSataVendorSectors} * disk::kAtaSectorBytes : 0;
    return c;
  }
  c.code = base::code::kNotSupported;
  return c;
}

}  // namespace kestrune::devcmd
