// The record of one view: its run state, block stacks, variables and output.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <utility>
#include <string>
#include <vector>

#include "engine/output.h"
#include "engine/variables.h"

namespace kestrune::engine {

enum class BlockAction : uint32_t { kMain = 0, kIfDo = 1, kIfSkip = 2, kLoopDo = 3, kLoopSkip = 4 };

struct BlockNode {
  int32_t level = 0;
  BlockAction action = BlockAction::kMain;
  uint32_t savedOffset = 0;
};

struct View {
  uint32_t index = 0;

  // Run state.
  std::string script;             // the whole plain script
  std::string scriptPath;         // the file it was loaded from
  uint32_t statementOffset = 0;   // byte offset of the current statement
  uint32_t statementEnd = 0;      // byte offset just past the current statement's terminator
  int32_t loopLevel = 0;
  int32_t breakLevel = -1;
  int32_t lastCode = 0;
  std::string lastDescription;
  std::vector<BlockNode> mainList;
  std::vector<BlockNode> subList;
  std::vector<int32_t> loopList;
  VarList vars;

  // Folders of the run.
  std::string scriptFolder;
  std::string logFolder;
  std::string baseLogFolder;
  std::string logDataPath;        // INI written at run end when set
  std::string nextLogDataPath;    // the next run's logDataPath
  std::string uploadFolder;       // SetLogFolder: the log folder is copied here at run end
  uint64_t runStartMs = 0;        // Host::MonotonicMs() when the run started

  // Run control. cancel is the one stop signal of the view: set by an outside request (the operator,
  // another instance) and by the run itself when a report stops or ends it; workers poll it.
  // cancelRequested marks the outside request, so that a cancelled run ends with kCancelled.
  std::atomic<bool> cancel{false};
  std::atomic<bool> cancelRequested{false};
  std::atomic<bool> running{false};
  // The script has ended: set when the run's end begins (before the run-end hooks, which may wait
  // for the view's threads), so that delayed actions give up while running is still set.
  std::atomic<bool> scriptEnded{false};
  bool cancelled = false;  // the statement loop stopped at "---- Cancel Job ----"; run thread only
  // The machine restarts (PCReBoot): the run ends after the current statement without the cancel
  // line; restartRequested tells start-up that the run ended for a restart (set by the thread that
  // asked for it, possibly a delayed one).
  std::atomic<bool> endAndClose{false};
  std::atomic<bool> restartRequested{false};

  // Completion codes reported from other threads (a delayed power action, a sleep cycle), for the
  // run thread to report after its current statement. Guarded by postedLock.
  std::mutex postedLock;
  std::vector<std::pair<int32_t, std::string>> posted;

  // Run persistence across a restart: the save id (0 until the first save or a resume gives one)
  // and the saves made by this run, counting those before a resume.
  uint32_t saveId = 0;
  uint32_t rebootCount = 0;

  ViewOutput output;
};

}  // namespace kestrune::engine
