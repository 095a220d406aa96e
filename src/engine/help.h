// The help text: three fixed target lines, then helpw.txt or help.txt, or a short usage summary.
#pragma once

#include <string>

#include "engine/file_lookup.h"
#include "engine/output.h"

namespace kestrune::engine {

// Prints the help lines to view as white plain lines. Lines of the help file that begin with "*"
// or "@" are shown only with showAll, their first character replaced by a blank.
void PrintHelp(OutputWriter& writer, ViewOutput* view, bool showAll, const LookupFolders& folders,
               const std::string& programFileName);

}  // namespace kestrune::engine
