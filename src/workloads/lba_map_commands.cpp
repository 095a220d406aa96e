// Compare_MapMake, Compare_MapWrite and Compare_MapCompare: their binding and checks, the replay of a
// map through one queue of QD requests, and the sector-by-sector compare with its detail table.
#include "workloads/lba_map_commands.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>

#include "platform/atomic_file.h"
#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/disk_state.h"
#include "disk/pattern_fill.h"
#include "disk/sector_io.h"
#include "disk/sector_session.h"
#include "disk/target_mode.h"
#include "engine/detail_line.h"
#include "engine/arguments.h"
#include "engine/expression.h"
#include "engine/file_lookup.h"
#include "engine/file_params.h"
#include "engine/literals.h"
#include "engine/output.h"
#include "engine/output_base.h"
#include "engine/view.h"
#include "platform/files.h"
#include "platform/io_buffer.h"
#include "workloads/byte_range.h"
#include "workloads/compare_commands.h"
#include "workloads/coverage_line.h"
#include "workloads/coverage_map.h"
#include "workloads/drive_promises.h"
#include "workloads/job_stats.h"
#include "workloads/lba_map_file.h"
#include "workloads/map_durability.h"
#include "workloads/map_progress_file.h"
#include "workloads/compare_report.h"
#include "workloads/pattern_dumps.h"
#include "workloads/pattern_pass.h"
#include "workloads/random_source.h"
#include "workloads/sequential_pass.h"
#include "workloads/throughput_engine.h"
#include "workloads/verify_engine.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;

constexpr uint32_t kMaxMapQueueDepth = 128;
constexpr uint32_t kCompareReads = 128;
constexpr uint32_t kTotalColour = 0xFA00FA;
constexpr uint32_t kWaitSliceMs = 100;
constexpr size_t kMaxDetailBlocks = 1000;

struct MapViews {
  std::array<MapProgress, engine::Interpreter::kViews> views;
};

constexpr auto& Line = engine::DetailLine;

// The disk a progress record names: its serial number and length.
ProgressDisk ProgressDiskOf(const disk::DiskEntry& disk) {
  return {disk.serial.substr(0, kProgressSerialChars), disk.totalBytes};
}

// The map the LBAMap parameter names (asked for when empty), checked against the disk: -11 when it
// is missing, -90 naming the file and its first fault. nullopt when the command is over.
std::optional<LbaMap> LoadMap(engine::Interpreter& interp, uint32_t view, std::string file,
                              const disk::DiskEntry& disk, std::string& path, MapIdentity* identity = nullptr) {
  if (!engine::ChooseFileIfEmpty(interp, view, file, engine::FileChoice::Open("LBA Map File", "map")))
    return std::nullopt;
  std::optional<std::string> found = engine::LookupFile(file, interp.Folders(view));
  std::optional<std::vector<uint8_t>> bytes;
  if (found) bytes = platform::ReadWholeFile(*found);
  if (!bytes) {
    interp.ReportCompletion(view, code::kFileOpenFailed, file);
    return std::nullopt;
  }
  path = *found;
  if (identity) *identity = IdentityOf(*bytes);
  std::string problem;
  std::optional<LbaMap> map = DecodeMap(*bytes, disk.sectorSize, disk.usableBytes, problem);
  if (!map) interp.ReportCompletion(view, code::kInvalidData, path + ": " + problem);
  return map;
}

void PrintMapHeader(engine::Interpreter& interp, uint32_t view, const std::string& path, const MapHeader& h,
                    uint32_t sectorSize) {
  Line(interp, view, "Select File   : " + path, engine::colour::kWhite);
  Line(interp, view, base::Format("LBA Start     : 0x%08llX", static_cast<unsigned long long>(h.start / sectorSize)),
       engine::colour::kWhite);
  Line(interp, view, base::Format("RangeLenMB    : %lld", static_cast<long long>(h.rangeBytes / kMiB)),
       engine::colour::kWhite);
  Line(interp, view, base::Format("EachAccessKB  : %u", h.accessSize / 1024), engine::colour::kWhite);
}

// A pattern parameter that may not be "AUTO": nullopt (reported) otherwise.
std::optional<uint32_t> FixedPattern(engine::Interpreter& interp, uint32_t view, const std::optional<engine::Value>& v,
                                     uint32_t fallback, const char* autoText) {
  const std::optional<uint32_t> p = v ? disk::PatternValue(*v) : fallback;
  if (p == disk::kAutoPattern) {
    interp.ReportCompletion(view, code::kBadParameter, autoText);
    return std::nullopt;
  }
  if (!p) interp.ReportCompletion(view, code::kBadParameter, "");
  return p;
}

void FailWithLba(engine::Interpreter& interp, uint32_t view, int32_t failure, uint64_t lba) {
  const std::string text = base::Format("CurrentLBA: 0x%08X%08X", static_cast<uint32_t>(lba >> 32),
                                        static_cast<uint32_t>(lba));
  Line(interp, view, text, engine::colour::kRed);
  interp.ReportCompletion(view, failure, text);
}

// ---- Compare_MapMake ----

// Checks the ratios (trim needs a disk that trims) and sets the range and the number of writes of r,
// whose access size is set; false when the command was refused.
bool FillRecipe(engine::Interpreter& interp, uint32_t view, const disk::DiskEntry& disk, uint64_t lba,
                uint64_t rangeMB, const std::optional<engine::Value>& limitValue, MapRecipe& r) {
  const disk::DiskEntry* d = &disk;
  const uint32_t ss = disk.sectorSize;
  auto Refuse = [&](int32_t failure, const char* text) {
    interp.ReportCompletion(view, failure, text);
    return false;
  };
  if (r.trimRatio != 0) {
    const int32_t trim = disk::TrimSupported(*disk::StateOf(interp).tree, d->devicePath);
    if (trim < 0) return Refuse(trim, "");
    if (trim == 0) return Refuse(code::kBadParameter, "Disk not Support Trim");
  }
  if (r.trimRatio + uint64_t{r.flushRatio} > 5000)
    return Refuse(code::kBadParameter, "Trim + Flush Ratio need < 5000");
  // Blocks off the sector size, and ratios beyond the operation table, could not be replayed.
  if (r.accessSize == 0 || r.accessSize % ss != 0 || r.randRatio > 100 ||
      uint64_t{r.trimRatio} + r.fuaRatio + r.flushRatio > kOperationTableSize)
    return Refuse(code::kBadParameter, "");
  uint64_t start = 0;
  if (__builtin_mul_overflow(lba, uint64_t{ss}, &start) || start >= d->usableBytes)
    return Refuse(code::kBadParameter, "");
  if (rangeMB == 0 || rangeMB > (d->usableBytes - start) / kMiB) rangeMB = (d->usableBytes - start) / kMiB;
  uint64_t limitMB = rangeMB;
  if (limitValue && !(limitValue->type == engine::ValueType::kText && base::ContainsNoCase(limitValue->text, "CYCLE"))) {
    const std::optional<int64_t> n = engine::ToInt64(*limitValue);
    if (!n || *n < 0) return Refuse(code::kBadParameter, "");
    if (*n != 0) limitMB = static_cast<uint64_t>(*n);
  }
  r.start = start;
  r.rangeBytes = rangeMB * kMiB;
  r.writes = limitMB * kMiB / r.accessSize;
  const uint64_t blocks = r.rangeBytes / r.accessSize;
  if (blocks == 0 || blocks > kMaxMapBlocks || r.writes == 0 || r.writes > UINT32_MAX)
    return Refuse(code::kBadParameter, "");
  return true;
}

// Generates the recipe's entries onto the end of map; false (reported) when memory runs out or the
// count would not fit the header.
bool AddEntries(engine::Interpreter& interp, uint32_t view, const MapRecipe& r, LbaMap& map) {
  try {
    map.entries.reserve(map.entries.size() + r.writes);
    GenerateMap(r, [&] { return WorkerSeed(interp.host(), 0); },
                [&](std::span<const MapEntry> batch) {
                  map.entries.insert(map.entries.end(), batch.begin(), batch.end());
                  return true;
                });
  } catch (const std::bad_alloc&) {
    interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
    return false;
  }
  if (map.entries.size() > UINT32_MAX) {
    interp.ReportCompletion(view, code::kBadParameter, "");
    return false;
  }
  return true;
}

// Writes the map whole to a temporary file and renames it over path, so that a map is never seen
// half made; then names it on the output.
void SaveMap(engine::Interpreter& interp, uint32_t view, const std::string& path, const LbaMap& map) {
  const std::vector<uint8_t> bytes = EncodeMap(map);
  if (!platform::SaveFileAtomically(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())))
    return interp.ReportCompletion(view, code::kFileOpenFailed, path);
  Line(interp, view, "LBA Map File : " + path + " ", engine::colour::kCyan);
  interp.writer().WriteDataFile(interp.output(view), engine::colour::kCyan, path, true);
}

void CompareMapMake(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args,
                       {"RandRatio", "LBA", "RangeLenMB", "AccessKB", "LimitTxSizeMB", "TrimRatio", "FuaRatio",
                        "FlushRatio"});
  MapRecipe r;
  r.randRatio = in.U32(100);
  const uint64_t lba = static_cast<uint64_t>(in.I64(0));
  uint64_t rangeMB = in.U32(1024);
  const std::optional<engine::Pair> access = in.Raw();
  const std::optional<engine::Value> limitValue = in.Any();
  r.trimRatio = in.U32(0);
  r.fuaRatio = in.U32(0);
  r.flushRatio = in.U32(0);
  if (!in.ok()) return;
  const disk::DiskEntry* disk = CompareTarget(interp, view, false);
  if (!disk) return;
  const uint32_t ss = disk->sectorSize;

  uint64_t units = 4;
  if (access) {
    engine::ReportingSink sink(interp, view);
    const std::optional<int64_t> n = engine::ToInt64(engine::ReadValue(interp.view(view).vars, sink, access->value));
    if (!n) return;
    units = *n < 0 ? 0 : static_cast<uint64_t>(*n);
  }
  const uint64_t accessBytes = units * (access && base::EqualsNoCase(access->name, "AccessSector") ? ss : 1024);
  r.accessSize = accessBytes > UINT32_MAX ? 0 : static_cast<uint32_t>(accessBytes);
  if (!FillRecipe(interp, view, *disk, lba, rangeMB, limitValue, r)) return;

  Line(interp, view, "Wait for Make LBA Map ...", engine::colour::kGrey);
  // Beside the work folder, so that the map outlives it. Two maps made within one millisecond would
  // share a folder: the later one takes the next free millisecond.
  const platform::LocalTime t = interp.host().Now();
  std::string folder;
  for (int ms = t.millisecond; folder.empty() || platform::FolderExists(folder); ++ms)
    folder = platform::JoinPath(platform::FolderOf(interp.settings().workFolder),
                                base::Format("[LBAMap_%d%02d%02d-%02d%02d%02d-%03d]", t.year, t.month, t.day, t.hour,
                                             t.minute, t.second, ms));
  if (!interp.host().CreateFolders(folder)) return interp.ReportCompletion(view, code::kFileOpenFailed, folder);
  const std::string path = platform::JoinPath(folder, "LBAMap.map");
  LbaMap map;
  map.header = {r.start, r.rangeBytes, r.accessSize, 0};
  if (AddEntries(interp, view, r, map)) SaveMap(interp, view, path, map);
}

// Compare_MapAppend( LBAMap:"", RandRatio:100, LBA:0, RangeLenMB:1024, LimitTxSizeMB:1024, TrimRatio:0, FuaRatio:0,
// FlushRatio:0 ): more entries with the map's block size, and one header over both ranges, so that no
// entry falls outside the range the header names.
void CompareMapAppend(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args,
                       {"LBAMap", "RandRatio", "LBA", "RangeLenMB", "LimitTxSizeMB", "TrimRatio", "FuaRatio",
                        "FlushRatio"});
  const std::string file = in.Text("");
  MapRecipe r;
  r.randRatio = in.U32(100);
  const uint64_t lba = static_cast<uint64_t>(in.I64(0));
  const uint64_t rangeMB = in.U32(1024);
  const std::optional<engine::Value> limitValue = in.Any();
  r.trimRatio = in.U32(0);
  r.fuaRatio = in.U32(0);
  r.flushRatio = in.U32(0);
  if (!in.ok()) return;
  const disk::DiskEntry* disk = CompareTarget(interp, view, false);
  if (!disk) return;
  std::string path;
  std::optional<LbaMap> map = LoadMap(interp, view, file, *disk, path);
  if (!map) return;
  MapHeader& h = map->header;
  r.accessSize = h.accessSize;
  if (!FillRecipe(interp, view, *disk, lba, rangeMB, limitValue, r)) return;
  // Both ranges on one grid of blocks, the header spanning them.
  const uint64_t low = std::min(h.start, r.start);
  const uint64_t high = std::max(h.start + map->Blocks() * h.accessSize, r.start + r.rangeBytes / r.accessSize * r.accessSize);
  if ((std::max(h.start, r.start) - low) % h.accessSize != 0 || (high - low) / h.accessSize > kMaxMapBlocks)
    return interp.ReportCompletion(view, code::kBadParameter, "");
  Line(interp, view, "Wait for Make LBA Map ...", engine::colour::kGrey);
  if (!AddEntries(interp, view, r, *map)) return;
  h.start = low;
  h.rangeBytes = high - low;
  SaveMap(interp, view, path, *map);
}

// ---- Compare_MapWrite ----

struct WriteSlot {
  std::shared_ptr<platform::IoBuffer> buffer;
  uint64_t entry = 0;
  uint64_t block = 0;
  uint64_t issuedMs = 0;
  bool busy = false;
};

struct MapWriteJob {
  const LbaMap& map;
  uint32_t sectorSize = 512;
  uint32_t pattern = 0;
  uint32_t stepRun = 0, stepDelay = 0;
  const std::atomic<bool>* cancel = nullptr;
  DurabilityTracker* durability = nullptr;
  ProgressJournal* journal = nullptr;  // the record on disk, written ahead of every entry issued
};

struct MapWriteEnd {
  int32_t code = code::kSuccessTrue;
  uint64_t offset = 0;  // the failing request's
};

// Replays the map's entries in order through queue (depth = slots), keeping progress up to date. An
// entry whose block another slot is writing or trimming waits until that request has finished.
MapWriteEnd ReplayMap(const MapWriteJob& job, std::unique_ptr<platform::AsyncQueue> queue,
                      std::vector<WriteSlot>& slots, MapProgress& progress, platform::Host& host,
                      const std::function<void(uint64_t issued)>& tick, CoverageMap& coverage) {
  const LbaMap& map = job.map;
  const uint32_t ss = job.sectorSize, size = map.header.accessSize;
  std::vector<uint32_t> writes(map.Blocks(), 0);  // 32 bits: 65,536 writes of one block do not wrap
  std::unordered_set<uint64_t> held;
  uint32_t order = 0;
  uint64_t next = 0;
  MapWriteEnd end;
  const uint64_t startMs = host.MonotonicMs();
  uint64_t runFrom = startMs;
  auto giveUp = [&](int32_t failure, uint64_t offset) {
    end = {failure, offset};
    queue->CancelAll();
    auto keep = std::make_shared<std::vector<WriteSlot>>(slots);
    platform::DefaultReaper().Adopt(std::move(queue), keep);
    return end;
  };
  while (next < map.entries.size() || queue->InFlight() > 0) {
    const bool cancelled = job.cancel && job.cancel->load();
    if (cancelled && queue->InFlight() == 0) break;
    if (job.stepRun && job.stepDelay && host.MonotonicMs() - runFrom >= uint64_t{job.stepRun} * 1000 &&
        queue->InFlight() == 0) {
      for (uint32_t waited = 0; waited < job.stepDelay * 1000 && !(job.cancel && job.cancel->load());
           waited += kWaitSliceMs)
        host.SleepMs(kWaitSliceMs);
      runFrom = host.MonotonicMs();
    }
    // Issue while a slot is free and the next entry's block is not held.
    while (!cancelled && next < map.entries.size()) {
      const MapEntry& e = map.entries[next];
      const uint64_t block = e.kind == MapKind::kFlush ? UINT64_MAX : map.BlockOf(e);
      if (block != UINT64_MAX && held.contains(block)) break;
      auto free = std::find_if(slots.begin(), slots.end(), [](const WriteSlot& s) { return !s.busy; });
      if (free == slots.end()) break;
      const size_t s = static_cast<size_t>(free - slots.begin());
      if (job.journal && !job.journal->BeforeIssue(next, progress.durable, host.MonotonicMs()))
        return giveUp(code::kFileOpenFailed, e.offset);
      platform::IoRequest request;
      if (e.kind == MapKind::kFlush) {
        request = platform::IoRequest::Flush(s);
      } else if (e.kind == MapKind::kTrim) {
        request = platform::IoRequest::Trim(e.offset, size, s);
      } else {
        ++order;
        ++writes[block];
        disk::StampExtendedMarks(free->buffer->bytes(), e.offset / ss, ss, order, writes[block]);
        request = platform::IoRequest::Write(e.offset, free->buffer->bytes(), s, e.kind == MapKind::kFuaWrite);
        ++progress.writesIssued;
        coverage.Add(e.offset, size);
      }
      if (queue->Submit(request).status != platform::SubmitStatus::kOk)
        return giveUp(e.kind == MapKind::kWrite || e.kind == MapKind::kFuaWrite ? code::kWriteFailed
                                                                                 : code::kIoControlError,
                      e.offset);
      *free = {free->buffer, next, block, host.MonotonicMs(), true};
      if (block != UINT64_MAX) held.insert(block);
      if (job.durability) job.durability->Issued(next, e.kind);
      progress.slots[s] = {next, true};
      progress.issued = ++next;
    }
    platform::IoCompletion c;
    if (queue->Wait(std::span(&c, 1), kWaitSliceMs) == 1) {
      WriteSlot& slot = slots[c.tag];
      const MapEntry& e = map.entries[slot.entry];
      slot.busy = false;
      held.erase(slot.block);
      progress.slots[c.tag].inFlight = false;
      const bool write = e.kind == MapKind::kWrite || e.kind == MapKind::kFuaWrite;
      const uint64_t wanted = write || e.kind == MapKind::kTrim ? size : 0;
      if (c.status != platform::IoStatus::kOk || (write && c.bytes != wanted)) {
        if (c.status == platform::IoStatus::kCancelled && cancelled) continue;
        progress.slots[c.tag].inFlight = true;  // its outcome is unknown
        return giveUp(write ? code::kWriteFailed : code::kIoControlError, e.offset);
      }
      if (write) ++progress.completed;
      if (job.durability) {
        job.durability->Completed(slot.entry, e.kind);
        progress.durable = job.durability->DurablePrefix();
      }
    }
    const uint64_t now = host.MonotonicMs();
    for (const WriteSlot& s : slots)
      if (s.busy && now - s.issuedMs >= kRequestTimeoutMs)
        return giveUp(code::kIoResponseTimeout, map.entries[s.entry].offset);
    if (job.journal) job.journal->Tick(progress.durable, now);
    tick(next);
  }
  return end;
}

// The parameters Compare_MapWrite and Compare_MapWriteCompare share.
struct MapReplayArgs {
  std::string file;
  uint32_t qd = 32;
  std::optional<engine::Value> pattern;
  uint32_t stepRun = 0, stepDelay = 0;
};

// Binds them; nullopt when binding failed (reported) or QD is out of range (-2).
std::optional<MapReplayArgs> BindMapReplay(engine::Interpreter& interp, uint32_t view, std::string_view args) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"LBAMap", "QD", "WritePattern", "StepRun", "StepDelay"});
  MapReplayArgs a;
  a.file = in.Text("");
  a.qd = in.U32(32);
  a.pattern = in.Any();
  a.stepRun = in.U32(0);
  a.stepDelay = in.U32(0);
  if (!in.ok()) return std::nullopt;
  if (a.qd < 1 || a.qd > kMaxMapQueueDepth) {
    interp.ReportCompletion(view, code::kBadParameter, "");
    return std::nullopt;
  }
  return a;
}

void CompareMapWrite(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  const std::optional<MapReplayArgs> bound = BindMapReplay(interp, view, args);
  if (!bound) return;
  const std::string& file = bound->file;
  const uint32_t qd = bound->qd, stepRun = bound->stepRun, stepDelay = bound->stepDelay;
  const std::optional<uint32_t> pattern =
      FixedPattern(interp, view, bound->pattern, 0x55AA33CC, "Cannot support AUTO Pattern");
  if (!pattern) return;
  const disk::DiskEntry* disk = CompareTarget(interp, view);
  if (!disk) return;
  std::string path;
  MapIdentity identity;
  const std::optional<LbaMap> map = LoadMap(interp, view, file, *disk, path, &identity);
  if (!map) return;
  const uint32_t ss = disk->sectorSize;
  PrintMapHeader(interp, view, path, map->header, ss);
  Line(interp, view, base::Format("Write Pattern : 0x%08X", *pattern), engine::colour::kWhite);
  const std::string& logFolder = interp.view(view).logFolder;
  platform::CopyFileOver(path, platform::JoinPath(logFolder, platform::FileNameOf(path)));

  std::vector<WriteSlot> slots(qd);
  for (WriteSlot& s : slots) {
    s.buffer = platform::IoBuffer::Make(map->header.accessSize);
    if (!s.buffer) return interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
    uint32_t state = 0;
    disk::FillPattern(s.buffer->bytes(), *pattern, state);
  }
  std::unique_ptr<platform::AsyncQueue> queue =
      OpenPassQueue(interp, view, disk->devicePath, platform::OpenAccess::kReadWrite, qd);
  if (!queue) return;
  MapProgress& progress = MapProgressOf(interp, view);
  progress = MapProgress{};
  progress.recorded = true;
  progress.mapPath = path;
  progress.qd = qd;
  progress.pattern = *pattern;
  progress.slots.assign(qd, {});

  const std::string outputBase = engine::OutputBaseName(interp, view);
  CoverageMap coverage(map->header.start, map->header.rangeBytes, coverage::kMapWrite);
  coverage.Start();
  const uint64_t startMs = interp.host().MonotonicMs();
  uint64_t shownAt = startMs;
  uint32_t spinner = 0;
  auto tick = [&](uint64_t issued) {
    const uint64_t now = interp.host().MonotonicMs();
    if (now - shownAt < 1000) return;
    shownAt = now;
    interp.ui().ShowStatus(view, CompareStatusLine(SpinnerAt(spinner++), (now - startMs) / 1000, 0,
                                                   PercentOf(issued, map->entries.size())));
  };
  DurabilityTracker durability(map->entries.size(), WriteCacheOff(*disk::StateOf(interp).tree, *disk));
  // The record beside the copy decides; the one beside the map serves a later run (after a reboot,
  // with a log folder of its own) and is removed for good the first time it cannot be saved, since
  // a stale horizon there would call writes that happened ones that never did.
  const ProgressDisk recordDisk = ProgressDiskOf(*disk);
  const std::string recordPath = platform::JoinPath(logFolder, kProgressFileName);
  std::string besideMap = platform::JoinPath(platform::FolderOf(path), ProgressFileNameFor(recordDisk));
  if (platform::FolderOf(path) == logFolder) besideMap.clear();
  ProgressJournal journal(identity, recordDisk, map->entries.size(), [&](std::span<const uint8_t> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!platform::SaveFileAtomically(recordPath, text, true)) return false;
    if (!besideMap.empty() && !platform::SaveFileAtomically(besideMap, text, true)) {
      platform::RemoveFile(besideMap);
      besideMap.clear();
    }
    return true;
  });
  MapWriteJob job{*map, ss, *pattern, stepRun, stepDelay, &interp.CancelFlag(view), &durability, &journal};
  const MapWriteEnd end = ReplayMap(job, std::move(queue), slots, progress, interp.host(), tick, coverage);
  // A record left unsaved here still holds a horizon past every entry issued: only less is known.
  journal.Finish(progress.durable, progress.issued);
  interp.ui().ShowStatus(view, "");
  ShowCoverage(interp, view, coverage, outputBase);
  Line(interp, view, base::Format("Write Complete Counts   : %llu", static_cast<unsigned long long>(progress.completed)),
       engine::colour::kYellow);
  // Writes still without their completion: trims and flushes issued are no writes left undone.
  Line(interp, view,
       base::Format("Write Uncomplete Counts : %llu",
                    static_cast<unsigned long long>(progress.writesIssued - progress.completed)),
       engine::colour::kYellow);
  if (end.code < 0) FailWithLba(interp, view, end.code, end.offset / ss);
}

// ---- Compare_MapCompare ----

struct SectorCounts {
  uint64_t n[kSectorVerdicts] = {};  // by SectorVerdict
  void Add(const std::vector<SectorVerdict>& v) {
    for (SectorVerdict s : v) ++n[static_cast<size_t>(s)];
  }
  uint64_t operator[](SectorVerdict v) const { return n[static_cast<size_t>(v)]; }
  // Old data of either kind: what the "Old Data" line and column count.
  uint64_t Old() const { return (*this)[SectorVerdict::kOldData] + (*this)[SectorVerdict::kOldNotDurable]; }
};

// Sectors that need no second look: right, or old data that only entries not yet durable replaced.
bool Explained(SectorVerdict v) { return v == SectorVerdict::kCorrect || v == SectorVerdict::kOldNotDurable; }

std::string Bytes8(std::span<const uint8_t> sector, size_t at) {
  std::string out;
  for (size_t i = at; i < at + 8 && i < sector.size(); ++i) out += base::Format("%02X", sector[i]);
  return out;
}

std::string DetailRow(const std::string& lba, const std::vector<SectorVerdict>* verdicts, uint64_t errorLba,
                      const char* label, std::span<const uint8_t> sector) {
  SectorCounts c;
  if (verdicts) c.Add(*verdicts);
  auto shown = [&](uint64_t n) {
    return verdicts ? base::Format("%llu", static_cast<unsigned long long>(n)) : std::string();
  };
  auto count = [&](SectorVerdict v) { return shown(c[v]); };
  return base::Format("%-18s,%-8s,%-8s,%-8s,%-10s,%-9s,0x%012llX,%-9s,%-16s,%-16s,%-16s,%-16s\r\n", lba.c_str(),
                      count(SectorVerdict::kCorrect).c_str(), shown(c.Old()).c_str(),
                      count(SectorVerdict::kAllZero).c_str(), count(SectorVerdict::kMiscompare).c_str(),
                      count(SectorVerdict::kReadFail).c_str(), static_cast<unsigned long long>(errorLba), label,
                      Bytes8(sector, 0).c_str(), Bytes8(sector, 8).c_str(), Bytes8(sector, 16).c_str(),
                      Bytes8(sector, 24).c_str());
}

std::string DetailHeader(uint32_t accessSize) {
  return base::Format("%-18s,%-8s,%-8s,%-8s,%-10s,%-9s,%-14s,%-9s,%-16s,%-16s,%-16s,%-16s\r\n",
                      base::Format("Access LBA (%uKB)", accessSize / 1024).c_str(), "Correct", "Old Data", "All 0x00",
                      "Miscompare", "Read Fail", "Error LBA", "Data", "BYTE 0-7", "BYTE 8-15", "BYTE 16-23",
                      "BYTE 24-31");
}

struct BadBlock {
  uint64_t block = 0;
  std::vector<uint8_t> firstRead;  // empty when the read failed
  std::vector<SectorVerdict> verdicts;
};

void CompareMapCompare(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"LBAMap", "BasePattern", "WritePattern"});
  const std::string file = in.Text("");
  const std::optional<engine::Value> baseValue = in.Any();
  const std::optional<engine::Value> writeValue = in.Any();
  if (!in.ok()) return;
  const std::optional<uint32_t> basePattern =
      FixedPattern(interp, view, baseValue, 0, "Cannot support AUTO BasePattern");
  if (!basePattern) return;
  const std::optional<uint32_t> writePattern =
      FixedPattern(interp, view, writeValue, 0x55AA33CC, "Cannot support AUTO Pattern");
  if (!writePattern) return;
  const disk::DiskEntry* disk = CompareTarget(interp, view);
  if (!disk) return;
  std::string path;
  MapIdentity identity;
  const std::optional<LbaMap> map = LoadMap(interp, view, file, *disk, path, &identity);
  if (!map) return;
  const uint32_t ss = disk->sectorSize, size = map->header.accessSize;
  MapProgressOf(interp, view).comparedBase.reset();
  PrintMapHeader(interp, view, path, map->header, ss);
  Line(interp, view, base::Format("Write Pattern : 0x%08X", *writePattern), engine::colour::kWhite);
  Line(interp, view, base::Format("Base Pattern  : 0x%08X", *basePattern), engine::colour::kWhite);

  // What is known of the write: this view's record of it; else the record on disk beside the map
  // or its copy, whose entries past the durable ones, up to its horizon, may or may not have
  // happened (the host went down with them); else nothing, and the whole map counts as issued and
  // durable. Another map's record says nothing about this one.
  const MapProgress& progress = MapProgressOf(interp, view);
  const bool own = progress.recorded && progress.mapPath == path;
  std::vector<uint64_t> uncertain;
  uint64_t issued = map->entries.size();
  ReplayFacts facts;
  if (own) {
    for (const MapProgress::Slot& s : progress.slots)
      if (s.inFlight) uncertain.push_back(s.entry);
    issued = progress.issued;
    facts.durable = progress.durable;
  } else if (const std::optional<ProgressRecord> record = FindProgressRecord(
                 {platform::FolderOf(path), interp.view(view).logFolder}, identity, ProgressDiskOf(*disk))) {
    issued = record->horizon;
    facts.durable = facts.uncertainFrom = record->durable;
  }
  const MapReplay replay(*map, issued, uncertain, facts);
  if (own) MapProgressOf(interp, view).comparedBase = *basePattern;
  const BlockJudge judge{ss, *writePattern, *basePattern, ReadTrimPromise(*disk::StateOf(interp).tree, *disk)};

  const uint32_t depth = static_cast<uint32_t>(std::min<uint64_t>(kCompareReads, map->Blocks()));
  std::vector<std::shared_ptr<platform::IoBuffer>> buffers = MakePassBuffers(depth, size);
  if (buffers.empty()) return interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
  std::vector<uint8_t> expected(size);
  auto expect = [&](uint64_t block, std::span<uint8_t> out) {
    const BlockState& b = replay.Block(block);
    const uint64_t lba = (map->header.start + block * size) / ss;
    if (b.trimmedLast)
      std::fill(out.begin(), out.end(), judge.trimReads == TrimPromise::kOnes ? 0xFF : 0);
    else
      BuildBlock(judge, lba, b.lastOrder, b.writes, out);
  };
  SectorCounts counts;
  std::vector<BadBlock> bad;
  const std::atomic<bool>& cancel = interp.CancelFlag(view);
  const uint64_t first = map->header.start, last = first + map->Blocks() * size;
  CoverageMap coverage(first, last - first, coverage::kMapCompare);
  coverage.Start();
  uint64_t from = first;
  uint32_t shown = 101;
  while (from < last && !cancel.load()) {
    std::unique_ptr<platform::AsyncQueue> queue =
        OpenPassQueue(interp, view, disk->devicePath, platform::OpenAccess::kRead, depth);
    if (!queue) return;
    SequentialPass pass(interp.host(), buffers, &cancel);
    const PassResult result =
        pass.Run(std::move(queue), PassPlan{platform::IoOp::kRead, {from, last}, size}, nullptr,
                 [&](std::span<const uint8_t> data, uint64_t offset) {
                   const uint64_t block = (offset - first) / size;
                   expect(block, expected);
                   coverage.Add(offset, size);
                   const uint32_t percent = PercentOf(offset + size - first, last - first);
                   if (percent != shown) {
                     shown = percent;
                     interp.ui().ShowStatus(view, base::Format("Compare LBA Map : %u%%", percent));
                   }
                   if (std::memcmp(data.data(), expected.data(), size) == 0) return true;
                   std::vector<SectorVerdict> v = JudgeBlock(judge, replay, block, offset / ss, expected, data);
                   counts.Add(v);
                   if (std::all_of(v.begin(), v.end(), Explained)) return true;
                   if (bad.size() < kMaxDetailBlocks) bad.push_back({block, {data.begin(), data.end()}, std::move(v)});
                   return true;
                 });
    if (result.end == PassEnd::kTimedOut) {
      interp.ui().ShowStatus(view, "");
      return FailWithLba(interp, view, code::kIoResponseTimeout, result.offset / ss);
    }
    if (result.end != PassEnd::kFailed) break;
    // A block that does not read counts every sector as a read failure; the compare goes on after it.
    const uint64_t block = (result.offset - first) / size;
    std::vector<SectorVerdict> v(size / ss, SectorVerdict::kReadFail);
    counts.Add(v);
    if (bad.size() < kMaxDetailBlocks) bad.push_back({block, {}, std::move(v)});
    from = first + (block + 1) * size;
  }
  interp.ui().ShowStatus(view, "");
  ShowCoverage(interp, view, coverage, engine::OutputBaseName(interp, view));

  // The detail table: the expected block, the first and a second read of every block not explained.
  std::string csv;
  for (const BadBlock& b : bad) {
    if (csv.empty()) csv = DetailHeader(size);
    const uint64_t offset = first + b.block * size;
    expect(b.block, expected);
    std::vector<uint8_t> second;
    std::unique_ptr<platform::AsyncQueue> queue =
        OpenPassQueue(interp, view, disk->devicePath, platform::OpenAccess::kRead, 1);
    if (queue) {
      SequentialPass again(interp.host(), {buffers[0]}, nullptr);
      again.Run(std::move(queue), PassPlan{platform::IoOp::kRead, {offset, offset + size}, size}, nullptr,
                [&](std::span<const uint8_t> data, uint64_t) {
                  second.assign(data.begin(), data.end());
                  return true;
                });
    }
    const std::span<const uint8_t> shownRead = b.firstRead.empty() ? std::span<const uint8_t>(expected) : b.firstRead;
    const size_t sector = FirstDifferingSector(shownRead, expected, ss).value_or(0);
    auto sectorOf = [&](std::span<const uint8_t> block) {
      return block.size() >= (sector + 1) * ss ? block.subspan(sector * ss, ss) : std::span<const uint8_t>();
    };
    const uint64_t errorLba = offset / ss + sector;
    const std::string lba = base::Format("0x%012llX", static_cast<unsigned long long>(offset / ss));
    csv += DetailRow(lba, nullptr, errorLba, "Expected", sectorOf(expected));
    csv += DetailRow("", &b.verdicts, errorLba, b.firstRead.empty() ? "Read Fail" : "Read 1", sectorOf(b.firstRead));
    if (second.empty()) {
      csv += DetailRow("", nullptr, errorLba, "Read Fail", {});
    } else {
      const std::vector<SectorVerdict> v2 = JudgeBlock(judge, replay, b.block, offset / ss, expected, second);
      csv += DetailRow("", &v2, errorLba, "Read 2", sectorOf(second));
    }
    csv += std::string(180, '-') + "\r\n";
  }

  const uint64_t allZero = counts[SectorVerdict::kAllZero];
  const uint64_t lateOld = counts[SectorVerdict::kOldData];
  const uint64_t mis = counts[SectorVerdict::kMiscompare];
  const uint64_t fail = counts[SectorVerdict::kReadFail];
  auto u = [](uint64_t v) { return static_cast<unsigned long long>(v); };
  Line(interp, view, base::Format("Miscompare - All 0x00 Sectors    : %llu", u(allZero)), engine::colour::kYellow);
  Line(interp, view, base::Format("Miscompare - As Old Data Sectors : %llu", u(counts.Old())), engine::colour::kYellow);
  // The old data split: what a power cut may leave of entries not yet durable, and what a flush,
  // a FUA write or a write cache that is off had made durable.
  Line(interp, view,
       base::Format("Old Data Not Yet Durable Sectors : %llu", u(counts[SectorVerdict::kOldNotDurable])),
       engine::colour::kYellow);
  Line(interp, view, base::Format("Old Data After Flush/FUA Sectors : %llu", u(lateOld)), engine::colour::kYellow);
  Line(interp, view, base::Format("Miscompare - Miscompare Sectors  : %llu", u(mis)), engine::colour::kYellow);
  Line(interp, view, base::Format("Read IO Fail Sectors             : %llu", u(fail)), engine::colour::kYellow);
  const uint64_t total = allZero + lateOld + mis + fail;
  Line(interp, view, base::Format("Total Error Sectors              : %llu", u(total)), kTotalColour);
  if (total > 0) {
    const std::string csvPath = engine::OutputBaseName(interp, view) + ".csv";
    platform::SaveFileAtomically(csvPath, csv);
    Line(interp, view, "Detail Data for each error commands.", engine::colour::kOrange);
    interp.writer().WriteDataFile(interp.output(view), engine::colour::kOrange, csvPath, true);
  }
}

// ---- Compare_MapWriteCompare ----

constexpr uint32_t kSecondReadDelayMs = 1000;

struct CheckSlot {
  std::shared_ptr<platform::IoBuffer> written, read;
  uint64_t entry = 0;
  uint64_t block = UINT64_MAX;
  uint64_t issuedMs = 0;
  enum class Phase { kFree, kDoing, kReading } phase = Phase::kFree;
};

// Replays a map and reads every block back once its write or trim has completed: a write must read
// as written, a trim as the drive promised (all 0x00 or all 0xFF without a promise). The block stays
// held until its read-back ends, so no other entry touches it in between. The first difference
// stops the replay and is read once more a second later: -70 when that read is right, -71 when not.
void CompareMapWriteCompare(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  const std::optional<MapReplayArgs> bound = BindMapReplay(interp, view, args);
  if (!bound) return;
  const std::string& file = bound->file;
  const uint32_t qd = bound->qd, stepRun = bound->stepRun, stepDelay = bound->stepDelay;
  const std::optional<uint32_t> chosen = bound->pattern ? disk::PatternValue(*bound->pattern) : disk::kAutoPattern;
  if (!chosen) return interp.ReportCompletion(view, code::kBadParameter, "");
  const disk::DiskEntry* disk = CompareTarget(interp, view);
  if (!disk) return;
  std::string path;
  const std::optional<LbaMap> map = LoadMap(interp, view, file, *disk, path);
  if (!map) return;
  const uint32_t ss = disk->sectorSize, size = map->header.accessSize;
  std::vector<CheckSlot> slots(qd);
  uint32_t pattern = *chosen;
  for (CheckSlot& s : slots) {
    s.written = platform::IoBuffer::Make(size);
    s.read = platform::IoBuffer::Make(size);
    if (!s.written || !s.read) return interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
  }
  // "AUTO": one value drawn for the whole command.
  pattern = disk::FillPattern(slots[0].written->bytes(), pattern);
  for (CheckSlot& s : slots) {
    uint32_t state = 0;
    disk::FillPattern(s.written->bytes(), pattern, state);
  }
  PrintMapHeader(interp, view, path, map->header, ss);
  Line(interp, view, base::Format("Pattern       : 0x%08X", pattern), engine::colour::kWhite);
  const TrimPromise trimReads = ReadTrimPromise(*disk::StateOf(interp).tree, *disk);
  std::unique_ptr<platform::AsyncQueue> queue =
      OpenPassQueue(interp, view, disk->devicePath, platform::OpenAccess::kReadWrite, qd);
  if (!queue) return;

  CompareReport report;
  report.outputBase = engine::OutputBaseName(interp, view);
  report.accessSize = size;
  report.cycle = 1;
  const std::atomic<bool>& cancel = interp.CancelFlag(view);
  std::unordered_set<uint64_t> held;
  uint32_t order = 0, spinner = 0;
  uint64_t next = 0, failOffset = 0;
  const uint64_t startMs = interp.host().MonotonicMs();
  uint64_t shownAt = startMs, runFrom = startMs;
  std::optional<size_t> bad;  // the slot whose read-back differed
  auto giveUp = [&](int32_t failure, uint64_t offset) {
    report.code = failure;
    failOffset = offset;
    queue->CancelAll();
    platform::DefaultReaper().Adopt(std::move(queue), std::make_shared<std::vector<CheckSlot>>(slots));
  };
  auto isWrite = [](const MapEntry& e) { return e.kind == MapKind::kWrite || e.kind == MapKind::kFuaWrite; };
  while (queue && (next < map->entries.size() || queue->InFlight() > 0)) {
    const bool stop = cancel.load() || bad.has_value();
    if (stop && queue->InFlight() == 0) break;
    if (stepRun && stepDelay && interp.host().MonotonicMs() - runFrom >= uint64_t{stepRun} * 1000 &&
        queue->InFlight() == 0) {
      for (uint32_t waited = 0; waited < stepDelay * 1000 && !cancel.load(); waited += kWaitSliceMs)
        interp.host().SleepMs(kWaitSliceMs);
      runFrom = interp.host().MonotonicMs();
    }
    while (!stop && next < map->entries.size()) {
      const MapEntry& e = map->entries[next];
      const uint64_t block = e.kind == MapKind::kFlush ? UINT64_MAX : map->BlockOf(e);
      if (block != UINT64_MAX && held.contains(block)) break;
      auto free = std::find_if(slots.begin(), slots.end(), [](const CheckSlot& s) { return s.phase == CheckSlot::Phase::kFree; });
      if (free == slots.end()) break;
      const size_t s = static_cast<size_t>(free - slots.begin());
      platform::IoRequest request = platform::IoRequest::Flush(s);
      if (e.kind == MapKind::kTrim) request = platform::IoRequest::Trim(e.offset, size, s);
      if (isWrite(e)) {
        disk::StampExtendedMarks(free->written->bytes(), e.offset / ss, ss, ++order, 0);
        request = platform::IoRequest::Write(e.offset, free->written->bytes(), s, e.kind == MapKind::kFuaWrite);
      }
      if (queue->Submit(request).status != platform::SubmitStatus::kOk) {
        giveUp(isWrite(e) ? code::kWriteFailed : code::kIoControlError, e.offset);
        break;
      }
      free->entry = next++;
      free->block = block;
      free->issuedMs = interp.host().MonotonicMs();
      free->phase = CheckSlot::Phase::kDoing;
      if (block != UINT64_MAX) held.insert(block);
    }
    if (!queue) break;
    platform::IoCompletion c;
    if (queue->Wait(std::span(&c, 1), kWaitSliceMs) == 1) {
      CheckSlot& slot = slots[c.tag];
      const MapEntry& e = map->entries[slot.entry];
      const bool ok = c.status == platform::IoStatus::kOk && (e.kind == MapKind::kFlush || c.bytes == size);
      if (!ok && c.status == platform::IoStatus::kCancelled && cancel.load()) {
        slot.phase = CheckSlot::Phase::kFree;
        held.erase(slot.block);
        continue;
      }
      if (!ok) {
        const bool reading = slot.phase == CheckSlot::Phase::kReading;
        giveUp(reading ? code::kReadFailed : isWrite(e) ? code::kWriteFailed : code::kIoControlError, e.offset);
        break;
      }
      if (slot.phase == CheckSlot::Phase::kDoing && e.kind != MapKind::kFlush && !stop) {
        slot.phase = CheckSlot::Phase::kReading;
        slot.issuedMs = interp.host().MonotonicMs();
        std::memset(slot.read->data(), 0, size);
        if (queue->Submit(platform::IoRequest::Read(e.offset, slot.read->bytes(), c.tag)).status !=
            platform::SubmitStatus::kOk) {
          giveUp(code::kReadFailed, e.offset);
          break;
        }
      } else {
        if (slot.phase == CheckSlot::Phase::kReading && !bad) {
          const bool right = isWrite(e) ? std::memcmp(slot.read->data(), slot.written->data(), size) == 0
                                        : ReadsAsTrimmed(trimReads, slot.read->bytes());
          if (!right) bad = c.tag;
        }
        if (!bad || *bad != c.tag) {
          slot.phase = CheckSlot::Phase::kFree;
          held.erase(slot.block);
        }
      }
    }
    const uint64_t now = interp.host().MonotonicMs();
    for (const CheckSlot& s : slots)
      if (s.phase != CheckSlot::Phase::kFree && (!bad || &s != &slots[*bad]) && now - s.issuedMs >= kRequestTimeoutMs) {
        giveUp(code::kIoResponseTimeout, map->entries[s.entry].offset);
        break;
      }
    if (now - shownAt >= 1000) {
      shownAt = now;
      interp.ui().ShowStatus(view, CompareStatusLine(SpinnerAt(spinner++), (now - startMs) / 1000, 0,
                                                     PercentOf(next, map->entries.size())));
    }
  }
  interp.ui().ShowStatus(view, "");
  report.percent = PercentOf(next, map->entries.size());
  if (bad && report.code == code::kSuccessTrue) {
    CheckSlot& slot = slots[*bad];
    const MapEntry& e = map->entries[slot.entry];
    std::vector<uint8_t> expected(slot.written->data(), slot.written->data() + size);
    if (!isWrite(e)) std::fill(expected.begin(), expected.end(), trimReads == TrimPromise::kOnes ? 0xFF : 0);
    const std::vector<uint8_t> first(slot.read->data(), slot.read->data() + size);
    interp.host().SleepMs(kSecondReadDelayMs);
    std::memset(slot.read->data(), 0, size);
    bool again = false;
    if (queue && queue->Submit(platform::IoRequest::Read(e.offset, slot.read->bytes(), 0)).status ==
                     platform::SubmitStatus::kOk) {
      platform::IoCompletion c;
      again = queue->Wait(std::span(&c, 1), kRequestTimeoutMs) == 1 && c.status == platform::IoStatus::kOk;
    }
    const std::span<const uint8_t> second(slot.read->data(), size);
    const bool secondRight = again && (isWrite(e) ? std::memcmp(second.data(), expected.data(), size) == 0
                                                  : ReadsAsTrimmed(trimReads, second));
    const size_t sector = FirstDifferingSector(first, expected, ss).value_or(0);
    platform::WriteWholeFile(DumpName(report.outputBase, DumpKind::Expected), SectorOf(expected, sector, ss));
    platform::WriteWholeFile(DumpName(report.outputBase, DumpKind::FirstRead), SectorOf(first, sector, ss));
    platform::WriteWholeFile(DumpName(report.outputBase, DumpKind::SecondRead), SectorOf(second, sector, ss));
    report.code = secondRight ? code::kMiscompareThenCorrect : code::kMiscompareTwice;
    report.actionLba = e.offset / ss;
    report.errorLba = report.actionLba + sector;
    failOffset = e.offset;
  }
  if (report.code < 0 && !bad) report.actionLba = failOffset / ss;
  FinishCompare(interp, view, report, failOffset / ss);
}

// ---- Compare_MapRecoverBasePattern ----

constexpr uint32_t kRecoverDepth = 32;

// Puts the base pattern with LBA marks back on every block an issued entry of the last written map
// names (flushes have none), 32 requests in flight.
void CompareMapRecoverBasePattern(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  const MapProgress& progress = MapProgressOf(interp, view);
  if (!progress.recorded || !progress.comparedBase) {
    Line(interp, view, "Need Call Compare_MapWrite and Comapre_MapCompare beforce this command", engine::colour::kCyan);
    return;
  }
  if (progress.issued == 0) {
    Line(interp, view, "No Data Need Recover", engine::colour::kWhite);
    return;
  }
  const disk::DiskEntry* disk = CompareTarget(interp, view);
  if (!disk) return;
  std::string path;
  const std::optional<LbaMap> map = LoadMap(interp, view, progress.mapPath, *disk, path);
  if (!map) return;
  const uint32_t ss = disk->sectorSize, size = map->header.accessSize, base = *progress.comparedBase;
  PrintMapHeader(interp, view, path, map->header, ss);
  Line(interp, view, base::Format("Base Pattern  : 0x%08X", base), engine::colour::kWhite);
  std::vector<uint64_t> offsets;
  for (uint64_t i = 0; i < std::min<uint64_t>(progress.issued, map->entries.size()); ++i)
    if (map->entries[i].kind != MapKind::kFlush) offsets.push_back(map->entries[i].offset);
  std::sort(offsets.begin(), offsets.end());
  offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
  std::vector<std::shared_ptr<platform::IoBuffer>> buffers = MakePassBuffers(kRecoverDepth, size);
  if (buffers.empty()) return interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
  for (auto& b : buffers) {
    uint32_t state = 0;
    disk::FillPattern(b->bytes(), base, state);
  }
  std::unique_ptr<platform::AsyncQueue> queue =
      OpenPassQueue(interp, view, disk->devicePath, platform::OpenAccess::kReadWrite, kRecoverDepth);
  if (!queue) return;
  const std::atomic<bool>& cancel = interp.CancelFlag(view);
  std::vector<uint64_t> slotOffset(kRecoverDepth), slotIssued(kRecoverDepth);
  std::vector<bool> busy(kRecoverDepth, false);
  size_t next = 0, done = 0;
  uint32_t shown = 101;
  auto fail = [&](int32_t failure, uint64_t offset) {
    queue->CancelAll();
    platform::DefaultReaper().Adopt(std::move(queue),
                                    std::make_shared<std::vector<std::shared_ptr<platform::IoBuffer>>>(buffers));
    interp.ui().ShowStatus(view, "");
    FailWithLba(interp, view, failure, offset / ss);
  };
  while (done < offsets.size() && !(cancel.load() && queue->InFlight() == 0)) {
    for (uint32_t s = 0; s < kRecoverDepth && next < offsets.size() && !cancel.load(); ++s) {
      if (busy[s]) continue;
      disk::StampShortMarks(buffers[s]->bytes(), offsets[next] / ss, ss);
      if (queue->Submit(platform::IoRequest::Write(offsets[next], buffers[s]->bytes(), s)).status !=
          platform::SubmitStatus::kOk)
        return fail(code::kWriteFailed, offsets[next]);
      busy[s] = true;
      slotOffset[s] = offsets[next++];
      slotIssued[s] = interp.host().MonotonicMs();
    }
    platform::IoCompletion c;
    if (queue->Wait(std::span(&c, 1), kWaitSliceMs) == 1) {
      busy[c.tag] = false;
      if (c.status != platform::IoStatus::kOk || c.bytes != size) {
        if (c.status == platform::IoStatus::kCancelled && cancel.load()) continue;
        return fail(code::kWriteFailed, slotOffset[c.tag]);
      }
      ++done;
      const uint32_t percent = PercentOf(done, offsets.size());
      if (percent != shown) {
        shown = percent;
        interp.ui().ShowStatus(view, base::Format("Recover By Base Pattern : %u%%", percent));
      }
    }
    const uint64_t now = interp.host().MonotonicMs();
    for (uint32_t s = 0; s < kRecoverDepth; ++s)
      if (busy[s] && now - slotIssued[s] >= kRequestTimeoutMs) return fail(code::kIoResponseTimeout, slotOffset[s]);
  }
  interp.ui().ShowStatus(view, "");
}

constexpr engine::HandlerRow kHandlers[] = {
    {"Compare_MapMake", engine::kAnyDisk, CompareMapMake},
    {"Compare_MapWrite", engine::kAnyDisk, CompareMapWrite},
    {"Compare_MapCompare", engine::kAnyDisk, CompareMapCompare},
    {"Compare_MapAppend", engine::kAnyDisk, CompareMapAppend},
    {"Compare_MapRecoverBasePattern", engine::kAnyDisk, CompareMapRecoverBasePattern},
    {"Compare_MapWriteCompare", engine::kAnyDisk, CompareMapWriteCompare},
};

}  // namespace

MapProgress& MapProgressOf(engine::Interpreter& interp, uint32_t view) {
  return interp.State<MapViews>().views.at(view);
}

std::vector<engine::HandlerRow> RegisterLbaMapCommands(engine::Interpreter& interp) {
  interp.State<MapViews>();
  return interp.Register({kHandlers});
}

}  // namespace kestrune::workloads
