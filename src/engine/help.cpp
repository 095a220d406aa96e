#include "engine/help.h"

#include "base/ini.h"
#include "base/text.h"
#include "platform/files.h"

namespace kestrune::engine {

using base::DecodeTextFile;
using base::Format;

void PrintHelp(OutputWriter& writer, ViewOutput* view, bool showAll, const LookupFolders& folders,
               const std::string& program) {
  auto line = [&](std::string_view text) { writer.WriteLine(view, text, kPlain, 10, colour::kWhite); };
  line("#Target single drive by '/model/NAME' '/vid/1F2A' '/socid/7301' '/port/USB-1' or '\\\\.\\PhysicalDrive1'");
  line("#Target multi-drives by '/all/model/NAME' '/all/vid/1F2A' '/all/socid/7301'");
  line("#Print screen by /outfile");

  std::optional<std::string> path = LookupFile("helpw.txt", folders);
  if (!path) path = LookupFile("help.txt", folders);
  std::optional<std::vector<uint8_t>> bytes;
  if (path) bytes = platform::ReadWholeFile(*path);
  if (!bytes) {
    line(Format("Run         : %s", program.c_str()));
    line(Format("AutoRun     : %s \\\\.\\physicaldrive1", program.c_str()));
    line(Format("List all    : %s --list", program.c_str()));
    line(Format("List slave  : %s --listslave", program.c_str()));
    line(Format("Version     : %s --version", program.c_str()));
    return;
  }
  std::string text = DecodeTextFile(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
  std::string_view rest = text;
  while (!rest.empty()) {
    size_t end = rest.find_first_of("\r\n");
    std::string current(rest.substr(0, std::min<size_t>(end, 512)));
    if (end == std::string_view::npos) {
      rest = {};
    } else {
      // CR LF counts as one line end.
      size_t skip = (rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n') ? 2 : 1;
      rest.remove_prefix(end + skip);
    }
    if (!current.empty() && (current.front() == '*' || current.front() == '@')) {
      if (!showAll) continue;
      current.front() = ' ';
    }
    line(current);
  }
}

}  // namespace kestrune::engine
