// Copies of a run's log folder: the destination that SetLogFolder names, and the copy of the log
// folder's files into it (at run end, and by LogUpload).
#pragma once

#include <string>
#include <string_view>

namespace kestrune::engine {

// The folder a SetLogFolder text names. Both slash kinds become separator. A full path (":",
// a leading separator — on Windows also a UNC "\\server\share" path) is used as it is; a text
// beginning with "." is taken in programFolder, any other text in scriptFolder. "" for an empty text.
std::string ResolveUploadFolder(std::string_view text, const std::string& programFolder,
                                const std::string& scriptFolder, char separator);

// Copies every file (not the sub-folders) of from into to, creating to when it is missing and
// overwriting files of the same name. Nothing happens when both name the same folder. False when
// the folder could not be made or a file could not be copied (the others are still copied).
bool CopyFolderFiles(const std::string& from, const std::string& to);

}  // namespace kestrune::engine
