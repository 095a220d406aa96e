// What the NVMe command handlers share: the current disk as a target of the NVMe operations, page
// reads through them, and the dump files the commands leave in the log folder.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "disk/disk_entry.h"
#include "platform/device.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::devcmd {

inline constexpr uint32_t kOlive = 0x009696;
inline constexpr int32_t kOutputFileFailed = -21;
inline constexpr int32_t kNoMemory = -83;

// The disk the NVMe operations work on: the device tree in use and the current disk; null members
// when the run has no disk source or no current disk.
struct NvmeTarget {
  platform::DeviceTree* tree = nullptr;
  disk::DiskEntry* disk = nullptr;
  explicit operator bool() const { return tree != nullptr && disk != nullptr; }
};
NvmeTarget CurrentNvmeTarget(engine::Interpreter& interp);

// Identify and Get Log Page into buffer on the current disk: the transport result, -1 without a
// current disk.
int32_t ReadIdentify(engine::Interpreter& interp, uint8_t cns, uint32_t nsid, std::span<uint8_t> buffer);
int32_t ReadLogPage(engine::Interpreter& interp, uint8_t lid, std::span<uint8_t> buffer,
                    uint32_t* dw0 = nullptr, uint8_t lsp = 0, bool rae = false);

// The output base name with extension (".Hex" unless another is named): a file of its own for every
// dump, since the name carries the view's output-line counter.
std::string DefaultDumpPath(engine::Interpreter& interp, uint32_t view, std::string_view extension = ".Hex");

// Writes bytes as a new file at path (replacing one of that name; missing folders are created), then
// announces it in colour (shown or only in the result file). Reports -21 with the path when it
// cannot be written and returns false.
bool SaveDump(engine::Interpreter& interp, uint32_t view, const std::string& path,
              std::span<const uint8_t> bytes, uint32_t colour, bool show);

// Appends bytes to path, creating the file and its folders when missing. False on failure.
bool AppendToFile(engine::Interpreter& interp, const std::string& path, std::span<const uint8_t> bytes);

}  // namespace kestrune::devcmd
