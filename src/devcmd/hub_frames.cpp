#include "devcmd/hub_frames.h"

#include "base/bytes.h"

namespace kestrune::devcmd {
namespace {

constexpr uint8_t kFrameStart = 0xAE;
constexpr uint8_t kFrameEnd = 0xAC;
constexpr size_t kTextHubReplyBytes = 7;
constexpr size_t kRelayStatusReplyBytes = 6;

HubStep Bytes(std::vector<uint8_t> bytes, size_t reply = 0) { return HubStep{false, 0, std::move(bytes), reply}; }
HubStep Control(uint32_t code, uint8_t input, size_t reply = 0) { return HubStep{true, code, {input}, reply}; }

}  // namespace

bool IsHubType(int type) { return type == 0 || (type >= 2 && type <= 5); }

uint32_t HubBaud(int type) {
  if (type == kHubDeviceControls) return 115200;
  if (type == kHubTextCommands) return 1200;
  return 9600;
}

bool HubPortInRange(int type, uint32_t port) {
  return port <= (type == kHubTextCommands ? kTextHubChannels : kHubMaxPort);
}

std::vector<HubStep> SwitchSteps(int type, uint32_t port, bool on) {
  const auto p = static_cast<uint8_t>(port);
  switch (type) {
    case kHubDeviceControls:
      return {Control(kHubSelectControl, 1), Control(kHubSetControl, on ? 1 : 0)};
    case kHubRelayBoard:
      if (port == 0) return {Bytes({kFrameStart, 0x20, 0xCF, 0x29, 0x03, 0xFF, uint8_t(on ? 0xFF : 0x00), 0x00, kFrameEnd})};
      return {Bytes({kFrameStart, 0x20, 0xCF, 0x28, 0x02, p, uint8_t(on ? 0x01 : 0x00), kFrameEnd})};
    case kHubTextCommands: {
      std::vector<HubStep> steps;
      const uint32_t first = port == 0 ? 1 : port, last = port == 0 ? kTextHubChannels : port;
      for (uint32_t c = first; c <= last; ++c)
        steps.push_back(Bytes({uint8_t(on ? 'o' : 'c'), ' ', uint8_t('0' + c - 1), '\r'}, kTextHubReplyBytes));
      return steps;
    }
    case kHubFourByte:
      return {on ? Bytes({0xA0, 0x01, 0x00, 0xA1}) : Bytes({0xA0, 0x01, 0x01, 0xA2})};
    default:
      return {};
  }
}

std::vector<HubStep> StatusSteps(int type, uint32_t port) {
  if (type == kHubDeviceControls) return {Control(kHubSelectControl, 1), HubStep{true, kHubStatusControl, {}, 1}};
  if (type == kHubRelayBoard)
    return {Bytes({kFrameStart, 0x00, 0xCF, 0x2B, 0x01, static_cast<uint8_t>(port), kFrameEnd}, kRelayStatusReplyBytes)};
  return {};
}

std::string NoStatusDetail(int type) {
  if (type == kHubTextCommands) return "Tigo PowerHub no support this function";
  if (type == kHubFourByte) return "CH340 PowerHub no support this function";
  return {};
}

bool ReplyIsSound(int type, const HubStep& step, std::span<const uint8_t> reply) {
  if (reply.size() != step.replyBytes) return false;
  // A relay board's status answer is a frame of its own, starting as every frame does.
  if (type == kHubRelayBoard && step.replyBytes > 0) return reply[0] == kFrameStart;
  return true;
}

std::optional<uint32_t> StatusOfReply(int type, std::span<const uint8_t> reply) {
  if (type == kHubDeviceControls && reply.size() == 1) return reply[0];
  if (type == kHubRelayBoard && reply.size() == kRelayStatusReplyBytes) return base::GetLe16(reply.data() + 4);
  return std::nullopt;
}

}  // namespace kestrune::devcmd
