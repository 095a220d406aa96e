// The file test commands: File_Write, File_Read (background jobs a script polls with
// File_JobState), File_Compare, File_CompareWithPattern, File_Copy, File_Delete and the old name
// File_FullByPattern. They work on ordinary files on any disk mode, through the JobFiles seam.
#pragma once

#include <memory>
#include <vector>

#include "engine/command_table.h"
#include "platform/job_files.h"

namespace kestrune::engine {
class Interpreter;
}

namespace kestrune::workloads {

// Registers the handlers and the end-of-run work of the jobs; the rows that took nothing (none in a
// sound build). Call once at start-up, before any run.
[[nodiscard]] std::vector<engine::HandlerRow> RegisterFileTestCommands(engine::Interpreter& interp);

// The file system the commands use (the system's unless given another: the lab's, a test's). Call
// before any run.
void UseJobFiles(engine::Interpreter& interp, std::shared_ptr<platform::JobFiles> files);

}  // namespace kestrune::workloads
