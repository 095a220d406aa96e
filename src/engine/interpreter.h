// The script interpreter of one process: start-up settings, the views, the output writer, the
// command handlers, and the run of a script on a view.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <typeindex>
#include <vector>

#include "engine/command_table.h"
#include "engine/error_sink.h"
#include "engine/file_lookup.h"
#include "engine/output.h"
#include "engine/ui.h"
#include "platform/host.h"

namespace kestrune::engine {

// What start-up decided; read by every part of the interpreter, never changed during a run.
struct RunSettings {
  std::string workFolder;
  std::string programPath;
  std::string programFolder;
  std::string caption;
  std::string subParam;      // "$"-separated words for the script
  std::string initCommand;
  std::string subBase;       // output base name given by a parent script; empty = "R%010llu"
  int style = 30;
  int debugLevel = 0;
  int uiMode = 0;
  bool htmlLogEnabled = false;
  uint64_t statementLimit = 0;  // stop a run after this many statements; 0 = no limit (fuzzing only)
  // Arguments (Windows command-line form) that give a child instance (CallFnScript) the disks this
  // process sees: the simulated lab and its folder; empty for the system's own disks.
  std::string childDiskArguments;
};

// Executor results.
enum class ExecResult : int { kRewritten = 0, kNext = 1, kJumpBack = 2, kStop = 3, kEnd = 4, kEndAndClose = 5 };

struct View;
class ExternalCommands;

class Interpreter {
 public:
  static constexpr uint32_t kViews = 1;

  Interpreter(platform::Host& host, RunSettings settings, ConsoleSink* console);
  ~Interpreter();

  platform::Host& host() { return host_; }
  const RunSettings& settings() const { return settings_; }
  OutputWriter& writer() { return writer_; }
  View& view(uint32_t index);
  ViewOutput* output(uint32_t index);

  // Runs the script file on view on the calling thread (the view's run thread) to its end.
  // Returns the last executor result.
  ExecResult RunScript(uint32_t view, const std::string& scriptPath);

  // Runs one statement on view with freshly reset block stacks and variables, then tears the run
  // down (the window's immediate line). Nothing happens for an empty statement.
  ExecResult RunImmediate(uint32_t view, std::string_view statement);

  // Runs plain script text on view as if it had been loaded from scriptPath.
  ExecResult RunScriptText(uint32_t view, std::string text, const std::string& scriptPath);

  // The view's last completion code (the process exit code of a console run).
  int32_t LastCompletionCode(uint32_t view);

  // Sets the view's cancel flag; the run stops after the current statement. Thread-safe.
  void RequestCancel(uint32_t view);

  // Reports a completion code for the view (error policy). Run thread only.
  void ReportCompletion(uint32_t view, int32_t code, std::string_view detail);

  // Registers the handler of the table row named name with the given device-type flag. Returns
  // false when the table has no such row. Call before any run starts.
  bool Register(std::string_view name, uint8_t deviceFlag, CommandHandler handler);

  // The handler of the first row of category named name that fits diskType; nullptr when that row
  // has no handler (the command is then not callable) or there is no such row.
  CommandHandler HandlerFor(std::string_view name, CommandCategory category, int diskType) const;

  // Calls a device command through its wrapper: header line, handler, elapsed time.
  void CallDeviceCommand(uint32_t view, CommandHandler handler, std::string_view args, std::string_view name);

  // Runs an external command of ExtCmd.ini named name; false when there is none.
  bool RunExternalCommand(uint32_t view, std::string_view name, std::string_view args);

  // Type code (DiskKind) of the current disk; 0 when the run has no disk. Set by the disk layer
  // whenever the current disk changes.
  int CurrentDiskType() const { return currentDiskType_; }
  void SetCurrentDiskType(int type) { currentDiskType_ = type; }
  // Device path of the current disk; "" when the run has no disk. Set by the disk layer with the type.
  const std::string& CurrentDevicePath() const { return currentDevicePath_; }
  void SetCurrentDevicePath(std::string path) { currentDevicePath_ = std::move(path); }

  // The operator seam (UnattendedUi until start-up gives another). Thread-safe.
  Ui& ui() { return *ui_; }
  // Call before any run starts; null gives back the unattended one.
  void SetUi(std::shared_ptr<Ui> ui) { ui_ = ui ? std::move(ui) : std::make_shared<UnattendedUi>(); }

  // Adds work to the end of every run on a view (a lock the script left taken, child scripts still
  // running): called on the run thread after the last statement, before the variables are cleared,
  // in the order added. Call before any run starts.
  void AddRunEndHook(std::function<void(uint32_t view)> hook) { runEndHooks_.push_back(std::move(hook)); }

  // Process-wide state of a subsystem above the engine (the disk list and current disk, the
  // device tree, ...), created on first use. Run thread and start-up only.
  template <class T>
  T& State() {
    std::shared_ptr<void>& slot = states_[std::type_index(typeid(T))];
    if (!slot) slot = std::make_shared<T>();
    return *static_cast<T*>(slot.get());
  }

  // Folders a command's file parameter is looked up in.
  LookupFolders Folders(uint32_t view);

  // The commands of ExtCmd.ini and the launcher of outside programs, set up by
  // RegisterExternalCommands (tests may put their own). Null only before that.
  ExternalCommands* externalCommands() { return externalCommands_.get(); }
  void SetExternalCommands(std::shared_ptr<ExternalCommands> commands) { externalCommands_ = std::move(commands); }

 private:
  platform::Host& host_;
  RunSettings settings_;
  OutputWriter writer_;
  void InitialiseRun(View& v);
  ExecResult RunStatements(View& v);
  void EndRun(View& v);

  std::vector<std::unique_ptr<View>> views_;
  std::vector<CommandHandler> handlers_;  // parallel to CommandTable()
  int currentDiskType_ = 0;
  std::string currentDevicePath_;
  std::shared_ptr<Ui> ui_ = std::make_shared<UnattendedUi>();
  std::vector<std::function<void(uint32_t view)>> runEndHooks_;
  std::map<std::type_index, std::shared_ptr<void>> states_;
  std::shared_ptr<ExternalCommands> externalCommands_;  // last: its background threads end before the views go
};

// Sends failures of the variable store and the evaluators to the view's error policy.
class ReportingSink final : public ErrorSink {
 public:
  ReportingSink(Interpreter& interp, uint32_t view) : interp_(interp), view_(view) {}
  void Report(int32_t code, std::string_view detail) override { interp_.ReportCompletion(view_, code, detail); }

 private:
  Interpreter& interp_;
  uint32_t view_;
};

// Registration of the built-in command groups (one function per group of commands, each in its
// own builtins_*.cpp).
void RegisterLogCommands(Interpreter& interp);       // Print, Exit, error skip, Help, Break
void RegisterResultCommands(Interpreter& interp);    // Result, ResultColumn, ResultHex
void RegisterVariableCommands(Interpreter& interp);  // SetGlobalVar, GetGlobalVar, ArrayLen
void RegisterExternalCommands(Interpreter& interp);  // Exec and the commands of ExtCmd.ini
void RegisterParamCommands(Interpreter& interp);     // InitParam_*, INI data, program and view queries
void RegisterFileCommands(Interpreter& interp);      // report/CSV files, file queries, log folder, Cls
void RegisterTextCommands(Interpreter& interp);      // Str*, StrToNumber, NumberToStr, BitValue, RandomValue
void RegisterTimeCommands(Interpreter& interp);      // DateTime, RunTime, Delay
void RegisterOutputCommands(Interpreter& interp);    // PrintEx, FontList, SetStatusText, ConsoleOut
void RegisterFnScriptCommands(Interpreter& interp);  // CallFnScript, CancelFnScript, IsFnScriptRunning
void RegisterSystemCommands(Interpreter& interp);    // GlobalLock, GlobalUnLock, roziDadaze

}  // namespace kestrune::engine
