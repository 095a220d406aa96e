#include "app/output_mirror.h"

#include <algorithm>

namespace kestrune::app {

OutputMirror::OutputMirror(engine::ViewOutput& view, std::function<void()> wake)
    : view_(view), wake_(std::move(wake)) {}

void OutputMirror::Changed(std::set<size_t>* rewrittenIndex) {
  bool wake = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (rewrittenIndex) rewritten_.merge(*rewrittenIndex);
    wake = !pending_;
    pending_ = true;
  }
  if (wake && wake_) wake_();
}

void OutputMirror::LineAppended(uint32_t view, engine::LineRef) {
  if (view == view_.index) Changed(nullptr);
}

void OutputMirror::LineRewritten(uint32_t view, engine::LineRef line) {
  if (view != view_.index) return;
  std::set<size_t> index{line.index};
  Changed(&index);
}

void OutputMirror::LinesReset(uint32_t view, uint64_t) {
  if (view == view_.index) Changed(nullptr);
}

MirrorUpdate OutputMirror::Take() {
  std::set<size_t> rewritten;
  {
    std::lock_guard<std::mutex> guard(lock_);
    pending_ = false;
    rewritten.swap(rewritten_);
  }
  // A change told after this point wakes the window again; one told before it is in the store now.
  MirrorUpdate update;
  std::lock_guard<std::mutex> store(view_.lock);
  size_t from = shownCount_;
  if (view_.generation != shownGeneration_) {
    update.reset = shownGeneration_ != 0 || shownCount_ != 0;
    shownGeneration_ = view_.generation;
    from = 0;
  } else {
    for (size_t index : rewritten)
      if (index < shownCount_ && index < view_.lines.size()) update.rewritten.emplace_back(index, view_.lines[index]);
  }
  update.added.assign(view_.lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, view_.lines.size())),
                      view_.lines.end());
  shownCount_ = view_.lines.size();
  return update;
}

}  // namespace kestrune::app
