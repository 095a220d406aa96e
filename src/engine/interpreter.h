// The script interpreter of one process: start-up settings, the views, the output writer, the
// command handlers, and the run of a script on a view.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/completion_codes.h"
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
struct LoadedSave;
class ExternalCommands;

// What the engine needs to know of the current disk. The disk layer holds the disk and answers;
// without one the engine sees "no disk". Called on the run thread and by its workers while the disk
// does not change.
class CurrentDiskQuery {
 public:
  virtual ~CurrentDiskQuery() = default;
  // The current disk's DiskKind code; 0 when the run has no disk.
  virtual int CurrentDiskType() const = 0;
  // The current disk's device path; "" when the run has no disk.
  virtual std::string CurrentDevicePath() const = 0;
};

// The kernel's name and build, as "--version" and the window form's script start line give them.
inline constexpr const char* kKernelVersion = "Kestrune 9.1.2.33";
inline constexpr const char* kKernelBuild = "543";

// The code a run ends with when it was cancelled from outside (Ctrl-C, Stop, another instance).
inline constexpr int32_t kCancelledRunCode = base::code::kError;

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

  // Runs the script file on view going on from a save made before a restart: the saved variables,
  // block lists, levels, folders and counters come back, "##### SCRIPT RESUME (Reboot %d) #####" is
  // printed, and the statements run from the saved offset, the log folder's files appended to.
  ExecResult ResumeScript(uint32_t view, const std::string& scriptPath, const LoadedSave& save);

  // The view's last completion code (the process exit code of a console run). A run cancelled from
  // outside ends with kCancelledRunCode.
  int32_t LastCompletionCode(uint32_t view);

  // Cancels the view's run from outside: sets its cancel flag; the run stops after the current
  // statement (long commands poll the flag) and ends with kCancelledRunCode. Thread-safe; only
  // stores into atomics, so a signal handler may reach it through the flag's address.
  void RequestCancel(uint32_t view);

  // The view's cancel flag itself, for the run controller and signal handlers. Lives as long as
  // the interpreter.
  std::atomic<bool>& CancelFlag(uint32_t view);
  std::atomic<bool>& CancelRequestedFlag(uint32_t view);

  // The INI file whose section "LogData" gets the run's ErrCode and ErrDesc at run end; "" = none.
  // Called before a run starts it names the next run's file (every run starts with the path given
  // for it, or none); called on the run thread it changes the current run's. Not thread-safe
  // otherwise.
  void SetLogDataPath(uint32_t view, std::string path);

  // Reports a completion code for the view (error policy). Run thread only.
  void ReportCompletion(uint32_t view, int32_t code, std::string_view detail);

  // Reports a completion code for the view from another thread (a background power action): the
  // run thread reports it after its current statement, or at the run's end, and a failure that
  // stops the run stops it there. Thread-safe.
  void PostCompletion(uint32_t view, int32_t code, std::string detail);

  // Gives the handler of each row of the tables to the command table row of that name and
  // device-type flag, and to the alias rows whose sameHandlerAs names that row (same flag). Returns
  // the rows that took nothing: no table row has that name and flag, or the row named is an alias
  // row (which takes its handler only from the row it names). Empty when every row took. Call
  // before any run starts.
  [[nodiscard]] std::vector<HandlerRow> Register(std::initializer_list<std::span<const HandlerRow>> tables);

  // The handler of the command table row at index (CommandTable() order); nullptr when it has none.
  CommandHandler HandlerOfRow(size_t index) const { return handlers_.at(index); }

  // The rows of the built-in groups (registered by the constructor) that took nothing; empty in a
  // sound build.
  const std::vector<HandlerRow>& UnmatchedBuiltinRows() const { return unmatchedBuiltins_; }

  // The handler of the first row of category named name that fits diskType; nullptr when that row
  // has no handler (the command is then not callable) or there is no such row.
  CommandHandler HandlerFor(std::string_view name, CommandCategory category, int diskType) const;

  // Calls a device command through its wrapper: header line, handler, elapsed time.
  void CallDeviceCommand(uint32_t view, CommandHandler handler, std::string_view args, std::string_view name);

  // Runs an external command of ExtCmd.ini named name; false when there is none.
  bool RunExternalCommand(uint32_t view, std::string_view name, std::string_view args);

  // Type code (DiskKind) of the current disk; 0 when the run has no disk.
  int CurrentDiskType() const { return currentDisk_ ? currentDisk_->CurrentDiskType() : 0; }
  // Device path of the current disk; "" when the run has no disk.
  std::string CurrentDevicePath() const { return currentDisk_ ? currentDisk_->CurrentDevicePath() : std::string(); }
  // Installs the disk layer's answer (it lives as long as the interpreter). Before any run starts.
  void SetCurrentDiskQuery(const CurrentDiskQuery* query) { currentDisk_ = query; }

  // The operator seam (UnattendedUi until start-up gives another). Thread-safe.
  Ui& ui() { return *ui_; }
  // Call before any run starts; null gives back the unattended one.
  void SetUi(std::shared_ptr<Ui> ui) { ui_ = ui ? std::move(ui) : std::make_shared<UnattendedUi>(); }

  // Adds work that Exit does before it ends the run (removing a start-again registration): called
  // on the run thread, in the order added. Call before any run starts.
  void AddExitHook(std::function<void(uint32_t view)> hook) { exitHooks_.push_back(std::move(hook)); }
  void RunExitHooks(uint32_t view) {
    for (auto& hook : exitHooks_) hook(view);
  }

  // Adds work to the end of every run on a view (a lock the script left taken, child scripts still
  // running): called on the run thread after the last statement, before the variables are cleared,
  // in the order added. Call before any run starts.
  void AddRunEndHook(std::function<void(uint32_t view)> hook) { runEndHooks_.push_back(std::move(hook)); }

  // Process-wide state of a subsystem above the engine (the disk list and current disk, the
  // device tree, ...). Each subsystem creates its state when it registers its commands, before any
  // run starts; a later first use creates it too. Thread-safe (the table is locked; the state
  // itself is the subsystem's to guard). The reference stays valid as long as the interpreter.
  template <class T>
  T& State() {
    std::lock_guard<std::mutex> guard(statesLock_);
    std::shared_ptr<void>& slot = states_[&StateKey<T>::key];
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
  ExecResult RunLoaded(View& v, std::string text, const std::string& scriptPath, const LoadedSave* resume);
  void RestoreSave(View& v, const LoadedSave& save);
  ExecResult RunStatements(View& v, size_t offset);
  // Reports what other threads posted; true when something was.
  bool ReportPosted(View& v);
  void WriteLogData(View& v, ExecResult result);
  void EndRun(View& v);

  std::vector<std::unique_ptr<View>> views_;
  std::vector<CommandHandler> handlers_;  // parallel to CommandTable()
  std::vector<HandlerRow> unmatchedBuiltins_;
  const CurrentDiskQuery* currentDisk_ = nullptr;
  std::shared_ptr<Ui> ui_ = std::make_shared<UnattendedUi>();
  // The run's "TestLog.htm" in the log folder; null while the HTML log is off.
  std::shared_ptr<class HtmlLogSink> htmlLog_;
  std::vector<std::function<void(uint32_t view)>> runEndHooks_;
  std::vector<std::function<void(uint32_t view)>> exitHooks_;
  std::mutex statesLock_;
  // One key per state type: the address of a variable of that type's own. Not std::type_index: with
  // the mingw runtime its ordering of types from unnamed namespaces against the others made the map
  // hand out a second, empty state (the disk list then saw no device tree).
  template <class T>
  struct StateKey {
    static inline const char key = 0;
  };
  std::map<const void*, std::shared_ptr<void>> states_;
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
// own builtins_*.cpp); each returns the rows that took nothing, as Interpreter::Register does.
// Print, Exit, error skip, Help, Break
[[nodiscard]] std::vector<HandlerRow> RegisterLogCommands(Interpreter& interp);
// Result, ResultColumn, ResultHex
[[nodiscard]] std::vector<HandlerRow> RegisterResultCommands(Interpreter& interp);
// SetGlobalVar, GetGlobalVar, ArrayLen
[[nodiscard]] std::vector<HandlerRow> RegisterVariableCommands(Interpreter& interp);
// Exec and the commands of ExtCmd.ini
[[nodiscard]] std::vector<HandlerRow> RegisterExternalCommands(Interpreter& interp);
// InitParam_*, INI data, program and view queries
[[nodiscard]] std::vector<HandlerRow> RegisterParamCommands(Interpreter& interp);
// report/CSV files, file queries, log folder, Cls
[[nodiscard]] std::vector<HandlerRow> RegisterFileCommands(Interpreter& interp);
// Str*, StrToNumber, NumberToStr, BitValue, RandomValue
[[nodiscard]] std::vector<HandlerRow> RegisterTextCommands(Interpreter& interp);
// DateTime, RunTime, Delay
[[nodiscard]] std::vector<HandlerRow> RegisterTimeCommands(Interpreter& interp);
// PrintEx, FontList, SetStatusText, ConsoleOut
[[nodiscard]] std::vector<HandlerRow> RegisterOutputCommands(Interpreter& interp);
// CallFnScript, CancelFnScript, IsFnScriptRunning
[[nodiscard]] std::vector<HandlerRow> RegisterFnScriptCommands(Interpreter& interp);
// GlobalLock, GlobalUnLock, roziDadaze
[[nodiscard]] std::vector<HandlerRow> RegisterSystemCommands(Interpreter& interp);
// MessageBox, ComboBox, NumberBox, CheckListBox, InputBox, FileSelectBox
[[nodiscard]] std::vector<HandlerRow> RegisterDialogCommands(Interpreter& interp);

}  // namespace kestrune::engine
