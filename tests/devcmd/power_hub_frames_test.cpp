// The power hubs' frames and replies, type by type, and the bridge power requests.
#include <gtest/gtest.h>

#include <vector>

#include "devcmd/bridge_power.h"
#include "devcmd/hub_frames.h"

namespace kestrune::devcmd {
namespace {

using Bytes = std::vector<uint8_t>;

HubStep Write(Bytes b, size_t reply = 0) { return HubStep{false, 0, std::move(b), reply}; }
HubStep Control(uint32_t code, Bytes in, size_t reply = 0) { return HubStep{true, code, std::move(in), reply}; }

struct SwitchCase {
  int type;
  uint32_t port;
  bool on;
  std::vector<HubStep> steps;
};

TEST(PowerHubFrames, SwitchStepsOfEveryType) {
  const SwitchCase cases[] = {
      {0, 1, false, {Control(0x2220B4, {1}), Control(0x2220BC, {0})}},
      {0, 1, true, {Control(0x2220B4, {1}), Control(0x2220BC, {1})}},
      {2, 3, false, {Write({0xAE, 0x20, 0xCF, 0x28, 0x02, 0x03, 0x00, 0xAC})}},
      {2, 3, true, {Write({0xAE, 0x20, 0xCF, 0x28, 0x02, 0x03, 0x01, 0xAC})}},
      {2, 0, false, {Write({0xAE, 0x20, 0xCF, 0x29, 0x03, 0xFF, 0x00, 0x00, 0xAC})}},
      {2, 0, true, {Write({0xAE, 0x20, 0xCF, 0x29, 0x03, 0xFF, 0xFF, 0x00, 0xAC})}},
      {3, 2, false, {Write({'c', ' ', '1', '\r'}, 7)}},
      {3, 6, true, {Write({'o', ' ', '5', '\r'}, 7)}},
      {5, 0, false, {Write({0xA0, 0x01, 0x01, 0xA2})}},
      {5, 4, true, {Write({0xA0, 0x01, 0x00, 0xA1})}},
      {4, 1, true, {}},
  };
  for (const SwitchCase& c : cases)
    EXPECT_EQ(SwitchSteps(c.type, c.port, c.on), c.steps) << "type " << c.type << " port " << c.port << " on " << c.on;
}

TEST(PowerHubFrames, TextHubPortZeroSwitchesAllSixChannelsInTurn) {
  const std::vector<HubStep> steps = SwitchSteps(3, 0, false);
  ASSERT_EQ(steps.size(), 6u);
  for (uint8_t c = 0; c < 6; ++c) EXPECT_EQ(steps[c], Write({'c', ' ', uint8_t('0' + c), '\r'}, 7));
}

TEST(PowerHubFrames, StatusRequestsAndTheirAnswers) {
  EXPECT_EQ(StatusSteps(0, 7), (std::vector<HubStep>{Control(0x2220B4, {1}), Control(0x2220C4, {}, 1)}));
  EXPECT_EQ(StatusSteps(2, 7), (std::vector<HubStep>{Write({0xAE, 0x00, 0xCF, 0x2B, 0x01, 0x07, 0xAC}, 6)}));
  for (int type : {3, 4, 5}) EXPECT_TRUE(StatusSteps(type, 1).empty()) << type;

  const Bytes reply = {0xAE, 0x00, 0xCF, 0x2B, 0x34, 0x12};
  const HubStep ask = StatusSteps(2, 1)[0];
  EXPECT_TRUE(ReplyIsSound(2, ask, reply));
  EXPECT_EQ(StatusOfReply(2, reply), 0x1234u);
  EXPECT_FALSE(ReplyIsSound(2, ask, Bytes{0xF4, 0x00, 0xCF, 0x2B, 0x34, 0x12})) << "no frame start";
  EXPECT_FALSE(ReplyIsSound(2, ask, Bytes{0xAE, 0x00, 0xCF, 0x2B, 0x34})) << "short";
  EXPECT_FALSE(ReplyIsSound(2, ask, Bytes{})) << "none";
  EXPECT_EQ(StatusOfReply(0, Bytes{0x05}), 5u);
  EXPECT_FALSE(StatusOfReply(0, Bytes{}).has_value());

  const HubStep text = SwitchSteps(3, 1, true)[0];
  EXPECT_TRUE(ReplyIsSound(3, text, Bytes(7, 'x')));
  EXPECT_FALSE(ReplyIsSound(3, text, Bytes(3, 'x')));
  EXPECT_TRUE(ReplyIsSound(2, SwitchSteps(2, 1, true)[0], Bytes{})) << "switch frames have no answer";
}

TEST(PowerHubFrames, TypesPortsBaudsAndTheUnsupportedStatus) {
  const struct {
    int type;
    bool hub;
    uint32_t baud;
    uint32_t lastPort;
    const char* noStatus;
  } rows[] = {
      {0, true, 115200, 255, ""},
      {1, false, 9600, 255, ""},
      {2, true, 9600, 255, ""},
      {3, true, 1200, 6, "Tigo PowerHub no support this function"},
      {4, true, 9600, 255, ""},
      {5, true, 9600, 255, "CH340 PowerHub no support this function"},
      {6, false, 9600, 255, ""},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(IsHubType(r.type), r.hub) << r.type;
    EXPECT_EQ(HubBaud(r.type), r.baud) << r.type;
    EXPECT_TRUE(HubPortInRange(r.type, r.lastPort)) << r.type;
    EXPECT_FALSE(HubPortInRange(r.type, r.lastPort + 1)) << r.type;
    EXPECT_EQ(NoStatusDetail(r.type), r.noStatus) << r.type;
  }
  EXPECT_FALSE(IsHubType(-1));
}

TEST(PowerHubFrames, BridgePowerRequests) {
  using disk::DiskKind;
  const struct {
    DiskKind kind;
    BridgePower action;
    std::optional<uint8_t> code;
  } rows[] = {
      {DiskKind::kAsm2362, BridgePower::kOff, 0},  {DiskKind::kAsm2364, BridgePower::kOn, 1},
      {DiskKind::kAsm2362, BridgePower::kReLink, 4}, {DiskKind::kJmi, BridgePower::kOff, 6},
      {DiskKind::kJmi, BridgePower::kOn, 2},       {DiskKind::kJmi, BridgePower::kReLink, 4},
      {DiskKind::kRtl9210B, BridgePower::kOff, std::nullopt}, {DiskKind::kNvm, BridgePower::kOn, std::nullopt},
  };
  for (const auto& r : rows) EXPECT_EQ(BridgePowerCode(r.kind, r.action), r.code) << static_cast<int>(r.kind);

  const disk::BridgeCdb cdb = AsmediaPowerCdb(4);
  EXPECT_EQ(Bytes(cdb.begin(), cdb.end()), (Bytes{0xEA, 0x5A, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  const auto block = JmicronPowerBlock(6);
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 4), (Bytes{'N', 'V', 'M', 'E'}));
  for (size_t i = 4; i < block.size(); ++i) EXPECT_EQ(block[i], i == 72 ? 6 : 0) << i;
}

}  // namespace
}  // namespace kestrune::devcmd
