// Get Log Page: error information (01h), SMART / health information (02h), firmware slot
// information (03h) and commands supported and effects (05h), built from the controller state.
// NUMD (CDW10 bits 16-31, CDW11 bits 0-15) gives the length and LPOL/LPOU (CDW12/13) the offset.
#include <algorithm>
#include <vector>

#include "base/bytes.h"
#include "sim/identify_data.h"
#include "sim/nvme_admin.h"

namespace kestrune::sim {
namespace {

using base::PutLe16;
using base::PutLe32;
using base::PutLe64;

constexpr size_t kEntryBytes = 64;

std::vector<uint8_t> ErrorInformation(const NvmeControllerState& c) {
  std::vector<uint8_t> page(kErrorLogEntries * kEntryBytes, 0);
  size_t at = 0;
  for (const ErrorLogEntry& e : c.errors) {
    uint8_t* p = page.data() + at;
    PutLe64(p, e.errorCount);
    PutLe16(p + 8, e.queueId);
    PutLe16(p + 10, 0);  // command identifier: the model does not number commands
    PutLe16(p + 12, static_cast<uint16_t>(e.status << 1));
    PutLe16(p + 14, 0xFFFF);  // parameter error location: not given
    PutLe32(p + 24, e.nsid);
    at += kEntryBytes;
  }
  return page;
}

// A 128-bit counter field (the model's counters fit the low half).
void PutCounter(uint8_t* p, uint64_t value) { PutLe64(p, value); }

// NVMe counts data units of 1000 512-byte units, rounded up.
uint64_t DataUnits(uint64_t bytes) { return (bytes / 512 + 999) / 1000; }

std::vector<uint8_t> HealthInformation(SimDrive& drive) {
  const NvmeControllerState& c = drive.controller();
  std::vector<uint8_t> page(512, 0);
  const uint16_t temperature = kCompositeTemperatureKelvin;
  const auto over = c.features.find(0x04);
  const auto under = c.features.find(0x04 | (1u << 4) << 8);
  const bool tooHot = over != c.features.end() && temperature > over->second.current;
  const bool tooCold = under != c.features.end() && temperature < under->second.current;
  page[0] = (tooHot || tooCold) ? 0x02 : 0x00;  // critical warning: temperature
  PutLe16(&page[1], temperature);
  page[3] = 100;  // available spare (%)
  page[4] = 10;   // available spare threshold (%)
  page[5] = 0;    // percentage used
  const HealthCounters& h = c.health;
  PutCounter(&page[32], DataUnits(h.bytesRead));
  PutCounter(&page[48], DataUnits(h.bytesWritten));
  PutCounter(&page[64], h.readCommands);
  PutCounter(&page[80], h.writeCommands);
  PutCounter(&page[112], h.powerCycles);
  PutCounter(&page[128], drive.PowerOnHours());
  PutCounter(&page[144], h.unsafeShutdowns);
  PutCounter(&page[160], h.mediaErrors);
  PutCounter(&page[176], c.errorCount);
  PutLe16(&page[200], temperature);  // temperature sensor 1
  return page;
}

std::vector<uint8_t> FirmwareSlotInformation(const NvmeControllerState& c) {
  std::vector<uint8_t> page(512, 0);
  page[0] = static_cast<uint8_t>(c.activeSlot | c.nextSlot << 4);
  for (size_t slot = 0; slot < kFirmwareSlots; ++slot)
    if (!c.slotRevisions[slot].empty()) PutAsciiField(&page[8 + 8 * slot], 8, c.slotRevisions[slot]);
  return page;
}

// Bits of a command's entry: supported, logical block content change, namespace capability change,
// namespace inventory change, controller capability change.
constexpr uint32_t kSupported = 1, kContentChange = 2, kNamespaceChange = 4, kInventoryChange = 8,
                   kCapabilityChange = 16;

std::vector<uint8_t> CommandEffects(const SimDrive& drive) {
  std::vector<uint8_t> page(4096, 0);
  const NvmeCommandTable& table = drive.commands().nvme;
  // The vendor opcodes (C0h and up) are supported only by a drive with the maker's controller.
  const bool vendor = drive.description().vendor.socId != 0;
  for (uint32_t op = 0; op < 256; ++op) {
    if (table.Has(NvmeKey(platform::NvmeQueue::kAdmin, static_cast<uint8_t>(op))) && (op < 0xC0 || vendor)) {
      uint32_t effects = kSupported;
      if (op == 0x10) effects |= kCapabilityChange;
      if (op == 0x80) effects |= kContentChange | kNamespaceChange | kInventoryChange;
      if (op == 0x81) effects |= kContentChange;
      PutLe32(&page[4 * op], effects);
    }
    if (table.Has(NvmeKey(platform::NvmeQueue::kIo, static_cast<uint8_t>(op)))) {
      uint32_t effects = kSupported;
      if (op == 0x01 || op == 0x09) effects |= kContentChange;
      PutLe32(&page[1024 + 4 * op], effects);
    }
  }
  return page;
}

}  // namespace

void GetLogPage(NvmeRequest& r) {
  const uint8_t lid = static_cast<uint8_t>(r.cdw[10]);
  const uint64_t dwords = ((static_cast<uint64_t>(r.cdw[11] & 0xFFFF) << 16) | (r.cdw[10] >> 16)) + 1;
  const uint64_t offset = r.cdw[12] | static_cast<uint64_t>(r.cdw[13]) << 32;
  if (offset % 4 != 0) return SetStatus(r, nvme_status::kInvalidField);
  std::vector<uint8_t> page;
  switch (lid) {
    case 0x01:
      page = ErrorInformation(r.drive.controller());
      break;
    case 0x02:
      if (r.nsid() != 0 && !NamesOwnOrEveryNamespace(r)) return SetStatus(r, nvme_status::kInvalidNamespace);
      page = HealthInformation(r.drive);
      break;
    case 0x03:
      page = FirmwareSlotInformation(r.drive.controller());
      break;
    case 0x05:
      page = CommandEffects(r.drive);
      break;
    case 0x07:
      CrashDumpLogPage(r, page);
      if (page.empty()) return SetStatus(r, nvme_status::kInvalidLogPage);
      break;
    case 0xE1:
      VendorLogPage(r, page);
      if (page.empty()) return SetStatus(r, nvme_status::kInvalidLogPage);
      break;
    default:
      return SetStatus(r, nvme_status::kInvalidLogPage);
  }
  // The bytes from offset, as many as NUMD asks and the buffer holds; past the page, zeros.
  const size_t want = static_cast<size_t>(std::min<uint64_t>(dwords * 4, r.data.size()));
  std::vector<uint8_t> out(want, 0);
  if (offset < page.size()) {
    const size_t n = std::min<size_t>(want, page.size() - static_cast<size_t>(offset));
    std::copy_n(page.begin() + static_cast<std::ptrdiff_t>(offset), n, out.begin());
  }
  ReturnBytes(r, out);
}

}  // namespace kestrune::sim
