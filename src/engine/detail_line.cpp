#include "engine/detail_line.h"

#include "engine/interpreter.h"
#include "engine/output.h"

namespace kestrune::engine {

void DetailLine(Interpreter& interp, uint32_t view, std::string_view text, uint32_t colour) {
  interp.writer().WriteLine(interp.output(view), text, kDetail, 10, colour);
}

}  // namespace kestrune::engine
