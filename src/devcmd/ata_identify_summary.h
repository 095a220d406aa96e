// The SATA Identify summary: the lines of an AtaIdentity and of the current disk under the keys of
// the Items filter, each selected value collected into the command's result.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "devcmd/item_filter.h"
#include "devcmd/line_sink.h"
#include "disk/ata_identity.h"

namespace kestrune::devcmd {

// What the summary shows of the current disk besides the drive's identify data.
struct AtaDiskFacts {
  uint32_t sectorSize = 512;
  std::string physicalDrive;  // devicePath
  std::string cmdThrough;     // the driver path's name
  std::string portId;
  uint32_t socId = 0;
  uint32_t configType = 9999;
};

// "Serial ATA Gen1 Signaling Speed (1.5 Gbps)" ... for generations 1-3, "Unknow" otherwise.
std::string_view SataGenerationName(int generation);
// "Ultra DMA Mode 0 Selected" ... "Ultra DMA Mode 6 Selected"; any other mode shows mode 0's name.
std::string UltraDmaName(int mode);

void AtaIdentifySummary(LineSink& sink, const disk::AtaIdentity& id, const AtaDiskFacts& disk,
                        ItemCollector& items);

}  // namespace kestrune::devcmd
