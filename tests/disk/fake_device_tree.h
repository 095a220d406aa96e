// A device tree for disk tests: a fixed snapshot, and disks that answer INQUIRY, IDENTIFY DEVICE
// and Identify Controller with canned bytes. Node control is recorded.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/device.h"

namespace kestrune::disk::testing {

// What one openable path answers. A missing answer makes the request fail.
struct FakeDisk {
  std::optional<std::vector<uint8_t>> inquiry;       // INQUIRY data
  std::optional<std::vector<uint8_t>> satIdentify;   // IDENTIFY DEVICE through ATA PASS-THROUGH(12) or (16)
  std::optional<std::vector<uint8_t>> ataIdentify;   // IDENTIFY DEVICE through the ATA pass-through
  uint8_t ataStatus = 0x50;                          // status register after the ATA pass-through
  std::optional<std::vector<uint8_t>> nvmeIdentify;  // Identify Controller
  std::optional<platform::NvmeRoute> nvmeRoute;      // the only route that answers (any when unset)
  std::optional<uint64_t> length;
  std::optional<uint32_t> sectorSize;
};

class FakeDeviceTree final : public platform::DeviceTree {
 public:
  platform::DeviceSnapshot snapshot;
  std::map<std::string, FakeDisk> disks;  // by path
  std::set<std::string> removableNodes;   // paths and instance ids RemoveNode succeeds on
  std::vector<std::string> requests;      // "open PATH", "scsi XXh PATH", "ata PATH", "nvme ROUTE PATH"
  std::vector<std::string> removed;       // nodes removed, in order
  std::vector<std::pair<std::string, bool>> enabled;  // SetNodeEnabled calls
  int rescans = 0;
  int enumerations = 0;
  // Called on every Rescan before it returns (tests use it to start a second scan meanwhile).
  std::function<void()> duringRescan;
  // Snapshots Enumerate hands out in turn after the first; the last one stays.
  std::vector<platform::DeviceSnapshot> later;
  // What PciLink reports for an instance id (an empty report for any other), and what PciDevices lists.
  std::map<std::string, platform::PciLinkReport> links;
  std::vector<platform::PciDeviceNode> pciDevices;

  platform::DeviceSnapshot Enumerate() override;
  std::unique_ptr<platform::Device> Open(const std::string& path, platform::OpenAccess access) override;
  bool Rescan() override;
  bool RemoveNode(const std::string& pathOrInstanceId) override;
  bool SetNodeEnabled(const std::string& instanceId, bool enable) override;
  platform::PciLinkReport PciLink(const std::string& instanceId) override;
  std::vector<platform::PciDeviceNode> PciDevices() override { return pciDevices; }
};

// Canned identify and INQUIRY data.
std::vector<uint8_t> IdentifyControllerData(uint16_t vendorId, const std::string& model,
                                            const std::string& firmware);
std::vector<uint8_t> AtaIdentifyData(const std::string& model, const std::string& firmware);
std::vector<uint8_t> InquiryData(const std::string& vendor, const std::string& product, uint8_t sig36 = 0,
                                 uint8_t sig37 = 0, bool removable = false);

// A disk node on a bus below a parent with the given driver service.
platform::DiskNode Node(uint32_t number, uint32_t busType, const std::string& service);

}  // namespace kestrune::disk::testing
