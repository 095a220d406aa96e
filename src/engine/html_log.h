// The HTML test log "TestLog.htm": the run's lines as a page with a black background, one line per
// row in the line's colour and size, pictures inline and attached files as links. The run writes it
// into the log folder (later runs append to it) and Save Screen writes one into its folder.
#pragma once

#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "engine/output.h"

namespace kestrune::engine {

// The page head written once at the start of a new file.
extern const std::string_view kHtmlLogHead;

// Text for the page: '&', '<', '>', '"' and '\'' as entities, each blank as "&nbsp;".
std::string HtmlEscape(std::string_view text);

// A link to the file at path from a page in linkFolder: the file's name when it lies in that
// folder, else a file URL of its full path; every byte outside A-Z a-z 0-9 - . _ ~ (and, in a
// URL, '/' and ':') percent-encoded.
std::string HtmlLink(std::string_view path, std::string_view linkFolder);

// "#RRGGBB" of a COLORREF (0x00BBGGRR).
std::string HtmlColour(uint32_t colour);

// The page row of one output line (kinds 0, 2, 4 and pictures), with "\r\n"; "" for kind 3, which
// stays out of the page. Links are made relative to linkFolder.
std::string HtmlLogRow(const OutputLine& line, std::string_view linkFolder);

// One open page, appended to row by row. Every row reaches the file before Append returns (a
// process killed afterwards loses none). Not thread-safe: its owner serialises the calls.
class HtmlLogFile {
 public:
  HtmlLogFile() = default;
  ~HtmlLogFile() { Close(); }
  HtmlLogFile(const HtmlLogFile&) = delete;
  HtmlLogFile& operator=(const HtmlLogFile&) = delete;

  // Opens path for appending; a new or empty file gets the head first. False when it cannot be
  // opened.
  bool Open(const std::string& path);
  // Appends the row. A failed write reopens the file for appending and tries once more. False when
  // that fails too.
  bool Append(std::string_view row);
  // Makes every row appended so far durable on the disk. False when the file is not open or the
  // disk refuses.
  bool Sync();
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

 private:
  bool WriteAll(std::string_view bytes);

  std::FILE* file_ = nullptr;
  std::string path_;
};

// The run's page, as a sink of the writer: while a view's page is open, every line of that view
// (except kind 3) becomes a row. Thread-safe.
class HtmlLogSink final : public OutputSink {
 public:
  // Opens the view's page at path (closing the one open before). False when it cannot be opened.
  bool Open(uint32_t view, const std::string& path);
  void Close(uint32_t view);

  void LineAdded(const AddedLine& added) override;
  bool MakeDurable() override;

 private:
  struct Page {
    HtmlLogFile file;
    std::string folder;
  };
  std::mutex lock_;
  std::map<uint32_t, Page> pages_;
};

}  // namespace kestrune::engine
