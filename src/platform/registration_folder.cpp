#include "platform/registration_folder.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "platform/atomic_file.h"
#include "base/ini.h"
#include "base/text.h"
#include "platform/files.h"
#include "platform/host.h"

namespace kestrune::platform {
namespace {

constexpr const char* kHeader = "[Registration]";
constexpr const char* kExtension = ".reg";

struct Stored {
  long long order = 0;
  AutoStartEntry entry;
};

bool HasExtension(const std::string& file) {
  const std::string ext = kExtension;
  return file.size() > ext.size() && file.compare(file.size() - ext.size(), ext.size(), ext) == 0;
}

// The file is "[Registration]" and then "Key=value" lines; a value runs to the line's end.
bool ReadStored(const std::string& path, Stored& out) {
  std::optional<std::vector<uint8_t>> bytes = ReadWholeFile(path);
  if (!bytes) return false;
  std::string text(bytes->begin(), bytes->end());
  std::map<std::string, std::string> values;
  size_t at = 0;
  bool headerSeen = false;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == kHeader) headerSeen = true;
    const size_t eq = line.find('=');
    if (headerSeen && eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  if (!headerSeen || !values.count("Name") || !values.count("Arguments") || !values.count("Order")) return false;
  try {
    out.order = std::stoll(values["Order"]);
  } catch (...) {
    return false;
  }
  out.entry = {values["Name"], values["Arguments"]};
  return true;
}

}  // namespace

bool IsRegistrationName(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
  });
}

std::string RegistrationFolder::PathOf(const std::string& name) const { return JoinPath(folder_, name + kExtension); }

bool RegistrationFolder::Write(const std::string& name, const std::string& program, const std::string& user,
                               const std::string& arguments, std::string& why) {
  if (!IsRegistrationName(name)) {
    why = "not a registration name: " + name;
    return false;
  }
  // Each value is one line of the file.
  if ((arguments + program + user).find_first_of("\r\n") != std::string::npos) {
    why = "a registration's arguments and program must be one line";
    return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(FsPath(folder_), ec);
  if (!FolderExists(folder_)) {
    why = "cannot create the registration folder " + folder_;
    return false;
  }
  long long order = 0;
  Stored existing;
  if (ReadStored(PathOf(name), existing)) {
    order = existing.order;
  } else {
    for (const std::string& file : ListFiles(folder_)) {
      Stored s;
      if (HasExtension(file) && ReadStored(JoinPath(folder_, file), s))
        order = std::max(order, s.order);
    }
    ++order;
  }
  const std::string text = std::string(kHeader) + "\nName=" + name + "\nOrder=" + std::to_string(order) +
                           "\nProgram=" + program + "\nUser=" + user + "\nArguments=" + arguments + "\n";
  if (!platform::SaveFileAtomically(PathOf(name), text, true)) {
    why = "cannot write " + PathOf(name);
    return false;
  }
  return true;
}

bool RegistrationFolder::Remove(const std::string& name, std::string& why) {
  if (!IsRegistrationName(name)) return true;  // such a name was never written
  const std::string path = PathOf(name);
  if (FileExists(path) && !RemoveFile(path)) {
    why = "cannot remove " + path;
    return false;
  }
  return true;
}

bool RegistrationFolder::List(std::vector<AutoStartEntry>& entries, std::string& why) const {
  entries.clear();
  if (!FolderExists(folder_)) return true;
  std::vector<Stored> all;
  for (const std::string& file : ListFiles(folder_)) {
    Stored s;
    if (HasExtension(file) && ReadStored(JoinPath(folder_, file), s)) all.push_back(std::move(s));
  }
  std::stable_sort(all.begin(), all.end(), [](const Stored& a, const Stored& b) { return a.order < b.order; });
  for (Stored& s : all) entries.push_back(std::move(s.entry));
  (void)why;
  return true;
}

}  // namespace kestrune::platform
