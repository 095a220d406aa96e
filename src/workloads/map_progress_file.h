// "LBAMap.progress": how far a map replay got, kept on disk beside the map's copy in the log
// folder, and as "LBAMap_<serial>.progress" beside the map itself (a run after a reboot has a log
// folder of its own and names the map), so that a compare after a host crash or reboot still knows
// it. 72 bytes, little-endian:
//   0  8  "KSMAPPRG"
//   8  4  version (2)
//  12  8  length of the map file in bytes   } the map the record belongs to
//  20  4  CRC-32 of the map file            }
//  24  8  durable prefix: entries [0, n) are durable
//  32  8  horizon: no entry at or past it has been issued
//  40 20  the disk's serial number, zero-padded  } the disk the map was written to
//  60  8  the disk's length in bytes             }
//  68  4  CRC-32 of bytes 0-67
// Version 1 records (44 bytes: no disk, the CRC at 40) are still read; they fit any disk.
// The record is replaced whole (written beside, synced, renamed). It is written ahead: before an
// entry at or past the horizon is issued, the horizon moves on and the record is saved first.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrune::workloads {

inline constexpr size_t kProgressRecordBytes = 72;
inline constexpr size_t kProgressRecordV1Bytes = 44;
inline constexpr size_t kProgressSerialChars = 20;
inline constexpr const char* kProgressFileName = "LBAMap.progress";

struct MapIdentity {
  uint64_t bytes = 0;
  uint32_t crc = 0;
  bool operator==(const MapIdentity&) const = default;
};
MapIdentity IdentityOf(std::span<const uint8_t> mapFile);

// The disk a replay wrote to; an empty serial with length 0 (a version 1 record) names none.
struct ProgressDisk {
  std::string serial;  // at most kProgressSerialChars
  uint64_t bytes = 0;
  bool operator==(const ProgressDisk&) const = default;
};

struct ProgressRecord {
  MapIdentity map;
  uint64_t durable = 0;
  uint64_t horizon = 0;
  ProgressDisk disk;
  bool operator==(const ProgressRecord&) const = default;
};

// "LBAMap_<serial>.progress", the serial cut to its first 20 characters and anything but letters,
// digits, '-' and '_' made '_' ("LBAMap_disk.progress" without a serial).
std::string ProgressFileNameFor(const ProgressDisk& disk);

std::vector<uint8_t> EncodeProgress(const ProgressRecord& record);
// nullopt when the bytes are not a whole, undamaged record (length, magic, version, CRC, durable
// past the horizon).
std::optional<ProgressRecord> DecodeProgress(std::span<const uint8_t> bytes);

// The record of the map named by identity, written to disk, in the first of folders that holds one
// (as kProgressFileName or as ProgressFileNameFor(disk)); a record there that is damaged, names
// another map or another disk is passed over.
std::optional<ProgressRecord> FindProgressRecord(std::initializer_list<std::string> folders,
                                                 const MapIdentity& identity, const ProgressDisk& disk);

// Keeps the record of one replay of a map of `entries` entries up to date through save (which
// writes the bytes durably; false when it could not). The horizon runs ahead of the issued entries
// by a step that doubles whenever the horizon had to move again within a second, so that the
// record is written about once a second however fast the drive is.
class ProgressJournal {
 public:
  using Save = std::function<bool(std::span<const uint8_t>)>;
  ProgressJournal(MapIdentity map, ProgressDisk disk, uint64_t entries, Save save);
  // Before entry index is issued; false when the record had to move on and could not be saved
  // (the entry must then not be issued).
  bool BeforeIssue(uint64_t index, uint64_t durable, uint64_t nowMs);
  // The durable prefix saved when it moved, at most once a second.
  void Tick(uint64_t durable, uint64_t nowMs);
  // The replay is over with `issued` entries issued: the horizon closes on them.
  bool Finish(uint64_t durable, uint64_t issued);
  const ProgressRecord& record() const { return record_; }

 private:
  bool Write(uint64_t nowMs);

  ProgressRecord record_;
  uint64_t entries_;
  Save save_;
  uint64_t step_ = 256;
  std::optional<uint64_t> savedAtMs_;
};

}  // namespace kestrune::workloads
