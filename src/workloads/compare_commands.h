// The compare commands: Compare_SeqReadWrite, Compare_RandReadWrite (the verify engine),
// Compare_WithPattern and Compare_RandSizeOverlap. Each writes or reads data it knows, stops at the first difference and ends
// with the compare report.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "disk/disk_entry.h"
#include "engine/interpreter.h"

namespace kestrune::workloads {

std::vector<engine::HandlerRow> RegisterCompareCommands(engine::Interpreter& interp);

// The current disk when a compare may run on it: RAW, and not the disk of the running system.
// Reports the guard's code (-1 without a disk) and gives nullptr otherwise. Without requireRaw (the
// commands that only make or extend a map file) any current disk will do.
const disk::DiskEntry* CompareTarget(engine::Interpreter& interp, uint32_t view, bool requireRaw = true);

// overlap_compare.cpp
void CompareRandSizeOverlap(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view name);

}  // namespace kestrune::workloads
