#include "engine/console_copy.h"

#include <fstream>

#include "base/text.h"
#include "platform/files.h"

namespace kestrune::engine {

using base::Trim;

bool ConsoleCopy::Shows(int32_t kind) const {
  return settings_.consoleForm && (kind == kText || kind == kTextAlwaysOnConsole) &&
         (settings_.style != 40 || kind == kTextAlwaysOnConsole);
}

void ConsoleCopy::LineAdded(const AddedLine& added) {
  ConsoleSink* console = settings_.console;
  if (!console) return;
  // Detail lines are indented; plain and header lines start at the margin.
  const std::string copy = added.type == kPlain || added.type == kHeader ? std::string(added.text)
                                                                          : "        " + std::string(added.text);
  if (Shows(added.line.kind) && !Trim(copy, true).empty()) console->PrintLine(copy);
  if (settings_.debugLevel == 2) console->DebugCopy(copy);
  if (added.line.kind == kDataFile && added.inResultFile && settings_.consoleForm)
    PrintDataFileDump(added.line.attachedPath);
}

void ConsoleCopy::LineRewritten(uint32_t, const OutputLine& line) {
  if (settings_.console && Shows(line.kind)) settings_.console->RewrittenLine(line.text);
}

void ConsoleCopy::PrintDataFileDump(const std::string& path) {
  for (const std::string& line : DataFileDump(path)) settings_.console->PrintLine("        " + line);
}

}  // namespace kestrune::engine
