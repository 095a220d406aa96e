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

// The file server's section, keys in any case; an unsound port keeps 21. A password holding "=",
// ";" or "#" is kept whole.
TEST(StationFile, FileServerSection) {
  struct Case {
    const char* text;
    platform::FileServerAccount want;
  };
  const Case cases[] = {
      {"[FILESERVER]\r\nServer=10.0.0.9\r\nPort=2121\r\nUser=lab\r\nPassword=s3=cr;t#1\r\n",
       {"10.0.0.9", 2121, "lab", "s3=cr;t#1"}},
      {"[fileserver]\nserver=ftp.lab\nuser=u\n", {"ftp.lab", 21, "u", ""}},
      {"[FILESERVER]\nServer=h\nPort=0\n", {"h", 21, "", ""}},
      {"[FILESERVER]\nServer=h\nPort=70000\n", {"h", 21, "", ""}},
      {"[LanPower]\nServer=10.1.2.3\n", {"", 21, "", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const platform::FileServerAccount got = ParseStationFile(c.text, "x").fileServer;
    EXPECT_EQ(got.server, c.want.server);
    EXPECT_EQ(got.port, c.want.port);
    EXPECT_EQ(got.user, c.want.user);
    EXPECT_EQ(got.password, c.want.password);
  }
}

TEST(StationFile, AMissingFileNamesItself) {
  const devcmd::StationConfig c = ReadStationFile("/nonexistent/Station.ini");
  EXPECT_EQ(c.path, "/nonexistent/Station.ini");
  EXPECT_FALSE(c.hubType.has_value());
}

}  // namespace
}  // namespace kestrune::app
