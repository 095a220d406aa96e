// The lab's files: the system's JobFiles with faults injected into the files a rule names, so that
// the file test commands meet a full disk, a failed read, a bit that flips on the way (once, or on
// every read), a slow file, a cancel at a given place, or a file system that refuses unbuffered
// reads. The lab file gives the rules in sections "[File:<name>]"; tests give them directly.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/ini.h"
#include "platform/host.h"
#include "platform/job_files.h"

namespace kestrune::sim {

struct FileFaults {
  // The file's name (its last path part, any case); "*" is every file. A file takes the first rule
  // that names it.
  std::string name;
  std::optional<uint64_t> fullAt;      // a write that reaches this byte fails: the disk is full
  std::optional<uint64_t> readFailAt;  // a read that covers this byte fails
  std::optional<uint64_t> flipAt;      // a read that covers this byte sees its lowest bit flipped
  bool flipEveryRead = false;          // false: only the first such read (a read again is right)
  uint32_t pieceDelayMs = 0;           // every read and write of the file takes this long (host clock)
  bool cachedOnly = false;             // unbuffered opens get cached reads, as on tmpfs
  // A read or write that reaches this byte sets *cancel (a test's view cancel flag), before it is
  // done: the command sees the cancel at its next check. Not read from a lab file.
  std::optional<uint64_t> cancelAt;
  std::atomic<bool>* cancel = nullptr;
};

// The rules of the sections "[File:<name>]" (keys FullAt, ReadFailAt, FlipAt, FlipEveryRead,
// PieceDelayMs, CachedOnly); error names the section and key of the first value that does not read.
struct FileFaultsResult {
  std::vector<FileFaults> rules;
  std::string error;
};
FileFaultsResult ParseFileFaults(const base::IniFile& ini);

// True for a lab file section that holds file rules rather than a drive.
bool IsFileFaultsSection(std::string_view section);

// The files of inner with the rules applied. host gives the delays. Thread-safe as inner is; a
// rule's flip is spent by the first read that covers it, whichever thread reads.
std::shared_ptr<platform::JobFiles> MakeLabJobFiles(std::shared_ptr<platform::JobFiles> inner,
                                                    std::vector<FileFaults> rules, platform::Host& host);

}  // namespace kestrune::sim
