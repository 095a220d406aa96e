// The window's copy of a view's output list. The writer tells the mirror of every change (from any
// thread, outside the view's locks); the mirror wakes the window once while a wake-up is pending, and
// the window thread then takes everything that changed since its last look in one update, copied out
// of the store under the store lock. Nothing is sent to the window while a lock of the view is held.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "engine/output.h"

namespace kestrune::app {

// What the window's list has to do to show the view's list again, in this order.
struct MirrorUpdate {
  bool reset = false;                          // empty the list first
  std::vector<engine::OutputLine> added;       // lines to append, in order
  std::vector<std::pair<size_t, engine::OutputLine>> rewritten;  // lines (by index) to replace
  bool empty() const { return !reset && added.empty() && rewritten.empty(); }
};

class OutputMirror final : public engine::ViewObserver {
 public:
  // Mirrors view; wake is called (on the writing thread) when the first change after a Take comes.
  OutputMirror(engine::ViewOutput& view, std::function<void()> wake);

  void LineAppended(uint32_t view, engine::LineRef line) override;
  void LineRewritten(uint32_t view, engine::LineRef line) override;
  void LinesReset(uint32_t view, uint64_t generation) override;

  // Window thread only: the changes since the last Take (the first gives the whole list).
  MirrorUpdate Take();

 private:
  // Marks a change; wakes the window when none was pending.
  void Changed(std::set<size_t>* rewrittenIndex);

  engine::ViewOutput& view_;
  std::function<void()> wake_;

  std::mutex lock_;  // guards pending_ and rewritten_; never held while the view's locks are taken
  bool pending_ = false;
  std::set<size_t> rewritten_;

  // Window thread only: what the window shows.
  uint64_t shownGeneration_ = 0;
  size_t shownCount_ = 0;
};

}  // namespace kestrune::app
