// A soak of the map compare's judgement across power cuts: a map of random shape (sequential or
// random, access size, trims, FUA writes, flushes) written with random queue depth until the lab
// drive loses power after a random number of requests (unflushed writes lost but a random destaged
// subset, in-flight writes torn), then compared as after the power came back: by the run that wrote
// it, and as after a host crash (the record on disk only). What was not yet durable may read old;
// anything else that does not match is a false miscompare. bench/integrity_soak.sh runs a thousand
// or more (KESTRUNE_SOAK_RUNS, KESTRUNE_SOAK_SEED); every test run does a few.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "platform/files.h"
#include "workloads/compare_lab.h"
#include "workloads/lba_map_commands.h"
#include "workloads/map_progress_file.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;
using ull = unsigned long long;

class IntegritySoakPowerCut : public compare_testing::CompareLab {
 protected:
  IntegritySoakPowerCut() { EXPECT_TRUE(RegisterLbaMapCommands(interp).empty()); }
  ~IntegritySoakPowerCut() override {
    for (const std::string& folder : made) std::filesystem::remove_all(platform::FsPath(folder));
  }

  uint64_t Count(const std::string& key) {
    for (const std::string& t : Texts())
      if (t.rfind(key, 0) == 0) return std::stoull(t.substr(t.find(':') + 1));
    return ~0ull;  // not printed: the compare did not get to its report
  }

  // One run from its seed: false with why when a compare found more than not-yet-durable old data.
  bool RunOnce(uint64_t seed, bool& cut, uint64_t& notDurable, std::string& why) {
    std::mt19937_64 random(seed);
    const bool large = random() % 2;
    const std::string drive = large ? disk::testing::kRaw4K : disk::testing::kRawNvme;
    const uint32_t sector = large ? 4096 : 512;
    Select(drive);
    Fault([&](sim::FaultPlan& p) { p = sim::FaultPlan{}, p.seed = seed; }, drive);
    const uint32_t accessKB = 4u << (random() % 3);
    const uint64_t rangeSectors = disk::testing::kMiB / sector;
    const uint64_t lba = random() % 16 * rangeSectors;
    const std::string shape = base::Format(
        "RandRatio:%u, LBA:0x%llX, RangeLenMB:1, AccessKB:%u, LimitTxSizeMB:%u, TrimRatio:%u, FuaRatio:%u, "
        "FlushRatio:%u",
        static_cast<unsigned>(random() % 101), static_cast<ull>(lba), accessKB, static_cast<unsigned>(1 + random() % 3),
        static_cast<unsigned>(random() % 1500), static_cast<unsigned>(random() % 1500),
        static_cast<unsigned>(random() % 1500));
    Run("Compare_MapMake( " + shape + " );");
    if (Code() != 0) return (why = "the map was not made: " + shape + " " + Description(), false);
    const std::string map = DumpPath();
    made.push_back(platform::FolderOf(map));
    Run(base::Format("FullByPattern( LBA:0x%llX, RangeSector:%llu, Pattern:0, MarkSectorHeader:TRUE );",
                     static_cast<ull>(lba), static_cast<ull>(rangeSectors)));
    Run("FlushCache();");
    Fault(
        [&](sim::FaultPlan& p) {
          p.powerCutAfterRequests = static_cast<uint32_t>(10 + random() % 500);
          p.returnAfterSeconds = 1;
        },
        drive);
    Run(base::Format("Compare_MapWrite( LBAMap:\"%s\", QD:%u, WritePattern:0x0F0F0F0F );", map.c_str(),
                     static_cast<unsigned>(1 + random() % 8)));
    cut = Code() != 0;
    host.Advance(2000);
    // A cut the write did not reach must not fall on the compare's reads.
    Fault([](sim::FaultPlan& p) { p.powerCutAfterRequests = 0; }, drive);
    const std::string compare = "Compare_MapCompare( LBAMap:\"" + map + "\", BasePattern:0, WritePattern:0x0F0F0F0F );";
    for (const bool crashed : {false, true}) {
      if (crashed) MapProgressOf(interp, 0) = MapProgress{};
      Run(compare);
      const uint64_t errors = Count("Total Error Sectors");
      if (!crashed) notDurable += Count("Old Data Not Yet Durable Sectors");
      if (errors != 0 && std::getenv("KESTRUNE_SOAK_SHOW"))
        for (const std::string& t : Texts()) {
          std::printf("  | %s\n", t.c_str());
          if (t.ends_with(".csv")) {
            const std::vector<uint8_t> csv = platform::ReadWholeFile(t).value_or(std::vector<uint8_t>{});
            std::printf("%.*s\n", static_cast<int>(csv.size()), reinterpret_cast<const char*>(csv.data()));
          }
        }
      if (errors != 0)
        return (why = base::Format("false miscompare%s: %s, Total Error Sectors %llu, code %d",
                                   crashed ? " after a host crash" : "", shape.c_str(), static_cast<ull>(errors), Code()),
                false);
    }
    return true;
  }

  std::vector<std::string> made;
};

TEST_F(IntegritySoakPowerCut, NothingDurableIsLostAndNothingElseMiscompares) {
  const char* runsText = std::getenv("KESTRUNE_SOAK_RUNS");
  const char* seedText = std::getenv("KESTRUNE_SOAK_SEED");
  const uint64_t runs = runsText && *runsText ? std::strtoull(runsText, nullptr, 0) : 6;
  const uint64_t seed = seedText && *seedText ? std::strtoull(seedText, nullptr, 0) : 20261211;
  uint64_t cuts = 0, notDurable = 0;
  std::vector<std::string> failures;
  for (uint64_t i = 0; i < runs; ++i) {
    bool cut = false;
    std::string why;
    if (!RunOnce(seed + i, cut, notDurable, why)) failures.push_back(base::Format("seed %llu: ", static_cast<ull>(seed + i)) + why);
    cuts += cut;
  }
  std::printf("integrity soak: power cuts, %llu runs from seed %llu, %llu cut during the write, %llu sectors of old "
              "data not yet durable (allowed), %zu false miscompares\n",
              static_cast<ull>(runs), static_cast<ull>(seed), static_cast<ull>(cuts), static_cast<ull>(notDurable),
              failures.size());
  for (const std::string& f : failures) std::printf("FAILED %s\n", f.c_str());
  EXPECT_TRUE(failures.empty()) << failures.size() << " runs failed; the first: " << failures.front();
  EXPECT_GT(cuts, 0u) << "no run lost power while writing";
  EXPECT_GT(notDurable, 0u) << "no power cut lost a write: the soak tests nothing";
}

}  // namespace
}  // namespace kestrune::workloads
