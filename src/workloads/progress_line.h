// A progress line of the output: written once, then rewritten in place whenever its text changes
// (a line the output store has dropped since is written anew).
#pragma once

#include <cstdint>
#include <string>

#include "engine/output.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::workloads {

class ProgressLine {
 public:
  ProgressLine(engine::Interpreter& interp, uint32_t view, uint32_t colour)
      : interp_(interp), view_(view), colour_(colour) {}

  // Shows text: the first call writes the line, later ones rewrite it.
  void Show(const std::string& text);

 private:
  engine::Interpreter& interp_;
  uint32_t view_;
  uint32_t colour_;
  engine::LineRef line_;
  bool shown_ = false;
};

}  // namespace kestrune::workloads
