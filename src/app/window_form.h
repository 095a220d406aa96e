// The window form (Windows): the main dialog of view 0 on the main thread, its run on the view's run
// thread. Start-up has made the interpreter and its disk source; the form shows the disks, starts
// the run (at once when the command line names a disk) and ends with the process exit code.
#pragma once

#include <memory>
#include <string>

#include "engine/interpreter.h"
#include "engine/run_save.h"
#include "engine/ui.h"
#include "platform/host.h"

namespace kestrune::app {

struct WindowFormStart {
  std::string scriptPath;      // what view 0 runs
  std::string caption;         // the window's caption
  std::string targetSelector;  // empty: the operator picks the disk
  bool noDiskRun = false;      // the script needs no disk: it runs even when no disk matches
  int uiMode = 0;
  int style = 0;               // 0 the full layout, 10 with the status history as text, 20 compact
  int errStop = -1;            // ERRSTOP: a run ending on an error broadcasts the error stop
  bool showLogo = false;       // the program's logo in the disk frame
  // A run that goes on after a restart: the first Start goes on from this save (which outlives
  // the form) on the disk named by targetSelector; later Starts run the script afresh.
  const engine::LoadedSave* resume = nullptr;
};

#ifdef _WIN32
// The operator seam of the window form: the status text and its history, the progress bar, the
// operator questions and the file choices go to the main window once it exists (before, status and
// progress are dropped and questions have nobody to ask: Ui::Ask's answers). host gives the AutoOK
// countdown's clock and must outlive the Ui.
std::shared_ptr<engine::Ui> MakeWindowUi(const platform::Host& host);

// Runs the window form until its window is destroyed; returns the quit code (view 0's last
// completion code). Call once, on the main thread, before any line is written.
int RunWindowForm(engine::Interpreter& interp, const WindowFormStart& start);
#endif

}  // namespace kestrune::app
