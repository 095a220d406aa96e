// The names and contents of the one-sector dump files of the pattern tests. Writing them is
// disk::SaveDump's (disk/dump_file.h); the base name is the command's output base name.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kestrune::workloads {

enum class DumpKind {
  Expected,    // "%s_Pattern.Hex": the sector as written (pattern and header mark)
  FirstRead,   // "%s_Read1.Hex": the sector as first read
  SecondRead,  // "%s_Read2.Hex": the sector as read again after 1 s
  Found,       // "%s.hex": a sector that holds the search string
};

std::string DumpName(std::string_view baseName, DumpKind kind);

// The dump of one found sector: "%s_0x%llX.hex", the base name and the sector's LBA, so that every
// sector found keeps its own file.
std::string FoundDumpName(std::string_view baseName, uint64_t lba);

// The bytes of sector index of data, cut short at data's end (empty past it): what a dump holds.
std::span<const uint8_t> SectorOf(std::span<const uint8_t> data, size_t index, uint32_t sectorSize);

}  // namespace kestrune::workloads
