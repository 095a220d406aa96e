// The observers of a view's output list: every change reaches them in order, after the writer has
// let go of the view's locks, so an observer may write lines itself.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "engine/output.h"
#include "platform/files.h"
#include "support/fake_host.h"

namespace kestrune::engine {
namespace {

using base::Format;
using Events = std::vector<std::string>;

// Records "append G:I", "rewrite G:I" and "reset G", and whether another thread could take both
// locks of the view at the time of each call.
class RecordingObserver final : public ViewObserver {
 public:
  explicit RecordingObserver(ViewOutput& view) : view_(view) {}

  void LineAppended(uint32_t, LineRef line) override { Record(Format("append %llu:%zu", Gen(line), line.index)); }
  void LineRewritten(uint32_t, LineRef line) override { Record(Format("rewrite %llu:%zu", Gen(line), line.index)); }
  void LinesReset(uint32_t, uint64_t generation) override {
    Record(Format("reset %llu", static_cast<unsigned long long>(generation)));
  }

  Events events;
  int callsUnderALock = 0;

 private:
  static unsigned long long Gen(LineRef line) { return static_cast<unsigned long long>(line.generation); }

  void Record(std::string event) {
    bool free = false;
    std::thread probe([&] {
      if (!view_.delivery.try_lock()) return;
      if (view_.lock.try_lock()) {
        free = true;
        view_.lock.unlock();
      }
      view_.delivery.unlock();
    });
    probe.join();
    if (!free) ++callsUnderALock;
    events.push_back(std::move(event));
  }

  ViewOutput& view_;
};

class OutputObserverTest : public ::testing::Test {
 protected:
  OutputObserverTest() : writer(OutputSettings{}, host) {
    view.baseLogFolder = dir.path();
    view.index = 0;
    writer.AddObserver(observer);
  }
  ~OutputObserverTest() override { OutputWriter::CloseResultFile(&view); }

  testing::TempDir dir;
  testing::FakeHost host;
  OutputWriter writer;
  ViewOutput view;
  std::shared_ptr<RecordingObserver> observer = std::make_shared<RecordingObserver>(view);
};

TEST_F(OutputObserverTest, SeesAppendsRewritesAndResetsInOrderOutsideTheLocks) {
  writer.WriteLine(&view, "Identify();", kHeader, 10, colour::kGreen);
  LineRef counter = writer.WriteLine(&view, "Pass : 0", kDetail, 10, colour::kWhite);
  writer.WriteLine(&view, "", kDetail, 10, colour::kWhite);  // nothing stored, nothing told
  writer.WriteDataFile(&view, colour::kWhite, platform::JoinPath(dir.path(), "R1.Hex"), true);
  EXPECT_TRUE(writer.RewriteLine(&view, counter, "Pass : 1"));
  writer.ClearLines(&view);
  EXPECT_FALSE(writer.RewriteLine(&view, counter, "Pass : 2"));  // gone with the old generation
  writer.WriteLine(&view, "after", kPlain, 10, colour::kYellow);

  EXPECT_EQ(observer->events,
            (Events{"append 1:0", "append 1:1", "append 1:2", "rewrite 1:1", "reset 2", "append 2:0"}));
  EXPECT_EQ(observer->callsUnderALock, 0);
}

TEST_F(OutputObserverTest, AStoreResetAtAHeaderComesBeforeTheHeadersAppend) {
  for (size_t i = 0; i + 1 < kStoreResetAt; ++i) writer.WriteLine(&view, "x", kDetail, 10, colour::kWhite);
  observer->events.clear();
  writer.WriteLine(&view, "Next();", kHeader, 10, colour::kGreen);
  EXPECT_EQ(observer->events, (Events{"reset 2", "append 2:0"}));
  EXPECT_EQ(observer->callsUnderALock, 0);
}

// An observer that writes a line of its own the first time it hears of one (the error-stop line a
// receiver prints, a status line): the writer must not hold a lock the write needs.
class EchoingObserver final : public ViewObserver {
 public:
  EchoingObserver(OutputWriter& writer, ViewOutput& view) : writer_(writer), view_(view) {}
  void LineAppended(uint32_t, LineRef) override {
    if (echoed_++ == 0) writer_.WriteLine(&view_, "echo", kDetail, 10, colour::kCyan);
  }
  void LineRewritten(uint32_t, LineRef line) override {
    std::lock_guard<std::mutex> store(view_.lock);
    rewrittenText = view_.lines.at(line.index).text;
  }
  void LinesReset(uint32_t, uint64_t) override {}
  std::string rewrittenText;

 private:
  OutputWriter& writer_;
  ViewOutput& view_;
  int echoed_ = 0;
};

TEST(OutputObserverReentry, AnObserverMayWriteAndReadTheListFromItsCall) {
  testing::TempDir dir;
  testing::FakeHost host;
  OutputWriter writer(OutputSettings{}, host);
  ViewOutput view;
  view.baseLogFolder = dir.path();
  auto echo = std::make_shared<EchoingObserver>(writer, view);
  writer.AddObserver(echo);

  LineRef first = writer.WriteLine(&view, "first", kDetail, 10, colour::kWhite);
  ASSERT_TRUE(writer.RewriteLine(&view, first, "first again"));

  std::lock_guard<std::mutex> store(view.lock);
  ASSERT_EQ(view.lines.size(), 2u);
  EXPECT_EQ(view.lines[0].text, "first again");
  EXPECT_EQ(view.lines[1].text, "echo");
  EXPECT_EQ(echo->rewrittenText, "first again");
}

}  // namespace
}  // namespace kestrune::engine
