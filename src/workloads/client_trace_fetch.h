// The client master trace of the client endurance workload, fetched from the LAN file server when
// the work folder lacks it: the zip downloaded, its trace extracted beside it.
#pragma once

#include <cstdint>
#include <string>

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::workloads {

inline constexpr char kClientTraceCaption[] = "Client Master trace file";
inline constexpr char kClientTraceRemotePath[] = "/JEDEC_Client/Client_128_GB_Master_Trace.zip";
inline constexpr char kClientTraceZipName[] = "Client_128_GB_Master_Trace.zip";
inline constexpr char kClientTraceFileName[] = "Client_128_GB_Master_Trace.txt";

// Extracts the entry entryName of the zip at zipPath into folder under its own name (last path
// part), written under a temporary name and renamed when whole and CRC-checked, with
// "Extract <name>: n%" on one rewritten line and the view's cancel flag stopping it. Returns 0 with
// extracted = the file's path, or base::code::kFileOpenFailed with a one-line reason and no file of
// its own left behind. Run thread only.
int ExtractZipEntryWhole(engine::Interpreter& interp, uint32_t view, const std::string& zipPath,
                         const std::string& entryName, const std::string& folder, std::string& extracted,
                         std::string& reason);

// Fetches kClientTraceRemotePath from the file server as workFolder/kClientTraceZipName and extracts
// kClientTraceFileName beside it. Returns 0 with traceFile = workFolder/kClientTraceFileName; on any
// failure base::code::kFileOpenFailed (-11) with a one-line reason (for ReportCompletion), and
// neither the zip, the trace nor their temporary files are left in workFolder. Prints progress
// lines, not the failure. Run thread only.
int FetchClientTrace(engine::Interpreter& interp, uint32_t view, const std::string& workFolder,
                     std::string& traceFile, std::string& reason);

}  // namespace kestrune::workloads
