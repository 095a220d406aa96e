#include "disk/dump_file.h"

#include <fstream>

#include "base/completion_codes.h"
#include "engine/interpreter.h"
#include "engine/output_base.h"
#include "platform/files.h"

namespace kestrune::disk {
namespace {

// Creates the folder that will hold path when it is missing. False when it cannot be created.
bool MakeFolderOf(platform::Host& host, const std::string& path) {
  const std::string folder = platform::Utf8Path(platform::FsPath(path).parent_path());
  return folder.empty() || platform::FolderExists(folder) || host.CreateFolders(folder);
}

}  // namespace

std::string DefaultDumpPath(engine::Interpreter& interp, uint32_t view, std::string_view extension) {
  return engine::OutputBaseName(interp, view) + std::string(extension);
}

bool SaveDump(engine::Interpreter& interp, uint32_t view, const std::string& path,
              std::span<const uint8_t> bytes, uint32_t colour, bool show) {
  if (!MakeFolderOf(interp.host(), path) || !platform::WriteWholeFile(path, bytes)) {
    interp.ReportCompletion(view, base::code::kOutputFileFailed, path);
    return false;
  }
  interp.writer().WriteDataFile(interp.output(view), colour, path, show);
  return true;
}

bool AppendToFile(platform::Host& host, const std::string& path, std::span<const uint8_t> bytes) {
  if (!MakeFolderOf(host, path)) return false;
  std::ofstream out(platform::FsPath(path), std::ios::binary | std::ios::app);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

}  // namespace kestrune::disk
