// What FullByPattern and FindLBA_ByPattern share around their walk over the disk (sequential_pass.h):
// the request buffers, the queue on the current disk, the range cut to what the queue reaches, and
// the report of a walk that failed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/async_queue.h"
#include "platform/io_buffer.h"
#include "workloads/byte_range.h"
#include "workloads/sequential_pass.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::workloads {

// Requests in flight at once.
inline constexpr uint32_t kPatternQueueDepth = 4;

// count buffers of bytes each; empty when the memory cannot be had.
std::vector<std::shared_ptr<platform::IoBuffer>> MakePassBuffers(size_t count, size_t bytes);

// Opens a queue of depth requests on path of the current disk's device tree; reports -1 (with the
// reason) and gives nullptr when it does not open.
std::unique_ptr<platform::AsyncQueue> OpenPassQueue(engine::Interpreter& interp, uint32_t view,
                                                    const std::string& path, platform::OpenAccess access,
                                                    uint32_t depth);

// range cut to the whole sectors the queue reaches; nullopt when nothing of it is left.
std::optional<ByteRange> WithinQueue(const ByteRange& range, const platform::QueueFacts& facts);

// The end of a walk that did not get through: for a failed request failCode, for one that timed
// out -76, each after the "CurrentLBA" line of the request's sector. Nothing for a walk that was
// done, cancelled or stopped. True when it reported.
bool ReportPassFailure(engine::Interpreter& interp, uint32_t view, const PassResult& result, int32_t failCode,
                       uint32_t sectorSize);

}  // namespace kestrune::workloads
