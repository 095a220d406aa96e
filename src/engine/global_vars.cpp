#include "engine/global_vars.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "base/bytes.h"
#include "base/completion_codes.h"
#include "base/text.h"
#include "base/unicode.h"
#include "engine/output.h"

namespace kestrune::engine {

namespace code = base::code;
using base::EqualsNoCase;
using base::Format;
using base::FromUtf16Le;
using base::GetLe16;
using base::Utf16Le;

namespace {


// The longest prefix of UTF-16LE bytes with at most units units that does not end inside a
// surrogate pair.
std::string_view CutUnits(std::string_view utf16, size_t units) {
  if (utf16.size() <= units * 2) return utf16;
  size_t keep = units * 2;
  uint16_t last = GetLe16(reinterpret_cast<const uint8_t*>(utf16.data()) + keep - 2);
  if (last >= 0xD800 && last < 0xDC00) keep -= 2;  // a high surrogate without its partner
  return utf16.substr(0, keep);
}

}  // namespace

std::string GlobalVarBlockName() {
  const char* name = std::getenv("KESTRUNE_GLOBALVAR_NAME");
  return name && *name ? std::string(name) : std::string("GlobalVar");
}

std::string GlobalVarLockName(std::string_view blockName) { return std::string(blockName) + "Lock"; }

// ---- GlobalVarTable ----

bool GlobalVarTable::NameFits(std::string_view name) {
  size_t units = Utf16Le(name).size() / 2;
  return units >= 1 && units < kGlobalVarNameChars;
}

std::string GlobalVarTable::ReadField(size_t offset, size_t bytes) const {
  const uint8_t* p = bytes_.data() + offset;
  size_t used = 0;
  while (used < bytes && GetLe16(p + used) != 0) used += 2;
  return FromUtf16Le(std::string_view(reinterpret_cast<const char*>(p), used));
}

void GlobalVarTable::WriteField(size_t offset, size_t bytes, std::string_view text) {
  std::string units = Utf16Le(text);
  std::string_view kept = CutUnits(units, bytes / 2 - 1);  // room for the terminating NUL
  uint8_t* p = bytes_.data() + offset;
  std::memcpy(p, kept.data(), kept.size());
  std::memset(p + kept.size(), 0, bytes - kept.size());
}

std::string GlobalVarTable::EntryName(size_t entry) const {
  return ReadField(entry * kGlobalVarEntryBytes, kGlobalVarNameBytes);
}

std::string GlobalVarTable::EntryValue(size_t entry) const {
  return ReadField(entry * kGlobalVarEntryBytes + kGlobalVarNameBytes, kGlobalVarValueBytes);
}

std::optional<size_t> GlobalVarTable::Find(std::string_view name) const {
  std::optional<size_t> firstFree;
  for (size_t i = 0; i < kGlobalVarEntries; ++i) {
    std::string entryName = EntryName(i);
    if (entryName.empty()) {
      if (!firstFree) firstFree = i;
    } else if (EqualsNoCase(entryName, name)) {
      return i;
    }
  }
  return firstFree;
}

void GlobalVarTable::Write(size_t entry, std::string_view name, std::string_view value) {
  WriteField(entry * kGlobalVarEntryBytes, kGlobalVarNameBytes, name);
  WriteField(entry * kGlobalVarEntryBytes + kGlobalVarNameBytes, kGlobalVarValueBytes, value);
}

// ---- GlobalVars ----

std::unique_ptr<GlobalVars> GlobalVars::Open(platform::Host& host, std::string_view blockName,
                                             std::string& why) {
  auto block = host.OpenSharedBlock(blockName, kGlobalVarBlockBytes, why);
  if (!block) return nullptr;
  if (block->Bytes().size() < kGlobalVarBlockBytes) {
    why = "the shared block is smaller than " + std::to_string(kGlobalVarBlockBytes) + " bytes";
    return nullptr;
  }
  return std::unique_ptr<GlobalVars>(new GlobalVars(std::move(block), GlobalVarLockName(blockName)));
}

std::unique_ptr<platform::NamedLock> GlobalVars::Lock(platform::Host& host, ErrorSink& errors) {
  std::string why;
  auto lock = host.AcquireNamedLock(lockName_, kLockTimeoutMs, why);
  if (lock) return lock;
  if (why.empty())
    errors.Report(code::kError, Format("Cannot lock the global variables (%s) within %u ms",
                                       lockName_.c_str(), static_cast<unsigned>(kLockTimeoutMs)));
  else
    errors.Report(code::kError,
                  Format("Cannot lock the global variables (%s): %s", lockName_.c_str(), why.c_str()));
  return nullptr;
}

bool GlobalVars::Set(platform::Host& host, ErrorSink& errors, std::string_view name, std::string_view value) {
  const std::string shown(name);
  if (!GlobalVarTable::NameFits(name)) {
    errors.Report(code::kBadParameter,
                  Format("Global variable name must be 1 to %u characters: \"%s\"",
                         static_cast<unsigned>(kGlobalVarNameChars - 1), shown.c_str()));
    return false;
  }
  auto lock = Lock(host, errors);
  if (!lock) return false;
  GlobalVarTable table(block_->Bytes());
  std::optional<size_t> entry = table.Find(name);
  if (!entry) {
    lock.reset();
    errors.Report(code::kBadParameter,
                  Format("No free global variable for %s: all %u entries hold other names", shown.c_str(),
                         static_cast<unsigned>(kGlobalVarEntries)));
    return false;
  }
  table.Write(*entry, name, value);
  return true;
}

std::optional<std::string> GlobalVars::Get(platform::Host& host, ErrorSink& errors, std::string_view name) {
  auto lock = Lock(host, errors);
  if (!lock) return std::nullopt;
  GlobalVarTable table(block_->Bytes());
  std::optional<size_t> entry = table.Find(name);
  // A free entry's value is empty by definition, whatever bytes it holds.
  if (!entry || table.EntryName(*entry).empty()) return std::string();
  return table.EntryValue(*entry);
}

}  // namespace kestrune::engine
