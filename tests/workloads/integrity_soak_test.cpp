// A soak of the verify engine's fault finding on the lab: runs with random parameters (drive of 512-
// or 4096-byte sectors, place, access size, queue depth, trim, FUA and flush shares), each either
// clean (any miscompare is a false one) or with one fault of a class injected at a random LBA (it
// must be found at that LBA and named with that cause). Every test run does a few dozen;
// bench/integrity_soak.sh does a thousand or more (KESTRUNE_SOAK_RUNS, KESTRUNE_SOAK_SEED) and
// prints the figures per class and the seeds of the runs that failed.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "workloads/compare_lab.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;
using compare_testing::CompareLab;
using ull = unsigned long long;

enum class FaultClass { kClean, kStoredBit, kReadBit, kLostWrite, kTornWrite };
constexpr std::array<const char*, 5> kClassNames = {"clean", "stored bit", "read bit", "lost write", "torn write"};

struct Tally {
  uint32_t runs = 0, detected = 0, misclassified = 0, falseMiscompares = 0;
};

uint64_t EnvNumber(const char* name, uint64_t fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::strtoull(v, nullptr, 0) : fallback;
}

class IntegritySoak : public CompareLab {
 protected:
  // One run from its seed: false with why when it went wrong.
  bool RunOnce(uint64_t seed, FaultClass& cls, std::string& why) {
    std::mt19937_64 random(seed);
    const bool large = random() % 2;
    const std::string drive = large ? disk::testing::kRaw4K : disk::testing::kRawNvme;
    const uint32_t sector = large ? 4096 : 512;
    const uint64_t capacity = (large ? 32 : 64) * disk::testing::kMiB / sector;
    Select(drive);
    static constexpr std::array<uint32_t, 4> kAccessKB = {4, 8, 16, 64};
    const uint32_t accessKB = kAccessKB[random() % kAccessKB.size()];
    const uint64_t perBlock = accessKB * 1024ull / sector;
    const uint64_t range = disk::testing::kMiB / sector;
    const uint64_t first = random() % ((capacity - range) / perBlock) * perBlock;
    const uint64_t blocks = range / perBlock;
    cls = static_cast<FaultClass>(random() % kClassNames.size());
    Fault([&](sim::FaultPlan& p) { p = sim::FaultPlan{}, p.seed = seed; }, drive);

    const char* verify =
        "Compare_SeqReadWrite( LBA:0x%llX, RangeLenMB:1, AccessKB:%u, QD:%u, WritePattern:0x%08X, LimitCycle:%d, "
        "LimitTimeSec:0, StepRun:0, StepDelay:0, TrimRatio:%u, FuaRatio:%u, FlushRatio:%u, nWrite1Read:1 );";
    const uint32_t pattern = static_cast<uint32_t>(random());
    if (cls == FaultClass::kClean) {
      const uint32_t qd = 1 + random() % 8, trim = random() % 2000, fua = random() % 2000, flush = random() % 2000;
      Run(base::Format(verify, static_cast<ull>(first), accessKB, qd, pattern, 2, trim, fua, flush));
      if (Code() != 0) return (why = "false miscompare: " + Description(), false);
      return true;
    }
    // Two clean cycles first: block k then holds write blocks + k + 1 of that job.
    Run(base::Format(verify, static_cast<ull>(first), accessKB, 1u, pattern, 2, 0u, 0u, 0u));
    if (Code() != 0) return (why = "false miscompare before the fault: " + Description(), false);
    uint64_t x = first + random() % range;
    if (cls == FaultClass::kTornWrite && x % perBlock == 0) ++x;  // a tear inside its block
    if (cls == FaultClass::kTornWrite && perBlock == 1) cls = FaultClass::kStoredBit;  // no sector to tear past
    Fault(
        [&](sim::FaultPlan& p) {
          switch (cls) {
            case FaultClass::kStoredBit: p.bitFlipWrites.insert(x); break;
            case FaultClass::kReadBit: p.bitFlipReads.insert(x); break;
            case FaultClass::kLostWrite: p.lostWrites.insert(x); break;
            case FaultClass::kTornWrite: p.tornWrites.insert(x); break;
            case FaultClass::kClean: break;
          }
        },
        drive);
    Run(base::Format(verify, static_cast<ull>(first), accessKB, 1u, pattern, 1, 0u, 0u, 0u));
    const uint64_t k = (x - first) / perBlock;
    int32_t wantCode = code::kMiscompareTwice;
    uint64_t wantLba = x;
    std::string cause = "corrupt (1 bits)";
    if (cls == FaultClass::kReadBit) wantCode = code::kMiscompareThenCorrect;
    if (cls == FaultClass::kLostWrite) {
      wantLba = first + k * perBlock;
      cause = base::Format("stale (own LBA, older write %llu)", static_cast<ull>(blocks + k + 1));
    }
    if (cls == FaultClass::kTornWrite)
      cause = base::Format("torn (sectors %llu..%llu from other writes)", static_cast<ull>(x % perBlock),
                           static_cast<ull>(perBlock - 1));
    const std::string where = base::Format(" at LBA 0x%llX (sector %u, %u KiB)", static_cast<ull>(x), sector, accessKB);
    if (Code() != wantCode || !Printed(base::Format("Error LBA    : 0x%llX ", static_cast<ull>(wantLba))))
      return (why = std::string("not found") + where + ": code " + std::to_string(Code()), false);
    if (!Printed("Error Cause  : " + cause)) return (why = "misclassified" + where + ", want " + cause, false);
    return true;
  }

  // Runs count runs from seeds base, base + 1, ...; the tallies per class and the failures.
  void Soak(uint64_t base, uint64_t count, std::map<FaultClass, Tally>& tallies, std::vector<std::string>& failures) {
    for (uint64_t i = 0; i < count; ++i) {
      FaultClass cls = FaultClass::kClean;
      std::string why;
      const bool ok = RunOnce(base + i, cls, why);
      Tally& t = tallies[cls];
      ++t.runs;
      if (ok) {
        if (cls != FaultClass::kClean) ++t.detected;
        continue;
      }
      if (why.starts_with("false")) ++t.falseMiscompares;
      if (why.starts_with("misclassified")) ++t.detected, ++t.misclassified;
      failures.push_back(base::Format("seed %llu (%s): ", static_cast<ull>(base + i), kClassNames[static_cast<size_t>(cls)]) + why);
    }
  }
};

TEST_F(IntegritySoak, EveryFaultFoundAndNamedNoFalseMiscompare) {
  const uint64_t runs = EnvNumber("KESTRUNE_SOAK_RUNS", 24);
  const uint64_t seed = EnvNumber("KESTRUNE_SOAK_SEED", 20261210);
  std::map<FaultClass, Tally> tallies;
  std::vector<std::string> failures;
  Soak(seed, runs, tallies, failures);
  std::printf("integrity soak: %llu runs from seed %llu\n", static_cast<ull>(runs), static_cast<ull>(seed));
  std::printf("%-12s %6s %9s %9s %14s %16s\n", "class", "runs", "injected", "detected", "misclassified", "false miscompares");
  for (const auto& [cls, t] : tallies) {
    const bool clean = cls == FaultClass::kClean;
    std::printf("%-12s %6u %9u %9u %14u %16u\n", kClassNames[static_cast<size_t>(cls)], t.runs, clean ? 0 : t.runs,
                t.detected, t.misclassified, t.falseMiscompares);
  }
  for (const std::string& f : failures) std::printf("FAILED %s\n", f.c_str());
  EXPECT_TRUE(failures.empty()) << failures.size() << " runs failed; the first: " << failures.front();
}

}  // namespace
}  // namespace kestrune::workloads
