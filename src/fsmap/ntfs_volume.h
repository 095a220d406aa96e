// The NTFS walker: reads a volume's master file table itself over a sector source, so that it
// finds files the file system would not open and sectors no file claims any more. Geometry comes
// from the boot sector; the MFT's own run list is the map from record numbers to sectors; every
// record gets its update-sequence fix-up, and every attribute length and offset is checked before
// it is used (a bad one prints a red line and the walk of that record stops).
//
// Sector numbers the walker prints are volume sectors ("VLBA", in the source's sector size) and
// the disk LBA they are at (volume start + VLBA).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fsmap/file_extent.h"
#include "fsmap/run_list.h"
#include "fsmap/sector_source.h"

namespace kestrune::fsmap {

// text, COLORREF.
using LineOut = std::function<void(std::string_view text, uint32_t colour)>;

namespace line_colour {
inline constexpr uint32_t kGreen = 0x00FF00;
inline constexpr uint32_t kYellow = 0x00FFFF;
inline constexpr uint32_t kCyan = 0xFFFF00;
inline constexpr uint32_t kGrey = 0x969696;
inline constexpr uint32_t kRed = 0x0000FF;
inline constexpr uint32_t kBlue = 0xFF0000;
inline constexpr uint32_t kWhite = 0xFFFFFF;
}  // namespace line_colour

// The longest parent chain a path is built from, and the most records one file's attribute list
// may name.
inline constexpr uint32_t kMaxPathDepth = 1024;
inline constexpr uint32_t kMaxExtensionRecords = 4096;

struct Geometry {
  uint32_t bytesPerSector = 0;   // the boot sector's
  uint32_t clusterBytes = 0;
  uint32_t recordBytes = 0;      // one MFT record
  uint32_t indexBlockBytes = 0;  // one INDX block
  uint64_t volumeBytes = 0;      // the boot sector's sector count × bytes per sector
  uint64_t mftLcn = 0;
  uint64_t mftMirrorLcn = 0;
};

// The geometry a boot sector describes; nullopt with the reason when it is impossible (a size that
// is no power of two or out of range, the MFT outside the volume, a volume larger than sourceBytes).
std::optional<Geometry> GeometryOf(std::span<const uint8_t> bootSector, uint64_t sourceBytes, std::string& why);

// The text name of an attribute type ("$DATA"); "$UNKNOWN" for other types.
std::string_view AttributeTypeName(uint32_t type);

struct Attribute {
  uint32_t type = 0;
  uint32_t offset = 0;           // in its record
  uint64_t recordId = 0;         // the record that holds it
  bool nonResident = false;
  uint16_t flags = 0;
  std::string name;              // UTF-8; empty for the unnamed attribute
  // Resident form.
  uint32_t valueOffset = 0;      // in its record
  std::vector<uint8_t> value;
  // Non-resident form.
  int64_t lowestVcn = 0;
  int64_t highestVcn = -1;
  uint64_t allocatedBytes = 0;
  uint64_t dataBytes = 0;
  uint64_t validBytes = 0;
  std::vector<Run> runs;
};

enum class RecordStatus : uint8_t {
  kOk,
  kFree,          // not in use
  kNoSignature,   // not a "FILE" record
  kBadFixup,      // a check word or the update sequence array is wrong
  kBadAttribute,  // an attribute's lengths or offsets do not hold (the attributes before it are kept)
  kReadFailed,
  kOutside,       // past the MFT
};

struct Record {
  uint64_t id = 0;
  uint64_t baseId = 0;      // the base record; id itself for a base record
  uint16_t sequence = 0;
  uint16_t flags = 0;
  uint64_t volumeByte = 0;  // where its first byte lies in the volume
  std::vector<Attribute> attributes;
  int32_t readCode = 1;     // the read's completion code for kReadFailed

  const Attribute* Find(uint32_t type, std::string_view name = {}) const;
};

// A record's bytes after fix-up, parsed: the header checks and the attribute walk. error says
// what was wrong for kNoSignature, kBadFixup and kBadAttribute; badStride the failing stride.
struct ParsedRecord {
  RecordStatus status = RecordStatus::kOk;
  std::string error;
  uint32_t badStride = 0;
  uint32_t badOffset = 0;
};
ParsedRecord ParseRecord(std::span<uint8_t> bytes, uint64_t id, Record& out);

// The name a $FILE_NAME value carries and its parent's record; nullopt when the value is too short.
struct NameOf {
  std::string name;
  uint64_t parent = 0;
  uint8_t nameSpace = 0;
};
std::optional<NameOf> FileNameValue(std::span<const uint8_t> value);

// The file a sector range belongs to: the record (its base record for an extension record) and the
// attribute, or the MFT's own area, with the part of the range it owns (volume sectors).
struct Owner {
  uint64_t mftId = 0;
  uint32_t type = 0;
  std::string attributeName;
  bool mftArea = false;
  uint64_t firstSector = 0;
  uint64_t lastSector = 0;
};

class NtfsVolume {
 public:
  // Reads the boot sector and record 0 and builds the MFT map, printing the record and the map when
  // verbose. 1; -90 for an impossible geometry or an MFT without its $DATA runs; the read's code.
  static int32_t Open(SectorSource& source, uint64_t startLba, const LineOut& out, bool verbose,
                      std::unique_ptr<NtfsVolume>& volume);

  const Geometry& geometry() const { return geometry_; }
  uint64_t recordCount() const { return recordCount_; }
  uint64_t startLba() const { return startLba_; }
  uint64_t volumeSectors() const { return geometry_.volumeBytes / source_.SectorSize(); }
  uint32_t sectorSize() const { return source_.SectorSize(); }
  const std::vector<Run>& mftRuns() const { return mftRuns_; }

  // One record, with the record lines when verbose. Red lines for signature, check-word and
  // attribute faults (also when quiet, unless quietFree: free and unsigned records say nothing).
  RecordStatus ReadRecord(uint64_t id, Record& out, bool verbose);
  // A file: its base record with the attributes of the extension records its $ATTRIBUTE_LIST names
  // ("Ref MftId" lines when verbose); the pieces of one non-resident attribute joined in VCN order.
  RecordStatus ReadFile(uint64_t id, Record& out, bool verbose);

  // The detail lines of each attribute of a record (GetFileByMftId): resident values in hex, run lists.
  void PrintDetail(const Record& record);
  // The MFT map lines.
  void PrintMftMap();

  // The owners of count sectors from firstSector (volume sectors); stops at the first owner when
  // firstOnly. 1, or a read's code.
  int32_t FindOwners(uint64_t firstSector, uint64_t count, bool firstOnly, std::vector<Owner>& owners);
  // The path of a record from the root ("\d1\file.txt"), with the parent lines when print. 1; -90
  // for a parent loop, a chain deeper than kMaxPathDepth, or a record on the way without a name.
  int32_t PathOf(uint64_t id, std::string& path, bool print);
  // The record of a path below the root, component by component through the folder indexes
  // ("Search Next" lines when print). 1; -11 when a component is not found; -90 for a broken index.
  int32_t Lookup(std::span<const std::string> components, uint64_t& id, bool print);
  // The extents of a file's unnamed $DATA: disk byte offsets (volume start included), cut to the
  // data size; a resident value is one extent inside the record. 1; -79 for compressed data.
  int32_t DataExtents(const Record& file, FileMap& map);

 private:
  NtfsVolume(SectorSource& source, uint64_t startLba, const LineOut& out, Geometry g)
      : source_(source), startLba_(startLba), out_(out), geometry_(g) {}
  void Line(std::string_view text, uint32_t colour) const {
    if (out_) out_(text, colour);
  }
  // Reads bytes of an attribute's stream through its runs (holes read as zeros). 1, -90 when the
  // runs do not cover the range or leave the volume, or a read's code.
  int32_t ReadStream(std::span<const Run> runs, uint64_t offset, std::span<uint8_t> out);
  // The volume byte of a stream byte; nullopt in a hole or past the runs.
  std::optional<uint64_t> MapStream(std::span<const Run> runs, uint64_t offset) const;
  RecordStatus ReadRecordBytes(uint64_t id, std::vector<uint8_t>& bytes, Record& out, bool verbose);
  RecordStatus Finish(RecordStatus status, const ParsedRecord& parsed, Record& out, bool verbose, bool quietFree);
  bool SetMftMap(const std::vector<Run>& runs, uint64_t dataBytes);
  int32_t SearchIndex(const Record& folder, std::string_view wanted, uint64_t& found);
  std::string LbaText(uint64_t volumeByte) const;

  SectorSource& source_;
  uint64_t startLba_;
  LineOut out_;
  Geometry geometry_;
  std::vector<Run> mftRuns_;
  uint64_t recordCount_ = 0;
};

}  // namespace kestrune::fsmap
