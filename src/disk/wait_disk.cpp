#include "disk/wait_disk.h"

#include "base/text.h"
#include "disk/disk_find.h"
#include "disk/disk_state.h"
#include "engine/interpreter.h"
#include "engine/view.h"

namespace kestrune::disk {

bool WaitForDisk(engine::Interpreter& interp, uint32_t view, uint32_t seconds) {
  engine::OutputWriter& writer = interp.writer();
  engine::ViewOutput* out = interp.output(view);
  engine::LineRef line = writer.WriteLine(out, "Wait Disk...", engine::kDetail, 10, engine::colour::kGrey);
  // The countdown rewrites that one line; should it be gone (the list was reset), a new one is written.
  auto show = [&](const std::string& text) {
    if (!writer.RewriteLine(out, line, text))
      line = writer.WriteLine(out, text, engine::kDetail, 10, engine::colour::kGrey);
  };

  for (uint64_t i = 0; i <= seconds; ++i) {
    if (interp.view(view).cancel.load()) return false;
    show(base::Format("Wait Disk Remain Timeout %llu sec", static_cast<unsigned long long>(seconds - i)));
    interp.host().SleepMs(1000);
    if (FindCurrentDiskAgain(interp)) {
      writer.RewriteLine(out, line, "");
      DiskState& state = StateOf(interp);
      writer.WriteLine(out, "Find Disk : " + state.current.devicePath, engine::kDetail, 10,
                       engine::colour::kWhite);
      if (state.diskListChanged) state.diskListChanged();
      return true;
    }
  }
  writer.WriteLine(out, "TimeOut, Disk Disconnect", engine::kDetail, 10, engine::colour::kRed);
  return false;
}

}  // namespace kestrune::disk
