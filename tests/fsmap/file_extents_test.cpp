// The request and answer bytes of the system's extent queries (built and read by portable code),
// the volume a file path names, and cutting extents to the file size.
#include "fsmap/file_extents.h"

#include <gtest/gtest.h>

#include <array>

#include "base/bytes.h"

namespace kestrune::fsmap {
namespace {

TEST(FiemapLayout, RequestBytes) {
  const std::vector<uint8_t> r = fiemap::Request(0x1000, 0x20000, 2);
  ASSERT_EQ(r.size(), 32u + 2 * 56u);
  const std::vector<uint8_t> head = {0x00, 0x10, 0, 0, 0, 0, 0, 0,  // fm_start
                                     0x00, 0x00, 0x02, 0, 0, 0, 0, 0,  // fm_length
                                     0x01, 0, 0, 0,                 // fm_flags: FIEMAP_FLAG_SYNC
                                     0, 0, 0, 0,                    // fm_mapped_extents
                                     0x02, 0, 0, 0,                 // fm_extent_count
                                     0, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(r.begin(), r.begin() + 32), head);
}

// An answer as the kernel leaves it: extents (logical, physical, length, flags).
std::vector<uint8_t> Answer(std::vector<std::array<uint64_t, 4>> extents, uint32_t room) {
  std::vector<uint8_t> b = fiemap::Request(0, ~uint64_t{0}, room);
  base::PutLe32(&b[20], static_cast<uint32_t>(extents.size()));
  for (size_t i = 0; i < extents.size(); ++i) {
    uint8_t* e = &b[32 + i * 56];
    base::PutLe64(e, extents[i][0]);
    base::PutLe64(e + 8, extents[i][1]);
    base::PutLe64(e + 16, extents[i][2]);
    base::PutLe32(e + 40, static_cast<uint32_t>(extents[i][3]));
  }
  return b;
}

TEST(FiemapLayout, AnswerFlagsAndEnd) {
  const std::vector<uint8_t> b = Answer({{0, 0x100000, 0x2000, 0},
                                         {0x2000, 0x300000, 0x1000, fiemap::kExtentUnwritten},
                                         {0x3000, 0, 0x1000, fiemap::kExtentDelalloc | fiemap::kExtentUnknown},
                                         {0x4000, 0x7000, 0x80, fiemap::kExtentDataInline | fiemap::kExtentNotAligned |
                                                                    fiemap::kExtentLast}},
                                        4);
  const std::optional<fiemap::Answer> a = fiemap::ReadAnswer(b);
  ASSERT_TRUE(a);
  ASSERT_EQ(a->extents.size(), 4u);
  EXPECT_EQ(a->extents[0], (FileExtent{0, 0x100000, 0x2000, 0}));
  EXPECT_EQ(a->extents[1].flags, extent_flag::kUnwritten);
  EXPECT_EQ(a->extents[2].flags, extent_flag::kDelalloc);
  EXPECT_EQ(a->extents[3].flags, extent_flag::kInline | extent_flag::kUnaligned);
  EXPECT_TRUE(a->last);
  EXPECT_EQ(a->next, 0x4080u);

  const std::optional<fiemap::Answer> more = fiemap::ReadAnswer(Answer({{0, 0x1000, 0x1000, 0}}, 1));
  ASSERT_TRUE(more);
  EXPECT_FALSE(more->last);
  EXPECT_EQ(more->next, 0x1000u) << "the next request starts after the last extent";

  std::vector<uint8_t> lying = Answer({{0, 0x1000, 0x1000, 0}}, 1);
  base::PutLe32(&lying[20], 2);  // more extents mapped than the room asked for
  EXPECT_FALSE(fiemap::ReadAnswer(lying));
  EXPECT_FALSE(fiemap::ReadAnswer(std::vector<uint8_t>(31)));
}

TEST(RetrievalLayout, PointersWithAHoleAndTheirNextVcn) {
  EXPECT_EQ(retrieval::StartingVcn(0x123), (std::vector<uint8_t>{0x23, 0x01, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(retrieval::LogicalOffset(0x40000), (std::vector<uint8_t>{0, 0, 0x04, 0, 0, 0, 0, 0}));
  // ExtentCount 3, StartingVcn 16; (NextVcn, Lcn): (20, 0x100), (30, -1), (31, 0x50).
  std::vector<uint8_t> b(16 + 3 * 16);
  base::PutLe32(&b[0], 3);
  base::PutLe64(&b[8], 16);
  const int64_t pieces[3][2] = {{20, 0x100}, {30, -1}, {31, 0x50}};
  for (int i = 0; i < 3; ++i) {
    base::PutLe64(&b[16 + i * 16], static_cast<uint64_t>(pieces[i][0]));
    base::PutLe64(&b[24 + i * 16], static_cast<uint64_t>(pieces[i][1]));
  }
  const std::optional<retrieval::Pointers> p = retrieval::ReadPointers(b);
  ASSERT_TRUE(p);
  ASSERT_EQ(p->pieces.size(), 3u);
  EXPECT_EQ(p->pieces[0].vcn, 16);
  EXPECT_EQ(p->pieces[0].lcn, 0x100);
  EXPECT_EQ(p->pieces[0].clusters, 4u);
  EXPECT_EQ(p->pieces[1].lcn, -1);
  EXPECT_EQ(p->pieces[1].clusters, 10u);
  EXPECT_EQ(p->pieces[2].clusters, 1u);
  EXPECT_EQ(p->nextVcn, 31) << "where the request after ERROR_MORE_DATA starts";

  std::vector<uint8_t> backwards = b;
  base::PutLe64(&backwards[32], 19);  // the second piece ends before the first
  EXPECT_FALSE(retrieval::ReadPointers(backwards));
  std::vector<uint8_t> overlong = b;
  base::PutLe32(&overlong[0], 4);
  EXPECT_FALSE(retrieval::ReadPointers(overlong));
}

TEST(RetrievalLayout, PhysicalOffsetOfOneDiskOnly) {
  std::vector<uint8_t> b(8 + 2 * 16);
  base::PutLe32(&b[0], 1);
  base::PutLe32(&b[8], 3);
  base::PutLe64(&b[16], 0x100000);
  const auto one = retrieval::ReadPhysicalOffsets(b);
  ASSERT_TRUE(one);
  EXPECT_EQ(one->diskNumber, 3u);
  EXPECT_EQ(one->offset, 0x100000);
  base::PutLe32(&b[0], 2);
  EXPECT_FALSE(retrieval::ReadPhysicalOffsets(b)) << "a volume over two disks has no single place";
}

TEST(VolumeOfPath, ByLetterMountPointOrCurrentVolume) {
  platform::DeviceSnapshot snap;
  auto add = [&](std::string letter, std::string path) {
    platform::VolumeNode v;
    v.letter = std::move(letter);
    v.path = std::move(path);
    snap.volumes.push_back(v);
  };
  add("D:", "\\\\.\\D:");
  add("/", "/dev/sda2");
  add("/mnt/data", "/dev/sdb1");
  add("/mnt/data2", "/dev/sdc1");
  struct Case {
    std::string file;
    std::string volume;  // "" none
    std::vector<std::string> components;
  };
  for (const Case& c : std::vector<Case>{
           {"d:\\dir\\file.txt", "\\\\.\\D:", {"dir", "file.txt"}},
           {"D:\\\\dir\\.\\file.txt", "\\\\.\\D:", {"dir", "file.txt"}},
           {"E:\\file.txt", "", {}},
           {"/mnt/data/x/y.bin", "/dev/sdb1", {"x", "y.bin"}},
           {"/mnt/data2/y.bin", "/dev/sdc1", {"y.bin"}},
           {"/mnt/database/y.bin", "/dev/sda2", {"mnt", "database", "y.bin"}},
           {"\\d1\\f.txt", "\\\\.\\D:", {"d1", "f.txt"}},
           {"relative.txt", "", {}},
       }) {
    SCOPED_TRACE(c.file);
    const std::optional<VolumeOfPath> v = FindVolumeOfPath(snap, c.file, "\\\\.\\D:");
    if (c.volume.empty()) {
      EXPECT_FALSE(v);
      continue;
    }
    ASSERT_TRUE(v);
    EXPECT_EQ(v->volume.path, c.volume);
    EXPECT_EQ(v->components, c.components);
  }
}

TEST(FileExtentCut, OrdersAndCutsToTheFileSize) {
  const std::vector<FileExtent> cut = CutToSize(
      {{0x3000, 0x9000, 0x1000, 0}, {0, 0x5000, 0x2000, 0}, {0x5000, 0x1000, 0x1000, 0}, {0x2000, 0x8000, 0, 0}},
      0x3800);
  EXPECT_EQ(cut, (std::vector<FileExtent>{{0, 0x5000, 0x2000, 0}, {0x3000, 0x9000, 0x800, 0}}));
}

}  // namespace
}  // namespace kestrune::fsmap
