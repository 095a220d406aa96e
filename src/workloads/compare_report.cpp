#include "workloads/compare_report.h"

#include "base/completion_codes.h"
#include "base/text.h"
#include "engine/interpreter.h"
#include "engine/output.h"
#include "workloads/pattern_dumps.h"

namespace kestrune::workloads {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kRed = 0x0000FF;
constexpr uint32_t kYellow = 0x00FFFF;
constexpr uint32_t kOlive = 0x009696;
constexpr int32_t kMiscompareSize = 50;

}  // namespace

std::string CompareResultLine(int32_t code) {
  switch (code) {
    case base::code::kSuccessTrue:
      return "Compare Result : Compare Finish. No error exist. | 0";
    case base::code::kMiscompareThenCorrect:
      return "Compare Result : 1st Read is Miscompare, 2nd Read is Correct! | 1";
    case base::code::kMiscompareTwice:
      return "Compare Result : 1st Read is Miscompare, 2nd Read is still Miscompare! | 2";
    default:
      return "Compare Result : Other Error. | 255";
  }
}

void FinishCompare(engine::Interpreter& interp, uint32_t view, const CompareReport& r, uint64_t failingLba) {
  engine::OutputWriter& writer = interp.writer();
  engine::ViewOutput* out = interp.output(view);
  auto line = [&](const std::string& text, uint32_t colour, int32_t size = 10) {
    writer.WriteLine(out, text, engine::kDetail, size, colour);
  };
  line(base::Format("Last Cycle Data, Cycle%u, Process:%u%%", r.cycle, r.percent), kWhite);
  namespace code = base::code;
  const bool miscompare = r.code == code::kMiscompareThenCorrect || r.code == code::kMiscompareTwice;
  if (miscompare) {
    const bool readPath = r.code == code::kMiscompareThenCorrect;
    line("Miscompare", kRed, kMiscompareSize);
    line(readPath ? "Error Type   : 1st Read is Miscompare, 2nd Read is Correct!"
                  : "Error Type   : 1st Read is Miscompare, 2nd Read is still MisCompare!",
         kYellow);
    line(base::Format("Error Action : LBA:0x%llX , AccessSize:0x%llX", static_cast<unsigned long long>(r.actionLba),
                      static_cast<unsigned long long>(r.accessSize)),
         kYellow);
    line(base::Format("Error LBA    : 0x%llX ", static_cast<unsigned long long>(r.errorLba)), kYellow);
    if (!r.cause.empty()) line("Error Cause  : " + r.cause, kYellow);
    const struct {
      const char* caption;
      DumpKind kind;
    } dumps[] = {{"Pattern Data", DumpKind::Expected},
                 {"1st Read Data", DumpKind::FirstRead},
                 {"2nd Read Data", DumpKind::SecondRead}};
    for (const auto& d : dumps) {
      line(d.caption, kWhite);
      writer.WriteDataFile(out, kOlive, DumpName(r.outputBase, d.kind), true);
    }
  }
  line(CompareResultLine(r.code), kCompareResultColour);
  if (r.code >= 0) return;
  const std::string where = base::Format("CurrentLBA: 0x%08X%08X", static_cast<uint32_t>(failingLba >> 32),
                                         static_cast<uint32_t>(failingLba));
  line(where, kYellow);
  interp.ReportCompletion(view, r.code, where);
}

}  // namespace kestrune::workloads
