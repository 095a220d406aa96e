#include "devcmd/nvme_command_support.h"

#include <fstream>

#include "disk/disk_state.h"
#include "disk/dump_file.h"
#include "disk/nvme_operations.h"
#include "engine/interpreter.h"
#include "engine/output_base.h"
#include "engine/view.h"
#include "platform/files.h"

namespace kestrune::devcmd {

NvmeTarget CurrentNvmeTarget(engine::Interpreter& interp) {
  disk::DiskState& state = disk::StateOf(interp);
  if (state.tree == nullptr || !state.hasCurrent) return {};
  return {state.tree, &state.current};
}

int32_t ReadIdentify(engine::Interpreter& interp, uint8_t cns, uint32_t nsid, std::span<uint8_t> buffer) {
  NvmeTarget target = CurrentNvmeTarget(interp);
  if (!target) return disk::kNvmeOpenFailed;
  return disk::Identify(*target.tree, *target.disk, cns, nsid, buffer);
}

int32_t ReadLogPage(engine::Interpreter& interp, uint8_t lid, std::span<uint8_t> buffer, uint32_t* dw0,
                    uint8_t lsp, bool rae) {
  if (dw0 != nullptr) *dw0 = 0;
  NvmeTarget target = CurrentNvmeTarget(interp);
  if (!target) return disk::kNvmeOpenFailed;
  return disk::GetLogPage(*target.tree, *target.disk, lid, lsp, rae, buffer, dw0);
}

std::string DefaultDumpPath(engine::Interpreter& interp, uint32_t view, std::string_view extension) {
  return engine::OutputBaseName(interp, view) + std::string(extension);
}

bool SaveDump(engine::Interpreter& interp, uint32_t view, const std::string& path,
              std::span<const uint8_t> bytes, uint32_t colour, bool show) {
  if (!disk::WriteDumpFile(interp.host(), path, bytes)) {
    interp.ReportCompletion(view, kOutputFileFailed, path);
    return false;
  }
  interp.writer().WriteDataFile(interp.output(view), colour, path, show);
  return true;
}

bool AppendToFile(engine::Interpreter& interp, const std::string& path, std::span<const uint8_t> bytes) {
  const std::string folder = platform::Utf8Path(platform::FsPath(path).parent_path());
  if (!folder.empty() && !platform::FolderExists(folder) && !interp.host().CreateFolders(folder))
    return false;
  std::ofstream out(platform::FsPath(path), std::ios::binary | std::ios::app);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

}  // namespace kestrune::devcmd
