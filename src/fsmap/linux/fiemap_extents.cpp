// FileExtents on Linux: FIEMAP on the open file (FIEMAP_FLAG_SYNC, so delayed allocations get their
// place first). fe_physical counts from the start of the partition; sysfs gives that start in
// 512-byte units whatever the disk's sector size, so a disk byte is start × 512 + fe_physical.
// File systems without FIEMAP (an NTFS volume mounted through FUSE) are walked from their device.
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/completion_codes.h"
#include "base/text.h"
#include "fsmap/file_extents.h"

namespace kestrune::fsmap {
namespace {

namespace code = base::code;
namespace fs = std::filesystem;

static_assert(sizeof(struct fiemap) == fiemap::kHeaderBytes);
static_assert(sizeof(struct fiemap_extent) == fiemap::kExtentBytes);

constexpr long kBtrfsMagic = 0x9123683E;
constexpr uint32_t kExtentsPerRequest = 256;
constexpr int kMaxRequests = 65536;

std::string ReadLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// The block device a file lives on: its node (/sys/dev/block/M:m resolved), the whole disk above
// it and the partition's start.
struct BlockPlace {
  bool found = false;
  bool mapped = false;       // device-mapper or MD RAID: the offsets are not the disk's
  std::string diskPath;      // "/dev/sdb"
  uint64_t start512 = 0;     // the partition's start in 512-byte units
  uint32_t sectorSize = 512;
};

BlockPlace PlaceOf(dev_t dev) {
  BlockPlace place;
  std::error_code ec;
  const fs::path node = fs::canonical(base::Format("/sys/dev/block/%u:%u", major(dev), minor(dev)), ec);
  if (ec) return place;
  place.found = true;
  if (fs::exists(node / "dm", ec) || fs::exists(node / "md", ec)) {
    place.mapped = true;
    return place;
  }
  fs::path diskNode = node;
  if (fs::exists(node / "partition", ec)) {
    diskNode = node.parent_path();
    place.start512 = std::strtoull(ReadLine(node / "start").c_str(), nullptr, 10);
  }
  place.diskPath = "/dev/" + diskNode.filename().string();
  const uint32_t size = static_cast<uint32_t>(std::strtoul(ReadLine(diskNode / "queue/logical_block_size").c_str(), nullptr, 10));
  if (size != 0) place.sectorSize = size;
  return place;
}

// The device and mount point of the mount that holds a file (from /proc/self/mountinfo, by the
// file's device number), for file systems whose device number is not a block device (FUSE).
bool MountOf(const std::string& file, dev_t dev, std::string& source, std::string& mountPoint) {
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  size_t best = 0;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, majmin, root, point;
    fields >> id >> parent >> majmin >> root >> point;
    if (majmin != base::Format("%u:%u", major(dev), minor(dev))) continue;
    const size_t dash = line.find(" - ");
    if (dash == std::string::npos) continue;
    std::istringstream tail(line.substr(dash + 3));
    std::string type, src;
    tail >> type >> src;
    if (file.compare(0, point.size(), point) != 0 || point.size() < best) continue;
    best = point.size();
    source = src;
    mountPoint = point;
  }
  return best != 0;
}

class FiemapExtents final : public FileExtents {
 public:
  explicit FiemapExtents(platform::DeviceTree& tree) : tree_(tree) {}

  FileMap Map(const std::string& file) override {
    FileMap map;
    Fd fd(open(file.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
      map.code = code::kFileOpenFailed;
      map.why = file;
      return map;
    }
    map.fileSize = static_cast<uint64_t>(st.st_size);
    struct statfs sfs {};
    if (fstatfs(fd.get(), &sfs) == 0 && static_cast<long>(sfs.f_type) == kBtrfsMagic) {
      map.code = code::kNotSupported;
      map.why = "btrfs places a file's bytes on its own devices, not at one disk offset";
      return map;
    }
    const BlockPlace place = PlaceOf(st.st_dev);
    if (place.mapped) {
      map.code = code::kNotSupported;
      map.why = "the file system lies on a device-mapper or MD RAID device";
      return map;
    }
    std::vector<FileExtent> extents;
    uint64_t start = 0;
    for (int request = 0;; ++request) {
      if (request == kMaxRequests) {
        map.code = code::kIoControlError;
        map.why = "FIEMAP gives no end";
        return map;
      }
      std::vector<uint8_t> buffer = fiemap::Request(start, FIEMAP_MAX_OFFSET - start, kExtentsPerRequest);
      if (ioctl(fd.get(), FS_IOC_FIEMAP, buffer.data()) != 0) {
        if ((errno == EOPNOTSUPP || errno == ENOTTY || errno == EINVAL) && request == 0) return Walk(file, st, map);
        map.code = code::kIoControlError;
        map.why = base::Format("FIEMAP failed (errno %d)", errno);
        return map;
      }
      std::optional<fiemap::Answer> answer = fiemap::ReadAnswer(buffer);
      if (!answer) {
        map.code = code::kIoControlError;
        map.why = "FIEMAP answer does not fit its buffer";
        return map;
      }
      if (!place.found && !answer->extents.empty()) return Walk(file, st, map);
      for (FileExtent& e : answer->extents) {
        if (!(e.flags & extent_flag::kDelalloc)) e.diskByte += place.start512 * 512;
        extents.push_back(e);
      }
      if (answer->last || answer->extents.empty() || answer->next <= start) break;
      start = answer->next;
    }
    map.extents = CutToSize(std::move(extents), map.fileSize);
    map.diskPath = place.diskPath;
    map.sectorSize = place.sectorSize;
    return map;
  }

 private:
  // No FIEMAP: walk the volume the mount reads from, when it is an NTFS volume.
  FileMap Walk(const std::string& file, const struct stat& st, FileMap& map) {
    std::string source, point;
    std::error_code ec;
    const std::string full = fs::canonical(file, ec).string();
    if (ec || !MountOf(full, st.st_dev, source, point)) {
      map.code = code::kNotSupported;
      map.why = "the file system gives no extents and its device is unknown";
      return map;
    }
    struct stat devStat {};
    if (stat(source.c_str(), &devStat) != 0 || !S_ISBLK(devStat.st_mode)) {
      map.code = code::kNotSupported;
      map.why = "the file system gives no extents and is not on a block device";
      return map;
    }
    const BlockPlace place = PlaceOf(devStat.st_rdev);
    if (!place.found || place.mapped) {
      map.code = code::kNotSupported;
      map.why = "the file system's device is not a disk partition";
      return map;
    }
    platform::VolumeNode volume;
    volume.path = source;
    volume.letter = point;
    volume.partitionOffset = place.start512 * 512;
    Fd dev(open(source.c_str(), O_RDONLY | O_CLOEXEC));
    uint64_t bytes = 0;
    if (dev.get() < 0 || ioctl(dev.get(), BLKGETSIZE64, &bytes) != 0) {
      map.code = code::kOpenDiskFailed;
      map.why = source;
      return map;
    }
    volume.totalBytes = bytes;
    std::vector<std::string> components;
    std::string part;
    for (char c : full.substr(point.size())) {
      if (c == '/') {
        if (!part.empty()) components.push_back(part);
        part.clear();
      } else {
        part += c;
      }
    }
    if (!part.empty()) components.push_back(part);
    FileMap walked = WalkToFile(tree_, volume, place.sectorSize, components);
    walked.diskPath = place.diskPath;
    walked.sectorSize = place.sectorSize;
    return walked;
  }

  platform::DeviceTree& tree_;
};

}  // namespace

std::unique_ptr<FileExtents> CreateSystemFileExtents(platform::DeviceTree& tree) {
  return std::make_unique<FiemapExtents>(tree);
}

}  // namespace kestrune::fsmap
