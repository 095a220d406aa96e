#include "platform/linux/linux_system_facts.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <thread>

namespace kestrune::platform::linux_dev {
namespace {

std::string Trim(std::string s) {
  const size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  const size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// The value after "key<blanks>:" on the first such line of a /proc table.
std::string ProcValue(const std::string& text, const std::string& key) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos || Trim(line.substr(0, colon)) != key) continue;
    return Trim(line.substr(colon + 1));
  }
  return {};
}

class LinuxSystemFacts final : public SystemFacts {
 public:
  LinuxSystemFacts(SysRoot sys, uint32_t processors) : sys_(std::move(sys)), processors_(processors) {}

  PlatformSummary Summary() override {
    PlatformSummary s;
    std::string osRelease = sys_.Text("/etc/os-release").value_or("");
    if (osRelease.empty()) osRelease = sys_.Text("/usr/lib/os-release").value_or("");
    s.productName = OsReleaseValue(osRelease, "PRETTY_NAME");
    if (s.productName.empty()) s.productName = "Linux";
    s.releaseId = OsReleaseValue(osRelease, "VERSION_ID");
    s.build = sys_.Attr("/proc/sys/kernel/osrelease").value_or("");
    s.x64 = true;
    if (sys_.IsSystemRoot()) {
      struct utsname u {};
      if (::uname(&u) == 0) {
        s.x64 = std::string(u.machine).find("64") != std::string::npos;
        if (s.build.empty()) s.build = u.release;
      }
    }
    const std::string cpuinfo = sys_.Text("/proc/cpuinfo").value_or("");
    s.processorName = ProcValue(cpuinfo, "model name");
    s.processors = processors_;
    const std::string kb = ProcValue(sys_.Text("/proc/meminfo").value_or(""), "MemTotal");
    s.memoryBytes = std::strtoull(kb.c_str(), nullptr, 10) * 1024;
    s.boardMaker = sys_.Attr("/sys/class/dmi/id/board_vendor").value_or("");
    s.boardProduct = sys_.Attr("/sys/class/dmi/id/board_name").value_or("");
    s.computerName = sys_.Attr("/proc/sys/kernel/hostname").value_or("");
    s.uefi = sys_.Exists("/sys/firmware/efi");
    return s;
  }

  HmbPolicyReport HmbPolicy() override {
    HmbPolicyReport r;
    const std::optional<std::string> limit = sys_.Attr("/sys/module/nvme/parameters/max_host_mem_size_mb");
    r.note =
        limit ? "Linux has no host memory buffer policy; the nvme driver's max_host_mem_size_mb is " + *limit
              : "Linux has no host memory buffer policy";
    return r;
  }

  bool SetHmbPolicy(uint32_t, std::string& why) override {
    why = HmbPolicy().note;
    return false;
  }

 private:
  SysRoot sys_;
  uint32_t processors_;
};

}  // namespace

std::string OsReleaseValue(const std::string& text, const std::string& key) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(key + "=", 0) != 0) continue;
    std::string v = Trim(line.substr(key.size() + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
      v = v.substr(1, v.size() - 2);
    return v;
  }
  return {};
}

std::unique_ptr<SystemFacts> MakeLinuxSystemFacts(SysRoot sys, uint32_t processors) {
  return std::make_unique<LinuxSystemFacts>(std::move(sys), processors);
}

}  // namespace kestrune::platform::linux_dev

namespace kestrune::platform {

std::unique_ptr<SystemFacts> MakeSystemFacts() {
  const unsigned n = std::thread::hardware_concurrency();
  return linux_dev::MakeLinuxSystemFacts(linux_dev::SysRoot("/"), n == 0 ? 1 : n);
}

}  // namespace kestrune::platform
