// The process's own console streams: whether an operator types at standard input, reading a line
// typed there, and sending standard output to a file.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kestrune::platform {

// True when an operator can be asked at the terminal: standard input and standard output are both an
// interactive terminal (a console). Thread-safe.
bool OperatorAtTerminal();

// True when standard output is an interactive terminal (a console), where a transient status line
// can be redrawn in place. Thread-safe.
bool StandardOutputIsTerminal();

// Reads one line from standard input and returns it without its line end. nullopt at the end of the
// input, on a read error, or once cancel (may be null) turns true; Linux looks at cancel every 100 ms
// while it waits, Windows before it reads (there Ctrl-C ends the read). Call from one thread at a
// time.
std::optional<std::string> ReadStandardInputLine(const std::atomic<bool>* cancel);

// What a PromptReader saw.
struct PromptEvent {
  enum class Kind {
    kLine,     // Enter ended a line: line holds it (without its line end)
    kEscape,   // the Escape key (alone, not the start of a cursor key's sequence)
    kEnd,      // the end of the input (Ctrl-D, Ctrl-Z on an empty line, or a closed input)
    kTimeout,  // the time ran out, or cancel turned true, before a line was ended
  };
  Kind kind = Kind::kTimeout;
  std::string line;
};

// Reads the reply to one prompt from standard input key by key, so that Escape answers at once and a
// countdown runs while the operator has not typed. On a terminal, typed characters are echoed and
// Backspace and Ctrl-U edit the line; the terminal is given back as it was when the object goes.
// Ctrl-C still interrupts the process. Use from one thread, one object at a time.
class PromptReader {
 public:
  virtual ~PromptReader() = default;
  // Waits at most timeoutMs (kForever: no limit) for the line to end. A line begun and not ended
  // when the time runs out is kept for the next call. cancel (may be null) is looked at every 100 ms.
  virtual PromptEvent Read(uint32_t timeoutMs, const std::atomic<bool>* cancel) = 0;
  // True once a key that edits or ends the line has been typed at this prompt (not Escape, not the
  // end of the input).
  virtual bool Typing() const = 0;
  static constexpr uint32_t kForever = 0xFFFFFFFFu;
};

// A PromptReader on the process's standard input.
std::unique_ptr<PromptReader> OpenPromptReader();

// Sends standard output from now on to the file path (created when missing; appended to when append
// is true, else emptied first), or, for an empty path, back to where it went when the program
// started. Child processes started afterwards inherit the new standard output. Returns false, with
// standard output left as it was, when the file cannot be opened. Thread-safe.
bool RedirectStandardOutput(const std::string& path, bool append);

}  // namespace kestrune::platform
