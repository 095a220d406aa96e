// The machine-wide global variables: the shared block "GlobalVar" that every running instance maps,
// the layout of its entries, and the locked reads and updates behind SetGlobalVar and GetGlobalVar.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/error_sink.h"
#include "platform/host.h"

namespace kestrune::engine {

// Block layout: kGlobalVarEntries entries one after the other, each a name of kGlobalVarNameChars
// UTF-16LE units followed by a value of kGlobalVarValueChars units. Both fields end at their first
// NUL unit, so each holds one unit less of text than its size. An entry with an empty name is free;
// entries are taken from the first.
inline constexpr size_t kGlobalVarEntries = 10;
inline constexpr size_t kGlobalVarNameChars = 64;
inline constexpr size_t kGlobalVarValueChars = 512;
inline constexpr size_t kGlobalVarNameBytes = kGlobalVarNameChars * 2;
inline constexpr size_t kGlobalVarValueBytes = kGlobalVarValueChars * 2;
inline constexpr size_t kGlobalVarEntryBytes = kGlobalVarNameBytes + kGlobalVarValueBytes;
inline constexpr size_t kGlobalVarBlockBytes = kGlobalVarEntries * kGlobalVarEntryBytes;
static_assert(kGlobalVarEntryBytes == 1152, "a GlobalVar entry is 1,152 bytes");
static_assert(kGlobalVarBlockBytes == 11520, "the GlobalVar block is 11,520 bytes");

// The name of the block: "GlobalVar", or the value of the environment variable
// KESTRUNE_GLOBALVAR_NAME when it is set and not empty. Tests set it so that the instances they start
// share a private block and never touch the one real runs use.
std::string GlobalVarBlockName();

// The machine-wide lock that guards the block named blockName (its own name: on Windows locks and
// blocks share one namespace).
std::string GlobalVarLockName(std::string_view blockName);

// The entries of a mapped block, read and written in place. Does no locking: the caller holds the
// block's lock around every call.
class GlobalVarTable {
 public:
  // bytes holds at least kGlobalVarBlockBytes.
  explicit GlobalVarTable(std::span<uint8_t> bytes) : bytes_(bytes) {}

  // True for a name the name field can hold: 1 to 63 UTF-16 units.
  static bool NameFits(std::string_view name);

  std::string EntryName(size_t entry) const;
  std::string EntryValue(size_t entry) const;

  // The entry named name (compared without regard to case), else the first free entry; nullopt when
  // every entry holds another name.
  std::optional<size_t> Find(std::string_view name) const;

  // Writes name (which NameFits) and value into entry. A value longer than 511 UTF-16 units is cut
  // there, never inside a character. The rest of both fields is zeroed.
  void Write(size_t entry, std::string_view name, std::string_view value);

 private:
  std::string ReadField(size_t offset, size_t bytes) const;
  void WriteField(size_t offset, size_t bytes, std::string_view text);

  std::span<uint8_t> bytes_;
};

// One mapping of the block together with the lock every access takes, so that two instances never
// see or leave an entry half written. Safe to use from several threads.
class GlobalVars {
 public:
  // Longest wait for another instance to finish its access.
  static constexpr uint32_t kLockTimeoutMs = 5000;

  // Maps the block named blockName (zero-filled when no instance of this user has it mapped);
  // nullptr, with why saying what failed or was refused (a block of another user), when it cannot
  // be mapped.
  static std::unique_ptr<GlobalVars> Open(platform::Host& host, std::string_view blockName, std::string& why);

  // Stores value under name (SetGlobalVar). Reports -2 for an empty or over-long name and when all
  // entries hold other names, -255 when the lock cannot be had (in time, or at all: the report then
  // says why). True when stored.
  bool Set(platform::Host& host, ErrorSink& errors, std::string_view name, std::string_view value);

  // The value text stored under name, "" when there is none (GetGlobalVar). nullopt, reported as
  // -255, when the lock cannot be had.
  std::optional<std::string> Get(platform::Host& host, ErrorSink& errors, std::string_view name);

 private:
  GlobalVars(std::unique_ptr<platform::SharedBlock> block, std::string lockName)
      : block_(std::move(block)), lockName_(std::move(lockName)) {}
  std::unique_ptr<platform::NamedLock> Lock(platform::Host& host, ErrorSink& errors);

  std::unique_ptr<platform::SharedBlock> block_;
  std::string lockName_;
};

}  // namespace kestrune::engine
