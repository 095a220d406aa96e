// The power side of the test station: what the station file says (hub type, the serial devices
// of the port names, the LAN power-cycle server), the hub's port name, the serial ports and relay
// boards in use (the system's or the lab's), the delayed power threads and the failures they leave
// for their run threads to report. Held by the interpreter (Interpreter::State<PowerStation>).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_fetch.h"
#include "platform/relay_board.h"
#include "platform/serial_port.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::devcmd {

// What the station file gives; start-up reads it once (app/station_file.h).
struct StationConfig {
  std::string path;            // the file read ("Station.ini" beside the program), for messages
  std::optional<int> hubType;  // [PowerHub] Type
  std::string hubPort;         // [PowerHub] Port: the port name before any SetPowerHub
  std::map<std::string, std::string> serialDevices;  // [SerialPorts] "COM3" (upper case) -> device
  std::string lanServer;                             // [LanPower] Server: host name or address
  uint32_t lanPort = 1224;                           // [LanPower] Port
  // [FILESERVER] Server, Port (21), User, Password: the LAN file server the workloads fetch their
  // data files from. Not a power matter, but the same station file; the password is never shown.
  platform::FileServerAccount fileServer;
};

inline constexpr uint32_t kDefaultLanPort = 1224;

class PowerStation {
 public:
  PowerStation() = default;
  ~PowerStation();  // joins the delayed power threads
  PowerStation(const PowerStation&) = delete;
  PowerStation& operator=(const PowerStation&) = delete;

  // Start-up, before any run: the station file and the ports and boards to use (they must
  // outlive the interpreter). lab: the lab's hub and boards, which power nothing real.
  void Configure(StationConfig config, platform::SerialPorts* serial, platform::RelayLibrary* relays, bool lab);

  // Thread-safe getters.
  StationConfig config() const;
  std::string portName() const;
  void set_portName(std::string name);
  platform::SerialPorts* serialPorts() const { return serial_; }
  platform::RelayLibrary* relays() const { return relays_; }
  bool lab() const { return lab_; }

  // A delayed power action on a thread of its own: work runs there (it watches the view itself);
  // the thread ends before the station goes. Thread-safe.
  void StartDelayed(std::function<void()> work);
  // Waits for every delayed action started so far to end (tests). Not from a delayed action.
  void WaitDelayed();

 private:
  mutable std::mutex mutex_;  // guards config_, portName_, threads_
  StationConfig config_;
  std::string portName_;
  platform::SerialPorts* serial_ = nullptr;
  platform::RelayLibrary* relays_ = nullptr;
  bool lab_ = false;
  struct Delayed {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::list<Delayed> threads_;
};

// The interpreter's station (made on first use; start-up configures it).
PowerStation& StationOf(engine::Interpreter& interp);

// Whether view may not act on the system's own devices (node control, PCI configuration writes,
// machine settings): outside the lab while RealPowerActionsRefused() (platform/power.h). Reports
// -255 then. Run thread.
bool NodeControlRefused(engine::Interpreter& interp, uint32_t view);

// The LAN power-cycle server of the station file: its address (empty when the file names none)
// and port.
struct LanPowerServer {
  std::string address;
  uint32_t port = kDefaultLanPort;
};
LanPowerServer LanPowerServerOf(engine::Interpreter& interp);

}  // namespace kestrune::devcmd
