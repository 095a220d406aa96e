#include "sim/nvme_controller.h"

#include <algorithm>

#include "base/text.h"

namespace kestrune::sim {

namespace {

// Feature identifiers the model knows, with their values after power-on.
constexpr uint32_t kNumberOfQueues = 0x003F003F;  // 64 submission and 64 completion queues

}  // namespace

NvmeControllerState::NvmeControllerState(const DriveDescription& d) {
  defaults = {
      {0x01, 0},                            // arbitration
      {0x02, 0},                            // power management: power state 0
      {0x04, kWarningTemperatureKelvin},    // composite temperature, over-temperature threshold
      {0x04 | (1u << 4) << 8, 0},           // composite temperature, under-temperature threshold
      {0x05, 0},                            // error recovery
      {0x07, kNumberOfQueues},              // number of queues
      {0x08, 0},                            // interrupt coalescing
      {0x0A, 0},                            // write atomicity normal
      {0x0B, 0},                            // asynchronous event configuration
      {0x10, 0},                            // host controlled thermal management: off
  };
  if (d.writeCache) defaults[0x06] = 1;  // volatile write cache enabled
  for (const auto& [key, value] : defaults) features[key].current = value;
  slotRevisions[0] = d.firmware;
  slotCount = std::clamp<uint8_t>(d.nvmeFirmware.slots, 1, kFirmwareSlots);
  slot1ReadOnly = d.nvmeFirmware.slot1ReadOnly;
  for (size_t i = 0; i < d.nvmeFirmware.revisions.size() && i + 1 < slotCount; ++i)
    slotRevisions[i + 1] = d.nvmeFirmware.revisions[i];
  InitVendorState(vendor, d);
}

void NvmeControllerState::LogError(uint16_t queueId, uint8_t opcode, uint16_t status, uint32_t nsid) {
  ++errorCount;
  errors.push_front({errorCount, queueId, opcode, status, nsid});
  if (errors.size() > kErrorLogEntries) errors.pop_back();
}

void NvmeControllerState::PowerCycle(bool unsafe) {
  ++health.powerCycles;
  if (unsafe) ++health.unsafeShutdowns;
  for (auto& [key, value] : features) value.current = value.saved.value_or(defaults[key]);
  ControllerReset(false);
  security.locked = security.enabled;
  security.frozen = false;
  security.erasePrepared = false;
  security.attemptsLeft = 5;
  vendor.vendorMode = false;
}

void NvmeControllerState::ControllerReset(bool keepOld) {
  if (nextSlot != 0 && !keepOld) activeSlot = nextSlot;
  nextSlot = 0;
  stagedImage.clear();
  stagedRanges.clear();
}

}  // namespace kestrune::sim
