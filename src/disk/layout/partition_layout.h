// The on-disk layouts of partition tables and boot sectors: the legacy MBR with its four partition
// records, the GPT header and partition entry, and the fields of a volume boot sector that the
// partition listing reads. Fields are named as the formats name them; every structure is bytes only
// (alignment 1, no padding) and multi-byte fields are read and written through the little-endian
// accessors of base/bytes.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrune::disk {

using Guid = std::array<uint8_t, 16>;  // as stored: the first three fields little-endian

// "C12A7328-F81F-11D2-BA4B-00A0C93EC93B": upper-case hexadecimal, the first three fields read
// little-endian, the last two as stored.
std::string GuidText(const Guid& guid);
// The stored bytes of a GUID text (either case, with or without braces); nullopt when malformed.
std::optional<Guid> GuidFromText(std::string_view text);
bool IsZeroGuid(const Guid& guid);

// ---- Legacy MBR (LBA 0) ----
struct MbrPartitionRecord {
  uint8_t BootIndicator;
  uint8_t StartingCHS[3];
  uint8_t OSType;
  uint8_t EndingCHS[3];
  uint8_t StartingLBA[4];
  uint8_t SizeInLBA[4];
};
static_assert(sizeof(MbrPartitionRecord) == 16);

struct LegacyMbr {
  uint8_t BootCode[440];
  uint8_t UniqueMBRDiskSignature[4];
  uint8_t Unknown[2];
  MbrPartitionRecord PartitionRecord[4];
  uint8_t Signature[2];  // 55h AAh
};
static_assert(sizeof(LegacyMbr) == 512);
static_assert(offsetof(LegacyMbr, PartitionRecord) == 446);
static_assert(offsetof(LegacyMbr, Signature) == 510);

inline constexpr uint8_t kMbrTypeProtective = 0xEE;  // the protective MBR of a GPT disk
inline constexpr uint8_t kMbrTypeNtfs = 0x07;        // NTFS and exFAT
inline constexpr uint8_t kMbrTypeLinux = 0x83;

// ---- GPT header (LBA 1, backup at the last LBA) ----
struct GptHeaderBytes {
  uint8_t Signature[8];  // "EFI PART"
  uint8_t Revision[4];
  uint8_t HeaderSize[4];
  uint8_t HeaderCRC32[4];
  uint8_t Reserved[4];
  uint8_t MyLBA[8];
  uint8_t AlternateLBA[8];
  uint8_t FirstUsableLBA[8];
  uint8_t LastUsableLBA[8];
  uint8_t DiskGUID[16];
  uint8_t PartitionEntryLBA[8];
  uint8_t NumberOfPartitionEntries[4];
  uint8_t SizeOfPartitionEntry[4];
  uint8_t PartitionEntryArrayCRC32[4];
};
static_assert(sizeof(GptHeaderBytes) == 92);
static_assert(offsetof(GptHeaderBytes, DiskGUID) == 56);

inline constexpr std::string_view kGptSignature = "EFI PART";
inline constexpr uint32_t kGptRevision = 0x00010000;

struct GptPartitionEntryBytes {
  uint8_t PartitionTypeGUID[16];
  uint8_t UniquePartitionGUID[16];
  uint8_t StartingLBA[8];
  uint8_t EndingLBA[8];
  uint8_t Attributes[8];
  uint8_t PartitionName[72];  // UTF-16LE
};
static_assert(sizeof(GptPartitionEntryBytes) == 128);

// The decoded header.
struct GptHeader {
  uint32_t revision = 0;
  uint32_t headerSize = 0;
  uint32_t headerCrc32 = 0;
  uint64_t myLba = 0;
  uint64_t alternateLba = 0;
  uint64_t firstUsableLba = 0;
  uint64_t lastUsableLba = 0;
  Guid diskGuid{};
  uint64_t partitionEntryLba = 0;
  uint32_t numberOfPartitionEntries = 0;
  uint32_t sizeOfPartitionEntry = 0;
  uint32_t partitionEntryArrayCrc32 = 0;
};

// Reads a header from the first 92 bytes of p (signature not checked); writes one, with the
// signature, to p (the CRC as given).
GptHeader DecodeGptHeader(const uint8_t* p);
void EncodeGptHeader(const GptHeader& h, uint8_t* p);
// The CRC-32 of the first headerSize bytes of p with the HeaderCRC32 field taken as zero.
uint32_t GptHeaderCrc(const uint8_t* p, uint32_t headerSize);

struct GptEntry {
  Guid typeGuid{};
  Guid uniqueGuid{};
  uint64_t startingLba = 0;
  uint64_t endingLba = 0;
  uint64_t attributes = 0;
  std::u16string name;
};
GptEntry DecodeGptEntry(const uint8_t* p);
void EncodeGptEntry(const GptEntry& e, uint8_t* p);

// The display name of a partition type GUID (at most 32 characters), "Unknow Partitaion" for others.
std::string_view GptTypeName(const Guid& type);

// Type GUIDs the writer and the partition tool use.
extern const Guid kGptTypeBasicData;
extern const Guid kGptTypeMicrosoftReserved;
extern const Guid kGptTypeLinuxData;

// ---- Volume boot sector (the partition's first sector) ----
struct BootSectorBytes {
  uint8_t Jump[3];
  uint8_t OemName[8];            // "NTFS    ", "EXFAT   ", "MSDOS5.0"
  uint8_t BytesPerSector[2];     // NTFS, FAT
  uint8_t SectorsPerCluster[1];  // NTFS, FAT; above 80h: 2^(256 - value) sectors (NTFS)
  uint8_t Reserved14[26];
  uint8_t TotalSectors[8];      // NTFS, byte 40
  uint8_t MftClusterNumber[8];  // NTFS, byte 48
};
static_assert(sizeof(BootSectorBytes) == 56);

inline constexpr size_t kExfatBytesPerSectorShift = 108;  // exFAT: log2 of the sector size
inline constexpr size_t kExfatSectorsPerClusterShift = 109;
inline constexpr size_t kExfatVolumeLength = 72;        // exFAT: the volume's sectors
inline constexpr size_t kExfatClusterHeapOffset = 88;   // exFAT: the first sector of the data area
inline constexpr size_t kExfatClusterCount = 92;        // exFAT: the clusters of the data area

struct BootSectorInfo {
  std::string fileSystem;     // the OEM text without trailing blanks; empty when not printable
  uint64_t clusterBytes = 0;  // 0 when the boot sector does not say
  uint64_t mftCluster = 0;    // NTFS only
  // What the file system holds, as the system reports a volume's size: its whole clusters (NTFS:
  // the total sectors' bytes in whole clusters; exFAT: the cluster count); 0 when it does not say.
  uint64_t volumeBytes = 0;
  bool ntfs = false;
};
// The boot sector's fields (size at least 512 bytes).
BootSectorInfo DecodeBootSector(const uint8_t* p);

}  // namespace kestrune::disk
