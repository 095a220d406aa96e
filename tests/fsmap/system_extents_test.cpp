// The system's FileExtents on the machine the tests run on (Linux: FIEMAP): a file written here maps
// to extents that cover it, and where the disk is readable (root), the disk's bytes at the mapped
// LBA are the file's bytes.
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "fsmap/file_extents.h"
#include "support/fake_host.h"
#include "disk/fake_device_tree.h"

namespace kestrune::fsmap {
namespace {

TEST(SystemExtents, AWrittenFileMapsToItsBytesOnTheDisk) {
  kestrune::testing::TempDir dir;
  const std::string path = dir.path() + "/mapped.bin";
  std::vector<uint8_t> bytes(3 * 4096 + 100);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  {
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    fsync(fd);
    close(fd);
  }
  disk::testing::FakeDeviceTree tree;
  std::unique_ptr<FileExtents> extents = CreateSystemFileExtents(tree);
  ASSERT_TRUE(extents);
  EXPECT_EQ(extents->Map(dir.path() + "/none.bin").code, -11);

  const FileMap map = extents->Map(path);
  if (map.code == -79) GTEST_SKIP() << "this file system gives no disk offsets: " << map.why;
  ASSERT_EQ(map.code, 1) << map.why;
  EXPECT_EQ(map.fileSize, bytes.size());
  ASSERT_FALSE(map.extents.empty());
  uint64_t covered = 0;
  for (const FileExtent& e : map.extents) {
    EXPECT_EQ(e.fileOffset, covered) << "no holes in a file written from start to end";
    covered += e.length;
  }
  EXPECT_EQ(covered, bytes.size());
  if (map.extents[0].flags & (extent_flag::kInline | extent_flag::kDelalloc | extent_flag::kEncoded)) return;

  // The disk's own bytes at the first extent (unbuffered, so not a cached copy).
  const int disk = open(map.diskPath.c_str(), O_RDONLY | O_DIRECT);
  if (disk < 0) GTEST_SKIP() << map.diskPath << " is not readable here (needs root)";
  void* buffer = nullptr;
  ASSERT_EQ(posix_memalign(&buffer, 4096, 4096), 0);
  const off_t at = static_cast<off_t>(map.extents[0].diskByte / map.sectorSize * map.sectorSize);
  const ssize_t got = pread(disk, buffer, 4096, at);
  close(disk);
  ASSERT_EQ(got, 4096);
  const size_t skip = static_cast<size_t>(map.extents[0].diskByte - static_cast<uint64_t>(at));
  EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(buffer) + skip, bytes.data(), 4096 - skip), 0);
  std::free(buffer);
}

}  // namespace
}  // namespace kestrune::fsmap
#endif
