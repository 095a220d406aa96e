#include "sim/sim_lab.h"

#include <map>

#include "base/text.h"
#include "sim/device_nodes.h"
#include "sim/lab_file.h"
#include "sim/lab_volumes.h"
#include "sim/sim_device.h"
#include "sim/sim_queue.h"
#include "sim/volume_image.h"

namespace kestrune::sim {

using base::EqualsNoCase;

std::string BackingFileName(const DriveDescription& d) {
  if (d.attachment == Attachment::kSoftwareRaid && !d.volumes.empty()) {
    return std::string("SimRaid") + d.volumes[0].letter + ".img";
  }
  return "SimDisk" + std::to_string(d.deviceNumber) + ".img";
}

std::unique_ptr<SimLab> SimLab::Create(LabDescription lab, const std::string& folder, platform::Host& host,
                                       std::string& error) {
  error = ValidateLab(lab);
  if (!error.empty()) return nullptr;
  if (!host.CreateFolders(folder)) {
    error = "cannot create the lab folder " + folder;
    return nullptr;
  }
  std::unique_ptr<SimLab> result(new SimLab(folder, host));
  for (DriveDescription& d : lab.drives) {
    std::string file = platform::JoinPath(folder, BackingFileName(d));
    auto store = BackingStore::Open(file);
    if (!store) {
      error = "drive [" + d.name + "]: cannot open " + file;
      return nullptr;
    }
    auto drive = std::make_shared<SimDrive>(std::move(d), std::move(store), host);
    if (!PrepareDescribedVolumes(*drive)) {
      error = "drive [" + drive->description().name + "]: its volumes do not fit a partition table";
      return nullptr;
    }
    // Volume images go over what the partition step put into the volumes' first sectors.
    for (const VolumeDescription& v : drive->description().volumes) {
      if (!v.imagePath.empty() && !CopyVolumeImage(*drive, v, error)) {
        error = "drive [" + drive->description().name + "]: " + error;
        return nullptr;
      }
    }
    result->drives_.push_back(std::move(drive));
  }
  result->partitionTool_ = std::make_unique<LabPartitionTool>(result->drives_);
  std::vector<const DriveDescription*> described;
  for (const auto& drive : result->drives_) described.push_back(&drive->description());
  result->pciConfig_ = std::make_unique<LabPciConfig>(described);
  return result;
}

std::unique_ptr<SimLab> SimLab::CreateFromFile(const std::string& labFile, const std::string& folder,
                                               platform::Host& host, std::string& error) {
  if (labFile.empty()) return Create(DefaultLab(), folder, host, error);
  LabFileResult file = LoadLabFile(labFile);
  if (!file.lab) {
    error = file.error;
    return nullptr;
  }
  return Create(std::move(*file.lab), folder, host, error);
}

platform::DeviceSnapshot SimLab::Enumerate() {
  platform::DeviceSnapshot snap;
  std::vector<std::string> adapterOrder;
  std::map<std::string, platform::AdapterNode> adapters;
  std::lock_guard lock(nodeMutex_);
  for (const auto& drive : drives_) {
    const DriveDescription& d = drive->description();
    const bool present = drive->Present();
    if (d.attachment == Attachment::kSoftwareRaid) {
      if (present) {
        for (auto& v : VolumeNodesFor(d)) snap.volumes.push_back(std::move(v));
      }
      continue;
    }
    platform::DiskNode node = DiskNodeFor(d);
    const std::string& parent = node.parent.instanceId;
    // A PCI controller stays in the tree without its disks; a USB device goes with its disk.
    const bool adapterShown =
        ParentIsAdapter(d) && !removedParents_.count(parent) && (present || !IsUsbAttachment(d.attachment));
    if (adapterShown) {
      auto [it, fresh] = adapters.try_emplace(parent);
      if (fresh) {
        adapterOrder.push_back(parent);
        it->second.instanceId = parent;
        it->second.description = node.parent.name;
      }
      if (present) it->second.childDiskNumbers.push_back(d.deviceNumber);
    }
    if (!present) continue;
    for (auto& v : VolumeNodesOf(*drive)) snap.volumes.push_back(std::move(v));
    snap.disks.push_back(std::move(node));
  }
  for (const std::string& id : adapterOrder) snap.adapters.push_back(adapters[id]);
  return snap;
}

SimDevice::Opening SimLab::Find(const std::string& path) const {
  SimDevice::Opening o;
  o.path = path;
  for (const auto& drive : drives_) {
    const DriveDescription& d = drive->description();
    if (d.attachment != Attachment::kSoftwareRaid && EqualsNoCase(path, PhysicalDrivePath(d.deviceNumber))) {
      o.drive = drive;
      o.target = HandleTarget::kDisk;
      o.length = d.capacityBytes;
      break;
    }
    if (d.attachment == Attachment::kSoftwareRaid) {
      for (const VolumeDescription& v : d.volumes) {
        if (EqualsNoCase(path, VolumePath(v.letter))) {
          o.drive = drive;
          o.target = HandleTarget::kVolume;
          o.base = v.offset;
          o.length = v.sizeBytes;
        }
      }
    } else if (path.size() == 6 && path.back() == ':') {
      auto lock = drive->Lock();
      for (const LabVolume& v : LiveVolumesLocked(*drive)) {
        if (EqualsNoCase(path, VolumePath(v.letter))) {
          o.drive = drive;
          o.target = HandleTarget::kVolume;
          o.base = v.offset;
          o.length = v.sizeBytes;
        }
      }
    }
    if (o.drive) break;
  }
  for (size_t i = 0; !o.drive && i < drives_.size(); ++i) {
    const DriveDescription& d = drives_[i]->description();
    if (d.attachment != Attachment::kSoftwareRaid && EqualsNoCase(path, ScsiPortPath(d.scsiPort))) {
      o.drive = drives_[i];  // the first drive on the port
      o.target = HandleTarget::kScsiPort;
    }
  }
  return o;
}

bool SimLab::AdmitOpen(const SimDevice::Opening& o, const char* operation) {
  RequestRecord rec;
  rec.operation = operation;
  rec.path = o.path;
  bool admitted = false;
  if (!o.drive) {
    rec.result = "not found";
  } else if (!o.drive->AdmitOpen()) {
    rec.result = o.drive->Present() ? "failed" : "gone";
  } else {
    rec.result = "ok";
    admitted = true;
  }
  log_.Add(std::move(rec));
  return admitted;
}

std::unique_ptr<platform::Device> SimLab::Open(const std::string& path, platform::OpenAccess access) {
  SimDevice::Opening o = Find(path);
  o.access = access;
  if (!AdmitOpen(o, "Open")) return nullptr;
  return std::make_unique<SimDevice>(std::move(o), log_, host_);
}

std::unique_ptr<platform::AsyncQueue> SimLab::OpenQueue(const std::string& path,
                                                        const platform::QueueOptions& options,
                                                        platform::Host& host, std::string& why) {
  if (options.depth == 0 || options.depth > platform::kMaxQueueDepth) {
    why = base::Format("a queue has a depth of 1 to %u requests", platform::kMaxQueueDepth);
    return nullptr;
  }
  SimDevice::Opening o = Find(path);
  if (o.drive && o.target == HandleTarget::kScsiPort) {
    why = path + " is a SCSI port: it has no sectors to queue requests on";
    return nullptr;
  }
  if (!AdmitOpen(o, "OpenQueue")) {
    why =
        !o.drive ? "the lab has no disk or volume " + path : "the lab's drive of " + path + " does not open";
    return nullptr;
  }
  SimQueue::Opening q{o.drive, o.base, o.length, options};
  return std::make_unique<SimQueue>(std::move(q), host);
}

bool SimLab::Rescan() {
  std::lock_guard lock(nodeMutex_);
  removedParents_.clear();
  for (const auto& drive : drives_) drive->SetRemoved(false);
  return true;
}

bool SimLab::RemoveNode(const std::string& pathOrInstanceId) {
  std::lock_guard lock(nodeMutex_);
  bool found = false;
  for (const auto& drive : drives_) {
    const DriveDescription& d = drive->description();
    if (d.attachment == Attachment::kSoftwareRaid) continue;
    if (EqualsNoCase(pathOrInstanceId, PhysicalDrivePath(d.deviceNumber))) {
      if (!drive->Present()) return false;
      drive->SetRemoved(true);
      return true;
    }
    const std::string parent = ParentNodeFor(d).instanceId;
    if (EqualsNoCase(pathOrInstanceId, parent) && !removedParents_.count(parent)) {
      drive->SetRemoved(true);
      found = true;
    }
  }
  if (found) removedParents_.insert(pathOrInstanceId);
  return found;
}

bool SimLab::SetNodeEnabled(const std::string& instanceId, bool enable) {
  std::lock_guard lock(nodeMutex_);
  bool found = false;
  for (const auto& drive : drives_) {
    const DriveDescription& d = drive->description();
    if (d.attachment == Attachment::kSoftwareRaid || !EqualsNoCase(instanceId, ParentNodeFor(d).instanceId))
      continue;
    drive->SetDisabled(!enable);
    found = true;
  }
  return found;
}

platform::PciLinkReport SimLab::PciLink(const std::string& instanceId) {
  std::lock_guard lock(nodeMutex_);
  if (removedParents_.count(instanceId)) return {};
  for (const auto& drive : drives_) {
    const DriveDescription& d = drive->description();
    if (!HasPciController(d.attachment) || !EqualsNoCase(instanceId, ParentNodeFor(d).instanceId)) continue;
    platform::PciLinkReport r = PciLinkFor(d);
    if (std::optional<uint32_t> gen = pciConfig_->RetrainedGeneration(d.pciBus, d.pciDevice, d.pciFunction))
      r.currentSpeed = {"", *gen};
    return r;
  }
  return {};
}

std::vector<platform::PciDeviceNode> SimLab::PciDevices() {
  std::lock_guard lock(nodeMutex_);
  std::vector<const DriveDescription*> shown;
  for (const auto& drive : drives_) {
    const DriveDescription& d = drive->description();
    if (HasPciController(d.attachment) && !removedParents_.count(ParentNodeFor(d).instanceId))
      shown.push_back(&d);
  }
  return PciDeviceNodesFor(shown);
}

std::shared_ptr<SimDrive> SimLab::Drive(std::string_view pathOrName) const {
  for (const auto& drive : drives_) {
    const DriveDescription& d = drive->description();
    if (EqualsNoCase(pathOrName, d.name)) return drive;
    if (d.attachment != Attachment::kSoftwareRaid &&
        EqualsNoCase(pathOrName, PhysicalDrivePath(d.deviceNumber))) {
      return drive;
    }
    if (d.attachment == Attachment::kSoftwareRaid) {
      for (const VolumeDescription& v : d.volumes)
        if (EqualsNoCase(pathOrName, VolumePath(v.letter))) return drive;
      continue;
    }
    auto lock = drive->Lock();
    for (const LabVolume& v : LiveVolumesLocked(*drive))
      if (EqualsNoCase(pathOrName, VolumePath(v.letter))) return drive;
  }
  return nullptr;
}

void SimLab::PowerCut() {
  for (const auto& drive : drives_) drive->PowerCut();
}

void SimLab::ShutDown() {
  for (const auto& drive : drives_) drive->ShutDown();
}

}  // namespace kestrune::sim
