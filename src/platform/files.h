// Plain file helpers over std::filesystem, with UTF-8 paths on every platform.
// All functions are thread-safe as far as the file system is; none throws.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrune::platform {

// A UTF-8 path as a filesystem path (on Windows this keeps non-ANSI names intact).
std::filesystem::path FsPath(const std::string& utf8);
std::string Utf8Path(const std::filesystem::path& p);

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path);
// Creates or truncates the file and writes bytes. False on any failure.
bool WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes);
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
bool RemoveFile(const std::string& path);
bool CopyFileOver(const std::string& from, const std::string& to);

// Creates path for binary writing only when no file of that name exists (an exclusive create: of
// two processes racing for one name, one wins). nullptr when the name is taken or on any failure.
std::FILE* CreateNewFile(const std::string& path);

// Opens path for binary appending, creating it when missing. nullptr on any failure.
std::FILE* OpenAppendFile(const std::string& path);

// Opens path for binary reading, or creates or truncates it for binary writing. nullptr on any
// failure.
std::FILE* OpenReadFile(const std::string& path);
std::FILE* OpenWriteFile(const std::string& path);

// Moves the file at 64-bit offset of f (false when it cannot).
bool SeekFile(std::FILE* f, uint64_t offset);

// The size of the regular file at path; nullopt when there is none.
std::optional<uint64_t> FileSizeOf(const std::string& path);


// Creates one folder only when nothing of that name exists (of two processes racing for one name,
// one wins). False when the name is taken or on any failure.
bool CreateNewFolder(const std::string& path);

// Names (not paths) of the regular files in folder, sorted by name.
std::vector<std::string> ListFiles(const std::string& folder);

}  // namespace kestrune::platform
