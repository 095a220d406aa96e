// The platform lines of SystemInfo and the words they use: the operating system line (a Windows
// 10 product name of a build above 21999 is Windows 11), processor, memory, board, computer,
// firmware mode and the host memory buffer policy by name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "devcmd/line_sink.h"
#include "platform/system_facts.h"

namespace kestrune::devcmd {

// The product name as SystemInfo shows it: "Windows 10" becomes "Windows 11" when build is a
// number above 21999 (those builds still call themselves Windows 10).
std::string ProductNameOf(const platform::PlatformSummary& s);

// The policy's name: 0 "Disable HMB", 1 "Minimum HMB Size", 2 "Preferred HMB Size"; none set
// "Driver Default"; other values "Unknown (n)"; a system without the policy its note.
std::string HmbPolicyName(const platform::HmbPolicyReport& hmb);

// Installed memory in whole GiB, rounded to the nearest.
uint64_t MemoryGB(uint64_t bytes);

// "OS Version  : ..." to "Application : %s", in white.
void PlatformSummaryLines(LineSink& sink, const platform::PlatformSummary& s,
                          const platform::HmbPolicyReport& hmb, const std::string& application);

}  // namespace kestrune::devcmd
