#include "app/startup.h"

#include "app/command_line.h"
#include "app/console.h"
#include "app/console_ui.h"
#include "app/device_commands.h"
#include "app/disk_source.h"
#include "app/station_file.h"
#include "devcmd/acpi_memory_tables.h"
#include "devcmd/vendor_channel.h"
#include "devcmd/platform_access.h"
#include "devcmd/power_station.h"
#include "app/error_stop.h"
#include "app/machine_control.h"
#include "app/resume_start.h"
#include "app/run_controller.h"
#include "app/script_info.h"
#include "app/window_form.h"
#include "app/work_folder.h"
#include "base/zip_archive.h"
#include "base/text.h"
#include "disk/disk_find.h"
#include "disk/disk_list.h"
#include "disk/disk_state.h"
#include "disk/port_map.h"
#include "disk/selector.h"
#include "disk/target_filter.h"
#include "engine/help.h"
#include "engine/interpreter.h"
#include "fsmap/fsmap_commands.h"
#include "engine/operator_ui.h"
#include "platform/files.h"
#include "platform/terminal.h"
#include "sim/lab_lan_power.h"
#include "sim/lab_acpi.h"
#include "sim/lab_power.h"
#include "sim/sim_lab.h"
#include "workloads/file_commands.h"
#include "workloads/file_server_download.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace kestrune::app {
namespace {

using base::ContainsNoCase;
using base::EqualsNoCase;

constexpr const char* kNoDiskSelector = "\\\\.\\NULLDISK";

void PrintVersion(Console& console, const std::string& caption, int debugLevel, bool showLogo) {
  console.Print(base::Format("%s %50s\n", caption.c_str(), ""));
  if (debugLevel != 0) console.Print(base::Format("Kernel: %s-%s\n", engine::kKernelVersion, engine::kKernelBuild));
  if (showLogo) console.Print("Valdrimo storage test tools\n");
}

engine::RunSettings MakeRunSettings(platform::Host& host, const CommandLine& cl, const ScriptInfo& info,
                                    const std::string& workFolder, const std::string& caption, int debugLevel) {
  engine::RunSettings s;
  s.workFolder = workFolder;
  s.programPath = host.ProgramPath();
  s.programFolder = host.ProgramFolder();
  s.caption = caption;
  s.subParam = cl.subParam;
  s.initCommand = cl.initCommand;
  s.subBase = cl.subBase;
  s.style = info.style;
  s.debugLevel = debugLevel;
  s.uiMode = cl.uiMode;
  s.htmlLogEnabled = true;
  s.childDiskArguments = ChildDiskArguments(cl, workFolder);
  return s;
}

disk::TargetFilter FilterOf(const ScriptInfo& info) {
  disk::TargetFilter filter;
  filter.model = info.modelName;
  filter.socId = info.socId;
  filter.protocol = info.protocolWanted;
  filter.listVolumes = info.diskKindWanted != 0;
  return filter;
}

// --list and --listslave: the DiskList command on view 0, filtered by the target selector.
void ListDisks(engine::Interpreter& interp, const CommandLine& cl, bool master) {
  std::string args = base::Format("ShowVolumn:FALSE, Column:%s, Filter:\"%s\", Master:%s ",
                                    cl.subParam.find("1$") != std::string::npos ? "TRUE" : "FALSE",
                                    cl.targetSelector.c_str(), master ? "TRUE" : "FALSE");
  if (engine::CommandHandler list = interp.HandlerFor("DiskList", engine::CommandCategory::kGeneral, 0))
    list(interp, 0, args, "DiskList");
}

// Runs the script on view 0 on its run thread, with Ctrl-C and another instance's error stop
// cancelling it; with ERRSTOP:1 an error stop of its own is broadcast. Returns the exit code.
// A run that ended for a restart of the machine ends the process with 0, as the restart would.
int RunView0(engine::Interpreter& interp, const std::string& scriptPath, platform::Host& host, int errStop,
             const engine::LoadedSave* resume = nullptr) {
  ErrorStopWatch watch(interp, 0);
  RunController controller(interp);
  const int code = controller.RunInConsole(0, scriptPath, resume);
  if (interp.view(0).restartRequested.load()) return 0;
  std::string why;
  if (!BroadcastAfterRun(interp, 0, errStop, code, why)) host.WriteStderr("kestrune: " + why + "\n");
  return code;
}

// How long a run that goes on after a restart waits for its disk: KESTRUNE_RESUME_WAIT_SEC, else
// 120 s (drives can appear late at boot).
int ResumeWaitSec() {
  const char* v = std::getenv("KESTRUNE_RESUME_WAIT_SEC");
  return v && *v ? std::max(0, std::atoi(v)) : 120;
}

std::unique_ptr<platform::AutoStart> MakeAutoStart(const CommandLine& cl, const std::string& workFolder,
                                                   platform::Host& host) {
  if (cl.simulated) return std::make_unique<sim::LabAutoStart>(SimLabFolder(cl, workFolder), host.ProgramPath());
  return platform::MakeSystemAutoStart(host.ProgramPath());
}

}  // namespace

int RunProgram(platform::Host& host) {
  CommandLine cl = ParseCommandLine(host.Arguments(), NativeParseOptions());

  Console console(host);
  console.ShowRewrittenLines(cl.uiMode != 1 && cl.uiMode != 3 && platform::StandardOutputIsTerminal());
  if (cl.outputFileWanted) console.OpenMirror(cl.outputFileName);  // failure leaves output unmirrored

  // The answers of an unattended run: a run without the answers it was meant to have is no run.
  engine::AnswerFile answers;
  if (!cl.answersPath.empty()) {
    std::string why;
    std::optional<engine::AnswerFile> loaded = engine::AnswerFile::Load(cl.answersPath, why);
    if (!loaded) {
      host.WriteStderr("kestrune: " + why + "\n");
      return kExitNoScript;
    }
    answers = std::move(*loaded);
  }

  std::string workFolder = PrepareWorkFolder(host);
  if (workFolder.empty()) {
    host.WriteStderr("kestrune: cannot create the work folder below " + host.TempFolder() + "\n");
    return kExitNoScript;
  }
  std::unique_ptr<platform::AutoStart> autoStart = MakeAutoStart(cl, workFolder, host);
  if (IsAutorunCommand(cl.initCommand)) return RunAutorunCommand(cl.initCommand, *autoStart, host, console);

  std::string error;
  std::span<const uint8_t> package = host.EmbeddedPackage();
  if (package.empty()) {
    host.WriteStderr("kestrune: this build carries no script package\n");
    return kExitBadPackage;
  }
  if (!base::ExtractPackage(package, workFolder, host, error)) {
    host.WriteStderr("kestrune: the script package is damaged: " + error + "\n");
    return kExitBadPackage;
  }

  std::string scriptPath = platform::JoinPath(workFolder, "script.encode");
  if (!cl.scriptPath.empty()) {
    scriptPath = cl.scriptPath;
    if (!platform::FileExists(scriptPath)) {
      host.WriteStderr("kestrune: script file not found: " + scriptPath + "\n");
      return kExitNoScript;
    }
  } else if (!platform::FileExists(scriptPath)) {
    host.WriteStderr("kestrune: the script package holds no script.encode\n");
    return kExitNoScript;
  }
  auto ini = base::IniFile::Load(platform::JoinPath(workFolder, "ScriptInfo.ini"));
  if (!ini) {
    host.WriteStderr("kestrune: the script package holds no ScriptInfo.ini\n");
    return kExitNoScript;
  }
  ScriptInfo info = ReadScriptInfo(*ini);
  int debugLevel = cl.debugGiven ? cl.debugLevel : info.debugLogDatx;
  std::string caption = CaptionFor(info, workFolder);

#ifdef _WIN32
  const bool windowForm = !IsConsoleStyle(info.style);
#else
  const bool windowForm = false;
  if (!IsConsoleStyle(info.style)) {
    host.WriteStderr("kestrune: this build has no window form; running in the console form\n");
    info.style = 30;
  }
#endif

  // The console form runs in the calling console; the window form has none.
  if (!windowForm) host.AttachConsole();
  if (info.style == 30 && host.UnderRemoteLogin()) info.style = 31;

  DiskSource source = OpenDiskSource(cl, workFolder, host);
  if (!source.error.empty()) {
    host.WriteStderr("kestrune: " + source.error + "\n");
    return kExitNotFound;
  }
  engine::RunSettings settings = MakeRunSettings(host, cl, info, workFolder, caption, debugLevel);
  engine::Interpreter interp(host, settings, &console);
#ifdef _WIN32
  std::shared_ptr<engine::Ui> formUi = windowForm ? MakeWindowUi(host) : MakeConsoleUi(console, cl.uiMode, host);
#else
  std::shared_ptr<engine::Ui> formUi = MakeConsoleUi(console, cl.uiMode, host);
#endif
  interp.SetUi(std::make_shared<engine::OperatorUi>(
      std::move(formUi), std::move(answers), [&interp](uint32_t view, std::string_view line) {
        interp.writer().WriteLine(interp.output(view), line, engine::kDetail, 10, engine::colour::kGrey);
      }));
  disk::DiskState& disks = disk::StateOf(interp);
  disks.tree = source.tree.get();
  if (const std::string refused = devcmd::UseVendorData(interp, workFolder); !refused.empty())
    host.WriteStderr("kestrune: the maker's data is refused, no drive counts as the maker's: " + refused + "\n");
  devcmd::StationConfig station = ReadStationFile(StationFilePath(host.ProgramFolder()));
  workloads::UseFileServer(
      interp, station.fileServer, station.path,
      source.fileFetch ? source.fileFetch : std::shared_ptr(platform::MakeSystemFileFetch()));
  devcmd::StationOf(interp).Configure(std::move(station), source.serialPorts.get(), source.relays.get(),
                                      cl.simulated);
  devcmd::PlatformAccess& platformAccess = devcmd::PlatformAccessOf(interp);
  platformAccess.pci = source.pciConfig;
  platformAccess.facts = source.facts.get();
  if (cl.simulated) fsmap::UseWalkerForFileExtents(interp);  // the lab's files lie on its own volumes
  workloads::UseJobFiles(interp, source.files);
  disks.filter = FilterOf(info);
  // A handler row that finds no command table row is a defect of the build: say so, run anyway.
  std::vector<engine::HandlerRow> unmatched = interp.UnmatchedBuiltinRows();
  for (const engine::HandlerRow& row : RegisterDeviceCommands(interp)) unmatched.push_back(row);
  for (const engine::HandlerRow& row : unmatched)
    host.WriteStderr("kestrune: no command table row for the handler of " + std::string(row.name) + "\n");
  std::unique_ptr<platform::Power> power;
  std::unique_ptr<platform::AcpiTables> acpi;
  std::unique_ptr<platform::AcpiTables> systemAcpi;         // asked first by acpi on a real machine
  std::unique_ptr<platform::PhysicalMemory> physicalMemory;  // searched by acpi when that fails
  std::unique_ptr<platform::PortIo> ports;
  if (cl.simulated) {
    sim::SimLab* lab = dynamic_cast<sim::SimLab*>(source.tree.get());
    power = std::make_unique<sim::LabPower>(lab, host);
    acpi = std::make_unique<sim::LabAcpiTables>();
    ports = std::make_unique<sim::LabPortIo>(lab);
  } else {
    power = platform::MakeSystemPower(host.ProgramFolder());
    systemAcpi = platform::MakeSystemAcpiTables();
    physicalMemory = platform::MakeSystemPhysicalMemory(host.ProgramFolder());
    acpi = std::make_unique<devcmd::AcpiTablesWithMemorySearch>(*systemAcpi, *physicalMemory);
    ports = platform::MakeSystemPortIo(host.ProgramFolder());
  }
  std::unique_ptr<platform::TcpClient> tcp;
  if (cl.simulated)
    tcp = std::make_unique<sim::LabLanPower>();
  else
    tcp = platform::CreateSystemTcpClient();
  MachineControl& machine = MachineControlOf(interp);
  machine.power = power.get();
  machine.tcp = tcp.get();
  machine.acpi = acpi.get();
  machine.ports = ports.get();
  machine.autoStart = autoStart.get();
  machine.saveFolder = host.TempFolder();
  machine.diskArguments = settings.childDiskArguments;
  machine.errStop = cl.errStop > 0 ? cl.errStop : 0;
  if (cl.outputFileWanted) {
    std::error_code ec;
    machine.outputMirror = platform::Utf8Path(std::filesystem::absolute(platform::FsPath(cl.outputFileName), ec));
  }
  engine::LookupFolders folders{workFolder, workFolder, host.ProgramFolder()};

  const std::string& init = cl.initCommand;
  if (EqualsNoCase(init, "--version") || EqualsNoCase(init, "--ver")) {
    PrintVersion(console, caption, debugLevel, info.showLogo != 0);
    return 0;
  }
  if (EqualsNoCase(init, "--help")) {
    bool showAll = ContainsNoCase(cl.subParam, "showall:true") || ContainsNoCase(cl.subParam, "showall:1");
    engine::PrintHelp(interp.writer(), interp.output(0), showAll, folders, platform::FileNameOf(host.ProgramPath()));
    return 0;
  }
  if (EqualsNoCase(init, "--list") || EqualsNoCase(init, "--listslave")) {
    if (!disks.tree) {
      host.WriteStderr("kestrune: no disk source: start with /sim for the simulated lab\n");
      return kExitNotFound;
    }
    ListDisks(interp, cl, EqualsNoCase(init, "--list"));
    if (disks.list.empty()) host.WriteStderr("kestrune: no disks found\n");
    return 0;
  }

  if (InitCommandNeedsNoDisk(init, info.noDiskCmd) || info.socId == "_WithOutDrv") {
    disks.filter.model = "**";
    cl.targetSelector = kNoDiskSelector;
  }
  if (!cl.frame.empty() && cl.rebootSync >= 0) {
    // A run that goes on after a restart, from its save (the form PCReBoot registers; a child
    // script's start carries a FRAME too, but no REBOOTSYNC).
    ResumeCheck check = PrepareResume(interp, cl, console, host, ResumeWaitSec());
    if (!check.save) return check.failureCode;
#ifdef _WIN32
    // The window form shows a resumed run as it shows any other, started at once on its disk.
    if (windowForm) {
      const std::string selector = disks.hasCurrent ? disks.current.devicePath : std::string(kNoDiskSelector);
      WindowFormStart start{cl.scriptPath, caption, selector, selector == kNoDiskSelector, cl.uiMode, info.style,
                            cl.errStop, info.showLogo != 0};
      start.resume = &*check.save;
      return RunWindowForm(interp, start);
    }
#endif
    return RunView0(interp, cl.scriptPath, host, cl.errStop, &*check.save);
  }
#ifdef _WIN32
  if (windowForm) {
    // The main dialog on this thread, the run on view 0's run thread. A run restarted after a
    // reboot names its disk by identity: the window starts on that disk's path.
    std::string selector = cl.targetSelector;
    if (!cl.diskIdentity.empty() && selector.empty() && disk::SelectDiskByIdentity(interp, cl.diskIdentity))
      selector = disks.current.devicePath;
    return RunWindowForm(interp, WindowFormStart{scriptPath, caption, selector, selector == kNoDiskSelector,
                                                 cl.uiMode, info.style, cl.errStop, info.showLogo != 0});
  }
#endif
  if (!cl.diskIdentity.empty() && cl.targetSelector.empty()) {
    // A run restarted after a reboot finds its disk again by identity.
    if (!disk::SelectDiskByIdentity(interp, cl.diskIdentity)) {
      console.Print(base::Format("NO FOUND %s or Package restrictions cannot support this drive\n",
                                   cl.diskIdentity.c_str()));
      return kExitNotFound;
    }
    return RunView0(interp, scriptPath, host, cl.errStop);
  }
  if (cl.targetSelector.empty()) {
    if (info.style == 31) return 0;
    // The disk selection dialog goes through the operator-dialog seam; without it there is no one
    // to choose, so say how to name a disk instead of waiting.
    host.WriteStderr("kestrune: no target disk given: name one (for example \\\\.\\PHYSICALDRIVE0 or "
                     "/model/NAME), or list them with --list\n");
    return kExitNotFound;
  }
  const bool noDiskRun = cl.targetSelector == kNoDiskSelector;
  if (noDiskRun && !disks.tree) return RunView0(interp, scriptPath, host, cl.errStop);

  const bool allDisks = disk::IsMultiDiskSelector(cl.targetSelector);
  const disk::PortMap portMap = disk::PortMap::Load(disk::PortMapPathOf(disks));
  std::vector<disk::DiskEntry> list = disk::RebuildDiskList(disks);
  int code = 0;
  bool matched = false;
  for (disk::DiskEntry& entry : list) {
    if (!disk::PassesTargetFilter(disks.filter, entry, disks.refreshIdentity)) continue;
    if (!disk::MatchTarget(cl.targetSelector, entry, portMap, disks.refreshIdentity)) continue;
    matched = true;
    if (allDisks) console.Print(base::Format("#Target Drive: %s\n", entry.displayName.c_str()));
    disk::SetCurrentDisk(interp, entry);
    code = RunView0(interp, scriptPath, host, cl.errStop);
    if (!allDisks) break;
  }
  // A script that needs no disk runs even where no disk is present or passes the package's filter.
  if (!matched && noDiskRun) return RunView0(interp, scriptPath, host, cl.errStop);
  if (!matched) {
    console.Print(base::Format("NO FOUND %s or Package restrictions cannot support this drive\n",
                                 cl.targetSelector.c_str()));
    return kExitNotFound;
  }
  host.DetachConsole();
  return code;
}

}  // namespace kestrune::app
