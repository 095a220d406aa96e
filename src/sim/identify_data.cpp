#include "sim/identify_data.h"

#include <algorithm>
#include <span>

#include "base/bytes.h"

namespace kestrune::sim {
namespace {

using base::PutLe16;
using base::PutLe32;
using base::PutLe64;

void PutWord(std::array<uint8_t, 512>& id, int word, uint16_t value) { PutLe16(&id[2 * word], value); }

}  // namespace

void PutAsciiField(uint8_t* p, size_t width, std::string_view text) {
  for (size_t i = 0; i < width; ++i) p[i] = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
}

void PutAtaString(uint8_t* p, size_t width, std::string_view text) {
  PutAsciiField(p, width, text);
  for (size_t i = 0; i + 1 < width; i += 2) std::swap(p[i], p[i + 1]);
}

std::array<uint8_t, 512> AtaIdentifyDevice(const DriveDescription& d, const IdentifyState& state,
                                           const AtaDriveState& ata) {
  std::array<uint8_t, 512> id{};
  const uint64_t sectors = d.capacityBytes / d.sectorSize;
  PutWord(id, 0, 0x0040);  // fixed device
  PutWord(id, 1, 16383);   // obsolete geometry, as drives still report it
  PutWord(id, 3, 16);
  PutWord(id, 6, 63);
  PutAtaString(&id[20], 20, d.serial);   // words 10-19
  PutAtaString(&id[46], 8, d.firmware);  // words 23-26
  PutAtaString(&id[54], 40, d.model);    // words 27-46
  PutWord(id, 47, 0x8010);               // up to 16 sectors per DRQ block
  PutWord(id, 49, 0x0300);               // LBA and DMA
  PutWord(id, 53, 0x0006);               // words 64-70 and 88 valid
  if (ata.multipleCount != 0) PutWord(id, 59, static_cast<uint16_t>(0x0100 | ata.multipleCount));
  PutLe32(&id[120], static_cast<uint32_t>(std::min<uint64_t>(sectors, 0x0FFFFFFF)));  // words 60-61
  PutWord(id, 63, 0x0007);
  PutWord(id, 64, 0x0003);
  // Deterministic data after trim (bit 14), zeroed (bit 5).
  constexpr uint16_t kTrimWord69[] = {0x4020, 0x4000, 0x0000};
  if (d.trimSupported) PutWord(id, 69, kTrimWord69[static_cast<size_t>(d.trimPromise)]);
  PutWord(id, 75, 31);                           // queue depth 32
  PutWord(id, 76, 0x010E);                       // SATA Gen1-3, NCQ
  PutWord(id, 77, 0x0006);                       // running at Gen3
  PutWord(id, 80, 0x07F0);                       // ATA8-ACS .. ACS-3
  const uint16_t cacheBits = d.writeCache ? 0x0020 : 0;
  // SMART, security, look-ahead, NOP, write cache
  PutWord(id, 82, static_cast<uint16_t>(0x4043 | cacheBits));
  PutWord(id, 83, 0x7401);  // 48-bit, FLUSH CACHE, FLUSH CACHE EXT, DOWNLOAD MICROCODE
  PutWord(id, 84, 0x4143);  // SMART error log, self-test, WRITE DMA/MULTIPLE FUA EXT, world wide name
  const uint16_t smartOn = ata.smartEnabled ? 0x0001 : 0;
  const uint16_t securityOn = ata.security.enabled() ? 0x0002 : 0;
  PutWord(id, 85, static_cast<uint16_t>(0x4040 | smartOn | securityOn |
                                        (d.writeCache && state.writeCacheEnabled ? 0x0020 : 0)));
  PutWord(id, 86, 0x3401);
  PutWord(id, 87, 0x4143);
  PutWord(id, 88, 0x407F);                   // UDMA 0-6 supported, mode 6 selected
  PutWord(id, 89, kSimEraseMinutes / 2);  // 2-minute units
  PutWord(id, 90, kSimEraseMinutes / 2);
  PutWord(id, 92, ata.security.masterRevision());
  PutLe64(&id[200], sectors);                // words 100-103
  // Words 108-111: a world wide name (NAA 5) from the serial number, most significant word first;
  // the OUI (bits 59-36) the description's when it names one.
  const NamespaceIds ids = NvmeNamespaceIds(d);
  for (int w = 0; w < 4; ++w) {
    uint16_t v = static_cast<uint16_t>(ids.eui64[2 * w] << 8 | ids.eui64[2 * w + 1]);
    if (w == 0) v = static_cast<uint16_t>(0x5000 | (d.wwnOui != 0 ? d.wwnOui >> 12 : v & 0x0FFF));
    if (w == 1 && d.wwnOui != 0) v = static_cast<uint16_t>((d.wwnOui & 0x0FFF) << 4 | (v & 0x000F));
    PutWord(id, 108 + w, v);
  }
  if (d.trimSupported) PutWord(id, 105, 8);  // DSM blocks per request
  if (d.sectorSize > 512) {
    PutWord(id, 106, 0x5000);             // logical sector longer than 256 words
    PutLe32(&id[234], d.sectorSize / 2);  // words 117-118: logical sector size in words
  } else {
    PutWord(id, 106, 0x4000);
  }
  PutWord(id, 119, 0x4010);  // DOWNLOAD MICROCODE with offsets
  PutWord(id, 234, 1);       // DOWNLOAD MICROCODE: 1 to 64 blocks a command
  PutWord(id, 235, 64);
  PutWord(id, 128, ata.security.Word128());
  if (d.trimSupported) PutWord(id, 169, 0x0001);
  PutWord(id, 217, 0x0001);  // not rotating
  id[510] = 0xA5;
  uint8_t sum = 0;
  for (size_t i = 0; i < 511; ++i) sum = static_cast<uint8_t>(sum + id[i]);
  id[511] = static_cast<uint8_t>(-sum);
  return id;
}

std::array<uint8_t, 4096> NvmeIdentifyController(const DriveDescription& d) {
  std::array<uint8_t, 4096> id{};
  PutLe16(&id[0], d.pciVendorId);
  PutLe16(&id[2], d.pciVendorId);  // subsystem vendor
  PutAsciiField(&id[4], 20, d.serial);
  PutAsciiField(&id[24], 40, d.model);
  PutAsciiField(&id[64], 8, d.firmware);
  id[72] = 6;                                      // arbitration burst
  PutLe16(&id[78], 1);                             // controller id
  PutLe32(&id[80], 0x00010400);                    // NVMe 1.4
  id[111] = 1;                                     // I/O controller
  PutLe16(&id[256], 0x0007);                       // security send/receive, format, firmware
  id[258] = 3;                                     // abort command limit
  id[259] = 3;                                     // asynchronous event request limit
  const NvmeFirmwareDescription& fw = d.nvmeFirmware;
  id[77] = fw.mdts;
  // The slot count, slot 1 read-only, activation without reset.
  id[260] = static_cast<uint8_t>((fw.slot1ReadOnly ? 1 : 0) | (fw.slots & 7) << 1 | 0x10);
  PutLe16(&id[270], fw.mtfa);
  id[319] = fw.fwug;
  id[261] = 0x02;                                  // command effects log page
  id[262] = 63;                                    // error log page entries
  PutLe16(&id[266], 343);                          // warning temperature (K)
  PutLe16(&id[268], 353);                          // critical temperature (K)
  PutLe16(&id[322], 1);                            // host controlled thermal management
  PutLe16(&id[324], 273);                          // its minimum and maximum (K)
  PutLe16(&id[326], 373);
  id[512] = 0x66;                                  // submission queue entry 64 bytes
  id[513] = 0x44;                                  // completion queue entry 16 bytes
  PutLe32(&id[516], d.namespaceId);                // NN: the highest NSID, the drive's one namespace
  PutLe16(&id[520], d.trimSupported ? 0x0014 : 0x0010);  // saved features; Dataset Management
  id[522] = 0x01;                                         // format applies to every namespace
  id[525] = d.writeCache ? 1 : 0;                  // volatile write cache present
  std::string nqn = "nqn.2026-01.sim.kestrune:" + d.serial;
  std::copy(nqn.begin(), nqn.end(), id.begin() + 768);
  PutLe16(&id[2048], 800);  // power state 0: 8.00 W
  return id;
}

std::array<uint8_t, 4096> NvmeIdentifyNamespace(const DriveDescription& d, uint32_t nsid) {
  std::array<uint8_t, 4096> id{};
  const uint64_t sectors = nsid == 0xFFFFFFFF ? 0 : d.capacityBytes / d.sectorSize;
  PutLe64(&id[0], sectors);               // NSZE
  PutLe64(&id[8], sectors);               // NCAP
  PutLe64(&id[16], sectors);              // NUSE
  id[25] = 1;                             // two LBA formats (zero-based count)
  id[26] = d.sectorSize == 4096 ? 1 : 0;  // FLBAS
  constexpr uint8_t kDlfeat[] = {0x01, 0x02, 0x00};  // deallocated blocks read as zeros, as FFh, unsaid
  if (d.trimSupported) id[33] = kDlfeat[static_cast<size_t>(d.trimPromise)];
  if (nsid != 0xFFFFFFFF) {
    const NamespaceIds ids = NvmeNamespaceIds(d);
    std::copy(ids.nguid.begin(), ids.nguid.end(), id.begin() + 104);
    std::copy(ids.eui64.begin(), ids.eui64.end(), id.begin() + 120);
  }
  id[128 + 2] = 9;                        // format 0: 512 bytes, relative performance "good"
  id[128 + 3] = 2;
  id[132 + 2] = 12;  // format 1: 4096 bytes, "best"
  id[132 + 3] = 0;
  return id;
}

NamespaceIds NvmeNamespaceIds(const DriveDescription& d) {
  // 64-bit FNV-1a of the serial number, then of the model, spread over the identifiers.
  auto fnv = [](std::string_view text, uint64_t h) {
    for (char c : text) h = (h ^ static_cast<uint8_t>(c)) * 0x100000001B3ull;
    return h;
  };
  const uint64_t a = fnv(d.serial, 0xCBF29CE484222325ull);
  const uint64_t b = fnv(d.model, a);
  NamespaceIds ids;
  for (size_t i = 0; i < 8; ++i) {
    ids.eui64[i] = static_cast<uint8_t>(a >> (56 - 8 * i));
    ids.nguid[i] = static_cast<uint8_t>(b >> (56 - 8 * i));
    ids.nguid[8 + i] = ids.eui64[i];
    ids.uuid[i] = static_cast<uint8_t>(b >> (8 * i));
    ids.uuid[8 + i] = static_cast<uint8_t>(a >> (8 * i));
  }
  ids.uuid[6] = static_cast<uint8_t>((ids.uuid[6] & 0x0F) | 0x40);  // version 4
  ids.uuid[8] = static_cast<uint8_t>((ids.uuid[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return ids;
}

std::array<uint8_t, 4096> NvmeNamespaceDescriptors(const DriveDescription& d) {
  const NamespaceIds ids = NvmeNamespaceIds(d);
  std::array<uint8_t, 4096> list{};
  size_t at = 0;
  auto put = [&](uint8_t type, std::span<const uint8_t> value) {
    list[at] = type;
    list[at + 1] = static_cast<uint8_t>(value.size());
    std::copy(value.begin(), value.end(), list.begin() + static_cast<std::ptrdiff_t>(at + 4));
    at += 4 + value.size();
  };
  put(1, ids.eui64);
  put(2, ids.nguid);
  put(3, ids.uuid);
  return list;
}

std::array<uint8_t, 96> ScsiInquiryData(const DriveDescription& d) {
  std::array<uint8_t, 96> data{};
  data[0] = 0x00;  // direct-access block device
  data[1] = d.removable ? 0x80 : 0x00;
  data[2] = 0x06;  // SPC-4
  data[3] = 0x02;  // response data format 2
  data[4] = static_cast<uint8_t>(data.size() - 5);
  PutAsciiField(&data[8], 8, d.inquiry.vendor);
  PutAsciiField(&data[16], 16, d.inquiry.product);
  PutAsciiField(&data[32], 4, d.inquiry.revision);
  data[36] = d.inquiry.byte36;
  data[37] = d.inquiry.byte37;
  return data;
}

}  // namespace kestrune::sim
