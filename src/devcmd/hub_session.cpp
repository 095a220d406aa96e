#include "devcmd/hub_session.h"

#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/hub_frames.h"
#include "platform/object_names.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;

constexpr uint32_t kLockWaitMs = 30000;
constexpr uint32_t kReleaseDelayMs = 100;
constexpr int kRelayChannel = 1;

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

HubOutcome Fail(int32_t c, std::string detail = {}) { return HubOutcome{c, std::move(detail), 0}; }

// The hub's lock, its port or board, and what the exchange does with them.
class Session {
 public:
  Session(PowerStation& station, platform::Host& host) : station_(station), host_(host), config_(station.config()) {}
  ~Session() { Close(); }

  HubOutcome Open() {
    const std::string name = station_.portName();
    std::string why;
    lock_ = host_.AcquireNamedLock(HubLockName(name), kLockWaitMs, why);
    if (!lock_) return Fail(code::kPowerHubError, why.empty() ? "the power hub " + name + " stays busy" : why);
    type_ = *config_.hubType;
    if (type_ == kHubUsbRelay) {
      platform::RelayLibrary* relays = station_.relays();
      if (!relays || !relays->Available(why)) return Fail(code::kPowerHubError, why);
      board_ = relays->Open(name, why);
      if (!board_) return Fail(code::kPowerHubError);
      return {};
    }
    std::string device;
    if (auto it = config_.serialDevices.find(Upper(name)); it != config_.serialDevices.end()) device = it->second;
    else device = platform::DefaultSerialDevice(name);
    if (device.empty() || !station_.serialPorts()) return Fail(code::kPowerHubError);
    port_ = station_.serialPorts()->Open(device, HubBaud(type_), why);
    if (!port_) return Fail(code::kPowerHubError);
    if (type_ == kHubDeviceControls && !port_->HasDeviceControls())
      return Fail(code::kNotSupported, "this system cannot drive a hub adapter by device controls");
    return {};
  }

  // Runs steps; the last reply stays in reply_.
  HubOutcome Run(const std::vector<HubStep>& steps) {
    for (const HubStep& step : steps) {
      reply_.assign(step.replyBytes, 0);
      size_t got = 0;
      if (step.control) {
        const int n = port_->DeviceControl(step.code, step.bytes, reply_);
        if (n < 0) return Fail(code::kPowerHubError, base::Format("device control 0x%X failed", step.code));
        got = static_cast<size_t>(n);
      } else {
        if (!port_->Write(step.bytes)) return Fail(code::kPowerHubError, "the power hub takes no frame");
        if (step.replyBytes > 0) got = port_->Read(reply_);
      }
      reply_.resize(got);
      if (!ReplyIsSound(type_, step, reply_))
        return Fail(code::kPowerHubError, got == 0 ? "the power hub does not answer" : "the power hub's answer is not sound");
    }
    return {};
  }

  platform::RelayBoard* board() { return board_.get(); }
  int type() const { return type_; }
  const std::vector<uint8_t>& reply() const { return reply_; }

  void Close() {
    const bool held = port_ || board_;
    port_.reset();
    board_.reset();
    if (lock_ && held) host_.SleepMs(kReleaseDelayMs);  // the hub settles before the next user
    lock_.reset();
  }

 private:
  PowerStation& station_;
  platform::Host& host_;
  StationConfig config_;
  int type_ = 0;
  std::unique_ptr<platform::NamedLock> lock_;
  std::unique_ptr<platform::SerialPort> port_;
  std::unique_ptr<platform::RelayBoard> board_;
  std::vector<uint8_t> reply_;
};

}  // namespace

std::string HubLockName(std::string_view portName) { return platform::SharedObjectName("PowerHub_" + Upper(portName)); }

HubOutcome CheckHub(const PowerStation& station, uint32_t port) {
  const StationConfig config = station.config();
  if (!config.hubType)
    return Fail(code::kPowerHubError, "the station file " + config.path + " has no [PowerHub] Type");
  if (!IsHubType(*config.hubType))
    return Fail(code::kPowerHubError, base::Format("[PowerHub] Type %d of the station file is not a hub type (0, 2, 3, 4, 5)",
                                                   *config.hubType));
  if (station.portName().empty()) return Fail(code::kPowerHubError);
  if (!HubPortInRange(*config.hubType, port))
    return Fail(code::kBadParameter, base::Format("(Port %u out of range)", port));
  return {};
}

HubOutcome ProbeHub(PowerStation& station, platform::Host& host, uint32_t port) {
  if (HubOutcome c = CheckHub(station, port); !c.ok()) return c;
  Session s(station, host);
  return s.Open();
}

HubOutcome SwitchHub(PowerStation& station, platform::Host& host, uint32_t port, bool on) {
  if (HubOutcome c = CheckHub(station, port); !c.ok()) return c;
  Session s(station, host);
  if (HubOutcome o = s.Open(); !o.ok()) return o;
  if (s.type() == kHubUsbRelay) {
    // The relay breaks the drive's power while its channel is open.
    const bool done = on ? s.board()->CloseChannel(kRelayChannel) : s.board()->OpenChannel(kRelayChannel);
    return done ? HubOutcome{} : Fail(code::kPowerHubError, "the USB relay board does not switch");
  }
  return s.Run(SwitchSteps(s.type(), port, on));
}

HubOutcome QueryHub(PowerStation& station, platform::Host& host, uint32_t port) {
  if (HubOutcome c = CheckHub(station, port); !c.ok()) return c;
  const int type = *station.config().hubType;
  if (std::string detail = NoStatusDetail(type); !detail.empty()) return Fail(code::kPowerHubError, detail);
  Session s(station, host);
  if (HubOutcome o = s.Open(); !o.ok()) return o;
  if (type == kHubUsbRelay) {
    std::optional<uint32_t> status = s.board()->Status();
    if (!status) return Fail(code::kPowerHubError, "the USB relay board does not answer");
    return HubOutcome{0, {}, *status != 1 ? 1u : 0u};
  }
  if (HubOutcome r = s.Run(StatusSteps(type, port)); !r.ok()) return r;
  std::optional<uint32_t> status = StatusOfReply(type, s.reply());
  if (!status) return Fail(code::kPowerHubError, "the power hub's answer is not sound");
  return HubOutcome{0, {}, *status};
}

}  // namespace kestrune::devcmd
