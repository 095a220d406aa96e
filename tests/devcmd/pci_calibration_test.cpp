// The PHY calibration verdict at every bound, and the lines of the calibration, lane margin and
// extended data blocks.
#include "devcmd/pci_calibration.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <vector>

#include "base/bytes.h"
#include "engine/output.h"

namespace kestrune::devcmd {
namespace {

namespace colour = engine::colour;

std::vector<uint8_t> Block(std::initializer_list<std::pair<uint32_t, int64_t>> dwords) {
  std::vector<uint8_t> b(4096, 0);
  for (auto [index, value] : dwords) base::PutLe32(b.data() + 4 * index, static_cast<uint32_t>(value));
  return b;
}

PciCalibration PassingGen4() {
  PciCalibration c;
  c.speedCode = 0x44;
  c.leq = {10, 11, 12, 13};
  c.dfe = {0, 25, 10, 5};
  c.gen4Pll = 150;
  c.gen4Cdr = {80, 200, 100, 100};
  c.gen4Dac = {-70, 70, 0, 0};
  c.gen3Pll = 9999;  // the other generation's values do not count
  return c;
}

PciCalibration PassingGen3() {
  PciCalibration c;
  c.speedCode = 0x34;
  c.leq = {0, 0, 0, 0};
  c.dfe = {0, 0, 0, 0};
  c.gen3Pll = 5;
  c.gen3Cdr = {50, 200, 50, 200};
  c.gen3Dac = {-80, 80, 0, 0};
  c.gen4Pll = -1;
  return c;
}

TEST(PciCalibrationVerdict, EveryBoundInclusive) {
  struct Case {
    const char* what;
    PciCalibration (*base)();
    std::function<void(PciCalibration&)> change;
    bool pass;
  } cases[] = {
      {"Gen4 at its lower bounds", PassingGen4, [](PciCalibration&) {}, true},
      {"Gen4 PLL at 300", PassingGen4, [](PciCalibration& c) { c.gen4Pll = 300; }, true},
      {"Gen4 PLL 149", PassingGen4, [](PciCalibration& c) { c.gen4Pll = 149; }, false},
      {"Gen4 PLL 301", PassingGen4, [](PciCalibration& c) { c.gen4Pll = 301; }, false},
      {"Gen4 CDR 79", PassingGen4, [](PciCalibration& c) { c.gen4Cdr[2] = 79; }, false},
      {"Gen4 CDR 201", PassingGen4, [](PciCalibration& c) { c.gen4Cdr[3] = 201; }, false},
      {"Gen4 DAC -71", PassingGen4, [](PciCalibration& c) { c.gen4Dac[0] = -71; }, false},
      {"Gen4 DAC 71", PassingGen4, [](PciCalibration& c) { c.gen4Dac[1] = 71; }, false},
      {"LEQ spread 4", PassingGen4, [](PciCalibration& c) { c.leq[3] = 14; }, false},
      {"DFE spread 26", PassingGen4, [](PciCalibration& c) { c.dfe[1] = 26; }, false},
      {"Gen3 at its bounds", PassingGen3, [](PciCalibration&) {}, true},
      {"Gen3 PLL 100", PassingGen3, [](PciCalibration& c) { c.gen3Pll = 100; }, true},
      {"Gen3 PLL 4", PassingGen3, [](PciCalibration& c) { c.gen3Pll = 4; }, false},
      {"Gen3 PLL 101", PassingGen3, [](PciCalibration& c) { c.gen3Pll = 101; }, false},
      {"Gen3 CDR 49", PassingGen3, [](PciCalibration& c) { c.gen3Cdr[0] = 49; }, false},
      {"Gen3 CDR 201", PassingGen3, [](PciCalibration& c) { c.gen3Cdr[1] = 201; }, false},
      {"Gen3 DAC -81", PassingGen3, [](PciCalibration& c) { c.gen3Dac[0] = -81; }, false},
      {"Gen3 DAC 81", PassingGen3, [](PciCalibration& c) { c.gen3Dac[1] = 81; }, false},
      {"Gen4 bounds do not apply to Gen3", PassingGen3,
       [](PciCalibration& c) {
         c.gen4Cdr = {0, 0, 0, 0};
       },
       true},
      {"another speed code", PassingGen3, [](PciCalibration& c) { c.speedCode = 0x24; }, false},
      {"LEQ limited to -10000 before the spread", PassingGen3,
       [](PciCalibration& c) {
         c.leq = {-2000000000, -10000, -9998, -9997};
       },
       true},
      {"DFE limited to 10000 before the spread", PassingGen3,
       [](PciCalibration& c) {
         c.dfe = {2000000000, 10000, 9990, 9975};
       },
       true},
      {"DFE spread 26 after the limit", PassingGen3,
       [](PciCalibration& c) {
         c.dfe = {2000000000, 9974, 9980, 9990};
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PciCalibration cal = c.base();
    c.change(cal);
    EXPECT_EQ(CalibrationPasses(cal), c.pass);
  }
}

TEST(PciCalibrationLines, ReadFromTheBlockAndShownWithTheirBounds) {
  const std::vector<uint8_t> block = Block({{0, 0x44},
                                            {1, 10},
                                            {2, 11},
                                            {3, 12},
                                            {4, 13},
                                            {5, 0},
                                            {6, 25},
                                            {9, 150},
                                            {10, 80},
                                            {11, 200},
                                            {12, 100},
                                            {13, 100},
                                            {14, -70},
                                            {15, 70},
                                            {18, 42},
                                            {26, -5}});
  ASSERT_TRUE(CalibrationPresent(block));
  const PciCalibration c = ReadCalibration(block);
  EXPECT_EQ(c.gen3Pll, 42);
  EXPECT_EQ(c.gen3Dac[3], -5);
  LineCollector lines;
  CalibrationLines(lines, c);
  const std::vector<std::string> expected = {
      "[PCI Calibration]",
      "Neg Speed                      : 0x44",
      "LEQ Lane(0, 1, 2, 3)           : 10   | 11   | 12   | 13   | Delta < 3",
      "DFE Lane(0, 1, 2, 3)           : 0    | 25   | 0    | 0    | Delta < 25",
      "Gen4 PLL Band                  : 150                       | 150 < PLL < 300",
      "Gen4 CDR Band Lane(0, 1, 2, 3) : 80   | 200  | 100  | 100  | 80 < CDR < 200",
      "Gen4 DAC Lane(0, 1, 2, 3)      : -70  | 70   | 0    | 0    | -70 < DAC < 70",
      "Gen3 PLL Band                  : 42                        | 5 < PLL < 100",
      "Gen3 CDR Band Lane(0, 1, 2, 3) : 0    | 0    | 0    | 0    | 50 < CDR < 200",
      "Gen3 DAC Lane(0, 1, 2, 3)      : 0    | 0    | 0    | -5   | -80 < DAC < 80",
      "PCI Calibration Result         : PASS",
  };
  EXPECT_EQ(lines.Texts(), expected);
  EXPECT_EQ(lines.lines.front().colour, colour::kYellow);
  EXPECT_EQ(lines.lines.back().colour, colour::kGreen);

  PciCalibration failing = c;
  failing.gen4Pll = 0;
  LineCollector failed;
  CalibrationLines(failed, failing);
  EXPECT_EQ(failed.lines.back(), (DecodedLine{"PCI Calibration Result         : FAIL", colour::kRed}));

  EXPECT_FALSE(CalibrationPresent(std::vector<uint8_t>(4096, 0)));
  EXPECT_FALSE(CalibrationPresent(std::vector<uint8_t>(4096, 0xFF)));
}

TEST(PciLaneMargin, SecondAndFourthNegatedForEachLane) {
  const std::vector<uint8_t> block =
      Block({{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, -5}, {5, 6}, {6, -7}, {7, INT32_MIN}});
  LineCollector lines;
  LaneMarginLines(lines, block, 2);
  const std::vector<std::string> expected = {
      "[PCI Lane Margin]",
      "Lane[0] (X1, X2, Y1, Y2)   :    1 |   -2 |    3 |   -4",
      "Lane[1] (X1, X2, Y1, Y2)   :   -5 |   -6 |   -7 | 2147483648",
  };
  EXPECT_EQ(lines.Texts(), expected);
  LineCollector wide;
  LaneMarginLines(wide, block, 255);  // a width the link cannot have stops at 16 lanes
  EXPECT_EQ(wide.lines.size(), 17u);
}

TEST(PciExtData, NamesValuesAndBothPresetForms) {
  const uint32_t below = 5u << 1 | 9u << 6;
  const uint32_t cedar = 12u << 13 | 33u << 19 | 7u << 25;
  const std::vector<uint8_t> block = Block(
      {{64, 7}, {91, 0xFFFFFFFF}, {92, below}, {93, cedar}, {96, -3}, {97, 4}, {98, 0xFFFFFFFE}, {119, 9}});
  LineCollector old;
  ExtDataLines(old, block, false);
  ASSERT_EQ(old.lines.size(), 1u + 28 + 4 + 24);
  EXPECT_EQ(old.lines[0].text, "[Ext Data]");
  EXPECT_EQ(old.lines[1].text, "pcie_ev_l0_rcv_cnt                : 7");
  EXPECT_EQ(old.lines[28].text, "pcie_phy_dfe3                     : 4294967295");
  EXPECT_EQ(old.lines[29].text, "pcie_phy_tx_final_preset[0]      : ps_sel = 5  | de_sl = 9 ");
  EXPECT_EQ(old.lines[33].text, "pcie_pll_band_gen1_2              : -3");
  EXPECT_EQ(old.lines[34].text, "pcie_pll_band_gen3_5              : 4");
  EXPECT_EQ(old.lines[35].text, "pcie_eq_cal_vga_lane0             : 4294967294");
  EXPECT_EQ(old.lines[56].text, "pcie_g3_dac_lane3                 : 9");
  LineCollector later;
  ExtDataLines(later, block, true);
  EXPECT_EQ(later.lines[30].text, "pcie_phy_tx_final_preset[1]      : cof0 = 12 | cof1 = 33 | cof2 = 7 ");
}

}  // namespace
}  // namespace kestrune::devcmd
