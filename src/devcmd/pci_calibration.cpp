#include "devcmd/pci_calibration.h"

#include <algorithm>
#include <string>

#include "base/bytes.h"
#include "base/text.h"
#include "engine/output.h"

namespace kestrune::devcmd {
namespace {

namespace colour = engine::colour;
using base::Format;
using Lanes = std::array<int32_t, 4>;

constexpr uint32_t kCalibrationDwords = 27;
constexpr int32_t kClamp = 10000;
constexpr uint32_t kMaxLanes = 16;

uint32_t Dword(std::span<const uint8_t> b, uint32_t index) {
  const size_t at = size_t{index} * 4;
  return at + 4 <= b.size() ? base::GetLe32(b.data() + at) : 0;
}
int32_t Signed(std::span<const uint8_t> b, uint32_t index) { return static_cast<int32_t>(Dword(b, index)); }

Lanes FourAt(std::span<const uint8_t> b, uint32_t first) {
  return {Signed(b, first), Signed(b, first + 1), Signed(b, first + 2), Signed(b, first + 3)};
}

int32_t Spread(const Lanes& v) {
  Lanes c;
  std::transform(v.begin(), v.end(), c.begin(), [](int32_t x) { return std::clamp(x, -kClamp, kClamp); });
  return *std::max_element(c.begin(), c.end()) - *std::min_element(c.begin(), c.end());
}

bool Within(int32_t v, int32_t low, int32_t high) { return v >= low && v <= high; }
bool AllWithin(const Lanes& v, int32_t low, int32_t high) {
  return std::all_of(v.begin(), v.end(), [&](int32_t x) { return Within(x, low, high); });
}

void LanesLine(LineSink& sink, const char* label, const Lanes& v, const char* bounds) {
  sink.Write(Format("%-31s: %-4d | %-4d | %-4d | %-4d | %s", label, v[0], v[1], v[2], v[3], bounds),
             colour::kWhite);
}
void BandLine(LineSink& sink, const char* label, int32_t v, const char* bounds) {
  sink.Write(Format("%-31s: %-4d                      | %s", label, v, bounds), colour::kWhite);
}

void Named(LineSink& sink, const std::string& name, const std::string& value) {
  sink.Write(Format("%-33s : %s", name.c_str(), value.c_str()), colour::kWhite);
}

uint32_t Bits(uint32_t v, unsigned high, unsigned low) { return (v >> low) & ((1u << (high - low + 1)) - 1); }

constexpr const char* kCounters[] = {
    "pcie_ev_l0_rcv_cnt",
    "pcie_ev_phy_rxst_err_cnt",
    "pcie_ev_phy_eb_overflw_cnt",
    "pcie_ev_phy_eb_underflw_cnt",
    "pcie_ev_read_cpl_timeout",
    "pcie_ev_link_down_cnt",
    "pcie_aer_cpl_to_err_cnt",
    "pcie_aer_poi_tlp_err_cnt",
    "pcie_aer_unexp_cpl_err_cnt",
    "pcie_aer_ca_err_cnt",
    "pcie_aer_ecrc_err_cnt",
    "pcie_aer_rcv_of_err_cnt",
    "pcie_aer_rcv_err_cnt",
    "pcie_aer_ur_err_cnt",
    "pcie_aer_bad_dllp_cnt",
    "pcie_aer_bad_tlp_cnt",
    "pcie_aer_rply_timer_to_cnt",
    "pcie_aer_rply_num_rol_cnt",
    "pcie_aer_malform_tlp_cnt",
    "pcie_aer_dl_protocal_cnt",
    "pcie_phy_leq0",
    "pcie_phy_leq1",
    "pcie_phy_leq2",
    "pcie_phy_leq3",
    "pcie_phy_dfe0",
    "pcie_phy_dfe1",
    "pcie_phy_dfe2",
    "pcie_phy_dfe3",
};
static_assert(sizeof kCounters / sizeof kCounters[0] == 28, "dwords 64 to 91");

// Dwords 96 to 119; the first two are signed.
constexpr const char* kPhyValues[] = {
    "pcie_pll_band_gen1_2",   "pcie_pll_band_gen3_5",   "pcie_eq_cal_vga_lane0",  "pcie_eq_cal_vga_lane1",
    "pcie_eq_cal_vga_lane2",  "pcie_eq_cal_vga_lane3",  "pcie_g4_pll_band",       "pcie_g4_cdr_band_lane0",
    "pcie_g4_cdr_band_lane1", "pcie_g4_cdr_band_lane2", "pcie_g4_cdr_band_lane3", "pcie_g4_dac_lane0",
    "pcie_g4_dac_lane1",      "pcie_g4_dac_lane2",      "pcie_g4_dac_lane3",      "pcie_g3_pll_band",
    "pcie_g3_cdr_band_lane0", "pcie_g3_cdr_band_lane1", "pcie_g3_cdr_band_lane2", "pcie_g3_cdr_band_lane3",
    "pcie_g3_dac_lane0",      "pcie_g3_dac_lane1",      "pcie_g3_dac_lane2",      "pcie_g3_dac_lane3",
};
static_assert(sizeof kPhyValues / sizeof kPhyValues[0] == 24, "dwords 96 to 119");

}  // namespace

PciCalibration ReadCalibration(std::span<const uint8_t> b) {
  PciCalibration c;
  c.speedCode = Dword(b, 0);
  c.leq = FourAt(b, 1);
  c.dfe = FourAt(b, 5);
  c.gen4Pll = Signed(b, 9);
  c.gen4Cdr = FourAt(b, 10);
  c.gen4Dac = FourAt(b, 14);
  c.gen3Pll = Signed(b, 18);
  c.gen3Cdr = FourAt(b, 19);
  c.gen3Dac = FourAt(b, 23);
  return c;
}

bool CalibrationPresent(std::span<const uint8_t> b) {
  for (uint32_t i = 0; i < kCalibrationDwords; ++i) {
    const uint32_t v = Dword(b, i);
    if (v != 0 && v != 0xFFFFFFFFu) return true;
  }
  return false;
}

bool CalibrationPasses(const PciCalibration& c) {
  if (c.speedCode != 0x34 && c.speedCode != 0x44) return false;
  if (Spread(c.leq) > 3 || Spread(c.dfe) > 25) return false;
  if (c.speedCode == 0x44)
    return Within(c.gen4Pll, 150, 300) && AllWithin(c.gen4Cdr, 80, 200) && AllWithin(c.gen4Dac, -70, 70);
  return Within(c.gen3Pll, 5, 100) && AllWithin(c.gen3Cdr, 50, 200) && AllWithin(c.gen3Dac, -80, 80);
}

void CalibrationLines(LineSink& sink, const PciCalibration& c) {
  sink.Write("[PCI Calibration]", colour::kYellow);
  sink.Write(Format("Neg Speed                      : 0x%X", c.speedCode), colour::kWhite);
  LanesLine(sink, "LEQ Lane(0, 1, 2, 3)", c.leq, "Delta < 3");
  LanesLine(sink, "DFE Lane(0, 1, 2, 3)", c.dfe, "Delta < 25");
  BandLine(sink, "Gen4 PLL Band", c.gen4Pll, "150 < PLL < 300");
  LanesLine(sink, "Gen4 CDR Band Lane(0, 1, 2, 3)", c.gen4Cdr, "80 < CDR < 200");
  LanesLine(sink, "Gen4 DAC Lane(0, 1, 2, 3)", c.gen4Dac, "-70 < DAC < 70");
  BandLine(sink, "Gen3 PLL Band", c.gen3Pll, "5 < PLL < 100");
  LanesLine(sink, "Gen3 CDR Band Lane(0, 1, 2, 3)", c.gen3Cdr, "50 < CDR < 200");
  LanesLine(sink, "Gen3 DAC Lane(0, 1, 2, 3)", c.gen3Dac, "-80 < DAC < 80");
  if (CalibrationPasses(c))
    sink.Write("PCI Calibration Result         : PASS", colour::kGreen);
  else
    sink.Write("PCI Calibration Result         : FAIL", colour::kRed);
}

void LaneMarginLines(LineSink& sink, std::span<const uint8_t> block7, uint32_t lanes) {
  sink.Write("[PCI Lane Margin]", colour::kYellow);
  for (uint32_t j = 0; j < std::min(lanes, kMaxLanes); ++j) {
    const Lanes m = FourAt(block7, 4 * j);
    // Negated in 64 bits, so that the most negative dword does not overflow.
    sink.Write(Format("Lane[%u] (X1, X2, Y1, Y2)   : %4d | %4lld | %4d | %4lld", j, m[0],
                      -static_cast<long long>(m[1]), m[2], -static_cast<long long>(m[3])),
               colour::kWhite);
  }
}

void ExtDataLines(LineSink& sink, std::span<const uint8_t> block7, bool cedarOrLater) {
  sink.Write("[Ext Data]", colour::kYellow);
  uint32_t index = 64;
  for (const char* name : kCounters) Named(sink, name, Format("%u", Dword(block7, index++)));
  for (uint32_t p = 0; p < 4; ++p) {
    const uint32_t v = Dword(block7, 92 + p);
    if (cedarOrLater)
      sink.Write(Format("pcie_phy_tx_final_preset[%u]      : cof0 = %-2u | cof1 = %-2u | cof2 = %-2u", p,
                        Bits(v, 18, 13), Bits(v, 24, 19), Bits(v, 30, 25)),
                 colour::kWhite);
    else
      sink.Write(Format("pcie_phy_tx_final_preset[%u]      : ps_sel = %-2u | de_sl = %-2u", p, Bits(v, 5, 1),
                        Bits(v, 10, 6)),
                 colour::kWhite);
  }
  index = 96;
  for (size_t i = 0; i < sizeof kPhyValues / sizeof kPhyValues[0]; ++i, ++index) {
    const std::string value =
        i < 2 ? Format("%d", Signed(block7, index)) : Format("%u", Dword(block7, index));
    Named(sink, kPhyValues[i], value);
  }
}

}  // namespace kestrune::devcmd
