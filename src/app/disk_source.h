// Where the disk list comes from: the simulated lab ("/sim", "/sim=FILE.ini") or the system's own
// disks.
#pragma once

#include <memory>
#include <string>

#include "app/command_line.h"
#include "platform/device.h"
#include "platform/file_fetch.h"
#include "platform/host.h"
#include "platform/job_files.h"
#include "platform/pci_config.h"
#include "platform/relay_board.h"
#include "platform/serial_port.h"
#include "platform/system_facts.h"

namespace kestrune::app {

struct DiskSource {
  std::unique_ptr<platform::DeviceTree> tree;  // nullptr: no disk source
  std::string error;                           // set when the chosen source could not be opened
  // The files of the file test commands: the lab's (with the lab file's file faults); nullptr: the
  // system's.
  std::shared_ptr<platform::JobFiles> files;
  // The power hub's serial ports and the USB relay boards that go with the disks: the lab's peers
  // for the lab, the system's otherwise.
  std::unique_ptr<platform::SerialPorts> serialPorts;
  std::unique_ptr<platform::RelayLibrary> relays;
  // The PCI configuration access and the system facts: the lab's (its controllers' configuration
  // spaces live in the lab) or the system's.
  platform::PciConfig* pciConfig = nullptr;
  std::unique_ptr<platform::PciConfig> systemPciConfig;  // owns pciConfig outside the lab
  std::unique_ptr<platform::SystemFacts> facts;
  // The LAN file server's client: the lab's over the folder LabFileServerFolder; nullptr: the
  // system's FTP client.
  std::shared_ptr<platform::FileFetch> fileFetch;
};

// Opens the source the command line asks for. The lab keeps its drives' sparse files in
// SimLabFolder.
DiskSource OpenDiskSource(const CommandLine& cl, const std::string& workFolder, platform::Host& host);

// The folder of the simulated lab's files: the one "SIMDIR:" names, else "simlab" below workFolder.
std::string SimLabFolder(const CommandLine& cl, const std::string& workFolder);

// The folder the lab's file server serves: "fileserver" in the lab's folder.
std::string LabFileServerFolder(const CommandLine& cl, const std::string& workFolder);

// The arguments that give a child instance (CallFnScript) the disks of this one, in Windows
// command-line form: "/sim" or "/sim=FILE" and "SIMDIR:\"<lab folder>\"" for the simulated lab, so
// that the child works on the same drive files; empty for the system's own disks.
std::string ChildDiskArguments(const CommandLine& cl, const std::string& workFolder);

}  // namespace kestrune::app
