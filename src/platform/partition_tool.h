// The operating-system seam for changing a disk's partitions: one request (create an MBR or GPT
// layout with one or two formatted volumes, or clean the disk) in, a completion code and the path of
// what the disk became out.
//
// The rules of a request (labels, file systems, the DISKPART script text) are portable code here, so
// that every implementation refuses the same requests before anything reaches a disk.
// Implementations: platform/win32 (DISKPART run from the system folder with a script file),
// platform/linux (libfdisk on an exclusively opened disk, then the file system's formatter and a
// mount below /mnt/kestrune), sim (the lab writes real tables and boot sectors). A DeviceTree gives
// its tool through DeviceTree::Partitioner().
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::platform {

enum class PartitionOperation : uint8_t { kCreateMbr = 1, kCreateGpt = 2, kClean = 3 };
enum class PartitionFileSystem : uint8_t { kNtfs, kExfat, kExt4 };

struct PartitionRequest {
  std::string targetPath;   // the whole disk (the current disk's physical path)
  uint32_t diskNumber = 0;  // N of \\.\PHYSICALDRIVEN, as the disk list found it
  PartitionOperation operation = PartitionOperation::kClean;
  PartitionFileSystem fileSystem = PartitionFileSystem::kNtfs;
  int64_t sizeMB = 0;               // the first partition's size; 0: one partition over the disk
  std::vector<std::string> labels;  // one per partition to format, "" for none; at most two
};

struct PartitionOutcome {
  // 1; -1 the disk does not open; -2 a request refused before the tool ran; -7 the tool failed
  // (detail: its exit code) or no volume appeared; -9 the disk's number is not to be had; -23 a
  // formatter failed; -79 the file system is not available here.
  int32_t code = 1;
  std::string detail;
  std::string newPath;  // create: the first new volume's path; clean: the disk's path
};

class PartitionTool {
 public:
  virtual ~PartitionTool() = default;

  // Carries out request on its disk and waits for the result. The caller has checked the request
  // (CheckPartitionRequest) and that the disk is not the system's. cancel (may be null) is the
  // view's cancel flag; a tool that is already running is not stopped by it. Thread-safe; one
  // request per disk at a time.
  virtual PartitionOutcome Run(const PartitionRequest& request, const std::atomic<bool>* cancel) = 0;

  // Whether this tool formats the file system (ext4 only on Linux).
  virtual bool Supports(PartitionFileSystem fs) const { return fs != PartitionFileSystem::kExt4; }
};

// The longest label of each file system: NTFS 32, exFAT 11, ext4 16 characters; never above 63.
size_t MaxLabelChars(PartitionFileSystem fs);

// The labels of a "A|B" text: one or two (an empty text is one empty label); nullopt for a third.
std::optional<std::vector<std::string>> SplitLabels(std::string_view text);

// Whether a label can be written into a tool's command safely: printable ASCII only (no quote,
// CR, LF or other control or non-ANSI characters) and at most MaxLabelChars(fs) characters.
bool LabelAllowed(std::string_view label, PartitionFileSystem fs);

// Checks what every tool refuses: an operation outside 1-3, a negative size, more labels than
// partitions, a label that is not allowed, a file system this tool does not format, a request whose
// DISKPART script would not fit its 256 bytes. 0 when the request may go on, else -2.
int32_t CheckPartitionRequest(const PartitionRequest& request, const PartitionTool& tool);

// The DISKPART keyword of a file system: "NTFS", "EXFAT" (ext4 has none: "").
std::string_view DiskpartFileSystem(PartitionFileSystem fs);

// The DISKPART script of a request for disk number diskNumber, lines ending in CR LF; nullopt when
// the request cannot be written as one (ext4, an unknown operation) or the script would be longer
// than kMaxDiskpartScriptBytes.
inline constexpr size_t kMaxDiskpartScriptBytes = 256;
std::optional<std::string> DiskpartScript(const PartitionRequest& request, uint32_t diskNumber);

}  // namespace kestrune::platform
