// TCP over BSD sockets: a non-blocking connect bounded by poll, sends and receives bounded the same
// way; the adapter's address is found by matching the socket's own address in getifaddrs.
#include "platform/tcp_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kestrune::platform {
namespace {

uint64_t NowMs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

// Whether fd becomes ready for events before deadline (monotonic milliseconds).
bool WaitFor(int fd, short events, uint64_t deadline) {
  for (;;) {
    const uint64_t now = NowMs();
    if (now >= deadline) return false;
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, static_cast<int>(deadline - now));
    if (r > 0) return (p.revents & (events | POLLHUP | POLLERR)) != 0 && !(p.revents & POLLNVAL);
    if (r == 0 || errno != EINTR) return false;
  }
}

bool SameAddress(const sockaddr* a, const sockaddr_storage& b) {
  if (a == nullptr || a->sa_family != b.ss_family) return false;
  if (a->sa_family == AF_INET)
    return std::memcmp(&reinterpret_cast<const sockaddr_in*>(a)->sin_addr,
                       &reinterpret_cast<const sockaddr_in*>(&b)->sin_addr, sizeof(in_addr)) == 0;
  if (a->sa_family == AF_INET6)
    return std::memcmp(&reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr,
                       &reinterpret_cast<const sockaddr_in6*>(&b)->sin6_addr, sizeof(in6_addr)) == 0;
  return false;
}

class LinuxTcpConnection final : public TcpConnection {
 public:
  explicit LinuxTcpConnection(int fd) : fd_(fd) {}
  ~LinuxTcpConnection() override { ::close(fd_); }

  bool Send(std::span<const uint8_t> data, uint32_t timeoutMs) override {
    const uint64_t deadline = NowMs() + timeoutMs;
    size_t done = 0;
    while (done < data.size()) {
      if (!WaitFor(fd_, POLLOUT, deadline)) return false;
      const ssize_t n = ::send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
      if (n > 0) done += static_cast<size_t>(n);
    }
    return true;
  }

  int Receive(std::span<uint8_t> out, uint32_t timeoutMs) override {
    if (!WaitFor(fd_, POLLIN, NowMs() + timeoutMs)) return 0;
    const ssize_t n = ::recv(fd_, out.data(), out.size(), 0);
    if (n < 0) return errno == EAGAIN || errno == EINTR ? 0 : -1;
    return static_cast<int>(n);
  }

  std::optional<MacAddress> LocalMac() override {
    sockaddr_storage own{};
    socklen_t length = sizeof own;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&own), &length) != 0) return std::nullopt;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return std::nullopt;
    std::optional<MacAddress> mac;
    const char* adapter = nullptr;
    for (ifaddrs* i = list; i && !adapter; i = i->ifa_next)
      if (SameAddress(i->ifa_addr, own)) adapter = i->ifa_name;
    for (ifaddrs* i = list; i && adapter && !mac; i = i->ifa_next) {
      if (!i->ifa_addr || i->ifa_addr->sa_family != AF_PACKET || std::strcmp(i->ifa_name, adapter) != 0) continue;
      const auto* link = reinterpret_cast<const sockaddr_ll*>(i->ifa_addr);
      if (link->sll_halen != 6) continue;
      MacAddress m{};
      std::memcpy(m.data(), link->sll_addr, m.size());
      mac = m;
    }
    ::freeifaddrs(list);
    return mac;
  }

 private:
  int fd_;
};

class LinuxTcpClient final : public TcpClient {
 public:
  std::unique_ptr<TcpConnection> Connect(const std::string& host, uint32_t port, uint32_t timeoutMs,
                                         std::string& why) override {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int e = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); e != 0) {
      why = host + ": " + ::gai_strerror(e);
      return nullptr;
    }
    const uint64_t deadline = NowMs() + timeoutMs;
    why = host + ": no address";
    std::unique_ptr<TcpConnection> connection;
    for (addrinfo* a = found; a && !connection; a = a->ai_next) {
      const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
      if (fd < 0) continue;
      int error = 0;
      if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
          error = ETIMEDOUT;
          if (WaitFor(fd, POLLOUT, deadline)) {
            socklen_t size = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
          }
        }
      }
      if (error == 0) {
        connection = std::make_unique<LinuxTcpConnection>(fd);
      } else {
        why = host + ":" + service + ": " + std::strerror(error);
        ::close(fd);
      }
    }
    ::freeaddrinfo(found);
    return connection;
  }
};

}  // namespace

std::unique_ptr<TcpClient> CreateSystemTcpClient() { return std::make_unique<LinuxTcpClient>(); }

}  // namespace kestrune::platform
