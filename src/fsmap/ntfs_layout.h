// On-disk layouts of NTFS, as byte offsets into the structures (named as NTFS names them). Every
// field is read through the little-endian accessors of base/bytes.h, never through a cast, so a
// layout is a set of offsets and a size; each size is checked against its last field.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrune::fsmap::ntfs {

// PACKED_BOOT_SECTOR: the first sector of the volume.
struct PackedBootSector {
  static constexpr size_t kOemId = 0x03;                 // 8 bytes, "NTFS    "
  static constexpr size_t kBytesPerSector = 0x0B;        // u16
  static constexpr size_t kSectorsPerCluster = 0x0D;     // u8; above 0x80: 2^(256 - value)
  static constexpr size_t kNumberSectors = 0x28;         // i64, the volume less its backup boot sector
  static constexpr size_t kMftStartLcn = 0x30;           // i64
  static constexpr size_t kMft2StartLcn = 0x38;          // i64
  static constexpr size_t kClustersPerFileRecordSegment = 0x40;  // i8; negative: 2^-value bytes
  static constexpr size_t kDefaultClustersPerIndexAllocationBuffer = 0x44;  // i8, same rule
  static constexpr size_t kSerialNumber = 0x48;          // u64
  static constexpr size_t kChecksum = 0x50;              // u32
  static constexpr size_t kSignature = 0x1FE;            // u16, 0xAA55
  static constexpr size_t kSize = 0x200;
};
static_assert(PackedBootSector::kSignature + 2 == PackedBootSector::kSize);

// MULTI_SECTOR_HEADER: the head of every record protected by an update sequence ("FILE", "INDX").
struct MultiSectorHeader {
  static constexpr size_t kSignature = 0x00;                  // 4 bytes
  static constexpr size_t kUpdateSequenceArrayOffset = 0x04;  // u16
  static constexpr size_t kUpdateSequenceArraySize = 0x06;    // u16, entries including the number
  static constexpr size_t kSize = 0x08;
};
static_assert(MultiSectorHeader::kUpdateSequenceArraySize + 2 == MultiSectorHeader::kSize);

// The update sequence protects every 512 bytes of a record, whatever the sector size.
inline constexpr uint32_t kSequenceStride = 512;

// FILE_RECORD_SEGMENT_HEADER: an MFT record.
struct FileRecordSegmentHeader {
  static constexpr size_t kLsn = 0x08;                    // u64
  static constexpr size_t kSequenceNumber = 0x10;         // u16
  static constexpr size_t kReferenceCount = 0x12;         // u16
  static constexpr size_t kFirstAttributeOffset = 0x14;   // u16
  static constexpr size_t kFlags = 0x16;                  // u16
  static constexpr size_t kFirstFreeByte = 0x18;          // u32, bytes in use
  static constexpr size_t kBytesAvailable = 0x1C;         // u32, the record's size
  static constexpr size_t kBaseFileRecordSegment = 0x20;  // u64 file reference; 0 in a base record
  static constexpr size_t kNextAttributeInstance = 0x28;  // u16
  static constexpr size_t kSegmentNumberLowPart = 0x2C;   // u32 (NTFS 3.1)
  static constexpr size_t kSize = 0x30;
};
static_assert(FileRecordSegmentHeader::kSegmentNumberLowPart + 4 == FileRecordSegmentHeader::kSize);

inline constexpr uint16_t kFileRecordSegmentInUse = 0x0001;
inline constexpr uint16_t kFileFileNameIndexPresent = 0x0002;  // a directory

// ATTRIBUTE_RECORD_HEADER: common part, then the resident or the non-resident form.
struct AttributeRecordHeader {
  static constexpr size_t kTypeCode = 0x00;      // u32; 0xFFFFFFFF ends the list
  static constexpr size_t kRecordLength = 0x04;  // u32
  static constexpr size_t kFormCode = 0x08;      // u8, 1 = non-resident
  static constexpr size_t kNameLength = 0x09;    // u8, UTF-16 units
  static constexpr size_t kNameOffset = 0x0A;    // u16
  static constexpr size_t kFlags = 0x0C;         // u16
  static constexpr size_t kInstance = 0x0E;      // u16
  static constexpr size_t kCommonSize = 0x10;
  // Resident form.
  static constexpr size_t kValueLength = 0x10;   // u32
  static constexpr size_t kValueOffset = 0x14;   // u16
  static constexpr size_t kResidentFlags = 0x16; // u8
  static constexpr size_t kResidentSize = 0x18;
  // Non-resident form.
  static constexpr size_t kLowestVcn = 0x10;          // i64
  static constexpr size_t kHighestVcn = 0x18;         // i64
  static constexpr size_t kMappingPairsOffset = 0x20; // u16
  static constexpr size_t kCompressionUnit = 0x22;    // u8
  static constexpr size_t kAllocatedLength = 0x28;    // i64
  static constexpr size_t kFileSize = 0x30;           // i64
  static constexpr size_t kValidDataLength = 0x38;    // i64
  static constexpr size_t kNonresidentSize = 0x40;
};
static_assert(AttributeRecordHeader::kInstance + 2 == AttributeRecordHeader::kCommonSize);
static_assert(AttributeRecordHeader::kResidentFlags + 2 == AttributeRecordHeader::kResidentSize);
static_assert(AttributeRecordHeader::kValidDataLength + 8 == AttributeRecordHeader::kNonresidentSize);

inline constexpr uint32_t kAttributeEnd = 0xFFFFFFFF;
inline constexpr uint16_t kAttributeCompressionMask = 0x00FF;
inline constexpr uint16_t kAttributeSparse = 0x8000;

// Attribute type codes.
inline constexpr uint32_t kStandardInformation = 0x10;
inline constexpr uint32_t kAttributeList = 0x20;
inline constexpr uint32_t kFileName = 0x30;
inline constexpr uint32_t kObjectId = 0x40;
inline constexpr uint32_t kSecurityDescriptor = 0x50;
inline constexpr uint32_t kVolumeName = 0x60;
inline constexpr uint32_t kVolumeInformation = 0x70;
inline constexpr uint32_t kData = 0x80;
inline constexpr uint32_t kIndexRoot = 0x90;
inline constexpr uint32_t kIndexAllocation = 0xA0;
inline constexpr uint32_t kBitmap = 0xB0;
inline constexpr uint32_t kReparsePoint = 0xC0;
inline constexpr uint32_t kEaInformation = 0xD0;
inline constexpr uint32_t kEa = 0xE0;
inline constexpr uint32_t kLoggedUtilityStream = 0x100;

// ATTRIBUTE_LIST_ENTRY: one entry of an $ATTRIBUTE_LIST value.
struct AttributeListEntry {
  static constexpr size_t kAttributeTypeCode = 0x00;   // u32
  static constexpr size_t kRecordLength = 0x04;        // u16
  static constexpr size_t kAttributeNameLength = 0x06; // u8
  static constexpr size_t kAttributeNameOffset = 0x07; // u8
  static constexpr size_t kLowestVcn = 0x08;           // i64
  static constexpr size_t kSegmentReference = 0x10;    // u64 file reference
  static constexpr size_t kInstance = 0x18;            // u16
  static constexpr size_t kSize = 0x1A;
};
static_assert(AttributeListEntry::kInstance + 2 == AttributeListEntry::kSize);

// FILE_NAME: the value of a $FILE_NAME attribute, also the key of a directory index entry.
struct FileName {
  static constexpr size_t kParentDirectory = 0x00;  // u64 file reference
  static constexpr size_t kCreationTime = 0x08;
  static constexpr size_t kAllocatedLength = 0x28;  // i64
  static constexpr size_t kFileSize = 0x30;         // i64
  static constexpr size_t kFileAttributes = 0x38;   // u32
  static constexpr size_t kFileNameLength = 0x40;   // u8, UTF-16 units
  static constexpr size_t kFlags = 0x41;            // u8, the name space
  static constexpr size_t kFileName = 0x42;         // UTF-16LE
  static constexpr size_t kSize = 0x42;             // without the name
};
static_assert(FileName::kFlags + 1 == FileName::kSize);

inline constexpr uint8_t kFileNameDos = 0x02;  // a short (8.3) name only

// INDEX_ROOT: the value of $INDEX_ROOT, followed by its INDEX_HEADER.
struct IndexRoot {
  static constexpr size_t kIndexedAttributeType = 0x00;  // u32
  static constexpr size_t kCollationRule = 0x04;         // u32
  static constexpr size_t kBytesPerIndexBuffer = 0x08;   // u32
  static constexpr size_t kBlocksPerIndexBuffer = 0x0C;  // u8
  static constexpr size_t kIndexHeader = 0x10;
  static constexpr size_t kSize = 0x10;
};

// INDEX_HEADER: where the entries of an index node lie, relative to the header itself.
struct IndexHeader {
  static constexpr size_t kFirstIndexEntry = 0x00;  // u32
  static constexpr size_t kFirstFreeByte = 0x04;    // u32
  static constexpr size_t kBytesAvailable = 0x08;   // u32
  static constexpr size_t kFlags = 0x0C;            // u8, 1 = nodes below
  static constexpr size_t kSize = 0x10;
};

// INDEX_ALLOCATION_BUFFER: an "INDX" block of $INDEX_ALLOCATION.
struct IndexAllocationBuffer {
  static constexpr size_t kLsn = 0x08;
  static constexpr size_t kThisBlock = 0x10;    // i64 VCN
  static constexpr size_t kIndexHeader = 0x18;
  static constexpr size_t kSize = 0x28;
};
static_assert(IndexAllocationBuffer::kIndexHeader + IndexHeader::kSize == IndexAllocationBuffer::kSize);

// INDEX_ENTRY: one entry of an index node; a node's block VCN ends the entry when it has one.
struct IndexEntry {
  static constexpr size_t kFileReference = 0x00;  // u64
  static constexpr size_t kLength = 0x08;         // u16
  static constexpr size_t kAttributeLength = 0x0A;  // u16, the key's length
  static constexpr size_t kFlags = 0x0C;          // u16
  static constexpr size_t kKey = 0x10;
  static constexpr size_t kSize = 0x10;
};

inline constexpr uint16_t kIndexEntryNode = 0x0001;
inline constexpr uint16_t kIndexEntryEnd = 0x0002;

// MFT record numbers of the system files.
inline constexpr uint64_t kMftRecord = 0;
inline constexpr uint64_t kRootDirectory = 5;

// The record number in a file reference: its low 48 bits.
inline constexpr uint64_t SegmentOf(uint64_t reference) { return reference & 0x0000FFFFFFFFFFFFULL; }

}  // namespace kestrune::fsmap::ntfs
