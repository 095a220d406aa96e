// The client master trace of the client endurance workload (JEDEC219A_Client): a text of one request
// a line, "$write LBA COUNT", "$trims LBA COUNT" or any other line for a flush, LBA and COUNT in
// decimal 512-byte sectors of a 128 GB device (6106 chunks of 40960 sectors). Reading its lines, the
// counts and sizes of its requests and the chunks its writes and trims touch.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "workloads/enterprise_report.h"

namespace kestrune::workloads {

inline constexpr uint64_t kTraceChunkSectors = 40960;
inline constexpr uint32_t kTraceChunks = 6106;
inline constexpr uint64_t kTraceSectors = kTraceChunkSectors * kTraceChunks;
inline constexpr uint32_t kTraceSectorBytes = 512;

enum class TraceOp : uint8_t { kWrite, kTrim, kFlush };

struct TraceRequest {
  TraceOp op = TraceOp::kFlush;
  uint64_t lba = 0;      // 512-byte sectors of the trace's device
  uint64_t sectors = 0;  // 0 for a flush
};

enum class LineKind : uint8_t { kBlank, kRequest, kBad };

struct ParsedLine {
  LineKind kind = LineKind::kBlank;
  TraceRequest request;
  const char* fault = "";  // kBad: what is wrong with it
};

// One line (without its line end). A "$write" or "$trims" line needs two decimal fields that fit
// in 64 bits, a count of at least one sector and an end inside the trace's 128 GB device; a line
// of only blanks is no request; every other line is a flush.
ParsedLine ParseTraceLine(std::string_view line);

// The lines of a text one at a time, "\n" or "\r\n" ended; the last line may lack its end.
class TraceLines {
 public:
  explicit TraceLines(std::string_view text) : text_(text) {}
  // The next line and its number (from 1); false at the end of the text.
  bool Next(std::string_view& line);
  uint64_t number() const { return number_; }
  size_t consumed() const { return at_; }  // bytes of the text read so far

 private:
  std::string_view text_;
  size_t at_ = 0;
  uint64_t number_ = 0;
};

// Counts and sizes of requests.
struct TraceStats {
  uint64_t writes = 0, trims = 0, flushes = 0;
  uint64_t writeSectors = 0, trimSectors = 0;
  uint64_t maxWriteSectors = 0, maxTrimSectors = 0;

  uint64_t total() const { return writes + trims + flushes; }
  void Add(const TraceRequest& request);
};

// "Total Commands     : %d" ... "Max Trim Sectors   : %d": shares in hundredths of a percent,
// sizes in hundredths of 2^30 bytes.
std::vector<ColouredLine> TraceStatsLines(const TraceStats& stats);

struct TraceAnalysis {
  TraceStats stats;
  std::vector<bool> usedChunks = std::vector<bool>(kTraceChunks);  // touched by a write or a trim
  uint64_t requests = 0;                                           // lines that are requests
  uint64_t maxWriteBytes() const { return stats.maxWriteSectors * kTraceSectorBytes; }
};

// A line that is no request of the trace.
struct TraceFault {
  uint64_t lineNumber = 0;
  std::string line;
  std::string reason;
};

// "<file> line %llu: \"<line>\" (<reason>)", the line cut to 80 characters: the detail of a -90.
std::string TraceFaultText(std::string_view fileName, const TraceFault& fault);

// Reads every line of text; progress gets the whole percent of the text read every 100,000 lines.
std::variant<TraceAnalysis, TraceFault> AnalyzeTrace(std::string_view text,
                                                     const std::function<void(uint32_t percent)>& progress);

}  // namespace kestrune::workloads
