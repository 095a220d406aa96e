// Value syntaxes of the lab file: sizes, numbers, switches, drive letters, PCI locations and USB
// port chains. Each returns nullopt for text that does not fit, never a guess.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kestrune::sim {

// Bytes: a whole number, optionally followed (blanks allowed) by KiB, MiB, GiB, TiB (powers of
// 1024) or KB, MB, GB, TB (powers of 1000); case-insensitive. Overflow is not a size.
std::optional<uint64_t> ParseSize(std::string_view text);
// A decimal number, or hexadecimal with 0x in front.
std::optional<uint64_t> ParseNumber(std::string_view text);
// 1/0, yes/no, true/false, on/off (case-insensitive).
std::optional<bool> ParseSwitch(std::string_view text);
// "D" or "D:" (either case) -> 'D'; letters A to Z.
std::optional<char> ParseDriveLetter(std::string_view text);
// "(bus,device,function)", the parentheses optional: three decimal numbers.
std::optional<std::array<uint32_t, 3>> ParsePciLocation(std::string_view text);
// "controller-port[-port...]" from the host controller down, the drive's own port last (1-4-3:
// controller 1, hub on port 4, drive on that hub's port 3). Returns the numbers in that order.
std::optional<std::vector<uint32_t>> ParseUsbChain(std::string_view text);
// A PCI Express link speed in GT/s: 2.5, 5, 8, 16, 32 or 64, written with or without a fractional
// digit and optionally followed by "GT/s" ("8", "8.0", "16.0 GT/s"). Returned in tenths of GT/s (80).
std::optional<uint32_t> ParseLinkSpeed(std::string_view text);
// A PCI Express lane count: 1, 2, 4, 8, 12, 16 or 32.
std::optional<uint32_t> ParseLinkWidth(std::string_view text);
// Whether a value is one of those speeds (in tenths of GT/s) or lane counts.
bool IsLinkSpeedTenths(uint32_t tenths);
bool IsLinkWidth(uint32_t lanes);
// The items of a list separated by commas, trimmed; empty items are kept (as empty views).
std::vector<std::string_view> SplitList(std::string_view text, char separator = ',');

}  // namespace kestrune::sim
