// What the power hubs are sent and what they answer: the steps of switching a hub port off or on
// and of asking its state, per hub type, and the checks of the replies. Portable bytes only; the
// exchange itself is hub_session's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrune::devcmd {

// Hub types of the station file: 0 an adapter driven by device controls, 2 a serial relay board,
// 3 a serial power hub with text commands, 4 a USB relay board, 5 a serial relay with 4-byte frames.
inline constexpr int kHubDeviceControls = 0;
inline constexpr int kHubRelayBoard = 2;
inline constexpr int kHubTextCommands = 3;
inline constexpr int kHubUsbRelay = 4;
inline constexpr int kHubFourByte = 5;

// The device controls of type 0: select the adapter, set its output, read its status byte.
inline constexpr uint32_t kHubSelectControl = 0x2220B4;
inline constexpr uint32_t kHubSetControl = 0x2220BC;
inline constexpr uint32_t kHubStatusControl = 0x2220C4;

// The channels of a type 3 hub (port 0 switches all six in turn).
inline constexpr uint32_t kTextHubChannels = 6;
// The highest port a frame can carry (one byte).
inline constexpr uint32_t kHubMaxPort = 255;

// One step of an exchange: bytes written (then replyBytes read back), or a device control with
// its input (then replyBytes of output).
struct HubStep {
  bool control = false;
  uint32_t code = 0;  // the device control, when control
  std::vector<uint8_t> bytes;
  size_t replyBytes = 0;
  bool operator==(const HubStep&) const = default;
};

// Whether type is one of 0, 2, 3, 4, 5.
bool IsHubType(int type);
// The baud rate of a serial hub type.
uint32_t HubBaud(int type);
// Whether port fits type: 0 to 6 on type 3, 0 to 255 elsewhere.
bool HubPortInRange(int type, uint32_t port);
// The steps that switch port off (on false) or on; type 4 has none (the relay library does it).
std::vector<HubStep> SwitchSteps(int type, uint32_t port, bool on);
// The steps that ask the state of port; none on types 3, 4 and 5.
std::vector<HubStep> StatusSteps(int type, uint32_t port);
// The text of the -72 failure of a status request on a type without one; empty for the others.
std::string NoStatusDetail(int type);
// Whether reply (what the step's read gave) is a sound answer to step on type.
bool ReplyIsSound(int type, const HubStep& step, std::span<const uint8_t> reply);
// The state in the last step's reply: type 0 the status byte, type 2 the 16-bit value at bytes 4-5.
std::optional<uint32_t> StatusOfReply(int type, std::span<const uint8_t> reply);

}  // namespace kestrune::devcmd
