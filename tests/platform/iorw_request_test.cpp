// The IOrw driver's 4108-byte record, byte for byte.
#include "platform/iorw_request.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/hex_bytes.h"

namespace kestrune::platform::iorw {
namespace {

using testing::HexPadded;

std::vector<uint8_t> Bytes(const Record& r) { return {r.bytes.begin(), r.bytes.end()}; }

TEST(IorwRecord, RequestsByteForByte) {
  const uint8_t linkControl2[] = {0x03, 0x00};
  struct Case {
    const char* what;
    Record record;
    const char* golden;
  } cases[] = {
      {"header read of 03:00.0", PciConfigRead(3, 0, 0, 0, 256), "30 00 00 00  00 00 03 80  00 01 00 00"},
      {"read is cut at the header's end", PciConfigRead(3, 0, 0, 0xF0, 64),
       "30 00 00 00  F0 00 03 80  10 00 00 00"},
      {"device and function packed as devfn", PciConfigRead(0xA5, 0x1C, 5, 0x34, 1),
       "30 00 00 00  34 E5 A5 80  01 00 00 00"},
      {"Link Control 2 write", PciConfigWrite(3, 0, 0, 0xA0, linkControl2),
       "31 00 00 00  A0 00 03 80  02 00 00 00  03 00"},
      {"reset control register", PortWrite8(0xCF9, 0x0E), "15 00 00 00  F9 0C 00 00  0E 00 00 00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Bytes(c.record), HexPadded(c.golden, kRecordBytes));
  }
}

TEST(IorwRecord, AccessorsReadWhatTheBytesSay) {
  Record r;
  r.bytes[0] = 0x31;
  r.bytes[4] = 0x10;
  r.bytes[7] = 0x80;
  r.bytes[8] = 0x04;
  r.bytes[12] = 0xAB;
  EXPECT_EQ(r.function(), 49u);
  EXPECT_EQ(r.address(), 0x80000010u);
  EXPECT_EQ(r.length(), 4u);
  EXPECT_EQ(r.data()[0], 0xAB);
  EXPECT_EQ(PciConfigAddress(255, 31, 7, 0xFF), 0x80FFFFFFu);
}

}  // namespace
}  // namespace kestrune::platform::iorw
