// Where the named objects of one user live on Linux, and opening them so that they stay that user's
// own: the per-user names, the lock folder, and files created with mode 0600 that are refused when
// they belong to another user, grant group or other access, or are symbolic links.
//
// Other users can write to /dev/shm and /tmp and can guess every name there, so nothing found under
// such a name is trusted before it has been checked. All functions are thread-safe.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace kestrune::platform::user_objects {

// The name of a user's object: "kestrune.UID.NAME", name made a single path component ("/" and NUL
// become "_").
std::string UserObjectName(std::string_view name, uid_t uid);

// What makes st unfit as an object of uid, as a clause ("it belongs to user 1000, not to user 0"),
// or "" when st is a regular file (a folder when folder is set) of uid without group or other
// access. st comes from lstat or fstat.
std::string PrivacyProblem(const struct stat& st, uid_t uid, bool folder);

// parent/kestrune-UID, made with mode 0700 when it is missing. It must be a folder of uid with mode
// 0700 that is no symbolic link (checked with lstat); otherwise nullopt, and why says what is wrong.
std::optional<std::string> PrivateFolderIn(const std::string& parent, uid_t uid, std::string& why);

// The folder for the lock files of uid: runtimeDir ($XDG_RUNTIME_DIR; may be null) when it is an
// absolute path to a folder of uid without group or other access and no symbolic link, else
// PrivateFolderIn(fallbackParent).
std::optional<std::string> UserLockFolder(const char* runtimeDir, const std::string& fallbackParent,
                                          uid_t uid, std::string& why);

// How a private file is opened: open(2) on a path (never following a symbolic link), or shm_open(3)
// on a shared-memory name.
enum class FileKind { kLockFile, kSharedMemory };

// Opens the file name of kind for reading and writing, creating it with mode 0600 (whatever the
// umask) when it is missing. An existing file must pass PrivacyProblem for uid. shownPath is where
// the file lies, for checks by path and for messages. Returns the descriptor (close-on-exec), or -1
// with why saying what was refused or what failed, naming the file as "the <what> <shownPath>".
int OpenPrivateFile(FileKind kind, const std::string& name, const std::string& shownPath,
                    std::string_view what, uid_t uid, std::string& why);

// The objects of this process's effective user: the shared-memory name of block name
// ("/kestrune.UID.NAME"), where that block lies ("/dev/shm/kestrune.UID.NAME"), and the lock file of
// lock name (in UserLockFolder($XDG_RUNTIME_DIR, "/tmp"); nullopt with why when there is no safe
// folder).
std::string SharedBlockName(std::string_view name);
std::string SharedBlockPath(std::string_view name);
std::optional<std::string> LockFilePath(std::string_view name, std::string& why);

}  // namespace kestrune::platform::user_objects
