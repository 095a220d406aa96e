#include "devcmd/system_info_lines.h"

#include <charconv>

#include "base/text.h"
#include "engine/output.h"

namespace kestrune::devcmd {
namespace {

namespace colour = engine::colour;
using base::Format;

constexpr uint64_t kLastWindows10Build = 21999;

std::optional<uint64_t> BuildNumber(const std::string& build) {
  uint64_t n = 0;
  auto [end, ec] = std::from_chars(build.data(), build.data() + build.size(), n);
  if (ec != std::errc() || end != build.data() + build.size()) return std::nullopt;
  return n;
}

}  // namespace

std::string ProductNameOf(const platform::PlatformSummary& s) {
  std::string name = s.productName;
  const std::optional<uint64_t> build = BuildNumber(s.build);
  const size_t at = name.find("Windows 10");
  if (build && *build > kLastWindows10Build && at != std::string::npos) name.replace(at, 10, "Windows 11");
  return name;
}

std::string HmbPolicyName(const platform::HmbPolicyReport& hmb) {
  if (!hmb.available) return hmb.note.empty() ? std::string("Not Available") : hmb.note;
  if (!hmb.value) return "Driver Default";
  switch (*hmb.value) {
    case 0:
      return "Disable HMB";
    case 1:
      return "Minimum HMB Size";
    case 2:
      return "Preferred HMB Size";
    default:
      return Format("Unknown (%u)", *hmb.value);
  }
}

uint64_t MemoryGB(uint64_t bytes) { return (bytes + (uint64_t{1} << 29)) >> 30; }

void PlatformSummaryLines(LineSink& sink, const platform::PlatformSummary& s,
                          const platform::HmbPolicyReport& hmb, const std::string& application) {
  sink.Write(Format("OS Version  : %s %s Ver.%s Build.%s", ProductNameOf(s).c_str(),
                    s.x64 ? "(x64)" : "(x86)", s.releaseId.c_str(), s.build.c_str()),
             colour::kWhite);
  sink.Write(
      Format("CPU         : %s  (%d Processors)", s.processorName.c_str(), static_cast<int>(s.processors)),
      colour::kWhite);
  sink.Write(Format("Memory(GB)  : %d", static_cast<int>(MemoryGB(s.memoryBytes))), colour::kWhite);
  sink.Write(Format("MotherBoard : %s %s", s.boardMaker.c_str(), s.boardProduct.c_str()), colour::kWhite);
  sink.Write(Format("Computer    : %s", s.computerName.c_str()), colour::kWhite);
  sink.Write(s.uefi ? "BIOS Mode   : UEFI" : "BIOS Mode   : Legacy", colour::kWhite);
  sink.Write(Format("HMB Mode    : %s", HmbPolicyName(hmb).c_str()), colour::kWhite);
  sink.Write(Format("Application : %s", application.c_str()), colour::kWhite);
}

}  // namespace kestrune::devcmd
