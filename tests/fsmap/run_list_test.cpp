// The run-list decoder and the update-sequence fix-up over hand-made bytes.
#include "fsmap/run_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/bytes.h"

namespace kestrune::fsmap {
namespace {

struct DecodeCase {
  const char* what;
  std::vector<uint8_t> pairs;
  int64_t startVcn;
  std::vector<fsmap::Run> runs;
  std::string error;  // a part of the error text; empty: decodes to its end
};

TEST(RunList, DecodesAndRefuses) {
  const std::vector<DecodeCase> cases = {
      {"one run", {0x11, 0x08, 0x20, 0x00}, 0, {{0, 0x20, 8}}, ""},
      {"two byte length, three byte offset", {0x32, 0x00, 0x01, 0x00, 0x00, 0x10, 0x00}, 0, {{0, 0x100000, 0x100}}, ""},
      {"negative offset moves back", {0x11, 0x04, 0x40, 0x11, 0x02, 0xF0, 0x00}, 0, {{0, 0x40, 4}, {4, 0x30, 2}}, ""},
      {"a high bit in a wider offset is not a sign", {0x11, 0x01, 0x10, 0x21, 0x01, 0x80, 0x00, 0x00}, 0,
       {{0, 0x10, 1}, {1, 0x90, 1}}, ""},
      {"sparse run has no offset", {0x11, 0x02, 0x10, 0x01, 0x05, 0x11, 0x01, 0x02, 0x00}, 0,
       {{0, 0x10, 2}, {2, kSparseLcn, 5}, {7, 0x12, 1}}, ""},
      {"starts at the attribute's lowest VCN", {0x11, 0x03, 0x07, 0x00}, 40, {{40, 7, 3}}, ""},
      {"eight byte fields", {0x88, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0x00}, 0, {{0, 2, 1}}, ""},
      {"empty list", {0x00}, 0, {}, ""},
      {"no end mark", {0x11, 0x01, 0x01}, 0, {{0, 1, 1}}, "no end"},
      {"nothing at all", {}, 0, {}, "no end"},
      {"length field of nine bytes", {0x19, 0x00}, 0, {}, "not a run"},
      {"no length field", {0x10, 0x05, 0x00}, 0, {}, "not a run"},
      {"fields past the bytes", {0x33, 0x01, 0x02}, 0, {}, "runs past"},
      {"length of zero", {0x11, 0x00, 0x05, 0x00}, 0, {}, "no clusters"},
      {"negative length", {0x11, 0xFF, 0x05, 0x00}, 0, {}, "no clusters"},
      {"offset before the volume", {0x11, 0x01, 0x05, 0x11, 0x01, 0xF0, 0x00}, 0, {{0, 5, 1}}, "before the volume"},
      {"run past any volume",
       {0x81, 0x7F, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00}, 0, {}, "past any volume"},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.what);
    const RunListResult r = DecodeRunList(c.pairs, c.startVcn);
    EXPECT_EQ(r.runs, c.runs);
    if (c.error.empty()) {
      EXPECT_EQ(r.error, "");
    } else {
      EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
    }
  }
}

TEST(RunList, KeepsToTheMostRuns) {
  std::vector<uint8_t> pairs;
  for (int i = 0; i < 10; ++i) pairs.insert(pairs.end(), {0x11, 0x01, 0x01});
  pairs.push_back(0);
  const RunListResult r = DecodeRunList(pairs, 0, 4);
  EXPECT_EQ(r.runs.size(), 4u);
  EXPECT_EQ(r.error, "too many runs");
}

TEST(RunList, EncodesWhatItDecodes) {
  const std::vector<std::vector<fsmap::Run>> lists = {
      {{0, 0x1000, 16}},
      {{0, 0x40, 4}, {4, 0x30, 2}, {6, kSparseLcn, 100}, {106, 0x123456789, 0x10000}},
      {{0, 0x7F, 0x80}, {0x80, 0x80, 0x7F}, {0xFF, 0x1, 1}},
  };
  for (const std::vector<fsmap::Run>& runs : lists) {
    const std::vector<uint8_t> bytes = EncodeRunList(runs);
    const RunListResult r = DecodeRunList(bytes, 0);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.runs, runs);
  }
}

// A record of strides × 512 bytes with its update sequence array at 0x30, every byte numbered.
std::vector<uint8_t> NumberedRecord(size_t strides) {
  std::vector<uint8_t> record(strides * 512);
  for (size_t i = 0; i < record.size(); ++i) record[i] = static_cast<uint8_t>(i * 13 + 1);
  base::PutLe16(&record[4], 0x30);
  base::PutLe16(&record[6], static_cast<uint16_t>(strides + 1));
  return record;
}

TEST(Fixup, RestoresEveryStrideAfterProtection) {
  for (size_t strides : {1u, 2u, 8u}) {
    SCOPED_TRACE(strides);
    std::vector<uint8_t> original = NumberedRecord(strides);
    std::vector<uint8_t> record = original;
    ASSERT_TRUE(ProtectRecord(record, 0x0A0B));
    for (size_t s = 0; s < strides; ++s) EXPECT_EQ(base::GetLe16(&record[s * 512 + 510]), 0x0A0B);
    EXPECT_EQ(ApplyFixup(record).status, FixupStatus::kOk);
    // The array keeps the saved words; everything else is as before.
    for (size_t i = 0; i < record.size(); ++i) {
      if (i >= 0x30 && i < 0x30 + 2 * (strides + 1)) continue;
      ASSERT_EQ(record[i], original[i]) << "byte " << i;
    }
  }
}

TEST(Fixup, RefusesBadCheckWordsAndArrays) {
  std::vector<uint8_t> record = NumberedRecord(2);
  ASSERT_TRUE(ProtectRecord(record, 0x1234));
  std::vector<uint8_t> torn = record;
  torn[1022] ^= 0xFF;  // the second stride's check word: a torn write
  const std::vector<uint8_t> before = torn;
  const FixupResult r = ApplyFixup(torn);
  EXPECT_EQ(r.status, FixupStatus::kBadCheckWord);
  EXPECT_EQ(r.stride, 1u);
  EXPECT_EQ(torn, before) << "a failing record is left as it was";

  struct ArrayCase {
    const char* what;
    uint16_t offset;
    uint16_t entries;
  };
  for (const ArrayCase& c : std::vector<ArrayCase>{{"one entry short", 0x30, 2},
                                                   {"one entry too many", 0x30, 4},
                                                   {"inside the header", 0x04, 3},
                                                   {"odd offset", 0x31, 3},
                                                   {"past the first stride", 0x1FC, 3}}) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> bad = record;
    base::PutLe16(&bad[4], c.offset);
    base::PutLe16(&bad[6], c.entries);
    EXPECT_EQ(ApplyFixup(bad).status, FixupStatus::kBadArray);
  }
  std::vector<uint8_t> odd(700);
  EXPECT_EQ(ApplyFixup(odd).status, FixupStatus::kBadArray) << "not a whole number of strides";
}

}  // namespace
}  // namespace kestrune::fsmap
