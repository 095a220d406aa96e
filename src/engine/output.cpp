#include "engine/output.h"

#include <algorithm>
#include <cstdarg>
#include <fstream>

#include "base/text.h"
#include "base/unicode.h"
#include "engine/console_copy.h"
#include "platform/files.h"
#include "platform/host.h"

namespace kestrune::engine {

using base::CutChars;
using base::Format;
using base::Utf16Le;

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

std::vector<std::string> DataFileDump(const std::string& path) {
  uint8_t head[kShortDumpBytes];
  size_t got = 0;
  std::ifstream in(platform::FsPath(path), std::ios::binary);
  if (in) {
    in.read(reinterpret_cast<char*>(head), sizeof head);
    got = static_cast<size_t>(in.gcount());
  }
  std::vector<std::string> lines = ShortHexDump(std::span<const uint8_t>(head, got));
  lines.push_back("Hex File : " + path);
  return lines;
}

namespace {

// The result file the lines of the calling thread belong to; null on the run thread (and any other
// thread outside a BackgroundScope), whose lines go to whatever file is open.
thread_local const ResultFileRef* tOwner = nullptr;

std::FILE* CreateResultFile(const std::string& folder) {
  std::string path = platform::JoinPath(folder, "_Result.txt");
#ifdef _WIN32
  return _wfopen(platform::FsPath(path).c_str(), L"wb");
#else
  return std::fopen(path.c_str(), "wb");
#endif
}

// Delivery lock held.
void CloseLocked(ViewOutput* view) {
  if (view->resultFile) std::fclose(view->resultFile);
  view->resultFile = nullptr;
  view->resultFileId = 0;
}

// Delivery lock held. True when the calling thread's lines may go into the open result file.
bool OwnsOpenFile(const ViewOutput* view) {
  return view->resultFile && (!tOwner || tOwner->id == view->resultFileId);
}

// Delivery lock held.
void AppendToResultFile(ViewOutput* view, std::string_view text) {
  std::string bytes = Utf16Le(text);
  std::fwrite(bytes.data(), 1, bytes.size(), view->resultFile);
  std::fflush(view->resultFile);
}

LineRef NewestLine(const ViewOutput* view) {
  return LineRef{view->generation, view->lines.empty() ? static_cast<size_t>(-1) : view->lines.size() - 1};
}

}  // namespace

OutputWriter::BackgroundScope::BackgroundScope(ResultFileRef owner) : saved_(tOwner), owner_(owner) {
  tOwner = &owner_;
}

OutputWriter::BackgroundScope::~BackgroundScope() { tOwner = saved_; }

OutputWriter::OutputWriter(OutputSettings settings, platform::Host& host) : settings_(settings), host_(host) {
  if (settings_.console) sinks_.push_back(std::make_shared<ConsoleCopy>(settings_));
}

void OutputWriter::CloseResultFile(ViewOutput* view) {
  if (!view) return;
  std::lock_guard<std::mutex> guard(view->delivery);
  CloseLocked(view);
}

ResultFileRef OutputWriter::OpenResultFile(ViewOutput* view) {
  if (!view) return {};
  std::lock_guard<std::mutex> guard(view->delivery);
  return ResultFileRef{view->resultFileId};
}

LineRef OutputWriter::WriteLine(ViewOutput* view, std::string_view rawText, int type, int32_t fontSize,
                                uint32_t colour, int32_t kind, std::string_view attachedPath) {
  if (!view) return {};
  std::string_view text = CutChars(rawText, kLineChars);
  std::unique_lock<std::mutex> delivery(view->delivery);

  // The result file first: a header's own text belongs to the file it opens.
  if (type == kHeader && !tOwner) {
    CloseLocked(view);
    view->resultFile = CreateResultFile(view->baseLogFolder);
    if (view->resultFile) view->resultFileId = ++view->lastResultFileId;
  } else if (type == kClosingDetail && OwnsOpenFile(view)) {
    CloseLocked(view);
  }

  OutputLine line;
  std::string written;  // the text before its line end is dropped
  LineRef ref;
  bool reset = false;
  {
    std::lock_guard<std::mutex> store(view->lock);
    bool hidden = type == kHeader && view->hideHeaders && settings_.debugLevel == 0;
    if (hidden || text.empty()) return NewestLine(view);
    if (view->lines.size() >= kStoreLines || (type == kHeader && view->lines.size() >= kStoreResetAt - 1)) {
      view->lines.clear();
      ++view->generation;
      reset = true;
    }
    line.view = view->index;
    line.fontSize = fontSize;
    line.colour = colour;
    line.kind = kind;
    line.attachedPath = std::string(CutChars(attachedPath, kLineChars));
    ++view->lineCounter;
    if (type == kHeader) {
      platform::LocalTime t = host_.Now();
      written = std::string(CutChars(Format("<%02d:%02d:%02d-%llu> %.*s", t.hour, t.minute, t.second,
                                            static_cast<unsigned long long>(view->lineCounter),
                                            static_cast<int>(text.size()), text.data()),
                                     kLineChars));
    } else {
      written = std::string(text);
    }
    line.header = type == kPlain || type == kHeader ? 1 : 0;
    line.text = written;
    if (!line.text.empty() && line.text.back() == '\n') line.text.pop_back();
    if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
    view->lines.push_back(line);
    ref = NewestLine(view);
  }

  // I/O, in line order, outside the store lock.
  const bool intoFile = OwnsOpenFile(view);
  if (intoFile) {
    if (kind == kText || kind == kTextAlwaysOnConsole)
      AppendToResultFile(view, written + "\n");
    else if (kind == kPicture)
      AppendToResultFile(view, "FINDIMAGE:" + line.attachedPath + "\n");
  }
  AddedLine added{view->index, type, line, written, intoFile};
  for (const auto& sink : sinks_) sink->LineAdded(added);
  delivery.unlock();
  for (const auto& observer : observers_) {
    if (reset) observer->LinesReset(added.view, ref.generation);
    observer->LineAppended(added.view, ref);
  }
  return ref;
}

bool OutputWriter::MakeDurable() {
  bool ok = true;
  for (const auto& sink : sinks_) ok = sink->MakeDurable() && ok;
  return ok;
}

void OutputWriter::ClearLines(ViewOutput* view) {
  if (!view) return;
  uint64_t generation = 0;
  {
    std::lock_guard<std::mutex> delivery(view->delivery);
    std::lock_guard<std::mutex> store(view->lock);
    view->lines.clear();
    generation = ++view->generation;
  }
  for (const auto& observer : observers_) observer->LinesReset(view->index, generation);
}

LineRef OutputWriter::WriteDataFile(ViewOutput* view, uint32_t colour, std::string_view path, bool show) {
  if (!view) return {};
  LineRef ref;
  if (show) {
    ref = WriteLine(view, path, kDetail, 10, colour, kDataFile, path);
  } else {
    std::lock_guard<std::mutex> store(view->lock);
    ref = NewestLine(view);
  }
  std::lock_guard<std::mutex> delivery(view->delivery);
  if (OwnsOpenFile(view)) AppendToResultFile(view, "FINDHEX:" + std::string(path) + "\n");
  return ref;
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
  std::unique_lock<std::mutex> delivery(view->delivery);
  OutputLine line;
  {
    std::lock_guard<std::mutex> store(view->lock);
    if (ref.generation != view->generation || ref.index >= view->lines.size()) return false;
    view->lines[ref.index].text = std::string(CutChars(text, kLineChars));
    line = view->lines[ref.index];
  }
  for (const auto& sink : sinks_) sink->LineRewritten(view->index, line);
  delivery.unlock();
  for (const auto& observer : observers_) observer->LineRewritten(view->index, ref);
  return true;
}

}  // namespace kestrune::engine
