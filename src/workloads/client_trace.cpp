#include "workloads/client_trace.h"

#include <algorithm>

#include "base/text.h"
#include "workloads/job_stats.h"

namespace kestrune::workloads {
namespace {

constexpr uint64_t kProgressEveryLines = 100000;
constexpr size_t kShownLineChars = 80;
constexpr uint32_t kCountColour = 0x00FFFF;
constexpr uint32_t kShareColour = 0xFFFFFF;
constexpr uint32_t kSizeColour = 0xFFFF00;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// The next field of line, blanks skipped; empty at the end.
std::string_view NextField(std::string_view& line) {
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  size_t j = i;
  while (j < line.size() && !IsBlank(line[j])) ++j;
  const std::string_view field = line.substr(i, j - i);
  line.remove_prefix(j);
  return field;
}

// A decimal number of 64 bits; false for anything else (signs, letters, overflow).
bool Decimal(std::string_view text, uint64_t& value) {
  if (text.empty()) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    if (__builtin_mul_overflow(value, uint64_t{10}, &value) ||
        __builtin_add_overflow(value, static_cast<uint64_t>(c - '0'), &value))
      return false;
  }
  return true;
}

// "%d.%02d" of part in hundredths of a percent of whole.
std::string Share(uint64_t part, uint64_t whole) {
  const uint64_t h =
      whole == 0 ? 0 : static_cast<uint64_t>(static_cast<unsigned __int128>(part) * 10000 / whole);
  return base::Format("%llu.%02llu", static_cast<unsigned long long>(h / 100),
                      static_cast<unsigned long long>(h % 100));
}

// "%d.%02d" of sectors of 512 bytes in hundredths of 2^30 bytes.
std::string Gib(uint64_t sectors) {
  const unsigned __int128 bytes = static_cast<unsigned __int128>(sectors) * kTraceSectorBytes;
  const auto h = static_cast<uint64_t>(bytes * 100 >> 30);
  return base::Format("%llu.%02llu", static_cast<unsigned long long>(h / 100),
                      static_cast<unsigned long long>(h % 100));
}

}  // namespace

ParsedLine ParseTraceLine(std::string_view line) {
  ParsedLine p;
  std::string_view rest = line;
  const std::string_view op = NextField(rest);
  if (op.empty()) return p;
  p.kind = LineKind::kRequest;
  const bool write = op == "$write", trim = op == "$trims";
  if (!write && !trim) return p;  // every other line flushes
  p.request.op = write ? TraceOp::kWrite : TraceOp::kTrim;
  const std::string_view lba = NextField(rest), count = NextField(rest);
  p.kind = LineKind::kBad;
  if (lba.empty() || count.empty()) {
    p.fault = "LBA or sector count missing";
  } else if (!Decimal(lba, p.request.lba) || !Decimal(count, p.request.sectors)) {
    p.fault = "LBA or sector count not a decimal number of 64 bits";
  } else if (p.request.sectors == 0) {
    p.fault = "sector count 0";
  } else if (p.request.lba >= kTraceSectors || p.request.sectors > kTraceSectors - p.request.lba) {
    p.fault = "past the trace's 128 GB";
  } else {
    p.kind = LineKind::kRequest;
  }
  return p;
}

bool TraceLines::Next(std::string_view& line) {
  if (at_ >= text_.size()) return false;
  const size_t end = text_.find('\n', at_);
  const size_t stop = end == std::string_view::npos ? text_.size() : end;
  line = text_.substr(at_, stop - at_);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  at_ = end == std::string_view::npos ? text_.size() : end + 1;
  ++number_;
  return true;
}

void TraceStats::Add(const TraceRequest& r) {
  switch (r.op) {
    case TraceOp::kWrite:
      ++writes;
      writeSectors += r.sectors;
      maxWriteSectors = std::max(maxWriteSectors, r.sectors);
      break;
    case TraceOp::kTrim:
      ++trims;
      trimSectors += r.sectors;
      maxTrimSectors = std::max(maxTrimSectors, r.sectors);
      break;
    case TraceOp::kFlush:
      ++flushes;
      break;
  }
}

std::vector<ColouredLine> TraceStatsLines(const TraceStats& s) {
  auto n = [](uint64_t v) { return static_cast<unsigned long long>(v); };
  const uint64_t total = s.total();
  return {
      {base::Format("Total Commands     : %llu", n(total)), kCountColour},
      {base::Format("Trim Commands(%%)   : %-12llu | %s", n(s.trims), Share(s.trims, total).c_str()),
       kShareColour},
      {base::Format("Write Commands(%%)  : %-12llu | %s", n(s.writes), Share(s.writes, total).c_str()),
       kShareColour},
      {base::Format("Flush Commands(%%)  : %-12llu | %s", n(s.flushes), Share(s.flushes, total).c_str()),
       kShareColour},
      {"Trim Size (GB)     : " + Gib(s.trimSectors), kSizeColour},
      {"Write Size (GB)    : " + Gib(s.writeSectors), kSizeColour},
      {base::Format("Max Write Sectors  : %llu", n(s.maxWriteSectors)), kSizeColour},
      {base::Format("Max Trim Sectors   : %llu", n(s.maxTrimSectors)), kSizeColour},
  };
}

std::string TraceFaultText(std::string_view fileName, const TraceFault& f) {
  std::string shown = f.line.substr(0, kShownLineChars);
  if (f.line.size() > kShownLineChars) shown += "...";
  return base::Format("%.*s line %llu: \"%s\" (%s)", static_cast<int>(fileName.size()), fileName.data(),
                      static_cast<unsigned long long>(f.lineNumber), shown.c_str(), f.reason.c_str());
}

std::variant<TraceAnalysis, TraceFault> AnalyzeTrace(std::string_view text,
                                                     const std::function<void(uint32_t percent)>& progress) {
  TraceAnalysis a;
  TraceLines lines(text);
  std::string_view line;
  while (lines.Next(line)) {
    if (progress && lines.number() % kProgressEveryLines == 0)
      progress(PercentOf(lines.consumed(), text.size()));
    const ParsedLine p = ParseTraceLine(line);
    if (p.kind == LineKind::kBlank) continue;
    if (p.kind == LineKind::kBad) return TraceFault{lines.number(), std::string(line), p.fault};
    ++a.requests;
    a.stats.Add(p.request);
    if (p.request.op == TraceOp::kFlush) continue;
    const uint64_t first = p.request.lba / kTraceChunkSectors;
    const uint64_t last = (p.request.lba + p.request.sectors - 1) / kTraceChunkSectors;
    for (uint64_t c = first; c <= last; ++c) a.usedChunks[c] = true;
  }
  if (progress) progress(100);
  return a;
}

}  // namespace kestrune::workloads
