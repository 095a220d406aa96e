// DiskList, ChangeDisk, RegPortName and ReScanDriver.
#include "disk/disk_commands.h"

#include "base/completion_codes.h"
#include "base/ini.h"
#include "base/text.h"
#include "disk/disk_find.h"
#include "disk/disk_list.h"
#include "disk/disk_list_rows.h"
#include "disk/disk_state.h"
#include "disk/node_control.h"
#include "disk/port_name.h"
#include "disk/selector.h"
#include "engine/arguments.h"
#include "engine/interpreter.h"
#include "engine/view.h"
#include "platform/host.h"

namespace kestrune::disk {
namespace {

namespace code = base::code;

constexpr uint32_t kAfterRescanMs = 2000;

void DiskList(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::VarList& vars = interp.view(view).vars;
  engine::ArgReader in(vars, errors, args, {"ShowVolumn", "Column", "Filter", "Master"});
  const bool showVolumes = in.Bool(false);
  const bool barColumns = in.Bool(false);
  const std::string filter = in.Text("");
  const bool master = in.Bool(true);
  if (!in.ok()) return;

  DiskState& state = StateOf(interp);
  RebuildDiskList(state);
  const PortMap portMap = PortMap::Load(PortMapPathOf(state));
  std::string paths;
  for (DiskEntry& e : state.list) {
    if (!master && e.systemDisk) continue;
    if (!showVolumes && e.entryKind == EntryKind::kVolume) continue;
    const std::string port = PortName(e, portMap);
    if (IsHiddenPortName(port)) continue;
    if (!filter.empty() && !MatchTarget(filter, e, portMap, state.refreshIdentity)) continue;
    interp.writer().WriteLine(interp.output(view), DiskListRow(e, port, barColumns), engine::kDetail, 10,
                              engine::colour::kCyan);
    if (!paths.empty()) paths += ',';
    paths += '"' + e.devicePath + '"';
  }
  engine::StoreValue(vars, errors, name, engine::Value::Text(paths));
}

void ChangeDisk(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name) {
  engine::ReportingSink errors(interp, view);
  engine::ArgReader in(interp.view(view).vars, errors, args, {"PhysicalName"});
  const std::string wanted = in.Text("");
  if (!in.ok()) return;
  engine::OutputWriter& writer = interp.writer();
  engine::ViewOutput* out = interp.output(view);
  writer.WriteLine(out,
                   base::Format("%.*s(%.*s);", static_cast<int>(name.size()), name.data(),
                                  static_cast<int>(args.size()), args.data()),
                   engine::kDetail, 10, engine::colour::kGreen);
  if (wanted.empty()) {
    // No selection dialog in this form of the program: an empty name is a cancelled choice.
    writer.WriteLine(out, "---- Cancel Command ----", engine::kDetail, 10, engine::colour::kCyan);
    return;
  }
  DiskState& state = StateOf(interp);
  if (state.list.empty()) RebuildDiskList(state);
  int index = FindByDevicePath(state.list, wanted);
  if (index < 0) {
    interp.ReportCompletion(view, code::kOpenDiskFailed, "Cannot find " + wanted);
    return;
  }
  state.lastChosenName = base::ToUpperAscii(wanted);
  SetCurrentDisk(interp, state.list[static_cast<size_t>(index)]);
  writer.WriteLine(out, "Change to Disk: " + state.lastChosenName, engine::kDetail, 10,
                   engine::colour::kLightBlue);
}

void RegPortName(engine::Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  DiskState& state = StateOf(interp);
  engine::OutputWriter& writer = interp.writer();
  engine::ViewOutput* out = interp.output(view);
  RebuildDiskList(state);
  const std::string folder = PortMapFolderOf(state);
  if (folder.empty() || !interp.host().CreateFolders(folder)) {
    interp.ReportCompletion(view, code::kOutputFileFailed, "Cannot create " + folder);
    return;
  }
  const std::string path = platform::JoinPath(folder, kPortMapFileName);
  writer.WriteLine(out, "Port mapping defined by " + path, engine::kDetail, 10, engine::colour::kGrey);

  for (const DiskEntry& e : state.list) {
    if (e.entryKind != EntryKind::kPhysical || !HasOwnPortName(e.diskKind)) continue;
    const PortMap portMap = PortMap::Load(path);
    const std::string key = PortKey(e);
    if (std::optional<std::string> existing = portMap.NameFor(key)) {
      writer.WriteLine(out, base::Format("%-20s : %s", "Existed PortMap", existing->c_str()),
                       engine::kDetail, 10, engine::colour::kGrey);
      continue;
    }
    std::string portName = ComputedPortName(e);
    while (portMap.HasName(portName)) portName += 'n';
    if (base::WriteIniValue(path, kPortMapSection, portName, key, true) != base::IniWrite::kOk) {
      interp.ReportCompletion(view, code::kOutputFileFailed, path);
      return;
    }
    writer.WriteLine(out, base::Format("%-20s : %s=%s", ">> New RegPort", portName.c_str(), key.c_str()),
                     engine::kDetail, 10, engine::colour::kYellow);
  }
}

void ReScanDriver(engine::Interpreter& interp, uint32_t, std::string_view, std::string_view) {
  Rescan(interp);
  interp.host().SleepMs(kAfterRescanMs);
}

// The handlers of this file, one row per command table row.
constexpr engine::HandlerRow kHandlers[] = {
    {"DiskList", engine::kAnyDisk, DiskList},
    {"ChangeDisk", engine::kAnyDisk, ChangeDisk},
    {"RegPortName", engine::kAnyDisk, RegPortName},
    {"ReScanDriver", engine::kAnyDisk, ReScanDriver},
};

}  // namespace

std::vector<engine::HandlerRow> RegisterDiskCommands(engine::Interpreter& interp) {
  StateOf(interp);  // made before any run; it also answers the engine's current-disk questions
  return interp.Register({kHandlers, DiskQueryHandlers()});
}

}  // namespace kestrune::disk
