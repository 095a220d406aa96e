// The system's TCP client against a listener on the loopback adapter: a whole exchange, the
// adapter's hardware address, and the failures a station meets (refused, name not found).
#ifndef _WIN32
#include "platform/tcp_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace kestrune::platform {
namespace {

// Listens on 127.0.0.1 at a free port; Port() after construction.
class Listener {
 public:
  Listener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_, 1);
    socklen_t n = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
    port_ = ntohs(a.sin_port);
  }
  ~Listener() { Close(); }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  uint32_t Port() const { return port_; }
  // Accepts one connection, reads want bytes and answers reply.
  std::thread Serve(size_t want, std::string reply, std::vector<uint8_t>& got) {
    return std::thread([this, want, reply, &got] {
      const int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) return;
      uint8_t buf[4096];
      while (got.size() < want) {
        const ssize_t n = ::recv(c, buf, sizeof buf, 0);
        if (n <= 0) break;
        got.insert(got.end(), buf, buf + n);
      }
      (void)!::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
      ::close(c);
    });
  }

 private:
  int fd_ = -1;
  uint32_t port_ = 0;
};

TEST(TcpClient, ExchangesAMessageAndNamesTheLoopbackAdapter) {
  Listener server;
  std::vector<uint8_t> got;
  std::thread t = server.Serve(1020, "OK", got);
  std::unique_ptr<TcpClient> tcp = CreateSystemTcpClient();
  std::string why;
  std::unique_ptr<TcpConnection> c = tcp->Connect("127.0.0.1", server.Port(), 2000, why);
  ASSERT_NE(c, nullptr) << why;
  const std::vector<uint8_t> message(1020, 0x5A);
  EXPECT_TRUE(c->Send(message, 2000));
  uint8_t reply[256];
  EXPECT_EQ(c->Receive(reply, 2000), 2);
  t.join();
  EXPECT_EQ(got, message);
  // The loopback adapter has the all-zero hardware address.
  const std::optional<MacAddress> mac = c->LocalMac();
  ASSERT_TRUE(mac.has_value());
  EXPECT_EQ(*mac, (MacAddress{0, 0, 0, 0, 0, 0}));
}

TEST(TcpClient, RefusedAndUnknownServersDoNotConnect) {
  uint32_t port = 0;
  {
    Listener closed;
    port = closed.Port();
  }  // nobody listens there now
  std::unique_ptr<TcpClient> tcp = CreateSystemTcpClient();
  std::string why;
  EXPECT_EQ(tcp->Connect("127.0.0.1", port, 2000, why), nullptr);
  EXPECT_NE(why.find("refused"), std::string::npos) << why;
  EXPECT_EQ(tcp->Connect("power-server.invalid", 1224, 2000, why), nullptr);
  EXPECT_EQ(why.rfind("power-server.invalid: ", 0), 0u) << why;
}

}  // namespace
}  // namespace kestrune::platform
#endif
