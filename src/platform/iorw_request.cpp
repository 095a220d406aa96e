#include "platform/iorw_request.h"

#include <algorithm>

#include "platform/win_layout_bytes.h"

namespace kestrune::platform::iorw {

using winio::Get32;
using winio::Put32;

uint32_t Record::function() const { return Get32(bytes, 0); }
uint32_t Record::address() const { return Get32(bytes, 4); }
uint32_t Record::length() const { return Get32(bytes, 8); }
void Record::set_function(Function f) { Put32(bytes, 0, static_cast<uint32_t>(f)); }
void Record::set_address(uint32_t a) { Put32(bytes, 4, a); }
void Record::set_length(uint32_t n) { Put32(bytes, 8, n); }

uint32_t PciConfigAddress(uint32_t bus, uint32_t device, uint32_t function, uint32_t offset) {
  const uint32_t devfn = ((device & 0x1F) << 3) | (function & 0x7);
  return 0x80000000u | ((bus & 0xFF) << 16) | (devfn << 8) | (offset & 0xFF);
}

Record PciConfigRead(uint32_t bus, uint32_t device, uint32_t function, uint32_t offset, uint32_t length) {
  Record r;
  r.set_function(Function::kReadPciConfig);
  r.set_address(PciConfigAddress(bus, device, function, offset));
  r.set_length(std::min<uint32_t>(length, offset < 256 ? 256 - offset : 0));
  return r;
}

Record PciConfigWrite(uint32_t bus, uint32_t device, uint32_t function, uint32_t offset,
                      std::span<const uint8_t> data) {
  Record r;
  r.set_function(Function::kWritePciConfig);
  r.set_address(PciConfigAddress(bus, device, function, offset));
  const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(data.size()), offset < 256 ? 256 - offset : 0);
  std::copy_n(data.begin(), n, r.data().begin());
  r.set_length(n);
  return r;
}

namespace {

Record PortRequest(Function f, uint16_t port, uint32_t lengthOrValue) {
  Record r;
  r.set_function(f);
  r.set_address(port);
  r.set_length(lengthOrValue);
  return r;
}

}  // namespace

Record PhysicalRead(uint32_t address, uint32_t length) {
  Record r;
  r.set_function(Function::kReadPhysical);
  r.set_address(address);
  r.set_length(std::min(length, kDataBytes));
  return r;
}

Record PortWrite8(uint16_t port, uint8_t value) { return PortRequest(Function::kWritePort8, port, value); }
Record PortRead16(uint16_t port) { return PortRequest(Function::kReadPort16, port, 2); }
uint16_t PortValue16(const Record& reply) { return winio::Get16(reply.bytes, 12); }
Record PortWrite16(uint16_t port, uint16_t value) { return PortRequest(Function::kWritePort16, port, value); }

}  // namespace kestrune::platform::iorw
