// The partition table reader over table bytes that the writer makes, damaged in the ways real disks
// get damaged, at 512- and 4096-byte sectors.
#include "disk/layout/partition_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/crc.h"
#include "disk/layout/partition_layout.h"
#include "disk/layout/partition_writer.h"

namespace kestrune::disk {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;

// A disk in memory.
struct MemoryDisk {
  uint32_t sectorSize;
  uint64_t sectors;
  std::vector<uint8_t> bytes;
  std::vector<uint64_t> unreadable;

  MemoryDisk(uint32_t size, uint64_t diskBytes)
      : sectorSize(size), sectors(diskBytes / size), bytes(diskBytes) {}
  uint8_t* Sector(uint64_t lba) { return bytes.data() + lba * sectorSize; }
  void Write(const std::vector<SectorWrite>& writes) {
    for (const SectorWrite& w : writes) std::memcpy(Sector(w.lba), w.bytes.data(), w.bytes.size());
  }
  SectorSource Source() {
    return [this](uint64_t lba, uint32_t count, std::span<uint8_t> out) {
      for (uint64_t bad : unreadable)
        if (bad >= lba && bad < lba + count) return false;
      if (lba + count > sectors || out.size() < uint64_t{count} * sectorSize) return false;
      std::memcpy(out.data(), Sector(lba), uint64_t{count} * sectorSize);
      return true;
    };
  }
  TableRead Read(PartitionTable& t) { return ReadPartitionTable(Source(), sectorSize, sectors, t); }
  // Recomputes the entry array CRC and the header CRC of the header at lba after an edit.
  void Reseal(uint64_t lba) {
    uint8_t* h = Sector(lba);
    GptHeader header = DecodeGptHeader(h);
    if (header.partitionEntryLba < sectors) {
      const uint64_t bytes = uint64_t{header.numberOfPartitionEntries} * header.sizeOfPartitionEntry;
      if (bytes <= (sectors - header.partitionEntryLba) * sectorSize)
        base::PutLe32(h + offsetof(GptHeaderBytes, PartitionEntryArrayCRC32),
                      base::Crc32({Sector(header.partitionEntryLba), static_cast<size_t>(bytes)}));
    }
    base::PutLe32(h + offsetof(GptHeaderBytes, HeaderCRC32), GptHeaderCrc(h, header.headerSize));
  }
};

Guid UniqueGuid(uint8_t n) {
  Guid g{};
  g[0] = n;
  g[15] = 0x5A;
  return g;
}

// A GPT disk as the partition tool leaves it after a create with SizeMB 4.
void MakeGpt(MemoryDisk& disk) {
  auto plan = PlanPartitions(TableScheme::kGpt, disk.sectorSize, disk.sectors, 4);
  ASSERT_TRUE(plan.has_value());
  NewTable t{TableScheme::kGpt, 0, *GuidFromText("01234567-89AB-CDEF-0123-456789ABCDEF"), *plan};
  for (size_t i = 0; i < t.partitions.size(); ++i) t.partitions[i].uniqueGuid = UniqueGuid(uint8_t(i + 1));
  std::vector<SectorWrite> writes = PartitionTableSectors(t, disk.sectorSize, disk.sectors);
  ASSERT_EQ(writes.size(), 5u);
  disk.Write(writes);
}

uint64_t Last(const MemoryDisk& d) { return d.sectors - 1; }

struct GptCase {
  std::string name;
  std::function<void(MemoryDisk&)> damage;
  int32_t code;
  bool backup;
  std::string primaryDamage;
  size_t partitions;
};

class GptReading : public ::testing::TestWithParam<uint32_t> {};

TEST_P(GptReading, SoundDamagedAndOutOfBounds) {
  const uint32_t sectorSize = GetParam();
  const std::vector<GptCase> cases = {
      {"sound", [](MemoryDisk&) {}, 1, false, "", 3},
      {"primary header CRC byte flipped",
       [](MemoryDisk& d) { d.Sector(1)[offsetof(GptHeaderBytes, HeaderCRC32)] ^= 0x01; }, 1, true,
       "header CRC", 3},
      {"primary entry array byte flipped", [](MemoryDisk& d) { d.Sector(2)[40] ^= 0x80; }, 1, true,
       "entry array CRC", 3},
      {"primary signature gone", [](MemoryDisk& d) { d.Sector(1)[0] = 'X'; }, 1, true, "no signature", 3},
      {"primary entry count past the bound",
       [](MemoryDisk& d) {
         base::PutLe32(d.Sector(1) + offsetof(GptHeaderBytes, NumberOfPartitionEntries), 0x01000000);
         d.Reseal(1);
       },
       1, true, "entry count", 3},
      {"primary entry LBA past the disk",
       [](MemoryDisk& d) {
         base::PutLe64(d.Sector(1) + offsetof(GptHeaderBytes, PartitionEntryLBA), d.sectors + 5);
         d.Reseal(1);
       },
       1, true, "entry array LBA", 3},
      {"primary entries inside the usable range",
       [](MemoryDisk& d) {
         base::PutLe64(d.Sector(1) + offsetof(GptHeaderBytes, PartitionEntryLBA), 2048);
         d.Reseal(1);
       },
       1, true, "entry array LBA", 3},
      {"primary entry size 0",
       [](MemoryDisk& d) {
         base::PutLe32(d.Sector(1) + offsetof(GptHeaderBytes, SizeOfPartitionEntry), 0);
         d.Reseal(1);
       },
       1, true, "entry size", 3},
      {"primary header size larger than a sector",
       [](MemoryDisk& d) {
         base::PutLe32(d.Sector(1) + offsetof(GptHeaderBytes, HeaderSize), d.sectorSize + 1);
       },
       1, true, "header size", 3},
      {"primary last usable LBA past the disk",
       [](MemoryDisk& d) {
         base::PutLe64(d.Sector(1) + offsetof(GptHeaderBytes, LastUsableLBA), d.sectors);
         d.Reseal(1);
       },
       1, true, "usable range", 3},
      {"both headers damaged",
       [](MemoryDisk& d) {
         d.Sector(1)[offsetof(GptHeaderBytes, HeaderCRC32)] ^= 0x01;
         d.Sector(Last(d))[offsetof(GptHeaderBytes, MyLBA)] ^= 0x01;
       },
       -90, false, "", 0},
      {"primary damaged, backup array damaged",
       [](MemoryDisk& d) {
         d.Sector(1)[0] = 0;
         d.Sector(Last(d) - 1)[0] ^= 0xFF;
       },
       -90, false, "", 0},
  };
  for (const GptCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryDisk disk(sectorSize, 32 * kMiB);
    MakeGpt(disk);
    c.damage(disk);
    PartitionTable t;
    const TableRead r = disk.Read(t);
    EXPECT_EQ(r.code, c.code) << r.detail;
    if (c.code != 1) {
      EXPECT_EQ(r.detail.rfind("GPT Header: primary ", 0), 0u) << r.detail;
      continue;
    }
    EXPECT_EQ(t.scheme, TableScheme::kGpt);
    EXPECT_EQ(t.usedBackup, c.backup);
    EXPECT_EQ(t.primaryDamage, c.primaryDamage);
    EXPECT_EQ(t.headerLba, c.backup ? Last(disk) : 1u);
    EXPECT_EQ(GuidText(t.header.diskGuid), "01234567-89AB-CDEF-0123-456789ABCDEF");
    ASSERT_EQ(t.gpt.size(), c.partitions);
    const uint64_t perMiB = kMiB / sectorSize;
    EXPECT_EQ(GptTypeName(t.gpt[0].entry.typeGuid), "Microsoft Reserved");
    EXPECT_EQ(t.gpt[0].entry.startingLba, perMiB);
    EXPECT_EQ(t.gpt[1].entry.startingLba, 17 * perMiB);
    EXPECT_EQ(t.gpt[1].entry.endingLba - t.gpt[1].entry.startingLba + 1, 4 * perMiB);
    EXPECT_EQ(GptTypeName(t.gpt[2].entry.typeGuid), "Basic Data Partition");
    EXPECT_EQ(t.gpt[2].entry.endingLba, t.header.lastUsableLba);
    EXPECT_EQ(t.gpt[2].entry.name, u"Basic data partition");
    EXPECT_FALSE(t.gpt[2].pastDisk);
  }
}

TEST_P(GptReading, EntriesPastTheDiskAreFlaggedNotDropped) {
  MemoryDisk disk(GetParam(), 32 * kMiB);
  MakeGpt(disk);
  for (uint64_t header : {uint64_t{1}, Last(disk)}) {
    const uint64_t array = DecodeGptHeader(disk.Sector(header)).partitionEntryLba;
    uint8_t* second = disk.Sector(array) + 2 * sizeof(GptPartitionEntryBytes);
    base::PutLe64(second + offsetof(GptPartitionEntryBytes, EndingLBA), disk.sectors + 100);
    disk.Reseal(header);
  }
  PartitionTable t;
  ASSERT_EQ(disk.Read(t).code, 1);
  EXPECT_FALSE(t.usedBackup);
  ASSERT_EQ(t.gpt.size(), 3u);
  EXPECT_FALSE(t.gpt[1].pastDisk);
  EXPECT_TRUE(t.gpt[2].pastDisk);
}

TEST_P(GptReading, ReadFailuresNameWhatWasRead) {
  const struct {
    uint64_t lba;
    std::string detail;
  } cases[] = {{0, "MBR Sector"}, {1, "GPT Header"}, {2, "GPT Entrt Table"}};
  for (const auto& c : cases) {
    MemoryDisk disk(GetParam(), 32 * kMiB);
    MakeGpt(disk);
    disk.unreadable = {c.lba};
    PartitionTable t;
    const TableRead r = disk.Read(t);
    EXPECT_EQ(r.code, -3);
    EXPECT_EQ(r.detail, c.detail);
  }
}

INSTANTIATE_TEST_SUITE_P(SectorSizes, GptReading, ::testing::Values(512u, 4096u));

TEST(MbrReading, RecordsSignatureAndBounds) {
  for (uint32_t sectorSize : {512u, 4096u}) {
    SCOPED_TRACE(sectorSize);
    MemoryDisk disk(sectorSize, 32 * kMiB);
    auto plan = PlanPartitions(TableScheme::kMbr, sectorSize, disk.sectors, 8);
    ASSERT_TRUE(plan.has_value());
    disk.Write(PartitionTableSectors({TableScheme::kMbr, 0x1234ABCD, {}, *plan}, sectorSize, disk.sectors));
    PartitionTable t;
    ASSERT_EQ(disk.Read(t).code, 1);
    EXPECT_EQ(t.scheme, TableScheme::kMbr);
    EXPECT_EQ(t.diskSignature, 0x1234ABCDu);
    ASSERT_EQ(t.mbr.size(), 2u);
    const uint32_t perMiB = static_cast<uint32_t>(kMiB / sectorSize);
    EXPECT_EQ(t.mbr[0].firstLba, perMiB);
    EXPECT_EQ(t.mbr[0].sectorCount, 8 * perMiB);
    EXPECT_EQ(t.mbr[1].firstLba, 9 * perMiB);
    EXPECT_EQ(uint64_t{t.mbr[1].firstLba} + t.mbr[1].sectorCount, disk.sectors);
    EXPECT_EQ(t.mbr[1].type, kMbrTypeNtfs);
    EXPECT_FALSE(t.mbr[1].pastDisk);

    base::PutLe32(disk.Sector(0) + 446 + 16 + 12, static_cast<uint32_t>(disk.sectors));
    ASSERT_EQ(disk.Read(t).code, 1);
    EXPECT_TRUE(t.mbr[1].pastDisk);

    disk.Sector(0)[511] = 0;
    ASSERT_EQ(disk.Read(t).code, 1);
    EXPECT_EQ(t.scheme, TableScheme::kNone);
  }
}

TEST(MbrReading, WipedDiskHasNoTable) {
  MemoryDisk disk(512, 32 * kMiB);
  MakeGpt(disk);
  disk.Write(WipeTableSectors(512, disk.sectors));
  for (size_t i = 0; i < disk.bytes.size(); i += 512) {
    if (disk.bytes[i] != 0 && i / 512 != 2048 && i / 512 != 2048 * 17) FAIL() << "sector " << i / 512;
  }
  PartitionTable t;
  ASSERT_EQ(disk.Read(t).code, 1);
  EXPECT_EQ(t.scheme, TableScheme::kNone);
}

TEST(PartitionPlan, RefusesWhatLeavesNoRoom) {
  const uint64_t sectors = 32 * kMiB / 512;
  const struct {
    TableScheme scheme;
    uint32_t sectorSize;
    uint64_t sectors;
    int64_t sizeMB;
    bool planned;
  } cases[] = {
      {TableScheme::kMbr, 512, sectors, 0, true},
      {TableScheme::kMbr, 512, sectors, 30, true},   // 1 MiB in front, 30, 1 left
      {TableScheme::kMbr, 512, sectors, 31, false},  // nothing left for the second
      {TableScheme::kMbr, 512, sectors, -1, false},
      {TableScheme::kGpt, 512, sectors, 13, true},
      {TableScheme::kGpt, 512, sectors, 14, false},  // the backup array takes the last MiB's tail
      {TableScheme::kGpt, 4096, sectors / 8, 0, true},
      {TableScheme::kGpt, 512, 16 * kMiB / 512, 0, false},            // no room after the reserved partition
      {TableScheme::kMbr, 512, (uint64_t{3} << 40) / 512, 0, false},  // past 32-bit sector counts
      {TableScheme::kGpt, 512, (uint64_t{3} << 40) / 512, 0, true},
      {TableScheme::kMbr, 4096, (uint64_t{3} << 40) / 4096, 0, true},
      {TableScheme::kNone, 512, sectors, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << int(c.scheme) << " " << c.sectorSize << " " << c.sizeMB);
    EXPECT_EQ(PlanPartitions(c.scheme, c.sectorSize, c.sectors, c.sizeMB).has_value(), c.planned);
  }
}

TEST(GuidText, FirstThreeFieldsLittleEndian) {
  const Guid stored = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                       0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
  EXPECT_EQ(GuidText(stored), "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");
  EXPECT_EQ(stored, kGptTypeBasicData);
  EXPECT_EQ(GuidFromText("{ebd0a0a2-b9e5-4433-87c0-68b6b72699c7}"), stored);
  for (const char* bad : {"", "EBD0A0A2-B9E5-4433-87C0-68B6B72699C", "EBD0A0A2-B9E5-4433-87C0-68B6B72699CG",
                          "EBD0A0A2B9E5-4433-87C0-68B6B72699C7-"})
    EXPECT_FALSE(GuidFromText(bad).has_value()) << bad;
  EXPECT_EQ(GptTypeName(*GuidFromText("0FC63DAF-8483-4772-8E79-3D69D8477DE4")), "Linux File System Data");
  EXPECT_EQ(GptTypeName(Guid{}), "Unknow Partitaion");
}

TEST(BootSector, FileSystemAndClusterSize) {
  struct Case {
    std::string fs;
    uint32_t sectorSize, clusterBytes;
    uint8_t spcOverride;
    uint64_t expectCluster;
    uint64_t expectVolume;  // whole clusters: NTFS of its 65535 sectors, exFAT of the data area
  };
  const Case cases[] = {
      {"NTFS", 512, 4096, 0, 4096, 8191 * 4096ull},
      {"NTFS", 4096, 65536, 0, 65536, 4095 * 65536ull},
      {"NTFS", 512, 4096, 0xF8, 256 * 512, 255 * 131072ull},  // 128 KiB clusters: a negative count
      {"EXFAT", 512, 32768, 0, 32768, (65536 - 2048) / 64 * 32768ull},
      {"EXFAT", 4096, 131072, 0, 131072, (65536 - 256) / 32 * 131072ull},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fs + " " + std::to_string(c.sectorSize));
    std::vector<uint8_t> s = BootSectorFor(c.fs, c.sectorSize, 65536, c.clusterBytes);
    if (c.spcOverride) s[13] = c.spcOverride;
    BootSectorInfo info = DecodeBootSector(s.data());
    EXPECT_EQ(info.fileSystem, c.fs);
    EXPECT_EQ(info.clusterBytes, c.expectCluster);
    EXPECT_EQ(info.volumeBytes, c.expectVolume);
    EXPECT_EQ(info.ntfs, c.fs == "NTFS");
    if (info.ntfs) EXPECT_EQ(info.mftCluster, 4u);
  }
  std::vector<uint8_t> ext(512, 0);
  ext[3] = 0x01;  // no OEM text
  EXPECT_EQ(DecodeBootSector(ext.data()).fileSystem, "");
}

}  // namespace
}  // namespace kestrune::disk
