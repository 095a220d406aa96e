// The channel to the companion log viewer: the shared block "LogView_Sync" of 2,560 bytes, 1,280
// UTF-16LE characters in three slots, each a NUL-terminated text:
//
//   characters 0-127     the command of LogView_Send (at most 127 characters)
//   characters 128-255   the key word of LogView_Wait (at most 127 characters)
//   characters 256-1279  the companion's reply (read up to its NUL or the end of the slot)
//
// The companion answers a key word by writing the reply and then clearing the key word slot. Our
// instances take the lock "LogView_SyncLock" around every use of the block, so that two of them
// never write the same slot at once; the companion itself takes no lock. They take the gate
// "LogView_SyncGate" first and hold it while they wait for the lock: an instance that has just let
// the lock go needs the gate to take it again, so a waiting one gets its turn first, however closely
// the other's exchanges follow each other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/command_table.h"

namespace kestrune::engine {

class Interpreter;

inline constexpr const char* kCompanionBlockName = "LogView_Sync";
inline constexpr const char* kCompanionLockName = "LogView_SyncLock";
inline constexpr const char* kCompanionGateName = "LogView_SyncGate";
inline constexpr size_t kCompanionBlockBytes = 2560;

struct CompanionSlot {
  size_t firstChar;
  size_t chars;  // room, the terminating NUL included
};
inline constexpr CompanionSlot kCommandSlot{0, 128};
inline constexpr CompanionSlot kKeywordSlot{128, 128};
inline constexpr CompanionSlot kReplySlot{256, 1024};

// Writes text (UTF-8) into slot as UTF-16LE with its NUL and zeroes the rest of the slot. False,
// changing nothing, when the text needs more than slot.chars - 1 UTF-16 units.
bool PutCompanionSlot(std::span<uint8_t> block, CompanionSlot slot, std::string_view text);

// The text of slot, up to its NUL or the end of the slot, as UTF-8.
std::string GetCompanionSlot(std::span<const uint8_t> block, CompanionSlot slot);

// The number of UTF-16 units text takes.
size_t Utf16Units(std::string_view text);

// LogView_Send and LogView_Wait. Returns the rows that took nothing, as Interpreter::Register does.
[[nodiscard]] std::vector<HandlerRow> RegisterCompanionCommands(Interpreter& interp);

}  // namespace kestrune::engine
