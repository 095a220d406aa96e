#include "workloads/job_target.h"

#include <atomic>

#include "base/completion_codes.h"
#include "engine/interpreter.h"
#include "engine/output.h"
#include "platform/files.h"
#include "workloads/byte_range.h"
#include "workloads/test_file.h"

namespace kestrune::workloads {
namespace {

namespace code = base::code;

constexpr uint32_t kPrepareColour = 0x969696;
constexpr uint32_t kCancelColour = 0xFFFF00;

}  // namespace

std::optional<ChosenTarget> ChooseTarget(engine::Interpreter& interp, uint32_t view,
                                         const disk::DiskEntry& disk, bool writes, bool wholeDiskReads,
                                         uint64_t fileBytes) {
  ChosenTarget t;
  t.mode = disk::ModeOf(disk);
  if (t.mode == disk::TargetMode::kWholeDiskWithVolumes && (writes || !wholeDiskReads)) {
    interp.ReportCompletion(view, code::kRawOrPartitionOnly, "");
    return std::nullopt;
  }
  if (writes && t.mode == disk::TargetMode::kRaw) {
    if (int32_t guard = disk::RequireNotSystemDisk(disk)) {
      interp.ReportCompletion(view, guard, "");
      return std::nullopt;
    }
  }
  t.path = t.mode == disk::TargetMode::kWholeDiskWithVolumes ? disk.physicalPath : disk.devicePath;
  if (t.mode != disk::TargetMode::kPartition) return t;

  engine::OutputWriter& writer = interp.writer();
  const std::atomic<bool>& cancel = interp.CancelFlag(view);
  writer.WriteLine(interp.output(view), "Wait for Parpare Test File...", engine::kDetail, 10, kPrepareColour);
  const std::string root = VolumeRoot(disk.volumeLetters);
  t.testFile = TestFilePath(root, interp.host().ProcessId() * 256 + view);
  // A volume without a folder to put the file in (the lab's volumes hold no file system) cannot take it.
  const bool ready = !root.empty() && platform::FolderExists(root) &&
                     PrepareTestFile(t.testFile, (fileBytes + kMiB - 1) / kMiB, cancel,
                                     [&](std::string_view text) { interp.ui().ShowStatus(view, text); });
  if (!ready) {
    if (cancel.load())
      writer.WriteLine(interp.output(view), "---- Cancel Command ----", engine::kDetail, 10, kCancelColour);
    else
      interp.ReportCompletion(view, code::kPrepareFileFailed, "");
    return std::nullopt;
  }
  t.path = t.testFile;
  return t;
}

void RemoveTestFile(const ChosenTarget& target) {
  if (!target.testFile.empty()) platform::RemoveFile(target.testFile);
}

}  // namespace kestrune::workloads
