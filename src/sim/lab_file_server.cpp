#include "sim/lab_file_server.h"

#include <array>
#include <utility>

#include "base/text.h"
#include "sim/lab_values.h"

namespace kestrune::sim {

namespace {

constexpr std::array<std::pair<std::string_view, LabFetchFault>, 7> kFaults{{
    {"none", LabFetchFault::kNone},
    {"noserver", LabFetchFault::kNoServer},
    {"refused", LabFetchFault::kRefused},
    {"badlogin", LabFetchFault::kBadLogin},
    {"missing", LabFetchFault::kMissing},
    {"stalled", LabFetchFault::kStalled},
    {"short", LabFetchFault::kShort},
}};

}  // namespace

bool IsFileServerSection(std::string_view section) { return base::EqualsNoCase(section, kFileServerSection); }

std::optional<LabFileServerDescription> ParseLabFileServer(const base::IniFile& ini, std::string& error) {
  for (const std::string& section : ini.Sections()) {
    if (!IsFileServerSection(section)) continue;
    LabFileServerDescription d;
    for (const std::string& key : ini.Keys(section)) {
      const std::string value = ini.GetString(section, key, "");
      const std::string k = base::ToLowerAscii(key);
      auto bad = [&](const char* why) {
        error = base::Format("[%s] %s = %s: %s", section.c_str(), key.c_str(), value.c_str(), why);
        return std::nullopt;
      };
      if (k == "folder") {
        d.folder = value;
      } else if (k == "fault") {
        bool known = false;
        for (const auto& [name, fault] : kFaults)
          if (base::EqualsNoCase(value, name)) d.rules.fault = fault, known = true;
        if (!known) return bad("not a fault (none, noserver, refused, badlogin, missing, stalled, short)");
      } else if (k == "failat") {
        d.rules.failAt = ParseNumber(value);
        if (!d.rules.failAt) return bad("not a number");
      } else if (k == "user") {
        d.rules.user = value;
      } else if (k == "password") {
        d.rules.password = value;
      } else {
        return bad("unknown key");
      }
    }
    return d;
  }
  return std::nullopt;
}

}  // namespace kestrune::sim
