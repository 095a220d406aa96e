#include "engine/external_commands.h"

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/arguments.h"
#include "engine/command_parameters.h"
#include "engine/interpreter.h"
#include "engine/output_base.h"
#include "engine/program_run.h"
#include "engine/view.h"
#include "platform/files.h"
#include "platform/host.h"

namespace kestrune::engine {

namespace code = base::code;
using base::EqualsNoCase;
using base::Format;
using base::IniFile;
using base::Trim;

namespace {

size_t CharCount(std::string_view s) {
  size_t n = 0;
  for (char c : s) n += (static_cast<uint8_t>(c) & 0xC0) != 0x80;
  return n;
}

std::string InWorkFolder(const std::string& path, const std::string& workFolder) {
  if (path.empty() || platform::IsAbsolutePath(path)) return path;
  return platform::JoinPath(workFolder, path);
}

SupportMode ModeOf(std::string_view text) {
  text = Trim(text);
  if (EqualsNoCase(text, "RAW")) return SupportMode::kRawOnly;
  if (EqualsNoCase(text, "PARTITION")) return SupportMode::kPartitionOnly;
  return SupportMode::kAnyDisk;
}

// The missing APP_CHKEXIST file: fetching and installing it is left to the operator.
void ReportMissingPrerequisite(Interpreter& interp, uint32_t view, const ExternalCommand& row) {
  std::string source = row.download.substr(0, row.download.find('#'));
  std::string detail = row.checkExist + " is missing; install it first";
  if (!source.empty()) detail += " (APP_DOWNLOAD: " + source + ")";
  detail += ". Programs are not downloaded or installed by this tool.";
  interp.ReportCompletion(view, code::kFileOpenFailed, detail);
}

// The query row: how many processes run the program, by its file name in the long and then in the
// short path form.
void RunQuery(Interpreter& interp, uint32_t view, const ExternalCommand& row, std::string_view name,
              platform::ProcessLauncher& launcher) {
  std::string longName = platform::FileNameOf(row.programPath);
  int count = launcher.CountRunning(longName);
  if (count == 0) {
    std::string shortName = platform::FileNameOf(launcher.ShortPathForm(row.programPath));
    if (shortName != longName) count = launcher.CountRunning(shortName);
  }
  ReportingSink errors(interp, view);
  StoreValue(interp.view(view).vars, errors, name, Value::Number(count));
}

}  // namespace

std::vector<ExternalCommand> ReadExternalCommands(const IniFile& ini, const std::string& workFolder) {
  std::vector<ExternalCommand> rows;
  std::vector<std::string> seen;
  size_t listChars = 1;  // the list's closing terminator
  for (const std::string& section : ini.Sections()) {
    // The section names are read as one list of at most kSectionListChars characters, each name
    // with its terminator; names past that are not seen.
    listChars += CharCount(section) + 1;
    if (listChars > kSectionListChars) break;
    bool duplicate = false;
    for (const std::string& s : seen) duplicate = duplicate || EqualsNoCase(s, section);
    if (duplicate || Trim(section).empty()) continue;
    seen.push_back(section);

    std::string exe = ini.GetString(section, "EXE_PATH", "");
    if (exe.empty()) continue;
    std::string program = InWorkFolder(exe, workFolder);
    if (!platform::FileExists(program)) continue;

    ExternalCommand command;
    command.name = std::string(ClampChars(section, kExternalNameChars));
    command.mode = ModeOf(ini.GetString(section, "SUPPORTMODE", "ALL"));
    command.programPath = program;
    command.parameter = ini.GetString(section, "PARAMETER", "");
    command.checkExist = InWorkFolder(ini.GetString(section, "APP_CHKEXIST", ""), workFolder);
    command.download = ini.GetString(section, "APP_DOWNLOAD", "");
    command.usage =
        Format("%s( Parameter:\"%s\", WaitClose:TRUE);", command.name.c_str(), command.parameter.c_str());
    command.isCommand = true;

    ExternalCommand query = command;
    query.name = std::string(ClampChars(Format("Is%sRunning", command.name.c_str()), kExternalNameChars));
    query.mode = SupportMode::kRunningQuery;
    query.usage = Format("Running = %s();", query.name.c_str());
    query.isCommand = false;

    rows.push_back(std::move(command));
    rows.push_back(std::move(query));
  }
  return rows;
}

std::vector<ExternalCommand> LoadExternalCommands(const std::string& workFolder) {
  auto ini = IniFile::Load(platform::JoinPath(workFolder, "ExtCmd.ini"));
  if (!ini) return {};
  return ReadExternalCommands(*ini, workFolder);
}

const ExternalCommand* FindExternalCommand(std::span<const ExternalCommand> rows, std::string_view name) {
  name = Trim(name);
  for (const ExternalCommand& row : rows)
    if (EqualsNoCase(Trim(row.name), name)) return &row;
  return nullptr;
}

ExternalCommands::ExternalCommands(std::vector<ExternalCommand> rows, platform::ProcessLauncher& launcher)
    : rows_(std::move(rows)), launcher_(launcher) {}

ExternalCommands::~ExternalCommands() {
  stop_.store(true);
  std::lock_guard<std::mutex> guard(workersLock_);
  for (Worker& w : workers_)
    if (w.thread.joinable()) w.thread.join();
}

void ExternalCommands::StartBackground(std::function<void(const std::atomic<bool>& stop)> work) {
  std::lock_guard<std::mutex> guard(workersLock_);
  // Threads that have finished are collected here, so the list does not grow with every call.
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (it->done->load()) {
      it->thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread t([this, work = std::move(work), done] {
    work(stop_);
    done->store(true);
  });
  workers_.push_back(Worker{std::move(t), done});
}

bool ExternalCommands::Run(Interpreter& interp, uint32_t view, std::string_view name, std::string_view args) {
  const ExternalCommand* row = FindExternalCommand(rows_, name);
  if (!row) return false;
  View& v = interp.view(view);

  if (row->isCommand) {
    interp.writer().WriteLine(interp.output(view),
                              Format("%.*s(%.*s);", static_cast<int>(name.size()), name.data(),
                                     static_cast<int>(args.size()), args.data()),
                              kHeader, 10, colour::kGreen);
    DiskMode disk = CurrentDiskMode(interp, view);
    if (row->mode == SupportMode::kRawOnly && disk != DiskMode::kRaw) {
      interp.ReportCompletion(view, code::kRawModeOnly,
                              "Use ChangeDisk() or Partition_Delete() then try again.");
      return true;
    }
    if (row->mode == SupportMode::kPartitionOnly && disk != DiskMode::kVolumes) {
      interp.ReportCompletion(view, code::kNoPartitionFound,
                              "Use ChangeDisk() or Partition_Create() then try again.");
      return true;
    }
  }
  if (!row->checkExist.empty() && !platform::FileExists(row->checkExist)) {
    ReportMissingPrerequisite(interp, view, *row);
    return true;
  }
  if (!row->isCommand) {
    RunQuery(interp, view, *row, name, launcher_);
    return true;
  }
  if (!platform::FileExists(row->programPath)) {
    interp.ReportCompletion(view, code::kFileOpenFailed, row->programPath);
    return true;
  }

  ReportingSink errors(interp, view);
  ArgReader in(v.vars, errors, args, {"Parameter", "WaitClose"});
  std::string parameter = in.Text(row->parameter);
  bool waitClose = in.Bool(true);
  if (!in.ok()) return true;

  ProgramRun run;
  run.resultBase = OutputBaseName(interp, view);
  ParameterValues values = CommandParameterValues(interp, view, run.resultBase);
  run.program = row->programPath;
  std::string program = launcher_.ShortPathForm(row->programPath);
  std::string text = SubstituteParameters(parameter, values);
  run.commandLine = Format("\"%s\" %s", program.c_str(), text.c_str());
  run.folder = platform::FolderOf(row->programPath);
  run.waitClose = waitClose;
  if (auto code = RunProgramAndImport(interp, view, *this, run))
    StoreValue(v.vars, errors, name, Value::Number(*code));
  return true;
}

}  // namespace kestrune::engine
