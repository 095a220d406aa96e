// The ACPI tables found through the root pointer in physical memory, over a memory made of a few
// regions here; and the power cut carried out with them when the system's table interface fails.
#include "devcmd/acpi_memory_tables.h"

#include <gtest/gtest.h>

#include <map>

#include "base/bytes.h"
#include "devcmd/acpi_s5.h"
#include "sim/lab_acpi.h"

namespace kestrune::devcmd {
namespace {

using Bytes = std::vector<uint8_t>;

// Memory made of regions; a read outside them fails, as an unmapped address would.
class FakeMemory final : public platform::PhysicalMemory {
 public:
  void Put(uint64_t address, const Bytes& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) bytes_[address + i] = bytes[i];
  }
  bool Read(uint64_t address, uint32_t length, Bytes& out, std::string& why) override {
    ++reads;
    out.clear();
    for (uint64_t a = address; a < address + length; ++a) {
      auto it = bytes_.find(a);
      if (it == bytes_.end() && (a < kBiosAreaStart || a >= kBiosAreaEnd)) return (out.clear(), why = "unmapped", false);
      out.push_back(it == bytes_.end() ? 0 : it->second);
    }
    return true;
  }
  int reads = 0;

 private:
  std::map<uint64_t, uint8_t> bytes_;
};

class NoTables final : public platform::AcpiTables {
 public:
  bool Read(std::string_view, Bytes& bytes, std::string& why) override {
    bytes.clear();
    why = "no firmware table interface";
    return false;
  }
};

Bytes RootPointer(uint8_t revision, uint32_t rsdt, uint64_t xsdt, bool goodSum = true) {
  Bytes p(36, 0);
  std::copy_n("RSD PTR ", 8, p.begin());
  p[15] = revision;
  base::PutLe32(p.data() + 16, rsdt);
  base::PutLe32(p.data() + 20, 36);
  base::PutLe64(p.data() + 24, xsdt);
  uint8_t s = 0;
  for (int i = 0; i < 20; ++i) s = static_cast<uint8_t>(s + p[i]);
  p[8] = static_cast<uint8_t>(-s + (goodSum ? 0 : 1));
  s = 0;
  for (int i = 0; i < 36; ++i) s = static_cast<uint8_t>(s + p[i]);
  p[32] = static_cast<uint8_t>(-s);
  return p;
}

Bytes RootTable(const char* signature, std::initializer_list<uint64_t> entries, int entryBytes) {
  Bytes body;
  for (const uint64_t e : entries) {
    base::AppendLe32(body, static_cast<uint32_t>(e));
    if (entryBytes == 8) base::AppendLe32(body, static_cast<uint32_t>(e >> 32));
  }
  return sim::LabAcpiTable(signature, 1, body);
}

Bytes Fadt(uint32_t dsdt) {
  Bytes body(244 - 36, 0);
  base::PutLe32(body.data() + 40 - 36, dsdt);
  base::PutLe32(body.data() + 64 - 36, sim::kLabPm1aControlPort);
  body[89 - 36] = 2;
  return sim::LabAcpiTable("FACP", 5, body);
}

// A DSDT longer than one driver request, its Name(_S5_, Package(){5, ...}) past the first 4096
// bytes, behind a buffer of filler.
Bytes LongDsdt() {
  Bytes body = {0x08, 'B', 'U', 'F', '_', 0x11, 0x86, 0x33, 0x01, 0x0B, 0x30, 0x13};  // Buffer (0x1330) {...}
  body.resize(body.size() + 0x1330, 0xAA);
  const Bytes s5 = {0x08, '_', 'S', '5', '_', 0x12, 0x07, 0x04, 0x0A, sim::kLabS5SleepType, 0x00, 0x00, 0x00};
  body.insert(body.end(), s5.begin(), s5.end());
  return sim::LabAcpiTable("DSDT", 2, body);
}

constexpr uint64_t kRsdt = 0x7FFE0000, kXsdt = 0x1'2345'0000, kApic = 0x7FFE1000, kFacp = 0x7FFE2000,
                   kDsdt = 0x7FFF0000;

TEST(AcpiMemorySearch, FindsTheTablesThroughTheRootPointer) {
  struct Case {
    const char* what;
    std::vector<std::pair<uint64_t, Bytes>> regions;
    bool found;
    const char* whyHas;  // a failure's words
  } cases[] = {
      {"RSDT, the FADT its second entry",
       {{0xE0000, RootPointer(0, kRsdt, 0)}, {kRsdt, RootTable("RSDT", {kApic, kFacp}, 4)},
        {kApic, sim::LabAcpiTable("APIC", 1, {})}, {kFacp, Fadt(kDsdt)}, {kDsdt, LongDsdt()}},
       true, ""},
      {"a stray \"RSD PTR \" with a bad checksum is passed over",
       {{0xE0000, RootPointer(0, 0x1000, 0, false)}, {0xF5A30, RootPointer(0, kRsdt, 0)},
        {kRsdt, RootTable("RSDT", {kFacp}, 4)}, {kFacp, Fadt(kDsdt)}, {kDsdt, LongDsdt()}},
       true, ""},
      {"revision 2 without an RSDT: the XSDT above 4 GiB",
       {{0xFFFC0, RootPointer(2, 0, kXsdt)}, {kXsdt, RootTable("XSDT", {0, kFacp}, 8)}, {kFacp, Fadt(kDsdt)},
        {kDsdt, LongDsdt()}},
       true, ""},
      {"no root pointer", {}, false, "RSD PTR"},
      {"the root table lists no FADT",
       {{0xE0000, RootPointer(0, kRsdt, 0)}, {kRsdt, RootTable("RSDT", {kApic}, 4)},
        {kApic, sim::LabAcpiTable("APIC", 1, {})}},
       false, "lists no FACP"},
      {"an entry that cannot be read is passed over",
       {{0xE0000, RootPointer(0, kRsdt, 0)}, {kRsdt, RootTable("RSDT", {0xDEAD0000, kFacp}, 4)},
        {kFacp, Fadt(kDsdt)}, {kDsdt, LongDsdt()}},
       true, ""},
      {"the root pointer names something that is no RSDT",
       {{0xE0000, RootPointer(0, kApic, 0)}, {kApic, sim::LabAcpiTable("APIC", 1, {})}}, false, "not RSDT"},
      {"the FADT names no DSDT",
       {{0xE0000, RootPointer(0, kRsdt, 0)}, {kRsdt, RootTable("RSDT", {kFacp}, 4)}, {kFacp, Fadt(0)}},
       false, "no DSDT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeMemory memory;
    for (const auto& [address, bytes] : c.regions) memory.Put(address, bytes);
    NoTables none;
    AcpiTablesWithMemorySearch tables(none, memory);
    sim::LabPortIo ports(nullptr);
    std::string why;
    EXPECT_EQ(AcpiPowerCut(tables, ports, why), c.found) << why;
    if (c.found) {
      EXPECT_TRUE(ports.poweredOff());
      EXPECT_EQ((ports.pm1aControl() >> 10) & 7, sim::kLabS5SleepType);
    } else {
      EXPECT_NE(why.find(c.whyHas), std::string::npos) << why;
      EXPECT_NE(why.find("no firmware table interface"), std::string::npos) << why;
      EXPECT_FALSE(ports.poweredOff());
    }
  }
}

TEST(AcpiMemorySearch, BoundsWhatMemorySays) {
  FakeMemory memory;
  memory.Put(0xE0000, RootPointer(0, kRsdt, 0));
  Bytes huge = RootTable("RSDT", {kFacp}, 4);
  base::PutLe32(huge.data() + 4, 0xFFFFFFF0);  // a length no table has
  memory.Put(kRsdt, huge);
  Bytes bytes;
  std::string why;
  EXPECT_FALSE(ReadAcpiTableFromMemory(memory, "FACP", bytes, why));
  EXPECT_NE(why.find("gives the length"), std::string::npos) << why;
  EXPECT_LT(memory.reads, 5) << "nothing of that length is read";
}

TEST(AcpiMemorySearch, TheSystemsTableComesFirst) {
  FakeMemory memory;
  sim::LabAcpiTables lab;
  AcpiTablesWithMemorySearch tables(lab, memory);
  Bytes bytes;
  std::string why;
  ASSERT_TRUE(tables.Read("FACP", bytes, why)) << why;
  EXPECT_EQ(memory.reads, 0);
}

}  // namespace
}  // namespace kestrune::devcmd
