// The maker's event log: the length its header may claim, the entries it may name, a log of
// zeros, and the decoded line.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/bytes.h"
#include "devcmd/vendor_event_log.h"

namespace kestrune::devcmd {
namespace {

constexpr int32_t kBad = -90;

std::vector<uint8_t> EventLog(uint64_t length, uint32_t count, size_t bytes = kVendorBlock) {
  std::vector<uint8_t> log(bytes, 0);
  std::memcpy(log.data(), "ELOG", 4);
  base::PutLe64(&log[kEventLengthAt], length);
  base::PutLe32(&log[kEventCountAt], count);
  for (uint32_t i = 0; i < count && kEventEntriesAt + (i + 1) * kEventEntry <= bytes; ++i) {
    uint8_t* p = &log[kEventEntriesAt + i * kEventEntry];
    base::PutLe64(p, 60 + i);
    base::PutLe16(p + 8, static_cast<uint16_t>(0x100 + i));
    p[10] = static_cast<uint8_t>(i % 4);
    base::PutLe32(p + 12, 0xAB00 + i);
  }
  return log;
}

TEST(VendorEventLog, LengthEntriesAndZeros) {
  const struct {
    const char* what;
    uint64_t length;
    int32_t code;
  } lengths[] = {
      {"one page", 4096, 1},
      {"three pages", 3 * 4096, 1},
      {"less than its own page", 4095, kBad},
      {"not whole pages", 4096 + 512, kBad},
      {"the most held in memory", kMaxEventLogBytes, 1},
      {"above it", kMaxEventLogBytes + 4096, kBad},
  };
  for (const auto& c : lengths) EXPECT_EQ(EventLogLength(EventLog(c.length, 0)).code, c.code) << c.what;
  std::vector<uint8_t> unsigned_ = EventLog(4096, 0);
  unsigned_[3] = 'X';
  EXPECT_FALSE(HasEventLogHeader(unsigned_));
  EXPECT_EQ(EventLogLength(unsigned_).code, kBad);

  std::vector<EventEntry> entries;
  // 252 entries fill the first page after the header; one more runs past what was read.
  ASSERT_EQ(EventLogEntries(EventLog(4096, 252), entries), 1);
  ASSERT_EQ(entries.size(), 252u);
  EXPECT_EQ(entries[251].seconds, 60u + 251);
  EXPECT_EQ(entries[251].id, 0x100 + 251);
  EXPECT_EQ(entries[251].severity, 251 % 4);
  EXPECT_EQ(entries[251].parameter, 0xAB00u + 251);
  EXPECT_EQ(EventLogEntries(EventLog(4096, 253), entries), kBad);
  EXPECT_EQ(EventLogEntries(EventLog(8192, 253, 8192), entries), 1);
  EXPECT_EQ(EventLogEntries(EventLog(4096, 0xFFFFFFFF), entries), kBad);

  // Zeros where entries are named: a log never written out; an empty log is not that.
  std::vector<uint8_t> zeros = EventLog(8192, 0, 8192);
  base::PutLe32(&zeros[kEventCountAt], 300);
  EXPECT_TRUE(EventLogIsZero(zeros));
  EXPECT_FALSE(EventLogIsZero(EventLog(4096, 0)));
  EXPECT_FALSE(EventLogIsZero(EventLog(4096, 1)));

  EXPECT_EQ(EventLine(7, {3600, 0x0105, 2, 0x11}), "[00007] PowerOn       3600 s  Event 0x0105  Error    Param 0x00000011");
  EXPECT_EQ(EventLine(0, {0, 1, 9, 0}), "[00000] PowerOn          0 s  Event 0x0001  Sev 9    Param 0x00000000");
}

}  // namespace
}  // namespace kestrune::devcmd
