#include "app/device_commands.h"

#include "app/reboot_commands.h"

#include "devcmd/ata_commands.h"
#include "devcmd/nvme_commands.h"
#include "devcmd/parse_filehex_command.h"
#include "devcmd/platform_commands.h"
#include "devcmd/power_hub_commands.h"
#include "disk/disk_commands.h"
#include "disk/partition_commands.h"
#include "disk/sector_commands.h"
#include "fsmap/fsmap_commands.h"
#include "engine/barrier_commands.h"
#include "engine/companion_channel.h"
#include "workloads/chart_commands.h"
#include "workloads/compare_commands.h"
#include "workloads/file_commands.h"
#include "workloads/jedec_commands.h"
#include "workloads/lba_map_commands.h"
#include "workloads/pattern_commands.h"
#include "workloads/performance_commands.h"

namespace kestrune::app {

std::vector<engine::HandlerRow> RegisterDeviceCommands(engine::Interpreter& interp) {
  std::vector<engine::HandlerRow> unmatched;
  for (auto group : {disk::RegisterDiskCommands, disk::RegisterSectorCommands, disk::RegisterPartitionCommands, devcmd::RegisterNvmeCommands,
                     devcmd::RegisterAtaCommands, devcmd::RegisterParseCommands, devcmd::RegisterPowerHubCommands, devcmd::RegisterPlatformCommands, workloads::RegisterPatternCommands,
                     workloads::RegisterChartCommands, workloads::RegisterPerformanceCommands,
                     workloads::RegisterCompareCommands, workloads::RegisterFileTestCommands,
                     workloads::RegisterLbaMapCommands, workloads::RegisterJedecCommands, engine::RegisterBarrierCommands, engine::RegisterCompanionCommands, fsmap::RegisterFsmapCommands,
                     RegisterRebootCommands, RegisterSleepCommands}) {
    const std::vector<engine::HandlerRow> rows = group(interp);
    unmatched.insert(unmatched.end(), rows.begin(), rows.end());
  }
  return unmatched;
}

}  // namespace kestrune::app
