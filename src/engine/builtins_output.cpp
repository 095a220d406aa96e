// Output commands: PrintEx (text in a size and colour, a picture, or a text file's lines), FontList,
// SetStatusText and ConsoleOut.
#include <algorithm>
#include <fstream>
#include <optional>

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/arguments.h"
#include "engine/expression.h"
#include "engine/file_lookup.h"
#include "engine/file_params.h"
#include "engine/interpreter.h"
#include "engine/literals.h"
#include "engine/picture_size.h"
#include "engine/view.h"
#include "platform/files.h"

namespace kestrune::engine {

namespace code = base::code;
using base::ContainsNoCase;
using base::EqualsNoCase;

namespace {

struct NamedColour {
  const char* name;
  uint32_t colour;
};

// The colours PrintEx knows by name. "WHITE" is among them: its own usage template asks for it.
constexpr NamedColour kColours[] = {
    {"WHITE", colour::kWhite}, {"RED", 0x0000FF},    {"GREEN", 0x00FF00},     {"BLUE", 0xFF9632},
    {"GRAY", 0x969696},        {"MAROON", 0x4C3E85}, {"ORANGE", 0x277FFF},    {"OLIVE", 0x009696},
    {"PURPLE", 0xFA00FA},      {"NAVY", 0x804000},   {"BLUEGREEN", 0xFFFF00}, {"YELLOW", 0x00FFFF},
};

constexpr uint32_t kPictureColour = 0xFF9632;
constexpr uint32_t kMaxPictureRow = 255;
constexpr size_t kTextFileLineBytes = 512;
// Font sizes a line may ask for: the window derives the row height from it.
constexpr int64_t kMinFontSize = 1;
constexpr int64_t kMaxFontSize = 255;

// A colour name's value; an unknown name is red.
uint32_t ColourNamed(std::string_view name) {
  for (const NamedColour& c : kColours)
    if (EqualsNoCase(name, c.name)) return c.colour;
  return colour::kRed;
}

struct PrintExArgs {
  bool leftAlign = false;
  int64_t fontSize = 10;
  std::optional<std::string> colour;  // nullopt: none given (white)
  std::string output;
};

// PrintEx takes its pairs by a fragment of their names, in any order; a pair without a name is the
// output. nullopt when a value does not convert.
std::optional<PrintExArgs> ReadPrintExArgs(const VarList& vars, ErrorSink& errors, std::string_view args) {
  PrintExArgs out;
  while (std::optional<Pair> pair = NextPair(args)) {
    if (pair->value.empty()) continue;
    Value value = ReadValue(vars, errors, pair->value);
    const std::string& name = pair->name;
    if (ContainsNoCase(name, "LeftAlign")) {
      out.leftAlign = ToBoolean(value);
    } else if (ContainsNoCase(name, "Size")) {
      std::optional<int64_t> size = ToInt64(value);
      if (!size) return std::nullopt;
      out.fontSize = std::clamp(*size, kMinFontSize, kMaxFontSize);
    } else if (ContainsNoCase(name, "Color")) {
      std::optional<std::string> text = ToText(value);
      if (!text) return std::nullopt;
      out.colour = std::move(*text);
    } else if (name.empty() || ContainsNoCase(name, "Output")) {
      std::optional<std::string> text = ToText(value);
      if (!text) return std::nullopt;
      out.output = std::move(*text);
    }
  }
  return out;
}

// Color:"TXTFILE": the lines of a text file in the system's ANSI code page, each at most 512 bytes
// (a longer line goes on in the next one).
void PrintTextFile(Interpreter& interp, uint32_t view, const std::string& path, int type, int32_t size) {
  std::ifstream in(platform::FsPath(path), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    for (size_t at = 0; at == 0 || at < line.size(); at += kTextFileLineBytes) {
      std::string piece = interp.host().FromAnsi(std::string_view(line).substr(at, kTextFileLineBytes));
      interp.writer().WriteLine(interp.output(view), piece, type, size, colour::kWhite, kTextAlwaysOnConsole);
    }
  }
}

void PrintEx(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  ReportingSink errors(interp, view);
  std::optional<PrintExArgs> in = ReadPrintExArgs(interp.view(view).vars, errors, args);
  if (!in) return;
  const int type = in->leftAlign ? kPlain : kDetail;
  const auto size = static_cast<int32_t>(in->fontSize);
  OutputWriter& writer = interp.writer();
  ViewOutput* out = interp.output(view);

  if (in->colour && (EqualsNoCase(*in->colour, "IMAGE") || EqualsNoCase(*in->colour, "TXTFILE"))) {
    std::optional<std::string> path = LookupFile(in->output, interp.Folders(view));
    if (!path) return interp.ReportCompletion(view, code::kFileOpenFailed, in->output);
    if (EqualsNoCase(*in->colour, "TXTFILE")) return PrintTextFile(interp, view, *path, type, size);
    // A picture whose size cannot be read gets the tallest row.
    uint32_t height = std::min(PictureHeight(*path).value_or(kMaxPictureRow), kMaxPictureRow);
    writer.WriteLine(out, *path, type, static_cast<int32_t>(height), kPictureColour, kPicture, *path);
    return;
  }
  uint32_t c = in->colour ? ColourNamed(*in->colour) : colour::kWhite;
  writer.WriteLine(out, in->output, type, size, c, kTextAlwaysOnConsole);
  // The window shows the text in its status line too; the console has it on screen already.
  if (!writer.settings().consoleForm) interp.ui().ShowStatus(view, in->output);
}

void FontList(Interpreter& interp, uint32_t view, std::string_view, std::string_view) {
  static constexpr struct {
    const char* text;
    const char* colour;
    int32_t size;
  } kSamples[] = {
      {"WHITE  10", "WHITE", 10},  {"GREEN  14", "GREEN", 14},  {"BLUE   18", "BLUE", 18},
      {"GRAY   22", "GRAY", 22},   {"MAROON 28", "MAROON", 28}, {"ORANGE 32", "ORANGE", 32},
      {"OLIVE  35", "OLIVE", 35},  {"PURPLE 40", "PURPLE", 40}, {"NAVY   50", "NAVY", 50},
      {"YELLOW 60", "YELLOW", 60}, {"RED    70", "RED", 70},
  };
  for (const auto& s : kSamples)
    interp.writer().WriteLine(interp.output(view), s.text, kDetail, s.size, ColourNamed(s.colour),
                              kTextAlwaysOnConsole);
}

void SetStatusText(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"Status", "Progress", "Progress2"});
  std::string status = in.Text("");
  int64_t progress = in.I64(0);
  int64_t extra = in.I64(0);
  if (!in.ok()) return;
  interp.writer().WriteLine(interp.output(view), status, kDetail, 10, colour::kYellow);
  interp.ui().ShowProgress(view, progress, extra);
  interp.ui().ShowStatus(view, status);
}

void ConsoleOut(Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  ReportingSink errors(interp, view);
  ArgReader in(interp.view(view).vars, errors, args, {"Stdout", "Append"});
  std::string file = in.Text("");
  bool append = in.Bool(false);
  if (!in.ok()) return;
  if (file.empty()) {
    interp.ui().RedirectConsole("", false);
    return;
  }
  std::string path = OutputFilePath(interp, view, file);
  // The output stays on the console when the file cannot be had, and the script hears of it.
  if (!interp.ui().RedirectConsole(path, append))
    interp.ReportCompletion(view, code::kOutputFileFailed, path);
}

// The handlers of this file, one row per command table row.
constexpr HandlerRow kHandlers[] = {
    {"PrintEx", kAnyDisk, PrintEx},
    {"FontList", kAnyDisk, FontList},
    {"SetStatusText", kAnyDisk, SetStatusText},
    {"ConsoleOut", kAnyDisk, ConsoleOut},
};

}  // namespace

std::vector<HandlerRow> RegisterOutputCommands(Interpreter& interp) {
  return interp.Register({kHandlers});
}

}  // namespace kestrune::engine
