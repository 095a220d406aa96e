// The system facts of Linux below a SysRoot (tests give a fake tree): os-release, the kernel
// release, /proc/cpuinfo and /proc/meminfo, the DMI board attributes, the host name and whether
// the kernel was started from UEFI (/sys/firmware/efi). Linux has no storage port policy for the
// host memory buffer: its NVMe driver's limit (module parameter max_host_mem_size_mb) is named in
// the report's note instead.
#pragma once

#include <memory>

#include "platform/linux/sys_root.h"
#include "platform/system_facts.h"

namespace kestrune::platform::linux_dev {

// The value of KEY= in os-release text (quotes removed); "" when absent.
std::string OsReleaseValue(const std::string& text, const std::string& key);

// processors: the logical processor count to report.
std::unique_ptr<SystemFacts> MakeLinuxSystemFacts(SysRoot sys, uint32_t processors);

}  // namespace kestrune::platform::linux_dev
