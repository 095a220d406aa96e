// The test file of a performance job on a volume (partition mode): "~KestruneTestFile%08d" in the
// volume's root, written full of zeros before the job so that the job measures the medium rather than
// the file system's allocation, and removed after it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/host.h"

namespace kestrune::workloads {

// The root folder of a volume named as the disk list names it: on Windows "C:" gives "C:\", on Linux
// a mount point stays as it is; empty for a name that is no volume root of this system (a lab volume
// "D:" on Linux), which must never become a path relative to the working folder.
std::string VolumeRoot(std::string_view volumeName);

// "<root>/~KestruneTestFile%08d" with id (the view's window, or the process when there is none).
std::string TestFilePath(std::string_view root, uint32_t id);

// Creates path (replacing one of that name) and writes sizeMiB blocks of 1 MiB of zeros; after each
// block whose whole percent differs from the last, status gets "Parpare Test File:%d%%", and an
// empty text at the end. A set cancel flag or a failed write removes the file and gives false.
bool PrepareTestFile(const std::string& path, uint64_t sizeMiB, const std::atomic<bool>& cancel,
                     const std::function<void(std::string_view)>& status);

}  // namespace kestrune::workloads
