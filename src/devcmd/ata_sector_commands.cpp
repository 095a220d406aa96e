// ATARead and ATAWrite: sectors through ATA commands of a chosen protocol (PIO, multiple, DMA, and
// the forced-unit-access forms of writing), the 48-bit forms from LBA 0x10000000 on.
#include "base/completion_codes.h"
#include "devcmd/ata_command_groups.h"
#include "devcmd/ata_command_support.h"
#include "disk/ata_operations.h"
#include "disk/dump_file.h"
#include "disk/pattern_fill.h"
#include "disk/sector_buffer.h"
#include "disk/target_mode.h"
#include "engine/arguments.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
using base::EqualsNoCase;
namespace flag = disk::ata_flag;

constexpr uint64_t kFirstLba48 = 0x10000000;
constexpr uint32_t kDefaultPattern = 0x55AAFF00;

struct Choice {
  uint8_t command = 0;
  uint16_t flags = 0;
};

Choice ReadCommand(std::string_view mode, bool wide) {
  if (EqualsNoCase(mode, "Multiple")) return {static_cast<uint8_t>(wide ? 0x29 : 0xC4), flag::kPioIn};
  if (EqualsNoCase(mode, "DMA")) return {static_cast<uint8_t>(wide ? 0x25 : 0xC8), flag::kDmaIn};
  return {static_cast<uint8_t>(wide ? 0x24 : 0x20), flag::kPioIn};  // "Normal" and any other text
}

// nullopt for the FUA modes below LBA 0x10000000, which have no 28-bit form.
std::optional<Choice> WriteCommand(std::string_view mode, bool wide) {
  if (EqualsNoCase(mode, "Multiple_Fua") || EqualsNoCase(mode, "DMA_Fua")) {
    if (!wide) return std::nullopt;
    return EqualsNoCase(mode, "DMA_Fua") ? Choice{0x3D, flag::kDmaOut} : Choice{0xCE, flag::kPioOut};
  }
  if (EqualsNoCase(mode, "Multiple")) return Choice{static_cast<uint8_t>(wide ? 0x39 : 0xC5), flag::kPioOut};
  if (EqualsNoCase(mode, "DMA")) return Choice{static_cast<uint8_t>(wide ? 0x35 : 0xCA), flag::kDmaOut};
  return Choice{static_cast<uint8_t>(wide ? 0x34 : 0x30), flag::kPioOut};
}

// The buffer of count sectors; reports and gives false when the transfer cannot go out as stated
// or the memory is not there.
bool Prepare(engine::Interpreter& interp, uint32_t view, const disk::AtaTaskFile& tf, uint32_t sectorSize,
             disk::SectorBuffer& buffer) {
  if (const int32_t bad = disk::CheckTransfer(tf)) {
    interp.ReportCompletion(view, bad, "");
    return false;
  }
  buffer = disk::SectorBuffer(size_t{tf.sectorCount} * sectorSize);
  if (!buffer.ok()) {
    interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
    return false;
  }
  return true;
}

uint32_t SectorSizeOf(const disk::DiskEntry& disk) { return disk.sectorSize != 0 ? disk.sectorSize : 512; }

// ATARead( LBA:100, SectorCount:1, ATA_RMode:"Normal" );
void AtaRead(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"LBA", "SectorCount", "ATA_RMode"});
  const uint64_t lba = static_cast<uint64_t>(in.I64(100));
  const uint32_t count = in.U32(1);
  const std::string mode = in.Text("Normal");
  if (!in.ok()) return;
  NvmeTarget target = CurrentAtaTarget(interp);
  if (!target) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  const Choice c = ReadCommand(mode, lba >= kFirstLba48);
  const disk::AtaTaskFile tf = disk::TaskFile(c.command, c.flags, lba, count);
  disk::SectorBuffer buffer;
  if (!Prepare(interp, view, tf, SectorSizeOf(*target.disk), buffer)) return;
  const int32_t rc = disk::AtaCommand(*target.tree, *target.disk, tf, buffer.bytes());
  if (rc < 0) return interp.ReportCompletion(view, rc, "");
  disk::SaveDump(interp, view, disk::DefaultDumpPath(interp, view), buffer.bytes(), disk::kReadDumpColour);
}

// ATAWrite( LBA:100, SectorCount:1, WritePattern:0x55AAFF00, MarkSectorHeader:TRUE, ATA_WMode:"Normal" );
void AtaWrite(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args,
                       {"LBA", "SectorCount", "WritePattern", "MarkSectorHeader", "ATA_WMode"});
  const uint64_t lba = static_cast<uint64_t>(in.I64(100));
  const uint32_t count = in.U32(1);
  const std::optional<engine::Value> patternValue = in.Any();
  const bool mark = in.Bool(true);
  const std::string mode = in.Text("Normal");
  if (!in.ok()) return;
  NvmeTarget target = CurrentAtaTarget(interp);
  if (!target) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  const disk::DiskEntry& disk = *target.disk;
  if (const int32_t guard = disk::RequireNotSystemDisk(disk)) return interp.ReportCompletion(view, guard, "");
  if (disk::RequireRaw(disk) != 0)
    return interp.ReportCompletion(view, code::kRawModeOnly, disk::kRawModeAdvice);
  const std::optional<Choice> c = WriteCommand(mode, lba >= kFirstLba48);
  if (!c) return interp.ReportCompletion(view, code::kBadParameter, "FUA only support iSectorS > 0x0FFFFFFF");
  const std::optional<uint32_t> pattern = patternValue ? disk::PatternValue(*patternValue) : kDefaultPattern;
  if (!pattern) return interp.ReportCompletion(view, code::kBadParameter, "");

  const disk::AtaTaskFile tf = disk::TaskFile(c->command, c->flags, lba, count);
  disk::SectorBuffer buffer;
  if (!Prepare(interp, view, tf, SectorSizeOf(disk), buffer)) return;
  disk::FillSectorBlock(buffer.bytes(), lba, *pattern, mark, SectorSizeOf(disk));
  const int32_t rc = disk::AtaCommand(*target.tree, disk, tf, buffer.bytes());
  if (rc < 0) return interp.ReportCompletion(view, rc, "");
  disk::SaveDump(interp, view, disk::DefaultDumpPath(interp, view), buffer.bytes(), engine::colour::kOrange);
}

constexpr engine::HandlerRow kHandlers[] = {
    {"ATARead", engine::kSataOnly, AtaRead},
    {"ATAWrite", engine::kSataOnly, AtaWrite},
};

}  // namespace

std::span<const engine::HandlerRow> AtaSectorHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
