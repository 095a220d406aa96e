#include "devcmd/line_sink.h"

#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::devcmd {

std::vector<std::string> LineCollector::Texts() const {
  std::vector<std::string> out;
  out.reserve(lines.size());
  for (const DecodedLine& l : lines) out.push_back(l.text);
  return out;
}

void ViewLineSink::Write(std::string_view text, uint32_t colour) {
  interp_.writer().WriteLine(interp_.output(view_), text, engine::kDetail, 10, colour);
}

bool ViewLineSink::Cancelled() { return interp_.view(view_).cancel.load(); }

}  // namespace kestrune::devcmd
