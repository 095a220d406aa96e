// The simulated lab: a DeviceTree whose disks, controllers and volumes are simulated drives.
// Each drive keeps its contents in a sparse file in the lab's folder (reused when the file is
// already there, so a restarted program finds its data again).
//
// Paths, spelled as on Windows on every system and matched without regard to case:
// "\\.\PHYSICALDRIVEn" (a disk), "\\.\X:" (a volume, or a software RAID volume), "\\.\scsiN:"
// (the SCSI port of a drive, for the miniport NVMe routes; the first drive on that port).
#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/device.h"
#include "platform/host.h"
#include "platform/partition_tool.h"
#include "sim/lab_description.h"
#include "sim/lab_pci.h"
#include "sim/request_log.h"
#include "sim/sim_device.h"
#include "sim/sim_drive.h"

namespace kestrune::sim {

class SimLab : public platform::DeviceTree {
 public:
  // Builds the lab, creating folder when missing. nullptr, with the reason in error, when the
  // description is not sound (ValidateLab) or a drive's file cannot be made. host gives the time
  // for stalls and returning drives and must outlive the lab.
  static std::unique_ptr<SimLab> Create(LabDescription lab, const std::string& folder, platform::Host& host,
                                        std::string& error);

  // The lab of a lab file (lab_file.h), or DefaultLab() when labFile is empty; what start-up calls
  // for "/sim" and "/sim=FILE". The error names the file and the problem.
  static std::unique_ptr<SimLab> CreateFromFile(const std::string& labFile, const std::string& folder,
                                                platform::Host& host, std::string& error);

  platform::DeviceSnapshot Enumerate() override;
  std::unique_ptr<platform::Device> Open(const std::string& path, platform::OpenAccess access) override;
  // Brings back removed nodes (not unplugged drives, not disabled controllers).
  bool Rescan() override;
  // A disk by its physical path, or a controller (with its disks) by its instance id.
  bool RemoveNode(const std::string& pathOrInstanceId) override;
  // Disables or enables a controller and its disks.
  bool SetNodeEnabled(const std::string& instanceId, bool enable) override;
  // The link the lab file gives a drive's controller, and the controllers and root ports (not those
  // a RemoveNode took away).
  platform::PciLinkReport PciLink(const std::string& instanceId) override;
  std::vector<platform::PciDeviceNode> PciDevices() override;
  // The lab's queue (sim_queue.h) on a disk or volume path; never on a SCSI port.
  std::unique_ptr<platform::AsyncQueue> OpenQueue(const std::string& path,
                                                  const platform::QueueOptions& options, platform::Host& host,
                                                  std::string& why) override;
  // The lab's partition tool (lab_volumes.h): real tables and boot sectors on the lab's drives.
  platform::PartitionTool* Partitioner() override { return partitionTool_.get(); }

  // ---- For tests and the simulated power and platform commands ----
  // A drive by its physical path, a volume path, or its section name (case-insensitive).
  std::shared_ptr<SimDrive> Drive(std::string_view pathOrName) const;
  const std::vector<std::shared_ptr<SimDrive>>& drives() const { return drives_; }
  // Every drive loses its unflushed writes, as when the PC loses power.
  void PowerCut();
  // Every drive's ShutDown: what an orderly restart of the machine does to them.
  void ShutDown();
  RequestLog& requestLog() { return log_; }
  // The configuration spaces of the lab's NVMe controllers (lab_pci.h); a retrain there changes
  // the current link PciLink reports.
  LabPciConfig& pciConfig() { return *pciConfig_; }
  const std::string& folder() const { return folder_; }

 private:
  SimLab(std::string folder, platform::Host& host) : folder_(std::move(folder)), host_(host) {}
  // What a path reaches: a drive's disk, one of its volumes or its SCSI port; no drive when the
  // path names none.
  SimDevice::Opening Find(const std::string& path) const;
  // Admits the open of what Find gave (an injected open failure, an absent drive) and logs it as
  // operation; false when it must fail.
  bool AdmitOpen(const SimDevice::Opening& o, const char* operation);

  std::string folder_;
  platform::Host& host_;
  std::vector<std::shared_ptr<SimDrive>> drives_;
  RequestLog log_;
  std::mutex nodeMutex_;  // guards the controller sets below
  std::set<std::string> removedParents_;
  std::unique_ptr<platform::PartitionTool> partitionTool_;
  std::unique_ptr<LabPciConfig> pciConfig_;
};

// The name of a drive's file in the lab folder: "SimDisk<n>.img", software RAID "SimRaid<X>.img".
std::string BackingFileName(const DriveDescription& d);

}  // namespace kestrune::sim
