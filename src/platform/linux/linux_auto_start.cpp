// Start-again registrations on Linux: a registration file each (platform/registration_folder.h) and,
// where systemd runs, a system unit enabled for multi-user.target by its link in the target's
// ".wants" folder, which is all that "systemctl enable" does for such a unit. Nothing here calls
// systemctl: the unit is read at the next boot.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/atomic_file.h"
#include "platform/auto_start.h"
#include "platform/files.h"
#include "platform/host.h"
#include "platform/linux/autorun_unit.h"
#include "platform/registration_folder.h"

namespace kestrune::platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPrefix = "AutoRunOnStartup_";

std::string EnvOr(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::string(v) : std::string(fallback);
}

std::string UserName() {
  if (const passwd* pw = ::getpwuid(::geteuid())) return pw->pw_name;
  return std::to_string(::geteuid());
}

bool UnitsWanted() { return std::getenv("KESTRUNE_UNIT_DIR") != nullptr || FolderExists("/run/systemd/system"); }

class LinuxAutoStart final : public AutoStart {
 public:
  explicit LinuxAutoStart(std::string program)
      : program_(std::move(program)), registrations_(AutorunRegistrationFolder()), units_(AutorunUnitFolder()) {}

  bool Register(const std::string& name, const std::string& arguments, std::string& why) override {
    std::optional<std::string> unit;
    if (UnitsWanted()) {
      unit = AutorunUnitText(name, program_, UserName());
      if (!unit) {
        why = "the program path cannot be written in a unit: " + program_;
        return false;
      }
    }
    if (!registrations_.Write(name, program_, UserName(), arguments, why)) return false;
    if (!unit) return true;
    const fs::path unitPath = FsPath(JoinPath(units_, AutorunUnitName(name)));
    const fs::path wants = FsPath(JoinPath(units_, "multi-user.target.wants"));
    std::error_code ec;
    fs::create_directories(wants, ec);
    bool ok = SaveFileAtomically(Utf8Path(unitPath), *unit, true);
    if (ok) {
      const fs::path link = wants / unitPath.filename();
      fs::remove(link, ec);
      fs::create_symlink(unitPath, link, ec);
      ok = !ec;
    }
    if (!ok) {
      why = "cannot write the unit " + Utf8Path(unitPath);
      std::string ignored;
      Remove(name, ignored);
    }
    return ok;
  }

  bool Remove(const std::string& name, std::string& why) override {
    std::error_code ec;
    const fs::path unitPath = FsPath(JoinPath(units_, AutorunUnitName(name)));
    fs::remove(FsPath(JoinPath(units_, "multi-user.target.wants")) / unitPath.filename(), ec);
    fs::remove(unitPath, ec);
    if (ec) {
      why = "cannot remove the unit " + Utf8Path(unitPath);
      return false;
    }
    return registrations_.Remove(name, why);
  }

  bool List(std::vector<AutoStartEntry>& entries, std::string& why) override {
    return registrations_.List(entries, why);
  }

 private:
  std::string program_;
  RegistrationFolder registrations_;
  std::string units_;
};

}  // namespace

std::string AutorunUnitName(const std::string& registrationName) {
  std::string suffix = registrationName;
  if (suffix.rfind(kPrefix, 0) == 0 && suffix.size() > std::string(kPrefix).size())
    suffix = suffix.substr(std::string(kPrefix).size());
  return "kestrune-autorun-" + suffix + ".service";
}

std::optional<std::string> AutorunUnitText(const std::string& registrationName, const std::string& program,
                                           const std::string& user) {
  if (program.empty() || program[0] != '/' || program.find_first_of("\"\\\r\n'%$") != std::string::npos)
    return std::nullopt;
  if (user.empty() || user.find_first_of(" \"\\\r\n'%$") != std::string::npos) return std::nullopt;
  std::string suffix = AutorunUnitName(registrationName);
  suffix = suffix.substr(std::string("kestrune-autorun-").size());
  suffix.resize(suffix.size() - std::string(".service").size());
  return "[Unit]\n"
         "Description=Kestrune run started again after a restart (" + registrationName + ")\n"
         "Wants=systemd-udev-settle.service\n"
         "After=local-fs.target systemd-udev-settle.service\n"
         "\n"
         "[Service]\n"
         "Type=simple\n"
         "User=" + user + "\n"
         "ExecStart=\"" + program + "\" --autorun=" + suffix + "\n"
         "StandardOutput=journal+console\n"
         "\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n";
}

std::string AutorunRegistrationFolder() { return EnvOr("KESTRUNE_AUTORUN_DIR", "/var/lib/kestrune/autorun"); }
std::string AutorunUnitFolder() { return EnvOr("KESTRUNE_UNIT_DIR", "/etc/systemd/system"); }

std::unique_ptr<AutoStart> MakeSystemAutoStart(const std::string& programPath) {
  return std::make_unique<LinuxAutoStart>(programPath);
}

}  // namespace kestrune::platform
