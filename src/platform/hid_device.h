// USB HID devices as far as the relay boards need them: enumeration by vendor and product id, and
// feature reports. Implementations: linux/hid_bus.cpp (hidapi, hidraw), the lab's relay boards
// (sim/lab_relay.h). Buffers follow hidapi: byte 0 is the report id, the report follows.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kestrune::platform {

struct HidDeviceInfo {
  std::string path;     // what HidBus::Open takes
  std::string product;  // the product string, UTF-8
};

// One open device, used by one thread at a time (the relay library's lock orders its users).
class HidDevice {
 public:
  virtual ~HidDevice() = default;
  // Reads the feature report whose id is in buffer[0] into buffer. The bytes read (the id byte
  // counted), or -1 on a failure.
  virtual int GetFeature(std::span<uint8_t> buffer) = 0;
  // Sends report (id in byte 0) as a feature report. False on a failure.
  virtual bool SendFeature(std::span<const uint8_t> report) = 0;
};

// Thread-safe.
class HidBus {
 public:
  virtual ~HidBus() = default;
  // The devices with this vendor and product id now present.
  virtual std::vector<HidDeviceInfo> Enumerate(uint16_t vendorId, uint16_t productId) = 0;
  // Opens a device by the path Enumerate gave; nullptr with why set when it does not open.
  virtual std::unique_ptr<HidDevice> Open(const std::string& path, std::string& why) = 0;
};

#ifndef _WIN32
// The system's HID devices through hidapi; nullptr with why set when hidapi cannot start.
std::shared_ptr<HidBus> CreateSystemHidBus(std::string& why);
#endif

}  // namespace kestrune::platform
