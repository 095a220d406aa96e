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
  uint8_t head[kShortDumpBytes];
  size_t got = 0;
  std::ifstream in(platform::FsPath(path), std::ios::binary);
  if (in) {
    in.read(reinterpret_cast<char*>(head), sizeof head);
    got = static_cast<size_t>(in.gcount());
  }
  for (const std::string& line : ShortHexDump(std::span<const uint8_t>(head, got)))
    settings_.console->PrintLine("        " + line);
  settings_.console->PrintLine("        Hex File : " + path);
}

}  // namespace kestrune::engine
