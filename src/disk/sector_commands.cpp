// LBARead, LBAWrite and FlushCache (TRIM is in trim_command.cpp).
#include "disk/sector_commands.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/dump_file.h"
#include "disk/pattern_fill.h"
#include "disk/sector_buffer.h"
#include "disk/sector_io.h"
#include "disk/sector_session.h"
#include "disk/target_mode.h"
#include "engine/arguments.h"
#include "engine/file_lookup.h"
#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "platform/files.h"

namespace kestrune::disk {
namespace {

namespace code = base::code;

constexpr uint64_t kSectorsPerCluster = 8;
constexpr uint32_t kDefaultPattern = 0x55AAFF00;

// The first parameter of LBARead names the unit of the address and the path it is read from.
enum class Address : uint8_t { kDiskSector, kVolumeSector, kVolumeCluster };

// The pairs of an argument text, in order (for handlers whose parameter names choose a form).
std::vector<engine::Pair> PairsOf(std::string_view args) {
  std::vector<engine::Pair> pairs;
  while (auto pair = engine::NextPair(args)) pairs.push_back(std::move(*pair));
  return pairs;
}

Address AddressOf(const std::vector<engine::Pair>& pairs) {
  if (pairs.empty()) return Address::kDiskSector;
  if (base::EqualsNoCase(pairs[0].name, "VLBA")) return Address::kVolumeSector;
  if (base::EqualsNoCase(pairs[0].name, "VLCN")) return Address::kVolumeCluster;
  return Address::kDiskSector;
}

// The byte range of count sectors at lba of path, checked against what the path reaches.
std::optional<ByteRange> CheckedRange(const DiskState& state, const std::string& path, uint64_t lba,
                                      int64_t count) {
  if (count <= 0 || count > INT32_MAX) return std::nullopt;
  std::optional<ByteRange> range = SectorBytes(lba, count, state.current.sectorSize);
  if (!range) return std::nullopt;
  std::optional<uint64_t> extent = ExtentOf(state, state.current, path);
  if (extent && !WithinExtent(*range, *extent)) return std::nullopt;
  return range;
}

// The "Read %d Times" line: a new grey line for the first pass, rewritten in place after that.
class PassProgress {
 public:
  PassProgress(engine::Interpreter& interp, uint32_t view) : interp_(interp), view_(view) {}
  void Show(int64_t pass) {
    const std::string text = base::Format("Read %lld Times", static_cast<long long>(pass));
    engine::ViewOutput* out = interp_.output(view_);
    if (shown_ && interp_.writer().RewriteLine(out, line_, text)) return;
    line_ = interp_.writer().WriteLine(out, text, engine::kDetail, 10, engine::colour::kGrey);
    shown_ = true;
  }

 private:
  engine::Interpreter& interp_;
  uint32_t view_;
  engine::LineRef line_;
  bool shown_ = false;
};

// LBARead( LBA:128, SectorCount:1, Times:1, SaveFile:"" ); the first parameter may also be VLBA
// (sectors of the device path) or VLCN (clusters of 8 sectors of the device path).
void LbaRead(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  engine::ArgReader in(v.vars, errors, args, {"LBA", "SectorCount", "Times", "SaveFile"});
  const Address address = AddressOf(PairsOf(args));
  const uint64_t value = static_cast<uint64_t>(in.I64(128));
  const int64_t count = in.I64(1);
  const int64_t times = in.I64(1);
  const std::string saveFile = in.Text("");
  if (!in.ok()) return;

  DiskState& state = StateOf(interp);
  if (!HasTarget(state)) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  const DiskEntry& disk = state.current;
  const std::string& path = address == Address::kDiskSector ? disk.physicalPath : disk.devicePath;
  uint64_t lba = value;
  if (address == Address::kVolumeCluster && __builtin_mul_overflow(value, kSectorsPerCluster, &lba))
    return interp.ReportCompletion(view, code::kBadParameter, "");
  std::optional<ByteRange> range = CheckedRange(state, path, lba, count);
  if (!range || times < 1 || times > INT32_MAX) return interp.ReportCompletion(view, code::kBadParameter, "");

  const std::string dumpPath =
      saveFile.empty() ? DefaultDumpPath(interp, view) : engine::OutputFilePath(interp, view, saveFile);
  SectorBuffer buffer(range->length);
  if (!buffer.ok()) return interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");

  PassProgress progress(interp, view);
  for (int64_t pass = 1; pass <= times; ++pass) {
    if (times != 1) progress.Show(pass);
    const int32_t rc =
        ReadSectors(*state.tree, path, lba, static_cast<int32_t>(count), buffer.bytes(), disk.sectorSize);
    if (rc < 0) return interp.ReportCompletion(view, rc, "");
    if (rc != kIoDone || v.cancel) break;
  }
  SaveDump(interp, view, dumpPath, buffer.bytes(), kReadDumpColour);
}

// What LBAWrite sends. The two readers below fill it, or report and give false when there is
// nothing to send.
struct WriteData {
  uint64_t lba = 0;
  int32_t count = 0;
  bool fua = false;
  SectorBuffer buffer;
};

// LBAWrite( LBA:0, File:"name" ): the whole sectors of a binary data file.
bool DataFromFile(engine::Interpreter& interp, uint32_t view, std::string_view args, WriteData& out) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"LBA", "File"});
  out.lba = static_cast<uint64_t>(in.I64(128));
  std::string file = in.Text("");
  if (!in.ok()) return false;
  if (!engine::ChooseFileIfEmpty(interp, view, file, engine::FileChoice::Open("Hex File", "hex"))) return false;
  std::optional<std::string> found = engine::LookupFile(file, interp.Folders(view));
  std::error_code ec;
  const uint64_t size = found ? std::filesystem::file_size(platform::FsPath(*found), ec) : 0;
  if (!found || ec) {
    interp.ReportCompletion(view, code::kFileOpenFailed, file);
    return false;
  }

  DiskState& state = StateOf(interp);
  const uint32_t sectorSize = state.current.sectorSize;
  const uint64_t sectors = sectorSize != 0 ? size / sectorSize : 0;
  std::optional<ByteRange> range = CheckedRange(state, state.current.physicalPath, out.lba,
                                                static_cast<int64_t>(std::min<uint64_t>(sectors, INT64_MAX)));
  if (!range) {
    interp.ReportCompletion(view, code::kBadParameter, "");
    return false;
  }
  out.count = static_cast<int32_t>(sectors);
  out.buffer = SectorBuffer(range->length);
  if (!out.buffer.ok()) {
    interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
    return false;
  }
  std::ifstream stream(platform::FsPath(*found), std::ios::binary);
  stream.read(reinterpret_cast<char*>(out.buffer.data()), static_cast<std::streamsize>(range->length));
  if (!stream) {
    interp.ReportCompletion(view, code::kFileOpenFailed, file);
    return false;
  }
  return true;
}

// LBAWrite( LBA:128, SectorCount:1, WritePattern:0x55AAFF00, MarkSectorHeader:TRUE, FUA:FALSE ).
bool DataFromPattern(engine::Interpreter& interp, uint32_t view, std::string_view args, WriteData& out) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args,
                       {"LBA", "SectorCount", "WritePattern", "MarkSectorHeader", "FUA"});
  out.lba = static_cast<uint64_t>(in.I64(128));
  const int64_t count = in.I64(1);
  const std::optional<engine::Value> patternValue = in.Any();
  const bool mark = in.Bool(true);
  out.fua = in.Bool(false);
  if (!in.ok()) return false;

  DiskState& state = StateOf(interp);
  const std::optional<uint32_t> pattern = patternValue ? PatternValue(*patternValue) : kDefaultPattern;
  std::optional<ByteRange> range = CheckedRange(state, state.current.physicalPath, out.lba, count);
  if (!pattern || !range) {
    interp.ReportCompletion(view, code::kBadParameter, "");
    return false;
  }
  out.count = static_cast<int32_t>(count);
  out.buffer = SectorBuffer(range->length);
  if (!out.buffer.ok()) {
    interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
    return false;
  }
  FillSectorBlock(out.buffer.bytes(), out.lba, *pattern, mark, state.current.sectorSize);
  return true;
}

void LbaWrite(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  DiskState& state = StateOf(interp);
  if (!HasTarget(state)) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  const DiskEntry& disk = state.current;
  if (int32_t guard = RequireNotSystemDisk(disk)) return interp.ReportCompletion(view, guard, "");

  const std::vector<engine::Pair> pairs = PairsOf(args);
  const bool fromFile = pairs.size() > 1 && base::EqualsNoCase(pairs[1].name, "File");
  WriteData data;
  if (!(fromFile ? DataFromFile(interp, view, args, data) : DataFromPattern(interp, view, args, data)))
    return;

  if (RequireRaw(disk) != 0)
    interp.writer().WriteLine(interp.output(view), "Command Only Support RAW Mode", engine::kDetail, 10,
                              engine::colour::kRed);
  const int32_t rc = WriteSectors(*state.tree, disk.physicalPath, data.lba, data.count, data.buffer.bytes(),
                                  disk.sectorSize, data.fua);
  if (rc < 0) return interp.ReportCompletion(view, rc, "");
  SaveDump(interp, view, DefaultDumpPath(interp, view), data.buffer.bytes(), engine::colour::kOrange);
}

// FlushCache();
void FlushCache(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  DiskState& state = StateOf(interp);
  if (!HasTarget(state)) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  const int32_t rc = FlushDevice(*state.tree, state.current.devicePath);
  if (rc < 0) interp.ReportCompletion(view, rc, "");
}

// The handlers of this file, one row per command table row.
constexpr engine::HandlerRow kHandlers[] = {
    {"LBARead", engine::kAnyDisk, LbaRead},
    {"LBAWrite", engine::kAnyDisk, LbaWrite},
    {"TRIM", engine::kAnyDisk, TrimCommand},
    {"FlushCache", engine::kAnyDisk, FlushCache},
};

}  // namespace

std::vector<engine::HandlerRow> RegisterSectorCommands(engine::Interpreter& interp) {
  return interp.Register({kHandlers});
}

}  // namespace kestrune::disk
