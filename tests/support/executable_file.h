// Small programs for tests that start outside programs: shell scripts written into a test folder.
#pragma once

#include <sys/stat.h>

#include <span>
#include <string>

#include "platform/files.h"
#include "platform/host.h"

namespace kestrune::testing {

// Writes "#!/bin/sh" and body as folder/name, executable. Returns the full path.
inline std::string WriteShellScript(const std::string& folder, const std::string& name,
                                    const std::string& body) {
  std::string path = platform::JoinPath(folder, name);
  std::string text = "#!/bin/sh\n" + body;
  platform::WriteWholeFile(path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  ::chmod(path.c_str(), 0755);
  return path;
}

// The whole file as text; "<missing>" when it cannot be read.
inline std::string ReadTextFile(const std::string& path) {
  auto bytes = platform::ReadWholeFile(path);
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<missing>");
}

// Writes text as a file.
inline bool WriteTextFile(const std::string& path, const std::string& text) {
  return platform::WriteWholeFile(path,
                                  std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace kestrune::testing
