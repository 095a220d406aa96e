// Get Features and Set Features. Each feature has a current value, a default and (once saved) a
// saved value that a power cycle brings back. The temperature threshold is kept per sensor
// selection (only the composite temperature, TMPSEL 0) and threshold type (over, under).
// Volatile Write Cache (06h) is the drive's write cache switch itself.
#include "sim/nvme_admin.h"

namespace kestrune::sim {
namespace {

constexpr uint32_t kTemperatureThreshold = 0x04, kPowerManagement = 0x02, kWriteCache = 0x06,
                   kNumberOfQueues = 0x07, kThermalManagement = 0x10;
constexpr uint32_t kSaveBit = 0x80000000;

// The key of a feature in the controller's maps; nullopt (status set) when the request names
// something the controller does not have.
std::optional<uint32_t> FeatureKey(NvmeRequest& r, uint32_t fid, uint32_t cdw11) {
  if (fid == kTemperatureThreshold) {
    const uint32_t sensor = (cdw11 >> 16) & 0xF, type = (cdw11 >> 20) & 0x3;
    if (sensor != 0 || type > 1) {
      SetStatus(r, nvme_status::kInvalidField);
      return std::nullopt;
    }
    return fid | (type << 4) << 8;
  }
  if (r.drive.controller().defaults.count(fid) == 0) {
    SetStatus(r, nvme_status::kInvalidField);
    return std::nullopt;
  }
  return fid;
}

bool Saveable(uint32_t fid) { return fid != kNumberOfQueues; }

// Whether value is one the controller takes for fid.
bool Acceptable(uint32_t fid, uint32_t value) {
  switch (fid) {
    case kPowerManagement:
      return (value & 0x1F) == 0;  // one power state
    case kThermalManagement: {
      const uint32_t tmt1 = value >> 16, tmt2 = value & 0xFFFF;
      auto inRange = [](uint32_t t) {
        return t == 0 || (t >= kMinThermalManagementKelvin && t <= kMaxThermalManagementKelvin);
      };
      return inRange(tmt1) && inRange(tmt2) && (tmt1 == 0 || tmt2 == 0 || tmt1 < tmt2);
    }
    default:
      return true;
  }
}

}  // namespace

void GetFeatures(NvmeRequest& r) {
  const uint32_t fid = r.cdw[10] & 0xFF, select = (r.cdw[10] >> 8) & 0x7;
  const std::optional<uint32_t> key = FeatureKey(r, fid, r.cdw[11]);
  if (!key) return;
  NvmeControllerState& c = r.drive.controller();
  const FeatureValue& value = c.features[*key];
  switch (select) {
    case 0:  // current
      r.completion.dw0 = value.current;
      return;
    case 1:  // default
      r.completion.dw0 = c.defaults[*key];
      return;
    case 2:  // saved
      r.completion.dw0 = value.saved.value_or(c.defaults[*key]);
      return;
    case 3:  // capabilities: saveable, changeable
      r.completion.dw0 = (Saveable(fid) ? 1u : 0u) | (fid == kNumberOfQueues ? 0u : 4u);
      return;
    default:
      return SetStatus(r, nvme_status::kInvalidField);
  }
}

void SetFeatures(NvmeRequest& r) {
  const uint32_t fid = r.cdw[10] & 0xFF;
  const bool save = (r.cdw[10] & kSaveBit) != 0;
  const std::optional<uint32_t> key = FeatureKey(r, fid, r.cdw[11]);
  if (!key) return;
  if (save && !Saveable(fid)) return SetStatus(r, nvme_status::kFeatureNotSaveable);
  NvmeControllerState& c = r.drive.controller();
  if (fid == kNumberOfQueues) {
    r.completion.dw0 = c.features[*key].current;  // what is allocated; fixed at power-on
    return;
  }
  const uint32_t value = fid == kTemperatureThreshold ? r.cdw[11] & 0xFFFF : r.cdw[11];
  if (!Acceptable(fid, value)) return SetStatus(r, nvme_status::kInvalidField);
  FeatureValue& feature = c.features[*key];
  feature.current = fid == kWriteCache ? value & 1 : value;
  if (save) feature.saved = feature.current;
  if (fid == kWriteCache) r.drive.state().writeCacheEnabled = (feature.current & 1) != 0;
}

}  // namespace kestrune::sim
