#include "app/win32/file_dialog.h"

#include <commdlg.h>

#include <algorithm>

#include "platform/win32/wide.h"

namespace kestrune::app::win32 {
namespace {

constexpr UINT_PTR kCancelTimer = 1;
constexpr UINT kCancelPollMs = 250;

// The explorer-style dialog's hook: a timer that presses Cancel once the view's cancel flag is set.
UINT_PTR CALLBACK Hook(HWND child, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_INITDIALOG) {
    const auto* ofn = reinterpret_cast<const OPENFILENAMEW*>(lp);
    SetWindowLongPtrW(child, DWLP_USER, static_cast<LONG_PTR>(ofn->lCustData));
    SetTimer(child, kCancelTimer, kCancelPollMs, nullptr);
  } else if (m == WM_TIMER && wp == kCancelTimer) {
    const auto* cancel = reinterpret_cast<const std::atomic<bool>*>(GetWindowLongPtrW(child, DWLP_USER));
    if (cancel && cancel->load()) {
      KillTimer(child, kCancelTimer);
      PostMessageW(GetParent(child), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
  } else if (m == WM_DESTROY) {
    KillTimer(child, kCancelTimer);
  }
  return 0;
}

}  // namespace

std::optional<std::string> RunFileDialog(HWND owner, const FileDialog& dialog) {
  if (dialog.cancel && dialog.cancel->load()) return std::nullopt;
  // "description\0pattern\0" per filter, double-terminated.
  std::wstring filter;
  for (const auto& [description, pattern] : dialog.filters) {
    filter += description;
    filter.push_back(L'\0');
    filter += pattern;
    filter.push_back(L'\0');
  }
  if (filter.empty()) {
    filter = L"*.*";
    filter.push_back(L'\0');
    filter += L"*.*";
    filter.push_back(L'\0');
  }
  filter.push_back(L'\0');
  std::vector<wchar_t> path(MAX_PATH * 4, L'\0');
  dialog.preset.copy(path.data(), std::min(dialog.preset.size(), path.size() - 1));
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter.c_str();
  ofn.lpstrFile = path.data();
  ofn.nMaxFile = static_cast<DWORD>(path.size());
  ofn.lpstrTitle = dialog.title.empty() ? nullptr : dialog.title.c_str();
  ofn.Flags = OFN_NOCHANGEDIR | OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING |
              (dialog.save ? OFN_OVERWRITEPROMPT : OFN_PATHMUSTEXIST) |
              (dialog.mustExist ? OFN_FILEMUSTEXIST : 0);
  ofn.lpfnHook = &Hook;
  ofn.lCustData = reinterpret_cast<LPARAM>(dialog.cancel);
  const BOOL chosen = dialog.save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  if (!chosen || (dialog.cancel && dialog.cancel->load())) return std::nullopt;
  return platform::Narrow(path.data());
}

}  // namespace kestrune::app::win32
