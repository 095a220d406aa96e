// TCP over Winsock: a non-blocking connect bounded by select, sends and receives bounded the same
// way; the adapter's address is the one of the adapter that holds the socket's own address.
#include "platform/tcp_client.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windows.h>

#include <cstring>
#include <mutex>
#include <vector>

namespace kestrune::platform {
namespace {

// Winsock stays started for the life of the process once a client is made.
void StartWinsock() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data{};
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

// Whether s becomes writable (write) or readable before timeoutMs pass.
bool WaitFor(SOCKET s, bool write, uint32_t timeoutMs) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  fd_set failed;
  FD_ZERO(&failed);
  FD_SET(s, &failed);
  timeval tv{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
  const int r = select(0, write ? nullptr : &set, write ? &set : nullptr, &failed, &tv);
  return r > 0 && FD_ISSET(s, &set);
}

bool SameAddress(const sockaddr* a, const sockaddr_storage& b) {
  if (a == nullptr || a->sa_family != b.ss_family) return false;
  if (a->sa_family == AF_INET)
    return std::memcmp(&reinterpret_cast<const sockaddr_in*>(a)->sin_addr,
                       &reinterpret_cast<const sockaddr_in*>(&b)->sin_addr, sizeof(IN_ADDR)) == 0;
  if (a->sa_family == AF_INET6)
    return std::memcmp(&reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr,
                       &reinterpret_cast<const sockaddr_in6*>(&b)->sin6_addr, sizeof(IN6_ADDR)) == 0;
  return false;
}

class Win32TcpConnection final : public TcpConnection {
 public:
  explicit Win32TcpConnection(SOCKET s) : s_(s) {}
  ~Win32TcpConnection() override { closesocket(s_); }

  bool Send(std::span<const uint8_t> data, uint32_t timeoutMs) override {
    size_t done = 0;
    while (done < data.size()) {
      if (!WaitFor(s_, true, timeoutMs)) return false;
      const int n = send(s_, reinterpret_cast<const char*>(data.data() + done), static_cast<int>(data.size() - done), 0);
      if (n == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) return false;
      if (n > 0) done += static_cast<size_t>(n);
    }
    return true;
  }

  int Receive(std::span<uint8_t> out, uint32_t timeoutMs) override {
    if (!WaitFor(s_, false, timeoutMs)) return 0;
    const int n = recv(s_, reinterpret_cast<char*>(out.data()), static_cast<int>(out.size()), 0);
    if (n == SOCKET_ERROR) return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
    return n;
  }

  std::optional<MacAddress> LocalMac() override {
    sockaddr_storage own{};
    int length = sizeof own;
    if (getsockname(s_, reinterpret_cast<sockaddr*>(&own), &length) != 0) return std::nullopt;
    ULONG size = 16 * 1024;
    std::vector<uint8_t> buffer;
    ULONG r = ERROR_BUFFER_OVERFLOW;
    for (int tries = 0; tries < 3 && r == ERROR_BUFFER_OVERFLOW; ++tries) {
      buffer.resize(size);
      r = GetAdaptersAddresses(AF_UNSPEC, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                               nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (r != NO_ERROR) return std::nullopt;
    for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
      if (a->PhysicalAddressLength != 6) continue;
      for (IP_ADAPTER_UNICAST_ADDRESS* u = a->FirstUnicastAddress; u; u = u->Next) {
        if (!SameAddress(u->Address.lpSockaddr, own)) continue;
        MacAddress mac{};
        std::memcpy(mac.data(), a->PhysicalAddress, mac.size());
        return mac;
      }
    }
    return std::nullopt;
  }

 private:
  SOCKET s_;
};

class Win32TcpClient final : public TcpClient {
 public:
  Win32TcpClient() { StartWinsock(); }

  std::unique_ptr<TcpConnection> Connect(const std::string& host, uint32_t port, uint32_t timeoutMs,
                                         std::string& why) override {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int e = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); e != 0) {
      why = host + ": the name is not found (" + std::to_string(e) + ")";
      return nullptr;
    }
    why = host + ": no address";
    std::unique_ptr<TcpConnection> connection;
    for (addrinfo* a = found; a && !connection; a = a->ai_next) {
      SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
      if (s == INVALID_SOCKET) continue;
      u_long nonBlocking = 1;
      ioctlsocket(s, FIONBIO, &nonBlocking);
      bool connected = connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0;
      if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) connected = WaitFor(s, true, timeoutMs);
      if (connected) {
        connection = std::make_unique<Win32TcpConnection>(s);
      } else {
        why = host + ":" + service + ": not reached (refused or timed out)";
        closesocket(s);
      }
    }
    freeaddrinfo(found);
    return connection;
  }
};

}  // namespace

std::unique_ptr<TcpClient> CreateSystemTcpClient() { return std::make_unique<Win32TcpClient>(); }

}  // namespace kestrune::platform
