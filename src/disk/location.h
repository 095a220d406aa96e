// Where a disk is plugged in, as one number per disk (DiskEntry::location): the PCI address of an
// NVMe controller, the USB port chain of a bridge, or the parent's bus address for everything else.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "disk/disk_kind.h"
#include "platform/device.h"

namespace kestrune::disk {

// The "(bus,device,function)" at the end of a location text, packed bus * 256 + device * 8 +
// function; nullopt unless the text between the last "(" and the next ")" is exactly three
// decimal numbers (bus below 256, device below 32, function below 8).
std::optional<uint32_t> PciLocationFromText(std::string_view locationInformation);

// A USB port chain packed in base 100, host controller first and the disk's own port in the last two
// digits (controller 1, hub port 4, disk port 3 -> 10403). portsFromDisk lists the disk's port
// first, then each hub's port upwards. When the chain does not fit 32 bits, the uppermost parts are
// left out so that the disk's own ports stay.
uint32_t PackUsbLocation(const std::vector<uint32_t>& portsFromDisk, uint32_t hostController);

// The location of a disk of the given kind: kinds 13-17 the USB chain, kinds 10-12 the parent's PCI
// address (0 when its text does not fit), kind 1 the high and all other kinds the low 16 bits of
// the parent's bus address.
uint32_t LocationOf(const platform::DiskNode& node, DiskKind kind);

}  // namespace kestrune::disk
