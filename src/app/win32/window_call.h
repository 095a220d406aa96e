// Work that must run on the main window's thread (an operator dialog, a file dialog), asked for by
// another thread: the caller posts it to the main window and waits. Nothing is sent to the window
// from the calling thread, so a caller that holds a lock never waits on the window thread's queue.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

namespace kestrune::app::win32 {

// Calling thread: posts work to the main window and blocks until it has run there and returned
// (true). False, with work never run, when there is no main window or it goes away, or when cancel
// turns true before the window thread takes the work up. Once taken up, the call waits for the
// work's end however long it takes: the work itself watches cancel.
bool CallOnWindowThread(const std::function<void(HWND owner)>& work, const std::atomic<bool>* cancel);

// Window thread, for the message kWindowCall: runs the posted work with the main window as owner.
void RunWindowCall(HWND owner, LPARAM call);

}  // namespace kestrune::app::win32
