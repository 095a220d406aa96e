#include "app/startup.h"

#include <csignal>

#include "app/command_line.h"
#include "app/console.h"
#include "app/script_info.h"
#include "app/work_folder.h"
#include "app/zip_archive.h"
#include "engine/help.h"
#include "engine/interpreter.h"
#include "engine/text.h"
#include "platform/files.h"

namespace kestrune::app {
namespace {

using engine::ContainsNoCase;
using engine::EqualsNoCase;

constexpr const char* kKernelVersion = "Kestrune 9.1.2.33";
constexpr const char* kKernelBuild = "543";
constexpr const char* kNoDiskSelector = "\\\\.\\NULLDISK";

std::atomic<engine::Interpreter*> gRunning{nullptr};

extern "C" void OnInterrupt(int) {
  if (engine::Interpreter* interp = gRunning.load()) interp->RequestCancel(0);
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void PrintVersion(Console& console, const std::string& caption, int debugLevel, bool showLogo) {
  console.Print(engine::Format("%s %50s\n", caption.c_str(), ""));
  if (debugLevel != 0) console.Print(engine::Format("Kernel: %s-%s\n", kKernelVersion, kKernelBuild));
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
  return s;
}

}  // namespace

int RunProgram(platform::Host& host) {
  CommandLine cl = ParseCommandLine(host.Arguments(), NativeParseOptions());

  Console console(host);
  if (cl.outputFileWanted) console.OpenMirror(cl.outputFileName);  // failure leaves output unmirrored

  std::string workFolder = PrepareWorkFolder(host);
  if (workFolder.empty()) {
    host.WriteStderr("kestrune: cannot create the work folder below " + host.TempFolder() + "\n");
    return kExitNoScript;
  }

  std::string error;
  std::span<const uint8_t> package = host.EmbeddedPackage();
  if (package.empty()) {
    host.WriteStderr("kestrune: this build carries no script package\n");
    return kExitBadPackage;
  }
  if (!ExtractPackage(package, workFolder, host, error)) {
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
  auto ini = engine::IniFile::Load(platform::JoinPath(workFolder, "ScriptInfo.ini"));
  if (!ini) {
    host.WriteStderr("kestrune: the script package holds no ScriptInfo.ini\n");
    return kExitNoScript;
  }
  ScriptInfo info = ReadScriptInfo(*ini);
  int debugLevel = cl.debugGiven ? cl.debugLevel : info.debugLogDatx;
  std::string caption = CaptionFor(info, workFolder);

  if (!IsConsoleStyle(info.style)) {
    host.WriteStderr("kestrune: this build has no window form; running in the console form\n");
    info.style = 30;
  }

  // Console form.
  host.AttachConsole();
  if (info.style == 30 && host.UnderRemoteLogin()) info.style = 31;

  engine::RunSettings settings = MakeRunSettings(host, cl, info, workFolder, caption, debugLevel);
  engine::Interpreter interp(host, settings, &console);
  engine::LookupFolders folders{workFolder, workFolder, host.ProgramFolder()};

  const std::string& init = cl.initCommand;
  if (EqualsNoCase(init, "--version") || EqualsNoCase(init, "--ver")) {
    PrintVersion(console, caption, debugLevel, info.showLogo != 0);
    return 0;
  }
  if (EqualsNoCase(init, "--help")) {
    bool showAll = ContainsNoCase(cl.subParam, "showall:true") || ContainsNoCase(cl.subParam, "showall:1");
    engine::PrintHelp(interp.writer(), interp.output(0), showAll, folders, FileNameOf(host.ProgramPath()));
    return 0;
  }
  if (EqualsNoCase(init, "--list") || EqualsNoCase(init, "--listslave")) {
    host.WriteStderr("kestrune: no disk source is available in this build yet\n");
    return kExitNotFound;
  }

  if (InitCommandNeedsNoDisk(init, info.noDiskCmd) || info.socId == "_WithOutDrv") {
    info.modelName = "**";
    cl.targetSelector = kNoDiskSelector;
  }
  if (cl.targetSelector.empty()) {
    if (info.style == 31) return 0;
    host.WriteStderr("kestrune: no target disk given and no disk source is available in this build yet\n");
    return kExitNotFound;
  }
  if (cl.targetSelector != kNoDiskSelector) {
    console.Print(engine::Format("NO FOUND %s or Package restrictions cannot support this drive\n",
                                 cl.targetSelector.c_str()));
    return kExitNotFound;
  }

  gRunning.store(&interp);
  std::signal(SIGINT, OnInterrupt);
  interp.RunScript(0, scriptPath);
  std::signal(SIGINT, SIG_DFL);
  gRunning.store(nullptr);
  host.DetachConsole();
  return interp.LastCompletionCode(0);
}

}  // namespace kestrune::app
