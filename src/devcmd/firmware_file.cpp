#include "devcmd/firmware_file.h"

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/file_lookup.h"
#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "engine/script_text.h"
#include "engine/view.h"
#include "platform/files.h"

namespace kestrune::devcmd {

std::optional<std::vector<uint8_t>> ReadAnnouncedFile(engine::Interpreter& interp, uint32_t view, std::string file,
                                                      const engine::FileChoice& choice, std::string_view label,
                                                      std::string& path) {
  if (!engine::ChooseFileIfEmpty(interp, view, file, choice)) return std::nullopt;
  std::optional<std::string> found = engine::LookupFile(file, interp.Folders(view));
  if (!found) {
    interp.ReportCompletion(view, base::code::kFileOpenFailed, file);
    return std::nullopt;
  }
  path = *found;
  interp.writer().WriteLine(interp.output(view), std::string(label) + " : " + path, engine::kDetail, 10,
                            engine::colour::kCyan);
  std::optional<std::vector<uint8_t>> bytes = platform::ReadWholeFile(path);
  if (!bytes) interp.ReportCompletion(view, base::code::kFileOpenFailed, path);
  return bytes;
}

std::optional<std::vector<uint8_t>> ReadFirmwareFile(engine::Interpreter& interp, uint32_t view, std::string file,
                                                     std::string& path) {
  std::optional<std::vector<uint8_t>> bytes =
      ReadAnnouncedFile(interp, view, std::move(file), engine::FileChoice::Open("FW File", "fw"), "FW File", path);
  if (bytes && base::EndsWithNoCase(path, ".bix")) engine::ScrambleInPlace(*bytes);
  return bytes;
}

ProgressLine::ProgressLine(engine::Interpreter& interp, uint32_t view) : interp_(interp), out_(interp.output(view)) {
  line_ = interp.writer().WriteLine(out_, " ", engine::kDetail, 10, engine::colour::kGrey);
}

void ProgressLine::Show(const std::string& text) {
  if (!interp_.writer().RewriteLine(out_, line_, text))
    line_ = interp_.writer().WriteLine(out_, text, engine::kDetail, 10, engine::colour::kGrey);
}

// "%s remain %d sec..." every second, then "%s %d sec   "; the cancel flag ends it early.
void Countdown(engine::Interpreter& interp, uint32_t view, std::string_view label, uint64_t seconds) {
  if (seconds == 0) return;
  ProgressLine line(interp, view);
  const std::string name(label);
  for (uint64_t left = seconds; left > 0 && !interp.view(view).cancel.load(); --left) {
    line.Show(base::Format("%s remain %llu sec...", name.c_str(), static_cast<unsigned long long>(left)));
    interp.host().SleepMs(1000);
  }
  line.Show(base::Format("%s %llu sec   ", name.c_str(), static_cast<unsigned long long>(seconds)));
}

}  // namespace kestrune::devcmd
