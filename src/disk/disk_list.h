// BuildDiskList: the list of storage targets from a snapshot of the device tree. Each disk becomes
// one physical entry (classified, located and named by its own identify data), followed by one
// entry per volume it carries; software RAID volumes become entries of their own.
#pragma once

#include <cstddef>
#include <vector>

#include "disk/disk_entry.h"
#include "disk/disk_state.h"
#include "platform/device.h"

namespace kestrune::disk {

// Fills entries with the list; returns their number, or -1 (and no entries) when there are more
// than capacity.
int BuildDiskList(platform::DeviceTree& tree, std::vector<DiskEntry>& entries,
                  size_t capacity = kMaxDiskEntries);

// The physical entry of one disk node before volumes and identify data: paths, SCSI address,
// length, kind, parent controller and location; raw until a volume is found on it.
DiskEntry EntryFromNode(const platform::DiskNode& node, platform::DeviceTree& tree);

// The volume entry of volume on disk ("[C:] - 4K Aligned" or "[C:] - Non 4K Align").
DiskEntry VolumeEntry(const DiskEntry& disk, const platform::VolumeNode& volume);

// Rebuilds state.list from state.tree (an empty list without a tree or when the list overflows)
// and returns it.
const std::vector<DiskEntry>& RebuildDiskList(DiskState& state);

}  // namespace kestrune::disk
