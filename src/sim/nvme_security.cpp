// Security Send and Receive: security protocol 00h (the list of supported protocols) and a small
// password state machine under protocol EFh:
//
//   Receive SPSP 0   status, 16 bytes: byte 0 bit 0 supported, bit 1 password enabled, bit 2 locked,
//                    bit 3 frozen, bit 4 no unlock attempts left; byte 1 unlock attempts left
//   Send SPSP 1      set the password (the first 32 bytes of the data); not when locked or frozen
//   Send SPSP 2      unlock with the password; five wrong tries use up the attempts
//   Send SPSP 3      prepare an erase; SPSP 4 right after it erases the user data (with the
//                    password when one is set) and clears the password
//   Send SPSP 5      freeze: no password changes until the next power cycle
//   Send SPSP 6      disable the password (with the password); not when locked or frozen
//
// A drive with a password locks at every power cycle; a locked drive moves no user data.
#include <algorithm>

#include "sim/nvme_admin.h"

namespace kestrune::sim {
namespace {

constexpr uint8_t kProtocolList = 0x00, kPasswordProtocol = 0xEF;

uint8_t Protocol(const NvmeRequest& r) { return static_cast<uint8_t>(r.cdw[10] >> 24); }
uint16_t Specific(const NvmeRequest& r) { return static_cast<uint16_t>(r.cdw[10] >> 8); }

// The bytes the command carries: CDW11 bytes, at most what the buffer holds.
std::span<uint8_t> Payload(NvmeRequest& r) { return r.data.first(std::min<size_t>(r.data.size(), r.cdw[11])); }

bool PasswordMatches(const SecurityState& s, std::span<const uint8_t> data) {
  std::array<uint8_t, 32> given{};
  std::copy_n(data.begin(), std::min(data.size(), given.size()), given.begin());
  return given == s.password;
}

// Checks the password of an unlock-like request; counts a wrong one.
bool Authenticate(NvmeRequest& r, SecurityState& s, std::span<const uint8_t> data) {
  if (s.attemptsLeft == 0) {
    SetStatus(r, nvme_status::kAccessDenied);
    return false;
  }
  if (!PasswordMatches(s, data)) {
    --s.attemptsLeft;
    SetStatus(r, nvme_status::kAccessDenied);
    return false;
  }
  s.attemptsLeft = 5;
  return true;
}

}  // namespace

void SecurityReceive(NvmeRequest& r) {
  const SecurityState& s = r.drive.controller().security;
  if (Protocol(r) == kProtocolList && Specific(r) == 0) {
    const uint8_t list[] = {0, 0, 0, 0, 0, 0, 0, 2, kProtocolList, kPasswordProtocol};
    return ReturnBytes(r, list);
  }
  if (Protocol(r) == kPasswordProtocol && Specific(r) == 0) {
    std::array<uint8_t, 16> status{};
    status[0] = static_cast<uint8_t>(1 | (s.enabled ? 2 : 0) | (s.locked ? 4 : 0) | (s.frozen ? 8 : 0) |
                                     (s.attemptsLeft == 0 ? 16 : 0));
    status[1] = s.attemptsLeft;
    return ReturnBytes(r, status);
  }
  SetStatus(r, nvme_status::kInvalidField);
}

void SecuritySend(NvmeRequest& r) {
  if (Protocol(r) != kPasswordProtocol) return SetStatus(r, nvme_status::kInvalidField);
  SecurityState& s = r.drive.controller().security;
  const std::span<const uint8_t> data = Payload(r);
  const uint16_t request = Specific(r);
  const bool prepared = s.erasePrepared;
  s.erasePrepared = false;
  switch (request) {
    case 1:  // set password
      if (s.locked || s.frozen) return SetStatus(r, nvme_status::kCommandSequenceError);
      s.password = {};
      std::copy_n(data.begin(), std::min<size_t>(data.size(), s.password.size()), s.password.begin());
      s.enabled = true;
      return;
    case 2:  // unlock
      if (!s.locked) return;
      if (Authenticate(r, s, data)) s.locked = false;
      return;
    case 3:  // erase prepare
      s.erasePrepared = true;
      return;
    case 4:  // erase unit
      if (!prepared) return SetStatus(r, nvme_status::kCommandSequenceError);
      if (s.enabled && !Authenticate(r, s, data)) return;
      s = SecurityState{};
      if (!r.drive.EraseMedia()) SetStatus(r, nvme_status::kInternalError);
      return;
    case 5:  // freeze lock
      s.frozen = true;
      return;
    case 6:  // disable password
      if (s.locked || s.frozen) return SetStatus(r, nvme_status::kCommandSequenceError);
      if (!s.enabled) return;
      if (Authenticate(r, s, data)) {
        s.enabled = false;
        s.password = {};
      }
      return;
    default:
      return SetStatus(r, nvme_status::kInvalidField);
  }
}

}  // namespace kestrune::sim
