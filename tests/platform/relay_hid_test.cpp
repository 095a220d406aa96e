// The USB relay boards' HID protocol over a recording HID bus: the board is found by its serial
// number, the channel reports FFh n and FDh n, the status from the feature report.
#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include "platform/relay_board.h"

namespace kestrune::platform {
namespace {

using Bytes = std::vector<uint8_t>;

struct FakeBoard {
  std::string product;
  Bytes feature;  // what a get-feature of report 0 gives, report id first
  std::vector<Bytes> sent;
};

class FakeBus final : public HidBus {
 public:
  std::map<std::string, FakeBoard> boards;  // by path
  std::vector<std::pair<uint16_t, uint16_t>> asked;

  std::vector<HidDeviceInfo> Enumerate(uint16_t vendorId, uint16_t productId) override {
    asked.emplace_back(vendorId, productId);
    std::vector<HidDeviceInfo> out;
    for (const auto& [path, b] : boards) out.push_back({path, b.product});
    return out;
  }
  std::unique_ptr<HidDevice> Open(const std::string& path, std::string& why) override {
    auto it = boards.find(path);
    if (it == boards.end()) {
      why = "none";
      return nullptr;
    }
    return std::make_unique<Dev>(it->second);
  }

 private:
  struct Dev final : HidDevice {
    explicit Dev(FakeBoard& b) : board(b) {}
    int GetFeature(std::span<uint8_t> buffer) override {
      if (buffer[0] != 0) return -1;
      const size_t n = std::min(buffer.size(), board.feature.size());
      std::copy_n(board.feature.begin(), n, buffer.begin());
      return static_cast<int>(n);
    }
    bool SendFeature(std::span<const uint8_t> report) override {
      board.sent.emplace_back(report.begin(), report.end());
      return true;
    }
    FakeBoard& board;
  };
};

Bytes Feature(std::string_view serial, uint8_t mask) {
  Bytes f(9, 0);
  std::copy(serial.begin(), serial.end(), f.begin() + 1);
  f[8] = mask;
  return f;
}

TEST(RelayHid, FindsBoardsBySerialAndSendsTheChannelReports) {
  auto bus = std::make_shared<FakeBus>();
  bus->boards["/dev/hidraw1"] = {"USBRelay2", Feature("QAAMZ", 0x01), {}};
  bus->boards["/dev/hidraw2"] = {"USBRelay1", Feature("HURTM", 0x00), {}};
  bus->boards["/dev/hidraw3"] = {"Keyboard", Feature("KEYBD", 0x00), {}};  // same ids, not a relay board
  std::unique_ptr<RelayLibrary> lib = CreateHidRelayLibrary(bus);

  std::string why;
  EXPECT_TRUE(lib->Available(why));
  EXPECT_EQ(lib->Serials(), (std::vector<std::string>{"QAAMZ", "HURTM"}));
  EXPECT_EQ(bus->asked.front(), (std::pair<uint16_t, uint16_t>{0x16C0, 0x05DF}));

  std::unique_ptr<RelayBoard> board = lib->Open("HURTM", why);
  ASSERT_NE(board, nullptr);
  EXPECT_TRUE(board->OpenChannel(1));
  EXPECT_TRUE(board->CloseChannel(2));
  EXPECT_FALSE(board->OpenChannel(0));
  EXPECT_FALSE(board->CloseChannel(9));
  const FakeBoard& sent = bus->boards["/dev/hidraw2"];
  ASSERT_EQ(sent.sent.size(), 2u);
  EXPECT_EQ(sent.sent[0], (Bytes{0x00, 0xFF, 0x01, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(sent.sent[1], (Bytes{0x00, 0xFD, 0x02, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(bus->boards["/dev/hidraw1"].sent.empty());

  EXPECT_EQ(lib->Open("QAAMZ", why)->Status(), 0x01u);
  EXPECT_EQ(lib->Open("KEYBD", why), nullptr);
  EXPECT_NE(why.find("KEYBD"), std::string::npos);
}

TEST(RelayHid, ABoardThatDoesNotAnswerHasNoStatus) {
  auto bus = std::make_shared<FakeBus>();
  bus->boards["a"] = {"USBRelay1", Feature("AAAAA", 0), {}};
  std::unique_ptr<RelayLibrary> lib = CreateHidRelayLibrary(bus);
  std::string why;
  std::unique_ptr<RelayBoard> board = lib->Open("AAAAA", why);
  ASSERT_NE(board, nullptr);
  bus->boards["a"].feature.resize(4);  // a short report
  EXPECT_EQ(board->Status(), std::nullopt);
}

}  // namespace
}  // namespace kestrune::platform
