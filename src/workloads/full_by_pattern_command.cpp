// FullByPattern( LBA:0, RangeMB:1024, Pattern:0x00000000, MarkSectorHeader:TRUE ): writes the
// pattern over a range of the current disk (RAW mode only), 128 KiB per request with a few requests
// in flight, each sector stamped with its LBA when MarkSectorHeader is TRUE.
#include <cstring>
#include <optional>
#include <string>

#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/disk_state.h"
#include "disk/pattern_fill.h"
#include "disk/sector_session.h"
#include "disk/target_mode.h"
#include "engine/arguments.h"
#include "engine/expression.h"
#include "engine/interpreter.h"
#include "engine/literals.h"
#include "engine/view.h"
#include "workloads/fill_by_pattern.h"
#include "workloads/pattern_handlers.h"
#include "workloads/pattern_pass.h"
#include "workloads/progress_line.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;

constexpr uint64_t kDefaultRangeMiB = 1024;

struct FillRequest {
  uint64_t lba = 0;
  uint64_t range = kDefaultRangeMiB;
  bool rangeInMiB = true;  // the range parameter is named RangeMB (or left out)
  std::optional<engine::Value> pattern;
  bool mark = true;
};

// Binds the parameters; false when one does not convert (reported as -2 for the range, by the
// reader for the others).
bool ReadRequest(engine::Interpreter& interp, uint32_t view, std::string_view args, FillRequest& r) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  engine::ArgReader in(v.vars, errors, args, {"LBA", "RangeMB", "Pattern", "MarkSectorHeader"});
  r.lba = static_cast<uint64_t>(in.I64(0));
  // The range's unit is its parameter's name, so it is bound as a pair.
  const std::optional<engine::Pair> range = in.Raw();
  r.pattern = in.Any();
  r.mark = in.Bool(true);
  if (!in.ok()) return false;
  if (!range || range->value.empty()) return true;
  r.rangeInMiB = base::EqualsNoCase(range->name, "RangeMB");
  const std::optional<int64_t> n = engine::ToInt64(engine::ReadValue(v.vars, errors, range->value));
  if (!n || *n < 0) {
    interp.ReportCompletion(view, code::kBadParameter, "");
    return false;
  }
  r.range = static_cast<uint64_t>(*n);
  return true;
}

}  // namespace

void FullByPattern(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  FillRequest request;
  if (!ReadRequest(interp, view, args, request)) return;

  disk::DiskState& state = disk::StateOf(interp);
  if (!disk::HasTarget(state)) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  const disk::DiskEntry& disk = state.current;
  if (int32_t guard = disk::RequireRaw(disk)) return interp.ReportCompletion(view, guard, "");
  // A RAW disk can still be the one the system runs from (a file system on the whole disk, swap).
  if (int32_t guard = disk::RequireNotSystemDisk(disk)) return interp.ReportCompletion(view, guard, "");
  const std::optional<uint32_t> pattern = request.pattern ? disk::PatternValue(*request.pattern) : 0u;
  const uint32_t sectorSize = disk.sectorSize;
  const uint64_t extent = disk::ExtentOf(state, disk, disk.devicePath).value_or(disk.usableBytes);
  std::optional<ByteRange> range =
      FillRange(request.lba, request.range, request.rangeInMiB, sectorSize, extent);
  if (!pattern || !range) return interp.ReportCompletion(view, code::kBadParameter, "");

  std::vector<std::shared_ptr<platform::IoBuffer>> buffers =
      MakePassBuffers(kPatternQueueDepth, kFillRequestBytes);
  if (buffers.empty()) return interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");
  std::unique_ptr<platform::AsyncQueue> queue =
      OpenPassQueue(interp, view, disk.devicePath, platform::OpenAccess::kReadWrite, kPatternQueueDepth);
  if (!queue) return;
  range = WithinQueue(*range, queue->facts());
  if (!range) return interp.ReportCompletion(view, code::kBadParameter, "");

  // One fill (one "AUTO" draw) for the whole command; every request buffer carries the same bytes.
  const uint32_t used = disk::FillPattern(buffers[0]->bytes(), *pattern);
  for (size_t i = 1; i < buffers.size(); ++i)
    std::memcpy(buffers[i]->data(), buffers[0]->data(), kFillRequestBytes);
  interp.writer().WriteLine(interp.output(view), PatternLine(used), engine::kDetail, 10, kPatternLineColour);
  ProgressLine progress(interp, view, kFillProgressColour);
  progress.Show(FillProgressLine(0));

  PercentTracker percent(*range);
  SequentialPass::Prepare mark;
  if (request.mark)
    mark = [sectorSize](std::span<uint8_t> data, uint64_t offset) {
      MarkFillRequest(data, offset, sectorSize);
    };
  const SequentialPass::Done done = [&](std::span<const uint8_t> data, uint64_t offset) {
    if (percent.Advance(offset + data.size())) progress.Show(FillProgressLine(percent.percent()));
    return true;
  };
  SequentialPass pass(interp.host(), std::move(buffers), &interp.CancelFlag(view));
  const PassResult result =
      pass.Run(std::move(queue), PassPlan{platform::IoOp::kWrite, *range, kFillRequestBytes}, mark, done);
  ReportPassFailure(interp, view, result, code::kWriteFailed, sectorSize);
}

}  // namespace kestrune::workloads
