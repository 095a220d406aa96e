// Where a block workload runs, by the current disk's mode: RAW and a whole disk with volumes use the
// device itself, a volume (partition mode) a test file of the job's size in its root. The guards of
// every writing job come first: no writes to a whole disk that carries volumes, none to the disk of
// the running system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "disk/disk_entry.h"
#include "disk/target_mode.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::workloads {

struct ChosenTarget {
  disk::TargetMode mode = disk::TargetMode::kRaw;
  std::string path;
  std::string testFile;  // removed after the job (RemoveTestFile); empty without one
};

// Picks the target by the current disk's mode and, on a volume, prepares the test file of fileBytes
// ("Wait for Parpare Test File..." first). Writes never touch a whole disk with volumes (nor, with
// wholeDiskReads false, any access there) or the disk of the running system. Reports the fault (-22,
// -19, or the cancel line) and gives nullopt when the job cannot run.
std::optional<ChosenTarget> ChooseTarget(engine::Interpreter& interp, uint32_t view,
                                         const disk::DiskEntry& disk, bool writes, bool wholeDiskReads,
                                         uint64_t fileBytes);

// Removes the test file of target, when it has one.
void RemoveTestFile(const ChosenTarget& target);

}  // namespace kestrune::workloads
