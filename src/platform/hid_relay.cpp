// The USB relay boards' HID protocol (relay_board.h).
#include <algorithm>
#include <array>
#include <mutex>

#include "platform/relay_board.h"

namespace kestrune::platform {
namespace {

constexpr size_t kSerialBytes = 5;
constexpr size_t kStatusByte = 8;  // in the buffer: after the report id and seven bytes
constexpr std::string_view kProductPrefix = "USBRelay";

using Report = std::array<uint8_t, kRelayReportBytes>;

// The serial number and status of a board: feature report 0.
bool ReadState(HidDevice& dev, std::string& serial, uint32_t& status) {
  Report buf{};
  if (dev.GetFeature(buf) < static_cast<int>(kStatusByte + 1)) return false;
  serial.clear();
  for (size_t i = 1; i <= kSerialBytes && buf[i] != 0; ++i) serial.push_back(static_cast<char>(buf[i]));
  status = buf[kStatusByte];
  return true;
}

class HidRelayBoard final : public RelayBoard {
 public:
  explicit HidRelayBoard(std::unique_ptr<HidDevice> dev) : dev_(std::move(dev)) {}
  bool OpenChannel(int index) override { return Send(kRelayOpenCode, index); }
  bool CloseChannel(int index) override { return Send(kRelayCloseCode, index); }
  std::optional<uint32_t> Status() override {
    std::string serial;
    uint32_t status = 0;
    if (!ReadState(*dev_, serial, status)) return std::nullopt;
    return status;
  }

 private:
  bool Send(uint8_t code, int index) {
    if (index < 1 || index > 8) return false;
    Report r{};
    r[1] = code;
    r[2] = static_cast<uint8_t>(index);
    return dev_->SendFeature(r);
  }
  std::unique_ptr<HidDevice> dev_;
};

class HidRelayLibrary final : public RelayLibrary {
 public:
  explicit HidRelayLibrary(std::shared_ptr<HidBus> bus) : bus_(std::move(bus)) {}

  bool Available(std::string&) override { return true; }

  std::vector<std::string> Serials() override {
    std::vector<std::string> out;
    for (const HidDeviceInfo& info : Boards()) {
      std::string why, serial;
      uint32_t status = 0;
      std::unique_ptr<HidDevice> dev = bus_->Open(info.path, why);
      if (dev && ReadState(*dev, serial, status)) out.push_back(serial);
    }
    return out;
  }

  std::unique_ptr<RelayBoard> Open(const std::string& serial, std::string& why) override {
    for (const HidDeviceInfo& info : Boards()) {
      std::string openWhy, found;
      uint32_t status = 0;
      std::unique_ptr<HidDevice> dev = bus_->Open(info.path, openWhy);
      if (dev && ReadState(*dev, found, status) && found == serial)
        return std::make_unique<HidRelayBoard>(std::move(dev));
    }
    why = "no USB relay board with the serial number \"" + serial + "\"";
    return nullptr;
  }

 private:
  std::vector<HidDeviceInfo> Boards() {
    std::vector<HidDeviceInfo> all = bus_->Enumerate(kRelayVendorId, kRelayProductId);
    std::erase_if(all, [](const HidDeviceInfo& i) { return !i.product.starts_with(kProductPrefix); });
    return all;
  }
  std::shared_ptr<HidBus> bus_;
};

}  // namespace

std::unique_ptr<RelayLibrary> CreateHidRelayLibrary(std::shared_ptr<HidBus> bus) {
  return std::make_unique<HidRelayLibrary>(std::move(bus));
}

}  // namespace kestrune::platform
