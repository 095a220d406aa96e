#include "engine/html_log.h"

#include "base/text.h"
#include "platform/atomic_file.h"
#include "platform/files.h"
#include "platform/host.h"

namespace kestrune::engine {

using base::Format;

const std::string_view kHtmlLogHead =
    "<html><head><meta http-equiv='Content-Type' content='text/html; charset=utf-8'><title>Kestrune</title>"
    "<style type=\"text/css\">\r\nbody{\r\nbackground-color:#000000;\r\nfont-family:\"Courier New\";\r\n}"
    "</style></head><body>\r\n";

namespace {

constexpr std::string_view kIndent = "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;";

bool Unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

std::string PercentEncode(std::string_view text, std::string_view keep) {
  std::string out;
  for (unsigned char c : text) {
    if (Unreserved(c) || keep.find(static_cast<char>(c)) != std::string_view::npos)
      out += static_cast<char>(c);
    else
      out += Format("%%%02X", c);
  }
  return out;
}

bool SameFolder(std::string_view a, std::string_view b) {
  auto trimmed = [](std::string_view s) {
    while (s.size() > 1 && (s.back() == '/' || s.back() == '\\')) s.remove_suffix(1);
    return s;
  };
  return !a.empty() && trimmed(a) == trimmed(b);
}

std::string TextRow(std::string_view indent, std::string_view colour, int px, const std::string& text,
                    const std::string& link) {
  if (link.empty())
    return Format("%.*s<font color=\"%.*s\" style=\"font-size:%dpx\">%s</font><br>\r\n", static_cast<int>(indent.size()),
                  indent.data(), static_cast<int>(colour.size()), colour.data(), px, text.c_str());
  return Format("%.*s<font color=\"%.*s\" style=\"font-size:%dpx\"><a href=\"%s\">%s</a></font><br>\r\n",
                static_cast<int>(indent.size()), indent.data(), static_cast<int>(colour.size()), colour.data(), px,
                link.c_str(), text.c_str());
}

}  // namespace

std::string HtmlEscape(std::string_view text) { return base::EscapeMarkup(text, true); }

std::string HtmlLink(std::string_view path, std::string_view linkFolder) {
  const std::string p(path);
  if (SameFolder(platform::FolderOf(p), linkFolder)) return PercentEncode(platform::FileNameOf(p), {});
  std::string slashed = p;
  for (char& c : slashed)
    if (c == '\\') c = '/';
  if (slashed.empty() || slashed.front() != '/') slashed.insert(slashed.begin(), '/');
  return "file://" + PercentEncode(slashed, "/:");
}

std::string HtmlColour(uint32_t colour) {
  return Format("#%02X%02X%02X", colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

std::string HtmlLogRow(const OutputLine& line, std::string_view linkFolder) {
  if (line.kind == kTextNotInHtml) return {};
  const std::string_view indent = line.header ? std::string_view{} : kIndent;
  const std::string attached = line.attachedPath.empty() ? std::string() : HtmlLink(line.attachedPath, linkFolder);
  if (line.kind == kPicture) {
    const std::string src = HtmlLink(line.text, linkFolder);
    if (attached.empty())
      return Format("%.*s<img border=0 src=\"%s\"><br>\r\n", static_cast<int>(indent.size()), indent.data(), src.c_str());
    return Format("%.*s<a href=\"%s\"><img border=0 src=\"%s\"></a><br>\r\n", static_cast<int>(indent.size()),
                  indent.data(), attached.c_str(), src.c_str());
  }
  if (line.kind == kDataFile) return TextRow(indent, "#FFFFFF", 12, HtmlEscape(line.text), attached);
  return TextRow(indent, HtmlColour(line.colour), line.fontSize * 12 / 10, HtmlEscape(line.text), attached);
}

bool HtmlLogFile::Open(const std::string& path) {
  Close();
  path_ = path;
  file_ = platform::OpenAppendFile(path);
  if (!file_) return false;
  std::fseek(file_, 0, SEEK_END);
  if (std::ftell(file_) == 0 && !WriteAll(kHtmlLogHead)) {
    Close();
    return false;
  }
  return true;
}

bool HtmlLogFile::WriteAll(std::string_view bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size() && std::fflush(file_) == 0;
}

bool HtmlLogFile::Append(std::string_view row) {
  if (!file_) return false;
  if (WriteAll(row)) return true;
  // The file went away under us (a share dropped, a handle invalidated): append to it afresh,
  // never over what it holds.
  std::fclose(file_);
  file_ = platform::OpenAppendFile(path_);
  return file_ && WriteAll(row);
}

bool HtmlLogFile::Sync() { return file_ && platform::SyncToDisk(file_); }

void HtmlLogFile::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

bool HtmlLogSink::Open(uint32_t view, const std::string& path) {
  std::lock_guard<std::mutex> guard(lock_);
  Page& page = pages_[view];
  page.folder = platform::FolderOf(path);
  return page.file.Open(path);
}

void HtmlLogSink::Close(uint32_t view) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = pages_.find(view);
  if (it != pages_.end()) it->second.file.Close();
}

void HtmlLogSink::LineAdded(const AddedLine& added) {
  if (added.line.kind == kTextNotInHtml) return;
  std::lock_guard<std::mutex> guard(lock_);
  auto it = pages_.find(added.view);
  if (it == pages_.end() || !it->second.file.IsOpen()) return;
  it->second.file.Append(HtmlLogRow(added.line, it->second.folder));
}

bool HtmlLogSink::MakeDurable() {
  std::lock_guard<std::mutex> guard(lock_);
  bool ok = true;
  for (auto& [view, page] : pages_)
    if (page.file.IsOpen()) ok = page.file.Sync() && ok;
  return ok;
}

}  // namespace kestrune::engine
