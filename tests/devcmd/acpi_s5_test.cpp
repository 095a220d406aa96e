// The FADT fields, the DSDT's _S5_ package and the PM1a control value of the ACPI power cut, over
// table bytes made here; and the cut as a whole over the lab machine's tables and ports.
#include "devcmd/acpi_s5.h"

#include <gtest/gtest.h>

#include <map>

#include "base/bytes.h"
#include "sim/lab_acpi.h"

namespace kestrune::devcmd {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Dsdt(const Bytes& body) { return sim::LabAcpiTable("DSDT", 2, body); }
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
const Bytes kName = {0x08, '_', 'S', '5', '_'};
// Package (4) { 0x05, 0, 0, 0 } after the name.
const Bytes kPackage5 = {0x12, 0x07, 0x04, 0x0A, 0x05, 0x00, 0x00, 0x00};

TEST(AcpiS5, TheSleepTypeIsTheFirstElementOfTheDeclaredPackage) {
  struct Case {
    const char* what;
    Bytes dsdt;
    int type;  // -1: a failure
  } cases[] = {
      {"plain", Dsdt(Cat({kName, kPackage5})), 5},
      {"root prefix", Dsdt(Cat({{0x08, '\\', '_', 'S', '5', '_'}, kPackage5})), 5},
      {"parent prefix", Dsdt(Cat({{0x08, '^', '^', '_', 'S', '5', '_'}, kPackage5})), 5},
      {"inside Scope (\\)", Dsdt(Cat({{0x10, 0x10, '\\', 0x00}, kName, kPackage5})), 5},
      {"after a method that refers to it",
       Dsdt(Cat({{0x14, 0x0C, 'P', 'T', 'S', '_', 0x00, 0x70, '_', 'S', '5', '_', 0x60}, kName, kPackage5})), 5},
      // The element after ZeroOp is a byte constant: the byte eight places after the name is 0Ah.
      {"ZeroOp first", Dsdt(Cat({kName, {0x12, 0x05, 0x02, 0x00, 0x0A, 0x07}})), 0},
      {"OneOp first", Dsdt(Cat({kName, {0x12, 0x04, 0x02, 0x01, 0x00}})), 1},
      {"word constant", Dsdt(Cat({kName, {0x12, 0x05, 0x01, 0x0B, 0x07, 0x00}})), 7},
      {"dword constant", Dsdt(Cat({kName, {0x12, 0x07, 0x01, 0x0C, 0x06, 0x00, 0x00, 0x00}})), 6},
      {"two-byte PkgLength", Dsdt(Cat({kName, {0x12, 0x48, 0x00, 0x04, 0x0A, 0x03, 0x00, 0x00, 0x00}})), 3},
      {"two declarations that agree", Dsdt(Cat({kName, kPackage5, kName, kPackage5})), 5},
      {"only a reference", Dsdt({0x70, '_', 'S', '5', '_', 0x60}), -1},
      {"missing", Dsdt({0x08, '_', 'S', '4', '_', 0x12, 0x04, 0x01, 0x0A, 0x04}), -1},
      {"not a package", Dsdt(Cat({kName, {0x0A, 0x05}})), -1},
      {"PkgLength cut off by the table's end", Dsdt(Cat({kName, {0x12, 0x41}})), -1},
      {"PkgLength with bits 5:4 set", Dsdt(Cat({kName, {0x12, 0x78, 0x00, 0x04, 0x0A, 0x05}})), -1},
      {"package past the table's end", Dsdt(Cat({kName, {0x12, 0x3F, 0x04, 0x0A, 0x05}})), -1},
      {"no elements", Dsdt(Cat({kName, {0x12, 0x02, 0x00}})), -1},
      {"constant past the package", Dsdt(Cat({kName, {0x12, 0x03, 0x01, 0x0A, 0x05}})), -1},
      {"OnesOp first", Dsdt(Cat({kName, {0x12, 0x03, 0x01, 0xFF}})), -1},
      {"a name first", Dsdt(Cat({kName, {0x12, 0x06, 0x01, 'S', 'L', 'P', 'T'}})), -1},
      {"type wider than three bits", Dsdt(Cat({kName, {0x12, 0x04, 0x01, 0x0A, 0x09}})), -1},
      {"two declarations that differ",
       Dsdt(Cat({kName, kPackage5, kName, {0x12, 0x04, 0x01, 0x0A, 0x07}})), -1},
      {"not a DSDT", sim::LabAcpiTable("SSDT", 2, Cat({kName, kPackage5})), -1},
  };
  for (const Case& c : cases) {
    uint8_t type = 0xEE;
    std::string why;
    const bool ok = FindS5SleepType(c.dsdt, type, why);
    EXPECT_EQ(ok, c.type >= 0) << c.what << ": " << why;
    if (ok) {
      EXPECT_EQ(type, c.type) << c.what;
    } else {
      EXPECT_FALSE(why.empty()) << c.what;
    }
  }
}

TEST(AcpiS5, OnlyTheBytesTheHeaderCountsAreSearched) {
  Bytes longer = Dsdt({0x00});
  const Bytes beyond = Cat({kName, kPackage5});
  longer.insert(longer.end(), beyond.begin(), beyond.end());  // past the header's length
  uint8_t type = 0;
  std::string why;
  EXPECT_FALSE(FindS5SleepType(longer, type, why));
  Bytes cut = Dsdt(Cat({kName, kPackage5}));
  cut.pop_back();  // shorter than the header's length
  EXPECT_FALSE(FindS5SleepType(cut, type, why));
  EXPECT_NE(why.find("length"), std::string::npos) << why;
}

// An FADT of length bytes (header included) with the given 32-bit fields and, where it is long
// enough, the 64-bit ones.
Bytes Fadt(uint32_t length, uint32_t dsdt, uint32_t pm1a, uint64_t xDsdt = 0, uint8_t xSpace = 1, uint64_t xPm1a = 0) {
  Bytes body(length - 36, 0);
  auto put32 = [&](size_t at, uint32_t v) { if (at + 4 <= length) base::PutLe32(body.data() + at - 36, v); };
  auto put64 = [&](size_t at, uint64_t v) { if (at + 8 <= length) base::PutLe64(body.data() + at - 36, v); };
  put32(40, dsdt);
  put32(64, pm1a);
  put64(140, xDsdt);
  if (length >= 184) body[172 - 36] = xSpace;
  put64(176, xPm1a);
  return sim::LabAcpiTable("FACP", 5, body);
}

TEST(AcpiS5, FadtFields) {
  struct Case {
    const char* what;
    Bytes fadt;
    bool ok;
    uint64_t dsdt;
    uint16_t port;
  } cases[] = {
      {"32-bit fields", Fadt(116, 0x7FFE0040, 0x604), true, 0x7FFE0040, 0x604},
      {"64-bit fields when the 32-bit ones are 0", Fadt(244, 0, 0, 0x123456789, 1, 0x1804), true, 0x123456789, 0x1804},
      {"32-bit fields win over 64-bit ones", Fadt(244, 0x1000, 0x404, 0x2000, 1, 0x808), true, 0x1000, 0x404},
      {"no PM1a control block", Fadt(244, 0x1000, 0), false, 0, 0},
      {"64-bit block in memory space", Fadt(244, 0x1000, 0, 0, 0, 0xFED00004), false, 0, 0},
      {"64-bit block beyond the I/O ports", Fadt(244, 0x1000, 0, 0, 1, 0x10004), false, 0, 0},
      {"too short for the PM1a field", Fadt(64, 0x1000, 0), false, 0, 0},
      {"64-bit fields past a short table", Fadt(116, 0, 0, 0x2000, 1, 0x808), false, 0, 0},
      {"not an FADT", sim::LabAcpiTable("APIC", 5, Bytes(80, 0)), false, 0, 0},
  };
  for (const Case& c : cases) {
    FadtFields f;
    std::string why;
    EXPECT_EQ(ReadFadt(c.fadt, f, why), c.ok) << c.what << ": " << why;
    if (!c.ok) continue;
    EXPECT_EQ(f.dsdtAddress, c.dsdt) << c.what;
    EXPECT_EQ(f.pm1aControlPort, c.port) << c.what;
  }
  Bytes claimsMore = Fadt(116, 0x1000, 0x604);
  base::PutLe32(claimsMore.data() + 4, 200);
  FadtFields f;
  std::string why;
  EXPECT_FALSE(ReadFadt(claimsMore, f, why));
}

TEST(AcpiS5, TheControlValueKeepsTheOtherBitsAndSetsTypeAndEnable) {
  EXPECT_EQ(S5ControlValue(0x0001, 0), 0x2001);
  EXPECT_EQ(S5ControlValue(0x1C01, 5), 0x3401);  // an old type is replaced, SCI_EN kept
  EXPECT_EQ(S5ControlValue(0xC206, 7), 0xFE06);
}

class Tables final : public platform::AcpiTables {
 public:
  bool Read(std::string_view signature, std::vector<uint8_t>& bytes, std::string& why) override {
    auto it = tables.find(std::string(signature));
    if (it == tables.end()) return (why = "no " + std::string(signature), false);
    bytes = it->second;
    return true;
  }
  std::map<std::string, Bytes> tables;
};

// The cut writes the lab machine's register once everything was read; any failure before writes
// nothing.
TEST(AcpiS5, TheCutWritesOnlyWhenEveryTableWasUnderstood) {
  sim::LabAcpiTables lab;
  Bytes fadt, dsdt;
  std::string why;
  ASSERT_TRUE(lab.Read("FACP", fadt, why));
  ASSERT_TRUE(lab.Read("DSDT", dsdt, why));
  struct Case {
    const char* what;
    std::map<std::string, Bytes> tables;
    bool off;
  } cases[] = {
      {"the lab machine's tables", {{"FACP", fadt}, {"DSDT", dsdt}}, true},
      {"no FADT", {{"DSDT", dsdt}}, false},
      {"no DSDT", {{"FACP", fadt}}, false},
      {"a DSDT without _S5_", {{"FACP", fadt}, {"DSDT", Dsdt({0x00})}}, false},
      {"an FADT with another port", {{"FACP", Fadt(116, 0, 0x404)}, {"DSDT", dsdt}}, false},
  };
  for (const Case& c : cases) {
    Tables tables;
    tables.tables = c.tables;
    sim::LabPortIo ports(nullptr);
    why.clear();
    EXPECT_EQ(AcpiPowerCut(tables, ports, why), c.off) << c.what << ": " << why;
    EXPECT_EQ(ports.poweredOff(), c.off) << c.what;
    EXPECT_EQ(ports.pm1aControl(), c.off ? 0x1401 : 0x0001) << c.what;
  }
}

}  // namespace
}  // namespace kestrune::devcmd
