// The request and reply record of the IOrw kernel driver: one device control (kControlCode) whose
// input and output are the same 4108-byte record: function code, address, length or value (three
// little-endian u32) and 4096 data bytes. Built and read by portable code; the Windows backend only
// carries the bytes (platform/win32/win32_pci_config.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace kestrune::platform::iorw {

inline constexpr uint32_t kControlCode = 0x222000;
inline constexpr uint32_t kDataBytes = 4096;
inline constexpr uint32_t kRecordBytes = 12 + kDataBytes;

// The driver's function codes.
enum class Function : uint32_t {
  kReadPort32 = 16,
  kWritePort32 = 17,
  kReadPort16 = 18,
  kWritePort16 = 19,
  kReadPort8 = 20,
  kWritePort8 = 21,
  kReadPhysical = 32,
  kReadPciConfig = 48,
  kWritePciConfig = 49,
};

struct Record {
  std::array<uint8_t, kRecordBytes> bytes{};

  uint32_t function() const;
  uint32_t address() const;
  uint32_t length() const;  // the length, or the value of a port write
  void set_function(Function f);
  void set_address(uint32_t a);
  void set_length(uint32_t n);
  std::span<uint8_t, kDataBytes> data() {
    return std::span<uint8_t, kDataBytes>(bytes.data() + 12, kDataBytes);
  }
  std::span<const uint8_t, kDataBytes> data() const {
    return std::span<const uint8_t, kDataBytes>(bytes.data() + 12, kDataBytes);
  }
};
static_assert(sizeof(Record) == kRecordBytes, "the driver's record is 4108 bytes without padding");

// The configuration address of a register: 0x80000000 | bus << 16 | (device << 3 | function) << 8,
// plus the register offset (below 256).
uint32_t PciConfigAddress(uint32_t bus, uint32_t device, uint32_t function, uint32_t offset);

// Reads length bytes (at most 256 - offset) of the function's configuration space from offset.
Record PciConfigRead(uint32_t bus, uint32_t device, uint32_t function, uint32_t offset, uint32_t length);
// Writes data (at most 256 - offset bytes) to the function's configuration space at offset.
Record PciConfigWrite(uint32_t bus, uint32_t device, uint32_t function, uint32_t offset,
                      std::span<const uint8_t> data);
// Reads length bytes (at most kDataBytes) of physical memory from address.
Record PhysicalRead(uint32_t address, uint32_t length);
// Writes one byte to an I/O port (the reset control register 0xCF9).
Record PortWrite8(uint16_t port, uint8_t value);
// Reads a 16-bit I/O port; the reply carries the value in its first two data bytes (little-endian).
Record PortRead16(uint16_t port);
uint16_t PortValue16(const Record& reply);
// Writes a 16-bit I/O port (the ACPI PM1a control register).
Record PortWrite16(uint16_t port, uint16_t value);

}  // namespace kestrune::platform::iorw
