// The lab's LAN power-cycle server: every host name reaches it except names under ".invalid",
// which resolve nowhere (as on any real network). It answers a well-formed request and nothing
// else; it switches nothing (the lab's PC power is sim/lab_power.h). Its connections leave by an
// adapter with the fixed, locally administered address 02-4B-45-53-54-52.
#pragma once

#include "platform/tcp_client.h"

namespace kestrune::sim {

inline constexpr platform::MacAddress kLabAdapterMac = {0x02, 0x4B, 0x45, 0x53, 0x54, 0x52};

// Thread-safe (it holds no state).
class LabLanPower final : public platform::TcpClient {
 public:
  std::unique_ptr<platform::TcpConnection> Connect(const std::string& host, uint32_t port, uint32_t timeoutMs,
                                                   std::string& why) override;
};

}  // namespace kestrune::sim
