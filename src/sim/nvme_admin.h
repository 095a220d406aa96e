// The admin command handlers of the simulated NVMe controller, one file per group, and the
// helpers they share. Every handler runs with the drive's lock held.
#pragma once

#include <span>
#include <vector>

#include "sim/command_sets.h"
#include "sim/sim_drive.h"

namespace kestrune::sim {

inline constexpr uint32_t kBroadcastNsid = 0xFFFFFFFF;

inline void SetStatus(NvmeRequest& r, uint16_t status) { r.completion.status = status; }

// Whether the request names the drive's one namespace (DriveDescription::namespaceId), or that one
// or every namespace (FFFFFFFFh).
inline bool NamesOwnNamespace(const NvmeRequest& r) { return r.nsid() == r.drive.description().namespaceId; }
inline bool NamesOwnOrEveryNamespace(const NvmeRequest& r) {
  return NamesOwnNamespace(r) || r.nsid() == kBroadcastNsid;
}

// Copies bytes into the request's data buffer (at most its size) and zeroes the rest of it.
void ReturnBytes(NvmeRequest& r, std::span<const uint8_t> bytes);

void GetLogPage(NvmeRequest& r);         // nvme_log_pages.cpp
void GetFeatures(NvmeRequest& r);        // nvme_features.cpp
void SetFeatures(NvmeRequest& r);
void FirmwareDownload(NvmeRequest& r);   // nvme_firmware.cpp
void FirmwareCommit(NvmeRequest& r);
void FormatNvm(NvmeRequest& r);
void SecuritySend(NvmeRequest& r);       // nvme_security.cpp
void SecurityReceive(NvmeRequest& r);
// nvme_vendor.cpp: log page E1h of the maker's variant-1 drives (page stays empty otherwise) and
// the vendor opcodes.
void VendorLogPage(NvmeRequest& r, std::vector<uint8_t>& page);
// Log page 07h of a maker drive whose crash dump comes that way; page left empty otherwise.
void CrashDumpLogPage(NvmeRequest& r, std::vector<uint8_t>& page);
void RegisterVendorCommands(NvmeCommandTable& table);

}  // namespace kestrune::sim
