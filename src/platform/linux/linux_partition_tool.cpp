// The Linux partition tool: the partitions of a whole disk changed through libfdisk on our own
// exclusive (O_EXCL) descriptor, the kernel told to re-read them (BLKRRPART), the new nodes waited
// for, each partition formatted by its mkfs program started from an argument vector (never a shell)
// and mounted below /mnt/kestrune, which stands for the drive letter. Clean unmounts every mount of
// the disk (never lazily), wipes the MBR and both GPTs and has the table re-read.
#include <fcntl.h>
#include <libfdisk.h>
#include <linux/blkpg.h>
#include <linux/fs.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/linux_device_tree.h"
#include "platform/linux/mount_table.h"
#include "platform/partition_tool.h"

extern char** environ;

namespace kestrune::platform::linux_dev {
namespace {

constexpr int32_t kOpenFailed = -1;
constexpr int32_t kToolFailed = -7;
constexpr int32_t kFormatFailed = -23;
constexpr int32_t kNotAvailable = -79;
constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kGptArrayBytes = 128 * 128;
constexpr const char* kMountRoot = "/mnt/kestrune";
constexpr auto kNodeWait = std::chrono::seconds(10);
constexpr const char* kProgramFolders[] = {"/usr/sbin", "/sbin", "/usr/bin", "/bin"};

std::string ErrnoText(int e) { return std::strerror(e); }

std::string LastName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The node of partition n (1-based) of a disk: "sdb1", "nvme0n1p1", "loop0p1".
std::string PartitionName(const std::string& disk, size_t n) {
  const bool digit = !disk.empty() && disk.back() >= '0' && disk.back() <= '9';
  return disk + (digit ? "p" : "") + std::to_string(n);
}

// Whether name is disk itself or one of its partitions ("loop1p2" of "loop1", not "loop10").
bool OnDisk(const std::string& name, const std::string& disk) {
  if (name == disk) return true;
  if (name.size() <= disk.size() || name.compare(0, disk.size(), disk) != 0) return false;
  std::string rest = name.substr(disk.size());
  const bool digit = !disk.empty() && disk.back() >= '0' && disk.back() <= '9';
  if (digit) {
    if (rest[0] != 'p') return false;
    rest.erase(0, 1);
  }
  return !rest.empty() && rest.find_first_not_of("0123456789") == std::string::npos;
}

std::string FindProgram(const char* name) {
  for (const char* folder : kProgramFolders) {
    const std::string path = std::string(folder) + "/" + name;
    if (::access(path.c_str(), X_OK) == 0) return path;
  }
  return "";
}

// Runs program with args (argument 0 first), its output to /dev/null; the exit code, or -1 when it
// did not start, 128 + the signal when one ended it.
int RunQuietly(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

struct Extent {
  uint64_t start = 0;  // bytes
  uint64_t length = 0;
};

// Tells the kernel about a partition (pno 1-based) or takes one away, as partx does: for kernels
// that do not scan this disk's table on BLKRRPART (loop devices without partition scanning).
bool PartitionIoctl(int fd, int op, int pno, const Extent& e) {
  struct blkpg_partition part {};
  part.start = static_cast<long long>(e.start);
  part.length = static_cast<long long>(e.length);
  part.pno = pno;
  struct blkpg_ioctl_arg arg {};
  arg.op = op;
  arg.datalen = sizeof(part);
  arg.data = &part;
  return ::ioctl(fd, BLKPG, &arg) == 0;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

class LibfdiskTool final : public PartitionTool {
 public:
  explicit LibfdiskTool(const SysRoot& sys) : sys_(sys) {}

  bool Supports(PartitionFileSystem) const override { return true; }

  PartitionOutcome Run(const PartitionRequest& request, const std::atomic<bool>*) override {
    const std::string node = sys_.Resolve(request.targetPath);
    if (node.empty()) return {kOpenFailed, request.targetPath, ""};
    const std::string disk = LastName(node);
    const std::string local = sys_.Local(node);

    std::string why = UnmountAll(disk);
    if (!why.empty()) return {kToolFailed, why, ""};
    Fd fd(::open(local.c_str(), O_RDWR | O_EXCL | O_CLOEXEC));
    if (fd.get() < 0) return {errno == EBUSY ? kToolFailed : kOpenFailed, node + ": " + ErrnoText(errno), ""};
    uint32_t sectorSize = 0;
    uint64_t bytes = 0;
    if (::ioctl(fd.get(), BLKSSZGET, &sectorSize) != 0 || ::ioctl(fd.get(), BLKGETSIZE64, &bytes) != 0 ||
        sectorSize == 0)
      return {kToolFailed, node + ": no geometry", ""};
    std::vector<Extent> extents;
    why = Wipe(fd.get(), sectorSize, bytes);
    if (why.empty() && request.operation != PartitionOperation::kClean)
      why = WriteTable(fd.get(), node, request, extents);
    if (!why.empty()) return {kToolFailed, why, ""};
    ::fsync(fd.get());
    if (::ioctl(fd.get(), BLKRRPART) != 0)
      return {kToolFailed, node + ": BLKRRPART: " + ErrnoText(errno), ""};
    // Where the kernel did not re-read the table, it is told the partitions one by one.
    for (const std::string& old : sys_.Entries("/sys/block/" + disk)) {
      if (!OnDisk(old, disk) || old == disk) continue;
      const std::optional<uint64_t> pno = sys_.Number("/sys/block/" + disk + "/" + old + "/partition");
      if (pno) PartitionIoctl(fd.get(), BLKPG_DEL_PARTITION, static_cast<int>(*pno), {});
    }
    std::vector<std::string> parts;
    for (size_t i = 0; i < extents.size(); ++i) {
      parts.push_back(PartitionName(disk, i + 1));
      if (!sys_.Exists("/sys/block/" + disk + "/" + parts.back()))
        PartitionIoctl(fd.get(), BLKPG_ADD_PARTITION, static_cast<int>(i + 1), extents[i]);
    }
    fd.Close();  // the formatters open the partitions themselves
    if (request.operation == PartitionOperation::kClean) return {1, "", node};
    if (!WaitForNodes(parts)) return {kToolFailed, "the partition nodes of " + node + " did not appear", ""};
    for (size_t i = 0; i < parts.size(); ++i) {
      const std::string label = i < request.labels.size() ? request.labels[i] : "";
      PartitionOutcome formatted = Format(request.fileSystem, "/dev/" + parts[i], label);
      if (formatted.code != 1) return formatted;
      PartitionOutcome mounted = Mount(parts[i], request.fileSystem);
      if (mounted.code != 1) return mounted;
    }
    return {1, "", "/dev/" + parts[0]};
  }

 private:
  // Unmounts every mount of the disk and its partitions; what failed, else "".
  std::string UnmountAll(const std::string& disk) {
    for (int round = 0; round < 8; ++round) {
      bool any = false;
      for (const MountEntry& m : ParseMountInfo(sys_.Text("/proc/self/mountinfo").value_or(""))) {
        const std::string source = LastName(m.source);
        if (m.source.rfind("/dev/", 0) != 0 || !OnDisk(source, disk)) continue;
        if (::umount(sys_.Local(m.mountPoint).c_str()) != 0)
          return "cannot unmount " + m.mountPoint + ": " + ErrnoText(errno);
        if (m.mountPoint.rfind(std::string(kMountRoot) + "/", 0) == 0) ::rmdir(m.mountPoint.c_str());
        any = true;
      }
      if (!any) return "";
    }
    return "mounts of " + disk + " keep coming back";
  }

  // Zeros over the MBR, the primary GPT header and array and the backup array and header.
  static std::string Wipe(int fd, uint32_t sectorSize, uint64_t bytes) {
    const uint64_t array = (kGptArrayBytes + sectorSize - 1) / sectorSize;
    const uint64_t head = (2 + array) * sectorSize;
    const uint64_t tail = (1 + array) * sectorSize;
    if (bytes < head + tail) return "the disk is too small";
    const std::vector<uint8_t> zeros(head, 0);
    if (::pwrite(fd, zeros.data(), head, 0) != static_cast<ssize_t>(head) ||
        ::pwrite(fd, zeros.data(), tail, static_cast<off_t>(bytes - tail)) != static_cast<ssize_t>(tail))
      return "cannot wipe the partition tables: " + ErrnoText(errno);
    return "";
  }

  // Writes the new table; extents receives its partitions.
  static std::string WriteTable(int fd, const std::string& node, const PartitionRequest& request,
                                std::vector<Extent>& extents) {
    const bool gpt = request.operation == PartitionOperation::kCreateGpt;
    const bool ext4 = request.fileSystem == PartitionFileSystem::kExt4;
    struct fdisk_context* cxt = fdisk_new_context();
    if (!cxt) return "libfdisk: no context";
    std::string why;
    if (fdisk_assign_device_by_fd(cxt, fd, node.c_str(), 0) != 0) why = "libfdisk cannot use " + node;
    fdisk_disable_dialogs(cxt, 1);
    if (why.empty() && fdisk_create_disklabel(cxt, gpt ? "gpt" : "dos") != 0)
      why = "libfdisk cannot make the label";
    const unsigned long sectorSize = why.empty() ? fdisk_get_sector_size(cxt) : 0;
    const char* type =
        gpt ? (ext4 ? "0FC63DAF-8483-4772-8E79-3D69D8477DE4" : "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7")
            : (ext4 ? "83" : "7");
    const size_t count = request.sizeMB == 0 ? 1 : 2;
    for (size_t i = 0; why.empty() && i < count; ++i) {
      struct fdisk_partition* pa = fdisk_new_partition();
      struct fdisk_parttype* t = fdisk_label_parse_parttype(fdisk_get_label(cxt, nullptr), type);
      fdisk_partition_set_partno(pa, i);
      fdisk_partition_start_follow_default(pa, 1);
      if (i == 0 && request.sizeMB != 0) {
        fdisk_partition_set_size(pa, static_cast<uint64_t>(request.sizeMB) * kMiB / sectorSize);
      } else {
        fdisk_partition_end_follow_default(pa, 1);
      }
      if (t) fdisk_partition_set_type(pa, t);
      if (!t || fdisk_add_partition(cxt, pa, nullptr) != 0)
        why = "libfdisk cannot add partition " + std::to_string(i + 1);
      if (t) fdisk_unref_parttype(t);
      fdisk_unref_partition(pa);
    }
    if (why.empty() && fdisk_write_disklabel(cxt) != 0) why = "libfdisk cannot write the table";
    for (size_t i = 0; why.empty() && i < count; ++i) {
      struct fdisk_partition* pa = nullptr;
      if (fdisk_get_partition(cxt, i, &pa) != 0 || !pa) {
        why = "libfdisk lost partition " + std::to_string(i + 1);
        break;
      }
      extents.push_back(
          {fdisk_partition_get_start(pa) * sectorSize, fdisk_partition_get_size(pa) * sectorSize});
      fdisk_unref_partition(pa);
    }
    fdisk_deassign_device(cxt, 1);  // our descriptor stays open; we sync and re-read ourselves
    fdisk_unref_context(cxt);
    return why;
  }

  bool WaitForNodes(const std::vector<std::string>& parts) {
    const auto until = std::chrono::steady_clock::now() + kNodeWait;
    for (;;) {
      bool all = true;
      for (const std::string& p : parts) {
        struct stat st {};
        all = all && ::stat(sys_.Local("/dev/" + p).c_str(), &st) == 0 && S_ISBLK(st.st_mode);
      }
      if (all) return true;
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }

  static PartitionOutcome Format(PartitionFileSystem fs, const std::string& node, const std::string& label) {
    const char* name = fs == PartitionFileSystem::kNtfs    ? "mkfs.ntfs"
                       : fs == PartitionFileSystem::kExfat ? "mkfs.exfat"
                                                           : "mkfs.ext4";
    const std::string program = FindProgram(name);
    if (program.empty()) return {kNotAvailable, std::string(name) + " is not installed", ""};
    std::vector<std::string> args{name};
    if (fs == PartitionFileSystem::kNtfs) args.insert(args.end(), {"--quick", "--quiet"});
    if (fs == PartitionFileSystem::kExt4) args.push_back("-q");
    if (!label.empty()) args.insert(args.end(), {"-L", label});
    args.push_back(node);
    const int code = RunQuietly(program, args);
    if (code != 0) return {kFormatFailed, std::string(name) + " exit code " + std::to_string(code), ""};
    return {1, "", ""};
  }

  // True when the running kernel mounts file systems of type name itself.
  bool KernelMounts(std::string_view name) const {
    std::istringstream lines(sys_.Text("/proc/filesystems").value_or(""));
    for (std::string line; std::getline(lines, line);) {
      const size_t tab = line.find_last_of(" \t");
      if (std::string_view(line).substr(tab == std::string::npos ? 0 : tab + 1) == name) return true;
    }
    return false;
  }

  PartitionOutcome Mount(const std::string& part, PartitionFileSystem fs) const {
    const std::string folder = std::string(kMountRoot) + "/" + part;
    ::mkdir(kMountRoot, 0755);
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)
      return {kToolFailed, "cannot make " + folder + ": " + ErrnoText(errno), ""};
    const std::string program = FindProgram("mount");
    if (program.empty()) return {kNotAvailable, "mount is not installed", ""};
    std::vector<std::string> args{"mount"};
    // A kernel without exFAT (before 5.7, or built without it) mounts it through the FUSE helper,
    // which mount(8) finds only by its own type name.
    if (fs == PartitionFileSystem::kExfat && !KernelMounts("exfat") && !FindProgram("mount.exfat-fuse").empty())
      args.insert(args.end(), {"-t", "exfat-fuse"});
    args.insert(args.end(), {"/dev/" + part, folder});
    const int code = RunQuietly(program, args);
    if (code != 0) return {kToolFailed, "mount exit code " + std::to_string(code), ""};
    return {1, "", ""};
  }

  const SysRoot& sys_;
};

}  // namespace

PartitionTool* LinuxDeviceTree::Partitioner() {
  if (!partitionTool_) partitionTool_ = std::make_unique<LibfdiskTool>(sys_);
  return partitionTool_.get();
}

}  // namespace kestrune::platform::linux_dev
