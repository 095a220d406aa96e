// Interpreter::Register: handler rows take the command table row of their name and device-type flag,
// and alias rows follow the row they name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/interpreter.h"
#include "support/fake_host.h"

namespace kestrune::engine {
namespace {

void Probe(Interpreter&, uint32_t, std::string_view, std::string_view) {}

CommandHandler HandlerOf(const Interpreter& interp, std::string_view name, CommandCategory category,
                         int disk) {
  const int row = FindCommand(name, category, disk);
  return row < 0 ? nullptr : interp.HandlerOfRow(static_cast<size_t>(row));
}

TEST(Register, RowsTakeTheirTableRowAndAliasesFollow) {
  testing::FakeHost host;
  Interpreter interp(host, RunSettings{}, nullptr);
  constexpr auto kGen = CommandCategory::kGeneral;
  constexpr auto kDev = CommandCategory::kDevice;
  constexpr int kSata = 1, kNvme = 10;
  // The built-ins gave LogFolder the handler of GetLogFolder without naming it.
  ASSERT_NE(HandlerOf(interp, "GetLogFolder", kGen, 0), nullptr);
  EXPECT_EQ(HandlerOf(interp, "LogFolder", kGen, 0), HandlerOf(interp, "GetLogFolder", kGen, 0));

  const HandlerRow rows[] = {
      {"getlogfolder", kAnyDisk, Probe},   // names are compared without regard to case
      {"LogFolder", kAnyDisk, Probe},      // an alias row is never named directly
      {"NoSuchCommand", kAnyDisk, Probe},  // no such row
      {"Identify", kAnyDisk, Probe},       // Identify has NVMe and SATA rows only
      {"SMART", kSataOnly, Probe},         // the SATA row; the NVMe alias GetLogPage_SMART is not its alias
  };
  std::vector<std::string> unmatched;
  for (const HandlerRow& r : interp.Register({rows})) unmatched.emplace_back(r.name);
  EXPECT_EQ(unmatched, (std::vector<std::string>{"LogFolder", "NoSuchCommand", "Identify"}));
  EXPECT_EQ(HandlerOf(interp, "GetLogFolder", kGen, 0), Probe);
  EXPECT_EQ(HandlerOf(interp, "LogFolder", kGen, 0), Probe);
  EXPECT_EQ(HandlerOf(interp, "SMART", kDev, kSata), Probe);
  EXPECT_EQ(HandlerOf(interp, "SMART", kDev, kNvme), nullptr);
  EXPECT_EQ(HandlerOf(interp, "GetLogPage_SMART", kDev, kNvme), nullptr);

  // Registering the NVMe SMART row brings its alias along.
  const HandlerRow smart[] = {{"SMART", kNvmeOnly, Probe}};
  EXPECT_TRUE(interp.Register({smart}).empty());
  EXPECT_EQ(HandlerOf(interp, "GetLogPage_SMART", kDev, kNvme), Probe);
}

}  // namespace
}  // namespace kestrune::engine
