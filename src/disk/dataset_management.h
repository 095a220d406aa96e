// The NVMe Dataset Management command that deallocates one range of sectors, as TRIM sends it to
// NVMe drives behind USB bridges: the 64-byte submission entry and its 4096-byte data page.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <tuple>

namespace kestrune::disk {

using NvmeEntryBytes = std::array<uint8_t, 64>;
static_assert(std::tuple_size_v<NvmeEntryBytes> == 64, "an NVMe submission entry is 64 bytes");

// Bytes of the data page that carries the ranges.
inline constexpr size_t kDeallocatePageBytes = 4096;
// Bytes of one range in the page: context attributes (u32), length in sectors (u32), first LBA (u64).
inline constexpr size_t kDsmRangeBytes = 16;
static_assert(kDsmRangeBytes * 256 == kDeallocatePageBytes,
              "a page holds the 256 ranges a command can carry");

// Dataset Management (opcode 09h), NSID 1, CDW10 0 (one range), CDW11 4 (deallocate).
NvmeEntryBytes DeallocateEntry();

// Writes the one range (context attributes 0, sectors, lba; little-endian) at the start of page and
// zeroes the rest. page holds at least kDsmRangeBytes bytes.
void PutDeallocateRange(std::span<uint8_t> page, uint64_t lba, uint32_t sectors);

}  // namespace kestrune::disk
