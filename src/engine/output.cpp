#include "engine/output.h"

#include <algorithm>
#include <cstdarg>
#include <fstream>

#include "engine/text.h"
#include "platform/files.h"
#include "platform/host.h"

namespace kestrune::engine {

std::string_view CutChars(std::string_view text, size_t chars) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<uint8_t>(text[i]) & 0xC0) != 0x80) {
      if (count == chars) return text.substr(0, i);
      ++count;
    }
  }
  return text;
}

std::string Utf16Le(std::string_view s) {
  std::string out;
  out.reserve(s.size() * 2);
  auto put = [&out](uint32_t u) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  };
  for (size_t i = 0; i < s.size();) {
    uint8_t c = static_cast<uint8_t>(s[i]);
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
      cp = ((c & 0x1Fu) << 6) | (static_cast<uint8_t>(s[i + 1]) & 0x3Fu);
      len = 2;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < s.size()) {
      cp = ((c & 0x0Fu) << 12) | ((static_cast<uint8_t>(s[i + 1]) & 0x3Fu) << 6) |
           (static_cast<uint8_t>(s[i + 2]) & 0x3Fu);
      len = 3;
    } else if ((c & 0xF8) == 0xF0 && i + 3 < s.size()) {
      cp = ((c & 0x07u) << 18) | ((static_cast<uint8_t>(s[i + 1]) & 0x3Fu) << 12) |
           ((static_cast<uint8_t>(s[i + 2]) & 0x3Fu) << 6) | (static_cast<uint8_t>(s[i + 3]) & 0x3Fu);
      len = 4;
    }
    i += len;
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp > 0xFFFF ? 0xFFFD : cp);
    }
  }
  return out;
}

std::string FromUtf16Le(std::string_view bytes) {
  std::string out;
  auto emit = [&out](uint32_t cp) {
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  };
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    uint32_t u = static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
      uint32_t lo = static_cast<uint8_t>(bytes[i + 2]) | (static_cast<uint8_t>(bytes[i + 3]) << 8);
      if (lo >= 0xDC00 && lo < 0xE000) {
        emit(0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        i += 2;
        continue;
      }
    }
    emit(u);
  }
  return out;
}

std::vector<std::string> ShortHexDump(std::span<const uint8_t> bytes) {
  bytes = bytes.first(std::min(bytes.size(), kShortDumpBytes));
  std::vector<std::string> lines;
  for (size_t at = 0; at < bytes.size(); at += kShortDumpLineBytes) {
    std::span<const uint8_t> row = bytes.subspan(at, std::min(kShortDumpLineBytes, bytes.size() - at));
    std::string line = Format("%08Xh: ", static_cast<unsigned>(at));
    for (size_t i = 0; i < kShortDumpLineBytes; ++i)
      line += i < row.size() ? Format("%02X ", row[i]) : std::string("   ");
    line += " ; ";
    for (uint8_t b : row) {
      if (b < 32) {
        line += '.';
      } else if (b < 0x80) {
        line += static_cast<char>(b);
      } else {  // a byte taken as a Latin-1 character
        line += static_cast<char>(0xC0 | (b >> 6));
        line += static_cast<char>(0x80 | (b & 0x3F));
      }
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

OutputWriter::OutputWriter(OutputSettings settings, HeaderClock clock) : settings_(settings), clock_(clock) {}

void OutputWriter::CloseResultFile(ViewOutput* view) {
  if (view && view->resultFile) {
    std::fclose(view->resultFile);
    view->resultFile = nullptr;
  }
}

void OutputWriter::WriteResultFile(ViewOutput* view, std::string_view text) {
  if (!view->resultFile) return;
  std::string bytes = Utf16Le(text);
  std::fwrite(bytes.data(), 1, bytes.size(), view->resultFile);
  std::fflush(view->resultFile);
}

LineRef OutputWriter::WriteLine(ViewOutput* view, std::string_view text, int type, int32_t fontSize,
                                uint32_t colour, int32_t kind, std::string_view attachedPath) {
  if (!view) return {};
  std::lock_guard<std::mutex> guard(view->lock);
  return WriteLineLocked(view, text, type, fontSize, colour, kind, attachedPath);
}

LineRef OutputWriter::WriteDataFile(ViewOutput* view, uint32_t colour, std::string_view path, bool show) {
  if (!view) return {};
  std::lock_guard<std::mutex> guard(view->lock);
  LineRef ref = show ? WriteLineLocked(view, path, kDetail, 10, colour, kDataFile, path)
                     : LineRef{view->generation,
                               view->lines.empty() ? static_cast<size_t>(-1) : view->lines.size() - 1};
  WriteResultFile(view, "FINDHEX:" + std::string(path) + "\n");
  return ref;
}

LineRef OutputWriter::WriteLineLocked(ViewOutput* view, std::string_view rawText, int type, int32_t fontSize,
                                      uint32_t colour, int32_t kind, std::string_view attachedPath) {
  std::string_view text = CutChars(rawText, kLineChars);

  if (type == kHeader) {
    CloseResultFile(view);
    std::string path = platform::JoinPath(view->baseLogFolder, "_Result.txt");
    std::error_code ec;
#ifdef _WIN32
    view->resultFile = _wfopen(platform::FsPath(path).c_str(), L"wb");
#else
    view->resultFile = std::fopen(path.c_str(), "wb");
#endif
  } else if (type == kClosingDetail) {
    CloseResultFile(view);
  }

  bool hidden = type == kHeader && view->hideHeaders && settings_.debugLevel == 0;
  if (!hidden && !text.empty()) {
    if (view->lines.size() >= kStoreLines || (type == kHeader && view->lines.size() >= kStoreResetAt - 1)) {
      view->lines.clear();
      ++view->generation;
    }
    OutputLine line;
    line.fontSize = fontSize;
    line.colour = colour;
    line.kind = kind;
    line.attachedPath = std::string(CutChars(attachedPath, kLineChars));
    ++view->lineCounter;
    std::string consoleCopy;
    if (type == kPlain) {
      line.header = 1;
      line.text = std::string(text);
      consoleCopy = line.text;
    } else if (type == kHeader) {
      int h = 0, m = 0, s = 0;
      clock_(h, m, s);
      line.header = 1;
      line.text = std::string(CutChars(
          Format("<%02d:%02d:%02d-%llu> %.*s", h, m, s, static_cast<unsigned long long>(view->lineCounter),
                 static_cast<int>(text.size()), text.data()),
          kLineChars));
      consoleCopy = line.text;
    } else {
      line.text = std::string(text);
      consoleCopy = "        " + line.text;
    }

    if (settings_.consoleForm && settings_.console && (kind == kText || kind == kTextAlwaysOnConsole) &&
        (settings_.style != 40 || kind == kTextAlwaysOnConsole)) {
      std::string_view trimmed = Trim(consoleCopy, true);
      if (!trimmed.empty()) settings_.console->PrintLine(consoleCopy);
    }
    if (settings_.debugLevel == 2 && settings_.console) settings_.console->DebugCopy(consoleCopy);

    if (view->resultFile) {
      if (kind == kText || kind == kTextAlwaysOnConsole)
        WriteResultFile(view, line.text + "\n");
      else if (kind == kPicture)
        WriteResultFile(view, "FINDIMAGE:" + line.attachedPath + "\n");
      else if (kind == kDataFile && settings_.consoleForm && settings_.console)
        PrintDataFileDump(std::string(attachedPath));
    }
    if (!line.text.empty() && line.text.back() == '\n') line.text.pop_back();
    if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
    view->lines.push_back(std::move(line));
  }
  return LineRef{view->generation, view->lines.empty() ? static_cast<size_t>(-1) : view->lines.size() - 1};
}

void OutputWriter::PrintDataFileDump(const std::string& path) {
  uint8_t head[kShortDumpBytes];
  size_t got = 0;
  std::ifstream in(platform::FsPath(path), std::ios::binary);
  if (in) {
    in.read(reinterpret_cast<char*>(head), sizeof head);
    got = static_cast<size_t>(in.gcount());
  }
  for (const std::string& line : ShortHexDump(std::span<const uint8_t>(head, got)))
    settings_.console->PrintLine("        " + line);
  settings_.console->PrintLine("        Hex File : " + path);
}

LineRef OutputWriter::WriteFormatted(ViewOutput* view, int type, int32_t fontSize, uint32_t colour,
                                     const char* fmt, ...) {
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return WriteLine(view, buf, type, fontSize, colour, kText);
}

bool OutputWriter::RewriteLine(ViewOutput* view, LineRef ref, std::string_view text) {
  if (!view) return false;
  std::lock_guard<std::mutex> guard(view->lock);
  if (ref.generation != view->generation || ref.index >= view->lines.size()) return false;
  view->lines[ref.index].text = std::string(CutChars(text, kLineChars));
  return true;
}

}  // namespace kestrune::engine
