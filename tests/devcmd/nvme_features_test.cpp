// Feature names and the field breakdown GetFeature prints.
#include "devcmd/nvme_features.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrune::devcmd {
namespace {

TEST(FeatureNames, ListedIdentifiersOnly) {
  EXPECT_EQ(FeatureName(0x06).value_or(""), "0x06: Write Cache");
  EXPECT_EQ(FeatureName(0x10).value_or(""), "0x10: Thermal Management Temperature");
  EXPECT_EQ(FeatureName(0x0B).value_or(""), "0x0B: Async Event Cfg");
  EXPECT_FALSE(FeatureName(0x03));
  EXPECT_FALSE(FeatureName(0x106));
}

TEST(FeatureFields, BreakdownPerIdentifier) {
  struct Case {
    uint32_t fid;
    uint32_t value;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {0x01,
       0x44332205,
       {"    HPW        : 0x44", "    MPW        : 0x33", "    LPW        : 0x22", "    AB         : 0x05"}},
      {0x02, 0xE4, {"    WH         : 0x07", "    PS         : 0x04"}},
      {0x04, 0x0031015C, {"    THSEL      : 0x03", "    TMPSEL     : 0x01", "    TMPTH      : 0x15C"}},
      {0x05, 0x10064, {"    DULBE      : 0x01", "    TLER       : 0x64"}},
      {0x06, 0x3, {"    WCE        : 0x01"}},
      {0x07, 0x003F001F, {"    NCQR       : 0x3F", "    NSQR       : 0x1F"}},
      {0x08, 0x0A05, {"    TIME       : 0x0A", "    THR        : 0x05"}},
      {0x09, 0x10002, {"    CD         : 0x01", "    IV         : 0x02"}},
      {0x0A, 0x1, {"    DN         : 0x01"}},
      {0x0B,
       0xF0004A07,
       {"    ReferTo_NVME_OVER_FABRICS : 0x0F", "    Endurance_Log_Change      : 0x01",
        "    LBA_Status_Info           : 0x00", "    Latency_Event_Change      : 0x00",
        "    Namespace_Access_Change   : 0x01", "    Telemetry_Log             : 0x00",
        "    Firmwarw_Activation       : 0x01", "    Namespace_Attribute       : 0x00",
        "    SMART_CriticalWarnings    : 0x07"}},
      {0x10,
       0x015C0166,
       {"Thermal Management Temperature 1 (TMT1) : 348 Kelvin",
        "Thermal Management Temperature 2 (TMT2) : 358 Kelvin"}},
      {0x03, 0xFFFFFFFF, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(FeatureFields(c.fid, c.value), c.lines) << c.fid;
}

}  // namespace
}  // namespace kestrune::devcmd
