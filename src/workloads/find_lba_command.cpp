// FindLBA_ByPattern( StartLBA:0x00, FindPattern:0x55AAFF00 ): reads the current disk's device path
// from StartLBA to its end, 1 MiB per request with a few requests in flight, and lists every sector
// that holds the search string, each with a dump of its own; the reads are drawn on a coverage map.
#include <optional>
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "disk/disk_state.h"
#include "disk/dump_file.h"
#include "disk/sector_session.h"
#include "engine/arguments.h"
#include "engine/interpreter.h"
#include "engine/output_base.h"
#include "engine/ui.h"
#include "engine/view.h"
#include "workloads/coverage_layout.h"
#include "workloads/coverage_map.h"
#include "workloads/pattern_dumps.h"
#include "workloads/pattern_handlers.h"
#include "workloads/pattern_pass.h"
#include "workloads/pattern_search.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;

constexpr uint32_t kDefaultFindPattern = 0x55AAFF00;

// Lists the hits of the reads handed to it, in LBA order, and stops the view after the last one
// allowed.
class HitList {
 public:
  HitList(engine::Interpreter& interp, uint32_t view, std::string baseName, std::vector<uint8_t> needle,
          uint32_t sectorSize)
      : interp_(interp),
        view_(view),
        base_(std::move(baseName)),
        needle_(std::move(needle)),
        sectorSize_(sectorSize) {}

  // The hits in data read at offset. False when a dump could not be written (reported).
  bool Add(std::span<const uint8_t> data, uint64_t offset) {
    if (count_ >= kMaxFoundSectors) return true;
    for (uint32_t index : SectorsHolding(data, sectorSize_, needle_)) {
      const uint64_t lba = offset / sectorSize_ + index;
      interp_.writer().WriteLine(interp_.output(view_), FoundLbaLine(count_, lba), engine::kDetail, 10,
                                 kFoundLineColour);
      if (!disk::SaveDump(interp_, view_, FoundDumpName(base_, lba), SectorOf(data, index, sectorSize_),
                          disk::kReadDumpColour)) {
        dumpFailed_ = true;
        return false;
      }
      if (++count_ == kMaxFoundSectors) {
        interp_.CancelFlag(view_).store(true);
        interp_.writer().WriteLine(interp_.output(view_), kTooManyFoundLine, engine::kDetail, 10,
                                   kTooManyFoundColour);
        break;
      }
    }
    return true;
  }

  bool dumpFailed() const { return dumpFailed_; }

 private:
  engine::Interpreter& interp_;
  uint32_t view_;
  std::string base_;
  std::vector<uint8_t> needle_;
  uint32_t sectorSize_;
  uint32_t count_ = 0;
  bool dumpFailed_ = false;
};

}  // namespace

void FindLbaByPattern(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"StartLBA", "FindPattern"});
  const uint64_t startLba = static_cast<uint64_t>(in.I64(0));
  const uint64_t findPattern = static_cast<uint64_t>(in.I64(kDefaultFindPattern));
  if (!in.ok()) return;

  disk::DiskState& state = disk::StateOf(interp);
  if (!disk::HasTarget(state)) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  const disk::DiskEntry& disk = state.current;
  const std::vector<uint8_t> needle = SearchString(findPattern);
  interp.writer().WriteLine(interp.output(view), SearchByteListLine(needle), engine::kDetail, 10,
                            engine::colour::kWhite);
  const uint32_t sectorSize = disk.sectorSize;
  // The whole of what the device path reaches: for a volume that is its size, not its free bytes.
  const uint64_t extent = disk::ExtentOf(state, disk, disk.devicePath).value_or(disk.usableBytes);
  std::optional<ByteRange> range = ToDiskEnd(startLba, sectorSize, extent);
  if (!range) return interp.ReportCompletion(view, code::kBadParameter, "");

  std::vector<std::shared_ptr<platform::IoBuffer>> buffers =
      MakePassBuffers(kPatternQueueDepth, kSearchReadBytes);
  if (buffers.empty()) return interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
  std::unique_ptr<platform::AsyncQueue> queue =
      OpenPassQueue(interp, view, disk.devicePath, platform::OpenAccess::kRead, kPatternQueueDepth);
  if (!queue) return;
  range = WithinQueue(*range, queue->facts());
  if (!range) return interp.ReportCompletion(view, code::kBadParameter, "");

  const std::string baseName = engine::OutputBaseName(interp, view);
  CoverageMap coverage(range->first, range->size(), coverage::kPatternSearch);
  coverage.Start();
  HitList hits(interp, view, baseName, needle, sectorSize);
  PercentTracker percent(*range);
  engine::Ui& ui = interp.ui();
  const SequentialPass::Done done = [&](std::span<const uint8_t> data, uint64_t offset) {
    coverage.Add(offset, data.size());
    if (!hits.Add(data, offset)) return false;
    if (percent.Advance(offset + data.size())) ui.ShowStatus(view, SearchProgressText(percent.percent()));
    return true;
  };
  SequentialPass pass(interp.host(), std::move(buffers), &interp.CancelFlag(view));
  const PassResult result =
      pass.Run(std::move(queue), PassPlan{platform::IoOp::kRead, *range, kSearchReadBytes}, {}, done);
  ui.ShowStatus(view, "");

  coverage.Finish();
  const std::string pngPath = baseName + ".png";
  if (coverage.Save(pngPath))
    interp.writer().WriteLine(interp.output(view), pngPath, engine::kDetail, kCoverageHeight,
                              engine::colour::kLightBlue, engine::kPicture);
  if (hits.dumpFailed()) return;  // SaveDump has reported it
  if (result.end == PassEnd::kCancelled)
    interp.writer().WriteLine(interp.output(view), CancelLbaLine(result.offset / sectorSize), engine::kDetail,
                              10, kSearchCancelColour);
  ReportPassFailure(interp, view, result, code::kReadFailed, sectorSize);
}

}  // namespace kestrune::workloads
