// The rows DiskList prints: name, firmware, size, port, kind, PCI vendor and device path in fixed
// columns ("%-38s %-10s %-8s %-14s %-9s %-6s %s", or with "|" between the columns).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "disk/disk_entry.h"

namespace kestrune::disk {

// text, then blanks up to width characters (code points; never cut).
std::string PadRight(std::string_view text, size_t width);

// The size column: physical disks their capacity label "%dGB"; volumes "%dMB" up to 1 GiB
// inclusive, else "%dGB" in GiB.
std::string SizeColumn(const DiskEntry& entry);

// One row. Physical entries show their display name cut to 38 characters; volume entries
// "        ∟" and their display name, with firmware, port, kind and vendor left empty.
std::string DiskListRow(const DiskEntry& entry, std::string_view portName, bool barColumns);

}  // namespace kestrune::disk
