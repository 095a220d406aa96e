#include "disk/node_control.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <string>

#include "base/text.h"
#include "disk/disk_state.h"
#include "engine/interpreter.h"

namespace kestrune::disk {
namespace {

constexpr uint32_t kRescanSettleMs = 1000;
constexpr int kRemoveRetries = 3;
constexpr uint32_t kRemoveRetryMs = 3000;
constexpr uint32_t kRemoveSettleMs = 3000;
constexpr uint32_t kEnableSettleMs = 2000;

std::mutex& RescanMutex() {
  static std::mutex m;
  return m;
}

// Instance ids of the adapters that hold a system disk (by their children, and by the system disks'
// own parents); empty when the snapshot shows no system disk.
std::set<std::string> SystemAdapters(const platform::DeviceSnapshot& snapshot) {
  std::set<uint32_t> systemDisks;
  for (const platform::VolumeNode& v : snapshot.volumes)
    if (v.holdsSystem && v.onListedDisk) systemDisks.insert(v.diskNumber);
  std::set<std::string> adapters;
  for (const platform::DiskNode& d : snapshot.disks)
    if (systemDisks.count(d.deviceNumber) && !d.parent.instanceId.empty())
      adapters.insert(d.parent.instanceId);
  for (const platform::AdapterNode& a : snapshot.adapters)
    for (uint32_t child : a.childDiskNumbers)
      if (systemDisks.count(child)) adapters.insert(a.instanceId);
  return adapters;
}

}  // namespace

bool Rescan(engine::Interpreter& interp) {
  DiskState& state = StateOf(interp);
  if (!state.tree) return false;
  std::unique_lock<std::mutex> scan(RescanMutex(), std::try_to_lock);
  if (!scan.owns_lock()) return false;  // another scan is running
  bool ok = state.tree->Rescan();
  if (state.diskListChanged) state.diskListChanged();
  interp.host().SleepMs(kRescanSettleMs);
  return ok;
}

bool RemoveDiskNode(engine::Interpreter& interp, const DiskEntry& entry) {
  DiskState& state = StateOf(interp);
  if (!state.tree) return false;
  platform::DeviceTree& tree = *state.tree;

  // The protected adapters are known before the disk goes, while the system disk is still listed.
  platform::DeviceSnapshot before = tree.Enumerate();
  const std::set<std::string> protectedAdapters = SystemAdapters(before);

  for (int attempt = 0; attempt <= kRemoveRetries; ++attempt) {
    if (tree.RemoveNode(entry.physicalPath)) break;
    if (attempt < kRemoveRetries) interp.host().SleepMs(kRemoveRetryMs);
  }

  bool removed = false;
  const std::string& parent = entry.controllerInstanceId;
  if (!parent.empty() && !protectedAdapters.count(parent)) removed = tree.RemoveNode(parent);

  if (!protectedAdapters.empty()) {
    platform::DeviceSnapshot after = tree.Enumerate();
    for (const platform::AdapterNode& a : after.adapters) {
      if (a.instanceId.empty() || a.instanceId == parent || protectedAdapters.count(a.instanceId)) continue;
      if (!a.childDiskNumbers.empty() || !base::ContainsNoCase(a.description, "NVM")) continue;
      if (tree.RemoveNode(a.instanceId)) removed = true;
    }
  }
  interp.host().SleepMs(kRemoveSettleMs);
  return removed;
}

bool SetParentEnabled(engine::Interpreter& interp, const DiskEntry& entry, bool enable) {
  DiskState& state = StateOf(interp);
  if (!state.tree) return false;
  std::string node = entry.controllerInstanceId;
  if (enable && !state.disabledParent.empty()) node = state.disabledParent;
  if (node.empty()) return false;
  bool ok = state.tree->SetNodeEnabled(node, enable);
  if (!enable && ok) state.disabledParent = node;
  if (enable && ok) state.disabledParent.clear();
  interp.host().SleepMs(kEnableSettleMs);
  return ok;
}

}  // namespace kestrune::disk
