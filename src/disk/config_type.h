// The names of a disk's configType, the maker's code for what the drive is running as.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrune::disk {

// "ROM Disk", "FWCFG Programmer Disk", ...; values without a name give "UNKNOW Disk".
std::string_view ConfigTypeName(uint32_t configType);

}  // namespace kestrune::disk
