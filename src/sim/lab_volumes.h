// The volumes of the lab's drives as their own sectors show them: the partition table (MBR or GPT)
// names the partitions, each partition's boot sector its file system, and the drive letters the
// lab's system gave partitions (SimDrive::letters) make them volumes. The lab's partition tool
// writes those tables and boot sectors as the system's partitioning tool does.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/device.h"
#include "platform/partition_tool.h"
#include "sim/sim_drive.h"

namespace kestrune::sim {

struct LabVolume {
  char letter = 'D';
  uint64_t offset = 0;
  uint64_t sizeBytes = 0;    // the partition: what the volume's handle reads and writes
  uint64_t totalBytes = 0;   // what the system reports as its size: the file system's where it says
  uint64_t freeBytes = 0;
  std::string label;
  std::string fileSystem;  // "NTFS", "exFAT"; empty when the boot sector names none
};

// The volumes of a drive (not a software RAID drive): each lettered partition the table lists.
// Call with the drive's lock held.
std::vector<LabVolume> LiveVolumesLocked(SimDrive& drive);
// The same as the system reports them (takes the lock).
std::vector<platform::VolumeNode> VolumeNodesOf(SimDrive& drive);

// For a drive whose description gives volumes: writes a partition table for them (MBR when it can
// hold them, else GPT) and an NTFS boot sector at each, unless sector 0 already carries a table,
// and gives the described letters to the partitions at their offsets. False when a write fails.
bool PrepareDescribedVolumes(SimDrive& drive);

// The lab's partition tool over the drives of a lab (the list must outlive the tool).
class LabPartitionTool final : public platform::PartitionTool {
 public:
  explicit LabPartitionTool(const std::vector<std::shared_ptr<SimDrive>>& drives) : drives_(drives) {}
  platform::PartitionOutcome Run(const platform::PartitionRequest& request,
                                 const std::atomic<bool>* cancel) override;

 private:
  // The letters no drive of the lab uses, D: to Z:.
  std::vector<char> FreeLetters(const SimDrive* except);

  const std::vector<std::shared_ptr<SimDrive>>& drives_;
  std::mutex runMutex_;   // one request at a time
  uint32_t creates_ = 0;  // creates so far (each table gets GUIDs of its own)
};

}  // namespace kestrune::sim
