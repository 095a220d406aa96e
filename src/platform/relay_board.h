// USB relay boards (power hub type 4 and IsRelayExisted), in the terms of the boards' relay
// library: boards known by their serial numbers, relay channels opened (the relay pulls in) and
// closed, and a status mask (bit n-1 set: channel n open). Implementations: on Windows the
// library "usb_relay_device64.dll" of the program folder (win32/relay_library.cpp); elsewhere the
// boards' own HID protocol over a HidBus (hid_relay.cpp), which the lab also uses.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/hid_device.h"

namespace kestrune::platform {

// One open board. Not thread-safe: one user at a time (the hub lock orders them).
class RelayBoard {
 public:
  virtual ~RelayBoard() = default;
  virtual bool OpenChannel(int index) = 0;
  virtual bool CloseChannel(int index) = 0;
  // The status mask, or nullopt when the board does not answer.
  virtual std::optional<uint32_t> Status() = 0;
};

// Thread-safe.
class RelayLibrary {
 public:
  virtual ~RelayLibrary() = default;
  // Whether the library can be used; false with why naming what is missing (the library file, or
  // the functions it lacks).
  virtual bool Available(std::string& why) = 0;
  // The serial numbers of the boards present; empty without boards or without the library.
  virtual std::vector<std::string> Serials() = 0;
  // Opens the board with this serial number; nullptr with why set when there is none.
  virtual std::unique_ptr<RelayBoard> Open(const std::string& serial, std::string& why) = 0;
};

// The boards' HID protocol over bus: vendor 16C0h, product 05DFh, product string "USBRelay" and
// the channel count; feature report 0 of 8 bytes carries the serial number in its bytes 0-4 and the
// status mask in byte 7; the reports FFh n and FDh n open and close channel n.
std::unique_ptr<RelayLibrary> CreateHidRelayLibrary(std::shared_ptr<HidBus> bus);

// The system's relay boards: Windows the relay library in programFolder, others the HID protocol
// over the system's HID devices.
std::unique_ptr<RelayLibrary> CreateSystemRelayLibrary(const std::string& programFolder);

// The HID report frames, for the protocol code and its tests.
inline constexpr uint16_t kRelayVendorId = 0x16C0;
inline constexpr uint16_t kRelayProductId = 0x05DF;
inline constexpr size_t kRelayReportBytes = 9;  // report id 0 and 8 bytes
inline constexpr uint8_t kRelayOpenCode = 0xFF;
inline constexpr uint8_t kRelayCloseCode = 0xFD;

}  // namespace kestrune::platform
