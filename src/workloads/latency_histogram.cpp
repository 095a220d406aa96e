#include "workloads/latency_histogram.h"

#include <algorithm>
#include <bit>

#include "base/text.h"

namespace kestrune::workloads {
namespace {

constexpr unsigned kSubBits = 7;                           // 128 parts per power of two
constexpr uint64_t kExactLimit = uint64_t{2} << kSubBits;  // values below 256 have a bucket each
constexpr uint64_t kSubCount = uint64_t{1} << kSubBits;
constexpr unsigned kMaxShift = 64 - (kSubBits + 1);
constexpr size_t kBucketCount = kExactLimit + kMaxShift * kSubCount;

size_t IndexOf(uint64_t v) {
  if (v < kExactLimit) return static_cast<size_t>(v);
  const unsigned shift = static_cast<unsigned>(std::bit_width(v)) - (kSubBits + 1);
  return static_cast<size_t>(kExactLimit + (shift - 1) * kSubCount + ((v >> shift) - kSubCount));
}

// The lowest value and the width of a bucket.
struct Span {
  uint64_t low;
  uint64_t width;
};

Span SpanOf(size_t index) {
  if (index < kExactLimit) return {index, 1};
  const uint64_t past = index - kExactLimit;
  const unsigned shift = static_cast<unsigned>(past / kSubCount) + 1;
  const uint64_t mantissa = kSubCount + past % kSubCount;
  return {mantissa << shift, uint64_t{1} << shift};
}

std::string Microseconds(uint64_t ticks, uint64_t tickFrequency) {
  const double us =
      tickFrequency == 0 ? 0.0 : static_cast<double>(ticks) * 1e6 / static_cast<double>(tickFrequency);
  return base::Format("%.2f", us);
}

// format takes the five fields p50, p99, p99.9, p99.99 and Max as texts.
std::string LatencyLine(const char* format, const LatencyHistogram& h, uint64_t tickFrequency) {
  const auto us = [&](uint64_t ticks) { return Microseconds(ticks, tickFrequency); };
  return base::Format(format, us(h.AtPercentile(50000)).c_str(), us(h.AtPercentile(99000)).c_str(),
                      us(h.AtPercentile(99900)).c_str(), us(h.AtPercentile(99990)).c_str(),
                      us(h.max()).c_str());
}

}  // namespace

LatencyHistogram::LatencyHistogram() : counts_(kBucketCount, 0) {}

void LatencyHistogram::Record(uint64_t ticks) {
  ++counts_[IndexOf(ticks)];
  ++count_;
  sum_ += ticks;
  min_ = std::min(min_, ticks);
  max_ = std::max(max_, ticks);
}

void LatencyHistogram::Merge(const LatencyHistogram& other) {
  for (size_t i = 0; i < counts_.size(); ++i) counts_[i] += other.counts_[i];
  count_ += other.count_;
  sum_ += other.sum_;
  min_ = std::min(min_, other.min_);
  max_ = std::max(max_, other.max_);
}

void LatencyHistogram::Clear() { *this = LatencyHistogram(); }

uint64_t LatencyHistogram::AtPercentile(uint32_t per100k) const {
  if (count_ == 0) return 0;
  // The rank of the wanted latency among the sorted ones, from 1: ceil(count x share).
  const auto wanted = static_cast<unsigned __int128>(count_) * std::min<uint32_t>(per100k, 100000);
  const uint64_t rank = std::max<uint64_t>(static_cast<uint64_t>((wanted + 99999) / 100000), 1);
  uint64_t seen = 0;
  for (size_t i = 0; i < counts_.size(); ++i) {
    seen += counts_[i];
    if (seen < rank) continue;
    const Span s = SpanOf(i);
    return std::clamp(s.low + s.width / 2, min_, max_);  // the middle of the bucket halves its error
  }
  return max_;
}

std::string LatencyFields(const LatencyHistogram& h, uint64_t tickFrequency) {
  return LatencyLine("%s|%s|%s|%s|%s", h, tickFrequency);
}

std::string ReadLatencyLine(const LatencyHistogram& h, uint64_t tickFrequency) {
  return LatencyLine("Read Latency(us)  : %s|%s|%s|%s|%s", h, tickFrequency);
}

std::string WriteLatencyLine(const LatencyHistogram& h, uint64_t tickFrequency) {
  return LatencyLine("Write Latency(us) : %s|%s|%s|%s|%s", h, tickFrequency);
}

}  // namespace kestrune::workloads
