// The output-line writer with several writers at once: the run thread, background writers whose
// command's "_Result.txt" may be gone, rewriters and readers; and the store's reset.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "base/unicode.h"
#include "engine/keyword_lookup.h"
#include "engine/output.h"
#include "platform/files.h"
#include "support/fake_host.h"
#include "support/statement_runner.h"

namespace kestrune::engine {
namespace {

using base::Format;

std::string ResultFileText(const std::string& folder) {
  auto bytes = platform::ReadWholeFile(platform::JoinPath(folder, "_Result.txt"));
  if (!bytes) return "<missing>";
  return base::FromUtf16Le(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

class ConcurrencyOutput : public ::testing::Test {
 protected:
  ConcurrencyOutput() : writer(OutputSettings{true, 30, 0, &console}, host) {
    view.baseLogFolder = dir.path();
    view.index = 0;
  }
  ~ConcurrencyOutput() override { OutputWriter::CloseResultFile(&view); }

  std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> guard(view.lock);
    std::vector<std::string> texts;
    for (const OutputLine& line : view.lines) texts.push_back(line.text);
    return texts;
  }

  testing::TempDir dir;
  testing::FakeHost host;
  testing::CapturedConsole console;
  OutputWriter writer;
  ViewOutput view;
};

TEST_F(ConcurrencyOutput, WritersRewritersAndReadersKeepEveryLineInOrder) {
  constexpr int kWriters = 4;
  constexpr int kLines = 1500;
  writer.WriteLine(&view, "Cmd();", kHeader, 10, colour::kGreen);
  LineRef counter = writer.WriteLine(&view, "Pass : 0", kDetail, 10, colour::kWhite);
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w)
    threads.emplace_back([&, w] {
      for (int i = 0; i < kLines; ++i) writer.WriteLine(&view, Format("w%d:%d", w, i), kDetail, 10, colour::kWhite);
    });
  threads.emplace_back([&] {
    for (int i = 1; i <= kLines; ++i) writer.RewriteLine(&view, counter, Format("Pass : %d", i));
  });
  threads.emplace_back([&] {
    for (int i = 0; i < 200; ++i) LookupKeyword(&view, "Pass");  // closes the file as Result does
  });
  for (auto& t : threads) t.join();

  std::vector<std::string> texts = Texts();
  ASSERT_EQ(texts.size(), 2u + kWriters * kLines);
  EXPECT_EQ(texts[1], Format("Pass : %d", kLines));
  std::vector<int> next(kWriters, 0);
  for (size_t i = 2; i < texts.size(); ++i) {
    int w = 0, n = 0;
    ASSERT_EQ(std::sscanf(texts[i].c_str(), "w%d:%d", &w, &n), 2) << texts[i];
    EXPECT_EQ(n, next[static_cast<size_t>(w)]++) << "writer " << w << " out of order";
  }
  // The console saw the same lines in the same order as the list (after the header).
  ASSERT_EQ(console.lines.size(), texts.size());
  for (size_t i = 2; i < texts.size(); ++i) EXPECT_EQ(console.lines[i], "        " + texts[i]);
}

TEST_F(ConcurrencyOutput, ABackgroundWriterReachesOnlyItsOwnResultFile) {
  writer.WriteLine(&view, "Exec();", kHeader, 10, colour::kGreen);
  const ResultFileRef execFile = OutputWriter::OpenResultFile(&view);
  ASSERT_NE(execFile.id, 0u);

  // While its command's file is still open, a background writer's lines go into it.
  std::thread([&] {
    OutputWriter::BackgroundScope scope(execFile);
    writer.WriteLine(&view, "early import", kDetail, 10, colour::kGrey);
  }).join();
  EXPECT_NE(ResultFileText(dir.path()).find("early import"), std::string::npos);

  // A later command opens its own file; the background writer's lines and its closing line reach
  // the list only, and the later command's file stays open.
  writer.WriteLine(&view, "Identify();", kHeader, 10, colour::kGreen);
  const ResultFileRef identifyFile = OutputWriter::OpenResultFile(&view);
  std::thread([&] {
    OutputWriter::BackgroundScope scope(execFile);
    writer.WriteLine(&view, "late import", kDetail, 10, colour::kGrey);
    writer.WriteLine(&view, "", kHeader, 10, colour::kGreen);  // opens nothing
    writer.WriteLine(&view, "Elapsed", kClosingDetail, 10, colour::kWhite);
  }).join();
  EXPECT_EQ(OutputWriter::OpenResultFile(&view).id, identifyFile.id);
  writer.WriteLine(&view, "Model Number (MN) : X", kDetail, 10, colour::kWhite);
  const std::string text = ResultFileText(dir.path());
  EXPECT_EQ(text.find("late import"), std::string::npos) << text;
  EXPECT_EQ(text.find("Elapsed"), std::string::npos) << text;
  EXPECT_NE(text.find("Model Number (MN) : X"), std::string::npos) << text;
  std::vector<std::string> texts = Texts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), "late import"), texts.end());

  // Its own file's closing line closes it.
  writer.WriteLine(&view, "Exec();", kHeader, 10, colour::kGreen);
  const ResultFileRef second = OutputWriter::OpenResultFile(&view);
  std::thread([&] {
    OutputWriter::BackgroundScope scope(second);
    writer.WriteLine(&view, "Elapsed", kClosingDetail, 10, colour::kWhite);
  }).join();
  EXPECT_EQ(OutputWriter::OpenResultFile(&view).id, 0u);
}

TEST_F(ConcurrencyOutput, TheStoreResetsAtItsLimitAndOldReferencesStopRewriting) {
  LineRef first = writer.WriteLine(&view, "line 0", kDetail, 10, colour::kWhite);
  for (size_t i = 1; i < kStoreLines; ++i) writer.WriteLine(&view, "line", kDetail, 10, colour::kWhite);
  {
    std::lock_guard<std::mutex> guard(view.lock);
    EXPECT_EQ(view.lines.size(), kStoreLines);
    EXPECT_EQ(view.generation, first.generation);
  }
  EXPECT_TRUE(writer.RewriteLine(&view, first, "line 0 again"));
  // The line past the limit starts a fresh store: the old reference no longer finds its line.
  LineRef after = writer.WriteLine(&view, "line 21000", kDetail, 10, colour::kWhite);
  EXPECT_EQ(after.generation, first.generation + 1);
  EXPECT_EQ(after.index, 0u);
  EXPECT_FALSE(writer.RewriteLine(&view, first, "gone"));
  EXPECT_EQ(Texts(), std::vector<std::string>{"line 21000"});
  // A header near the limit resets early, so that a command's lines start in one store.
  for (size_t i = 1; i < kStoreResetAt - 1; ++i) writer.WriteLine(&view, "x", kDetail, 10, colour::kWhite);
  LineRef header = writer.WriteLine(&view, "Cmd();", kHeader, 10, colour::kGreen);
  EXPECT_EQ(header.generation, after.generation + 1);
  EXPECT_EQ(view.lineCounter, kStoreLines + kStoreResetAt);
}

}  // namespace
}  // namespace kestrune::engine
