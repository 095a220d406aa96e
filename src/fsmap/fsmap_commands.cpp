// GetFileLBA, GetFileByLBA and GetFileByMftId.
#include "fsmap/fsmap_commands.h"

#include <algorithm>
#include <memory>

#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/disk_state.h"
#include "disk/dump_file.h"
#include "disk/sector_io.h"
#include "disk/sector_session.h"
#include "disk/target_mode.h"
#include "engine/arguments.h"
#include "engine/file_lookup.h"
#include "engine/file_params.h"
#include "engine/literals.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "fsmap/file_extents.h"
#include "fsmap/ntfs_layout.h"
#include "fsmap/ntfs_volume.h"

namespace kestrune::fsmap {
namespace {

namespace code = base::code;
using base::Format;
using ull = unsigned long long;

// The most sectors one GetFileByLBA range may name (its owners are listed sector by sector in the MFT area).
constexpr int64_t kMaxRangeSectors = 1 << 20;

struct FsmapState {
  bool walkerExtents = false;  // the lab: GetFileLBA's NtfsTrace FALSE walks the MFT too
  std::unique_ptr<FileExtents> system;
};

// Lines of one command on its view.
class Lines {
 public:
  Lines(engine::Interpreter& interp, uint32_t view) : interp_(interp), view_(view) {}
  void operator()(std::string_view text, uint32_t colour) const {
    interp_.writer().WriteLine(interp_.output(view_), text, engine::kDetail, 10, colour);
  }
  LineOut Out() const {
    return [this](std::string_view text, uint32_t colour) { (*this)(text, colour); };
  }

 private:
  engine::Interpreter& interp_;
  uint32_t view_;
};

void Echo(const Lines& line, std::string_view name, std::string_view args) {
  line(Format("%.*s(%.*s);", static_cast<int>(name.size()), name.data(), static_cast<int>(args.size()), args.data()),
       line_colour::kGreen);
}

// The volumes of the current disk: a volume entry's own, or every volume of a physical disk.
std::vector<platform::VolumeNode> VolumesOf(const disk::DiskState& state) {
  std::vector<platform::VolumeNode> out;
  const disk::DiskEntry& d = state.current;
  for (platform::VolumeNode& v : state.tree->Enumerate().volumes) {
    const bool mine = d.entryKind == disk::EntryKind::kVolume ? v.path == d.devicePath
                                                              : v.onListedDisk && v.diskNumber == d.deviceNumber;
    if (mine) out.push_back(std::move(v));
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.partitionOffset < b.partitionOffset; });
  return out;
}

// The partition checks the two record commands share: a disk, not RAW, a volume to read. 0 when it
// passes, else the code has been reported.
int32_t CheckPartition(engine::Interpreter& interp, uint32_t view, const Lines& line,
                       std::vector<platform::VolumeNode>& volumes) {
  disk::DiskState& state = disk::StateOf(interp);
  if (!disk::HasTarget(state)) {
    interp.ReportCompletion(view, code::kOpenDiskFailed, "");
    return code::kOpenDiskFailed;
  }
  if (disk::RequirePartition(state.current) != 0 && disk::ModeOf(state.current) == disk::TargetMode::kRaw) {
    line("Only Support Partition Mode", line_colour::kRed);
    interp.ReportCompletion(view, code::kNoPartitionFound, "");
    return code::kNoPartitionFound;
  }
  volumes = VolumesOf(state);
  if (volumes.empty()) {
    line("Only Support Partition Mode", line_colour::kRed);
    interp.ReportCompletion(view, code::kNoPartitionFound, "");
    return code::kNoPartitionFound;
  }
  return 0;
}

uint64_t StartLba(const platform::VolumeNode& v, uint32_t sectorSize) { return v.partitionOffset / sectorSize; }

// Prints the volume start and opens its MFT walk (record 0 and the map shown). 1 or a code.
int32_t OpenVolume(const Lines& line, const platform::VolumeNode& v, uint32_t sectorSize, VolumeSource& source,
                   std::unique_ptr<NtfsVolume>& ntfs) {
  line(Format("## Volume %s Start: VLBA:0x00000000  (LBA:0x%08llX)", v.letter.c_str(),
              static_cast<ull>(StartLba(v, sectorSize))),
       line_colour::kYellow);
  line("## MFTId & VLBA Mapping Table", line_colour::kYellow);
  return NtfsVolume::Open(source, StartLba(v, sectorSize), line.Out(), true, ntfs);
}

void ReportOpen(engine::Interpreter& interp, uint32_t view, int32_t rc) {
  interp.ReportCompletion(view, rc, rc == code::kInvalidData ? "not an NTFS volume the walk can read" : "");
}

// GetFileByLBA( LBA:0 ) or GetFileByLBA( LBA:0, SectorCount:8 ).
void GetFileByLba(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::VarList& vars = interp.view(view).vars;
  engine::ArgReader in(vars, errors, args, {"LBA", "SectorCount"});
  const int64_t lba = in.I64(0);
  const int64_t count = in.I64(1);
  if (!in.ok()) return;
  const Lines line(interp, view);
  Echo(line, name, args);
  if (lba < 0 || count < 1 || count > kMaxRangeSectors) return interp.ReportCompletion(view, code::kBadParameter, "");
  std::vector<platform::VolumeNode> volumes;
  if (CheckPartition(interp, view, line, volumes) != 0) return;
  disk::DiskState& state = disk::StateOf(interp);
  const uint32_t sectorSize = state.current.sectorSize;
  if (sectorSize == 0) return interp.ReportCompletion(view, code::kDiskInfoFailed, "");

  // The volume that holds the LBA; the first one for an LBA outside them all (to say so).
  const platform::VolumeNode* volume = &volumes.front();
  for (const platform::VolumeNode& v : volumes) {
    const uint64_t start = StartLba(v, sectorSize);
    if (static_cast<uint64_t>(lba) >= start &&
        static_cast<uint64_t>(lba) - start < VolumeSectorCount(*state.tree, v, sectorSize))
      volume = &v;
  }
  VolumeSource source(*state.tree, *volume, sectorSize);
  std::unique_ptr<NtfsVolume> ntfs;
  if (int32_t rc = OpenVolume(line, *volume, sectorSize, source, ntfs); rc != 1) return ReportOpen(interp, view, rc);

  const uint64_t start = ntfs->startLba();
  const uint64_t first = static_cast<uint64_t>(lba);
  if (first < start || first - start >= ntfs->volumeSectors() ||
      static_cast<uint64_t>(count) > ntfs->volumeSectors() - (first - start)) {
    line("LBA Out of Partition Range", line_colour::kRed);
    return interp.ReportCompletion(view, code::kBadParameter, "");
  }
  const uint64_t vlba = first - start;
  line(Format("Search Target VLBA:0x%08llX  (LBA:0x%08llX)", static_cast<ull>(vlba), static_cast<ull>(first)),
       line_colour::kWhite);
  std::vector<Owner> owners;
  if (int32_t rc = ntfs->FindOwners(vlba, static_cast<uint64_t>(count), count == 1, owners); rc != 1)
    return interp.ReportCompletion(view, rc, "");
  if (owners.empty()) {
    line("No File be found.", line_colour::kGrey);
    engine::StoreValue(vars, errors, name, engine::Value::Text(""));
    return;
  }
  std::string paths;
  for (const Owner& o : owners) {
    if (o.mftArea) line(Format("Found MftItem (MftId:0x%08llX)", static_cast<ull>(o.mftId)), line_colour::kCyan);
    std::string path;
    const int32_t rc = ntfs->PathOf(o.mftId, path, true);
    if (rc != 1 && rc != code::kInvalidData) return interp.ReportCompletion(view, rc, "");
    if (count == 1) {
      line(Format("Found LBA:0x%08llX in Path: %s", static_cast<ull>(first), path.c_str()), line_colour::kCyan);
    } else {
      line(Format("Found LBA:0x%08llX - 0x%08llX in Path: %s", static_cast<ull>(start + o.firstSector),
                  static_cast<ull>(start + o.lastSector), path.c_str()),
           line_colour::kCyan);
    }
    if (o.mftArea) {
      line("MFT Node Area", line_colour::kCyan);
    } else {
      const std::string_view type = AttributeTypeName(o.type);
      std::string area(type);
      if (!o.attributeName.empty()) area += ":" + o.attributeName;
      line("File Area: " + area, line_colour::kCyan);
    }
    if (rc != 1) return interp.ReportCompletion(view, rc, "");
    if (!paths.empty()) paths += ',';
    paths += path;
  }
  engine::StoreValue(vars, errors, name, engine::Value::Text(paths));
}

// GetFileByMftId( MftId:0 ).
void GetFileByMftId(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"MftId"});
  const int64_t id = in.I64(0);
  if (!in.ok()) return;
  const Lines line(interp, view);
  Echo(line, name, args);
  if (id < 0) return interp.ReportCompletion(view, code::kBadParameter, "");
  std::vector<platform::VolumeNode> volumes;
  if (CheckPartition(interp, view, line, volumes) != 0) return;
  disk::DiskState& state = disk::StateOf(interp);
  const uint32_t sectorSize = state.current.sectorSize;
  if (sectorSize == 0) return interp.ReportCompletion(view, code::kDiskInfoFailed, "");
  const platform::VolumeNode& volume = volumes.front();
  VolumeSource source(*state.tree, volume, sectorSize);
  std::unique_ptr<NtfsVolume> ntfs;
  if (int32_t rc = OpenVolume(line, volume, sectorSize, source, ntfs); rc != 1) return ReportOpen(interp, view, rc);
  if (static_cast<uint64_t>(id) >= ntfs->recordCount()) {
    line(Format("MftId:0x%08llX past the MFT (0x%08llX records)", static_cast<ull>(id),
                static_cast<ull>(ntfs->recordCount())),
         line_colour::kRed);
    return interp.ReportCompletion(view, code::kBadParameter, "");
  }
  Record record;
  const RecordStatus status = ntfs->ReadFile(static_cast<uint64_t>(id), record, true);
  if (status == RecordStatus::kReadFailed) return interp.ReportCompletion(view, record.readCode, "");
  if (status == RecordStatus::kOk || status == RecordStatus::kBadAttribute) ntfs->PrintDetail(record);
}

// The extents table, the byte's LBA and its sector as a dump.
// The LBA is stored in the command's variable.
void ShowMapping(engine::Interpreter& interp, uint32_t view, const Lines& line, const FileMap& map, int64_t offset,
                 engine::ErrorSink& errors, std::string_view name) {
  if (map.extents.empty()) {
    line("No Any Block Found, Maybe File Size Small or Locked by System", line_colour::kRed);
    return;
  }
  const uint32_t sectorSize = map.sectorSize == 0 ? 512 : map.sectorSize;
  line("Index       : ByteOffset         | LBA                | Lenth(Byte)", line_colour::kYellow);
  for (size_t i = 0; i < map.extents.size(); ++i) {
    const FileExtent& e = map.extents[i];
    line(Format("%-11s : %-18s | %-18s | %lld", Format("Area%02zu", i).c_str(),
                Format("0x%08llX", static_cast<ull>(e.fileOffset)).c_str(),
                (e.flags & extent_flag::kDelalloc) ? "(not yet placed)"
                                                    : Format("0x%08llX", static_cast<ull>(e.diskByte / sectorSize)).c_str(),
                static_cast<long long>(e.length)),
         line_colour::kWhite);
    std::string notes;
    if (e.flags & extent_flag::kResident) notes += Format(" resident in MftId:0x%08llX", static_cast<ull>(map.mftId));
    if (e.flags & extent_flag::kUnwritten) notes += " unwritten (reads as zeros)";
    if (e.flags & extent_flag::kInline) notes += " inline";
    if (e.flags & extent_flag::kDelalloc) notes += " delayed allocation";
    if (e.flags & extent_flag::kEncoded) notes += " encoded (disk bytes differ from the file's)";
    if (!notes.empty()) line(Format("%-11s :%s", "", notes.c_str()), line_colour::kGrey);
  }
  const uint64_t at = static_cast<uint64_t>(offset);
  if (at >= map.fileSize) {
    line("File ByteOffset Over FileSize", line_colour::kRed);
    return interp.ReportCompletion(view, code::kBadParameter, "");
  }
  const FileExtent* holder = nullptr;
  for (const FileExtent& e : map.extents)
    if (at >= e.fileOffset && at - e.fileOffset < e.length) holder = &e;
  if (!holder || (holder->flags & extent_flag::kDelalloc)) {
    line(holder ? "File ByteOffset not yet on Disk" : "File ByteOffset in a Sparse Hole", line_colour::kRed);
    return;
  }
  const uint64_t diskByte = holder->diskByte + (at - holder->fileOffset);
  const uint64_t lba = diskByte / sectorSize;
  line(Format("FileOffset mapping to LBA : 0x%08llX   (Byte Index: 0x%llX )", static_cast<ull>(lba),
              static_cast<ull>(diskByte % sectorSize)),
       line_colour::kWhite);
  line(Format("Mapping Drv : %s, LBARead( LBA:0x%llX, SectorCount:1 )", map.diskPath.c_str(), static_cast<ull>(lba)),
       line_colour::kWhite);
  disk::DiskState& state = disk::StateOf(interp);
  std::vector<uint8_t> sector(sectorSize);
  if (int32_t rc = disk::ReadSectors(*state.tree, map.diskPath, lba, 1, sector, sectorSize); rc != disk::kIoDone)
    return interp.ReportCompletion(view, rc, "");
  disk::SaveDump(interp, view, disk::DefaultDumpPath(interp, view), sector, disk::kReadDumpColour);
  engine::StoreValue(interp.view(view).vars, errors, name, engine::Value::Hex(static_cast<int64_t>(lba)));
}

// GetFileLBA( File:"", ByteOffset:0, NtfsTrace:FALSE ).
void GetFileLba(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"File", "ByteOffset", "NtfsTrace"});
  std::string file = in.Text("");
  const int64_t offset = in.I64(0);
  const std::string traceText = in.Text("FALSE");
  if (!in.ok()) return;
  const Lines line(interp, view);
  Echo(line, name, args);
  const bool trace = !base::Trim(traceText).empty() && engine::ToBoolean(engine::Value::Text(traceText));
  if (offset < 0) return interp.ReportCompletion(view, code::kBadParameter, "");
  if (!engine::ChooseFileIfEmpty(interp, view, file, engine::FileChoice::Open("File", "*"))) return;
  disk::DiskState& state = disk::StateOf(interp);
  if (!disk::HasTarget(state)) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  FsmapState& fs = interp.State<FsmapState>();
  const disk::DiskEntry& d = state.current;
  const std::string fallback = d.entryKind == disk::EntryKind::kVolume ? d.devicePath : d.volumePath;

  FileMap map;
  if (trace) {
    const platform::DeviceSnapshot snapshot = state.tree->Enumerate();
    std::optional<VolumeOfPath> found = FindVolumeOfPath(snapshot, file, fallback);
    if (!found) return interp.ReportCompletion(view, code::kFileOpenFailed, file);
    map.diskPath = d.physicalPath;
    map.sectorSize = d.sectorSize;
    DiskOfVolume(snapshot, found->volume, map.diskPath, map.sectorSize);
    if (map.sectorSize == 0) return interp.ReportCompletion(view, code::kDiskInfoFailed, "");
    VolumeSource source(*state.tree, found->volume, map.sectorSize);
    std::unique_ptr<NtfsVolume> ntfs;
    if (int32_t rc = OpenVolume(line, found->volume, map.sectorSize, source, ntfs); rc != 1)
      return ReportOpen(interp, view, rc);
    std::string target = "## Target MftInfo: \\\\.";
    target += "\\" + found->volume.letter;
    for (const std::string& c : found->components) target += "\\" + c;
    line(target, line_colour::kYellow);
    uint64_t id = 0;
    if (int32_t rc = ntfs->Lookup(found->components, id, true); rc != 1)
      return interp.ReportCompletion(view, rc, rc == code::kFileOpenFailed ? file : "");
    Record record;
    const RecordStatus status = ntfs->ReadFile(id, record, true);
    if (status == RecordStatus::kReadFailed) return interp.ReportCompletion(view, record.readCode, "");
    if (status != RecordStatus::kOk) return;
    ntfs->PrintDetail(record);
    map.code = ntfs->DataExtents(record, map);
  } else if (fs.walkerExtents) {
    map = WalkerFileExtents(*state.tree, fallback, d.physicalPath, d.sectorSize).Map(file);
  } else {
    std::optional<std::string> found = engine::LookupFile(file, interp.Folders(view));
    if (!found) return interp.ReportCompletion(view, code::kFileOpenFailed, file);
    if (!fs.system) fs.system = CreateSystemFileExtents(*state.tree);
    if (!fs.system) return interp.ReportCompletion(view, code::kNotSupported, "no file extents on this system");
    map = fs.system->Map(*found);
  }
  if (map.code != 1) return interp.ReportCompletion(view, map.code, map.why);
  ShowMapping(interp, view, line, map, offset, errors, name);
}

constexpr engine::HandlerRow kHandlers[] = {
    {"GetFileLBA", engine::kAnyDisk, GetFileLba},
    {"GetFileByLBA", engine::kAnyDisk, GetFileByLba},
    {"GetFileByMftId", engine::kAnyDisk, GetFileByMftId},
};

}  // namespace

std::vector<engine::HandlerRow> RegisterFsmapCommands(engine::Interpreter& interp) {
  interp.State<FsmapState>();
  return interp.Register({kHandlers});
}

void UseWalkerForFileExtents(engine::Interpreter& interp) { interp.State<FsmapState>().walkerExtents = true; }

}  // namespace kestrune::fsmap
