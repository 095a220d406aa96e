#include "devcmd/lan_power_cycle.h"

#include <algorithm>

#include "base/bytes.h"

namespace kestrune::devcmd {

std::array<uint8_t, kLanPowerMessageBytes> LanPowerMessage(const platform::MacAddress& mac, uint32_t delayMs) {
  std::array<uint8_t, kLanPowerMessageBytes> m{};
  base::PutLe32(m.data(), kLanPowerRequest);
  base::PutLe32(m.data() + 4, delayMs);
  uint8_t* wake = m.data() + 8;
  std::fill_n(wake, 6, uint8_t{0xFF});
  for (int i = 0; i < 16; ++i) std::copy(mac.begin(), mac.end(), wake + 6 + 6 * i);
  return m;
}

LanPowerOutcome AskLanPowerCycle(platform::TcpClient& tcp, platform::Host& host, const std::string& server,
                                 uint32_t port, const std::function<bool()>& cancelled) {
  if (server.empty()) return {false, "the station file names no [LanPower] Server"};
  LanPowerOutcome outcome;
  for (int attempt = 0; attempt < kLanPowerTries && !cancelled(); ++attempt) {
    if (attempt > 0) host.SleepMs(1000);
    std::string why;
    std::unique_ptr<platform::TcpConnection> c = tcp.Connect(server, port, kLanPowerConnectMs, why);
    if (!c) {
      outcome.detail = why;
      continue;
    }
    // Without the adapter's address the server could not wake the PC again: the station would
    // stay off.
    const std::optional<platform::MacAddress> mac = c->LocalMac();
    if (!mac) return {false, "the hardware address of the network adapter to " + server + " is not known"};
    const auto message = LanPowerMessage(*mac, kLanPowerDelayMs);
    if (!c->Send(message, kLanPowerConnectMs)) {
      outcome.detail = server + ": the request was not sent";
      continue;
    }
    std::array<uint8_t, kLanPowerReplyBytes> reply{};
    if (c->Receive(reply, kLanPowerReplyMs) > 0) return {true, {}};
    outcome.detail = server + ": no answer";
  }
  if (outcome.detail.empty()) outcome.detail = "cancelled";
  return outcome;
}

}  // namespace kestrune::devcmd
