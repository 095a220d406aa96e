#include "devcmd/firmware_file.h"

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/file_lookup.h"
#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "engine/script_text.h"
#include "platform/files.h"

namespace kestrune::devcmd {

std::optional<std::vector<uint8_t>> ReadFirmwareFile(engine::Interpreter& interp, uint32_t view, std::string file,
                                                     std::string& path) {
  if (!engine::ChooseFileIfEmpty(interp, view, file, engine::FileChoice::Open("FW File", "fw"))) return std::nullopt;
  std::optional<std::string> found = engine::LookupFile(file, interp.Folders(view));
  if (!found) {
    interp.ReportCompletion(view, base::code::kFileOpenFailed, file);
    return std::nullopt;
  }
  path = *found;
  interp.writer().WriteLine(interp.output(view), "FW File : " + path, engine::kDetail, 10, engine::colour::kCyan);
  std::optional<std::vector<uint8_t>> bytes = platform::ReadWholeFile(path);
  if (!bytes) {
    interp.ReportCompletion(view, base::code::kFileOpenFailed, path);
    return std::nullopt;
  }
  if (base::EndsWithNoCase(path, ".bix")) engine::ScrambleInPlace(*bytes);
  return bytes;
}

ProgressLine::ProgressLine(engine::Interpreter& interp, uint32_t view) : interp_(interp), out_(interp.output(view)) {
  line_ = interp.writer().WriteLine(out_, " ", engine::kDetail, 10, engine::colour::kGrey);
}

void ProgressLine::Show(const std::string& text) {
  if (!interp_.writer().RewriteLine(out_, line_, text))
    line_ = interp_.writer().WriteLine(out_, text, engine::kDetail, 10, engine::colour::kGrey);
}

}  // namespace kestrune::devcmd
