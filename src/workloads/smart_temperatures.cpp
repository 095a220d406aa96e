#include "workloads/smart_temperatures.h"

#include "base/bytes.h"

namespace kestrune::workloads {
namespace {

constexpr size_t kCompositeAt = 1;
constexpr size_t kSensorsAt = 200;

uint16_t Le16At(std::span<const uint8_t> page, size_t at) {
  return at + 2 <= page.size() ? base::GetLe16(page.data() + at) : 0;
}

}  // namespace

std::array<uint16_t, 9> SmartTemperatures(std::span<const uint8_t> page) {
  std::array<uint16_t, 9> t{};
  t[0] = Le16At(page, kCompositeAt);
  for (size_t n = 1; n < t.size(); ++n) t[n] = Le16At(page, kSensorsAt + 2 * (n - 1));
  return t;
}

}  // namespace kestrune::workloads
