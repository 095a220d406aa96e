// The lab's queue (sim/sim_queue.h): 4 KiB requests per second in this process, one queue of 32,
// random offsets, a drive without latency. Reads of never-written media, reads of written media
// (through the drive's sparse file), and writes (into its write cache, destaged as it fills).
// Build with the release preset and run build/release/bench/kestrune_bench --benchmark_filter=LabQueue.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <vector>

#include "platform/async_queue.h"
#include "platform/host.h"
#include "platform/io_buffer.h"
#include "sim/sim_lab.h"

namespace {

namespace fs = std::filesystem;
using kestrune::platform::IoCompletion;
using kestrune::platform::IoRequest;

constexpr uint64_t kChunk = 4096;
constexpr uint32_t kDepth = 32;
constexpr uint64_t kWrittenBytes = 64ull << 20;  // the span the "written" case prefills and reads

enum Mode : int64_t { kReadUnwritten, kReadWritten, kWrite };

std::unique_ptr<kestrune::sim::SimLab> MakeLab(const std::string& folder) {
  fs::remove_all(folder);
  kestrune::sim::DriveDescription d;
  d.name = "Bench";
  d.attachment = kestrune::sim::Attachment::kNvmeInbox;
  d.model = "BENCH";
  d.serial = "B1";
  d.firmware = "F1";
  d.capacityBytes = 1ull << 30;
  d.inquiry = kestrune::sim::DefaultInquiry(d.attachment, d.model, d.firmware);
  kestrune::sim::LabDescription lab;
  lab.drives.push_back(d);
  std::string error;
  return kestrune::sim::SimLab::Create(lab, folder, kestrune::platform::DefaultHost(), error);
}

void BM_LabQueue(benchmark::State& state) {
  const Mode mode = static_cast<Mode>(state.range(0));
  const std::string folder = (fs::temp_directory_path() / "kestrune_bench_lab").string();
  auto lab = MakeLab(folder);
  auto& host = kestrune::platform::DefaultHost();
  kestrune::platform::QueueOptions options;
  options.depth = kDepth;
  std::string why;
  auto q = lab->OpenQueue(kestrune::sim::PhysicalDrivePath(0), options, host, why);
  auto buffer = kestrune::platform::IoBuffer::Make(kDepth * kChunk);
  if (!q || !buffer) {
    state.SkipWithError(why.c_str());
    return;
  }
  if (mode == kReadWritten) {  // the whole span once, then flushed to the sparse file
    auto big = kestrune::platform::IoBuffer::Make(1 << 20);
    for (uint64_t at = 0; at < kWrittenBytes; at += 1 << 20) q->Submit(IoRequest::Write(at, big->bytes(), 0));
    q->Submit(IoRequest::Flush(0));
    q->Drain();
  }
  const uint64_t span = (mode == kReadUnwritten ? (1ull << 30) : kWrittenBytes) / kChunk;
  uint64_t random = 0x9E3779B97F4A7C15ull;
  std::vector<IoRequest> batch;
  IoCompletion done[kDepth];
  uint64_t completed = 0;
  for (auto _ : state) {
    batch.clear();
    for (uint32_t slot = q->InFlight(); slot < kDepth; ++slot) {
      random ^= random << 13;
      random ^= random >> 7;
      random ^= random << 17;
      const uint64_t offset = random % span * kChunk;
      auto piece = buffer->bytes().subspan((slot % kDepth) * kChunk, kChunk);
      batch.push_back(mode == kWrite ? IoRequest::Write(offset, piece, slot)
                                     : IoRequest::Read(offset, piece, slot));
    }
    q->Submit(batch);
    completed += q->Reap(done);
  }
  q->Drain();
  state.counters["requests/s"] =
      benchmark::Counter(static_cast<double>(completed), benchmark::Counter::kIsRate);
  q.reset();
  lab.reset();
  fs::remove_all(folder);
}
BENCHMARK(BM_LabQueue)->Arg(kReadUnwritten)->Arg(kReadWritten)->Arg(kWrite)->Unit(benchmark::kMicrosecond);

}  // namespace
