// The systemd unit of a start-again registration, and where the Linux auto-start keeps its files.
#pragma once

#include <optional>
#include <string>

namespace kestrune::platform {

// "kestrune-autorun-<suffix>.service", suffix being what follows "AutoRunOnStartup_" in the
// registration name (the whole name for any other).
std::string AutorunUnitName(const std::string& registrationName);

// The unit text: run as user, after the local file systems and udev have settled, "program
// --autorun=<suffix>", wanted by multi-user.target. nullopt when program cannot be written in an
// ExecStart line (a quote, a backslash, a line end, or no absolute path).
std::optional<std::string> AutorunUnitText(const std::string& registrationName, const std::string& program,
                                           const std::string& user);

// The registration folder: $KESTRUNE_AUTORUN_DIR, else /var/lib/kestrune/autorun.
std::string AutorunRegistrationFolder();
// The unit folder: $KESTRUNE_UNIT_DIR, else /etc/systemd/system (used only where systemd runs, or
// when the variable names one).
std::string AutorunUnitFolder();

}  // namespace kestrune::platform
