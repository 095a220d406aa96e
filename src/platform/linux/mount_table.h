// The kernel's tables of what is in use: mounted file systems (/proc/self/mountinfo) and swap
// areas (/proc/swaps). Pure text parsing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/sys_root.h"

namespace kestrune::platform::linux_dev {

struct MountEntry {
  DevNumber dev;           // st_dev of the file system (0:N for file systems without one block device)
  std::string mountPoint;  // unescaped
  std::string source;      // the mount source ("/dev/sda1", "overlay"), unescaped
  std::string fsType;
};

// One entry per well-formed mountinfo line ("id parent major:minor root mountpoint options ... -
// type source superoptions"); malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

struct SwapEntry {
  std::string path;        // unescaped
  bool partition = false;  // a swap partition (else a swap file)
  uint64_t sizeKiB = 0;
  uint64_t usedKiB = 0;
};

// The entries of /proc/swaps after its heading line.
std::vector<SwapEntry> ParseSwaps(std::string_view text);

// The kernel writes blanks, tabs, new lines and backslashes in these tables as "\ooo" octal
// escapes; this undoes them.
std::string UnescapeOctal(std::string_view text);

}  // namespace kestrune::platform::linux_dev
