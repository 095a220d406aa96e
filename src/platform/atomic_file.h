// Replacing a file's contents so that a crash never leaves half a file: the bytes go to a temporary
// file in the same folder, which is then renamed over the target.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace kestrune::platform {

// Writes bytes to a temporary file beside path and renames it over path (creating path when it is
// missing). An existing file's permissions are kept. With sync the temporary file is also flushed
// to the disk before the rename, and the rename itself made durable (the folder synced; on Windows
// written through), so that the new contents survive a power cut. False on any
// failure; the old file is then unchanged and no temporary file is left behind.
bool SaveFileAtomically(const std::string& path, std::string_view bytes, bool sync = false);

// Flushes the stream's buffer and then the file's bytes to the disk (fsync; on Windows _commit).
// False when either fails.
bool SyncToDisk(std::FILE* f);

// Renames from over to (replacing a file of that name) so that the new name survives a power cut:
// Windows writes the rename through; elsewhere the folder holding both is synced after it. False
// on any failure.
bool RenameDurably(const std::string& from, const std::string& to);

// Puts a file that another writer filled (a download, an extraction) in place durably: its bytes
// are flushed to the disk first, then it is renamed over to as RenameDurably does. Without the
// flush, a power cut soon after could leave the new name on a file whose bytes never reached the
// disk. False on any failure; from is then left where it was.
bool PlaceFileDurably(const std::string& from, const std::string& to);

}  // namespace kestrune::platform
