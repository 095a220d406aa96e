#include "workloads/mark_diagnosis.h"

#include <algorithm>
#include <bit>

#include "base/text.h"

namespace kestrune::workloads {
namespace {

uint64_t Be64(std::span<const uint8_t> p) {
  uint64_t v = 0;
  for (size_t i = 0; i < 8 && i < p.size(); ++i) v = v << 8 | p[i];
  return v;
}

bool AllBytes(std::span<const uint8_t> s, uint8_t value) {
  return std::all_of(s.begin(), s.end(), [value](uint8_t b) { return b == value; });
}

}  // namespace

std::string DiagnoseMiscompare(const MarkedBlock& b) {
  const size_t ss = b.sectorSize;
  const size_t sectors = std::min(b.expected.size(), b.actual.size()) / std::max<size_t>(ss, 1);
  for (size_t i = 0; i < sectors; ++i) {
    const auto want = b.expected.subspan(i * ss, ss), got = b.actual.subspan(i * ss, ss);
    if (std::equal(want.begin(), want.end(), got.begin())) continue;
    if (AllBytes(got, 0x00) || AllBytes(got, 0xFF)) return "deallocated";
    const uint64_t ownLba = Be64(want), markLba = Be64(got);
    if (b.lbaMarks && markLba != ownLba)
      return base::Format("foreign (mark names LBA 0x%llX: misdirected)", static_cast<unsigned long long>(markLba));
    if (b.lbaMarks && b.sequenceMarks) {
      const uint64_t wanted = Be64(want.subspan(8)), found = Be64(got.subspan(8));
      if (found != wanted) {
        // Sectors of this request that carry another write: the request landed only in part.
        size_t last = i;
        for (size_t j = i + 1; j < sectors; ++j)
          if (Be64(b.actual.subspan(j * ss + 8)) != wanted) last = j;
        bool someLanded = false;
        for (size_t j = 0; j < sectors && !someLanded; ++j)
          someLanded = Be64(b.actual.subspan(j * ss + 8)) == wanted;
        if (someLanded) return base::Format("torn (sectors %zu..%zu from other writes)", i, last);
        return base::Format("stale (own LBA, older write %llu)", static_cast<unsigned long long>(found));
      }
    }
    size_t bits = 0;
    for (size_t k = 0; k < ss; ++k) bits += static_cast<size_t>(std::popcount(static_cast<unsigned>(want[k] ^ got[k])));
    return base::Format("corrupt (%zu bits)", bits);
  }
  return {};
}

}  // namespace kestrune::workloads
