#include "devcmd/nvme_features.h"

#include <utility>

#include "base/text.h"

namespace kestrune::devcmd {
namespace {

using base::Format;

constexpr std::string_view kNames[] = {
    "0x01: Arbitration",
    "0x02: Power Manage",
    "0x04: Temperature TH",
    "0x05: Error Recovery",
    "0x06: Write Cache",
    "0x07: Queues",
    "0x08: Interrupt Coalesce",
    "0x09: Interrupt Vector Cfg",
    "0x0A: Write Atom",
    "0x0B: Async Event Cfg",
    "0x10: Thermal Management Temperature",
};

uint32_t Bits(uint32_t v, unsigned hi, unsigned lo) {
  const unsigned width = hi - lo + 1;
  return width >= 32 ? v >> lo : (v >> lo) & ((1u << width) - 1u);
}

struct Field {
  const char* format;
  unsigned hi;
  unsigned lo;
};

std::vector<std::string> Lines(uint32_t v, std::initializer_list<Field> fields) {
  std::vector<std::string> out;
  for (const Field& f : fields) out.push_back(Format(f.format, Bits(v, f.hi, f.lo)));
  return out;
}

}  // namespace

std::optional<std::string_view> FeatureName(uint32_t fid) {
  const std::string prefix = Format("0x%02X:", fid);
  for (std::string_view name : kNames)
    if (name.starts_with(prefix)) return name;
  return std::nullopt;
}

std::vector<std::string> ThermalTemperatureLines(uint32_t v) {
  return Lines(v, {{"Thermal Management Temperature 1 (TMT1) : %u Kelvin", 31, 16},
                   {"Thermal Management Temperature 2 (TMT2) : %u Kelvin", 15, 0}});
}

std::vector<std::string> FeatureFields(uint32_t fid, uint32_t v) {
  switch (fid) {
    case 0x01:
      return Lines(v, {{"    HPW        : 0x%02X", 31, 24},
                       {"    MPW        : 0x%02X", 23, 16},
                       {"    LPW        : 0x%02X", 15, 8},
                       {"    AB         : 0x%02X", 2, 0}});
    case 0x02:
      return Lines(v, {{"    WH         : 0x%02X", 7, 5}, {"    PS         : 0x%02X", 4, 0}});
    case 0x04:
      return Lines(v, {{"    THSEL      : 0x%02X", 21, 20},
                       {"    TMPSEL     : 0x%02X", 19, 16},
                       {"    TMPTH      : 0x%02X", 15, 0}});
    case 0x05:
      return Lines(v, {{"    DULBE      : 0x%02X", 16, 16}, {"    TLER       : 0x%02X", 15, 0}});
    case 0x06:
      return Lines(v, {{"    WCE        : 0x%02X", 0, 0}});
    case 0x07:
      return Lines(v, {{"    NCQR       : 0x%02X", 31, 16}, {"    NSQR       : 0x%02X", 15, 0}});
    case 0x08:
      return Lines(v, {{"    TIME       : 0x%02X", 15, 8}, {"    THR        : 0x%02X", 7, 0}});
    case 0x09:
      return Lines(v, {{"    CD         : 0x%02X", 16, 16}, {"    IV         : 0x%02X", 15, 0}});
    case 0x0A:
      return Lines(v, {{"    DN         : 0x%02X", 0, 0}});
    case 0x0B:
      return Lines(v, {{"    ReferTo_NVME_OVER_FABRICS : 0x%02X", 31, 28},
                       {"    Endurance_Log_Change      : 0x%02X", 14, 14},
                       {"    LBA_Status_Info           : 0x%02X", 13, 13},
                       {"    Latency_Event_Change      : 0x%02X", 12, 12},
                       {"    Namespace_Access_Change   : 0x%02X", 11, 11},
                       {"    Telemetry_Log             : 0x%02X", 10, 10},
                       {"    Firmwarw_Activation       : 0x%02X", 9, 9},
                       {"    Namespace_Attribute       : 0x%02X", 8, 8},
                       {"    SMART_CriticalWarnings    : 0x%02X", 7, 0}});
    case 0x10:
      return ThermalTemperatureLines(v);
    default:
      return {};
  }
}

}  // namespace kestrune::devcmd
