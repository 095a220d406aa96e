// SMART of a simulated SATA drive: the attribute page (SMART READ DATA) with attributes 5, 9, 12,
// 190, 194 and 231, the threshold page (SMART READ THRESHOLDS), the off-line and self-test data of
// the attribute page, and the self-test that counts down on the host clock.
#pragma once

#include <array>
#include <cstdint>

#include "sim/ata_state.h"

namespace kestrune::sim {

inline constexpr uint64_t kShortSelfTestMs = 2 * 60 * 1000;
inline constexpr uint64_t kExtendedSelfTestMs = 10 * 60 * 1000;
// The temperatures the drive reports (degrees Celsius): attribute 194 and 190 (airflow), and the
// raw value of attribute 231.
inline constexpr uint8_t kSmartTemperature = 38;
inline constexpr uint8_t kSmartAirflowTemperature = 36;
inline constexpr uint8_t kSmartAttribute231Raw = 37;

// Ends a self-test whose time has come.
void AdvanceSelfTest(SmartSelfTest& test, uint64_t nowMs);
// Byte 363: F0h plus the 10 % steps remaining (at most 9) while a test runs, else the last result.
uint8_t SelfTestStatusByte(const SmartSelfTest& test, uint64_t nowMs);

// The two pages, with a valid checksum in byte 511 unless badChecksum.
std::array<uint8_t, 512> SmartAttributePage(const AtaDriveState& state, uint64_t nowMs, uint64_t powerOnHours,
                                            bool badChecksum);
std::array<uint8_t, 512> SmartThresholdPage(bool badChecksum);

}  // namespace kestrune::sim
