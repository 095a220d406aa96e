// The output-line writer: every line a command says goes through here, to the view's output list,
// the console (console form), the debugger copy and the per-command result file "_Result.txt".
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::platform {
class Host;
}

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
inline constexpr uint32_t kOlive = 0x008080;
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
  uint32_t view = 0;
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
  // Prints one line (no line end included). Called in line order under the view's delivery lock
  // (never under its store lock), so it may block on the terminal without stalling readers.
  virtual void PrintLine(std::string_view text) = 0;
  // Sends a copy to the debugger (debug level 2). Same calling rules as PrintLine.
  virtual void DebugCopy(std::string_view text) {}
  // The new text of a line rewritten in place (a countdown, a pass count), for a transient status
  // line that the next ordinary line replaces. Same calling rules as PrintLine.
  virtual void RewrittenLine(std::string_view text) {}
};

// Identifies a line across store resets: a line is found again only while its generation is current.
struct LineRef {
  uint64_t generation = 0;
  size_t index = static_cast<size_t>(-1);
};

// Names one "_Result.txt" of a view: each header line of the run thread closes the open file and
// opens a new one with a new id. id 0 is "no file".
struct ResultFileRef {
  uint64_t id = 0;
};

// Output state of one view, under two locks that are always taken in this order:
// - delivery orders the writers of the view and guards the result file and the sinks' I/O;
// - lock guards the store (the output list and its counters). It is held only for memory work, so
//   a reader of the list (the window, Result) never waits for a terminal or a disk.
// A thread that holds lock must not take delivery.
struct ViewOutput {
  std::mutex lock;
  std::deque<OutputLine> lines;  // the output list (at most kStoreLines)
  uint64_t generation = 1;       // incremented at every store reset
  uint64_t lineCounter = 0;      // never reset during the process
  bool hideHeaders = false;

  std::mutex delivery;
  std::FILE* resultFile = nullptr;  // "_Result.txt" of the command whose header opened it
  uint64_t resultFileId = 0;        // its ResultFileRef id; 0 while no file is open
  uint64_t lastResultFileId = 0;    // the id the latest header gave
  uint32_t index = kNoView;         // the view's number, as sinks are told
  std::string baseLogFolder;        // where "_Result.txt" is created; set before a run starts
};

// A line as the writer hands it to its sinks.
struct AddedLine {
  uint32_t view = 0;
  int type = kDetail;          // the line type it was written with
  const OutputLine& line;      // as stored in the list
  std::string_view text;       // the stored text before its trailing line end was dropped
  bool inResultFile = false;   // the text also went to the open "_Result.txt"
};

// A receiver of every line the writer stores (the console copy, and the HTML log, "TestLog.txt" and
// the window's list as they come). Calls arrive in line order on the writing thread under the
// view's delivery lock, never under its store lock; a sink may do I/O but must not write lines.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  // A line was added to its view's list.
  virtual void LineAdded(const AddedLine& added) = 0;
  // A line's text was rewritten in place.
  virtual void LineRewritten(uint32_t view, const OutputLine& line) {}
  // Makes every line this sink wrote to a file so far durable on the disk, before the machine goes
  // down on purpose (a restart or power cut without a shutdown keeps only what reached the disk).
  // False when that failed. Thread-safe.
  virtual bool MakeDurable() { return true; }
};

// Told of every change of a view's output list: a line appended, a line's text rewritten, the list
// emptied (the store's reset or Clean Screen). Calls come on the writing thread after the writer has
// let go of every lock of the view, so an observer may read the list, write lines or wait for
// another thread that does. They come in order for one writing thread; writers on several threads
// may overtake one another, so a receiver that shows the list reads it back from the store (by
// generation and index) rather than trusting the order of calls. Coalescing is the receiver's: the
// window posts itself one message while none is pending.
class ViewObserver {
 public:
  virtual ~ViewObserver() = default;
  // line is the new line (its generation and index in the list).
  virtual void LineAppended(uint32_t view, LineRef line) = 0;
  // The text of line changed.
  virtual void LineRewritten(uint32_t view, LineRef line) = 0;
  // The list was emptied; generation is the new one.
  virtual void LinesReset(uint32_t view, uint64_t generation) = 0;
};

// Presentation settings the writer needs from start-up.
struct OutputSettings {
  bool consoleForm = false;
  int style = 0;  // 40: only kind-4 lines reach the console
  int debugLevel = 0;
  ConsoleSink* console = nullptr;
};

class OutputWriter {
 public:
  // host gives the header time stamps. With settings.console set, a console-copy sink is the first
  // sink.
  OutputWriter(OutputSettings settings, platform::Host& host);

  // Writes a line to view (kNoView: only the result-file effect of the type happens). Returns a
  // reference to the newest line of the view's list. Thread-safe.
  //
  // On the run thread a header line closes the open "_Result.txt" and opens a new one, and a closing
  // detail line closes it. On a thread inside a BackgroundScope the line belongs to that scope's
  // file: it reaches "_Result.txt" only while that file is still the open one, a header opens
  // nothing, and a closing detail closes only that file.
  LineRef WriteLine(ViewOutput* view, std::string_view text, int type, int32_t fontSize, uint32_t colour,
                    int32_t kind = kText, std::string_view attachedPath = {});

  // Announces a data file (a dump a command produced). With show, writes a detail line of kind
  // kDataFile, size 10, whose text and attached path are path, and returns it; otherwise returns the
  // newest line as it is. Either way, while the result file is open (and is the writer's own, as
  // for WriteLine), "FINDHEX:<path>" goes into it so that ResultHex finds the file. Thread-safe.
  LineRef WriteDataFile(ViewOutput* view, uint32_t colour, std::string_view path, bool show);

  // Formats (portable printf formats) into at most 1,023 characters and writes it as kind 0.
  LineRef WriteFormatted(ViewOutput* view, int type, int32_t fontSize, uint32_t colour, const char* fmt, ...)
      __attribute__((format(gnu_printf, 6, 7)));

  // Rewrites the text of an existing line in place (countdowns, progress) and shows the new text on
  // the console's status line. False when the line is gone (the store was reset since) — the caller
  // may then write a new line. Thread-safe.
  bool RewriteLine(ViewOutput* view, LineRef ref, std::string_view text);

  // Empties the view's output list ("Clean Screen"): a new generation, so that older LineRefs find
  // nothing. Thread-safe.
  void ClearLines(ViewOutput* view);

  // Closes the view's result file if open. Thread-safe; the caller must not hold view->lock.
  static void CloseResultFile(ViewOutput* view);

  // The result file open on view now ({0} when none). Thread-safe.
  static ResultFileRef OpenResultFile(ViewOutput* view);

  // Makes every sink's files durable (OutputSink::MakeDurable). False when one failed. Thread-safe.
  bool MakeDurable();

  // Adds a sink after the console copy. Call before any line is written.
  void AddSink(std::shared_ptr<OutputSink> sink) { sinks_.push_back(std::move(sink)); }

  // Adds an observer of every view's list. Call before any line is written.
  void AddObserver(std::shared_ptr<ViewObserver> observer) { observers_.push_back(std::move(observer)); }

  const OutputSettings& settings() const { return settings_; }

  // While alive, makes the lines written on the calling thread belong to owner (see WriteLine).
  // Background writers (a program started without waiting, a child script's import) take the ref of
  // their command's file when they are started and open a scope at the top of their thread.
  class BackgroundScope {
   public:
    explicit BackgroundScope(ResultFileRef owner);
    ~BackgroundScope();
    BackgroundScope(const BackgroundScope&) = delete;
    BackgroundScope& operator=(const BackgroundScope&) = delete;

   private:
    const ResultFileRef* saved_;
    ResultFileRef owner_;
  };

 private:
  OutputSettings settings_;
  platform::Host& host_;
  std::vector<std::shared_ptr<OutputSink>> sinks_;
  std::vector<std::shared_ptr<ViewObserver>> observers_;
};

// Bytes a console dump of a data file shows at most, and bytes per dump line.
inline constexpr size_t kShortDumpBytes = 64;
inline constexpr size_t kShortDumpLineBytes = 16;

// The lines of the console's short dump of bytes (at most kShortDumpBytes of them are used): per 16
// bytes "%08Xh: ", "%02X " per byte (three blanks for each byte past the end), " ; " and the bytes as
// characters (bytes below 32 as "."). No line ends, no indent.
std::vector<std::string> ShortHexDump(std::span<const uint8_t> bytes);

// How a data file is shown without a hex viewer (the console's copy, the window's row): the
// ShortHexDump of its first bytes (none when it cannot be read), then "Hex File : <path>".
std::vector<std::string> DataFileDump(const std::string& path);

}  // namespace kestrune::engine
