// The identify data a simulated drive answers with: ATA IDENTIFY DEVICE (512 bytes) and NVMe
// Identify Controller / Identify Namespace (4096 bytes each) and SCSI INQUIRY, built from its
// description.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sim/ata_state.h"
#include "sim/lab_description.h"

namespace kestrune::sim {

// Writes text into width bytes, blank-padded (NVMe and SCSI string fields).
void PutAsciiField(uint8_t* p, size_t width, std::string_view text);
// Writes text into width bytes (an even count) in ATA string order: blank-padded, and the two
// characters of each 16-bit word swapped, so that word i holds characters 2i (high byte) and 2i+1.
void PutAtaString(uint8_t* p, size_t width, std::string_view text);

// What the identify data reports that the drive can change while it runs.
struct IdentifyState {
  bool writeCacheEnabled = true;
};

// The minutes SECURITY ERASE UNIT takes on a simulated drive (words 89 and 90 report them).
inline constexpr uint16_t kSimEraseMinutes = 2;

// IDENTIFY DEVICE of a SATA drive: serial words 10-19, firmware 23-26, model 27-46 (ATA string
// order), the READ/WRITE MULTIPLE setting in word 59, user sectors in words 60-61 (28-bit, capped)
// and 100-103 (48-bit), logical sector size in words 106 and 117-118, SMART, security and write cache
// in words 82-87, the erase times in words 89-90, the master password revision in word 92, trim in
// word 169, the security status in word 128, checksum in word 255.
std::array<uint8_t, 512> AtaIdentifyDevice(const DriveDescription& d, const IdentifyState& state,
                                           const AtaDriveState& ata = AtaDriveState{});

// Identify Controller (CNS 1): VID at 0-1, SN 4-23, MN 24-63, FR 64-71 (the description's; the
// controller model puts in its active firmware), version 1.4, security send/receive, format and
// firmware commands, three firmware slots, the command effects log, host controlled thermal
// management (273-373 K), the drive's NamespaceId as the number of namespaces, Dataset Management when trim
// is supported, saved features, the volatile write cache when present.
std::array<uint8_t, 4096> NvmeIdentifyController(const DriveDescription& d);

// The namespace's identifiers, derived from the serial number: IEEE EUI-64, NGUID and UUID.
struct NamespaceIds {
  std::array<uint8_t, 8> eui64{};
  std::array<uint8_t, 16> nguid{};
  std::array<uint8_t, 16> uuid{};
};
NamespaceIds NvmeNamespaceIds(const DriveDescription& d);

// Identify CNS 3 of the drive's namespace: descriptors of type 1 (EUI-64), 2 (NGUID) and 3 (UUID).
std::array<uint8_t, 4096> NvmeNamespaceDescriptors(const DriveDescription& d);

// Identify Namespace (CNS 0) of the drive's namespace: NSZE/NCAP/NUSE in sectors, two LBA formats (0: 512
// bytes, 1: 4096 bytes) with FLBAS selecting the drive's, NGUID at 104 and EUI-64 at 120. For the broadcast
// NSID FFFFFFFFh the sizes are zero (what all namespaces share).
std::array<uint8_t, 4096> NvmeIdentifyNamespace(const DriveDescription& d, uint32_t nsid);

// Standard INQUIRY data (96 bytes): direct-access device, the removable bit, SPC-4, vendor at 8,
// product at 16, revision at 32 (blank-padded), the vendor-specific bytes 36 and 37.
std::array<uint8_t, 96> ScsiInquiryData(const DriveDescription& d);

}  // namespace kestrune::sim
