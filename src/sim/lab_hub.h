// The lab's peers of the station's power switches: one power hub behind every serial device name
// (it understands the frames of hub types 2, 3 and 5 and the device controls of type 0) and the
// USB relay boards the drives name, as HID devices. Both switch the lab drives their wiring names
// (DriveDescription::power): off pulls the drive (its unflushed writes are lost, it leaves the
// tree), on plugs it back. They power nothing real.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/hid_device.h"
#include "platform/serial_port.h"
#include "sim/sim_lab.h"

namespace kestrune::sim {

// Thread-safe; the lab must outlive it and the ports and devices it opened.
class LabPowerHub final : public platform::SerialPorts {
 public:
  explicit LabPowerHub(SimLab& lab) : lab_(lab) {}

  // Any device name reaches the one hub; it does not open while a drive's wiring says busy.
  std::unique_ptr<platform::SerialPort> Open(const std::string& device, uint32_t baud, std::string& why) override;

  // The relay boards as HID devices (vendor 16C0h, product 05DFh, "USBRelay8").
  std::shared_ptr<platform::HidBus> RelayBus();

  // Whether hub port p has power (every port starts powered); for tests.
  bool PortPowered(uint32_t port);

  // ---- For the lab's ports and boards ----
  // Switches hub port p (0: every port) and the drives it powers.
  void SwitchPort(uint32_t port, bool on);
  // Switches channel of relay board serial; its mask bit set = the relay pulled in = power off.
  void SwitchRelay(const std::string& serial, uint32_t channel, bool pulledIn);
  uint8_t RelayMask(const std::string& serial);
  std::set<std::string> RelayBoards();
  // The faults the drives' wiring names for the hub.
  PowerWiring HubFaults();

 private:
  void PowerDrives(const std::function<bool(const PowerWiring&)>& wired, bool on);

  SimLab& lab_;
  std::mutex mutex_;  // guards the two maps
  std::map<uint32_t, bool> offPorts_;
  std::map<std::string, uint8_t> relayMasks_;
  std::shared_ptr<platform::HidBus> bus_;
};

}  // namespace kestrune::sim
