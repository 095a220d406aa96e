// TRIM: deallocates a range of the current disk. NVMe drives behind USB bridges get an NVMe Dataset
// Management command on the I/O queue; every other disk a trim request on its device path.
#include <memory>

#include "base/completion_codes.h"
#include "disk/nvme_operations.h"
#include "disk/sector_io.h"
#include "disk/sector_session.h"
#include "disk/target_mode.h"
#include "engine/arguments.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::disk {
namespace {

namespace code = base::code;

// Sends one deallocate range to an NVMe drive behind a bridge. 1; -1 when the path does not open;
// -2 when the range does not fit the command's 32-bit sector count; -74 when the drive or the route
// does not take it.
int32_t DeallocateThroughBridge(platform::DeviceTree& tree, const DiskEntry& disk, ByteRange range) {
  const uint64_t sectors = range.length / disk.sectorSize;
  if (sectors > UINT32_MAX) return code::kBadParameter;
  return Deallocate(tree, disk, range.offset / disk.sectorSize, static_cast<uint32_t>(sectors));
}

}  // namespace

void TrimCommand(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  DiskState& state = StateOf(interp);
  if (!HasTarget(state)) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  const DiskEntry& disk = state.current;
  if (int32_t guard = RequireRaw(disk)) return interp.ReportCompletion(view, guard, "");
  if (int32_t guard = RequireNotSystemDisk(disk)) return interp.ReportCompletion(view, guard, "");

  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"LBA", "TRIMSectorCount"});
  const int64_t lba = in.I64(128);
  const int64_t count = in.I64(1);
  if (!in.ok()) return;
  std::optional<ByteRange> range = lba < 0 || count < 0
                                       ? std::nullopt
                                       : TrimBytes(static_cast<uint64_t>(lba), static_cast<uint64_t>(count),
                                                   disk.sectorSize, disk.usableBytes);
  if (!range) return interp.ReportCompletion(view, code::kBadParameter, "");

  int32_t rc;
  if (IsUsbBridgeNvme(disk.diskKind)) {
    rc = DeallocateThroughBridge(*state.tree, disk, *range);
  } else {
    std::unique_ptr<platform::Device> device =
        state.tree->Open(disk.devicePath, platform::OpenAccess::kReadWrite);
    rc = device ? TrimRange(*device, range->offset, range->length) : code::kOpenDiskFailed;
  }
  if (rc < 0) interp.ReportCompletion(view, rc, "");
}

}  // namespace kestrune::disk
