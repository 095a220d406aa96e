// The configuration spaces of the lab's NVMe controllers (drives on a PCI controller, kinds 10 to
// 12): a 256-byte header as an NVMe controller shows it (class 01 08 02, a 64-bit memory BAR, an
// I/O BAR, a capability list of power management, MSI, PCI Express and MSI-X), its link from the
// lab keys LinkSpeed/LinkWidth/MaxLinkSpeed/MaxLinkWidth (Gen3 x4 where they give none).
//
// Writes reach only the registers a controller lets software change (Command, Link Control, Link
// Control 2); a write of Link Control with Retrain Link set trains the link again at the target
// speed of Link Control 2 (no higher than the link can go), and the lab's PciLink reports the new
// speed from then on. Thread-safe.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/pci_config.h"
#include "sim/lab_description.h"

namespace kestrune::sim {

inline constexpr uint32_t kLabPcieCapability = 0x70;
inline constexpr uint16_t kLabPciDeviceId = 0x5016;

// The header of a drive's controller, as the lab starts it.
std::array<uint8_t, platform::kPciHeaderBytes> LabConfigHeader(const DriveDescription& d);

class LabPciConfig final : public platform::PciConfig {
 public:
  explicit LabPciConfig(const std::vector<const DriveDescription*>& drives);

  std::unique_ptr<platform::PciConfigSession> Open(const platform::PciFunction& fn,
                                                   platform::PciAccessFailure& failure,
                                                   std::string& why) override;
  bool Simulated() const override { return true; }

  // The current link generation of the controller at (bus,device,function) once a retrain changed
  // it; nullopt before that or for a location without a controller.
  std::optional<uint32_t> RetrainedGeneration(uint32_t bus, uint32_t device, uint32_t function) const;

 private:
  class Session;
  struct Space {
    std::array<uint8_t, platform::kPciHeaderBytes> bytes{};
    bool retrained = false;
  };
  static uint32_t Key(uint32_t bus, uint32_t device, uint32_t function) {
    return bus << 8 | device << 3 | function;
  }
  void WriteLocked(Space& s, uint32_t offset, std::span<const uint8_t> data);

  mutable std::mutex mutex_;  // guards spaces_
  std::map<uint32_t, Space> spaces_;
};

}  // namespace kestrune::sim
