#include "engine/command_parameters.h"

#include <utility>

#include "base/text.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::engine {

using base::StartsWithNoCase;

std::string SubstituteParameters(std::string_view text, const ParameterValues& values) {
  const std::pair<std::string_view, const std::optional<std::string>*> words[] = {
      {"%Disk%", &values.disk},   {"%DiskId%", &values.diskId},       {"%xVolume%", &values.xVolume},
      {"%CdiId%", &values.cdiId}, {"%Scpdir%", &values.scriptFolder}, {"%Output%", &values.outputBase},
  };
  std::string out;
  for (size_t i = 0; i < text.size();) {
    bool replaced = false;
    if (text[i] == '%') {
      for (const auto& [word, value] : words) {
        if (!value->has_value() || !StartsWithNoCase(text.substr(i), word)) continue;
        for (char c : **value)
          if (c != '"') out += c;
        i += word.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

// The disk inventory and the current disk are not part of the program yet. Until they are, a run has
// no disk, which is neither raw nor used through volumes: commands limited to one of those modes
// refuse to run, and the disk words (%Disk%, %DiskId%, %xVolume%, %CdiId%) stay unreplaced. With the
// inventory, these two functions take the mode and the words from the view's current disk.
DiskMode CurrentDiskMode(Interpreter&, uint32_t) { return DiskMode::kNone; }

ParameterValues CommandParameterValues(Interpreter& interp, uint32_t view, const std::string& outputBase) {
  ParameterValues values;
  values.scriptFolder = interp.view(view).scriptFolder;
  values.outputBase = outputBase;
  return values;
}

}  // namespace kestrune::engine
