#include "app/console.h"

#ifdef _WIN32
#include <io.h>
#include <share.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "platform/files.h"

namespace kestrune::app {
namespace {

void TruncateAtCurrent(std::FILE* f) {
  std::fflush(f);
  long pos = std::ftell(f);
  if (pos < 0) return;
#ifdef _WIN32
  _chsize_s(_fileno(f), pos);
#else
  if (::ftruncate(fileno(f), pos) != 0) return;
#endif
}

}  // namespace

Console::~Console() {
  {
    // What follows the program (a shell prompt, the next tool's output) starts on a line of its own.
    std::lock_guard<std::mutex> guard(lock_);
    EndStatusLine();
  }
  if (mirror_) std::fclose(mirror_);
}

bool Console::OpenMirror(const std::string& path, bool append) {
  std::lock_guard<std::mutex> guard(lock_);
  if (mirror_) std::fclose(mirror_);
#ifdef _WIN32
  mirror_ = _wfsopen(platform::FsPath(path).c_str(), append ? L"a+b" : L"w+b", _SH_DENYNO);
#else
  mirror_ = std::fopen(path.c_str(), append ? "a+b" : "w+b");
#endif
  return mirror_ != nullptr;
}

void Console::EndStatusLine() {
  if (!statusPending_) return;
  statusPending_ = false;
  host_.WriteStdout("\n");
  if (mirror_) {
    std::fseek(mirror_, 0, SEEK_END);
    std::fputs("\n", mirror_);
  }
}

void Console::Print(std::string_view text) {
  std::lock_guard<std::mutex> guard(lock_);
  EndStatusLine();
  host_.WriteStdout(text);
  if (mirror_) {
    std::string ansi = host_.ToAnsi(text);
    std::fwrite(ansi.data(), 1, ansi.size(), mirror_);
    std::fflush(mirror_);
  }
}

void Console::PrintLine(std::string_view text) {
  std::string line(text);
  line += '\n';
  Print(line);
}

void Console::DebugCopy(std::string_view text) {
#ifdef _WIN32
  std::string line(text);
  line += '\n';
  OutputDebugStringA(host_.ToAnsi(line).c_str());
#else
  host_.WriteStderr(std::string(text) + "\n");
#endif
}

void Console::RewrittenLine(std::string_view text) {
  if (showRewrites_.load()) StatusLine(text);
}

void Console::StatusLine(std::string_view text) {
  std::lock_guard<std::mutex> guard(lock_);
  std::string line = "\r        " + std::string(text) + "\x1b[K";
  host_.WriteStdout(line);
  if (mirror_) {
    if (statusPending_) std::fseek(mirror_, statusStart_, SEEK_SET);
    else std::fseek(mirror_, 0, SEEK_END);
    statusStart_ = std::ftell(mirror_);
    std::string ansi = host_.ToAnsi(line);
    std::fwrite(ansi.data(), 1, ansi.size(), mirror_);
    TruncateAtCurrent(mirror_);
    std::fseek(mirror_, statusStart_, SEEK_SET);
  }
  statusPending_ = true;
}

}  // namespace kestrune::app
