#include "app/disk_source.h"

#include "platform/command_line_split.h"
#include "platform/system_devices.h"
#include "sim/lab_file.h"
#include "sim/lab_file_fetch.h"
#include "sim/lab_hub.h"
#include "sim/lab_system_facts.h"
#include "sim/sim_lab.h"

namespace kestrune::app {

DiskSource OpenDiskSource(const CommandLine& cl, const std::string& workFolder, platform::Host& host) {
  DiskSource source;
  if (!cl.simulated) {
    std::vector<std::string> named;
    if (!cl.targetSelector.empty()) named.push_back(cl.targetSelector);
    source.tree = platform::CreateSystemDeviceTree(named);  // nullptr where the system has no backend yet
    source.serialPorts = platform::CreateSystemSerialPorts();
    source.relays = platform::CreateSystemRelayLibrary(host.ProgramFolder());
    source.systemPciConfig = platform::MakeSystemPciConfig(host.ProgramFolder());
    source.pciConfig = source.systemPciConfig.get();
    source.facts = platform::MakeSystemFacts();
    return source;
  }
  sim::LabDescription lab = sim::DefaultLab();
  if (!cl.simLabFile.empty()) {
    sim::LabFileResult file = sim::LoadLabFile(cl.simLabFile);
    if (!file.lab) {
      source.error = file.error;
      return source;
    }
    lab = std::move(*file.lab);
  }
  source.files = sim::MakeLabJobFiles(platform::SystemJobFiles(), lab.files, host);
  const std::optional<sim::LabFileServerDescription> server = lab.fileServer;
  std::string error;
  std::unique_ptr<sim::SimLab> simLab = sim::SimLab::Create(std::move(lab), SimLabFolder(cl, workFolder), host, error);
  if (!simLab) {
    source.error = "the simulated lab cannot start: " + error;
    return source;
  }
  auto hub = std::make_unique<sim::LabPowerHub>(*simLab);
  source.relays = platform::CreateHidRelayLibrary(hub->RelayBus());
  source.serialPorts = std::move(hub);
  source.pciConfig = &simLab->pciConfig();
  source.facts = std::make_unique<sim::LabSystemFacts>();
  source.tree = std::move(simLab);
  auto fetch = std::make_shared<sim::LabFileFetch>(server && !server->folder.empty() ? server->folder
                                                                                  : LabFileServerFolder(cl, workFolder));
  if (server) fetch->SetRules(server->rules);
  source.fileFetch = std::move(fetch);
  return source;
}

std::string SimLabFolder(const CommandLine& cl, const std::string& workFolder) {
  return cl.simFolder.empty() ? platform::JoinPath(workFolder, "simlab") : cl.simFolder;
}

std::string LabFileServerFolder(const CommandLine& cl, const std::string& workFolder) {
  return platform::JoinPath(SimLabFolder(cl, workFolder), "fileserver");
}

std::string ChildDiskArguments(const CommandLine& cl, const std::string& workFolder) {
  if (!cl.simulated) return {};
  std::string sim = cl.simLabFile.empty() ? std::string("/sim") : "/sim=" + cl.simLabFile;
  return platform::QuoteWindowsArgument(sim) + " " +
         platform::QuoteWindowsArgument("SIMDIR:" + SimLabFolder(cl, workFolder));
}

}  // namespace kestrune::app
