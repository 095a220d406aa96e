// FullByPattern and FindLBA_ByPattern on the lab's queue, where a script cannot reach: drives that
// finish requests out of order, move part of a request, fail, or stall past the request timeout
// (on the virtual clock), a cancel in the middle, too many hits, a volume searched to its end, and
// the refusals that must come before any queue is opened.
#include "workloads/pattern_commands.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "disk/sector_lab.h"
#include "engine/ui.h"
#include "platform/async_queue.h"
#include "platform/files.h"
#include "workloads/coverage_layout.h"
#include "workloads/png_pixels.h"
#include "workloads/sequential_pass.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;
using disk::testing::kLettered;
using disk::testing::kMiB;
using disk::testing::kRawNvme;
using disk::testing::kVolumeD;
using disk::testing::kVolumeDOffset;
using Bytes = std::vector<uint8_t>;

// Keeps every text a line was rewritten to, and sets the view's cancel flag when one equals cancelAt.
class RewriteLog final : public engine::OutputSink {
 public:
  explicit RewriteLog(std::atomic<bool>& cancel) : cancel_(cancel) {}
  void LineAdded(const engine::AddedLine&) override {}
  void LineRewritten(uint32_t, const engine::OutputLine& line) override {
    texts.push_back(line.text);
    if (!cancelAt.empty() && line.text == cancelAt) cancel_.store(true);
  }
  std::vector<std::string> texts;
  std::string cancelAt;

 private:
  std::atomic<bool>& cancel_;
};

// Keeps the status texts, and sets the view's cancel flag at cancelAt.
class StatusLog final : public engine::Ui {
 public:
  explicit StatusLog(std::atomic<bool>& cancel) : cancel_(cancel) {}
  std::optional<std::string> ChooseFile(uint32_t, const engine::FileChoice&) override { return std::nullopt; }
  void ShowStatus(uint32_t, std::string_view text) override {
    texts.emplace_back(text);
    if (!cancelAt.empty() && text == cancelAt) cancel_.store(true);
  }
  void ShowProgress(uint32_t, int64_t, int64_t) override {}
  bool RedirectConsole(const std::string&, bool) override { return false; }
  std::vector<std::string> texts;
  std::string cancelAt;

 private:
  std::atomic<bool>& cancel_;
};

class PatternLab : public disk::testing::SectorLab {
 protected:
  PatternLab()
      : rewrites(std::make_shared<RewriteLog>(interp.CancelFlag(0))),
        statuses(std::make_shared<StatusLog>(interp.CancelFlag(0))) {
    interp.writer().AddSink(rewrites);
    interp.SetUi(statuses);
    EXPECT_TRUE(RegisterPatternCommands(interp).empty());
    Select(kRawNvme);
  }
  // Queues handed to the reaper (a stalled drive) finish before the lab goes.
  ~PatternLab() override { platform::DefaultReaper().WaitIdle(); }

  Bytes Media(const std::string& path, uint64_t offset, size_t bytes) {
    Bytes out(bytes);
    std::shared_ptr<sim::SimDrive> drive = Drive(path);
    auto lock = drive->Lock();
    EXPECT_EQ(drive->ReadMedia(offset, out), sim::MediaStatus::kOk);
    return out;
  }

  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const engine::OutputLine& l : Body()) out.push_back(l.text);
    return out;
  }

  std::shared_ptr<RewriteLog> rewrites;
  std::shared_ptr<StatusLog> statuses;
};

// The 8 bytes of a short mark.
Bytes MarkOf(uint64_t lba) {
  Bytes b(8);
  for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(lba >> (56 - 8 * i));
  return b;
}

// True when sector (512 bytes at data[at]) carries lba's mark and then the pattern 0x55AA33CC.
bool MarkedSector(const Bytes& data, size_t at, uint64_t lba) {
  static const uint8_t kPattern[] = {0x55, 0xAA, 0x33, 0xCC};
  if (!std::equal(data.begin() + at, data.begin() + at + 8, MarkOf(lba).begin())) return false;
  for (size_t i = 8; i < 512; ++i)
    if (data[at + i] != kPattern[i % 4]) return false;
  return true;
}

TEST_F(PatternLab, FullByPatternMarksEverySectorInOrderWhateverTheDriveDoes) {
  const struct {
    const char* what;
    sim::FaultPlan faults;
  } cases[] = {
      {"a healthy drive", {}},
      {"every third request slow, so later ones finish first", {.slowEvery = 3, .slowUs = 50000}},
      {"every write moves half of what it was asked",
       {.shortTransfer = sim::request::kWrite, .shortTransferBytes = 64 * 1024}},
  };
  uint64_t lba = 0x10;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Drive(kRawNvme)->set_faults(c.faults);
    rewrites->texts.clear();
    Run(base::Format("FullByPattern( LBA:0x%llX, RangeMB:1, Pattern:0x55AA33CC, MarkSectorHeader:TRUE );",
                     static_cast<unsigned long long>(lba)));
    EXPECT_EQ(Code(), 0) << Description();
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Pattern     : 0x55AA33CC", "Full By Pattern : 100%"}));
    EXPECT_EQ(rewrites->texts, (std::vector<std::string>{"Full By Pattern : 12%", "Full By Pattern : 25%",
                                                         "Full By Pattern : 37%", "Full By Pattern : 50%",
                                                         "Full By Pattern : 62%", "Full By Pattern : 75%",
                                                         "Full By Pattern : 87%", "Full By Pattern : 100%"}))
        << "progress follows the range in order";
    const Bytes media = Media(kRawNvme, (lba - 1) * 512, kMiB + 1024);
    EXPECT_EQ(std::count(media.begin(), media.begin() + 512, 0), 512) << "the sector before is untouched";
    EXPECT_EQ(std::count(media.end() - 512, media.end(), 0), 512) << "the sector after is untouched";
    for (uint64_t i = 0; i < 2048; ++i) ASSERT_TRUE(MarkedSector(media, (i + 1) * 512, lba + i)) << i;
    lba += 0x1000;
  }
}

TEST_F(PatternLab, AFailedOrLateRequestEndsWithItsCodeAfterItsSector) {
  const struct {
    const char* statement;
    sim::FaultPlan faults;
    int32_t code;
    const char* currentLba;
  } cases[] = {
      {"FullByPattern( LBA:0x40, RangeSector:2000, Pattern:1, MarkSectorHeader:TRUE );",
       {.failRequests = sim::request::kWrite},
       code::kWriteFailed,
       "CurrentLBA: 0x0000000000000040"},
      {"FullByPattern( LBA:0x40, RangeSector:2000, Pattern:1, MarkSectorHeader:TRUE );",
       {.stallMs = 200000},
       code::kIoResponseTimeout,
       "CurrentLBA: 0x0000000000000040"},
      {"FindLBA_ByPattern( StartLBA:0x40, FindPattern:0x77665544 );",
       {.failRequests = sim::request::kRead},
       code::kReadFailed,
       "CurrentLBA: 0x0000000000000040"},
      {"FindLBA_ByPattern( StartLBA:0x40, FindPattern:0x77665544 );",
       {.mediaErrorLbas = {0x40 + 2 * 0x800 + 5}},
       code::kReadFailed,
       "CurrentLBA: 0x0000000000001040"},
      {"FindLBA_ByPattern( StartLBA:0x40, FindPattern:0x77665544 );",
       {.stallMs = 200000},
       code::kIoResponseTimeout,
       "CurrentLBA: 0x0000000000000040"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.statement);
    Drive(kRawNvme)->set_faults(c.faults);
    const uint64_t start = host.monotonic.load();
    Run(c.statement);
    EXPECT_EQ(Code(), c.code) << Description();
    const std::vector<std::string> texts = Texts();
    const auto at = std::find_if(texts.begin(), texts.end(),
                                 [](const std::string& t) { return t.starts_with("CurrentLBA"); });
    ASSERT_NE(at, texts.end());
    EXPECT_EQ(*at, c.currentLba);
    ASSERT_NE(at + 1, texts.end());
    EXPECT_TRUE(at[1].starts_with("[Error Code]")) << "the line comes just before the code";
    if (c.code == code::kIoResponseTimeout) {
      EXPECT_GE(host.monotonic.load() - start, kRequestTimeoutMs);
    }
    platform::DefaultReaper().WaitIdle();
  }
  Drive(kRawNvme)->set_faults({});
}

TEST_F(PatternLab, RefusalsComeBeforeAnyQueueOpens) {
  const struct {
    const char* statement;
    int32_t code;
  } cases[] = {
      {"FullByPattern( LBA:0x20000, RangeSector:1, Pattern:0, MarkSectorHeader:TRUE );", code::kBadParameter},
      {R"(FullByPattern( LBA:0, RangeSector:1, Pattern:"SOME", MarkSectorHeader:TRUE );)",
       code::kBadParameter},
      {"FullByPattern( LBA:0, RangeSector:-1, Pattern:0, MarkSectorHeader:TRUE );", code::kBadParameter},
      {"FindLBA_ByPattern( StartLBA:0x20000, FindPattern:1 );", code::kBadParameter},
  };
  lab->requestLog().Clear();
  for (const auto& c : cases) {
    Run(c.statement);
    EXPECT_EQ(Code(), c.code) << c.statement;
  }
  // A RAW disk the system runs from (a file system on the whole disk) is never written.
  state().current.systemDisk = true;
  Run("FullByPattern( LBA:0, RangeSector:1, Pattern:0x12345678, MarkSectorHeader:TRUE );");
  EXPECT_EQ(Code(), code::kRawOrPartitionOnly);
  EXPECT_TRUE(Requests("OpenQueue").empty());
  const Bytes first = Media(kRawNvme, 0, 512);
  EXPECT_EQ(std::count(first.begin(), first.end(), 0), 512);
}

TEST_F(PatternLab, ACancelEndsWithoutACodeAndKeepsWhatWasDone) {
  rewrites->cancelAt = "Full By Pattern : 50%";
  Run("FullByPattern( LBA:0, RangeMB:1, Pattern:0x55AA33CC, MarkSectorHeader:TRUE );");
  EXPECT_EQ(Code(), 0) << Description();
  EXPECT_EQ(Texts().back(), "Full By Pattern : 50%");
  const Bytes media = Media(kRawNvme, 0, kMiB);
  EXPECT_TRUE(MarkedSector(media, 0x3FF * 512, 0x3FF));
  EXPECT_EQ(std::count(media.begin() + 0x400 * 512, media.end(), 0), 0x400 * 512)
      << "nothing after the cancel";
  interp.CancelFlag(0).store(false);

  statuses->cancelAt = "Progress : 25%";
  Run("FindLBA_ByPattern( StartLBA:0, FindPattern:0x12345678 );");
  EXPECT_EQ(Code(), 0) << Description();
  EXPECT_EQ(Texts().back(), "Cancel LBA : 0x8000") << "the LBA after the read that saw the cancel";
  // 16 reads of 1 MiB of 64 each move the whole percentage (1%, 3%, 4%, ... 25%); then the status is
  // cleared.
  EXPECT_EQ(statuses->texts.size(), 17u);
  EXPECT_EQ(statuses->texts.front(), "Progress : 1%");
  EXPECT_EQ(statuses->texts.back(), "");
  interp.CancelFlag(0).store(false);
}

TEST_F(PatternLab, TwentyOneHitsEachWithItsOwnDumpThenTheViewStops) {
  Run("FullByPattern( LBA:0x100, RangeSector:30, Pattern:0x55AA33CC, MarkSectorHeader:TRUE );");
  ASSERT_EQ(Code(), 0) << Description();
  Run("FindLBA_ByPattern( StartLBA:0, FindPattern:0x55AA33CC );");
  EXPECT_EQ(Code(), 0) << Description();
  EXPECT_TRUE(interp.CancelFlag(0).load());

  const std::vector<engine::OutputLine> body = Body();
  ASSERT_EQ(body.size(), 1 + 21 * 2 + 3u);
  EXPECT_EQ(body.front().text, "Search Pattern Byte List: 55 AA 33 CC ");
  std::set<std::string> dumps;
  for (uint32_t hit = 0; hit < 21; ++hit) {
    const uint64_t lba = 0x100 + hit;
    EXPECT_EQ(body[1 + 2 * hit].text,
              base::Format("[%u] Finound LBA : 0x%llX", hit, (unsigned long long)lba));
    const engine::OutputLine& dump = body[2 + 2 * hit];
    ASSERT_EQ(dump.kind, engine::kDataFile);
    EXPECT_TRUE(dump.attachedPath.ends_with(base::Format("_0x%llX.hex", (unsigned long long)lba)));
    dumps.insert(dump.attachedPath);
    const std::optional<Bytes> bytes = platform::ReadWholeFile(dump.attachedPath);
    ASSERT_TRUE(bytes);
    ASSERT_EQ(bytes->size(), 512u);
    EXPECT_TRUE(MarkedSector(*bytes, 0, lba)) << "the dump holds its own sector";
  }
  EXPECT_EQ(dumps.size(), 21u);
  EXPECT_EQ(body[43].text, "Cancel by too many LBAs found");
  EXPECT_EQ(body[44].kind, engine::kPicture);
  std::optional<testing::PngPixels> png = testing::ReadPng(body[44].text);
  ASSERT_TRUE(png);
  EXPECT_EQ(png->width, kCoverageWidth);
  EXPECT_EQ(body[45].text, "Cancel LBA : 0x800");
  interp.CancelFlag(0).store(false);
}

TEST_F(PatternLab, AVolumeIsSearchedToItsEndNotToItsFreeBytes) {
  Select(kVolumeD);
  ASSERT_LT(state().current.usableBytes, 31 * kMiB);  // free bytes, short of the sector written below
  {
    std::shared_ptr<sim::SimDrive> drive = Drive(kLettered);
    auto lock = drive->Lock();
    const Bytes needle = {0xC0, 0xFF, 0xEE, 0x11};
    ASSERT_EQ(drive->WriteMedia(kVolumeDOffset + 30 * kMiB + 100, needle, true), sim::MediaStatus::kOk);
  }
  Run("FindLBA_ByPattern( StartLBA:0, FindPattern:0xC0FFEE11 );");
  EXPECT_EQ(Code(), 0) << Description();
  ASSERT_GE(Body().size(), 2u);
  EXPECT_EQ(Body()[1].text, "[0] Finound LBA : 0x1E00");  // 30 MiB in 4096-byte sectors of the volume
}

}  // namespace
}  // namespace kestrune::workloads
