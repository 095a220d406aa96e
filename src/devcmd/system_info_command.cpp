// SystemInfo(): the platform summary (system_info_lines.h over platform::SystemFacts), the disk
// list's disks and the current disk's driver path, port and volumes as the disk layer names them.
#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/line_sink.h"
#include "devcmd/platform_access.h"
#include "devcmd/platform_commands.h"
#include "devcmd/system_info_lines.h"
#include "disk/capacity.h"
#include "disk/disk_kind.h"
#include "disk/disk_list.h"
#include "disk/disk_state.h"
#include "disk/port_map.h"
#include "disk/port_name.h"
#include "engine/output.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
namespace colour = engine::colour;
using base::Format;

constexpr uint64_t kMiB = 1024 * 1024;

void DiskLine(LineSink& sink, const char* label, const std::string& value) {
  sink.Write(Format("%24s %-12s : %s", "", label, value.c_str()), colour::kYellow);
}
void DiskLine(LineSink& sink, const char* label, long long value) {
  sink.Write(Format("%24s %-12s : %lld", "", label, value), colour::kYellow);
}

// The free bytes of the disk's volumes in the list; the whole disk when it has none.
uint64_t FreeBytesOf(const std::vector<disk::DiskEntry>& list, const disk::DiskEntry& d) {
  if (d.raw) return d.totalBytes;
  uint64_t free = 0;
  for (const disk::DiskEntry& e : list)
    if (e.entryKind == disk::EntryKind::kVolume && e.physicalPath == d.physicalPath) free += e.usableBytes;
  return free;
}

void SystemInfo(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  platform::SystemFacts* facts = PlatformAccessOf(interp).facts;
  if (!facts) return interp.ReportCompletion(view, code::kNotSupported, "this build has no system facts");
  ViewLineSink sink(interp, view);
  PlatformSummaryLines(sink, facts->Summary(), facts->HmbPolicy(), interp.settings().caption);

  disk::DiskState& state = disk::StateOf(interp);
  if (state.list.empty()) disk::RebuildDiskList(state);
  if (state.hasCurrent)
    sink.Write(Format("Controller  : %s | %s", state.current.controllerName.c_str(),
                      (state.current.driverService + " " + state.current.driverVersion).c_str()),
               colour::kWhite);
  size_t disks = 0;
  for (const disk::DiskEntry& e : state.list) disks += e.entryKind == disk::EntryKind::kPhysical;
  sink.Write(Format("Device Tree : %zu Disk(s)", disks), colour::kCyan);
  for (const disk::DiskEntry& e : state.list) {
    if (e.entryKind != disk::EntryKind::kPhysical) continue;
    sink.Write(Format("                -   %s (%lluGB)", e.displayName.c_str(),
                      static_cast<unsigned long long>(disk::CapacityGB(e.totalBytes, e.sectorSize))),
               colour::kCyan);
  }
  if (!state.hasCurrent) return;
  const disk::DiskEntry& d = state.current;
  DiskLine(sink, "Cmd Through", std::string(disk::ShortName(d.diskKind)));
  DiskLine(sink, "Port ID", disk::PortName(d, disk::PortMap::Load(disk::PortMapPathOf(state))));
  DiskLine(sink, "Target", d.model);
  DiskLine(sink, "Physical", d.physicalPath);
  DiskLine(sink, "MasterDrive", d.systemDisk ? 1 : 0);
  if (d.raw)
    DiskLine(sink, "RAW", 1);
  else
    DiskLine(sink, "Valume", d.volumeLetters);
  DiskLine(sink, "FreeSize(MB)", static_cast<long long>(FreeBytesOf(state.list, d) / kMiB));
}

constexpr engine::HandlerRow kHandlers[] = {
    {"SystemInfo", engine::kAnyDisk, SystemInfo},
};

}  // namespace

std::span<const engine::HandlerRow> SystemInfoHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
