// What the NVMe command handlers share: the current disk as a target of the NVMe operations and
// page reads through them. (Their dump files: disk/dump_file.h.)
#pragma once

#include <cstdint>
#include <span>

#include "disk/disk_entry.h"
#include "platform/device.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::devcmd {

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

}  // namespace kestrune::devcmd
