// The system's FileExtents on the machine the tests run on (Linux: FIEMAP): a file written here maps
// to extents that cover it, and where the disk is readable (root), the disk's bytes at the mapped
// LBA are the file's bytes.
#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "fsmap/file_extents.h"
#include "platform/system_devices.h"
#include "support/fake_host.h"
#include "disk/fake_device_tree.h"

namespace kestrune::fsmap {
namespace {

// Each extent's first bytes on the disk (read unbuffered where the disk allows it) against the file's.
// False with a reason when the disk does not open here.
bool SameBytesOnDisk(const FileMap& map, const std::vector<uint8_t>& bytes, std::string& why) {
  int disk = open(map.diskPath.c_str(), O_RDONLY | O_DIRECT);
  if (disk < 0) disk = open(map.diskPath.c_str(), O_RDONLY);
  if (disk < 0) {
    why = map.diskPath + " is not readable here (needs root)";
    return false;
  }
  void* buffer = nullptr;
  EXPECT_EQ(posix_memalign(&buffer, 4096, 8192), 0);
  for (const FileExtent& e : map.extents) {
    if (e.flags & (extent_flag::kInline | extent_flag::kDelalloc | extent_flag::kEncoded | extent_flag::kUnwritten))
      continue;
    const off_t at = static_cast<off_t>(e.diskByte / 4096 * 4096);
    EXPECT_EQ(pread(disk, buffer, 8192, at), 8192);
    const size_t skip = static_cast<size_t>(e.diskByte - static_cast<uint64_t>(at));
    const size_t n = static_cast<size_t>(std::min<uint64_t>({e.length, 8192 - skip, bytes.size() - e.fileOffset}));
    EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(buffer) + skip, bytes.data() + e.fileOffset, n), 0)
        << "extent at file offset " << e.fileOffset;
  }
  close(disk);
  std::free(buffer);
  return true;
}

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
  std::string why;
  if (!SameBytesOnDisk(map, bytes, why)) GTEST_SKIP() << why;
}

// KESTRUNE_EXTENTS_FILE names a file elsewhere (a file on an NTFS volume mounted through FUSE, on a
// loop device: FIEMAP gives nothing there and the walker reads the device).
TEST(SystemExtents, AFileNamedFromOutside) {
  const char* file = std::getenv("KESTRUNE_EXTENTS_FILE");
  if (!file) GTEST_SKIP() << "KESTRUNE_EXTENTS_FILE not set";
  std::ifstream in(file, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::unique_ptr<platform::DeviceTree> tree = platform::CreateSystemDeviceTree({});
  ASSERT_TRUE(tree);
  std::unique_ptr<FileExtents> extents = CreateSystemFileExtents(*tree);
  const FileMap map = extents->Map(file);
  ASSERT_EQ(map.code, 1) << map.why;
  EXPECT_EQ(map.fileSize, bytes.size());
  std::string why;
  EXPECT_TRUE(SameBytesOnDisk(map, bytes, why)) << why;
}

}  // namespace
}  // namespace kestrune::fsmap
#endif
