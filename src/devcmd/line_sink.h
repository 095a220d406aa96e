// Where decoders send their lines: a view's output list in the program, a plain list in tests.
// Decoders know nothing of views or result files; a sink also tells them when the operator has asked
// the command to stop.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::devcmd {

class LineSink {
 public:
  virtual ~LineSink() = default;
  // Writes one detail line in colour (a COLORREF).
  virtual void Write(std::string_view text, uint32_t colour) = 0;
  // True once the command should stop (the view's cancel flag).
  virtual bool Cancelled() { return false; }
};

struct DecodedLine {
  std::string text;
  uint32_t colour = 0;
  bool operator==(const DecodedLine&) const = default;
};

// Keeps the lines in a list.
class LineCollector final : public LineSink {
 public:
  void Write(std::string_view text, uint32_t colour) override {
    lines.push_back({std::string(text), colour});
  }
  bool Cancelled() override { return cancelAfter >= 0 && lines.size() >= static_cast<size_t>(cancelAfter); }

  // The texts alone.
  std::vector<std::string> Texts() const;

  std::vector<DecodedLine> lines;
  long cancelAfter = -1;  // tests: report a cancel once this many lines were written; -1 never
};

// Writes detail lines (size 10) to a view of the interpreter; Cancelled() is the view's cancel flag.
class ViewLineSink final : public LineSink {
 public:
  ViewLineSink(engine::Interpreter& interp, uint32_t view) : interp_(interp), view_(view) {}
  void Write(std::string_view text, uint32_t colour) override;
  bool Cancelled() override;

 private:
  engine::Interpreter& interp_;
  uint32_t view_;
};

}  // namespace kestrune::devcmd
