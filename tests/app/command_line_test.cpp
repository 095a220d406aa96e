#include "app/command_line.h"

#include <gtest/gtest.h>

namespace kestrune::app {
namespace {

CommandLine Parse(std::vector<std::string> words, bool blockDevices = false) {
  words.insert(words.begin(), "kestrune.exe");
  return ParseCommandLine(words, ParseOptions{.blockDeviceSelectors = blockDevices});
}

TEST(CommandLine, EachOrderOfTheTable) {
  struct Case {
    std::string arg;
    std::string selector;
    int ui;
    std::string sub;
    std::string init;
    int debug;
  };
  const Case cases[] = {
      {"\\\\.\\PhysicalDrive1", "\\\\.\\PHYSICALDRIVE1", 0, "", "", 0},
      {"/model/abc", "/MODEL/ABC", 0, "", "", 0},
      {"x/FwVer/1.0", "X/FWVER/1.0", 0, "", "", 0},
      {"/port/usb-1", "/PORT/USB-1", 0, "", "", 0},
      {"/vid/1f2a", "/VID/1F2A", 0, "", "", 0},
      {"/SOCID/7301", "/SOCID/7301", 0, "", "", 0},
      {"UI:1", "", 2, "", "", 0},
      {"ui=0", "", 1, "", "", 0},
      {"UI:2", "", 3, "", "", 0},
      {"UI:5", "", 0, "", "", 0},
      {"UI:abc", "", 1, "", "", 0},
      {"SUBPARAM:a=1", "", 0, "a=1", "", 0},
      {"/debug", "", 0, "", "", 1},
      {"/DBG", "", 0, "", "", 2},
      {"/hide", "", 1, "", "", 0},
      {"--list", "", 0, "", "--list", 0},
      {"word", "", 0, "word$", "", 0},
      // The first matching test decides: a selector word wins over "--" and "UI:".
      {"/model/UI:1--", "/MODEL/UI:1--", 0, "", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arg);
    CommandLine cl = Parse({c.arg});
    EXPECT_EQ(cl.targetSelector, c.selector);
    EXPECT_EQ(cl.uiMode, c.ui);
    EXPECT_EQ(cl.subParam, c.sub);
    EXPECT_EQ(cl.initCommand, c.init);
    EXPECT_EQ(cl.debugLevel, c.debug);
  }
}

TEST(CommandLine, LastSelectorWinsAndWordsAccumulate) {
  CommandLine cl = Parse({"\\\\.\\PhysicalDrive1", "/model/ABC", "x", "", "y=3"});
  EXPECT_EQ(cl.targetSelector, "/MODEL/ABC");
  EXPECT_EQ(cl.subParam, "x$y=3$");
}

TEST(CommandLine, TrailingCommaRemovesEveryComma) {
  EXPECT_EQ(Parse({"a,b,"}).subParam, "ab$");
  EXPECT_EQ(Parse({"a,b"}).subParam, "a,b$");
  EXPECT_EQ(Parse({","}).subParam, "");
}

TEST(CommandLine, OutputFileName) {
  CommandLine named = Parse({"/outfile=run.log"});
  EXPECT_TRUE(named.outputFileWanted);
  EXPECT_EQ(named.outputFileName, "run.log");
  EXPECT_EQ(Parse({"/outfile"}).outputFileName, "outfile.txt");
  EXPECT_FALSE(Parse({"x"}).outputFileWanted);
}

TEST(CommandLine, ChildAndRebootFormsParse) {
  // What a parent script passes after the platform splitter removed the quotes.
  CommandLine cl = Parse({"SCRIPT:C:\\t\\a,b.scpt,", "DRIVE:\\\\.\\PHYSICALDRIVE1,", "FRAME:4/4,",
                          "SUBBASE:C:\\log\\R0000000012,", "SUBPARAM:p1,", "AUTOCLOSE:1"});
  EXPECT_EQ(cl.scriptPath, "C:\\t\\a,b.scpt");  // only the separating comma is dropped
  EXPECT_EQ(cl.targetSelector, "\\\\.\\PHYSICALDRIVE1");
  EXPECT_EQ(cl.frame, "4/4");
  EXPECT_EQ(cl.subBase, "C:\\log\\R0000000012");
  EXPECT_EQ(cl.subParam, "p1");
  EXPECT_EQ(cl.uiMode, 3);

  CommandLine reboot = Parse({"SCRIPT:\"x.scpx\",", "DRVHW:\"1-2-3-4-5-6\",", "REBOOTSYNC:2,", "ERRSTOP:0"});
  EXPECT_EQ(reboot.scriptPath, "x.scpx");
  EXPECT_EQ(reboot.diskIdentity, "1-2-3-4-5-6");
  EXPECT_EQ(reboot.rebootSync, 2);
  EXPECT_EQ(reboot.errStop, 0);
  EXPECT_TRUE(reboot.targetSelector.empty());
  EXPECT_TRUE(reboot.subParam.empty());
  EXPECT_EQ(Parse({"AUTOCLOSE:0"}).uiMode, 0);
}

TEST(CommandLine, SimulatedLabAndBlockDevices) {
  CommandLine sim = Parse({"/sim=lab.ini", "/dev/nvme0n1"}, true);
  EXPECT_TRUE(sim.simulated);
  EXPECT_EQ(sim.simLabFile, "lab.ini");
  EXPECT_EQ(sim.targetSelector, "/DEV/NVME0N1");
  EXPECT_TRUE(Parse({"/sim"}).simulated);
  EXPECT_TRUE(Parse({"/sim"}).simLabFile.empty());
  // Without block-device selectors (Windows) the same word is a script parameter.
  EXPECT_EQ(Parse({"/dev/sdb"}).subParam, "/dev/sdb$");
}

TEST(CommandLine, LongArgumentsAreCutToTheirBuffers) {
  std::string longSelector = "/model/" + std::string(1000, 'A');
  EXPECT_EQ(Parse({longSelector}).targetSelector.size(), kSelectorCapacity);
  EXPECT_EQ(Parse({"--" + std::string(1000, 'x')}).initCommand.size(), kInitCommandCapacity);
  EXPECT_EQ(Parse({"SUBPARAM:" + std::string(5000, 'p')}).subParam.size(), kSubParamCapacity);
  EXPECT_EQ(Parse({"SCRIPT:" + std::string(5000, 's')}).scriptPath.size(), kPathCapacity);
  std::vector<std::string> many(400, std::string(10, 'w'));
  EXPECT_LE(Parse(many).subParam.size(), kSubParamCapacity);
}

TEST(CommandLine, DecimalPrefix) {
  EXPECT_EQ(DecimalPrefix(" 12x"), 12);
  EXPECT_EQ(DecimalPrefix("-3"), -3);
  EXPECT_EQ(DecimalPrefix("x"), 0);
  EXPECT_EQ(DecimalPrefix("99999999999999"), 2147483647);
}

}  // namespace
}  // namespace kestrune::app
