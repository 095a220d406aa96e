// The station file: what each key gives, what a missing or unsound value leaves.
#include "app/station_file.h"

#include <gtest/gtest.h>

namespace kestrune::app {
namespace {

TEST(StationFile, KeysAndDefaults) {
  const devcmd::StationConfig c = ParseStationFile(
      "[PowerHub]\r\nType=3\r\nPort=COM7\r\n[SerialPorts]\r\ncom7=/dev/ttyUSB1\r\nCOM7=/dev/ignored\r\n"
      "COMX=/dev/nothing\r\nCOM2=\r\n[LanPower]\r\nServer=10.1.2.3\r\nPort=4000\r\n",
      "Station.ini");
  EXPECT_EQ(c.path, "Station.ini");
  EXPECT_EQ(c.hubType, 3);
  EXPECT_EQ(c.hubPort, "COM7");
  EXPECT_EQ(c.serialDevices, (std::map<std::string, std::string>{{"COM7", "/dev/ttyUSB1"}}));
  EXPECT_EQ(c.lanServer, "10.1.2.3");
  EXPECT_EQ(c.lanPort, 4000u);

  const devcmd::StationConfig empty = ParseStationFile("", "x");
  EXPECT_FALSE(empty.hubType.has_value());
  EXPECT_TRUE(empty.hubPort.empty());
  EXPECT_TRUE(empty.lanServer.empty());
  EXPECT_EQ(empty.lanPort, 1224u);
}

TEST(StationFile, UnsoundNumbersCountAsMissing) {
  for (const char* type : {"two", "2x", "-1", "", "300"})
    EXPECT_FALSE(ParseStationFile(std::string("[PowerHub]\nType=") + type + "\n", "x").hubType.has_value()) << type;
  for (const char* port : {"two", "2x", "-1", "", "0", "70000"})
    EXPECT_EQ(ParseStationFile(std::string("[LanPower]\nPort=") + port + "\n", "x").lanPort, 1224u) << port;
  EXPECT_EQ(ParseStationFile("[PowerHub]\nType=1\n", "x").hubType, 1) << "the commands refuse it by name";
}

TEST(StationFile, AMissingFileNamesItself) {
  const devcmd::StationConfig c = ReadStationFile("/nonexistent/Station.ini");
  EXPECT_EQ(c.path, "/nonexistent/Station.ini");
  EXPECT_FALSE(c.hubType.has_value());
}

}  // namespace
}  // namespace kestrune::app
