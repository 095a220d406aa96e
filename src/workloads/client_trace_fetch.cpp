#include "workloads/client_trace_fetch.h"

#include "base/completion_codes.h"
#include "base/text.h"
#include "base/zip_archive.h"
#include "engine/interpreter.h"
#include "engine/output.h"
#include "platform/atomic_file.h"
#include "platform/files.h"
#include "platform/host.h"
#include "workloads/file_server_download.h"
#include "workloads/progress_line.h"

namespace kestrune::workloads {

int ExtractZipEntryWhole(engine::Interpreter& interp, uint32_t view, const std::string& zipPath,
                         const std::string& entryName, const std::string& folder, std::string& extracted,
                         std::string& reason) {
  const std::string name = platform::FileNameOf(entryName);
  const std::string target = platform::JoinPath(folder, name);
  const std::string partial = PartialName(target);
  ProgressLine line(interp, view, engine::colour::kGrey);
  uint32_t shown = 0;
  line.Show(base::Format("Extract %s: 0%%", name.c_str()));
  const std::atomic<bool>& cancel = interp.CancelFlag(view);
  auto progress = [&](uint64_t done, uint64_t total) {
    const uint32_t percent = total ? static_cast<uint32_t>(done * 100 / total) : 100;
    if (percent != shown) line.Show(base::Format("Extract %s: %u%%", name.c_str(), shown = percent));
    return !cancel.load();
  };
  std::string error;
  if (!base::ExtractZipEntryToFile(zipPath, entryName, partial, error, progress)) {
    platform::RemoveFile(partial);
    reason = "cannot extract " + name + ": " + error;
    return base::code::kFileOpenFailed;
  }
  if (!platform::PlaceFileDurably(partial, target)) {
    platform::RemoveFile(partial);
    reason = "cannot rename " + partial + " to " + target;
    return base::code::kFileOpenFailed;
  }
  line.Show(base::Format("Extract %s: 100%% done", name.c_str()));
  extracted = target;
  return 0;
}

int FetchClientTrace(engine::Interpreter& interp, uint32_t view, const std::string& workFolder,
                     std::string& traceFile, std::string& reason) {
  const DownloadRequest request{kClientTraceCaption, kClientTraceRemotePath, workFolder, kClientTraceZipName};
  if (int code = DownloadFromFileServer(interp, view, request, reason); code != 0) return code;
  const std::string zip = platform::JoinPath(workFolder, kClientTraceZipName);
  // A zip that does not give its trace is of no use: it goes too, so that the next run fetches anew.
  if (int code = ExtractZipEntryWhole(interp, view, zip, kClientTraceFileName, workFolder, traceFile, reason);
      code != 0) {
    platform::RemoveFile(zip);
    return code;
  }
  return 0;
}

}  // namespace kestrune::workloads
