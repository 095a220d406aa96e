// What GetFeature prints of a feature: the feature's name and the fields of its value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune::devcmd {

// The entry of the feature-name list for fid ("0x06: Write Cache"); nullopt for identifiers without one.
std::optional<std::string_view> FeatureName(uint32_t fid);

// The field lines of value for fid, in order; empty for identifiers without a breakdown.
std::vector<std::string> FeatureFields(uint32_t fid, uint32_t value);

// The two lines of the thermal management temperatures (feature 10h).
std::vector<std::string> ThermalTemperatureLines(uint32_t value);

}  // namespace kestrune::devcmd
