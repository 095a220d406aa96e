#include "app/disk_source.h"

#include "sim/lab_file.h"
#include "sim/sim_lab.h"

namespace kestrune::app {

DiskSource OpenDiskSource(const CommandLine& cl, const std::string& workFolder, platform::Host& host) {
  DiskSource source;
  if (!cl.simulated) return source;  // the system's own disks arrive with the real backends
  sim::LabDescription lab = sim::DefaultLab();
  if (!cl.simLabFile.empty()) {
    sim::LabFileResult file = sim::LoadLabFile(cl.simLabFile);
    if (!file.lab) {
      source.error = file.error;
      return source;
    }
    lab = std::move(*file.lab);
  }
  std::string error;
  source.tree = sim::SimLab::Create(std::move(lab), platform::JoinPath(workFolder, "simlab"), host, error);
  if (!source.tree) source.error = "the simulated lab cannot start: " + error;
  return source;
}

}  // namespace kestrune::app
