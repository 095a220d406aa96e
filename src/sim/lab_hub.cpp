#include "sim/lab_hub.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

namespace kestrune::sim {
namespace {

constexpr uint8_t kFrameStart = 0xAE, kFrameEnd = 0xAC;
constexpr uint32_t kSelectControl = 0x2220B4, kSetControl = 0x2220BC, kStatusControl = 0x2220C4;

class LabHubPort final : public platform::SerialPort {
 public:
  explicit LabHubPort(LabPowerHub& hub) : hub_(hub), faults_(hub.HubFaults()) {}

  // The hub reads a byte stream: frames are taken from the front as they become whole, bytes that
  // start no frame are dropped.
  bool Write(std::span<const uint8_t> data) override {
    input_.insert(input_.end(), data.begin(), data.end());
    for (;;) {
      const size_t length = FrameLength();
      if (length == 0 || input_.size() < length) break;
      std::vector<uint8_t> frame(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(length));
      input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(length));
      Take(frame);
    }
    return true;
  }

  size_t Read(std::span<uint8_t> out) override {
    const size_t n = std::min(out.size(), pending_.size());
    std::copy_n(pending_.begin(), n, out.begin());
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
  }

  bool HasDeviceControls() const override { return true; }

  int DeviceControl(uint32_t code, std::span<const uint8_t> in, std::span<uint8_t> out) override {
    if (code == kSelectControl && in.size() == 1 && in[0] == 1) {
      selected_ = true;
      return 0;
    }
    if (!selected_) return -1;
    if (code == kSetControl && in.size() == 1 && in[0] <= 1) {
      hub_.SwitchPort(1, in[0] == 1);
      return 0;
    }
    if (code == kStatusControl && !out.empty()) {
      if (faults_.noReply) return 0;
      out[0] = hub_.PortPowered(1) ? 1 : 0;
      return 1;
    }
    return -1;
  }

 private:
  // The length of the frame the input starts with (0: not known yet); drops bytes that start none.
  size_t FrameLength() {
    while (!input_.empty()) {
      const uint8_t b = input_.front();
      if (b == kFrameStart) {
        if (input_.size() < 4) return 0;
        if (input_[3] == 0x28) return 8;
        if (input_[3] == 0x29) return 9;
        if (input_[3] == 0x2B) return 7;
      } else if (b == 'c' || b == 'o' || b == 0xA0) {
        return 4;
      }
      input_.pop_front();
    }
    return 0;
  }

  void Take(const std::vector<uint8_t>& f) {
    std::vector<uint8_t> reply;
    if (f.size() == 8 && f[0] == kFrameStart && f[1] == 0x20 && f[2] == 0xCF && f[3] == 0x28 && f[4] == 0x02 &&
        f[7] == kFrameEnd && f[6] <= 1) {
      hub_.SwitchPort(f[5], f[6] == 1);
    } else if (f.size() == 9 && f[0] == kFrameStart && f[1] == 0x20 && f[2] == 0xCF && f[3] == 0x29 &&
               f[4] == 0x03 && f[5] == 0xFF && (f[6] == 0x00 || f[6] == 0xFF) && f[8] == kFrameEnd) {
      hub_.SwitchPort(0, f[6] == 0xFF);
    } else if (f.size() == 7 && f[0] == kFrameStart && f[1] == 0x00 && f[2] == 0xCF && f[3] == 0x2B &&
               f[4] == 0x01 && f[6] == kFrameEnd) {
      const uint16_t state = hub_.PortPowered(f[5]) ? 1 : 0;
      reply = {kFrameStart, 0x00, 0xCF, 0x2B, static_cast<uint8_t>(state), static_cast<uint8_t>(state >> 8)};
    } else if ((f[0] == 'c' || f[0] == 'o') && f[1] == ' ' && f[2] >= '0' && f[2] <= '5' && f[3] == '\r') {
      hub_.SwitchPort(static_cast<uint32_t>(f[2] - '0') + 1, f[0] == 'o');
      reply = {f[0], ' ', f[2], ' ', 'O', 'K', '\r'};
    } else if (f[0] == 0xA0 && f[1] == 0x01 && f[2] <= 1 && f[3] == 0xA0 + 1 + f[2]) {
      hub_.SwitchPort(1, f[2] == 0);
    }
    if (!faults_.noReply) Answer(reply);
  }

  void Answer(std::vector<uint8_t> reply) {
    if (reply.empty()) return;
    if (faults_.badReply) {
      reply[0] ^= 0x5A;      // no frame start
      reply.pop_back();      // and short
    }
    pending_.insert(pending_.end(), reply.begin(), reply.end());
  }

  LabPowerHub& hub_;
  PowerWiring faults_;
  std::deque<uint8_t> input_;
  std::deque<uint8_t> pending_;
  bool selected_ = false;
};

class LabRelayDevice final : public platform::HidDevice {
 public:
  LabRelayDevice(LabPowerHub& hub, std::string serial) : hub_(hub), serial_(std::move(serial)) {}

  int GetFeature(std::span<uint8_t> buffer) override {
    if (buffer.size() < 9 || buffer[0] != 0) return -1;
    std::fill(buffer.begin() + 1, buffer.end(), uint8_t{0});
    std::memcpy(buffer.data() + 1, serial_.data(), std::min<size_t>(serial_.size(), 5));
    buffer[8] = hub_.RelayMask(serial_);
    return 9;
  }

  bool SendFeature(std::span<const uint8_t> report) override {
    if (report.size() < 3 || report[0] != 0 || report[2] < 1 || report[2] > 8) return false;
    if (report[1] != 0xFF && report[1] != 0xFD) return false;
    hub_.SwitchRelay(serial_, report[2], report[1] == 0xFF);
    return true;
  }

 private:
  LabPowerHub& hub_;
  std::string serial_;
};

class LabRelayBus final : public platform::HidBus {
 public:
  explicit LabRelayBus(LabPowerHub& hub) : hub_(hub) {}

  std::vector<platform::HidDeviceInfo> Enumerate(uint16_t vendorId, uint16_t productId) override {
    std::vector<platform::HidDeviceInfo> out;
    if (vendorId != 0x16C0 || productId != 0x05DF) return out;
    for (const std::string& serial : hub_.RelayBoards()) out.push_back({"lab-relay:" + serial, "USBRelay8"});
    return out;
  }

  std::unique_ptr<platform::HidDevice> Open(const std::string& path, std::string& why) override {
    constexpr std::string_view kPrefix = "lab-relay:";
    const std::string serial = path.starts_with(kPrefix) ? path.substr(kPrefix.size()) : std::string();
    if (serial.empty() || !hub_.RelayBoards().contains(serial)) {
      why = "no lab relay board at " + path;
      return nullptr;
    }
    return std::make_unique<LabRelayDevice>(hub_, serial);
  }

 private:
  LabPowerHub& hub_;
};

}  // namespace

std::unique_ptr<platform::SerialPort> LabPowerHub::Open(const std::string& device, uint32_t, std::string& why) {
  if (HubFaults().busy) {
    why = device + ": the port is busy";
    return nullptr;
  }
  return std::make_unique<LabHubPort>(*this);
}

std::shared_ptr<platform::HidBus> LabPowerHub::RelayBus() {
  std::lock_guard lock(mutex_);
  if (!bus_) bus_ = std::make_shared<LabRelayBus>(*this);
  return bus_;
}

bool LabPowerHub::PortPowered(uint32_t port) {
  std::lock_guard lock(mutex_);
  auto it = offPorts_.find(port);
  return it == offPorts_.end() || !it->second;
}

PowerWiring LabPowerHub::HubFaults() {
  PowerWiring all;
  for (const auto& drive : lab_.drives()) {
    const PowerWiring& w = drive->description().power;
    all.noReply |= w.noReply;
    all.badReply |= w.badReply;
    all.busy |= w.busy;
  }
  return all;
}

std::set<std::string> LabPowerHub::RelayBoards() {
  std::set<std::string> out;
  for (const auto& drive : lab_.drives())
    if (!drive->description().power.relayBoard.empty()) out.insert(drive->description().power.relayBoard);
  return out;
}

uint8_t LabPowerHub::RelayMask(const std::string& serial) {
  std::lock_guard lock(mutex_);
  return relayMasks_[serial];
}

void LabPowerHub::PowerDrives(const std::function<bool(const PowerWiring&)>& wired, bool on) {
  for (const auto& drive : lab_.drives()) {
    const PowerWiring& w = drive->description().power;
    if (!wired(w)) continue;
    if (!on) drive->Unplug(std::nullopt);
    else if (!w.notBack) drive->Replug();
  }
}

void LabPowerHub::SwitchPort(uint32_t port, bool on) {
  {
    std::lock_guard lock(mutex_);
    if (port == 0) {
      for (uint32_t p = 1; p <= 255; ++p) offPorts_[p] = !on;
    } else {
      offPorts_[port] = !on;
    }
  }
  PowerDrives([port](const PowerWiring& w) { return w.relayBoard.empty() && w.hubPort != 0 && (port == 0 || w.hubPort == port); },
              on);
}

void LabPowerHub::SwitchRelay(const std::string& serial, uint32_t channel, bool pulledIn) {
  {
    std::lock_guard lock(mutex_);
    uint8_t& mask = relayMasks_[serial];
    const auto bit = static_cast<uint8_t>(1u << (channel - 1));
    mask = pulledIn ? (mask | bit) : (mask & ~bit);
  }
  PowerDrives([&](const PowerWiring& w) { return w.relayBoard == serial && w.hubPort == channel; }, !pulledIn);
}

}  // namespace kestrune::sim
