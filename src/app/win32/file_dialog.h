// The system's open and save dialogs for the window form, on the main window's thread: they close
// themselves (as cancelled) once the view's cancel flag turns true.
#pragma once

#include <windows.h>

#include <atomic>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrune::app::win32 {

struct FileDialog {
  bool save = false;
  bool mustExist = false;  // open: only an existing file is accepted
  std::wstring title;  // empty: the system's
  // (description, pattern) pairs, in order.
  std::vector<std::pair<std::wstring, std::wstring>> filters;
  std::wstring preset;  // the name offered at the start
  const std::atomic<bool>* cancel = nullptr;
};

// The chosen path, or nullopt when the operator cancelled, cancel turned true or the dialog failed.
std::optional<std::string> RunFileDialog(HWND owner, const FileDialog& dialog);

}  // namespace kestrune::app::win32
