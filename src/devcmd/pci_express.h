// What a PCI function's configuration header says: the fields PCIInfo prints, the capability list
// walk to the PCI Express capability, its link registers, and the register values that ask for a
// new target link speed and a retrain. Pure functions over the header bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "devcmd/line_sink.h"
#include "disk/pci_link.h"

namespace kestrune::devcmd {

inline constexpr uint8_t kPcieCapabilityId = 0x10;
// Registers of the PCI Express capability, from its start.
inline constexpr uint32_t kLinkCapabilities = 0x0C;
inline constexpr uint32_t kLinkControl = 0x10;
inline constexpr uint32_t kLinkStatus = 0x12;
inline constexpr uint32_t kLinkCapabilities2 = 0x2C;
inline constexpr uint32_t kLinkControl2 = 0x30;
inline constexpr uint16_t kRetrainLink = 1u << 5;
inline constexpr uint16_t kLinkTraining = 1u << 11;
// Device/port types of the PCI Express Capabilities register (bits 7:4) that own a link's far end.
inline constexpr uint32_t kRootPort = 4;
inline constexpr uint32_t kDownstreamPort = 6;

// The offset of the first capability with this id in the header's list: from the pointer at 0x34
// when the status register says there is a list (bit 4), each entry's next pointer at +1 (the low
// two bits ignored). nullopt when the list ends first, points into the first 64 bytes or outside the
// header, leaves no room for the capability's link registers, or runs in a loop.
std::optional<uint32_t> FindCapability(std::span<const uint8_t> header, uint8_t id);

// The Link Capabilities (maximum) and Link Status (current) speed codes and widths of the PCI
// Express capability at offset; nullopt when the header is too short to hold it.
std::optional<disk::PciLinks> PcieLinkOf(std::span<const uint8_t> header, uint32_t capability);

// The lines of the header (header must hold at least 64 bytes): the ids (cyan), the command,
// status, revision, class code and bytes 0x0C to 0x0F (white), and the six BARs (grey).
void PciHeaderLines(LineSink& sink, std::span<const uint8_t> header);

// "Max Support Gen x Lane : %d x %d " (white) and "Current Link Gen x Lane: %d x %d " (cyan).
void PcieLinkLines(LineSink& sink, const disk::PciLinks& links);

// The generations the function's end of the link supports, bit g-1 for generation g: the Supported
// Link Speeds vector of Link Capabilities 2 (bits 7:1) where the function has one, else every
// generation up to the Max Link Speed of Link Capabilities (functions before that register).
uint32_t SupportedGenerations(std::span<const uint8_t> header, uint32_t capability);

// The device/port type of the PCI Express capability at offset (bits 7:4 of its register at +2).
uint32_t PortTypeOf(std::span<const uint8_t> header, uint32_t capability);

// Link Control 2 with its Target Link Speed (bits 3:0) set to generation.
uint16_t WithTargetSpeed(uint16_t linkControl2, uint32_t generation);

}  // namespace kestrune::devcmd
