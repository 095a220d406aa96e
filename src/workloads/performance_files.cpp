#include "workloads/performance_files.h"

#include "base/bytes.h"
#include "base/text.h"
#include "disk/dump_file.h"
#include "platform/files.h"
#include "workloads/byte_range.h"

namespace kestrune::workloads {

const std::array<const char*, kLatencyBucketCount> kBucketLabels = {
    "0-50 us",  "50-100 us", "100-200 us", "200-500 us", "0.5-1 ms",   "1-2 ms",     "2-5 ms",    "5-10 ms",  "10-15 ms",
    "15-20 ms", "20-30 ms",  "30-50 ms",   "50-100 ms",  "100-200 ms", "200-500 ms", "0.5-1 sec", "> 1 sec"};

std::string QosBlock(const std::array<uint64_t, kLatencyBucketCount>& counts) {
  uint64_t total = 0;
  for (uint64_t c : counts) total += c;
  std::string block = "Time             :       Command Count |           Command Ratio |               QoS Ratio \r\n";
  uint64_t running = 0;
  for (size_t i = 0; i < counts.size(); ++i) {
    running += counts[i];
    // Hundredths of a percent, truncated; 0 when nothing was counted. 128-bit so that no count overflows.
    const auto share = [total](uint64_t n) {
      return total == 0 ? uint64_t{0} : static_cast<uint64_t>(static_cast<unsigned __int128>(n) * 10000 / total);
    };
    const uint64_t own = share(counts[i]), cumulative = share(running);
    block += base::Format("%-10s       :     %15llu |              %6llu.%02llu%% |              %6llu.%02llu%% \r\n",
                          kBucketLabels[i], static_cast<unsigned long long>(counts[i]),
                          static_cast<unsigned long long>(own / 100), static_cast<unsigned long long>(own % 100),
                          static_cast<unsigned long long>(cumulative / 100),
                          static_cast<unsigned long long>(cumulative % 100));
  }
  block += base::Format("Total Count      :     %15llu \r\n", static_cast<unsigned long long>(total));
  return block;
}

std::string SampleCsvLine(const SamplePoint& s) {
  std::string line = base::Format("%llu,%llu,%llu,%llu,%llu", static_cast<unsigned long long>(s.jobBytes / kMiB),
                                  static_cast<unsigned long long>(s.readKBps + s.writeKBps),
                                  static_cast<unsigned long long>(s.readIOps + s.writeIOps),
                                  static_cast<unsigned long long>(s.jobMs), static_cast<unsigned long long>(s.cycleMs));
  for (uint16_t t : s.temperatures) line += base::Format(",%u", t);
  return line + "\r\n";
}

void SampleCsv::Add(std::span<const SamplePoint> samples) {
  for (const SamplePoint& s : samples) {
    const std::string line = SampleCsvLine(s);
    if (buffer_.size() + line.size() > kCsvBufferBytes) Flush();
    buffer_ += line;
  }
}

bool SampleCsv::Flush() {
  if (buffer_.empty()) return ok_;
  if (!platform::FileExists(path_)) buffer_.insert(0, kSampleCsvHeader);
  ok_ = disk::AppendToFile(host_, path_, base::TextBytes(buffer_)) && ok_;
  buffer_.clear();
  return ok_;
}

bool SampleCsv::Close() { return Flush(); }

}  // namespace kestrune::workloads
