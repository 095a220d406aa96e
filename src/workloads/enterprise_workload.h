// The enterprise endurance workload (JEDEC219A_Enterprise): requests of the mixed sizes, at random
// sectors of three parts of the range (the first 5 %, the next 15 % and the last 80 % of it, taken
// 50, 30 and 20 times in 100), writes and reads by the write ratio, up to 32 in flight through one
// queue. With DataCompare one request is in flight and every write is read back and compared; a
// difference is classified by a second read one second later (-70 gone, -71 still there).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/async_queue.h"
#include "platform/host.h"
#include "workloads/compare_report.h"
#include "workloads/random_source.h"
#include "workloads/ratio_table.h"

namespace kestrune::workloads {

// The three parts of the range, and how many of 100 requests go to each.
enum EnterpriseRange : uint8_t { kRangeA = 0, kRangeB = 1, kRangeC = 2 };
inline constexpr size_t kEnterpriseRangeCount = 3;
inline constexpr uint32_t kEnterpriseRangeEntries[kEnterpriseRangeCount] = {50, 30, 20};

// kPercentTableSize entries holding each entry's EnterpriseRange, shuffled by generator.
std::vector<uint8_t> EnterpriseRangeTable(Generator& generator);

// Where a part's requests start: firstSector + a random sector below startSectors. The last 128
// sectors of each part are never a start, so that the largest request stays inside its part.
struct EnterpriseSpan {
  uint64_t firstSector = 0;
  uint64_t startSectors = 0;
};

// The three parts of rangeSectors sectors from startSector; nullopt when a part is no longer than
// the 128 sectors kept free at its end (a range too small for the workload).
std::optional<std::array<EnterpriseSpan, kEnterpriseRangeCount>> EnterpriseSpans(uint64_t startSector,
                                                                                 uint64_t rangeSectors);

// Requests by part and size (the index into kMixedSizes), by direction, and the bytes moved.
struct EnterpriseCounts {
  std::array<std::array<uint64_t, kMixedSizeCount>, kEnterpriseRangeCount> cells{};
  uint64_t writes = 0;
  uint64_t reads = 0;
  uint64_t bytes = 0;

  uint64_t total() const { return writes + reads; }
};

struct EnterpriseSetup {
  uint64_t startSector = 0;  // in the target's sectors
  uint64_t rangeSectors = 0;
  uint32_t sectorSize = 512;
  uint32_t writeRatio = 100;  // percent of the requests that are writes
  bool dataCompare = false;
  uint64_t limitBytes = 0;    // the job ends once this much was issued; 0 = no transfer limit
  uint32_t limitTimeSec = 0;  // 0 = no time limit
  const std::atomic<bool>* cancel = nullptr;
  std::string outputBase;  // for the dumps of a miscompare
};

// What the workload needs from its command.
class EnterpriseHooks {
 public:
  virtual ~EnterpriseHooks() = default;
  // A queue of depth requests on the target; nullptr with the reason in why when it does not open.
  virtual std::unique_ptr<platform::AsyncQueue> OpenQueue(uint32_t depth, std::string& why) = 0;
  virtual void ShowStatus(std::string_view text) = 0;
  // A request was issued at offset (bytes): for the coverage map.
  virtual void Touched(uint64_t offset, uint64_t bytes) = 0;
};

struct EnterpriseOutcome {
  int32_t code = 1;  // 1; -1 open, -2 range, -3, -4, -76, -83, -70/-71 (DataCompare)
  EnterpriseCounts counts;
  CompareReport report;     // DataCompare: the miscompare's place and the share of the limit done
  uint64_t lastOffset = 0;  // the failing request's byte offset (else the last one issued)
  std::string why;          // for -1: why the target did not open
};

EnterpriseOutcome RunEnterprise(const EnterpriseSetup& setup, EnterpriseHooks& hooks, platform::Host& host);

// "%s Time: %I64d sec | TxSize: %d.%d GB" with the spinner, the seconds and bytes as tenths of GiB.
std::string EnterpriseStatusLine(char spinner, uint64_t seconds, uint64_t bytes);

// "%d.%d" of bytes in tenths of 2^30 bytes (truncated): 1.5 GiB gives "1.5".
std::string TenthsOfGiB(uint64_t bytes);

}  // namespace kestrune::workloads
