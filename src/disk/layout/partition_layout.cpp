#include "disk/layout/partition_layout.h"

#include <cstring>

#include "base/bytes.h"
#include "base/crc.h"

namespace kestrune::disk {
namespace {

using base::GetLe16;
using base::GetLe32;
using base::GetLe64;
using base::PutLe32;
using base::PutLe64;

// The stored byte order of the text form's 16 bytes: the first three fields are reversed.
constexpr size_t kTextOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

Guid G(std::string_view text) { return *GuidFromText(text); }

struct TypeName {
  Guid type;
  std::string_view name;
};

const TypeName* TypeNames(size_t& count) {
  static const TypeName kNames[] = {
      {G("C12A7328-F81F-11D2-BA4B-00A0C93EC93B"), "EFI System Partition"},
      {G("E3C9E316-0B5C-4DB8-817D-F92DF00215AE"), "Microsoft Reserved"},
      {G("DE94BBA4-06D1-4D40-A16A-BFD50179D6AC"), "Microsoft Recovery Partition"},
      {G("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7"), "Basic Data Partition"},
      {G("21686148-6449-6E6F-744E-656564454649"), "BIOS Boot Partition"},
      {G("024DEE41-33E7-11D3-9D69-0008C781F39F"), "MBR Partition Scheme"},
      {G("5808C8AA-7E8F-42E0-85D2-E1E90434CFB3"), "LDM Metadata Partition"},
      {G("AF9B60A0-1431-4F62-BC68-3311714A69AD"), "LDM Data Partition"},
      {G("0FC63DAF-8483-4772-8E79-3D69D8477DE4"), "Linux File System Data"},
      {G("44479540-F297-41B2-9AF7-D131D5F0458A"), "Linux Root Partition (x86)"},
      {G("4F68BCE3-E8CD-4DB1-96E7-FBCAF984B709"), "Linux Root Partition (x86-64)"},
      {G("BC13C2FF-59E6-4262-A352-B275FD6F7172"), "Linux Boot Partition"},
      {G("0657FD6D-A4AB-43C4-84E5-0933C84B4F4F"), "Linux Swap Partition"},
      {G("E6D6D379-F507-44C2-A23C-238F2A3DF928"), "Linux LVM Partition"},
      {G("933AC7E1-2EB4-4F13-B844-0E14E2AEF915"), "Linux Home Partition"},
  };
  count = std::size(kNames);
  return kNames;
}

}  // namespace

const Guid kGptTypeBasicData = G("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");
const Guid kGptTypeMicrosoftReserved = G("E3C9E316-0B5C-4DB8-817D-F92DF00215AE");
const Guid kGptTypeLinuxData = G("0FC63DAF-8483-4772-8E79-3D69D8477DE4");

std::string GuidText(const Guid& guid) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    const uint8_t b = guid[kTextOrder[i]];
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text;
}

std::optional<Guid> GuidFromText(std::string_view text) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  if (text.size() != 36) return std::nullopt;
  Guid guid{};
  size_t digit = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return std::nullopt;
      continue;
    }
    const int v = HexValue(text[i]);
    if (v < 0) return std::nullopt;
    uint8_t& b = guid[kTextOrder[digit / 2]];
    b = static_cast<uint8_t>(digit % 2 == 0 ? v << 4 : b | v);
    ++digit;
  }
  return guid;
}

bool IsZeroGuid(const Guid& guid) {
  for (uint8_t b : guid)
    if (b != 0) return false;
  return true;
}

GptHeader DecodeGptHeader(const uint8_t* p) {
  GptHeader h;
  h.revision = GetLe32(p + offsetof(GptHeaderBytes, Revision));
  h.headerSize = GetLe32(p + offsetof(GptHeaderBytes, HeaderSize));
  h.headerCrc32 = GetLe32(p + offsetof(GptHeaderBytes, HeaderCRC32));
  h.myLba = GetLe64(p + offsetof(GptHeaderBytes, MyLBA));
  h.alternateLba = GetLe64(p + offsetof(GptHeaderBytes, AlternateLBA));
  h.firstUsableLba = GetLe64(p + offsetof(GptHeaderBytes, FirstUsableLBA));
  h.lastUsableLba = GetLe64(p + offsetof(GptHeaderBytes, LastUsableLBA));
  std::memcpy(h.diskGuid.data(), p + offsetof(GptHeaderBytes, DiskGUID), 16);
  h.partitionEntryLba = GetLe64(p + offsetof(GptHeaderBytes, PartitionEntryLBA));
  h.numberOfPartitionEntries = GetLe32(p + offsetof(GptHeaderBytes, NumberOfPartitionEntries));
  h.sizeOfPartitionEntry = GetLe32(p + offsetof(GptHeaderBytes, SizeOfPartitionEntry));
  h.partitionEntryArrayCrc32 = GetLe32(p + offsetof(GptHeaderBytes, PartitionEntryArrayCRC32));
  return h;
}

void EncodeGptHeader(const GptHeader& h, uint8_t* p) {
  std::memset(p, 0, sizeof(GptHeaderBytes));
  std::memcpy(p, kGptSignature.data(), kGptSignature.size());
  PutLe32(p + offsetof(GptHeaderBytes, Revision), h.revision);
  PutLe32(p + offsetof(GptHeaderBytes, HeaderSize), h.headerSize);
  PutLe32(p + offsetof(GptHeaderBytes, HeaderCRC32), h.headerCrc32);
  PutLe64(p + offsetof(GptHeaderBytes, MyLBA), h.myLba);
  PutLe64(p + offsetof(GptHeaderBytes, AlternateLBA), h.alternateLba);
  PutLe64(p + offsetof(GptHeaderBytes, FirstUsableLBA), h.firstUsableLba);
  PutLe64(p + offsetof(GptHeaderBytes, LastUsableLBA), h.lastUsableLba);
  std::memcpy(p + offsetof(GptHeaderBytes, DiskGUID), h.diskGuid.data(), 16);
  PutLe64(p + offsetof(GptHeaderBytes, PartitionEntryLBA), h.partitionEntryLba);
  PutLe32(p + offsetof(GptHeaderBytes, NumberOfPartitionEntries), h.numberOfPartitionEntries);
  PutLe32(p + offsetof(GptHeaderBytes, SizeOfPartitionEntry), h.sizeOfPartitionEntry);
  PutLe32(p + offsetof(GptHeaderBytes, PartitionEntryArrayCRC32), h.partitionEntryArrayCrc32);
}

uint32_t GptHeaderCrc(const uint8_t* p, uint32_t headerSize) {
  std::basic_string<uint8_t> copy(p, headerSize);
  std::memset(copy.data() + offsetof(GptHeaderBytes, HeaderCRC32), 0, 4);
  return base::Crc32({copy.data(), copy.size()});
}

GptEntry DecodeGptEntry(const uint8_t* p) {
  GptEntry e;
  std::memcpy(e.typeGuid.data(), p + offsetof(GptPartitionEntryBytes, PartitionTypeGUID), 16);
  std::memcpy(e.uniqueGuid.data(), p + offsetof(GptPartitionEntryBytes, UniquePartitionGUID), 16);
  e.startingLba = GetLe64(p + offsetof(GptPartitionEntryBytes, StartingLBA));
  e.endingLba = GetLe64(p + offsetof(GptPartitionEntryBytes, EndingLBA));
  e.attributes = GetLe64(p + offsetof(GptPartitionEntryBytes, Attributes));
  const uint8_t* name = p + offsetof(GptPartitionEntryBytes, PartitionName);
  for (size_t i = 0; i < 36; ++i) {
    const char16_t c = static_cast<char16_t>(GetLe16(name + 2 * i));
    if (c == 0) break;
    e.name += c;
  }
  return e;
}

void EncodeGptEntry(const GptEntry& e, uint8_t* p) {
  std::memset(p, 0, sizeof(GptPartitionEntryBytes));
  std::memcpy(p + offsetof(GptPartitionEntryBytes, PartitionTypeGUID), e.typeGuid.data(), 16);
  std::memcpy(p + offsetof(GptPartitionEntryBytes, UniquePartitionGUID), e.uniqueGuid.data(), 16);
  PutLe64(p + offsetof(GptPartitionEntryBytes, StartingLBA), e.startingLba);
  PutLe64(p + offsetof(GptPartitionEntryBytes, EndingLBA), e.endingLba);
  PutLe64(p + offsetof(GptPartitionEntryBytes, Attributes), e.attributes);
  uint8_t* name = p + offsetof(GptPartitionEntryBytes, PartitionName);
  for (size_t i = 0; i < e.name.size() && i < 36; ++i) base::PutLe16(name + 2 * i, e.name[i]);
}

std::string_view GptTypeName(const Guid& type) {
  size_t count = 0;
  const TypeName* names = TypeNames(count);
  for (size_t i = 0; i < count; ++i)
    if (names[i].type == type) return names[i].name;
  return "Unknow Partitaion";
}

BootSectorInfo DecodeBootSector(const uint8_t* p) {
  BootSectorInfo info;
  const uint8_t* oem = p + offsetof(BootSectorBytes, OemName);
  std::string text(reinterpret_cast<const char*>(oem), 8);
  bool printable = true;
  for (char c : text) printable = printable && c >= 0x20 && c < 0x7F;
  if (printable) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    info.fileSystem = text;
  }
  if (text == "NTFS") {
    info.ntfs = true;
    const uint32_t bytesPerSector = GetLe16(p + offsetof(BootSectorBytes, BytesPerSector));
    const uint8_t spc = p[offsetof(BootSectorBytes, SectorsPerCluster)];
    if (spc > 0x80) {
      // A negative count: 2^-value sectors (clusters of 128 KiB and more).
      const uint32_t shift = 256u - spc;
      if (shift <= 24) info.clusterBytes = (uint64_t{1} << shift) * bytesPerSector;
    } else {
      info.clusterBytes = uint64_t{spc} * bytesPerSector;
    }
    info.mftCluster = GetLe64(p + offsetof(BootSectorBytes, MftClusterNumber));
    const uint64_t sectors = GetLe64(p + offsetof(BootSectorBytes, TotalSectors));
    if (info.clusterBytes != 0 && sectors < (uint64_t{1} << 48))
      info.volumeBytes = sectors * bytesPerSector / info.clusterBytes * info.clusterBytes;
  } else if (text == "EXFAT") {
    const uint8_t sectorShift = p[kExfatBytesPerSectorShift];
    const uint8_t clusterShift = p[kExfatSectorsPerClusterShift];
    if (sectorShift >= 9 && sectorShift <= 12 && clusterShift <= 25 - sectorShift) {
      info.clusterBytes = uint64_t{1} << (sectorShift + clusterShift);
      info.volumeBytes = uint64_t{GetLe32(p + kExfatClusterCount)} * info.clusterBytes;
    }
  }
  return info;
}

}  // namespace kestrune::disk
