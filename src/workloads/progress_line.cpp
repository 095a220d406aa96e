#include "workloads/progress_line.h"

#include "engine/interpreter.h"

namespace kestrune::workloads {

void ProgressLine::Show(const std::string& text) {
  engine::ViewOutput* out = interp_.output(view_);
  if (shown_ && interp_.writer().RewriteLine(out, line_, text)) return;
  line_ = interp_.writer().WriteLine(out, text, engine::kDetail, 10, colour_);
  shown_ = true;
}

}  // namespace kestrune::workloads
