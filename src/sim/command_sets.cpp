#include "sim/command_sets.h"

namespace kestrune::sim {

CommandSets CommandSetsFor(Attachment a) {
  CommandSets sets;
  if (a == Attachment::kSoftwareRaid) return sets;
  RegisterScsiCommands(sets.scsi);
  if (IsNvmeAttachment(a)) RegisterNvmeCommands(sets.nvme);
  if (a == Attachment::kNvmeInbox) RegisterNvmeTranslation(sets.scsi);
  RegisterBridgeCommands(a, sets.scsi);
  if (IsSataAttachment(a)) {
    RegisterAtaCommands(sets.ata);
    RegisterSatCommands(sets.scsi);
  }
  return sets;
}

}  // namespace kestrune::sim
