#include "app/win32/disk_choice.h"

#include <windows.h>

#include <vector>

#include "app/win32/dialog_ids.h"
#include "app/window_rules.h"
#include "disk/disk_list.h"
#include "disk/disk_state.h"
#include "platform/win32/wide.h"

namespace kestrune::app::win32 {
namespace {

struct Choice {
  std::vector<disk::DiskEntry> entries;
  std::vector<size_t> candidates;
  std::wstring title;
  int chosen = -1;
};

INT_PTR CALLBACK Procedure(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_INITDIALOG) SetWindowLongPtrW(w, DWLP_USER, lp);
  auto* choice = reinterpret_cast<Choice*>(GetWindowLongPtrW(w, DWLP_USER));
  if (!choice) return FALSE;
  HWND list = GetDlgItem(w, IDC_DISK_CHOICE_LIST);
  switch (m) {
    case WM_INITDIALOG:
      if (!choice->title.empty()) SetWindowTextW(w, choice->title.c_str());
      for (size_t i : choice->candidates)
        SendMessageW(list, LB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(platform::Widen(DiskCaption(choice->entries[i])).c_str()));
      SendMessageW(list, LB_SETCURSEL, 0, 0);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK || (LOWORD(wp) == IDC_DISK_CHOICE_LIST && HIWORD(wp) == LBN_DBLCLK)) {
        const LRESULT at = SendMessageW(list, LB_GETCURSEL, 0, 0);
        if (at == LB_ERR) return TRUE;  // nothing chosen yet
        choice->chosen = static_cast<int>(at);
        EndDialog(w, IDOK);
      } else if (LOWORD(wp) == IDCANCEL) {
        EndDialog(w, IDCANCEL);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

std::optional<std::string> ChooseDisk(engine::Interpreter& interp, const std::string& caption) {
  disk::DiskState& disks = disk::StateOf(interp);
  Choice choice;
  choice.title = platform::Widen("Select Disk - " + caption);
  if (disks.tree && disk::BuildDiskList(*disks.tree, choice.entries) < 0) choice.entries.clear();
  choice.candidates = CandidateDisks(disks.filter, choice.entries, disks.refreshIdentity);
  const INT_PTR answer = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_DISK_CHOICE), nullptr,
                                         &Procedure, reinterpret_cast<LPARAM>(&choice));
  if (answer != IDOK || choice.chosen < 0 || static_cast<size_t>(choice.chosen) >= choice.candidates.size())
    return std::nullopt;
  return choice.entries[choice.candidates[static_cast<size_t>(choice.chosen)]].devicePath;
}

}  // namespace kestrune::app::win32
