// The termios serial port against the lab's hub peer on a pseudo-terminal pair: the port is opened
// by its device path through the station's COM map, the hub session writes its frames through the
// real line discipline, the peer on the other side answers, and a second open of the port is
// refused while the first holds it.
#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "devcmd/hub_session.h"
#include "platform/serial_port.h"
#include "sim/lab_hub.h"
#include "support/fake_host.h"

namespace kestrune::platform {
namespace {

// The hub on the far end of the pair: what the program writes goes to the lab hub's port, what
// that port answers goes back.
class PtyPeer {
 public:
  PtyPeer(int master, sim::LabPowerHub& hub) : master_(master) {
    std::string why;
    port_ = hub.Open("pty", 9600, why);
    thread_ = std::thread([this] { Run(); });
  }
  ~PtyPeer() {
    stop_ = true;
    thread_.join();
  }

 private:
  void Run() {
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0 || !(p.revents & POLLIN)) continue;
      uint8_t buf[64];
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) continue;
      port_->Write(std::span<const uint8_t>(buf, static_cast<size_t>(n)));
      uint8_t reply[64];
      const size_t r = port_->Read(reply);
      if (r > 0) (void)!::write(master_, reply, r);
    }
  }
  int master_;
  std::unique_ptr<SerialPort> port_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class SerialPortPty : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[256] = {};
    ASSERT_EQ(::openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    device_ = name;
    const std::string ini = dir.path() + "/lab.ini";
    std::ofstream(ini) << "[A]\nAttachment=nvme-inbox\nCapacity=8MiB\nHubPort=3\n";
    std::string error;
    lab_ = sim::SimLab::CreateFromFile(ini, dir.path() + "/simlab", host, error);
    ASSERT_NE(lab_, nullptr) << error;
    hub_ = std::make_unique<sim::LabPowerHub>(*lab_);
    serial_ = CreateSystemSerialPorts();
  }
  void TearDown() override {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
  }
  void Configure(int type) {
    devcmd::StationConfig config;
    config.path = "Station.ini";
    config.hubType = type;
    config.hubPort = "COM9";
    config.serialDevices["COM9"] = device_;
    station_.Configure(config, serial_.get(), nullptr, false);
  }

  kestrune::testing::FakeHost host;
  kestrune::testing::TempDir dir;
  int master_ = -1, slave_ = -1;
  std::string device_;
  std::unique_ptr<sim::SimLab> lab_;
  std::unique_ptr<sim::LabPowerHub> hub_;
  std::unique_ptr<SerialPorts> serial_;
  devcmd::PowerStation station_;
};

TEST_F(SerialPortPty, FramesAndAnswersCrossARealLine) {
  PtyPeer peer(master_, *hub_);
  Configure(2);
  // A switch frame has no answer: the status request after it (answered in order) shows it arrived.
  ASSERT_TRUE(devcmd::SwitchHub(station_, host, 3, false).ok());
  devcmd::HubOutcome s = devcmd::QueryHub(station_, host, 3);
  ASSERT_TRUE(s.ok()) << s.detail;
  EXPECT_EQ(s.status, 0u);
  EXPECT_FALSE(lab_->Drive("A")->Present());
  ASSERT_TRUE(devcmd::SwitchHub(station_, host, 3, true).ok());
  EXPECT_EQ(devcmd::QueryHub(station_, host, 3).status, 1u);
  EXPECT_TRUE(lab_->Drive("A")->Present());

  Configure(3);  // text commands with a 7-byte answer each
  ASSERT_TRUE(devcmd::SwitchHub(station_, host, 3, false).ok());
  EXPECT_FALSE(lab_->Drive("A")->Present());
}

TEST_F(SerialPortPty, SilenceRunsIntoTheReadTimeOut) {
  Configure(2);  // no peer reads the master side
  const devcmd::HubOutcome s = devcmd::QueryHub(station_, host, 3);
  EXPECT_EQ(s.code, -72);
  EXPECT_EQ(s.detail, "the power hub does not answer");
}

TEST_F(SerialPortPty, TheOpenIsExclusiveAndRaw) {
  std::string why;
  std::unique_ptr<SerialPort> first = serial_->Open(device_, 9600, why);
  ASSERT_NE(first, nullptr) << why;
  if (::geteuid() != 0) {  // root may open an exclusive terminal again
    EXPECT_EQ(serial_->Open(device_, 9600, why), nullptr);
    EXPECT_NE(why.find(device_), std::string::npos);
  }
  const uint8_t frame[] = {0x0A, 0x0D, 0x03, 0x11, 0x7F};  // untouched: no CR/LF mapping, no flow control
  ASSERT_TRUE(first->Write(frame));
  uint8_t got[8] = {};
  pollfd p{master_, POLLIN, 0};
  ASSERT_GT(::poll(&p, 1, 1000), 0);
  EXPECT_EQ(::read(master_, got, sizeof got), 5);
  EXPECT_EQ(std::vector<uint8_t>(got, got + 5), std::vector<uint8_t>(frame, frame + 5));
  EXPECT_EQ(serial_->Open(dir.path() + "/none", 9600, why), nullptr);
  EXPECT_EQ(serial_->Open(device_, 12345, why), nullptr);
  EXPECT_EQ(why, "no such baud rate: 12345");
  EXPECT_FALSE(first->HasDeviceControls());
}

TEST_F(SerialPortPty, DefaultDevicesOfPortNames) {
  EXPECT_EQ(DefaultSerialDevice("COM1"), "/dev/ttyS0");
  EXPECT_EQ(DefaultSerialDevice("com12"), "/dev/ttyS11");
  EXPECT_EQ(DefaultSerialDevice("COM0"), "");
  EXPECT_EQ(DefaultSerialDevice("COMA"), "");
  EXPECT_EQ(DefaultSerialDevice("LPT1"), "");
}

}  // namespace
}  // namespace kestrune::platform
#endif
