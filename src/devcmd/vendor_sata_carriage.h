// How the maker's vendor commands travel to its SATA drives: as ATA vendor commands through the
// ATA pass-through (AtaCommand), every one of them in the 48-bit set. Portable: nothing here sends.
//
//   C1h  no data; FEATURE = the action: 01h clean event log, 02h clean SMART, 03h brand new,
//        04h kill firmware, 05h train DDR eye, 06h keep FRB, 88h force firmware mode (the mode in
//        LBA low).
//   C3h  PIO data in, FEATURE 71h, 8 sectors: ReadBlock, the block number k (1 configuration
//        block, 3 configuration page, 7 lane margin, 8 crash dump, 11 critical log) in LBA low.
//   C2h  PIO data out, FEATURE 71h, 8 sectors: WriteBlock, k in LBA low and the block's CRC in LBA
//        bits 8-39 (LBA mid, LBA high, ExLow, ExMid; least significant byte first).
//   FEh  8 sectors, FEATURE = what is read (the FC/FD/FE set's sub-command numbers where they
//        exist): 01h OTP unique id, 20h security id, 60h event log (the next page on every
//        read), 63h drive information (the source in LBA low, its page in LBA mid), 65h grown
//        defect list, 69h reconstruction status, all PIO data in; 21h writes the security id
//        block (PIO data out).
// Operations without a row here (FTL virgin, thin capacity, VPD, SPI debug information, ...) have
// no SATA carriage: -79.
#pragma once

#include <cstddef>
#include <cstdint>

#include "devcmd/vendor_operations.h"
#include "disk/ata_task_file.h"

namespace kestrune::devcmd {

inline constexpr uint8_t kSataVendorAction = 0xC1, kSataVendorWrite = 0xC2, kSataVendorRead = 0xC3;
inline constexpr uint8_t kSataVendorInfo = 0xFE;
inline constexpr uint16_t kSataBlockFeature = 0x71;
inline constexpr uint32_t kSataVendorSectors = 8;  // every transfer: 4096 bytes

// One vendor command as an ATA task file: code 1, or -79 when the operation has no SATA carriage.
// length is the data length (0 without data, else 4096).
struct SataVendorCommand {
  int32_t code = 1;
  disk::AtaTaskFile tf;
  size_t length = 0;
};

SataVendorCommand EncodeSataVendor(VendorOp op, const VendorArgs& args);

}  // namespace kestrune::devcmd
