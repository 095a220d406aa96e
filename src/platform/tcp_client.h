// TCP connections to the test station's LAN power-cycle server: one short exchange (send a
// message, read the reply), and the hardware address of the network adapter the connection leaves
// by, which the server needs to wake the PC again.
// Implementations: linux/tcp_client.cpp (sockets, getifaddrs), win32/tcp_client.cpp (Winsock,
// GetAdaptersAddresses), and the lab's server (sim/lab_lan_power.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace kestrune::platform {

using MacAddress = std::array<uint8_t, 6>;

// One open connection, used by one thread at a time (not thread-safe).
class TcpConnection {
 public:
  virtual ~TcpConnection() = default;
  // Sends every byte of data within timeoutMs. False on a failure, a reset or a time-out.
  virtual bool Send(std::span<const uint8_t> data, uint32_t timeoutMs) = 0;
  // Waits up to timeoutMs for the reply and reads what has come, up to out.size() bytes: the count
  // read, 0 when nothing came or the peer closed, -1 on a failure.
  virtual int Receive(std::span<uint8_t> out, uint32_t timeoutMs) = 0;
  // The hardware address of the adapter that carries this connection; nullopt when the system
  // does not tell it.
  virtual std::optional<MacAddress> LocalMac() = 0;
};

// Opens connections. Thread-safe.
class TcpClient {
 public:
  virtual ~TcpClient() = default;
  // Connects to host (a name or an address) at port within timeoutMs. nullptr with why set (one
  // line: name not found, refused, timed out) when it does not connect.
  virtual std::unique_ptr<TcpConnection> Connect(const std::string& host, uint32_t port, uint32_t timeoutMs,
                                                 std::string& why) = 0;
};

// The system's TCP client (never null).
std::unique_ptr<TcpClient> CreateSystemTcpClient();

}  // namespace kestrune::platform
