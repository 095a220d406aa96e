// The ATA security feature set of a simulated SATA drive as a state machine (SEC0-SEC6 of the ATA
// command set): a user password that enables security and locks the drive at the next power-on, a
// master password at high or maximum level, five password attempts before UNLOCK and ERASE UNIT
// give up until a power cycle, FREEZE LOCK until a power cycle, and ERASE UNIT only right after
// ERASE PREPARE. The passwords survive power cycles; the rest of the state does not.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace kestrune::sim {

// The states of the ATA security feature set (SEC0 and SEC3 are "powered down": a running drive is
// never in them).
enum class SecState : uint8_t { kSec1 = 1, kSec2 = 2, kSec4 = 4, kSec5 = 5, kSec6 = 6 };

class AtaSecurity {
 public:
  static constexpr size_t kPasswordBytes = 32;  // words 1-16 of the command's data
  static constexpr uint8_t kMaxAttempts = 5;

  SecState state() const;
  bool enabled() const { return enabled_; }
  bool locked() const { return enabled_ && locked_; }
  bool frozen() const { return frozen_; }
  bool countExpired() const { return attempts_ >= kMaxAttempts; }
  bool maximumLevel() const { return maximum_; }
  uint16_t masterRevision() const { return masterRevision_; }

  // IDENTIFY DEVICE word 128: supported, enabled, locked, frozen, count expired, enhanced erase
  // supported (bit 5), level maximum (bit 8).
  uint16_t Word128() const;

  // Tells the machine which command comes next; any command but ERASE UNIT ends the preparation
  // that ERASE PREPARE made.
  void Next(uint8_t command);

  // The commands; true when the drive completes it, false when it aborts. block is the 512-byte
  // data of the commands that carry a password (control word 0, password in words 1-16).
  bool SetPassword(std::span<const uint8_t> block);  // F1h
  bool Unlock(std::span<const uint8_t> block);       // F2h
  bool ErasePrepare();                               // F3h
  // F4h; on success the caller erases the user data (enhanced: control word bit 1).
  bool EraseUnit(std::span<const uint8_t> block, bool& enhanced);
  bool FreezeLock();                                     // F5h
  bool DisablePassword(std::span<const uint8_t> block);  // F6h

  // Power off and on: an enabled drive comes up locked, nothing is frozen, the attempts are back.
  void PowerCycle();

 private:
  using Password = std::array<uint8_t, kPasswordBytes>;
  // Compares the block's password with the user or master password its control word names. A
  // wrong one counts an attempt.
  bool Matches(std::span<const uint8_t> block, bool masterAllowed);

  bool enabled_ = false;
  bool locked_ = false;
  bool frozen_ = false;
  bool maximum_ = false;
  bool prepared_ = false;
  uint8_t attempts_ = 0;
  uint16_t masterRevision_ = 0xFFFE;
  Password user_{};
  Password master_{};  // the maker's master password: all zeros
};

}  // namespace kestrune::sim
