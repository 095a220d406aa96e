// SMART pages and the SMART command (B0h) of the simulated SATA drives.
#include "sim/ata_smart.h"

#include <algorithm>
#include <cstring>

#include "base/bytes.h"
#include "sim/command_sets.h"
#include "sim/sim_drive.h"

namespace kestrune::sim {
namespace {

struct AttributeRow {
  uint8_t id;
  uint16_t flags;
  uint8_t threshold;
};
constexpr AttributeRow kAttributes[] = {
    {5, 0x0033, 10},   // reallocated sectors
    {9, 0x0032, 0},    // power-on hours
    {12, 0x0032, 0},   // power cycles
    {190, 0x0022, 0},  // airflow temperature
    {194, 0x0022, 0},  // temperature
    {231, 0x0013, 5},  // life left
};
constexpr size_t kEntryBytes = 12;
constexpr size_t kFirstEntry = 2;

void Seal(std::array<uint8_t, 512>& page, bool badChecksum) {
  uint8_t sum = 0;
  for (size_t i = 0; i < 511; ++i) sum = static_cast<uint8_t>(sum + page[i]);
  page[511] = static_cast<uint8_t>(-sum + (badChecksum ? 1 : 0));
}

void PutRaw(uint8_t* entry, uint64_t raw) {
  for (int i = 0; i < 6; ++i) entry[5 + i] = static_cast<uint8_t>(raw >> (8 * i));
}

constexpr uint8_t kSmartEnable = 0xD8, kSmartDisable = 0xD9, kReadData = 0xD0, kReadThresholds = 0xD1,
                  kExecuteOffline = 0xD4, kReturnStatus = 0xDA;

void SmartCommand(AtaRequest& r) {
  if (r.regs.lbaMid != 0x4F || r.regs.lbaHigh != 0xC2) return AtaFail(r.regs, ata_error::kAbort);
  AtaDriveState& ata = r.drive.ata();
  const uint64_t now = r.drive.NowMs();
  AdvanceSelfTest(ata.selfTest, now);
  const uint8_t sub = r.regs.features;
  if (sub == kSmartEnable || sub == kSmartDisable) {
    ata.smartEnabled = sub == kSmartEnable;
    return AtaSucceed(r.regs);
  }
  if (!ata.smartEnabled) return AtaFail(r.regs, ata_error::kAbort);
  const uint32_t badChecksum = r.drive.faults_locked().smartBadChecksum;
  switch (sub) {
    case kReadData:
    case kReadThresholds: {
      if (r.direction != platform::DataDirection::kIn || r.data.size() < 512)
        return AtaFail(r.regs, ata_error::kAbort);
      const auto page = sub == kReadData
                            ? SmartAttributePage(ata, now, r.drive.PowerOnHours(), (badChecksum & 1) != 0)
                            : SmartThresholdPage((badChecksum & 2) != 0);
      std::memcpy(r.data.data(), page.data(), page.size());
      return AtaSucceed(r.regs);
    }
    case kExecuteOffline:
      switch (r.regs.lbaLow) {
        case 0x00:  // off-line data collection: nothing to collect
          return AtaSucceed(r.regs);
        case 0x01:
        case 0x02:
        case 0x81:
        case 0x82: {
          if (ata.selfTest.running) return AtaFail(r.regs, ata_error::kAbort);
          const bool shortTest = (r.regs.lbaLow & 0x7F) == 0x01;
          ata.selfTest = SmartSelfTest{true, static_cast<uint8_t>(r.regs.lbaLow & 0x7F), now,
                                       shortTest ? kShortSelfTestMs : kExtendedSelfTestMs, 0};
          // Captive tests hold the command until they are done; the simulation finishes them at once.
          if (r.regs.lbaLow & 0x80) {
            ata.selfTest.running = false;
            ata.selfTest.lastStatus = 0x00;
          }
          return AtaSucceed(r.regs);
        }
        case 0x7F:
          if (ata.selfTest.running) {
            ata.selfTest.running = false;
            ata.selfTest.lastStatus = 0x10;
          }
          return AtaSucceed(r.regs);
        default:
          return AtaFail(r.regs, ata_error::kAbort);
      }
    case kReturnStatus:
      return AtaSucceed(r.regs);  // LBA mid/high stay 4Fh/C2h: no threshold exceeded
    default:
      return AtaFail(r.regs, ata_error::kAbort);
  }
}

}  // namespace

void AdvanceSelfTest(SmartSelfTest& test, uint64_t nowMs) {
  if (test.running && nowMs - test.startMs >= test.durationMs) {
    test.running = false;
    test.lastStatus = 0x00;
  }
}

uint8_t SelfTestStatusByte(const SmartSelfTest& test, uint64_t nowMs) {
  if (!test.running) return test.lastStatus;
  const uint64_t left = test.durationMs - std::min(test.durationMs, nowMs - test.startMs);
  const uint64_t tenths = std::min<uint64_t>(9, (left * 10 + test.durationMs - 1) / test.durationMs);
  return static_cast<uint8_t>(0xF0 | tenths);
}

std::array<uint8_t, 512> SmartAttributePage(const AtaDriveState& state, uint64_t nowMs, uint64_t powerOnHours,
                                            bool badChecksum) {
  std::array<uint8_t, 512> page{};
  base::PutLe16(&page[0], 0x0010);  // revision
  for (size_t i = 0; i < std::size(kAttributes); ++i) {
    uint8_t* e = &page[kFirstEntry + i * kEntryBytes];
    const AttributeRow& a = kAttributes[i];
    e[0] = a.id;
    base::PutLe16(e + 1, a.flags);
    e[3] = 100;
    e[4] = 100;
    switch (a.id) {
      case 9:
        PutRaw(e, powerOnHours);
        break;
      case 12:
        PutRaw(e, state.powerCycles);
        break;
      case 190:
        e[3] = e[4] = 100 - kSmartAirflowTemperature;
        PutRaw(e, kSmartAirflowTemperature | uint64_t{20} << 16 | uint64_t{45} << 24);
        break;
      case 194:
        e[3] = e[4] = kSmartTemperature;
        PutRaw(e, kSmartTemperature | uint64_t{20} << 16 | uint64_t{45} << 32);
        break;
      case 231:
        PutRaw(e, kSmartAttribute231Raw);
        break;
      default:
        break;
    }
  }
  page[362] = 0x00;                                       // off-line data collection never started
  page[363] = SelfTestStatusByte(state.selfTest, nowMs);  // self-test execution status
  base::PutLe16(&page[364], 30);                          // seconds for off-line data collection
  page[367] = 0x5B;  // off-line immediate, automatic off-line, read scanning, self-test, selective
  base::PutLe16(&page[368], 0x0003);  // saves data across power modes
  page[370] = 0x01;                   // error logging
  page[372] = static_cast<uint8_t>(kShortSelfTestMs / 60000);
  page[373] = static_cast<uint8_t>(kExtendedSelfTestMs / 60000);
  Seal(page, badChecksum);
  return page;
}

std::array<uint8_t, 512> SmartThresholdPage(bool badChecksum) {
  std::array<uint8_t, 512> page{};
  base::PutLe16(&page[0], 0x0010);
  for (size_t i = 0; i < std::size(kAttributes); ++i) {
    uint8_t* e = &page[kFirstEntry + i * kEntryBytes];
    e[0] = kAttributes[i].id;
    e[1] = kAttributes[i].threshold;
  }
  Seal(page, badChecksum);
  return page;
}

void RegisterAtaSmartCommands(AtaCommandTable& table) { table.Register(0xB0, SmartCommand); }

}  // namespace kestrune::sim
