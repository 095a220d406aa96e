// The partition commands of the current disk: PartitionInfo (the MBR or GPT as the disk's sectors
// hold it), Partition_Create and Partition_Delete (through the tree's partition tool), and the one
// entry point for changing partitions that other commands share (the NVMe erase's clean step).
#pragma once

#include <atomic>
#include <vector>

#include "disk/disk_entry.h"
#include "disk/disk_state.h"
#include "engine/command_table.h"
#include "platform/partition_tool.h"

namespace kestrune::disk {

// Runs request on disk through state.tree's partition tool, filling in the target (disk's
// physicalPath and number). Refused before the tool runs: -89 when the disk holds a volume of the
// running system (any volume, not only C:); -79 when the tree has no tool; -2 when
// CheckPartitionRequest refuses it or a create's SizeMB leaves no room on the disk.
platform::PartitionOutcome RunPartitionTool(DiskState& state, const DiskEntry& disk,
                                            platform::PartitionRequest request,
                                            const std::atomic<bool>* cancel);

// Cleans the disk (all partitions removed) and makes the whole disk the current one, printing
// "Change to Disk: %s": the first step of commands that need a RAW disk. A failure is reported
// (-89 for the system disk) and returned; 1 on success.
int32_t CleanToRaw(engine::Interpreter& interp, uint32_t view, const DiskEntry& disk);

// Registers the handlers with the interpreter's command table; the rows that took nothing (none in
// a sound build). Call once at start-up, before any run.
[[nodiscard]] std::vector<engine::HandlerRow> RegisterPartitionCommands(engine::Interpreter& interp);

}  // namespace kestrune::disk
