#include "sim/ata_security.h"

#include <algorithm>

#include "base/bytes.h"

namespace kestrune::sim {
namespace {

constexpr uint8_t kEraseUnit = 0xF4;
constexpr uint8_t kErasePrepare = 0xF3;
constexpr uint16_t kIdentifierMaster = 0x0001;  // control word bit 0
constexpr uint16_t kEnhancedErase = 0x0002;     // control word bit 1 (ERASE UNIT)
constexpr uint16_t kLevelMaximum = 0x0100;      // control word bit 8 (SET PASSWORD)

uint16_t Control(std::span<const uint8_t> block) {
  return block.size() >= 2 ? base::GetLe16(block.data()) : 0;
}

}  // namespace

SecState AtaSecurity::state() const {
  if (!enabled_) return frozen_ ? SecState::kSec2 : SecState::kSec1;
  if (locked_) return SecState::kSec4;
  return frozen_ ? SecState::kSec6 : SecState::kSec5;
}

uint16_t AtaSecurity::Word128() const {
  uint16_t w = 0x0001 | 0x0020;
  if (enabled_) w |= 0x0002;
  if (locked()) w |= 0x0004;
  if (frozen_) w |= 0x0008;
  if (countExpired()) w |= 0x0010;
  if (enabled_ && maximum_) w |= 0x0100;
  return w;
}

void AtaSecurity::Next(uint8_t command) {
  if (command != kEraseUnit && command != kErasePrepare) prepared_ = false;
}

bool AtaSecurity::Matches(std::span<const uint8_t> block, bool masterAllowed) {
  if (block.size() < 2 + kPasswordBytes) return false;
  const bool master = (Control(block) & kIdentifierMaster) != 0;
  if (master && !masterAllowed) {
    if (attempts_ < kMaxAttempts) ++attempts_;
    return false;
  }
  const Password& want = master ? master_ : user_;
  if (std::equal(want.begin(), want.end(), block.begin() + 2)) return true;
  if (attempts_ < kMaxAttempts) ++attempts_;
  return false;
}

bool AtaSecurity::SetPassword(std::span<const uint8_t> block) {
  const SecState s = state();
  if ((s != SecState::kSec1 && s != SecState::kSec5) || block.size() < 2 + kPasswordBytes) return false;
  const uint16_t control = Control(block);
  Password pw;
  std::copy_n(block.begin() + 2, kPasswordBytes, pw.begin());
  if (control & kIdentifierMaster) {
    master_ = pw;
    const uint16_t revision = block.size() >= 36 ? base::GetLe16(block.data() + 34) : 0;
    if (revision != 0 && revision != 0xFFFF) masterRevision_ = revision;
    return true;
  }
  user_ = pw;
  maximum_ = (control & kLevelMaximum) != 0;
  enabled_ = true;
  locked_ = false;
  return true;
}

bool AtaSecurity::Unlock(std::span<const uint8_t> block) {
  const SecState s = state();
  if (s != SecState::kSec4 && s != SecState::kSec5) return false;
  if (countExpired()) return false;
  // At maximum level the master password does not unlock.
  if (!Matches(block, !maximum_)) return false;
  locked_ = false;
  return true;
}

bool AtaSecurity::ErasePrepare() {
  if (frozen_) return false;
  prepared_ = true;
  return true;
}

bool AtaSecurity::EraseUnit(std::span<const uint8_t> block, bool& enhanced) {
  const bool wasPrepared = prepared_;
  prepared_ = false;
  if (frozen_ || !wasPrepared || countExpired()) return false;
  // With security disabled there is no password to check.
  if (enabled_ && !Matches(block, true)) return false;
  enhanced = (Control(block) & kEnhancedErase) != 0;
  enabled_ = false;
  locked_ = false;
  maximum_ = false;
  user_ = {};
  attempts_ = 0;
  return true;
}

bool AtaSecurity::FreezeLock() {
  if (locked()) return false;
  frozen_ = true;
  return true;
}

bool AtaSecurity::DisablePassword(std::span<const uint8_t> block) {
  if (state() != SecState::kSec5) return false;
  if (!Matches(block, !maximum_)) return false;
  enabled_ = false;
  maximum_ = false;
  user_ = {};
  return true;
}

void AtaSecurity::PowerCycle() {
  frozen_ = false;
  prepared_ = false;
  attempts_ = 0;
  locked_ = enabled_;
}

}  // namespace kestrune::sim
