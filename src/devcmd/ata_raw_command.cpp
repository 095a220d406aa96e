// ATA: a raw ATA command in which the script sets every register, with its data read into a dump
// file, sent from a file the operator chooses, or no data at all.
#include <algorithm>
#include <optional>

#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/ata_command_groups.h"
#include "devcmd/ata_command_support.h"
#include "disk/ata_operations.h"
#include "disk/disk_state.h"
#include "disk/dump_file.h"
#include "disk/sector_buffer.h"
#include "disk/target_mode.h"
#include "engine/arguments.h"
#include "engine/file_lookup.h"
#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "platform/files.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
using base::EqualsNoCase;

struct Mode {
  platform::DataDirection direction = platform::DataDirection::kNone;
  bool show = false;  // IN and OUT write and announce a dump; the _NOSHOW forms do not
};

std::optional<Mode> ModeOf(std::string_view io) {
  using platform::DataDirection;
  if (EqualsNoCase(io, "IN")) return Mode{DataDirection::kIn, true};
  if (EqualsNoCase(io, "IN_NOSHOW")) return Mode{DataDirection::kIn, false};
  if (EqualsNoCase(io, "OUT")) return Mode{DataDirection::kOut, true};
  if (EqualsNoCase(io, "OUT_NOSHOW")) return Mode{DataDirection::kOut, false};
  if (EqualsNoCase(io, "NODATA")) return Mode{DataDirection::kNone, false};
  return std::nullopt;
}

// Commands that write user data or erase it: sent with data out only to a RAW disk.
bool WritesUserData(uint8_t c) {
  return c == 0x06 || (c >= 0x30 && c <= 0x36) || (c >= 0x38 && c <= 0x3E) || c == 0xC5 ||
         (c >= 0xCA && c <= 0xCC) || c == 0xCE || c == 0xF4;
}

// ATA( IO:"IN", ATACmd:0xFE, Feature:2, SectorCount:1, Low:0x00, Mid:0x00, High:0x01, ExLow:0, ExMid:0,
// ExHigh:0 );
void Ata(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  engine::ArgReader in(
      v.vars, errors, args,
      {"IO", "ATACmd", "Feature", "SectorCount", "Low", "Mid", "High", "ExLow", "ExMid", "ExHigh"});
  const std::string io = in.Text("IN");
  disk::AtaTaskFile tf;
  tf.command = static_cast<uint8_t>(in.U32(0xFE));
  tf.feature = static_cast<uint16_t>(in.U32(2));
  tf.sectorCount = in.U32(1);
  tf.lbaLow = static_cast<uint8_t>(in.U32(0));
  tf.lbaMid = static_cast<uint8_t>(in.U32(0));
  tf.lbaHigh = static_cast<uint8_t>(in.U32(1));
  tf.exLow = static_cast<uint8_t>(in.U32(0));
  tf.exMid = static_cast<uint8_t>(in.U32(0));
  tf.exHigh = static_cast<uint8_t>(in.U32(0));
  if (!in.ok()) return;

  const std::optional<Mode> mode = ModeOf(io);
  if (!mode) return interp.ReportCompletion(view, code::kBadParameter, "IO Parameter Error ");
  NvmeTarget target = CurrentAtaTarget(interp);
  if (!target) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  const disk::DiskEntry& disk = *target.disk;
  tf.flags = mode->direction == platform::DataDirection::kIn    ? disk::ata_flag::kPioIn
             : mode->direction == platform::DataDirection::kOut ? disk::ata_flag::kPioOut
                                                                : disk::ata_flag::kNoData;
  if (mode->direction == platform::DataDirection::kOut) {
    // Data out never goes to the disk the running system lives on; user data only to a RAW disk.
    if (const int32_t guard = disk::RequireNotSystemDisk(disk))
      return interp.ReportCompletion(view, guard, "");
    if (WritesUserData(tf.command) && disk::RequireRaw(disk) != 0)
      return interp.ReportCompletion(view, code::kRawModeOnly, disk::kRawModeAdvice);
  }
  if (const int32_t bad = disk::CheckTransfer(tf)) return interp.ReportCompletion(view, bad, "");

  const size_t length = mode->direction == platform::DataDirection::kNone
                            ? 0
                            : size_t{tf.sectorCount} * (disk.sectorSize != 0 ? disk.sectorSize : 512);
  disk::SectorBuffer buffer(length);
  if (!buffer.ok()) return interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");

  if (mode->direction == platform::DataDirection::kOut) {
    std::string file;
    if (!engine::ChooseFileIfEmpty(interp, view, file, engine::FileChoice::Open("Hex File", ""))) return;
    std::optional<std::string> found = engine::LookupFile(file, interp.Folders(view));
    std::optional<std::vector<uint8_t>> bytes = found ? platform::ReadWholeFile(*found) : std::nullopt;
    if (!bytes) return interp.ReportCompletion(view, code::kFileOpenFailed, file);
    // A shorter file leaves the rest of the buffer zero.
    std::copy_n(bytes->begin(), std::min(bytes->size(), buffer.size()), buffer.data());
  }

  const int32_t rc = disk::AtaCommand(*target.tree, disk, tf, buffer.bytes());
  if (rc < 0) return interp.ReportCompletion(view, rc, "");
  if (!mode->show) return;
  const uint32_t colour =
      mode->direction == platform::DataDirection::kIn ? disk::kReadDumpColour : engine::colour::kOrange;
  disk::SaveDump(interp, view, disk::DefaultDumpPath(interp, view), buffer.bytes(), colour);
}

constexpr engine::HandlerRow kHandlers[] = {
    {"ATA", engine::kSataOnly, Ata},
};

}  // namespace

std::span<const engine::HandlerRow> RawAtaHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
