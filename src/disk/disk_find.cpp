#include "disk/disk_find.h"

#include "base/text.h"
#include "disk/disk_list.h"
#include "disk/disk_state.h"
#include "engine/interpreter.h"
#include "platform/device.h"

namespace kestrune::disk {
namespace {

// Makes list[index] the current disk and identifies it.
bool Select(engine::Interpreter& interp, int index) {
  DiskState& state = StateOf(interp);
  if (index < 0) return false;
  SetCurrentDisk(interp, state.list[static_cast<size_t>(index)]);
  RefreshIdentity(state.current, state.refreshIdentity);
  return true;
}

}  // namespace

bool SameIdentity(const DiskEntry& wanted, const DiskEntry& c) {
  if (c.busType != wanted.busType || c.entryKind != wanted.entryKind) return false;
  if (wanted.busType == platform::bus::kSas || wanted.busType == platform::bus::kSata)
    return c.pathId == wanted.pathId && c.targetLun == wanted.targetLun;
  return c.location == wanted.location && c.diskKind == wanted.diskKind;
}

int FindByIdentity(const std::vector<DiskEntry>& list, const DiskEntry& wanted, bool allowSystemDisk) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].systemDisk && !allowSystemDisk) continue;
    if (SameIdentity(wanted, list[i])) return static_cast<int>(i);
  }
  return -1;
}

int FindByDevicePath(const std::vector<DiskEntry>& list, std::string_view path) {
  for (size_t i = 0; i < list.size(); ++i)
    if (base::EqualsNoCase(list[i].devicePath, path)) return static_cast<int>(i);
  return -1;
}

std::optional<DiskEntry> ParseIdentity(std::string_view text) {
  uint64_t n[6] = {};
  for (int i = 0; i < 6; ++i) {
    size_t dash = text.find('-');
    if ((i < 5) != (dash != std::string_view::npos)) return std::nullopt;
    std::string_view part = base::Trim(text.substr(0, dash));
    if (part.empty() || part.size() > 10) return std::nullopt;
    for (char c : part) {
      if (c < '0' || c > '9') return std::nullopt;
      n[i] = n[i] * 10 + static_cast<uint64_t>(c - '0');
    }
    if (n[i] > UINT32_MAX) return std::nullopt;
    text = dash == std::string_view::npos ? std::string_view() : text.substr(dash + 1);
  }
  if ((n[4] != 1 && n[4] != 2) || n[5] > 255) return std::nullopt;
  DiskEntry e;
  e.busType = static_cast<uint32_t>(n[0]);
  e.pathId = static_cast<uint32_t>(n[1]);
  e.location = static_cast<uint32_t>(n[2]);
  e.targetLun = static_cast<uint32_t>(n[3]);
  e.entryKind = static_cast<EntryKind>(n[4]);
  e.diskKind = static_cast<DiskKind>(n[5]);
  return e;
}

bool FindCurrentDiskAgain(engine::Interpreter& interp, std::optional<std::string_view> devicePath) {
  DiskState& state = StateOf(interp);
  const DiskEntry wanted = state.current;
  const bool knewCurrent = state.hasCurrent;
  const std::vector<DiskEntry>& list = RebuildDiskList(state);
  if (devicePath) return Select(interp, FindByDevicePath(list, *devicePath));
  if (!knewCurrent) return false;
  return Select(interp, FindByIdentity(list, wanted, wanted.systemDisk));
}

bool SelectDiskByIdentity(engine::Interpreter& interp, std::string_view identity) {
  std::optional<DiskEntry> wanted = ParseIdentity(identity);
  if (!wanted) return false;
  DiskState& state = StateOf(interp);
  return Select(interp, FindByIdentity(RebuildDiskList(state), *wanted, false));
}

std::optional<DiskEntry> EntryByLetter(const std::vector<DiskEntry>& list, std::string_view letters) {
  if (base::Trim(letters).empty()) return std::nullopt;
  for (size_t i = 0; i < list.size() && i < kMaxDiskEntries; ++i)
    if (base::ContainsNoCase(list[i].volumeLetters, letters)) return list[i];
  return std::nullopt;
}

}  // namespace kestrune::disk
