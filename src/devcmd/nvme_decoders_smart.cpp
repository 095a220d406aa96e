#include "devcmd/nvme_decoders_smart.h"

#include "base/text.h"
#include "devcmd/item_filter.h"
#include "engine/output.h"

namespace kestrune::devcmd {
namespace {

using base::Format;

constexpr uint32_t kStd = engine::colour::kCyan;
constexpr uint32_t kVnd = engine::colour::kWhite;
constexpr std::string_view kStandard = "standard";
constexpr std::string_view kVendor = "vendor";
constexpr std::string_view kLevelC = "vendor|LevelC";

constexpr SmartRow S(int32_t offset, uint8_t size, std::string_view d) {
  return {offset, d, size, kStd, kStandard};
}
constexpr SmartRow Vn(int32_t offset, uint8_t size, std::string_view d) {
  return {offset, d, size, kVnd, kVendor};
}
constexpr SmartRow Vc(int32_t offset, uint8_t size, std::string_view d) {
  return {offset, d, size, kVnd, kLevelC};
}

constexpr SmartRow kRows[] = {
    S(0, 0, "Critical Warning"),
    S(1, 5, "Composite Temperature"),
    S(3, 0, "Available Spare"),
    S(4, 0, "Available Spare Threshold"),
    S(5, 0, "Percentage Used"),
    S(6, 0, "Endurance Group Critical Warning Summary"),
    S(32, 11, "Data Units Read"),
    S(48, 11, "Data Units Written"),
    S(64, 11, "Host Read Commands"),
    S(80, 11, "Host Write Commands"),
    S(96, 11, "Controller Busy Time"),
    S(112, 11, "Power Cycles"),
    S(128, 11, "Power On Hours"),
    S(144, 11, "Unsafe Shutdowns"),
    S(160, 11, "Media and Data Integrity Errors"),
    S(176, 11, "Number of Error Information Log Entries"),
    S(192, 8, "Warning Composite Temperature Time"),
    S(196, 8, "Critical Composite Temperature Time"),
    S(200, 5, "Temperature Sensor 1"),
    S(202, 5, "Temperature Sensor 2"),
    S(204, 5, "Temperature Sensor 3"),
    S(206, 5, "Temperature Sensor 4"),
    S(208, 5, "Temperature Sensor 5"),
    S(210, 5, "Temperature Sensor 6"),
    S(212, 5, "Temperature Sensor 7"),
    S(214, 5, "Temperature Sensor 8"),
    S(216, 8, "Thermal Management T1 Trans Cnt"),
    S(220, 8, "Thermal Management T2 Trans Cnt"),
    S(224, 8, "Thermal Management T1 Total Time"),
    S(228, 8, "Thermal Management T2 Total Time"),
    Vn(232, 5, "Defect Cnt"),
    Vn(234, 5, "Slc Spb Cnt"),
    Vn(236, 8, "Slc Total Ec Cnt"),
    Vn(240, 8, "Slc Max Ec Cnt"),
    Vn(244, 8, "Slc Min Ec Cnt"),
    Vn(248, 8, "Slc Avg Ec Cnt"),
    Vn(252, 8, "Total Ec Cnt"),
    Vn(256, 8, "Max Ec Cnt"),
    Vn(260, 8, "Min Ec Cnt"),
    Vn(264, 8, "Avg Ec Cnt"),
    Vc(268, 8, "Mrd Rr Good Cnt"),
    Vc(272, 8, "Ard Rr Good Cnt"),
    Vn(276, 8, "Preset Cnt"),
    Vn(280, 8, "Nvme Reset Cnt"),
    Vn(284, 8, "Low Pwr Cnt"),
    Vn(288, 8, "Write Amplification"),
    Vn(292, 8, "PS3 Entry Cnt"),
    Vc(296, 0, "highest_temp[0]"),
    Vc(297, 0, "highest_temp[1]"),
    Vc(298, 0, "highest_temp[2]"),
    Vc(299, 0, "highest_temp[3]"),
    Vn(300, 8, "Weight EC"),
    Vn(304, 8, "Slc Cap MB"),
    Vn(308, 11, "Nand Page Write Cnt"),
    Vc(316, 8, "Program Error Cnt"),
    Vc(320, 8, "Erase Error Cnt"),
    Vn(324, 0, "Flash Type"),
    Vn(325, 0, "slc_available_spare"),
    Vn(326, 0, "slc_available_spare_threshold"),
    Vc(328, 8, "Host crc err Cnt"),
    Vn(332, 8, "DDR ECC err Cnt"),
    Vn(336, 8, "Pcie aer Bad tlp error"),
    Vn(340, 8, "Pcie aer Link crc error"),
    Vn(344, 8, "Pcie aer Read error count"),
    Vn(348, 8, "Pcie aer Bad dllp error"),
    Vn(352, 8, "Pcie aer Replay number roll over error"),
    Vn(356, 8, "Pcie aer Replay timeout"),
    Vn(360, 8, "Pcie aer Rx NAK DLLP"),
    Vn(364, 8, "Pcie aer Tx NAK DLLP"),
    Vn(368, 8, "Pcie aer Retry TLP"),
    Vc(372, 8, "DDR 1bit error"),
    Vc(376, 8, "DDR_2bit_error"),
    Vc(380, 0, "nor_cri_log_full"),
    Vn(381, 0, "nor_ncl_log_full"),
    Vn(382, 0, "alloc_new_blk_err"),
    Vn(384, 11, "slc_amount_of_w"),
    Vc(392, 0, "lowest_temp[0]"),
    Vc(393, 0, "lowest_temp[1]"),
    Vc(394, 0, "lowest_temp[2]"),
    Vc(395, 0, "lowest_temp[3]"),
    Vc(396, 8, "sensor_error"),
    Vc(400, 8, "high_lat_rcmd_ttl_cnt"),
    Vc(404, 8, "high_lat_wcmd_ttl_cnt"),
    Vn(408, 8, "gbb_rate"),
    Vn(412, 8, "mrd_rr_good_cnt_h"),
    Vn(416, 8, "ard_rr_good_cnt_h"),
    Vn(420, 8, "last_plp_blk_cnt"),
    Vc(424, 8, "pcie_aer_rcv_err_cont"),
    Vn(428, 8, "max_read_cnt"),
    Vn(432, 8, "max_read_cnt_spb"),
    Vc(436, 8, "sram_1bit_error"),
    Vc(440, 8, "sram_2bit_error"),
    Vn(444, 8, "ssd_op"),
    Vn(448, 8, "tbl_op"),
};
static_assert(std::size(kRows) == 94, "the SMART table has 94 rows");

size_t Bytes(uint8_t sizeCode) {
  switch (sizeCode) {
    case 5:
      return 2;
    case 8:
      return 4;
    case 11:
      return 8;
    default:
      return 1;
  }
}

uint64_t Le(std::span<const uint8_t> page, size_t offset, size_t width) {
  uint64_t v = 0;
  for (size_t i = 0; i < width && offset + i < page.size(); ++i)
    v |= static_cast<uint64_t>(page[offset + i]) << (8 * i);
  return v;
}

std::string HexText(uint64_t value, uint8_t sizeCode) {
  const auto v = static_cast<unsigned long long>(value);
  switch (sizeCode) {
    case 5:
      return Format("0x%04llX", v);
    case 8:
      return Format("0x%08llX", v);
    case 11:
      return Format("0x%016llX", v);
    default:
      return Format("0x%02llX", v);
  }
}

}  // namespace

std::span<const SmartRow> SmartRows() { return kRows; }

bool SmartRowShown(const SmartRow& row, int64_t showVsc) {
  if (row.cls == kStandard || showVsc == 1) return true;
  return showVsc == 2 && base::ContainsNoCase(row.cls, "LevelC");
}

engine::Value DecodeSmart(LineSink& sink, std::span<const uint8_t> page, int64_t showVsc,
                          std::string_view items) {
  const std::string filter = NormaliseItems(items);
  if (filter.empty())
    sink.Write(Format("%-14s : %-42s | %18s | %15s", "Offset", "Desc", "Hex", "DEC"),
               engine::colour::kYellow);
  std::string joined;
  for (size_t i = 0; i < std::size(kRows); ++i) {
    const SmartRow& row = kRows[i];
    if (!SmartRowShown(row, showVsc)) continue;
    if (!filter.empty() && filter.find(Format("|%d|", row.offset)) == std::string::npos) continue;
    const int32_t last = i + 1 < std::size(kRows) ? kRows[i + 1].offset - 1 : kSmartTableEnd;
    const std::string label =
        filter.empty() ? Format("Byte %d-%d", row.offset, last) : Format("Byte %d", row.offset);
    const uint64_t value = Le(page, static_cast<size_t>(row.offset), Bytes(row.size));
    const std::string hex = HexText(value, row.size);
    const std::string tail = Format("| %18s | %15llu", hex.c_str(), static_cast<unsigned long long>(value));
    sink.Write(Format("%-14s : %-42.*s %s", label.c_str(), static_cast<int>(row.description.size()),
                      row.description.data(), tail.c_str()),
               row.colour);
    if (filter.empty()) continue;
    if (!joined.empty()) joined += ",";
    joined += hex;
  }
  return ItemCollector::ResultOf(joined);
}

}  // namespace kestrune::devcmd
