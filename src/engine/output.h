// The output-line writer: every line a command says goes through here, to the view's output list,
// the console (console form), the debugger copy and the per-command result file "_Result.txt".
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::engine {

// COLORREF values (0x00BBGGRR).
namespace colour {
inline constexpr uint32_t kWhite = 0xFFFFFF;
inline constexpr uint32_t kYellow = 0x00FFFF;
inline constexpr uint32_t kCyan = 0xFFFF00;
inline constexpr uint32_t kGrey = 0x969696;
inline constexpr uint32_t kGreen = 0x00FF00;
inline constexpr uint32_t kRed = 0x0000FF;
inline constexpr uint32_t kOrange = 0x277FFF;
inline constexpr uint32_t kLightBlue = 0xFF9632;
}  // namespace colour

// Line types.
enum LineType : int { kDetail = 0, kPlain = 1, kHeader = 2, kClosingDetail = 3 };
// Line kinds.
enum LineKind : int32_t {
  kText = 0,
  kPicture = 1,
  kDataFile = 2,
  kTextNotInHtml = 3,
  kTextAlwaysOnConsole = 4
};

inline constexpr size_t kLineChars = 250;
inline constexpr size_t kStoreLines = 21000;
inline constexpr size_t kStoreResetAt = 20000;
inline constexpr uint32_t kNoView = 255;

struct OutputLine {
  int32_t fontSize = 10;
  uint32_t colour = colour::kWhite;
  uint8_t header = 0;
  int32_t kind = kText;
  std::string text;
  std::string attachedPath;
};

// Where console copies of lines go in the console form. Implemented by the program's console
// (stdout plus the optional mirror file) and by tests.
class ConsoleSink {
 public:
  virtual ~ConsoleSink() = default;
  // Prints one line (no line end included). Called with the view's output lock held.
  virtual void PrintLine(std::string_view text) = 0;
  // Sends a copy to the debugger (debug level 2).
  virtual void DebugCopy(std::string_view text) {}
};

// Identifies a line across store resets: a line is found again only while its generation is current.
struct LineRef {
  uint64_t generation = 0;
  size_t index = static_cast<size_t>(-1);
};

// Output state of one view. All members are guarded by lock; the writer takes it.
struct ViewOutput {
  std::mutex lock;
  std::deque<OutputLine> lines;  // the output list (at most kStoreLines)
  uint64_t generation = 1;       // incremented at every store reset
  uint64_t lineCounter = 0;      // never reset during the process
  std::FILE* resultFile = nullptr;
  std::string baseLogFolder;  // where "_Result.txt" is created
  bool hideHeaders = false;
};

// Presentation settings the writer needs from start-up.
struct OutputSettings {
  bool consoleForm = false;
  int style = 0;  // 40: only kind-4 lines reach the console
  int debugLevel = 0;
  ConsoleSink* console = nullptr;
};

// Clock used for header time stamps.
using HeaderClock = void (*)(int& hour, int& minute, int& second);

class OutputWriter {
 public:
  OutputWriter(OutputSettings settings, HeaderClock clock);

  // Writes a line to view (kNoView: only the result-file effect of the type happens). Returns a
  // reference to the newest line of the view's list. Thread-safe (takes the view's lock).
  LineRef WriteLine(ViewOutput* view, std::string_view text, int type, int32_t fontSize, uint32_t colour,
                    int32_t kind = kText, std::string_view attachedPath = {});

  // Announces a data file (a dump a command produced). With show, writes a detail line of kind
  // kDataFile, size 10, whose text and attached path are path, and returns it; otherwise returns the
  // newest line as it is. Either way, while the result file is open, "FINDHEX:<path>" goes into it so
  // that ResultHex finds the file. Thread-safe (takes the view's lock).
  LineRef WriteDataFile(ViewOutput* view, uint32_t colour, std::string_view path, bool show);

  // Formats (portable printf formats) into at most 1,023 characters and writes it as kind 0.
  LineRef WriteFormatted(ViewOutput* view, int type, int32_t fontSize, uint32_t colour, const char* fmt, ...)
      __attribute__((format(gnu_printf, 6, 7)));

  // Rewrites the text of an existing line in place (countdowns, progress). False when the line is
  // gone (the store was reset since) — the caller may then write a new line.
  bool RewriteLine(ViewOutput* view, LineRef ref, std::string_view text);

  // Closes the view's result file if open.
  static void CloseResultFile(ViewOutput* view);

  const OutputSettings& settings() const { return settings_; }

 private:
  // WriteLine with the view's lock held.
  LineRef WriteLineLocked(ViewOutput* view, std::string_view text, int type, int32_t fontSize,
                          uint32_t colour, int32_t kind, std::string_view attachedPath);
  void WriteResultFile(ViewOutput* view, std::string_view text);
  // The console form's short dump of a data file: ShortHexDump of its first bytes, then its path.
  void PrintDataFileDump(const std::string& path);

  OutputSettings settings_;
  HeaderClock clock_;
};

// Bytes a console dump of a data file shows at most, and bytes per dump line.
inline constexpr size_t kShortDumpBytes = 64;
inline constexpr size_t kShortDumpLineBytes = 16;

// The lines of the console's short dump of bytes (at most kShortDumpBytes of them are used): per 16
// bytes "%08Xh: ", "%02X " per byte (three blanks for each byte past the end), " ; " and the bytes as
// characters (bytes below 32 as "."). No line ends, no indent.
std::vector<std::string> ShortHexDump(std::span<const uint8_t> bytes);

// Cuts UTF-8 text after at most chars characters (code points), never inside a character.
std::string_view CutChars(std::string_view text, size_t chars);

// UTF-8 to UTF-16LE bytes (invalid sequences become U+FFFD).
std::string Utf16Le(std::string_view utf8);
// UTF-16LE bytes to UTF-8.
std::string FromUtf16Le(std::string_view bytes);

}  // namespace kestrune::engine
