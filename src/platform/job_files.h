// The JobFiles seam: the ordinary files that the file test commands write, read, compare, copy and
// delete. Reads that must reach the drive bypass the system's cache where the file system allows it
// (Linux O_DIRECT, Windows FILE_FLAG_NO_BUFFERING); written files are flushed to the drive on request.
// Implementations: the system's (platform/linux, platform/win32, chosen by CMake), and the lab's
// decorator with injected faults (sim/lab_files.h), which the tests use too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kestrune::platform {

enum class FileAccess {
  kRead,            // reading through the system's cache
  kReadUnbuffered,  // reading past the cache; a file system that refuses gives cached reads
  kCreate,          // writing a new file (an existing one is emptied), not shared with others
};

// The outcome of one read or write.
struct FileIo {
  bool ok = false;
  size_t bytes = 0;       // moved; a read gives fewer at the end of the file
  bool diskFull = false;  // a write failed for want of space
  std::string why;        // the system's words when not ok
};

// One open file. Used by one thread at a time; none of its methods is thread-safe.
class JobFile {
 public:
  virtual ~JobFile() = default;
  // The file's size in bytes now.
  virtual uint64_t Size() = 0;
  // True when reads bypass the cache. Then the offset, the length and the buffer's address of every
  // ReadAt must be multiples of kFileAlignment.
  virtual bool unbuffered() const = 0;
  // Reads at offset into bytes, until bytes is full or the file ends.
  virtual FileIo ReadAt(uint64_t offset, std::span<uint8_t> bytes) = 0;
  // Writes all of bytes at offset (a file opened kCreate).
  virtual FileIo WriteAt(uint64_t offset, std::span<const uint8_t> bytes) = 0;
  // Sends what was written to the drive; false (with why) when the system refuses.
  virtual bool Flush(std::string& why) = 0;
};

// Alignment of unbuffered reads: covers the sector sizes of the drives in use (512 and 4096).
inline constexpr size_t kFileAlignment = 4096;

struct FileStat {
  bool exists = false;
  bool folder = false;
  uint64_t size = 0;
};

// The file system. Every method is thread-safe (as far as the file system itself is).
class JobFiles {
 public:
  virtual ~JobFiles() = default;
  // Opens path (UTF-8); nullptr with why on failure.
  virtual std::unique_ptr<JobFile> Open(const std::string& path, FileAccess access, std::string& why) = 0;
  virtual FileStat Stat(const std::string& path) = 0;
  // Names (not paths) of the regular files in folder, sorted by name; sub-folders are left out.
  virtual std::vector<std::string> ListFiles(const std::string& folder) = 0;
  // Deletes one file; false when it is still there afterwards.
  virtual bool Remove(const std::string& path) = 0;
};

// The system's files. One object serves the whole process.
std::shared_ptr<JobFiles> SystemJobFiles();

// The system's own open of one file (platform/linux, platform/win32); what SystemJobFiles uses.
std::unique_ptr<JobFile> OpenSystemJobFile(const std::string& path, FileAccess access, std::string& why);

}  // namespace kestrune::platform
