// The partition table fuzz target's inputs run in the unit tests (under the sanitizers of the test
// build): the seeds read as the tables they hold, and every input and its variants end with one of
// the reader's codes; a GPT the reader accepts always rests on a header that checks out sound.
#include <gtest/gtest.h>

#include <map>

#include "fuzz/corpus_replay.h"
#include "fuzz/partition_fuzz_input.h"

namespace kestrune::disk {
namespace {

TEST(PartitionFuzzCorpus, SeedsReadAndEveryVariantEndsSoundly) {
  struct Seed {
    TableScheme scheme;
    size_t partitions;
  };
  const std::map<std::string, Seed> seeds = {{"gpt512", {TableScheme::kGpt, 2}}, {"mbr512", {TableScheme::kMbr, 2}}};
  int gptAccepted = 0;
  const int inputs = fuzz::ReplayCorpus(
      KESTRUNE_SOURCE_DIR "/tests/fuzz/partition_corpus", 1, 48,
      [&](const std::string& name, const std::vector<uint8_t>& bytes, int variant) {
        PartitionTable table;
        const TableRead r = fuzz::RunPartitionInput(bytes.data(), bytes.size(), table);
        EXPECT_TRUE(r.code == 1 || r.code == -2 || r.code == -3 || r.code == -90) << variant << ": " << r.code;
        if (variant < 0 && seeds.count(name)) {
          EXPECT_EQ(r.code, 1) << r.detail;
          EXPECT_EQ(table.scheme, seeds.at(name).scheme);
          EXPECT_EQ(table.scheme == TableScheme::kGpt ? table.gpt.size() : table.mbr.size(), seeds.at(name).partitions);
        }
        if (r.code != 1 || table.scheme != TableScheme::kGpt) return;
        ++gptAccepted;
        const fuzz::PartitionInput in = fuzz::DescribePartitionInput(bytes.data(), bytes.size());
        ASSERT_LT(table.headerLba, in.imageSectors);
        GptHeader header;
        EXPECT_EQ(CheckGptHeader(in.image.subspan(table.headerLba * in.sectorSize, in.sectorSize), table.headerLba,
                                 in.diskSectors, header),
                  "")
            << variant;
        EXPECT_EQ(table.usedBackup, !table.primaryDamage.empty()) << variant;
      });
  EXPECT_GE(inputs, 7);
  EXPECT_GT(gptAccepted, 1);  // the GPT seed and some of its variants reach the GPT's checks
}

}  // namespace
}  // namespace kestrune::disk
