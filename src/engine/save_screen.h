// Save Screen: a view's output list saved into a new folder "[SaveScreen_<date>-<time>-<ms>]" as
// "TestLog.txt" (UTF-16LE), "TestLog.htm" and copies of every file the lines show or attach, the
// page linking to the copies.
#pragma once

#include <string>
#include <vector>

#include "engine/output.h"
#include "platform/host.h"

namespace kestrune::engine {

struct SaveScreenOutcome {
  enum class Status {
    kNoData,        // the output list is empty: nothing was made ("No Data")
    kFolderFailed,  // the folder could not be made (folder names it)
    kWriteFailed,   // TestLog.txt or TestLog.htm could not be written (failed names it)
    kCopyFailed,    // some files could not be copied (failed names them); the rest is saved
    kDone,          // "Save Screen Finish"
  };
  Status status = Status::kNoData;
  std::string folder;               // the folder made
  std::vector<std::string> failed;  // paths that could not be copied or written
};

// The folder's name for the time now, "[SaveScreen_%d%02d%02d-%02d%02d%02d-%03d]".
std::string SaveScreenFolderName(const platform::LocalTime& now);

// Saves view's lines below parent (the desktop). The folder is created exclusively: when another
// save (another instance, the same millisecond) has the name, "_2", "_3", ... is added. Copies that
// would share a name get "_2", ... before their extension; each file is copied once. Takes the
// view's store lock only to copy the list. Thread-safe.
SaveScreenOutcome SaveScreen(ViewOutput& view, const std::string& parent, const platform::LocalTime& now);

}  // namespace kestrune::engine
