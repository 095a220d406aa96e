// Device paths, USB location texts and root hub ids as the Windows backend reads them.
#include "platform/win_device_text.h"

#include <gtest/gtest.h>

namespace kestrune::platform::winio {
namespace {

TEST(WinDevicePaths, AreBuiltAndReadBack) {
  EXPECT_EQ(PhysicalDrivePath(3), "\\\\.\\PHYSICALDRIVE3");
  EXPECT_EQ(ScsiPortPath(1), "\\\\.\\scsi1:");
  EXPECT_EQ(VolumePath('D'), "\\\\.\\D:");

  const struct {
    const char* path;
    std::optional<uint32_t> drive, port;
  } cases[] = {
      {"\\\\.\\PHYSICALDRIVE0", 0, std::nullopt},
      {"\\\\.\\physicalDrive12", 12, std::nullopt},
      {"\\\\.\\PHYSICALDRIVE", std::nullopt, std::nullopt},
      {"\\\\.\\PHYSICALDRIVE1x", std::nullopt, std::nullopt},
      {"\\\\.\\PHYSICALDRIVE99999999999", std::nullopt, std::nullopt},
      {"\\\\.\\scsi2:", std::nullopt, 2},
      {"\\\\.\\SCSI10:", std::nullopt, 10},
      {"\\\\.\\scsi2", std::nullopt, std::nullopt},
      {"\\\\.\\C:", std::nullopt, std::nullopt},
      {"/dev/sda", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PhysicalDriveNumber(c.path), c.drive) << c.path;
    EXPECT_EQ(ScsiPortNumber(c.path), c.port) << c.path;
  }
}

TEST(WinUsbTexts, PortOfLocation) {
  EXPECT_EQ(UsbPortOfLocation("Port_#0003.Hub_#0004"), 3u);
  EXPECT_EQ(UsbPortOfLocation("port_#12.Hub_#0001"), 12u);
  EXPECT_EQ(UsbPortOfLocation("Port_#"), std::nullopt);
  EXPECT_EQ(UsbPortOfLocation("0000.0014.0000.003.000.000.000.000.000"), std::nullopt);
  EXPECT_EQ(UsbPortOfLocation(""), std::nullopt);
}

TEST(WinUsbTexts, RootHubIds) {
  EXPECT_TRUE(IsRootHubInstanceId("USB\\ROOT_HUB30\\4&1A2B3C&0&0"));
  EXPECT_TRUE(IsRootHubInstanceId("USB\\ROOT_HUB\\5&2&0"));
  EXPECT_FALSE(IsRootHubInstanceId("USB\\VID_05E3&PID_0610\\6&3&0&3"));
  EXPECT_FALSE(IsRootHubInstanceId("USB\\ROOT"));
}

}  // namespace
}  // namespace kestrune::platform::winio
