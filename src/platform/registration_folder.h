// Start-again registrations kept as files in one folder, one "<name>.reg" file each: the order it
// was made in, the program it starts, the registering user and the argument line. What the Linux
// auto-start keeps beside its units and what the simulated lab keeps in its folder.
#pragma once

#include <string>
#include <vector>

#include "platform/auto_start.h"

namespace kestrune::platform {

class RegistrationFolder {
 public:
  explicit RegistrationFolder(std::string folder) : folder_(std::move(folder)) {}

  // Writes (atomically, synced) the registration name. An existing one keeps its order. False with
  // why when the folder or the file cannot be written, or the name is no plain file name.
  bool Write(const std::string& name, const std::string& program, const std::string& user,
             const std::string& arguments, std::string& why);
  // Removes it; true when it is gone.
  bool Remove(const std::string& name, std::string& why);
  // Every registration, oldest first. A missing folder is an empty list; an unreadable file is
  // skipped.
  bool List(std::vector<AutoStartEntry>& entries, std::string& why) const;

  const std::string& folder() const { return folder_; }
  std::string PathOf(const std::string& name) const;

 private:
  std::string folder_;
};

// True for a registration name that can stand in a file name: 1 to 64 letters, digits, '_', '-'.
bool IsRegistrationName(const std::string& name);

}  // namespace kestrune::platform
