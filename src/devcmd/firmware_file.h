// What the NVMe and SATA firmware commands share: the image file the File parameter names, and the
// grey progress line they rewrite in place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/output.h"
#include "engine/ui.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::devcmd {

// A file a command names: asked for with choice when file is empty, found as the file lookup finds
// files, announced as "<label> : %s" in cyan and read whole. nullopt when the command is over
// (cancelled, or -11 reported). path receives the file found.
std::optional<std::vector<uint8_t>> ReadAnnouncedFile(engine::Interpreter& interp, uint32_t view, std::string file,
                                                      const engine::FileChoice& choice, std::string_view label,
                                                      std::string& path);

// The image file: asked for when file is empty ("FW File", "fw"), found as the file lookup finds
// files, announced as "FW File : %s" and read whole; a ".bix" file is unscrambled. nullopt when the
// command is over (cancelled, or -11 reported). path receives the file found.
std::optional<std::vector<uint8_t>> ReadFirmwareFile(engine::Interpreter& interp, uint32_t view, std::string file,
                                                     std::string& path);

// A grey line rewritten in place, written anew should it have gone (the store was reset).
class ProgressLine {
 public:
  ProgressLine(engine::Interpreter& interp, uint32_t view);
  void Show(const std::string& text);

 private:
  engine::Interpreter& interp_;
  engine::ViewOutput* out_;
  engine::LineRef line_;
};

// A countdown line: "%s remain %d sec..." rewritten every second, then "%s %d sec   "; the view's
// cancel flag ends it early. 0 seconds print nothing.
void Countdown(engine::Interpreter& interp, uint32_t view, std::string_view label, uint64_t seconds);

}  // namespace kestrune::devcmd
