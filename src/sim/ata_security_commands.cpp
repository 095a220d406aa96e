// The security commands (F1h-F6h) of the simulated SATA drives, on the drive's security state
// machine. ERASE UNIT erases the user data.
#include "sim/command_sets.h"
#include "sim/sim_drive.h"

namespace kestrune::sim {
namespace {

using platform::DataDirection;

// The 512-byte block of a command that carries a password; empty when the request has none.
std::span<const uint8_t> Block(const AtaRequest& r) {
  if (r.direction != DataDirection::kOut || r.data.size() < 512) return {};
  return r.data.first(512);
}

void Answer(AtaRequest& r, bool done) { done ? AtaSucceed(r.regs) : AtaFail(r.regs, ata_error::kAbort); }

void SetPassword(AtaRequest& r) { Answer(r, r.drive.ata().security.SetPassword(Block(r))); }
void Unlock(AtaRequest& r) { Answer(r, r.drive.ata().security.Unlock(Block(r))); }
void ErasePrepare(AtaRequest& r) { Answer(r, r.drive.ata().security.ErasePrepare()); }
void FreezeLock(AtaRequest& r) { Answer(r, r.drive.ata().security.FreezeLock()); }
void DisablePassword(AtaRequest& r) { Answer(r, r.drive.ata().security.DisablePassword(Block(r))); }

void EraseUnit(AtaRequest& r) {
  bool enhanced = false;
  if (!r.drive.ata().security.EraseUnit(Block(r), enhanced)) return AtaFail(r.regs, ata_error::kAbort);
  Answer(r, r.drive.EraseMedia());
}

}  // namespace

void RegisterAtaSecurityCommands(AtaCommandTable& table) {
  table.Register(0xF1, SetPassword);
  table.Register(0xF2, Unlock);
  table.Register(0xF3, ErasePrepare);
  table.Register(0xF4, EraseUnit);
  table.Register(0xF5, FreezeLock);
  table.Register(0xF6, DisablePassword);
}

}  // namespace kestrune::sim
