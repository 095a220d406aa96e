// The LAN power-cycle request as a real listener on the loopback adapter receives it, through the
// system's TCP client: socat keeps the first 1020 bytes in a file and answers "OK" (the request is
// done); a socat that takes the bytes and never answers is asked five times, each time with the
// whole message, and the request is not done (PCReBoot's -80). Skipped without socat.
#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "devcmd/lan_power_cycle.h"
#include "platform/tcp_client.h"
#include "support/fake_host.h"

extern char** environ;

namespace kestrune::devcmd {
namespace {

uint32_t FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
  ::close(fd);
  return ntohs(a.sin_port);
}

// Whether something listens on 127.0.0.1:port (the kernel's socket table; a probe connection
// would use up a listener that takes one connection only).
bool Listening(uint32_t port) {
  std::ifstream table("/proc/net/tcp");
  char local[32];
  std::snprintf(local, sizeof local, "0100007F:%04X", port);
  std::string line;
  while (std::getline(table, line))
    if (line.find(local) != std::string::npos && line.find(" 0A ") != std::string::npos) return true;
  return false;
}

// socat with these arguments in its own process group, listening before this returns.
class Socat {
 public:
  Socat(uint32_t port, const std::string& listenOptions, const std::string& shell) {
    const std::string listen = "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr" + listenOptions;
    const std::string system = "SYSTEM:" + shell;
    std::vector<char*> argv{const_cast<char*>("socat"), const_cast<char*>(listen.c_str()),
                            const_cast<char*>(system.c_str()), nullptr};
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    started_ = posix_spawnp(&pid_, "socat", nullptr, &attr, argv.data(), environ) == 0;
    posix_spawnattr_destroy(&attr);
    for (int i = 0; started_ && i < 500 && !Listening(port); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~Socat() {
    if (!started_) return;
    ::kill(-pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  bool started() const { return started_; }

 private:
  pid_t pid_ = 0;
  bool started_ = false;
};

std::vector<uint8_t> FileBytes(const std::string& path) {
  // The listener's shell writes the file after the connection: wait a little for it.
  for (int i = 0; i < 200; ++i) {
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (!bytes.empty() && bytes.size() % kLanPowerMessageBytes == 0) return bytes;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::ifstream f(path, std::ios::binary);
  return {(std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>()};
}

TEST(LanPowerSocat, AListenerGetsTheMessageAndASilentOneIsAskedFiveTimes) {
  if (std::system("command -v socat > /dev/null 2>&1") != 0) GTEST_SKIP() << "socat is not installed";
  char folder[] = "/tmp/kestrune-lan-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string dir = folder;
  std::unique_ptr<platform::TcpClient> tcp = platform::CreateSystemTcpClient();
  testing::FakeHost host;
  const auto never = [] { return false; };

  const uint32_t port = FreePort();
  {
    Socat server(port, "", "'head -c 1020 > " + dir + "/m.bin; printf OK'");
    ASSERT_TRUE(server.started());
    const LanPowerOutcome outcome = AskLanPowerCycle(*tcp, host, "127.0.0.1", port, never);
    EXPECT_TRUE(outcome.done) << outcome.detail;
  }
  const std::vector<uint8_t> got = FileBytes(dir + "/m.bin");
  ASSERT_EQ(got.size(), kLanPowerMessageBytes);
  platform::MacAddress mac{};
  std::copy_n(got.begin() + 14, 6, mac.begin());
  const auto want = LanPowerMessage(mac, kLanPowerDelayMs);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin()));
  const std::vector<uint8_t> head{0x03, 0xFA, 0, 0, 0x60, 0xEA, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_TRUE(std::equal(head.begin(), head.end(), got.begin())) << "0xFA03 and 60000 little-endian, then FFh";

  const uint32_t silentPort = FreePort();
  {
    Socat silent(silentPort, ",fork", "'head -c 1020 >> " + dir + "/s.bin; sleep 60'");
    ASSERT_TRUE(silent.started());
    const LanPowerOutcome outcome = AskLanPowerCycle(*tcp, host, "127.0.0.1", silentPort, never);
    EXPECT_FALSE(outcome.done);
    EXPECT_FALSE(outcome.detail.empty());
    EXPECT_EQ(FileBytes(dir + "/s.bin").size(), kLanPowerTries * kLanPowerMessageBytes);
  }
  std::system(("rm -rf " + dir).c_str());
}

}  // namespace
}  // namespace kestrune::devcmd
#endif
