#include "disk/partition_commands.h"

#include <map>
#include <memory>

#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/capacity.h"
#include "disk/disk_list.h"
#include "disk/layout/partition_table.h"
#include "disk/layout/partition_writer.h"
#include "disk/sector_buffer.h"
#include "disk/sector_session.h"
#include "disk/target_mode.h"
#include "engine/arguments.h"
#include "engine/interpreter.h"
#include "engine/ui.h"
#include "engine/view.h"

namespace kestrune::disk {
namespace {

namespace code = base::code;
namespace colour = engine::colour;
using base::Format;
using platform::PartitionFileSystem;
using platform::PartitionOperation;

constexpr uint64_t kGptFromGB = 2048;  // PartType 0: GPT above this capacity label
constexpr const char* kCancelled = "---- Cancel Command ----";

unsigned long long Ull(uint64_t v) { return static_cast<unsigned long long>(v); }

// "%d.%d GB" with one decimal, of binary gigabytes.
std::string GbText(uint64_t bytes) {
  constexpr uint64_t kGiB = uint64_t{1} << 30;
  return Format("%llu.%llu GB", Ull(bytes / kGiB), Ull((bytes % kGiB) * 10 / kGiB));
}

class Printer {
 public:
  Printer(engine::Interpreter& interp, uint32_t view) : interp_(interp), out_(interp.output(view)) {}
  void operator()(const std::string& text, uint32_t c) {
    interp_.writer().WriteLine(out_, text, engine::kDetail, 10, c);
  }

 private:
  engine::Interpreter& interp_;
  engine::ViewOutput* out_;
};

// Reads sectors of an open disk through a page-aligned buffer.
SectorSource DeviceSource(platform::Device& device, uint32_t sectorSize) {
  return [&device, sectorSize](uint64_t lba, uint32_t count, std::span<uint8_t> out) {
    const uint64_t bytes = uint64_t{count} * sectorSize;
    if (out.size() < bytes || lba > UINT64_MAX / sectorSize) return false;
    SectorBuffer buffer(bytes);
    if (!buffer.ok()) return false;
    std::optional<uint64_t> moved = device.Read(lba * sectorSize, buffer.bytes().first(bytes));
    if (!moved || *moved != bytes) return false;
    std::copy_n(buffer.bytes().data(), bytes, out.data());
    return true;
  };
}

// What the partition listing prints of one partition after its own lines: the file system of its
// first sector, the MFT of an NTFS volume, and the drive letter that starts there.
void PrintVolumeLines(Printer& print, const SectorSource& read, uint32_t sectorSize, uint64_t start,
                      const std::map<uint64_t, platform::VolumeNode>& volumes) {
  std::vector<uint8_t> sector(sectorSize);
  auto volume = volumes.find(start);
  if (!read(start, 1, sector)) {
    print("   - File System  : (boot sector unreadable)", colour::kRed);
  } else {
    const BootSectorInfo boot = DecodeBootSector(sector.data());
    std::string fs = boot.fileSystem;
    if (fs.empty() && volume != volumes.end()) fs = volume->second.fileSystem;
    print("   - File System  : " + (fs.empty() ? std::string("Unknown") : fs), colour::kWhite);
    if (boot.ntfs && boot.clusterBytes >= sectorSize && boot.clusterBytes % sectorSize == 0) {
      const uint64_t perCluster = boot.clusterBytes / sectorSize;
      uint64_t mft = 0;
      if (!__builtin_mul_overflow(boot.mftCluster, perCluster, &mft) &&
          !__builtin_add_overflow(mft, start, &mft))
        print(Format("   - MFT LBA Start: 0x%llX", Ull(mft)), colour::kGrey);
    }
  }
  if (volume == volumes.end()) return;
  const platform::VolumeNode& v = volume->second;
  print("   - Drive Letter : " + v.letter, colour::kGrey);
  print("   - Volume Label : " + v.label, colour::kGrey);
  print("   - Total Size   : " + GbText(v.totalBytes), colour::kGrey);
  print("   - Free Size    : " + GbText(v.freeBytes), colour::kGrey);
}

// What RunPartitionTool refuses before its tool runs, with the target filled in; code 1 when the
// request may go on.
platform::PartitionOutcome RefusedRequest(DiskState& state, const DiskEntry& disk,
                                          platform::PartitionRequest& request) {
  if (!state.tree) return {code::kOpenDiskFailed, "", ""};
  request.targetPath = disk.physicalPath;
  request.diskNumber = disk.deviceNumber;
  bool systemDisk = disk.systemDisk;
  for (const platform::VolumeNode& v : state.tree->Enumerate().volumes)
    if (v.holdsSystem && v.onListedDisk && v.diskNumber == disk.deviceNumber) systemDisk = true;
  if (systemDisk) return {code::kPartitionCNotDeletable, "", ""};
  platform::PartitionTool* tool = state.tree->Partitioner();
  if (!tool) return {code::kNotSupported, "No partition tool", ""};
  if (platform::CheckPartitionRequest(request, *tool) != 0) return {code::kBadParameter, "", ""};
  if (request.operation != PartitionOperation::kClean) {
    const uint64_t sectors = disk.sectorSize ? disk.totalBytes / disk.sectorSize : 0;
    const TableScheme scheme =
        request.operation == PartitionOperation::kCreateGpt ? TableScheme::kGpt : TableScheme::kMbr;
    if (!PlanPartitions(scheme, disk.sectorSize, sectors, request.sizeMB))
      return {code::kBadParameter, "SizeMB", ""};
  }
  return {};
}

void PartitionInfo(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  DiskState& state = StateOf(interp);
  if (!HasTarget(state)) return interp.ReportCompletion(view, code::kOpenDiskFailed, "Disk Error");
  const DiskEntry disk = state.current;
  Printer print(interp, view);

  // The volumes of this disk by their first sector, in the disk's own sector size.
  std::map<uint64_t, platform::VolumeNode> volumes;
  const platform::DeviceSnapshot snapshot = state.tree->Enumerate();
  print("Disk PhysicalDrive: " + disk.physicalPath, colour::kWhite);
  std::unique_ptr<platform::Device> device = state.tree->Open(disk.physicalPath, platform::OpenAccess::kRead);
  if (!device) return interp.ReportCompletion(view, code::kOpenDiskFailed, "Disk Error");
  uint32_t sectorSize = disk.sectorSize;
  if (sectorSize == 0) sectorSize = device->SectorSize().value_or(0);
  const uint64_t length = device->LengthBytes().value_or(disk.totalBytes);
  if (sectorSize == 0) return interp.ReportCompletion(view, code::kDiskInfoFailed, "Sector Size");
  for (const platform::VolumeNode& v : snapshot.volumes)
    if (v.onListedDisk && v.diskNumber == disk.deviceNumber && v.partitionOffset % sectorSize == 0)
      volumes.emplace(v.partitionOffset / sectorSize, v);

  const SectorSource read = DeviceSource(*device, sectorSize);
  PartitionTable table;
  const TableRead result = ReadPartitionTable(read, sectorSize, length / sectorSize, table);
  if (result.code != 1) return interp.ReportCompletion(view, result.code, result.detail);
  if (table.scheme == TableScheme::kNone) return;

  if (table.scheme == TableScheme::kMbr) {
    print("Partation Type    : MBR", colour::kCyan);
    print(Format("Disk GUID         : 0x%X", table.diskSignature), colour::kCyan);
    for (const MbrPartition& p : table.mbr) {
      print(Format("Partition No      : Partition%02u", p.index), colour::kYellow);
      print(Format("   - LBA Start    : 0x%X", p.firstLba), colour::kWhite);
      print(Format("   - Sector Count : 0x%X", p.sectorCount), colour::kWhite);
      print(Format("   - Size(MB)     : %llu", Ull(uint64_t{p.sectorCount} * sectorSize >> 20)),
            colour::kWhite);
      if (p.pastDisk) {
        print("   - The partition reaches past the end of the disk: not read", colour::kRed);
        continue;
      }
      PrintVolumeLines(print, read, sectorSize, p.firstLba, volumes);
    }
    return;
  }

  print("Partation Type  : GPT", colour::kCyan);
  print("Disk GUID       : {" + GuidText(table.header.diskGuid) + "}", colour::kCyan);
  if (table.usedBackup)
    print(Format("The primary GPT header is damaged (%s): the backup header at LBA 0x%llX is used",
                 table.primaryDamage.c_str(), Ull(table.headerLba)),
          colour::kRed);
  for (const GptPartition& p : table.gpt) {
    const GptEntry& e = p.entry;
    print("Partition Name    : " + std::string(GptTypeName(e.typeGuid)), colour::kYellow);
    print("   - GUID         : {" + GuidText(e.uniqueGuid) + "}", colour::kWhite);
    print(Format("   - LBA Start    : 0x%llX", Ull(e.startingLba)), colour::kWhite);
    print(Format("   - LBA End      : 0x%llX", Ull(e.endingLba)), colour::kWhite);
    print(Format("   - Attribute    : 0x%llX", Ull(e.attributes)), colour::kWhite);
    if (p.pastDisk) {
      print("   - The partition reaches past the end of the disk: not read", colour::kRed);
      continue;
    }
    const uint64_t sectors = e.endingLba - e.startingLba + 1;
    print(Format("   - Size(MB)     : %llu",
                 Ull(sectors > UINT64_MAX / sectorSize ? 0 : sectors * sectorSize >> 20)),
          colour::kWhite);
    PrintVolumeLines(print, read, sectorSize, e.startingLba, volumes);
  }
}

// FileSys: a number (1 exFAT, any other NTFS) or the text "EXT4"; nullopt for anything else.
std::optional<PartitionFileSystem> FileSystemOf(const std::optional<engine::Value>& v) {
  if (!v || v->IsNone()) return PartitionFileSystem::kNtfs;
  if (v->IsNumeric()) return v->number == 1 ? PartitionFileSystem::kExfat : PartitionFileSystem::kNtfs;
  if (base::EqualsNoCase(v->text, "EXT4")) return PartitionFileSystem::kExt4;
  return std::nullopt;
}

// Makes the entry of path in a rebuilt list the current disk and says so; false when the list has
// no such entry.
bool ChangeToPath(engine::Interpreter& interp, uint32_t view, const std::string& path) {
  DiskState& state = StateOf(interp);
  const std::vector<DiskEntry>& list = RebuildDiskList(state);
  if (state.diskListChanged) state.diskListChanged();
  for (const DiskEntry& e : list) {
    if (!base::EqualsNoCase(e.devicePath, path)) continue;
    SetCurrentDisk(interp, e);
    Printer(interp, view)("Change to Disk: " + e.devicePath, colour::kLightBlue);
    return true;
  }
  return false;
}

// The file system the system reports for the volume at path; empty when it lists none there.
std::string VolumeFileSystem(platform::DeviceTree& tree, const std::string& path) {
  for (const platform::VolumeNode& v : tree.Enumerate().volumes)
    if (base::EqualsNoCase(v.path, path)) return v.fileSystem;
  return "";
}

// Partition_Create( ConfirmMsg:TRUE, PartType:0, FileSys:0, SizeMB:0, PartLabel:"" );
void PartitionCreate(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  engine::ArgReader in(v.vars, errors, args, {"ConfirmMsg", "PartType", "FileSys", "SizeMB", "PartLabel"});
  const bool confirm = in.Bool(true);
  const int64_t partType = in.I64(0);
  const std::optional<engine::Value> fileSys = in.Any();
  const int64_t sizeMB = in.I64(0);
  const std::string labels = in.Text("");
  if (!in.ok()) return;

  DiskState& state = StateOf(interp);
  if (!HasTarget(state)) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  const DiskEntry disk = state.current;
  if (int32_t guard = RequireRaw(disk)) return interp.ReportCompletion(view, guard, "");

  platform::PartitionRequest request;
  std::optional<PartitionFileSystem> fs = FileSystemOf(fileSys);
  std::optional<std::vector<std::string>> labelList = platform::SplitLabels(labels);
  if (partType < 0 || partType > 2 || !fs || !labelList)
    return interp.ReportCompletion(view, code::kBadParameter, "");
  request.fileSystem = *fs;
  request.sizeMB = sizeMB;
  request.labels = *labelList;
  bool gpt = partType == 2;
  if (partType == 0) gpt = CapacityLabelOf(*state.tree, disk) > kGptFromGB;
  request.operation = gpt ? PartitionOperation::kCreateGpt : PartitionOperation::kCreateMbr;

  // Everything the tool would refuse is refused before the question is asked.
  const platform::PartitionOutcome refused = RefusedRequest(state, disk, request);
  if (refused.code < 0) return interp.ReportCompletion(view, refused.code, refused.detail);
  if (confirm && !interp.ui().AskYesNo(view, "Create a Partition for Full Disk Space?", &v.cancel, false, true)) {
    Printer(interp, view)(kCancelled, colour::kCyan);
    return;
  }
  Printer(interp, view)(gpt ? "Create GPT Partition" : "Create MBR Partition", colour::kWhite);
  const platform::PartitionOutcome outcome = RunPartitionTool(state, disk, request, &v.cancel);
  if (outcome.code < 0) return interp.ReportCompletion(view, outcome.code, outcome.detail);
  // Windows names them "NTFS" and "exFAT"; Linux "ntfs", "exfat" and "ext4".
  const std::string fsName = VolumeFileSystem(*state.tree, outcome.newPath);
  if (fsName != "NTFS" && fsName != "exFAT" && fsName != "ntfs" && fsName != "exfat" && fsName != "ext4") {
    RebuildDiskList(state);
    return;
  }
  ChangeToPath(interp, view, outcome.newPath);
}

// Partition_Delete( ConfirmMsg:TRUE );
void PartitionDelete(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  engine::ArgReader in(v.vars, errors, args, {"ConfirmMsg"});
  const bool confirm = in.Bool(true);
  if (!in.ok()) return;

  DiskState& state = StateOf(interp);
  if (!HasTarget(state)) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  const DiskEntry disk = state.current;
  if (ModeOf(disk) == TargetMode::kRaw) return interp.ReportCompletion(view, code::kNoPartitionFound, "");
  Printer print(interp, view);
  if (base::EqualsNoCase(disk.devicePath, "\\\\.\\C:")) {
    print("Cannot Delete Partition C:", colour::kRed);
    print(kCancelled, colour::kCyan);
    return;
  }
  if (confirm &&
      !interp.ui().AskYesNo(
          view, "Delete \"All Partitions\" of \n" + disk.model + "\n and Change to RAW Mode?", &v.cancel, false,
              true)) {
    print(kCancelled, colour::kCyan);
    return;
  }
  CleanToRaw(interp, view, disk);
}

constexpr engine::HandlerRow kHandlers[] = {
    {"PartitionInfo", engine::kAnyDisk, PartitionInfo},
    {"Partition_Create", engine::kAnyDisk, PartitionCreate},
    {"Partition_Delete", engine::kAnyDisk, PartitionDelete},
};

}  // namespace

platform::PartitionOutcome RunPartitionTool(DiskState& state, const DiskEntry& disk,
                                            platform::PartitionRequest request,
                                            const std::atomic<bool>* cancel) {
  const platform::PartitionOutcome refused = RefusedRequest(state, disk, request);
  if (refused.code < 0) return refused;
  return state.tree->Partitioner()->Run(request, cancel);
}

int32_t CleanToRaw(engine::Interpreter& interp, uint32_t view, const DiskEntry& disk) {
  platform::PartitionRequest request;
  request.operation = PartitionOperation::kClean;
  const platform::PartitionOutcome outcome = RunPartitionTool(StateOf(interp), disk, request, &interp.view(view).cancel);
  if (outcome.code < 0) {
    interp.ReportCompletion(view, outcome.code, outcome.detail);
    return outcome.code;
  }
  if (!ChangeToPath(interp, view, outcome.newPath)) {
    interp.ReportCompletion(view, code::kOpenDiskFailed, outcome.newPath);
    return code::kOpenDiskFailed;
  }
  return 1;
}

std::vector<engine::HandlerRow> RegisterPartitionCommands(engine::Interpreter& interp) {
  StateOf(interp);
  return interp.Register({kHandlers});
}

}  // namespace kestrune::disk
