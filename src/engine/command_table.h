// The built-in command table: every command a script can call, with its category, the kinds of disk
// it runs on and its usage template. The rows are data; a row's handler is registered by the code
// that implements the command. A row without a handler is in the table but is not callable: the
// executor reports it as an undefined command, exactly as a command of the wrong disk kind.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kestrune::engine {

class Interpreter;

// handler(interpreter, view index, argument text (already evaluated), command name as called).
using CommandHandler = void (*)(Interpreter& interp, uint32_t view, std::string_view args, std::string_view name);

enum class CommandCategory : int32_t { kIf = 0, kWhile = 1, kDevice = 2, kGeneral = 3 };

// Device-type flags of a row.
inline constexpr uint8_t kAnyDisk = 255;
inline constexpr uint8_t kNvmeOnly = 241;
inline constexpr uint8_t kSataOnly = 240;
inline constexpr uint8_t kBothKinds = 242;

struct CommandEntry {
  std::string_view name;           // as written in scripts (at most 65 characters)
  CommandCategory category;
  uint8_t deviceFlag;              // kAnyDisk, kNvmeOnly, kSataOnly, kBothKinds
  std::string_view usage;          // sample call: parameters in binding order with defaults; may be empty
  std::string_view sameHandlerAs;  // name of the row whose handler this alias row shares; empty if none
};

// One row of a registration table: the handler of the command table row with this name and
// device-type flag. Alias rows (sameHandlerAs) are never named here: registering the row they name
// gives them its handler.
struct HandlerRow {
  std::string_view name;
  uint8_t deviceFlag;
  CommandHandler handler;
};

// All 234 rows in table order.
std::span<const CommandEntry> CommandTable();

// True when a row's device-type flag fits a disk of the given type code (SATA kinds 1-2,
// NVMe kinds 10-17). Flag 255 fits any disk, also type 0 (no disk).
bool DeviceFlagFits(uint8_t flag, int diskType);

// Index of the first row named name (case-insensitive) in category, whose flag fits diskType;
// -1 when there is none. For category kGeneral the disk type is not tested.
int FindCommand(std::string_view name, CommandCategory category, int diskType);

}  // namespace kestrune::engine
