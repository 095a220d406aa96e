// The external commands of ExtCmd.ini: outside programs that a script calls by name, each with a
// query row "Is<name>Running" that counts the program's running processes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/ini.h"
#include "platform/process.h"

namespace kestrune::engine {

class Interpreter;

enum class SupportMode : int32_t { kAnyDisk = 0, kRawOnly = 1, kPartitionOnly = 2, kRunningQuery = 3 };

// One row of the external command table. Every section of ExtCmd.ini gives a command row and a
// query row, both naming the same program.
struct ExternalCommand {
  std::string name;  // at most 64 characters
  SupportMode mode = SupportMode::kAnyDisk;
  std::string programPath;  // full path of the program file
  std::string usage;
  bool isCommand = true;   // false for the query row
  std::string parameter;   // PARAMETER: the parameter text used when a call gives none
  std::string checkExist;  // APP_CHKEXIST: a file that must exist before the program runs
  std::string download;    // APP_DOWNLOAD: "source#file..." telling how that file is installed
};

inline constexpr size_t kExternalNameChars = 64;
inline constexpr size_t kSectionListChars = 10240;

// The rows of an ExtCmd.ini already read; EXE_PATH and APP_CHKEXIST are taken relative to
// workFolder unless absolute. Sections whose program file does not exist are left out.
std::vector<ExternalCommand> ReadExternalCommands(const base::IniFile& ini, const std::string& workFolder);

// The rows of workFolder's ExtCmd.ini; none when the file is missing.
std::vector<ExternalCommand> LoadExternalCommands(const std::string& workFolder);

// The first row whose name, without leading and trailing blanks, is name (any case); nullptr if none.
const ExternalCommand* FindExternalCommand(std::span<const ExternalCommand> rows, std::string_view name);

// The process-wide external command state: the table, the launcher of outside programs, and the
// background threads of programs a script started without waiting for them.
class ExternalCommands {
 public:
  ExternalCommands(std::vector<ExternalCommand> rows, platform::ProcessLauncher& launcher);
  // Tells the background threads to stop waiting (their programs run on) and joins them.
  ~ExternalCommands();

  std::span<const ExternalCommand> rows() const { return rows_; }
  platform::ProcessLauncher& launcher() { return launcher_; }

  // Runs work on a background thread owned by this object. work gets the stop flag, which turns
  // true when the object is destroyed. Thread-safe.
  void StartBackground(std::function<void(const std::atomic<bool>& stop)> work);

  // Runs the row named name on view (the executor's last lookup step); false when there is none.
  // Run thread only.
  bool Run(Interpreter& interp, uint32_t view, std::string_view name, std::string_view args);

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

  std::vector<ExternalCommand> rows_;
  platform::ProcessLauncher& launcher_;
  std::atomic<bool> stop_{false};
  std::mutex workersLock_;
  std::list<Worker> workers_;
};

}  // namespace kestrune::engine
