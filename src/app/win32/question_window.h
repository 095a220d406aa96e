// The operator dialogs of the window form (message, combo, number, check list and input boxes) as
// windows of their own on the main window's thread, modal to it: the main window is disabled while
// one shows. Each window waits for input with MsgWaitForMultipleObjects and looks at the view's
// cancel flag and the AutoOK countdown between messages; engine::DialogFlow decides the answers.
#pragma once

#include <windows.h>

#include "engine/ui.h"
#include "platform/host.h"

namespace kestrune::app::win32 {

// Shows q (not a file question) centred over owner and returns its answer once given: a button,
// Enter in the field, the countdown's end, Escape or closing the window (declining, source
// kEscape), or the cancel flag (likewise). Window thread only.
engine::Answer ShowQuestion(HWND owner, const engine::Question& q, const platform::Host& host);

}  // namespace kestrune::app::win32
