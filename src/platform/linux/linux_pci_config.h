// The PCI configuration access of Linux: the function's sysfs "config" file below a SysRoot
// (tests give a fake tree). Reads past the first 64 bytes need CAP_SYS_ADMIN (the kernel gives an
// unprivileged reader the start of the header only), writes need write access to the file.
#pragma once

#include <memory>

#include "platform/linux/sys_root.h"
#include "platform/pci_config.h"

namespace kestrune::platform::linux_dev {

// The sysfs folder of fn: its instance id when that is a PCI function's folder, else
// "/sys/bus/pci/devices/0000:bb:dd.f".
std::string PciFunctionFolder(const PciFunction& fn);

std::unique_ptr<PciConfig> MakeLinuxPciConfig(SysRoot sys);

}  // namespace kestrune::platform::linux_dev
