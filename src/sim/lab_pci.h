// The configuration spaces of the lab's NVMe controllers (drives on a PCI controller, kinds 10 to
// 12): a 256-byte header as an NVMe controller shows it (class 01 08 02, a 64-bit memory BAR, an
// I/O BAR, a capability list of power management, MSI, PCI Express and MSI-X), its link from the
// lab keys LinkSpeed/LinkWidth/MaxLinkSpeed/MaxLinkWidth (Gen3 x4 where they give none).
//
// A drive with a RootPort key also has that port's space: a type 1 header (secondary bus the
// controller's) with a PCI Express capability of a root port that runs up to Gen5 at the
// controller's widest link.
//
// Writes reach only the registers software may change (Command, Link Control, Link Control 2).
// Retrain Link counts only in the port's Link Control, as on real links (an endpoint's is
// reserved): the link trains again at the lower of both ends' target speeds (Link Control 2) and
// highest speeds, Link Training (Link Status bit 11) shows on the port's next read, and both Link
// Status registers and the lab's PciLink report the new speed from then on. Thread-safe.
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
inline constexpr uint32_t kLabPortGeneration = 5;
inline constexpr uint32_t kLabPortPcieCapability = 0x40;

// The space of the root port above a drive's controller (d.pcie.rootPort set).
std::array<uint8_t, platform::kPciHeaderBytes> LabPortHeader(const DriveDescription& d);

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
    std::optional<uint32_t> below;  // a port: the key of the controller on its secondary bus
    bool training = false;          // a port: Link Training shows on the next read
  };
  static uint32_t Key(uint32_t bus, uint32_t device, uint32_t function) {
    return bus << 8 | device << 3 | function;
  }
  void WriteLocked(uint32_t key, uint32_t offset, std::span<const uint8_t> data);
  void TrainLocked(Space& port, Space& controller);

  mutable std::mutex mutex_;  // guards spaces_
  std::map<uint32_t, Space> spaces_;
};

}  // namespace kestrune::sim
