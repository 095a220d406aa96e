// The NTFS walker over a real mkntfs image (tests/fsmap/ntfs_small.img.gz, made by
// make_ntfs_image.sh): its findings against what the ntfs-3g tools reported for the same image
// (the .oracle file beside it), and its behaviour on that image with faults put into it.
//
// With KESTRUNE_NTFS_IMAGE set to a plain image made by make_ntfs_image.sh (its .oracle beside it),
// the oracle cases run on that image instead (the fsmap.oracle ctest case makes one).
#include "fsmap/ntfs_volume.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "base/bytes.h"
#include "fsmap/ntfs_layout.h"

namespace kestrune::fsmap {
namespace {

std::vector<uint8_t> ReadImage(const std::string& path) {
  std::vector<uint8_t> bytes;
  gzFile f = gzopen(path.c_str(), "rb");
  if (!f) return bytes;
  std::vector<uint8_t> chunk(1 << 20);
  for (int got; (got = gzread(f, chunk.data(), static_cast<unsigned>(chunk.size()))) > 0;)
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
  gzclose(f);
  return bytes;
}

struct OracleFile {
  std::string path;
  uint64_t id = 0;
  uint64_t size = 0;
  std::vector<fsmap::Run> runs;  // the allocated runs (the tools leave holes out)
};

std::vector<OracleFile> ReadOracle(const std::string& path) {
  std::vector<OracleFile> out;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::stringstream s(line);
    for (std::string f; std::getline(s, f, '|');) fields.push_back(f);
    if (fields.size() < 3) continue;
    OracleFile o;
    o.path = fields[0];
    o.id = std::stoull(fields[1]);
    o.size = std::stoull(fields[2]);
    std::stringstream runs(fields.size() > 3 ? fields[3] : "");
    for (std::string r; std::getline(runs, r, ';');) {
      if (r.empty()) continue;
      unsigned long long vcn = 0, lcn = 0, n = 0;
      std::sscanf(r.c_str(), "%llx,%llx,%llx", &vcn, &lcn, &n);
      o.runs.push_back({static_cast<int64_t>(vcn), static_cast<int64_t>(lcn), n});
    }
    out.push_back(o);
  }
  return out;
}

std::vector<std::string> Split(const std::string& path) {
  std::vector<std::string> parts;
  std::stringstream s(path);
  for (std::string p; std::getline(s, p, '/');) parts.push_back(p);
  return parts;
}

struct Seen {
  std::vector<std::pair<std::string, uint32_t>> lines;
  LineOut Out() {
    return [this](std::string_view t, uint32_t c) { lines.emplace_back(std::string(t), c); };
  }
  bool Has(std::string_view text, uint32_t colour) const {
    for (const auto& [t, c] : lines)
      if (t.find(text) != std::string::npos && c == colour) return true;
    return false;
  }
};

class NtfsImage : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* live = std::getenv("KESTRUNE_NTFS_IMAGE");
    imagePath = live ? live : KESTRUNE_SOURCE_DIR "/tests/fsmap/ntfs_small.img.gz";
    image = ReadImage(imagePath);
    ASSERT_GT(image.size(), 1u << 20) << imagePath;
    const std::string oraclePath =
        live ? imagePath + ".oracle" : std::string(KESTRUNE_SOURCE_DIR "/tests/fsmap/ntfs_small.img.oracle");
    oracle = ReadOracle(oraclePath);
    ASSERT_FALSE(oracle.empty()) << oraclePath;
  }

  // Opens the walker over bytes (this image unless given), at volume start LBA 0x800.
  int32_t Open(std::unique_ptr<NtfsVolume>& volume, std::vector<uint8_t>* bytes = nullptr) {
    source = std::make_unique<ByteSource>(bytes ? *bytes : image, 512);
    return NtfsVolume::Open(*source, 0x800, seen.Out(), false, volume);
  }

  const OracleFile& File(std::string_view path) const {
    for (const OracleFile& o : oracle)
      if (o.path == path) return o;
    ADD_FAILURE() << "no oracle line for " << path;
    return oracle.front();
  }

  std::string imagePath;
  std::vector<uint8_t> image;
  std::vector<OracleFile> oracle;
  std::unique_ptr<ByteSource> source;
  Seen seen;
};

TEST_F(NtfsImage, FindsEveryFileAsTheToolsDo) {
  std::unique_ptr<NtfsVolume> v;
  ASSERT_EQ(Open(v), 1);
  const uint64_t cb = v->geometry().clusterBytes;
  EXPECT_EQ(v->geometry().recordBytes, 1024u);
  for (const OracleFile& o : oracle) {
    SCOPED_TRACE(o.path);
    const std::vector<std::string> parts = Split(o.path);
    uint64_t id = 0;
    ASSERT_EQ(v->Lookup(parts, id, false), 1);
    EXPECT_EQ(id, o.id);
    Record file;
    ASSERT_EQ(v->ReadFile(id, file, false), RecordStatus::kOk);
    FileMap map;
    ASSERT_EQ(v->DataExtents(file, map), 1);
    EXPECT_EQ(map.fileSize, o.size);
    // Extents are the oracle's runs at the volume's disk offset, the last one cut to the size.
    std::vector<FileExtent> expected;
    for (const fsmap::Run& r : o.runs) {
      expected.push_back({static_cast<uint64_t>(r.vcn) * cb, 0x800 * 512 + static_cast<uint64_t>(r.lcn) * cb,
                          r.clusters * cb, 0});
    }
    expected = CutToSize(expected, o.size);
    if (o.runs.empty() && o.size != 0) {
      ASSERT_EQ(map.extents.size(), 1u);
      EXPECT_EQ(map.extents[0].flags, extent_flag::kResident);
      EXPECT_EQ(map.extents[0].length, o.size);
    } else {
      EXPECT_EQ(map.extents, expected);
    }
    std::string path;
    EXPECT_EQ(v->PathOf(id, path, false), 1);
    // The folders as the oracle names them, then any of the file's names (a file with hard links has
    // several, each as good as the other).
    std::string windows = "\\" + o.path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    const std::string folder = windows.substr(0, windows.rfind('\\') + 1);
    ASSERT_EQ(path.substr(0, folder.size()), folder);
    bool named = false;
    for (const Attribute& a : file.attributes) {
      if (a.type != ntfs::kFileName) continue;
      const std::optional<NameOf> n = FileNameValue(a.value);
      named = named || (n && folder + n->name == path);
    }
    EXPECT_TRUE(named) << path;
    if (file.Find(ntfs::kAttributeList) == nullptr) EXPECT_EQ(path, windows);
    // Each run's first and last sectors belong to this file's $DATA.
    for (const fsmap::Run& r : o.runs) {
      for (uint64_t sector : {static_cast<uint64_t>(r.lcn) * (cb / 512), (static_cast<uint64_t>(r.lcn) + r.clusters) * (cb / 512) - 1}) {
        std::vector<Owner> owners;
        ASSERT_EQ(v->FindOwners(sector, 1, true, owners), 1);
        ASSERT_EQ(owners.size(), 1u);
        EXPECT_EQ(owners[0].mftId, o.id);
        EXPECT_EQ(owners[0].type, ntfs::kData);
        EXPECT_FALSE(owners[0].mftArea);
      }
    }
  }
}

TEST_F(NtfsImage, ResidentDataLiesInItsRecord) {
  std::unique_ptr<NtfsVolume> v;
  ASSERT_EQ(Open(v), 1);
  const OracleFile& small = File("small.txt");
  Record file;
  ASSERT_EQ(v->ReadFile(small.id, file, false), RecordStatus::kOk);
  FileMap map;
  ASSERT_EQ(v->DataExtents(file, map), 1);
  ASSERT_EQ(map.extents.size(), 1u);
  const uint64_t at = map.extents[0].diskByte - 0x800 * 512;
  const std::string text = "resident bytes of a small file\r\n";
  EXPECT_EQ(std::string(image.begin() + static_cast<ptrdiff_t>(at), image.begin() + static_cast<ptrdiff_t>(at + text.size())),
            text);
  // The sector holding it is in the MFT's own area, owned by the file's record.
  std::vector<Owner> owners;
  ASSERT_EQ(v->FindOwners(at / 512, 1, true, owners), 1);
  ASSERT_EQ(owners.size(), 1u);
  EXPECT_TRUE(owners[0].mftArea);
  EXPECT_EQ(owners[0].mftId, small.id);
}

TEST_F(NtfsImage, RangeOwnersCoverTheRangeInOrder) {
  std::unique_ptr<NtfsVolume> v;
  ASSERT_EQ(Open(v), 1);
  const OracleFile& frag = File("frag.bin");
  if (frag.runs.size() < 3) GTEST_SKIP() << "frag.bin came out in " << frag.runs.size() << " run(s) on this image";
  // From frag.bin's first cluster through its third: its runs and whatever lies between them.
  const uint64_t perCluster = v->geometry().clusterBytes / 512;
  const uint64_t first = static_cast<uint64_t>(frag.runs[0].lcn) * perCluster;
  const uint64_t last = (static_cast<uint64_t>(frag.runs[2].lcn) + frag.runs[2].clusters) * perCluster - 1;
  std::vector<Owner> owners;
  ASSERT_EQ(v->FindOwners(first, last - first + 1, false, owners), 1);
  ASSERT_FALSE(owners.empty());
  int fragPieces = 0;
  uint64_t next = first;
  for (const Owner& o : owners) {
    EXPECT_GE(o.firstSector, next);
    EXPECT_LE(o.lastSector, last);
    next = o.lastSector + 1;
    if (o.mftId == frag.id) ++fragPieces;
  }
  EXPECT_EQ(fragPieces, 3);
}

TEST_F(NtfsImage, AttributeListJoinsTheExtensionRecords) {
  std::unique_ptr<NtfsVolume> v;
  ASSERT_EQ(Open(v), 1);
  const OracleFile* target = nullptr;
  for (const OracleFile& o : oracle)
    if (o.path == "links/target.bin") target = &o;
  if (!target) GTEST_SKIP() << "the image was made without a FUSE mount: no file with an $ATTRIBUTE_LIST";
  Record file;
  ASSERT_EQ(v->ReadFile(target->id, file, false), RecordStatus::kOk);
  ASSERT_NE(file.Find(ntfs::kAttributeList), nullptr);
  int names = 0;
  bool fromExtension = false;
  for (const Attribute& a : file.attributes) {
    if (a.type != ntfs::kFileName) continue;
    ++names;
    fromExtension = fromExtension || a.recordId != target->id;
  }
  EXPECT_EQ(names, 25);
  EXPECT_TRUE(fromExtension);
  // An extension record on its own maps to its base record.
  for (const Attribute& a : file.attributes) {
    if (a.recordId == target->id) continue;
    Record extension;
    ASSERT_EQ(v->ReadRecord(a.recordId, extension, false), RecordStatus::kOk);
    EXPECT_EQ(extension.baseId, target->id);
    std::string path;
    EXPECT_EQ(v->PathOf(a.recordId, path, false), 1);
    EXPECT_EQ(path.substr(0, 7), "\\links\\");
    break;
  }
}

// Faults put into a copy of the image, each with what the walk must say.
class NtfsFaults : public NtfsImage {
 protected:
  // The byte offset in the image of a file's record and of its first attribute of type.
  void Locate(std::string_view path, uint32_t type, uint64_t& recordByte, uint32_t& attribute, uint32_t& value) {
    std::unique_ptr<NtfsVolume> v;
    ASSERT_EQ(Open(v), 1);
    Record r;
    ASSERT_EQ(v->ReadFile(File(path).id, r, false), RecordStatus::kOk);
    recordByte = r.volumeByte;
    const Attribute* a = r.Find(type);
    ASSERT_NE(a, nullptr);
    attribute = a->offset;
    value = a->nonResident ? 0 : a->valueOffset;
  }
};

TEST_F(NtfsFaults, ImpossibleGeometryIsInvalidData) {
  struct Case {
    const char* what;
    size_t offset;
    uint8_t byte;
  };
  for (const Case& c : std::vector<Case>{{"record size byte 0", 0x40, 0x00},
                                         {"record size of 64 bytes", 0x40, 0xFA},
                                         {"three sectors a cluster", 0x0D, 0x03},
                                         {"bytes per sector 0x300", 0x0C, 0x03},
                                         {"MFT past the volume", 0x35, 0x10},
                                         {"volume larger than its source", 0x2D, 0x01}}) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bad = image;
    bad[c.offset] = c.byte;
    std::unique_ptr<NtfsVolume> v;
    seen.lines.clear();
    EXPECT_EQ(Open(v, &bad), -90);
    EXPECT_TRUE(seen.Has("NTFS Geometry Error", line_colour::kRed));
  }
  std::vector<uint8_t> unsigned_ = image;
  std::memcpy(&unsigned_[3], "MSDOS5.0", 8);
  std::unique_ptr<NtfsVolume> v;
  EXPECT_EQ(Open(v, &unsigned_), 1) << "a wrong OEM name is said and the walk goes on";
  EXPECT_TRUE(seen.Has("NTFS Signature Error", line_colour::kRed));
}

TEST_F(NtfsFaults, BadRecordsSayWhyAndStop) {
  uint64_t record = 0;
  uint32_t attribute = 0, value = 0;
  Locate("small.txt", ntfs::kStandardInformation, record, attribute, value);
  const uint64_t id = File("small.txt").id;
  struct Case {
    const char* what;
    size_t offset;  // in the record
    std::vector<uint8_t> bytes;
    RecordStatus status;
    const char* line;
  };
  const std::vector<Case> cases = {
      {"attribute length 0", attribute + 4, {0, 0, 0, 0}, RecordStatus::kBadAttribute, "attribute length 0x0"},
      {"attribute length past the record", attribute + 4, {0x00, 0x10, 0, 0}, RecordStatus::kBadAttribute,
       "attribute length"},
      {"value past its attribute", attribute + 0x10, {0xFF, 0x0F, 0, 0}, RecordStatus::kBadAttribute, "resident value"},
      {"first attribute out of place", 0x14, {0x04, 0x00}, RecordStatus::kBadAttribute, "first attribute"},
      {"torn second sector", 1022, {0x77, 0x77}, RecordStatus::kBadFixup, "Sector 1 CheckWORD  Error"},
      {"no signature", 0, {'B', 'A', 'A', 'D'}, RecordStatus::kNoSignature, "MFT Signature Error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bad = image;
    std::copy(c.bytes.begin(), c.bytes.end(), bad.begin() + static_cast<ptrdiff_t>(record + c.offset));
    std::unique_ptr<NtfsVolume> v;
    ASSERT_EQ(Open(v, &bad), 1);
    seen.lines.clear();
    Record r;
    EXPECT_EQ(v->ReadRecord(id, r, false), c.status);
    EXPECT_TRUE(seen.Has(c.line, line_colour::kRed)) << (seen.lines.empty() ? "" : seen.lines[0].first);
    // The search passes the damaged record over and still finds the other files.
    const OracleFile& frag = File("frag.bin");
    std::vector<Owner> owners;
    ASSERT_EQ(v->FindOwners(static_cast<uint64_t>(frag.runs[0].lcn) * 8, 1, true, owners), 1);
    ASSERT_EQ(owners.size(), 1u);
    EXPECT_EQ(owners[0].mftId, frag.id);
  }
}

TEST_F(NtfsFaults, FreeRecordsAreSkipped) {
  uint64_t record = 0;
  uint32_t attribute = 0, value = 0;
  Locate("frag.bin", ntfs::kData, record, attribute, value);
  std::vector<uint8_t> bad = image;
  bad[record + ntfs::FileRecordSegmentHeader::kFlags] &= static_cast<uint8_t>(~ntfs::kFileRecordSegmentInUse);
  std::unique_ptr<NtfsVolume> v;
  ASSERT_EQ(Open(v, &bad), 1);
  Record r;
  EXPECT_EQ(v->ReadRecord(File("frag.bin").id, r, false), RecordStatus::kFree);
  std::vector<Owner> owners;
  ASSERT_EQ(v->FindOwners(static_cast<uint64_t>(File("frag.bin").runs[0].lcn) * 8, 1, true, owners), 1);
  EXPECT_TRUE(owners.empty()) << "a deleted file's clusters belong to nobody";
}

TEST_F(NtfsFaults, ParentLoopIsInvalidData) {
  const OracleFile& deep = File("d1/d2/d3/d4/d5/d6/d7/d8/deep.txt");
  std::unique_ptr<NtfsVolume> v;
  ASSERT_EQ(Open(v), 1);
  uint64_t d1 = 0, d8 = 0;
  ASSERT_EQ(v->Lookup(std::vector<std::string>{"d1"}, d1, false), 1);
  ASSERT_EQ(v->Lookup(Split("d1/d2/d3/d4/d5/d6/d7/d8"), d8, false), 1);
  Record folder;
  ASSERT_EQ(v->ReadFile(d1, folder, false), RecordStatus::kOk);
  const Attribute* name = folder.Find(ntfs::kFileName);
  ASSERT_NE(name, nullptr);
  // d1's parent becomes d8: the chain from deep.txt goes round for ever.
  std::vector<uint8_t> bad = image;
  base::PutLe64(&bad[folder.volumeByte + name->valueOffset], d8);
  std::unique_ptr<NtfsVolume> looped;
  ASSERT_EQ(Open(looped, &bad), 1);
  std::string path;
  EXPECT_EQ(looped->PathOf(deep.id, path, false), -90);
  EXPECT_TRUE(seen.Has("Parent Chain Loop", line_colour::kRed));
}

TEST_F(NtfsFaults, BrokenRunListStopsThatRecord) {
  uint64_t record = 0;
  uint32_t attribute = 0, value = 0;
  Locate("frag.bin", ntfs::kData, record, attribute, value);
  const size_t pairs = base::GetLe16(&image[record + attribute + ntfs::AttributeRecordHeader::kMappingPairsOffset]);
  struct Case {
    const char* what;
    size_t at;  // from the mapping pairs
    uint8_t byte;
    const char* line;
  };
  const uint8_t header = image[record + attribute + pairs];
  const size_t offsetTop = (header & 0x0F) + (header >> 4);  // the first run's offset, its top byte
  for (const Case& c : std::vector<Case>{{"fields past the attribute", 0, 0x88, "run list"},
                                         {"run starting before the volume", offsetTop, 0x80, "before the volume"},
                                         {"length 0", 1, 0x00, "no clusters"}}) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bad = image;
    bad[record + attribute + pairs + c.at] = c.byte;
    std::unique_ptr<NtfsVolume> v;
    ASSERT_EQ(Open(v, &bad), 1);
    seen.lines.clear();
    Record r;
    EXPECT_EQ(v->ReadRecord(File("frag.bin").id, r, false), RecordStatus::kBadAttribute);
    EXPECT_TRUE(seen.Has(c.line, line_colour::kRed)) << (seen.lines.empty() ? "" : seen.lines[0].first);
  }
}

TEST(NtfsGeometry, ReadsTheBootSectorsSizes) {
  struct Case {
    uint16_t bytesPerSector;
    uint8_t sectorsPerCluster;
    uint8_t recordByte;
    uint32_t cluster;
    uint32_t record;
  };
  for (const Case& c : std::vector<Case>{{512, 8, 0xF6, 4096, 1024},
                                         {512, 1, 0x02, 512, 1024},
                                         {4096, 1, 0xF4, 4096, 4096},
                                         {512, 0x80, 0xF6, 65536, 1024},
                                         {512, 0xF7, 0xF6, 512 * 512, 1024}}) {
    std::vector<uint8_t> boot(512);
    std::memcpy(&boot[3], "NTFS    ", 8);
    base::PutLe16(&boot[0x0B], c.bytesPerSector);
    boot[0x0D] = c.sectorsPerCluster;
    base::PutLe64(&boot[0x28], uint64_t{1} << 20);
    base::PutLe64(&boot[0x30], 4);
    boot[0x40] = c.recordByte;
    boot[0x44] = 0xF4;
    std::string why;
    const std::optional<Geometry> g = GeometryOf(boot, uint64_t{1} << 40, why);
    ASSERT_TRUE(g) << why;
    EXPECT_EQ(g->clusterBytes, c.cluster);
    EXPECT_EQ(g->recordBytes, c.record);
  }
}

}  // namespace
}  // namespace kestrune::fsmap
