// The window's copy of the output list: one wake-up per batch of changes, and each update brings
// the list box exactly to the store's state (appends, rewrites, resets).
#include "app/output_mirror.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/fake_host.h"

namespace kestrune::app {
namespace {

using Texts = std::vector<std::string>;

class OutputMirrorTest : public ::testing::Test {
 protected:
  OutputMirrorTest() : writer(engine::OutputSettings{}, host) {
    view.baseLogFolder = dir.path();
    view.index = 0;
    writer.AddObserver(mirror);
  }
  ~OutputMirrorTest() override { engine::OutputWriter::CloseResultFile(&view); }

  engine::LineRef Write(const std::string& text) {
    return writer.WriteLine(&view, text, engine::kDetail, 10, engine::colour::kWhite);
  }

  // Applies an update to a list the way the window's list box does.
  void Apply(const MirrorUpdate& update) {
    if (update.reset) shown.clear();
    for (const auto& [index, line] : update.rewritten) shown.at(index) = line.text;
    for (const engine::OutputLine& line : update.added) shown.push_back(line.text);
  }

  Texts Store() {
    std::lock_guard<std::mutex> guard(view.lock);
    Texts texts;
    for (const engine::OutputLine& line : view.lines) texts.push_back(line.text);
    return texts;
  }

  testing::TempDir dir;
  testing::FakeHost host;
  engine::OutputWriter writer;
  engine::ViewOutput view;
  int wakes = 0;
  std::shared_ptr<OutputMirror> mirror = std::make_shared<OutputMirror>(view, [this] { ++wakes; });
  Texts shown;
};

TEST_F(OutputMirrorTest, OneWakeUpPerBatchAndEveryUpdateShowsTheStore) {
  struct Step {
    const char* what;
    std::function<void()> change;
    int wakes;       // wake-ups the change caused
    bool reset;      // the update empties the list first
    size_t added;    // lines the update appends
    size_t rewritten;
  };
  engine::LineRef second;
  const std::vector<Step> steps = {
      {"three lines", [&] { Write("a"); second = Write("b"); Write("c"); }, 1, false, 3, 0},
      {"a rewrite and a line",
       [&] {
         writer.RewriteLine(&view, second, "b2");
         writer.RewriteLine(&view, second, "b3");
         Write("d");
       },
       1, false, 1, 1},
      {"nothing", [] {}, 0, false, 0, 0},
      {"Clean Screen and a line",
       [&] {
         writer.ClearLines(&view);
         Write("e");
       },
       1, true, 1, 0},
      {"a stale rewrite", [&] { EXPECT_FALSE(writer.RewriteLine(&view, second, "x")); }, 0,
       false, 0, 0},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    wakes = 0;
    step.change();
    EXPECT_EQ(wakes, step.wakes);
    MirrorUpdate update = mirror->Take();
    EXPECT_EQ(update.reset, step.reset);
    EXPECT_EQ(update.added.size(), step.added);
    EXPECT_EQ(update.rewritten.size(), step.rewritten);
    Apply(update);
    EXPECT_EQ(shown, Store());
  }
  EXPECT_EQ(shown, (Texts{"e"}));
}

TEST_F(OutputMirrorTest, AChangeWhileTheWindowCopiesWakesItAgain) {
  Write("a");
  MirrorUpdate first = mirror->Take();
  Write("b");  // after the take: a new wake-up, and the next take brings it
  EXPECT_EQ(wakes, 2);
  Apply(first);
  Apply(mirror->Take());
  EXPECT_EQ(shown, (Texts{"a", "b"}));
  EXPECT_TRUE(mirror->Take().empty());
}

TEST_F(OutputMirrorTest, TheStoresOwnResetAtAHeaderStartsTheListAgain) {
  for (size_t i = 0; i + 1 < engine::kStoreResetAt; ++i) Write("x");
  Apply(mirror->Take());
  writer.WriteLine(&view, "Next();", engine::kHeader, 10, engine::colour::kGreen);
  MirrorUpdate update = mirror->Take();
  EXPECT_TRUE(update.reset);
  Apply(update);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown, Store());
}

}  // namespace
}  // namespace kestrune::app
