// The ATA commands every simulated SATA drive answers (SMART and security in files of their own).
// Sector transfers use the drive's logical sector size; the data buffer must hold count sectors.
#include <algorithm>
#include <cstring>

#include "sim/command_sets.h"
#include "sim/identify_data.h"
#include "sim/sim_drive.h"

namespace kestrune::sim {
namespace {

using platform::DataDirection;

void IdentifyDevice(AtaRequest& r) {
  if (r.direction != DataDirection::kIn || r.data.size() < 512) return AtaFail(r.regs, ata_error::kAbort);
  auto id = AtaIdentifyDevice(r.drive.description(), r.drive.state(), r.drive.ata());
  std::memcpy(r.data.data(), id.data(), id.size());
  AtaSucceed(r.regs);
}

// A sector transfer: checks the range and the buffer, then moves the data.
void Transfer(AtaRequest& r, uint64_t lba, uint32_t count, bool write, bool fua) {
  const DataDirection want = write ? DataDirection::kOut : DataDirection::kIn;
  const uint32_t ss = r.drive.description().sectorSize;
  const uint64_t length = static_cast<uint64_t>(count) * ss;
  if (r.direction != want || r.data.size() < length) return AtaFail(r.regs, ata_error::kAbort);
  if (lba >= r.drive.sectorCount() || count > r.drive.sectorCount() - lba) {
    return AtaFail(r.regs, ata_error::kIdNotFound, lba);
  }
  if (write) {
    MediaStatus s = r.drive.WriteMedia(lba * ss, r.data.first(length), fua);
    return s == MediaStatus::kOk ? AtaSucceed(r.regs) : AtaFail(r.regs, ata_error::kAbort, lba);
  }
  MediaStatus s = r.drive.ReadMedia(lba * ss, r.data.first(length));
  if (s == MediaStatus::kOk) return AtaSucceed(r.regs);
  if (s == MediaStatus::kMediaError) {
    return AtaFail(r.regs, ata_error::kUncorrectable, r.drive.lastMediaError());
  }
  AtaFail(r.regs, ata_error::kAbort, lba);
}

// READ/WRITE MULTIPLE need a block size set by SET MULTIPLE.
bool MultipleSet(AtaRequest& r) {
  if (r.drive.ata().multipleCount != 0) return true;
  AtaFail(r.regs, ata_error::kAbort);
  return false;
}

void Read28(AtaRequest& r) { Transfer(r, r.lba28(), r.count28(), false, false); }
void ReadMultiple28(AtaRequest& r) {
  if (MultipleSet(r)) Read28(r);
}
void ReadMultiple48(AtaRequest& r) {
  if (MultipleSet(r)) Transfer(r, r.lba48(), r.count48(), false, false);
}
void WriteMultiple28(AtaRequest& r) {
  if (MultipleSet(r)) Transfer(r, r.lba28(), r.count28(), true, false);
}
void WriteMultiple48(AtaRequest& r) {
  if (MultipleSet(r)) Transfer(r, r.lba48(), r.count48(), true, r.regs.command == 0xCE);
}

// SET MULTIPLE MODE: a power of two up to the 16 sectors word 47 offers; 0 leaves it unset.
void SetMultiple(AtaRequest& r) {
  const uint8_t n = r.regs.count;
  if (n > 16 || (n & (n - 1)) != 0) return AtaFail(r.regs, ata_error::kAbort);
  r.drive.ata().multipleCount = n;
  AtaSucceed(r.regs);
}

void StandbyImmediate(AtaRequest& r) {
  r.drive.ata().standby = true;
  AtaSucceed(r.regs);
}

// DOWNLOAD MICROCODE: 03h/0Eh a chunk at an offset (in 512-byte blocks, LBA mid/high), 07h the whole
// image at once, 0Fh activates what 0Eh downloaded. The block count is COUNT plus LBA low << 8.
void DownloadMicrocode(AtaRequest& r) {
  AtaDriveState& ata = r.drive.ata();
  const uint8_t mode = r.regs.features;
  if (mode == 0x0F) {
    if (ata.microcode.empty()) return AtaFail(r.regs, ata_error::kAbort);
    ata.microcode.clear();
    ++ata.activations;
    return AtaSucceed(r.regs);
  }
  if (mode != 0x03 && mode != 0x07 && mode != 0x0E) return AtaFail(r.regs, ata_error::kAbort);
  const size_t blocks = r.regs.count | (size_t{r.regs.lbaLow} << 8);
  const size_t offset = 512 * (r.regs.lbaMid | (size_t{r.regs.lbaHigh} << 8));
  if (blocks == 0 || r.direction != DataDirection::kOut || r.data.size() < 512 * blocks)
    return AtaFail(r.regs, ata_error::kAbort);
  if (mode == 0x07 || offset == 0) ata.microcode.clear();
  if (offset != ata.microcode.size()) return AtaFail(r.regs, ata_error::kAbort);
  ata.microcode.insert(ata.microcode.end(), r.data.begin(), r.data.begin() + 512 * blocks);
  if (mode == 0x07) {
    ata.microcode.clear();
    ++ata.activations;
  }
  AtaSucceed(r.regs);
}
void Read48(AtaRequest& r) { Transfer(r, r.lba48(), r.count48(), false, false); }
void Write28(AtaRequest& r) { Transfer(r, r.lba28(), r.count28(), true, false); }
void Write48(AtaRequest& r) { Transfer(r, r.lba48(), r.count48(), true, false); }
void WriteFua48(AtaRequest& r) { Transfer(r, r.lba48(), r.count48(), true, true); }

void FlushCache(AtaRequest& r) {
  if (r.drive.FlushMedia()) return AtaSucceed(r.regs);
  AtaFail(r.regs, ata_error::kAbort);
}

void IdleImmediate(AtaRequest& r) {
  r.drive.ata().standby = false;
  AtaSucceed(r.regs);
}

void SetFeatures(AtaRequest& r) {
  switch (r.regs.features) {
    case 0x02:  // enable the volatile write cache
      if (!r.drive.description().writeCache) return AtaFail(r.regs, ata_error::kAbort);
      r.drive.state().writeCacheEnabled = true;
      return AtaSucceed(r.regs);
    case 0x82:  // disable it; what it holds goes to the media first
      if (!r.drive.FlushMedia()) return AtaFail(r.regs, ata_error::kAbort);
      r.drive.state().writeCacheEnabled = false;
      return AtaSucceed(r.regs);
    default:
      return AtaFail(r.regs, ata_error::kAbort);
  }
}

}  // namespace

uint64_t AtaRequest::lba28() const {
  return regs.lbaLow | (regs.lbaMid << 8) | (regs.lbaHigh << 16) |
         (static_cast<uint64_t>(regs.device & 0x0F) << 24);
}

uint64_t AtaRequest::lba48() const {
  uint64_t lba = regs.lbaLow | (regs.lbaMid << 8) | (regs.lbaHigh << 16);
  if (regs.extended) {
    lba |= (static_cast<uint64_t>(regs.lbaLowExp) << 24) | (static_cast<uint64_t>(regs.lbaMidExp) << 32) |
           (static_cast<uint64_t>(regs.lbaHighExp) << 40);
  }
  return lba;
}

uint32_t AtaRequest::count28() const { return regs.count == 0 ? 256u : regs.count; }

uint32_t AtaRequest::count48() const {
  uint32_t count = regs.count | (regs.extended ? (regs.countExp << 8) : 0u);
  return count == 0 ? 65536u : count;
}

void AtaSucceed(platform::AtaRegisters& regs) {
  regs.command = ata_status::kReady;
  regs.features = 0;
}

void AtaFail(platform::AtaRegisters& regs, uint8_t error, std::optional<uint64_t> lba) {
  regs.command = ata_status::kError;
  regs.features = error;
  if (lba) {
    regs.lbaLow = static_cast<uint8_t>(*lba);
    regs.lbaMid = static_cast<uint8_t>(*lba >> 8);
    regs.lbaHigh = static_cast<uint8_t>(*lba >> 16);
    regs.lbaLowExp = static_cast<uint8_t>(*lba >> 24);
    regs.lbaMidExp = static_cast<uint8_t>(*lba >> 32);
    regs.lbaHighExp = static_cast<uint8_t>(*lba >> 40);
  }
}

void ExecuteAta(const AtaCommandTable& table, AtaRequest& request) {
  const uint8_t command = request.regs.command;
  request.drive.ata().security.Next(command);
  if (const std::optional<uint8_t> error = request.drive.TakeAtaFailure(command))
    return AtaFail(request.regs, *error);
  const auto* handler = table.Find(command);
  if (handler == nullptr) return AtaFail(request.regs, ata_error::kAbort);
  (*handler)(request);
}

std::optional<AtaTransfer> ExpectedTransfer(uint8_t command, uint8_t features) {
  switch (command) {
    case 0xEC: case 0x20: case 0x24: case 0xC4: case 0x29:
      return AtaTransfer::kPioIn;
    case 0x30: case 0x34: case 0xC5: case 0x39: case 0xCE: case 0xF1: case 0xF2: case 0xF4: case 0xF6:
      return AtaTransfer::kPioOut;
    case 0xC8: case 0x25:
      return AtaTransfer::kDmaIn;
    case 0xCA: case 0x35: case 0x3D:
      return AtaTransfer::kDmaOut;
    case 0xE0: case 0xE1: case 0xE7: case 0xEA: case 0xEF: case 0xC6: case 0xF3: case 0xF5:
      return AtaTransfer::kNone;
    case 0xB0:
      if (features == 0xD0 || features == 0xD1) return AtaTransfer::kPioIn;
      return AtaTransfer::kNone;
    case 0x92:
      return features == 0x0F ? AtaTransfer::kNone : AtaTransfer::kPioOut;
    default:
      return std::nullopt;
  }
}

void RegisterAtaCommands(AtaCommandTable& table) {
  RegisterAtaSmartCommands(table);
  RegisterAtaSecurityCommands(table);
  RegisterAtaVendorCommands(table);
  table.Register(0xEC, IdentifyDevice);
  table.Register(0xC4, ReadMultiple28);   // READ MULTIPLE
  table.Register(0x29, ReadMultiple48);   // READ MULTIPLE EXT
  table.Register(0xC5, WriteMultiple28);  // WRITE MULTIPLE
  table.Register(0x39, WriteMultiple48);  // WRITE MULTIPLE EXT
  table.Register(0xCE, WriteMultiple48);  // WRITE MULTIPLE FUA EXT
  table.Register(0xC6, SetMultiple);
  table.Register(0xE0, StandbyImmediate);
  table.Register(0x92, DownloadMicrocode);
  table.Register(0x20, Read28);      // READ SECTORS
  table.Register(0xC8, Read28);      // READ DMA
  table.Register(0x24, Read48);      // READ SECTORS EXT
  table.Register(0x25, Read48);      // READ DMA EXT
  table.Register(0x30, Write28);     // WRITE SECTORS
  table.Register(0xCA, Write28);     // WRITE DMA
  table.Register(0x34, Write48);     // WRITE SECTORS EXT
  table.Register(0x35, Write48);     // WRITE DMA EXT
  table.Register(0x3D, WriteFua48);  // WRITE DMA FUA EXT
  table.Register(0xE7, FlushCache);
  table.Register(0xEA, FlushCache);  // FLUSH CACHE EXT
  table.Register(0xE1, IdleImmediate);
  table.Register(0xEF, SetFeatures);
}

}  // namespace kestrune::sim
