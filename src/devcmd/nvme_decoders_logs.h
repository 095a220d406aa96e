// Decoders of the Identify list forms and of the standard log pages other than SMART: the active
// namespace list (CNS 2), the namespace identification descriptors (CNS 3), the error information
// log (01h), the firmware slot information log (03h) and the commands supported and effects log (05h).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "devcmd/line_sink.h"

namespace kestrune::devcmd {

inline constexpr size_t kErrorLogBytes = 4032;  // 63 entries of 64 bytes
inline constexpr size_t kFirmwareLogBytes = 512;
inline constexpr size_t kEffectsLogBytes = 4096;

// "Active Namespace ID : 0x%04X" per identifier up to the first zero (at most the 1024 the page holds).
void DecodeActiveNamespaces(LineSink& sink, std::span<const uint8_t> list);
// The type, length and identifier of the first namespace identification descriptor.
void DecodeNamespaceDescriptor(LineSink& sink, std::span<const uint8_t> list);
// The header and one line per error information entry.
void DecodeErrorInformation(LineSink& sink, std::span<const uint8_t> log);
// The transfer limits and firmware attributes of Identify Controller, then the revision of each slot.
void DecodeFirmwareSlots(LineSink& sink, std::span<const uint8_t> controller, std::span<const uint8_t> log);
// Each supported admin and I/O command with its effect bits.
void DecodeCommandEffects(LineSink& sink, std::span<const uint8_t> log);

// The names the effects log gives opcodes; "Vendor Command" for opcodes outside the tables.
std::string_view AdminOpcodeName(uint8_t opcode);
std::string_view IoOpcodeName(uint8_t opcode);

}  // namespace kestrune::devcmd
