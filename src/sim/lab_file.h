// The lab file: an INI file with one section per simulated drive (keys: see lab_file.cpp).
#pragma once

#include <optional>
#include <string>

#include "base/ini.h"
#include "sim/lab_description.h"

namespace kestrune::sim {

struct LabFileResult {
  std::optional<LabDescription> lab;  // set when the file was sound
  std::string error;                  // else what is wrong, naming the section and key
};

// Builds a lab from parsed INI text: every section is a drive, in file order; unset values get
// their defaults (see lab_file.cpp) and the whole lab is checked with ValidateLab.
LabFileResult ParseLab(const base::IniFile& ini);
// Reads and parses a lab file; the error names the file.
LabFileResult LoadLabFile(const std::string& path);

}  // namespace kestrune::sim
