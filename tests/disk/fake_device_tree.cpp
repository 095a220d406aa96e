#include "fake_device_tree.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"

namespace kestrune::disk::testing {
namespace {

class FakeDevice final : public platform::Device {
 public:
  FakeDevice(FakeDeviceTree& tree, std::string path, FakeDisk disk)
      : tree_(tree), path_(std::move(path)), disk_(std::move(disk)) {}

  std::optional<uint64_t> Read(uint64_t, std::span<uint8_t>) override { return std::nullopt; }
  std::optional<uint64_t> Write(uint64_t, std::span<const uint8_t>, bool) override { return std::nullopt; }
  bool Flush() override { return false; }
  bool Trim(uint64_t, uint64_t) override { return false; }
  std::optional<uint64_t> LengthBytes() override { return disk_.length; }
  std::optional<uint32_t> SectorSize() override { return disk_.sectorSize; }
  std::optional<bool> WriteCacheEnabled() override { return std::nullopt; }
  std::optional<bool> TrimSupported() override { return std::nullopt; }

  platform::PassStatus Scsi(std::span<const uint8_t> cdb, platform::DataDirection, std::span<uint8_t> data,
                            uint32_t, platform::ScsiResult& result) override {
    tree_.requests.push_back(base::Format("scsi %02Xh %s", cdb.empty() ? 0 : cdb[0], path_.c_str()));
    const std::optional<std::vector<uint8_t>>* answer = nullptr;
    if (!cdb.empty() && cdb[0] == 0x12) answer = &disk_.inquiry;
    if (cdb.size() == 16 && cdb[0] == 0x85 && cdb[14] == 0xEC) answer = &disk_.satIdentify;
    if (cdb.size() == 12 && cdb[0] == 0xA1 && cdb[9] == 0xEC) answer = &disk_.satIdentify;
    if (!answer || !*answer) return platform::PassStatus::kFailed;
    Fill(**answer, data);
    result.status = 0;
    return platform::PassStatus::kOk;
  }

  platform::PassStatus Ata(platform::AtaRegisters& regs, platform::DataDirection, std::span<uint8_t> data,
                           uint32_t) override {
    tree_.requests.push_back("ata " + path_);
    if (regs.command != 0xEC || !disk_.ataIdentify) return platform::PassStatus::kFailed;
    Fill(*disk_.ataIdentify, data);
    regs.command = disk_.ataStatus;
    return platform::PassStatus::kOk;
  }

  platform::PassStatus Nvme(platform::NvmeRoute route, platform::NvmeQueue queue,
                            std::span<const uint8_t, 64> entry, platform::DataDirection,
                            std::span<uint8_t> data, uint32_t,
                            platform::NvmeCompletion& completion) override {
    tree_.requests.push_back(base::Format("nvme %d %s", static_cast<int>(route), path_.c_str()));
    bool identifyController = entry[0] == 0x06 && entry[40] == 1 && queue == platform::NvmeQueue::kAdmin;
    if (!identifyController || !disk_.nvmeIdentify) return platform::PassStatus::kFailed;
    if (disk_.nvmeRoute && *disk_.nvmeRoute != route) return platform::PassStatus::kNotSupported;
    Fill(*disk_.nvmeIdentify, data);
    completion.status = 0;
    return platform::PassStatus::kOk;
  }

 private:
  static void Fill(const std::vector<uint8_t>& from, std::span<uint8_t> to) {
    std::fill(to.begin(), to.end(), 0);
    std::copy_n(from.begin(), std::min(from.size(), to.size()), to.begin());
  }

  FakeDeviceTree& tree_;
  std::string path_;
  FakeDisk disk_;
};

void PutText(std::vector<uint8_t>& data, size_t at, size_t width, const std::string& text) {
  for (size_t i = 0; i < width; ++i) data[at + i] = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
}

}  // namespace

platform::DeviceSnapshot FakeDeviceTree::Enumerate() {
  ++enumerations;
  if (enumerations > 1 && !later.empty()) {
    snapshot = later.front();
    if (later.size() > 1) later.erase(later.begin());
  }
  return snapshot;
}

std::unique_ptr<platform::Device> FakeDeviceTree::Open(const std::string& path, platform::OpenAccess) {
  requests.push_back("open " + path);
  auto it = disks.find(path);
  if (it == disks.end()) return nullptr;
  return std::make_unique<FakeDevice>(*this, path, it->second);
}

bool FakeDeviceTree::Rescan() {
  ++rescans;
  if (duringRescan) duringRescan();
  return true;
}

bool FakeDeviceTree::RemoveNode(const std::string& node) {
  if (!removableNodes.count(node)) return false;
  removed.push_back(node);
  return true;
}

bool FakeDeviceTree::SetNodeEnabled(const std::string& instanceId, bool enable) {
  enabled.emplace_back(instanceId, enable);
  return true;
}

platform::PciLinkReport FakeDeviceTree::PciLink(const std::string& instanceId) {
  auto it = links.find(instanceId);
  return it == links.end() ? platform::PciLinkReport{} : it->second;
}

std::vector<uint8_t> IdentifyControllerData(uint16_t vendorId, const std::string& model,
                                            const std::string& firmware) {
  std::vector<uint8_t> data(4096, 0);
  data[0] = static_cast<uint8_t>(vendorId);
  data[1] = static_cast<uint8_t>(vendorId >> 8);
  data[2] = 0x34;  // subsystem vendor id
  data[3] = 0x12;
  PutText(data, 24, 40, model);
  PutText(data, 64, 8, firmware);
  return data;
}

std::vector<uint8_t> AtaIdentifyData(const std::string& model, const std::string& firmware) {
  std::vector<uint8_t> data(512, 0);
  auto put = [&data](size_t word, size_t words, const std::string& s) {
    for (size_t i = 0; i < 2 * words; ++i) {
      uint8_t c = i < s.size() ? static_cast<uint8_t>(s[i]) : ' ';
      data[2 * word + (i ^ 1)] = c;  // the two bytes of each word are swapped
    }
  };
  put(23, 4, firmware);
  put(27, 20, model);
  return data;
}

std::vector<uint8_t> InquiryData(const std::string& vendor, const std::string& product, uint8_t sig36,
                                 uint8_t sig37, bool removable) {
  std::vector<uint8_t> data(38, 0);
  data[1] = removable ? 0x80 : 0;
  PutText(data, 8, 8, vendor);
  PutText(data, 16, 16, product);
  PutText(data, 32, 4, "1.00");
  data[36] = sig36;
  data[37] = sig37;
  return data;
}

platform::DiskNode Node(uint32_t number, uint32_t busType, const std::string& service) {
  platform::DiskNode n;
  n.friendlyName = base::Format("Disk %u", number);
  n.deviceNumber = number;
  n.physicalPath = base::Format("\\\\.\\PHYSICALDRIVE%u", number);
  n.lengthBytes = 512110190592ULL;
  n.sectorSize = 512;
  n.busType = busType;
  n.parent.name = "Controller";
  n.parent.instanceId = base::Format("PCI\\CTRL&%u", number);
  n.parent.driverService = service;
  return n;
}

}  // namespace kestrune::disk::testing
