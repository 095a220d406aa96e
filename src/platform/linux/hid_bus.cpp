// HID devices on Linux through hidapi (hidraw), and the relay boards over them.
#include <hidapi/hidapi.h>

#include <mutex>

#include "platform/hid_device.h"
#include "platform/relay_board.h"

namespace kestrune::platform {
namespace {

std::string Utf8(const wchar_t* w) {
  std::string out;
  if (!w) return out;
  for (; *w; ++w) {
    const auto c = static_cast<uint32_t>(*w);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | c >> 6));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | c >> 12));
      out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | c >> 18));
      out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

class HidapiDevice final : public HidDevice {
 public:
  explicit HidapiDevice(hid_device* d) : d_(d) {}
  ~HidapiDevice() override { hid_close(d_); }
  int GetFeature(std::span<uint8_t> buffer) override {
    return hid_get_feature_report(d_, buffer.data(), buffer.size());
  }
  bool SendFeature(std::span<const uint8_t> report) override {
    return hid_send_feature_report(d_, report.data(), report.size()) == static_cast<int>(report.size());
  }

 private:
  hid_device* d_;
};

class HidapiBus final : public HidBus {
 public:
  ~HidapiBus() override { hid_exit(); }
  std::vector<HidDeviceInfo> Enumerate(uint16_t vendorId, uint16_t productId) override {
    std::lock_guard lock(mutex_);  // hidapi's enumeration is not thread-safe
    std::vector<HidDeviceInfo> out;
    hid_device_info* list = hid_enumerate(vendorId, productId);
    for (hid_device_info* i = list; i; i = i->next) out.push_back({i->path ? i->path : "", Utf8(i->product_string)});
    hid_free_enumeration(list);
    return out;
  }
  std::unique_ptr<HidDevice> Open(const std::string& path, std::string& why) override {
    std::lock_guard lock(mutex_);
    hid_device* d = hid_open_path(path.c_str());
    if (!d) {
      why = "the HID device " + path + " does not open (" + Utf8(hid_error(nullptr)) + ")";
      return nullptr;
    }
    return std::make_unique<HidapiDevice>(d);
  }

 private:
  std::mutex mutex_;
};

// What stands for the relay boards when hidapi does not start.
class NoRelayLibrary final : public RelayLibrary {
 public:
  explicit NoRelayLibrary(std::string why) : why_(std::move(why)) {}
  bool Available(std::string& why) override {
    why = why_;
    return false;
  }
  std::vector<std::string> Serials() override { return {}; }
  std::unique_ptr<RelayBoard> Open(const std::string&, std::string& why) override {
    why = why_;
    return nullptr;
  }

 private:
  std::string why_;
};

}  // namespace

std::shared_ptr<HidBus> CreateSystemHidBus(std::string& why) {
  if (hid_init() != 0) {
    why = "the HID library does not start";
    return nullptr;
  }
  return std::make_shared<HidapiBus>();
}

std::unique_ptr<RelayLibrary> CreateSystemRelayLibrary(const std::string&) {
  std::string why;
  std::shared_ptr<HidBus> bus = CreateSystemHidBus(why);
  if (!bus) return std::make_unique<NoRelayLibrary>(why);
  return CreateHidRelayLibrary(std::move(bus));
}

}  // namespace kestrune::platform
