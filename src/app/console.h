// The console of the console form: standard output plus the optional "/outfile" mirror, and the
// transient status line that long commands rewrite in place.
#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "engine/output.h"
#include "platform/host.h"

namespace kestrune::app {

class Console final : public engine::ConsoleSink {
 public:
  explicit Console(platform::Host& host) : host_(host) {}
  ~Console() override;

  // Creates (truncating) the mirror file, or with append opens it to add to its end (a run that goes
  // on after a restart). False when it cannot be opened; output then stays
  // unmirrored.
  bool OpenMirror(const std::string& path, bool append = false);

  // Prints text as it is (no line end added) to standard output and the mirror.
  void Print(std::string_view text);

  // engine::ConsoleSink: prints the line followed by "\n", ending a pending status line first.
  void PrintLine(std::string_view text) override;
  void DebugCopy(std::string_view text) override;

  // Shows a transient status line ("\r        %s" ESC "[K") that the next status or ordinary line
  // replaces. In the mirror file the line is kept until an ordinary line follows it.
  void StatusLine(std::string_view text);

  // engine::ConsoleSink: a rewritten line becomes the status line while ShowRewrittenLines is on
  // (start-up turns it on when standard output is a terminal; a log file gets no redrawn lines).
  void RewrittenLine(std::string_view text) override;
  void ShowRewrittenLines(bool on) { showRewrites_ = on; }

 private:
  void EndStatusLine();  // lock held

  platform::Host& host_;
  std::mutex lock_;
  std::FILE* mirror_ = nullptr;
  bool statusPending_ = false;
  std::atomic<bool> showRewrites_{false};
  long statusStart_ = 0;
};

}  // namespace kestrune::app
