#include "engine/command_table.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace kestrune::engine {
namespace {

constexpr int kNoDisk = 0;
constexpr int kSata = 1;
constexpr int kNvme = 10;
constexpr auto kDev = CommandCategory::kDevice;
constexpr auto kGen = CommandCategory::kGeneral;

const CommandEntry& At(int index) { return CommandTable()[static_cast<size_t>(index)]; }

std::string_view UsageOf(std::string_view name, CommandCategory category, int disk) {
  const int i = FindCommand(name, category, disk);
  return i < 0 ? std::string_view("<missing>") : At(i).usage;
}

TEST(CommandTableLayout, BlocksCountsAndBoundaryRows) {
  const auto table = CommandTable();
  ASSERT_EQ(table.size(), 235u);  // the published 234 and FWImageInfo
  std::map<CommandCategory, int> counts;
  for (size_t i = 0; i < table.size(); ++i) {
    ++counts[table[i].category];
    // If, While, the device block, the general block, never interleaved.
    if (i > 0) {
      EXPECT_LE(table[i - 1].category, table[i].category) << table[i].name;
    }
    if (table[i].category != kDev) {
      EXPECT_EQ(table[i].deviceFlag, kAnyDisk) << table[i].name;
    }
  }
  EXPECT_EQ(counts[CommandCategory::kIf], 1);
  EXPECT_EQ(counts[CommandCategory::kWhile], 1);
  EXPECT_EQ(counts[kDev], 143);
  EXPECT_EQ(counts[kGen], 90);

  const std::pair<int, std::string_view> rows[] = {
      {0, "If"},          {1, "While"},
      {2, "Identify"},    {52, "VSC_SecurityID"},
      {53, "Identify"},   {80, "VSC_SecurityID"},
      {81, "SystemInfo"}, {143, "RegPortName"}, {144, "FWImageInfo"},
      {145, "Exit"},      {234, "IsRelayExisted"},
  };
  for (const auto& [index, name] : rows) EXPECT_EQ(At(index).name, name) << index;
  EXPECT_EQ(At(2).deviceFlag, kNvmeOnly);
  EXPECT_EQ(At(52).deviceFlag, kNvmeOnly);
  EXPECT_EQ(At(53).deviceFlag, kSataOnly);
  EXPECT_EQ(At(80).deviceFlag, kSataOnly);
  EXPECT_EQ(At(81).deviceFlag, kAnyDisk);
}

TEST(CommandTableLayout, NamesRepeatOnlyAsNvmeSataPairs) {
  std::map<std::string, std::multiset<uint8_t>> flagsByName;
  for (const CommandEntry& e : CommandTable()) flagsByName[std::string(e.name)].insert(e.deviceFlag);
  int pairs = 0;
  for (const auto& [name, flags] : flagsByName) {
    if (flags.size() == 1) continue;
    ++pairs;
    EXPECT_EQ(flags, (std::multiset<uint8_t>{kNvmeOnly, kSataOnly})) << name;
  }
  EXPECT_EQ(pairs, 19);
}

TEST(CommandTableLayout, AliasRowsShareAHandlerAndHaveNoTemplate) {
  const std::map<std::string, std::string> aliases = {
      {"GetLogPage_SMART", "SMART"},       {"GetLogPage_Cdump", "VSC_Cdump"},
      {"VSC_GetMPOem", "VSC_GetFWconfig"}, {"VSC_SetMPOem", "VSC_SetFWconfig"},
      {"LogFolder", "GetLogFolder"},       {"VSC_GetSocID", "GetSocID"},
  };
  int withTarget = 0;
  for (const CommandEntry& e : CommandTable()) {
    if (e.sameHandlerAs.empty()) continue;
    ++withTarget;
    const auto it = aliases.find(std::string(e.name));
    ASSERT_NE(it, aliases.end()) << e.name;
    EXPECT_EQ(e.sameHandlerAs, it->second);
    EXPECT_TRUE(e.usage.empty()) << e.name;
    // The target is a row of the same category that fits the same disks.
    EXPECT_GE(FindCommand(e.sameHandlerAs, e.category, e.deviceFlag == kNvmeOnly ? kNvme : kSata), 0)
        << e.name;
  }
  EXPECT_EQ(withTarget, 6);
  EXPECT_EQ(UsageOf("GetDiskInfo", kGen, kNoDisk), "");
}

TEST(CommandTableLayout, UsageTemplates) {
  // Every template is a call of its own row's command, optionally assigned to a variable.
  for (const CommandEntry& e : CommandTable()) {
    if (e.usage.empty()) continue;
    std::string_view call = e.usage.substr(0, e.usage.find('('));
    if (const size_t eq = call.find(" = "); eq != std::string_view::npos) call.remove_prefix(eq + 3);
    EXPECT_EQ(call, e.name);
  }
  // Kept exactly: the trailing blank, and backslash-n as two characters.
  EXPECT_EQ(
      UsageOf("LBAWrite", kDev, kNvme),
      "LBAWrite( LBA:128, SectorCount:1, WritePattern:0x55AAFF00, MarkSectorHeader:TRUE, FUA:FALSE ); ");
  EXPECT_EQ(UsageOf("MessageBox", kGen, kNoDisk),
            R"(iResult = MessageBox(Output:"Test message?\nMulti lines information", Button:"OKCANCEL", )"
            R"(AutoOK:TRUE, ICON:"QUESTION" );)");
  // Each row of a pair has its own template.
  EXPECT_EQ(UsageOf("SMART", kDev, kNvme), R"(SMART( ShowVSC:1, Items:"" );)");
  EXPECT_EQ(UsageOf("SMART", kDev, kSata), R"(SMART( Items:"" );)");
}

TEST(DeviceFlagFits, FlagsAgainstDiskTypes) {
  struct Case {
    int type;
    bool sata, nvme;
  };
  const Case cases[] = {{-1, false, false}, {0, false, false},  {1, true, false},  {2, true, false},
                        {3, false, false},  {9, false, false},  {10, false, true}, {17, false, true},
                        {18, false, false}, {255, false, false}};
  for (const Case& c : cases) {
    EXPECT_TRUE(DeviceFlagFits(kAnyDisk, c.type)) << c.type;
    EXPECT_EQ(DeviceFlagFits(kSataOnly, c.type), c.sata) << c.type;
    EXPECT_EQ(DeviceFlagFits(kNvmeOnly, c.type), c.nvme) << c.type;
    EXPECT_EQ(DeviceFlagFits(kBothKinds, c.type), c.sata || c.nvme) << c.type;
  }
  EXPECT_FALSE(DeviceFlagFits(243, kSata));
}

TEST(FindCommand, CaseInsensitiveExactName) {
  const int exact = FindCommand("StrSplit", kGen, kNoDisk);
  ASSERT_GE(exact, 0);
  EXPECT_EQ(FindCommand("STRSPLIT", kGen, kNoDisk), exact);
  EXPECT_EQ(FindCommand("strsplit", kGen, kNoDisk), exact);
  EXPECT_EQ(FindCommand("StrSpli", kGen, kNoDisk), -1);
  EXPECT_EQ(FindCommand("StrSplit ", kGen, kNoDisk), -1);
}

TEST(FindCommand, DiskKindSelectsTheRow) {
  const int nvme = FindCommand("identify", kDev, kNvme);
  const int sata = FindCommand("IDENTIFY", kDev, kSata);
  EXPECT_EQ(nvme, 2);
  EXPECT_EQ(sata, 53);
  EXPECT_EQ(FindCommand("Identify", kDev, 17), nvme);
  EXPECT_EQ(FindCommand("Identify", kDev, 2), sata);
  EXPECT_EQ(FindCommand("Identify", kDev, kNoDisk), -1);
  // A device command of the other kind is not found at all.
  EXPECT_EQ(FindCommand("Identify_Controller", kDev, kSata), -1);
  EXPECT_EQ(FindCommand("IdentifyEx", kDev, kNvme), -1);
  EXPECT_EQ(FindCommand("MonitorData", kDev, kSata), -1);
  EXPECT_GE(FindCommand("MonitorData", kDev, kNvme), 0);
  EXPECT_GE(FindCommand("LBARead", kDev, kNoDisk), 0);
}

TEST(FindCommand, CategoriesAreSeparateAndGeneralIgnoresTheDisk) {
  EXPECT_EQ(FindCommand("Exit", kDev, kNvme), -1);
  EXPECT_EQ(FindCommand("LBARead", kGen, kNvme), -1);
  EXPECT_EQ(FindCommand("If", kGen, kNoDisk), -1);
  EXPECT_EQ(FindCommand("while", CommandCategory::kWhile, kNoDisk), 1);
  for (int disk : {-7, kNoDisk, kSata, kNvme}) EXPECT_EQ(FindCommand("Exit", kGen, disk), 145) << disk;
}

}  // namespace
}  // namespace kestrune::engine
