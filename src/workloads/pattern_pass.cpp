#include "workloads/pattern_pass.h"

#include <algorithm>

#include "base/completion_codes.h"
#include "disk/disk_state.h"
#include "engine/interpreter.h"
#include "engine/output.h"
#include "workloads/lba_lines.h"

namespace kestrune::workloads {

namespace code = base::code;

std::vector<std::shared_ptr<platform::IoBuffer>> MakePassBuffers(size_t count, size_t bytes) {
  std::vector<std::shared_ptr<platform::IoBuffer>> buffers;
  for (size_t i = 0; i < count; ++i) {
    std::shared_ptr<platform::IoBuffer> b = platform::IoBuffer::Make(bytes);
    if (!b) return {};
    buffers.push_back(std::move(b));
  }
  return buffers;
}

std::unique_ptr<platform::AsyncQueue> OpenPassQueue(engine::Interpreter& interp, uint32_t view,
                                                    const std::string& path, platform::OpenAccess access,
                                                    uint32_t depth) {
  disk::DiskState& state = disk::StateOf(interp);
  platform::QueueOptions options;
  options.depth = depth;
  options.access = access;
  std::string why;
  std::unique_ptr<platform::AsyncQueue> queue =
      state.tree != nullptr ? state.tree->OpenQueue(path, options, interp.host(), why) : nullptr;
  if (!queue) interp.ReportCompletion(view, code::kOpenDiskFailed, why);
  return queue;
}

std::optional<ByteRange> WithinQueue(const ByteRange& range, const platform::QueueFacts& facts) {
  if (facts.sectorSize == 0) return std::nullopt;
  const uint64_t reach = facts.lengthBytes / facts.sectorSize * facts.sectorSize;
  const ByteRange cut{range.first, std::min(range.end, reach)};
  if (cut.first >= cut.end || cut.first % facts.sectorSize != 0 || cut.end % facts.sectorSize != 0)
    return std::nullopt;
  return cut;
}

bool ReportPassFailure(engine::Interpreter& interp, uint32_t view, const PassResult& result, int32_t failCode,
                       uint32_t sectorSize) {
  int32_t rc = 0;
  if (result.end == PassEnd::kFailed) rc = failCode;
  if (result.end == PassEnd::kTimedOut) rc = code::kIoResponseTimeout;
  if (rc == 0) return false;
  const uint64_t lba = sectorSize != 0 ? result.offset / sectorSize : 0;
  interp.writer().WriteLine(interp.output(view), CurrentLbaLine(lba), engine::kDetail, 10, kCurrentLbaColour);
  interp.ReportCompletion(view, rc, "");
  return true;
}

}  // namespace kestrune::workloads
