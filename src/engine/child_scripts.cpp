#include "engine/child_scripts.h"

#include <chrono>

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::engine {

namespace code = base::code;
using base::Format;

namespace {

// A value as it stands between the double quotes of a keyed argument.
std::string InQuotes(std::string_view value) {
  std::string out;
  for (char c : value)
    if (c != '"') out += c;
  size_t trailing = 0;
  while (trailing < out.size() && out[out.size() - 1 - trailing] == '\\') ++trailing;
  out.append(trailing, '\\');
  return out;
}

}  // namespace

std::string FnScriptCommandLine(const FnScriptCall& call) {
  const bool hasDisk = !call.devicePath.empty();
  std::string program;
  for (char c : call.programPath)
    if (c != '"') program += c;
  std::string line =
      Format("\"%s\" SCRIPT:\"%s\", DRIVE:\"%s\", FRAME:4/4, SUBBASE:\"%s\", SUBPARAM:\"%s\", AUTOCLOSE:%d",
             program.c_str(), InQuotes(call.scriptPath).c_str(),
             InQuotes(hasDisk ? call.devicePath : kNoDiskDrive).c_str(), InQuotes(call.outputBase).c_str(),
             InQuotes(call.param).c_str(), call.autoClose ? 1 : 0);
  if (hasDisk && !call.diskArguments.empty()) line += " " + call.diskArguments;
  return line;
}

BackgroundChildren::~BackgroundChildren() {
  std::lock_guard<std::mutex> guard(mutex_);
  for (auto& child : children_) child->stop.store(true);
  for (auto& child : children_)
    if (child->thread.joinable()) child->thread.join();
}

void BackgroundChildren::Watch(Interpreter& interp, uint32_t view, std::shared_ptr<platform::Process> process,
                               std::string resultBase, std::string scriptName) {
  auto child = std::make_unique<Child>();
  child->view = view;
  child->scriptName = std::move(scriptName);
  child->process = std::move(process);
  Child* c = child.get();
  ViewOutput* out = interp.output(view);
  OutputWriter* writer = &interp.writer();
  const ResultFileRef owner = OutputWriter::OpenResultFile(out);
  c->thread = std::thread([c, out, writer, owner, base = std::move(resultBase)] {
    OutputWriter::BackgroundScope scope(owner);
    std::optional<int> code = c->process->Wait(&c->stop);
    ImportOutcome outcome;
    if (code) outcome = ImportResultFiles(*writer, out, ResultFilesOf(base));
    std::lock_guard<std::mutex> guard(c->mutex);
    c->code = code;
    c->outcome = std::move(outcome);
    c->done = true;
    c->ended.notify_all();
  });
  std::lock_guard<std::mutex> guard(mutex_);
  children_.push_back(std::move(child));
}

void BackgroundChildren::Join(Interpreter& interp, uint32_t view) {
  std::list<std::unique_ptr<Child>> mine;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto it = children_.begin(); it != children_.end();) {
      auto next = std::next(it);
      if ((*it)->view == view) mine.splice(mine.end(), children_, it);
      it = next;
    }
  }
  const std::atomic<bool>& cancel = interp.view(view).cancel;
  for (auto& child : mine) {
    bool done = false;
    {
      std::unique_lock<std::mutex> lock(child->mutex);
      while (!child->done && !cancel.load()) child->ended.wait_for(lock, std::chrono::milliseconds(100));
      done = child->done;
    }
    if (!done) child->stop.store(true);  // the child runs on by itself
    child->thread.join();
    if (!done || !child->code) continue;
    if (child->outcome.failed)
      interp.ReportCompletion(view, code::kError, child->outcome.failure);
    else if (*child->code != 0)
      interp.ReportCompletion(view, code::kError,
                              Format("%s ended with exit code %d", child->scriptName.c_str(), *child->code));
  }
}

size_t BackgroundChildren::size() {
  std::lock_guard<std::mutex> guard(mutex_);
  return children_.size();
}

}  // namespace kestrune::engine
