#include "devcmd/acpi_s5.h"

#include <optional>
#include <vector>

#include "base/bytes.h"
#include "base/text.h"

namespace kestrune::devcmd {
namespace {

using base::Format;
using base::GetLe16;
using base::GetLe32;
using base::GetLe64;

constexpr size_t kHeaderBytes = 36;

// The table's bytes up to the length its header gives, when the signature is sig and the header's
// length fits the bytes there are; an empty span with why otherwise.
std::span<const uint8_t> CheckedTable(std::span<const uint8_t> bytes, const char* sig, std::string& why) {
  if (bytes.size() < kHeaderBytes || std::string_view(reinterpret_cast<const char*>(bytes.data()), 4) != sig) {
    why = Format("%s: not a %s table", sig, sig);
    return {};
  }
  const uint32_t length = GetLe32(bytes.data() + 4);
  if (length < kHeaderBytes || length > bytes.size()) {
    why = Format("%s: the header's length %u does not fit the %zu bytes read", sig, length, bytes.size());
    return {};
  }
  return bytes.first(length);
}

enum class Found { kNone, kMalformed, kType };

// AML's PkgLength at at: its value (which counts from at) and its own size in bytes.
bool ReadPkgLength(std::span<const uint8_t> t, size_t at, uint32_t& length, size_t& size) {
  if (at >= t.size()) return false;
  const uint8_t lead = t[at];
  const size_t follow = lead >> 6;
  if (follow == 0) {
    length = lead & 0x3F;
    size = 1;
    return true;
  }
  if ((lead & 0x30) != 0 || at + follow >= t.size()) return false;  // bits 5:4 are zero in the long forms
  length = lead & 0x0F;
  for (size_t i = 1; i <= follow; ++i) length |= static_cast<uint32_t>(t[at + i]) << (4 + 8 * (i - 1));
  size = follow + 1;
  return true;
}

// A constant data object at at, before end: ZeroOp, OneOp or a byte, word, dword or qword prefix
// with its value.
std::optional<uint64_t> ReadConstant(std::span<const uint8_t> t, size_t at, size_t end) {
  if (at >= end) return std::nullopt;
  auto fits = [&](size_t n) { return at + 1 + n <= end; };
  switch (t[at]) {
    case 0x00: return 0;
    case 0x01: return 1;
    case 0x0A: return fits(1) ? std::optional<uint64_t>(t[at + 1]) : std::nullopt;
    case 0x0B: return fits(2) ? std::optional<uint64_t>(GetLe16(t.data() + at + 1)) : std::nullopt;
    case 0x0C: return fits(4) ? std::optional<uint64_t>(GetLe32(t.data() + at + 1)) : std::nullopt;
    case 0x0E: return fits(8) ? std::optional<uint64_t>(GetLe64(t.data() + at + 1)) : std::nullopt;
    default: return std::nullopt;  // OnesOp, a name, a method call: no fixed sleep type
  }
}

// Whether the name segment "_S5_" at seg is the name of a NameOp (08h), plain or with a root or
// parent prefix, and if so the sleep type of the package it declares.
Found DeclarationAt(std::span<const uint8_t> t, size_t seg, uint8_t& type, std::string& why) {
  size_t op = seg;
  if (op > 0 && t[op - 1] == '\\') {
    --op;
  } else {
    while (op > 0 && t[op - 1] == '^') --op;
  }
  if (op == 0 || t[op - 1] != 0x08) return Found::kNone;  // a reference to _S5_, not its declaration
  size_t at = seg + 4;
  if (at >= t.size() || t[at] != 0x12) {
    why = Format("DSDT: _S5_ at offset %zu is not a package", seg);
    return Found::kMalformed;
  }
  const size_t pkgAt = at + 1;
  uint32_t length = 0;
  size_t lengthSize = 0;
  if (!ReadPkgLength(t, pkgAt, length, lengthSize) || pkgAt + length > t.size() || length < lengthSize + 2) {
    why = Format("DSDT: the _S5_ package at offset %zu runs past the table or has no elements", seg);
    return Found::kMalformed;
  }
  const size_t end = pkgAt + length;
  at = pkgAt + lengthSize;
  if (t[at] == 0) {
    why = Format("DSDT: the _S5_ package at offset %zu has no elements", seg);
    return Found::kMalformed;
  }
  const std::optional<uint64_t> value = ReadConstant(t, at + 1, end);
  if (!value || *value > 7) {
    why = value ? Format("DSDT: the _S5_ sleep type %llu does not fit three bits", static_cast<unsigned long long>(*value))
                : Format("DSDT: the _S5_ package at offset %zu does not begin with a constant", seg);
    return Found::kMalformed;
  }
  type = static_cast<uint8_t>(*value);
  return Found::kType;
}

}  // namespace

bool ReadFadt(std::span<const uint8_t> bytes, FadtFields& fields, std::string& why) {
  const std::span<const uint8_t> t = CheckedTable(bytes, "FACP", why);
  if (t.empty()) return false;
  fields = {};
  if (t.size() >= 44) fields.dsdtAddress = GetLe32(t.data() + 40);
  if (fields.dsdtAddress == 0 && t.size() >= 148) fields.dsdtAddress = GetLe64(t.data() + 140);
  uint64_t port = t.size() >= 68 ? GetLe32(t.data() + 64) : 0;
  // X_PM1a_CNT_BLK: a generic address (space id, bit width, bit offset, access size, address).
  if (port == 0 && t.size() >= 184) {
    if (t[172] != 1 && GetLe64(t.data() + 176) != 0) {
      why = Format("FACP: the PM1a control block is in address space %u, not in I/O space", t[172]);
      return false;
    }
    port = GetLe64(t.data() + 176);
  }
  if (port == 0 || port > 0xFFFF) {
    why = port == 0 ? "FACP: the table names no PM1a control block (hardware-reduced ACPI?)"
                    : Format("FACP: the PM1a control port 0x%llX is not an I/O port", static_cast<unsigned long long>(port));
    return false;
  }
  fields.pm1aControlPort = static_cast<uint16_t>(port);
  return true;
}

bool FindS5SleepType(std::span<const uint8_t> bytes, uint8_t& sleepType, std::string& why) {
  const std::span<const uint8_t> t = CheckedTable(bytes, "DSDT", why);
  if (t.empty()) return false;
  std::optional<uint8_t> found;
  for (size_t seg = kHeaderBytes; seg + 4 <= t.size(); ++seg) {
    if (t[seg] != '_' || t[seg + 1] != 'S' || t[seg + 2] != '5' || t[seg + 3] != '_') continue;
    uint8_t type = 0;
    switch (DeclarationAt(t, seg, type, why)) {
      case Found::kNone:
        continue;
      case Found::kMalformed:
        return false;
      case Found::kType:
        if (found && *found != type) {
          why = Format("DSDT: two _S5_ declarations give the sleep types %u and %u", *found, type);
          return false;
        }
        found = type;
    }
  }
  if (!found) {
    why = "DSDT: no _S5_ package";
    return false;
  }
  sleepType = *found;
  return true;
}

uint16_t S5ControlValue(uint16_t current, uint8_t sleepType) {
  return static_cast<uint16_t>((current & ~0x3C00u) | ((sleepType & 7u) << 10) | 0x2000u);
}

bool AcpiPowerCut(platform::AcpiTables& tables, platform::PortIo& ports, std::string& why) {
  std::vector<uint8_t> fadt, dsdt;
  FadtFields fields;
  uint8_t sleepType = 0;
  if (!tables.Read("FACP", fadt, why) || !ReadFadt(fadt, fields, why)) return false;
  if (!tables.Read("DSDT", dsdt, why) || !FindS5SleepType(dsdt, sleepType, why)) return false;
  const std::optional<uint16_t> current = ports.Read16(fields.pm1aControlPort, why);
  if (!current) return false;
  return ports.Write16(fields.pm1aControlPort, S5ControlValue(*current, sleepType), why);
}

}  // namespace kestrune::devcmd
