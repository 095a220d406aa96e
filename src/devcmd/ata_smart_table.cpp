#include "devcmd/ata_smart_table.h"

#include "base/text.h"
#include "engine/output.h"

namespace kestrune::devcmd {
namespace {

using base::Format;
namespace colour = engine::colour;

uint8_t At(std::span<const uint8_t> data, size_t i) { return i < data.size() ? data[i] : 0; }

std::string_view SelfTestDescription(uint8_t status) {
  if (status < 16) return "Self-test Status(Desc)         : Completed              ";
  if (status >> 4 == 1) return "Self-test Status(Desc)         : Abort by Host          ";
  if (status >> 4 == 2) return "Self-test Status(Desc)         : Interrupted by Host    ";
  if (status >> 4 == 3) return "Self-test Status(Desc)         : Error                  ";
  if (status >= 240) return "Self-test Status(Desc)         : Progress Running       ";
  return "Self-test Status(Desc)          : Unknow Error           ";
}

}  // namespace

std::string_view SmartAttributeName(uint8_t id) {
  switch (id) {
    case 5:
      return "Reallocated Sector Count";
    case 9:
      return "Power On Hours";
    case 12:
      return "Power Cycle Count";
    case 171:
      return "Program Fail Count";
    case 172:
      return "Erase Fail Count";
    case 173:
      return "Wear Leveling Count";
    case 174:
      return "Unexpected Power Loss Count";
    case 184:
      return "End-to-End error / IOEDC";
    case 187:
      return "Reported Uncorrectable Errors";
    case 194:
      return "Temperature";
    case 199:
      return "UltraDMA CRC Error Count";
    case 234:
      return "Avg EC and Max EC";
    case 241:
      return "Total Written (32MB)";
    case 242:
      return "Total Read (32MB)";
    default:
      return "Vendor Specific";
  }
}

void PrintSmartAttributes(LineSink& sink, const std::vector<disk::SmartAttribute>& attributes,
                          ItemCollector& items) {
  if (!items.filtering())
    sink.Write(Format("%2s: %-45s|%10s|%10s|%13s|%16s", "ID", "Description", "Current", "Threshold",
                      "Raw(Hex)", "Raw(Value)"),
               colour::kYellow);
  for (const disk::SmartAttribute& a : attributes) {
    if (!items.Selects(Format("|%d|", a.id))) continue;
    const std::string_view name = SmartAttributeName(a.id).substr(0, 44);
    std::string hex;
    for (size_t b = a.raw.size(); b-- > 0;) hex += Format("%02X", a.raw[b]);
    const std::string value = Format("%llu", static_cast<unsigned long long>(a.RawValue()));
    sink.Write(Format("%02X: %-45.*s|%10d|%10d|%13s|%16s", a.id, static_cast<int>(name.size()), name.data(),
                      a.current, a.threshold, hex.c_str(), value.c_str()),
               colour::kCyan);
    if (items.filtering()) items.Add(value);
  }
}

void PrintSelfTestState(LineSink& sink, std::span<const uint8_t> data) {
  const uint8_t status = At(data, disk::kSmartSelfTestStatus);
  sink.Write(Format("Self-test Support           : %d", (At(data, disk::kSmartCapability) >> 4) & 1),
             colour::kWhite);
  sink.Write(Format("Short Self-test Time(mins)  : %d", At(data, disk::kSmartShortTestMinutes)),
             colour::kWhite);
  sink.Write(Format("Extend Self-test Time(mins) : %d", At(data, disk::kSmartExtendedTestMinutes)),
             colour::kWhite);
  sink.Write(Format("Self-test Percent Remaining(%%) : %d", (status & 0x0F) * 10), colour::kYellow);
  sink.Write(Format("Self-test Status(Code)         : %d", status >> 4), colour::kYellow);
  sink.Write(SelfTestDescription(status), colour::kYellow);
}

}  // namespace kestrune::devcmd
