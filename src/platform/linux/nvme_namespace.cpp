#include "platform/linux/nvme_namespace.h"

#include <fcntl.h>
#include <linux/nvme_ioctl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

namespace kestrune::platform::linux_dev {
namespace {

constexpr uint64_t kMaxNsid = 0xFFFFFFFEull;  // FFFFFFFFh is the broadcast value, not a namespace

// NVME_IOCTL_ID on a block-device node; nullopt when the node is no NVMe namespace or does not open.
// The node is opened read-only and without O_EXCL, which neither claims nor marks the disk.
std::optional<uint32_t> NsidByIoctl(const std::string& localNode) {
  int fd;
  do {
    fd = ::open(localNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return std::nullopt;
  std::optional<uint32_t> nsid;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISBLK(st.st_mode)) {
    const int rc = ::ioctl(fd, NVME_IOCTL_ID);
    if (rc > 0) nsid = static_cast<uint32_t>(rc);
  }
  ::close(fd);
  return nsid;
}

}  // namespace

uint32_t NvmeNamespaceIdOf(const SysRoot& sys, const std::string& node, const std::string& diskSysPath) {
  if (std::optional<uint32_t> nsid = NsidByIoctl(sys.Local(node))) return *nsid;
  const uint64_t attr = sys.Number(diskSysPath + "/nsid").value_or(0);
  return attr <= kMaxNsid ? static_cast<uint32_t>(attr) : 0;
}

}  // namespace kestrune::platform::linux_dev
