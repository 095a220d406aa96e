#include "engine/save_screen.h"

#include <filesystem>
#include <map>

#include "base/text.h"
#include "base/unicode.h"
#include "engine/html_log.h"
#include "platform/files.h"

namespace kestrune::engine {

using base::Format;
namespace fs = std::filesystem;

namespace {

constexpr int kMostSuffixes = 1000;

// "name_2.ext" for attempt 2 and on.
std::string Suffixed(const std::string& name, int attempt) {
  if (attempt < 2) return name;
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return Format("%s_%d", name.c_str(), attempt);
  return Format("%s_%d%s", name.substr(0, dot).c_str(), attempt, name.substr(dot).c_str());
}

// Copies files into the folder, each source once, under a name no other copy has.
class Copier {
 public:
  explicit Copier(std::string folder) : folder_(std::move(folder)) {}

  // The copy's path, or "" when the file cannot be copied (failed_ names it).
  std::string Copy(const std::string& source) {
    auto known = copies_.find(source);
    if (known != copies_.end()) return known->second;
    std::string copy;
    if (platform::FileExists(source)) {
      const std::string name = platform::FileNameOf(source);
      for (int attempt = 1; attempt <= kMostSuffixes && copy.empty(); ++attempt) {
        std::string target = platform::JoinPath(folder_, Suffixed(name, attempt));
        std::error_code ec;
        if (fs::copy_file(platform::FsPath(source), platform::FsPath(target), fs::copy_options::none, ec)) {
          copy = target;
        } else if (!fs::exists(platform::FsPath(target), ec)) {
          break;  // not a name clash: the copy itself failed
        }
      }
    }
    if (copy.empty()) failed_.push_back(source);
    copies_[source] = copy;
    return copy;
  }

  std::vector<std::string>& failed() { return failed_; }

 private:
  std::string folder_;
  std::map<std::string, std::string> copies_;
  std::vector<std::string> failed_;
};

}  // namespace

std::string SaveScreenFolderName(const platform::LocalTime& now) {
  return Format("[SaveScreen_%d%02d%02d-%02d%02d%02d-%03d]", now.year, now.month, now.day, now.hour, now.minute,
                now.second, now.millisecond);
}

SaveScreenOutcome SaveScreen(ViewOutput& view, const std::string& parent, const platform::LocalTime& now) {
  SaveScreenOutcome out;
  std::deque<OutputLine> lines;
  {
    std::lock_guard<std::mutex> guard(view.lock);
    lines = view.lines;
  }
  if (lines.empty()) return out;

  const std::string base = SaveScreenFolderName(now);
  for (int attempt = 1; attempt <= kMostSuffixes && out.folder.empty(); ++attempt) {
    std::string name = attempt < 2 ? base : Format("%s_%d", base.c_str(), attempt);
    std::string folder = platform::JoinPath(parent, name);
    if (platform::CreateNewFolder(folder)) out.folder = folder;
    else if (!platform::FolderExists(folder) && !platform::FileExists(folder)) break;
  }
  if (out.folder.empty()) {
    out.status = SaveScreenOutcome::Status::kFolderFailed;
    out.folder = platform::JoinPath(parent, base);
    return out;
  }

  Copier copier(out.folder);
  HtmlLogFile page;
  const std::string pagePath = platform::JoinPath(out.folder, "TestLog.htm");
  const bool pageOpen = page.Open(pagePath);
  std::string text = "\xEF\xBB\xBF";  // the byte-order mark, once converted
  for (OutputLine line : lines) {
    text += line.header ? line.text + "\n" : "        " + line.text + "\n";
    if (!line.attachedPath.empty()) {
      std::string copy = copier.Copy(line.attachedPath);
      if (!copy.empty()) line.attachedPath = copy;
    }
    if (line.kind == kPicture || line.kind == kDataFile) {
      // The page refers to the copy: a picture by its source, a data file by its link.
      std::string copy = copier.Copy(line.text);
      if (!copy.empty() && line.kind == kPicture) line.text = copy;
      if (!copy.empty() && line.kind == kDataFile && line.attachedPath.empty()) line.attachedPath = copy;
    }
    if (pageOpen) page.Append(HtmlLogRow(line, out.folder));
  }
  page.Close();

  const std::string textPath = platform::JoinPath(out.folder, "TestLog.txt");
  const std::string utf16 = base::Utf16Le(text);
  const bool textWritten = platform::WriteWholeFile(
      textPath, std::span(reinterpret_cast<const uint8_t*>(utf16.data()), utf16.size()));
  out.failed = std::move(copier.failed());
  if (!pageOpen || !textWritten) {
    if (!textWritten) out.failed.insert(out.failed.begin(), textPath);
    if (!pageOpen) out.failed.insert(out.failed.begin(), pagePath);
    out.status = SaveScreenOutcome::Status::kWriteFailed;
  } else {
    out.status = out.failed.empty() ? SaveScreenOutcome::Status::kDone : SaveScreenOutcome::Status::kCopyFailed;
  }
  return out;
}

}  // namespace kestrune::engine
