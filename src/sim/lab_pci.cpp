#include "sim/lab_pci.h"

#include <algorithm>

#include "base/bytes.h"
#include "base/text.h"

namespace kestrune::sim {
namespace {

using platform::PciAccessFailure;

// The capability list: power management, MSI, PCI Express, MSI-X.
constexpr uint32_t kPmCapability = 0x40;
constexpr uint32_t kMsiCapability = 0x50;
constexpr uint32_t kMsixCapability = 0xB0;
constexpr uint32_t kLinkCapabilities = kLabPcieCapability + 0x0C;
constexpr uint32_t kLinkControl = kLabPcieCapability + 0x10;
constexpr uint32_t kLinkStatus = kLabPcieCapability + 0x12;
constexpr uint32_t kLinkCapabilities2 = kLabPcieCapability + 0x2C;
constexpr uint32_t kLinkControl2 = kLabPcieCapability + 0x30;
constexpr uint16_t kRetrain = 1u << 5;
constexpr uint16_t kTraining = 1u << 11;
constexpr uint16_t kLinkActive = 1u << 13;
constexpr uint16_t kLabPortDeviceId = 0x5A01;

constexpr uint32_t kDefaultGeneration = 3;
constexpr uint32_t kDefaultWidth = 4;

uint32_t GenerationOfTenths(uint32_t tenths) {
  constexpr uint32_t kTenths[] = {25, 50, 80, 160, 320, 640};
  for (uint32_t g = 0; g < 6; ++g)
    if (kTenths[g] == tenths) return g + 1;
  return 0;
}

void Put16(std::array<uint8_t, 256>& b, uint32_t at, uint16_t v) { base::PutLe16(b.data() + at, v); }
void Put32(std::array<uint8_t, 256>& b, uint32_t at, uint32_t v) { base::PutLe32(b.data() + at, v); }
uint16_t Get16(const std::array<uint8_t, 256>& b, uint32_t at) { return base::GetLe16(b.data() + at); }

}  // namespace

std::array<uint8_t, platform::kPciHeaderBytes> LabConfigHeader(const DriveDescription& d) {
  std::array<uint8_t, 256> h{};
  Put16(h, 0x00, d.pciVendorId);
  Put16(h, 0x02, kLabPciDeviceId);
  Put16(h, 0x04, 0x0406);  // memory space, bus master, INTx disabled
  Put16(h, 0x06, 0x0010);  // a capability list
  h[0x08] = 0x01;          // revision
  h[0x09] = 0x02;          // NVM Express
  h[0x0A] = 0x08;          // non-volatile memory controller
  h[0x0B] = 0x01;          // mass storage
  h[0x0C] = 0x10;          // cache line 64 bytes
  const uint32_t memory = 0xFC000000u | (d.pciBus & 0xFF) << 16;
  Put32(h, 0x10, memory | 0x4);                          // 64-bit, non-prefetchable
  Put32(h, 0x14, 0);                                     // its upper half
  Put32(h, 0x18, 0x0000E001u | (d.pciBus & 0x0F) << 8);  // the index/data pair in I/O space
  Put16(h, 0x2C, d.pciVendorId);
  Put16(h, 0x2E, 0x0001);
  h[0x34] = kPmCapability;
  h[0x3C] = 0xFF;
  h[0x3D] = 0x01;
  // Power management, version 3, D0.
  h[kPmCapability] = 0x01;
  h[kPmCapability + 1] = kMsiCapability;
  Put16(h, kPmCapability + 2, 0x0003);
  Put16(h, kPmCapability + 4, 0x0008);
  // MSI, 64-bit, 32 vectors offered.
  h[kMsiCapability] = 0x05;
  h[kMsiCapability + 1] = kLabPcieCapability;
  Put16(h, kMsiCapability + 2, 0x008A);
  // PCI Express, version 2, an endpoint.
  uint32_t maxGen = GenerationOfTenths(d.pcie.maxSpeedTenths);
  uint32_t gen = GenerationOfTenths(d.pcie.speedTenths);
  if (maxGen == 0) maxGen = std::max(gen, kDefaultGeneration);
  if (gen == 0) gen = maxGen;
  const uint32_t maxWidth = d.pcie.maxWidth != 0 ? d.pcie.maxWidth : std::max(d.pcie.width, kDefaultWidth);
  const uint32_t width = d.pcie.width != 0 ? d.pcie.width : maxWidth;
  h[kLabPcieCapability] = 0x10;
  h[kLabPcieCapability + 1] = kMsixCapability;
  Put16(h, kLabPcieCapability + 2, 0x0002);
  Put32(h, kLabPcieCapability + 4, 0x10008FC3u);  // device capabilities: FLR, 4 KiB payload class
  Put16(h, kLabPcieCapability + 8, 0x2810);       // device control
  Put32(h, kLinkCapabilities, (maxGen & 0xF) | (maxWidth & 0x3F) << 4 | 0x00400C00u);
  Put16(h, kLinkControl, 0x0040);
  Put16(h, kLinkStatus, static_cast<uint16_t>((gen & 0xF) | (width & 0x3F) << 4 | 0x1000));
  Put32(h, kLinkCapabilities2, ((1u << maxGen) - 1) << 1);
  Put16(h, kLinkControl2, static_cast<uint16_t>(maxGen));
  // MSI-X, 65 vectors in BAR0; the end of the list.
  h[kMsixCapability] = 0x11;
  h[kMsixCapability + 1] = 0x00;
  Put16(h, kMsixCapability + 2, 0x0040);
  Put32(h, kMsixCapability + 4, 0x00002000);
  Put32(h, kMsixCapability + 8, 0x00003000);
  return h;
}

std::array<uint8_t, platform::kPciHeaderBytes> LabPortHeader(const DriveDescription& d) {
  const std::array<uint8_t, 256> controller = LabConfigHeader(d);
  const uint32_t width = (Get16(controller, kLinkStatus) >> 4) & 0x3F;
  const uint32_t maxWidth = (base::GetLe32(controller.data() + kLinkCapabilities) >> 4) & 0x3F;
  const uint32_t gen = Get16(controller, kLinkStatus) & 0xF;
  const std::array<uint32_t, 3> at = d.pcie.rootPort.value_or(std::array<uint32_t, 3>{});
  std::array<uint8_t, 256> h{};
  Put16(h, 0x00, d.pciVendorId);
  Put16(h, 0x02, kLabPortDeviceId);
  Put16(h, 0x04, 0x0407);  // I/O and memory space, bus master
  Put16(h, 0x06, 0x0010);  // a capability list
  h[0x0A] = 0x04;          // PCI-to-PCI bridge
  h[0x0B] = 0x06;          // bridge device
  h[0x0E] = 0x01;          // type 1 header
  h[0x18] = static_cast<uint8_t>(at[0]);
  h[0x19] = static_cast<uint8_t>(d.pciBus);
  h[0x1A] = static_cast<uint8_t>(d.pciBus);
  h[0x34] = kLabPortPcieCapability;
  const uint32_t cap = kLabPortPcieCapability;
  h[cap] = 0x10;
  h[cap + 1] = 0x00;
  Put16(h, cap + 2, 0x0042);  // version 2, a root port
  Put32(h, cap + 0x0C, kLabPortGeneration | (maxWidth & 0x3F) << 4 | 0x00700C00u);
  Put16(h, cap + 0x10, 0x0040);
  Put16(h, cap + 0x12, static_cast<uint16_t>(gen | width << 4 | kLinkActive));
  Put32(h, cap + 0x2C, ((1u << kLabPortGeneration) - 1) << 1);
  Put16(h, cap + 0x30, static_cast<uint16_t>(kLabPortGeneration));
  return h;
}

class LabPciConfig::Session final : public platform::PciConfigSession {
 public:
  Session(LabPciConfig& owner, uint32_t key) : owner_(owner), key_(key) {}

  std::optional<uint32_t> Read(uint32_t offset, std::span<uint8_t> buffer, PciAccessFailure& failure,
                               std::string& why) override {
    if (offset + buffer.size() > platform::kPciExtendedBytes) {
      failure = PciAccessFailure::kFailed;
      why = "a read past the configuration space";
      return std::nullopt;
    }
    std::fill(buffer.begin(), buffer.end(), 0);
    std::lock_guard lock(owner_.mutex_);
    Space& s = owner_.spaces_.at(key_);
    std::array<uint8_t, 256> shown = s.bytes;
    if (s.training) Put16(shown, kLabPortPcieCapability + 0x12, Get16(shown, kLabPortPcieCapability + 0x12) | kTraining);
    s.training = false;
    // The extended space behind the header holds no capability: it reads as zero.
    for (uint32_t i = 0; i < buffer.size() && offset + i < shown.size(); ++i)
      buffer[i] = shown[offset + i];
    return static_cast<uint32_t>(buffer.size());
  }

  bool Write(uint32_t offset, std::span<const uint8_t> data, PciAccessFailure& failure,
             std::string& why) override {
    const size_t n = data.size();
    if ((n != 1 && n != 2 && n != 4) || offset % n != 0 || offset + n > platform::kPciHeaderBytes) {
      failure = PciAccessFailure::kFailed;
      why = base::Format("a write of %zu bytes at 0x%X is no register access", n, offset);
      return false;
    }
    std::lock_guard lock(owner_.mutex_);
    owner_.WriteLocked(key_, offset, data);
    return true;
  }

 private:
  LabPciConfig& owner_;
  uint32_t key_;
};

LabPciConfig::LabPciConfig(const std::vector<const DriveDescription*>& drives) {
  for (const DriveDescription* d : drives) {
    if (!IsPciNvmeAttachment(d->attachment)) continue;
    const uint32_t key = Key(d->pciBus, d->pciDevice, d->pciFunction);
    spaces_.try_emplace(key, Space{LabConfigHeader(*d), false, std::nullopt});
    if (const auto& at = d->pcie.rootPort)
      spaces_.try_emplace(Key((*at)[0], (*at)[1], (*at)[2]), Space{LabPortHeader(*d), false, key});
  }
}

std::unique_ptr<platform::PciConfigSession> LabPciConfig::Open(const platform::PciFunction& fn,
                                                               PciAccessFailure& failure, std::string& why) {
  std::lock_guard lock(mutex_);
  const uint32_t key = Key(fn.bus, fn.device, fn.function);
  if (fn.bus > 255 || fn.device > 31 || fn.function > 7 || !spaces_.count(key)) {
    failure = PciAccessFailure::kNoFunction;
    why = base::Format("the lab has no PCI function %02X:%02X.%X", fn.bus, fn.device, fn.function);
    return nullptr;
  }
  return std::make_unique<Session>(*this, key);
}

std::optional<uint32_t> LabPciConfig::RetrainedGeneration(uint32_t bus, uint32_t device,
                                                          uint32_t function) const {
  std::lock_guard lock(mutex_);
  auto it = spaces_.find(Key(bus, device, function));
  if (it == spaces_.end() || !it->second.retrained) return std::nullopt;
  return Get16(it->second.bytes, kLinkStatus) & 0xFu;
}

void LabPciConfig::WriteLocked(uint32_t key, uint32_t offset, std::span<const uint8_t> data) {
  Space& s = spaces_.at(key);
  auto& b = s.bytes;
  const uint32_t cap = s.below ? kLabPortPcieCapability : kLabPcieCapability;
  // The writable registers: Command, Link Control and Link Control 2 (16 bits each).
  for (uint32_t reg : {0x04u, cap + 0x10, cap + 0x30}) {
    std::array<uint8_t, 2> value{b[reg], b[reg + 1]};
    bool touched = false;
    for (size_t i = 0; i < data.size(); ++i) {
      const uint32_t at = offset + static_cast<uint32_t>(i);
      if (at == reg || at == reg + 1) {
        value[at - reg] = data[i];
        touched = true;
      }
    }
    if (!touched) continue;
    uint16_t v = static_cast<uint16_t>(value[0] | value[1] << 8);
    const bool retrain = reg == cap + 0x10 && (v & kRetrain);
    if (reg == cap + 0x10) v = static_cast<uint16_t>(v & ~kRetrain);  // Retrain Link always reads 0
    Put16(b, reg, v);
    if (retrain && s.below) TrainLocked(s, spaces_.at(*s.below));
  }
}

void LabPciConfig::TrainLocked(Space& port, Space& controller) {
  auto highest = [](const std::array<uint8_t, 256>& b, uint32_t cap) {
    return base::GetLe32(b.data() + cap + 0x0C) & 0xF;
  };
  auto wanted = [&](const std::array<uint8_t, 256>& b, uint32_t cap) {
    const uint32_t target = Get16(b, cap + 0x30) & 0xF;
    return target == 0 ? highest(b, cap) : std::min(target, highest(b, cap));
  };
  const uint32_t gen = std::min(wanted(port.bytes, kLabPortPcieCapability), wanted(controller.bytes, kLabPcieCapability));
  for (auto [space, cap] : {std::pair{&port, kLabPortPcieCapability}, std::pair{&controller, kLabPcieCapability}}) {
    const uint16_t status = Get16(space->bytes, cap + 0x12);
    Put16(space->bytes, cap + 0x12, static_cast<uint16_t>((status & ~0xFu) | gen));
  }
  port.training = true;
  controller.retrained = true;
}

}  // namespace kestrune::sim
