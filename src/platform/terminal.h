// The process's own console streams: whether an operator types at standard input, reading a line
// typed there, and sending standard output to a file.
#pragma once

#include <atomic>
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

// Sends standard output from now on to the file path (created when missing; appended to when append
// is true, else emptied first), or, for an empty path, back to where it went when the program
// started. Child processes started afterwards inherit the new standard output. Returns false, with
// standard output left as it was, when the file cannot be opened. Thread-safe.
bool RedirectStandardOutput(const std::string& path, bool append);

}  // namespace kestrune::platform
