#include "devcmd/pci_express.h"

#include <algorithm>
#include <set>

#include "base/bytes.h"
#include "base/text.h"
#include "engine/output.h"

namespace kestrune::devcmd {
namespace {

namespace colour = engine::colour;
using base::Format;

constexpr uint32_t kCapabilityPointer = 0x34;
constexpr uint16_t kStatusCapabilityList = 1u << 4;
constexpr uint32_t kFirstCapability = 0x40;
// The PCI Express capability up to Link Control 2.
constexpr uint32_t kPcieCapabilityBytes = kLinkControl2 + 2;

uint16_t Le16(std::span<const uint8_t> b, uint32_t at) { return base::GetLe16(b.data() + at); }
uint32_t Le32(std::span<const uint8_t> b, uint32_t at) { return base::GetLe32(b.data() + at); }

}  // namespace

std::optional<uint32_t> FindCapability(std::span<const uint8_t> header, uint8_t id) {
  if (header.size() < kFirstCapability || !(Le16(header, 0x06) & kStatusCapabilityList)) return std::nullopt;
  std::set<uint32_t> seen;
  uint32_t at = header[kCapabilityPointer] & 0xFCu;
  while (at != 0) {
    if (at < kFirstCapability || at + 2 > header.size() || !seen.insert(at).second) return std::nullopt;
    if (header[at] == id) {
      if (id == kPcieCapabilityId && at + kPcieCapabilityBytes > header.size()) return std::nullopt;
      return at;
    }
    at = header[at + 1] & 0xFCu;
  }
  return std::nullopt;
}

std::optional<disk::PciLinks> PcieLinkOf(std::span<const uint8_t> header, uint32_t capability) {
  if (capability + kPcieCapabilityBytes > header.size()) return std::nullopt;
  const uint32_t caps = Le32(header, capability + kLinkCapabilities);
  const uint16_t status = Le16(header, capability + kLinkStatus);
  disk::PciLinks links;
  links.max = {caps & 0xF, (caps >> 4) & 0x3F};
  links.current = {status & 0xFu, (status >> 4) & 0x3Fu};
  return links;
}

void PciHeaderLines(LineSink& sink, std::span<const uint8_t> h) {
  sink.Write(Format("VendorID       : %04X", Le16(h, 0x00)), colour::kCyan);
  sink.Write(Format("DeviceID       : %04X", Le16(h, 0x02)), colour::kCyan);
  sink.Write(Format("SubsystemID    : %04X", Le16(h, 0x2E)), colour::kCyan);
  sink.Write(Format("SubsystemVID   : %04X", Le16(h, 0x2C)), colour::kCyan);
  sink.Write(Format("Command        : 0x%02X", Le16(h, 0x04)), colour::kWhite);
  sink.Write(Format("Status         : %u", Le16(h, 0x06)), colour::kWhite);
  sink.Write(Format("RevisionID     : %u", h[0x08]), colour::kWhite);
  sink.Write(Format("ClassCode      : 0x%02X%02X%02X", h[0x0B], h[0x0A], h[0x09]), colour::kWhite);
  sink.Write(Format("CacheLineSize  : %u", h[0x0C]), colour::kWhite);
  sink.Write(Format("LatencyTimer   : %u", h[0x0D]), colour::kWhite);
  sink.Write(Format("HeaderType     : %u", h[0x0E]), colour::kWhite);
  sink.Write(Format("BIST           : %u", h[0x0F]), colour::kWhite);
  for (int i = 0; i < 6; ++i) {
    const uint32_t bar = Le32(h, 0x10 + 4 * static_cast<uint32_t>(i));
    if (bar == 0)
      sink.Write(Format("BAR%d           : 0x00000000", i), colour::kGrey);
    else if (bar & 1)
      sink.Write(Format("BAR%d           : 0x%08X (PIO)", i, bar & ~1u), colour::kGrey);
    else
      sink.Write(Format("BAR%d           : 0x%08X (MMIO)", i, bar), colour::kGrey);
  }
}

void PcieLinkLines(LineSink& sink, const disk::PciLinks& links) {
  sink.Write(Format("Max Support Gen x Lane : %d x %d ", static_cast<int>(links.max.generation),
                    static_cast<int>(links.max.width)),
             colour::kWhite);
  sink.Write(Format("Current Link Gen x Lane: %d x %d ", static_cast<int>(links.current.generation),
                    static_cast<int>(links.current.width)),
             colour::kCyan);
}

uint32_t SupportedGenerations(std::span<const uint8_t> header, uint32_t capability) {
  if (capability + kPcieCapabilityBytes > header.size()) return 0;
  const uint32_t vector = (Le32(header, capability + kLinkCapabilities2) >> 1) & 0x7F;
  if (vector != 0) return vector;
  const uint32_t highest = std::min<uint32_t>(Le32(header, capability + kLinkCapabilities) & 0xF, 7);
  return (1u << highest) - 1;
}

uint32_t PortTypeOf(std::span<const uint8_t> header, uint32_t capability) {
  if (capability + 4 > header.size()) return 0;
  return (Le16(header, capability + 2) >> 4) & 0xFu;
}

uint16_t WithTargetSpeed(uint16_t linkControl2, uint32_t generation) {
  return static_cast<uint16_t>((linkControl2 & ~0xFu) | (generation & 0xFu));
}

}  // namespace kestrune::devcmd
