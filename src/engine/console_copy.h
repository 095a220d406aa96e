// The console form's copy of the output: the lines a console user sees, the short dump of each data
// file, the debugger copy, and rewritten lines on the transient status line.
#pragma once

#include "engine/output.h"

namespace kestrune::engine {

class ConsoleCopy final : public OutputSink {
 public:
  ConsoleCopy(const OutputSettings& settings) : settings_(settings) {}

  void LineAdded(const AddedLine& added) override;
  void LineRewritten(uint32_t view, const OutputLine& line) override;

 private:
  // Text lines reach the console in the console form; style 40 shows only kind-4 lines.
  bool Shows(int32_t kind) const;
  // ShortHexDump of the data file's first bytes, then its path.
  void PrintDataFileDump(const std::string& path);

  OutputSettings settings_;
};

}  // namespace kestrune::engine
