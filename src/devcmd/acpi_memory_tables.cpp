#include "devcmd/acpi_memory_tables.h"

#include <algorithm>

#include "base/bytes.h"
#include "base/text.h"
#include "devcmd/acpi_s5.h"

namespace kestrune::devcmd {
namespace {

using base::Format;
using base::GetLe32;
using base::GetLe64;

constexpr uint32_t kHeaderBytes = 36;
constexpr uint32_t kMaxTableBytes = 16u << 20;  // a DSDT is at most a few hundred KiB
constexpr uint32_t kMaxRootEntries = 1024;

uint8_t Sum(const uint8_t* p, size_t n) {
  uint8_t s = 0;
  for (size_t i = 0; i < n; ++i) s = static_cast<uint8_t>(s + p[i]);
  return s;
}

unsigned long long Ull(uint64_t v) { return static_cast<unsigned long long>(v); }

struct RootTable {
  uint64_t address = 0;
  uint32_t entryBytes = 4;  // RSDT 4, XSDT 8
  const char* signature = "RSDT";
};

// The root table the first valid root pointer in the BIOS area names.
bool FindRootTable(platform::PhysicalMemory& memory, RootTable& root, std::string& why) {
  std::vector<uint8_t> area;
  if (!memory.Read(kBiosAreaStart, static_cast<uint32_t>(kBiosAreaEnd - kBiosAreaStart), area, why)) {
    why = "the BIOS area: " + why;
    return false;
  }
  for (size_t at = 0; at + 20 <= area.size(); at += 16) {
    const uint8_t* p = area.data() + at;
    if (std::string_view(reinterpret_cast<const char*>(p), 8) != "RSD PTR " || Sum(p, 20) != 0) continue;
    const uint8_t revision = p[15];
    if (const uint32_t rsdt = GetLe32(p + 16); rsdt != 0) {
      root = {rsdt, 4, "RSDT"};
      return true;
    }
    // ACPI 2.0 and later: the 36-byte pointer with the XSDT's 64-bit address.
    if (revision >= 2 && at + 36 <= area.size() && Sum(p, 36) == 0 && GetLe64(p + 24) != 0) {
      root = {GetLe64(p + 24), 8, "XSDT"};
      return true;
    }
  }
  why = "no \"RSD PTR \" root pointer with a valid checksum in memory 0xE0000-0xFFFFF";
  return false;
}

// The table at address, whole, when its signature is signature (any when signature is empty).
bool ReadTableAt(platform::PhysicalMemory& memory, uint64_t address, std::string_view signature,
                 std::vector<uint8_t>& bytes, std::string& why) {
  if (!memory.Read(address, kHeaderBytes, bytes, why)) return false;
  const std::string_view found(reinterpret_cast<const char*>(bytes.data()), 4);
  if (!signature.empty() && found != signature) {
    why = Format("the table at 0x%llX is not %.4s", Ull(address), signature.data());
    return false;
  }
  const uint32_t length = GetLe32(bytes.data() + 4);
  if (length < kHeaderBytes || length > kMaxTableBytes) {
    why = Format("the %.4s table at 0x%llX gives the length %u", found.data(), Ull(address), length);
    return false;
  }
  return memory.Read(address, length, bytes, why);
}

// The table the root table lists under signature.
bool ReadListedTable(platform::PhysicalMemory& memory, std::string_view signature, std::vector<uint8_t>& bytes,
                     std::string& why) {
  RootTable root;
  std::vector<uint8_t> rootBytes;
  if (!FindRootTable(memory, root, why) || !ReadTableAt(memory, root.address, root.signature, rootBytes, why))
    return false;
  const uint32_t entries = std::min((GetLe32(rootBytes.data() + 4) - kHeaderBytes) / root.entryBytes, kMaxRootEntries);
  for (uint32_t i = 0; i < entries; ++i) {
    const uint8_t* e = rootBytes.data() + kHeaderBytes + i * root.entryBytes;
    const uint64_t address = root.entryBytes == 8 ? GetLe64(e) : GetLe32(e);
    std::string entryWhy;
    if (address == 0 || !memory.Read(address, 4, bytes, entryWhy)) continue;  // an entry we cannot read is passed over
    if (std::string_view(reinterpret_cast<const char*>(bytes.data()), 4) == signature)
      return ReadTableAt(memory, address, signature, bytes, why);
  }
  bytes.clear();
  why = Format("the %s at 0x%llX lists no %.4s table", root.signature, Ull(root.address), signature.data());
  return false;
}

}  // namespace

bool ReadAcpiTableFromMemory(platform::PhysicalMemory& memory, std::string_view signature,
                             std::vector<uint8_t>& bytes, std::string& why) {
  bytes.clear();
  if (signature.size() != 4) return (why = "an ACPI signature has four characters", false);
  if (signature != "DSDT") return ReadListedTable(memory, signature, bytes, why);
  // The DSDT is not listed in the root table: the FADT gives its address.
  std::vector<uint8_t> fadt;
  FadtFields fields;
  if (!ReadListedTable(memory, "FACP", fadt, why)) return false;
  if (!ReadFadt(fadt, fields, why)) return false;
  if (fields.dsdtAddress == 0) return (why = "the FADT gives no DSDT address", false);
  return ReadTableAt(memory, fields.dsdtAddress, "DSDT", bytes, why);
}

bool AcpiTablesWithMemorySearch::Read(std::string_view signature, std::vector<uint8_t>& bytes, std::string& why) {
  std::string systemWhy;
  if (system_.Read(signature, bytes, systemWhy)) return true;
  std::string memoryWhy;
  if (ReadAcpiTableFromMemory(memory_, signature, bytes, memoryWhy)) return true;
  why = systemWhy + "; searching memory: " + memoryWhy;
  return false;
}

}  // namespace kestrune::devcmd
