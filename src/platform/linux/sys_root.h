// Reading the kernel's view of the machine (sysfs, procfs, device nodes) below a root folder. The
// running system has the root "/"; tests point it at a folder that holds a fake tree. Paths given to
// and returned by these functions are system paths ("/sys/block/sda"), whatever the root. No function
// throws; all are thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::platform::linux_dev {

class SysRoot {
 public:
  explicit SysRoot(std::string root = "/");

  bool IsSystemRoot() const { return root_.empty(); }

  // Where a system path lies in the file system of this process.
  std::string Local(std::string_view systemPath) const;

  // The first line of a file with blanks at both ends removed; nullopt when it cannot be read.
  std::optional<std::string> Attr(std::string_view path) const;
  // The whole file; nullopt when it cannot be read.
  std::optional<std::string> Text(std::string_view path) const;
  // An attribute read as a decimal or "0x" hexadecimal number.
  std::optional<uint64_t> Number(std::string_view path) const;

  // The system path that path resolves to, links followed; "" when it does not exist or leads out of
  // the root.
  std::string Resolve(std::string_view path) const;
  // The names in a folder, sorted; empty when it cannot be read.
  std::vector<std::string> Entries(std::string_view folder) const;
  bool Exists(std::string_view path) const;

  // Writes text to an attribute file (no create, no truncation beyond the kernel's). False on failure.
  bool Write(std::string_view path, std::string_view text) const;

 private:
  std::string root_;  // "" for the system root, else the canonical root folder without trailing "/"
};

// The last component of a path ("sda" of "/sys/block/sda").
std::string BaseName(std::string_view path);
// The path without its last component ("/sys/block" of "/sys/block/sda").
std::string DirName(std::string_view path);
// The last component of the path a link resolves to ("nvme" for a driver link); "" when it does not
// resolve.
std::string LinkName(const SysRoot& sys, std::string_view link);

// "major:minor" as the "dev" attributes write it.
struct DevNumber {
  uint32_t major = 0;
  uint32_t minor = 0;
  friend bool operator==(const DevNumber&, const DevNumber&) = default;
  friend auto operator<=>(const DevNumber&, const DevNumber&) = default;
};
std::optional<DevNumber> ParseDevNumber(std::string_view text);

}  // namespace kestrune::platform::linux_dev
