#include "disk/config_type.h"

namespace kestrune::disk {

std::string_view ConfigTypeName(uint32_t configType) {
  switch (configType) {
    case 0:
      return "ROM Disk";
    case 1:
      return "FWCFG Programmer Disk";
    case 2:
      return "FWCFG RDT Disk";
    case 3:
      return "FWCFG FTK Disk";
    case 101:
      return "MPOEM Programmer Disk";
    case 102:
      return "MPOEM RDT Disk";
    case 103:
      return "MPOEM FTK Disk";
    default:
      return "UNKNOW Disk";
  }
}

}  // namespace kestrune::disk
