// The LAN power-cycle server of the test station: asked before the PC switches itself off, it cuts
// the PC's power after a delay, restores it, and wakes the PC with a wake-up packet for the
// adapter the request came from.
//
// The request is one 1020-byte message: u32 0xFA03, u32 the delay in milliseconds, then the
// wake-up packet (six FFh bytes and the adapter's hardware address sixteen times), zero after.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/host.h"
#include "platform/tcp_client.h"

namespace kestrune::devcmd {

inline constexpr size_t kLanPowerMessageBytes = 1020;
inline constexpr uint32_t kLanPowerRequest = 0xFA03;
inline constexpr uint32_t kLanPowerDelayMs = 60000;
inline constexpr size_t kLanPowerReplyBytes = 256;
inline constexpr int kLanPowerTries = 5;
inline constexpr uint32_t kLanPowerConnectMs = 2000;
inline constexpr uint32_t kLanPowerReplyMs = 2000;

std::array<uint8_t, kLanPowerMessageBytes> LanPowerMessage(const platform::MacAddress& mac, uint32_t delayMs);

struct LanPowerOutcome {
  bool done = false;   // the server took the request and answered
  std::string detail;  // why not, for the failure's detail line
};

// Sends the request to server:port and waits for its answer, up to kLanPowerTries times, 1 s
// apart; gives up early when cancelled() says so. Run thread (blocks up to about 25 s).
LanPowerOutcome AskLanPowerCycle(platform::TcpClient& tcp, platform::Host& host, const std::string& server,
                                 uint32_t port, const std::function<bool()>& cancelled);

}  // namespace kestrune::devcmd
