// SecurErase on a SATA drive: the ATA security erase with a fixed user password. The drive must not
// be frozen (the operator re-plugs it until it is not); the sequence sets the password, unlocks,
// prepares and erases, removes the password if the erase left it, and freezes security until the
// next power cycle. A failure after the password is set takes it off again before it is reported,
// so that no drive stays locked with a password nobody knows.
#include <array>
#include <vector>

#include "base/completion_codes.h"
#include "base/text.h"
#include "devcmd/ata_command_groups.h"
#include "devcmd/ata_command_support.h"
#include "disk/ata_identity.h"
#include "disk/ata_operations.h"
#include "disk/identify_data.h"
#include "disk/sector_buffer.h"
#include "disk/target_mode.h"
#include "engine/arguments.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::devcmd {
namespace {

namespace code = base::code;
namespace colour = engine::colour;
namespace flag = disk::ata_flag;

constexpr uint8_t kSetPassword = 0xF1, kUnlock = 0xF2, kErasePrepare = 0xF3, kEraseUnit = 0xF4,
                  kFreezeLock = 0xF5, kDisablePassword = 0xF6;
constexpr uint16_t kSecurityEnabled = 0x0002, kSecurityLocked = 0x0004, kSecurityFrozen = 0x0008;
constexpr uint32_t kEraseSettleMs = 1000;
constexpr const char* kReplugPrompt = "RePlug SSD again \r\nthen push [OK] button";

// The password block: control word 0 (user password, high security), the text "5729" in words 1-2
// in byte order, the rest of the 32-byte password and of the block zero.
disk::SectorBuffer PasswordBlock() {
  disk::SectorBuffer block(disk::kAtaSectorBytes);
  if (block.ok()) {
    const char text[] = "5729";
    for (size_t i = 0; i < 4; ++i) block.data()[2 + i] = static_cast<uint8_t>(text[i]);
  }
  return block;
}

class SecurityEraseRun {
 public:
  SecurityEraseRun(engine::Interpreter& interp, uint32_t view, const NvmeTarget& target)
      : interp_(interp), view_(view), target_(target), password_(PasswordBlock()) {}

  bool ok() const { return password_.ok(); }

  // Word 128 of IDENTIFY DEVICE, with the data kept for the erase time; nullopt when it fails.
  std::optional<uint16_t> SecurityWord() {
    identify_.assign(disk::kAtaIdentifyBytes, 0);
    if (disk::AtaIdentifyData(*target_.tree, *target_.disk, identify_) < 0) return std::nullopt;
    return disk::IdentifyWord(identify_, 128);
  }

  // Sends command, with the password block when it carries data.
  bool Send(uint8_t command, uint32_t timeoutSeconds = disk::kAtaTimeoutSeconds) {
    const bool carriesPassword = command != kErasePrepare && command != kFreezeLock;
    const disk::AtaTaskFile tf =
        disk::TaskFile(command, carriesPassword ? flag::kPioOut : flag::kNoData, 0, carriesPassword ? 1 : 0);
    return disk::AtaCommand(*target_.tree, *target_.disk, tf,
                            carriesPassword ? password_.bytes() : std::span<uint8_t>(), timeoutSeconds) > 0;
  }

  // Takes the password off after a failure (unlocking first when the drive is locked) and says
  // whether security is still enabled.
  void Recover() {
    std::optional<uint16_t> word = SecurityWord();
    if (word && (*word & kSecurityEnabled)) {
      if (*word & kSecurityLocked) Send(kUnlock);
      Send(kDisablePassword);
      word = SecurityWord();
    }
    const int left = word ? ((*word & kSecurityEnabled) ? 1 : 0) : 1;
    interp_.writer().WriteFormatted(interp_.output(view_), engine::kDetail, 10,
                                    left ? colour::kRed : colour::kWhite, "Security Left Enabled : %d", left);
  }

  // The sequence after the drive was found unfrozen; 0 or the failure's code.
  int32_t Erase() {
    if (!Send(kSetPassword)) return code::kSecurityPasswordFailed;
    int32_t failure = 0;
    if (!Send(kUnlock)) {
      failure = code::kSecurityUnlockFailed;
    } else if (!Send(kErasePrepare)) {
      failure = code::kSecurityErasePrepareFailed;
    } else if (!Send(kEraseUnit, disk::EraseUnitTimeoutSeconds(identify_))) {
      failure = code::kSecurityEraseFailed;
    } else {
      // A compliant erase leaves security disabled; DISABLE PASSWORD would then abort.
      const std::optional<uint16_t> word = SecurityWord();
      if (!word || ((*word & kSecurityEnabled) && !Send(kDisablePassword))) {
        failure = code::kSecurityDisableFailed;
      } else if (!Send(kFreezeLock)) {
        failure = code::kSecurityLockFailed;
      }
    }
    if (failure != 0) Recover();
    return failure;
  }

 private:
  engine::Interpreter& interp_;
  uint32_t view_;
  NvmeTarget target_;
  disk::SectorBuffer password_;
  std::vector<uint8_t> identify_;
};

// SecurErase( ConfirmMsg:TRUE );
void SecurErase(engine::Interpreter& interp, uint32_t view, std::string_view args, std::string_view) {
  engine::ReportingSink errors(interp, view);
  engine::View& v = interp.view(view);
  engine::ArgReader in(v.vars, errors, args, {"ConfirmMsg"});
  const bool confirm = in.Bool(true);
  if (!in.ok()) return;
  if (confirm && !ConfirmSecurityErase(interp, view))
    return DetailLine(interp, view, "---- Cancel Command ----", colour::kCyan);
  NvmeTarget target = CurrentAtaTarget(interp);
  if (!target) return interp.ReportCompletion(view, code::kOpenDiskFailed, "");
  SecurityEraseRun run(interp, view, target);
  if (!run.ok()) return interp.ReportCompletion(view, code::kHostMemoryAllocFailed, "");

  // A frozen drive takes no security command until it has been powered off and on.
  for (;;) {
    const std::optional<uint16_t> word = run.SecurityWord();
    if (word && (*word & kSecurityFrozen) == 0) break;
    if (!interp.ui().AskOkCancel(view, kReplugPrompt, &v.cancel))
      return DetailLine(interp, view, "Secure Erase Cancel", colour::kWhite);
  }
  // Erasing a disk with volumes needs its partitions cleaned first, which this command cannot do.
  if (const int32_t guard = disk::RequireRaw(*target.disk); guard != 0)
    return interp.ReportCompletion(view, guard, disk::kRawModeAdvice);

  if (const int32_t failure = run.Erase(); failure != 0) return interp.ReportCompletion(view, failure, "");
  interp.host().SleepMs(kEraseSettleMs);
  DetailLine(interp, view, "Secure Erase OK", colour::kWhite);
}

constexpr engine::HandlerRow kHandlers[] = {
    {"SecurErase", engine::kSataOnly, SecurErase},
};

}  // namespace

std::span<const engine::HandlerRow> AtaEraseHandlers() { return kHandlers; }

}  // namespace kestrune::devcmd
