// The elapsed-time text that closes a command's output: "%d hr " (from one hour on), "%d min " (from
// one minute on) and "%d.%03d sec " (always; seconds within the minute and milliseconds).
#pragma once

#include <cstdint>
#include <string>

#include "base/text.h"

namespace kestrune::engine {

inline std::string ElapsedTimeText(uint64_t ms) {
  uint64_t hours = ms / 3600000, minutes = (ms / 60000) % 60, seconds = (ms / 1000) % 60;
  std::string out;
  if (hours > 0) out += base::Format("%d hr ", static_cast<int>(hours));
  if (hours > 0 || minutes > 0) out += base::Format("%d min ", static_cast<int>(minutes));
  out += base::Format("%d.%03d sec ", static_cast<int>(seconds), static_cast<int>(ms % 1000));
  return out;
}

}  // namespace kestrune::engine
