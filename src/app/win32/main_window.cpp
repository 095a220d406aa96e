// The window form: the main dialog of view 0. The dialog thread only draws and takes the operator's
// input; the run thread reaches it through posted messages (the run's end, status text, progress)
// and through the output mirror, which posts one message while changes of the output list are
// pending. The error-stop broadcast is taken by the hidden window of ErrorStopWatch, as in the
// console form.
// GDI+ needs the COM stream declarations that WIN32_LEAN_AND_MEAN leaves out, before its own header.
// clang-format off
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <commctrl.h>
#include <dbt.h>
#include <shellapi.h>
#include <shlobj.h>
// clang-format on

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/error_stop.h"
#include "app/output_mirror.h"
#include "app/run_archive.h"
#include "app/run_controller.h"
#include "app/win32/dialog_ids.h"
#include "app/win32/disk_choice.h"
#include "app/win32/output_list.h"
#include "app/win32/window_call.h"
#include "app/win32/window_messages.h"
#include "app/window_form.h"
#include "app/window_rules.h"
#include "base/text.h"
#include "disk/disk_list.h"
#include "disk/disk_state.h"
#include "disk/port_map.h"
#include "disk/selector.h"
#include "engine/save_screen.h"
#include "engine/view.h"
#include "platform/files.h"
#include "platform/shell_open.h"
#include "platform/win32/wide.h"

namespace kestrune::app {
namespace {

using platform::Narrow;
using platform::Widen;

constexpr UINT_PTR kScrollTimer = 9887;
constexpr UINT kScrollTimerMs = 500;
constexpr int kComboSearchLimit = 255;
constexpr int kStatusParts = 4;
// The file viewer of the program's ExtCmd folder and the extensions it shows.
constexpr const char* kViewerName = "roziDadaze.exe";
constexpr const char* kViewerExtensions = ".TXT.HEX.CSV.MAP.FWCFG.CFGINI.MPINI,.DRV,.DGD,.GD,.SMART,.RAW,.MPINFO,.MPOEM";

class MainWindow {
 public:
  MainWindow(engine::Interpreter& interp, const WindowFormStart& start)
      : interp_(interp), start_(start), resume_(start.resume), controller_(interp), disks_(disk::StateOf(interp)) {
    mirror_ = std::make_shared<OutputMirror>(*interp.output(0), [] {
      if (HWND w = win32::gMainWindow.load()) PostMessageW(w, win32::kOutputChanged, 0, 0);
    });
    interp.writer().AddObserver(mirror_);
    disks_.diskListChanged = [] {
      if (HWND w = win32::gMainWindow.load()) PostMessageW(w, win32::kDisksChanged, 0, 0);
    };
  }
  ~MainWindow() {
    controller_.Cancel(0);
    controller_.Wait(0);  // no run thread reaches the disk layer's hook below any more
    disks_.diskListChanged = nullptr;
    for (HICON icon : icons_) DestroyIcon(icon);
  }

  // Creates the dialog and pumps messages until it is destroyed; returns the quit code.
  int Run() {
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr, &Procedure,
                                     reinterpret_cast<LPARAM>(this));
    if (!dialog) return base::code::kError;
    ShowWindow(dialog, SW_SHOW);
    MSG msg;
    int code = 0;
    while (true) {
      const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0) {
        code = static_cast<int>(msg.wParam);
        break;
      }
      if (got < 0) break;
      if (dialog_ && IsDialogMessageW(dialog_, &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    return code;
  }

 private:
  static INT_PTR CALLBACK Procedure(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_INITDIALOG) SetWindowLongPtrW(w, DWLP_USER, lp);
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(w, DWLP_USER));
    return self ? self->Handle(w, m, wp, lp) : FALSE;
  }

  INT_PTR Handle(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
      case WM_INITDIALOG:
        Initialise(w);
        return TRUE;
      case WM_COMMAND:
        Command(LOWORD(wp), HIWORD(wp));
        return TRUE;
      case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wp) == Item(IDC_OUTPUT)) ContextMenu(lp);
        return TRUE;
      case WM_TIMER:
        if (wp == kScrollTimer) FollowNewestLine();
        return TRUE;
      case WM_DEVICECHANGE:
        if (wp == 0 || wp == DBT_DEVICEARRIVAL || wp == DBT_DEVICEREMOVECOMPLETE) RebuildDisks();
        return TRUE;
      case win32::kDisksChanged:
        RebuildDisks();
        return TRUE;
      case win32::kOutputChanged:
        output_.Apply(mirror_->Take());
        return TRUE;
      case win32::kStatusText: {
        std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lp));
        ShowStatus(*text);
        return TRUE;
      }
      case win32::kWindowCall:  // an operator question or file choice of the run thread
        win32::RunWindowCall(w, lp);
        return TRUE;
      case win32::kProgress:
        SendMessageW(Item(IDC_PROGRESS), PBM_SETPOS, wp, 0);
        return TRUE;
      case win32::kRunFinished:
        RunFinished(static_cast<engine::ExecResult>(wp));
        return TRUE;
      case WM_MEASUREITEM: {
        auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
        if (item->CtlID != IDC_OUTPUT) return FALSE;
        output_.Measure(*item);
        SetWindowLongPtrW(w, DWLP_MSGRESULT, TRUE);
        return TRUE;
      }
      case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
        if (item->CtlID != IDC_OUTPUT) return FALSE;
        output_.Draw(*item);
        return TRUE;
      }
      case WM_CTLCOLORLISTBOX:
        if (reinterpret_cast<HWND>(lp) == Item(IDC_OUTPUT))
          return reinterpret_cast<INT_PTR>(GetStockObject(BLACK_BRUSH));
        return FALSE;
      case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lp);
        info->ptMinTrackSize = POINT{400, 300};
        return TRUE;
      }
      case WM_SIZE:
        Layout();
        return TRUE;
      case WM_DESTROY:
        KillTimer(w, kScrollTimer);
        win32::gMainWindow.store(nullptr);
        dialog_ = nullptr;
        PostQuitMessage(ExitCode());
        return TRUE;
      default:
        return FALSE;
    }
  }

  HWND Item(int id) const { return GetDlgItem(dialog_, id); }
  bool Active() const { return controller_.Active(0); }

  int ExitCode() {
    if (interp_.view(0).restartRequested.load()) return 0;  // as the restart itself would end it
    return interp_.LastCompletionCode(0);
  }

  void Initialise(HWND w) {
    dialog_ = w;
    SetWindowTextW(w, Widen(start_.caption).c_str());
    statusBar_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, w,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS_BAR)),
                                 GetModuleHandleW(nullptr), nullptr);
    int parts[kStatusParts] = {160, 260, 560, -1};
    SendMessageW(statusBar_, SB_SETPARTS, kStatusParts, reinterpret_cast<LPARAM>(parts));
    SendMessageW(Item(IDC_PROGRESS), PBM_SETRANGE32, 0, 100);
    output_.Attach(Item(IDC_OUTPUT));
    ShowIcons();
    if (start_.style == 20) {  // compact: the disk's fields, the history and the immediate line go
      for (int id : {IDC_INFO_FIRST, 502, 503, 504, IDC_INFO_LAST, IDC_STATUS_HISTORY, IDC_IMMEDIATE_TEXT,
                     IDC_IMMEDIATE_RUN})
        ShowWindow(Item(id), SW_HIDE);
    }
    if (start_.style == 10) {  // the status history as a text box: its lines can be selected and copied
      ShowWindow(Item(IDC_STATUS_HISTORY), SW_HIDE);
      ShowWindow(Item(IDC_STATUS_BOX), SW_SHOW);
      SendMessageW(Item(IDC_STATUS_BOX), EM_SETLIMITTEXT, 0, 0);  // as long as the history list
    }
    ClearInfo();
    win32::gMainWindow.store(w);
    output_.Apply(mirror_->Take());  // what was written before the window existed
    SetTimer(w, kScrollTimer, kScrollTimerMs, nullptr);
    RebuildDisks();
    Layout();
    if (!start_.targetSelector.empty()) StartOnSelector();
  }

  // The logo as the window's icon and (with the package's logo option) at 64 x 64 in the disk frame;
  // Start and refresh as pictures. Each size is an icon of its own, destroyed with this object.
  void ShowIcons() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    auto load = [&](int id, int size) {
      HICON icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
      if (icon) icons_.push_back(icon);
      return reinterpret_cast<LPARAM>(icon);
    };
    SendMessageW(dialog_, WM_SETICON, ICON_BIG, load(IDI_LOGO, GetSystemMetrics(SM_CXICON)));
    SendMessageW(dialog_, WM_SETICON, ICON_SMALL, load(IDI_LOGO, GetSystemMetrics(SM_CXSMICON)));
    SendMessageW(Item(IDC_START), BM_SETIMAGE, IMAGE_ICON, load(IDI_START, 16));
    SendMessageW(Item(IDC_REFRESH), BM_SETIMAGE, IMAGE_ICON, load(IDI_REFRESH, 16));
    if (!start_.showLogo || start_.style == 20) return;
    SendMessageW(Item(IDC_LOGO), STM_SETICON, static_cast<WPARAM>(load(IDI_LOGO, 64)), 0);
    ShowWindow(Item(IDC_LOGO), SW_SHOW);
  }

  // The window form's start with a disk on the command line: the first matching disk of the combo
  // box, else a script without a disk, else "NO FOUND" and the window closes.
  void StartOnSelector() {
    const disk::PortMap portMap = disk::PortMap::Load(disk::PortMapPathOf(disks_));
    HWND combo = Item(IDC_DISKS);
    const int count = std::min(static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0)), kComboSearchLimit);
    for (int i = 0; i < count; ++i) {
      disk::DiskEntry& entry = comboDisks_[static_cast<size_t>(SendMessageW(combo, CB_GETITEMDATA, i, 0))];
      if (!disk::MatchTarget(start_.targetSelector, entry, portMap, disks_.refreshIdentity)) continue;
      SendMessageW(combo, CB_SETCURSEL, i, 0);
      ShowInfo(&entry);
      PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);
      return;
    }
    if (start_.noDiskRun) {
      runWithoutDisk_ = true;
      PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), 0);
      return;
    }
    if (start_.uiMode != 1 && start_.uiMode != 3) {
      const std::wstring text = Widen(base::Format("NO FOUND %s", start_.targetSelector.c_str()));
      MessageBoxW(dialog_, text.c_str(), Widen(start_.caption).c_str(), MB_OK | MB_ICONWARNING);
    }
    DestroyWindow(dialog_);
  }

  void Command(int id, int notification) {
    switch (id) {
      case IDC_START:
        StartRun(false);
        break;
      case IDC_IMMEDIATE_RUN:
        StartRun(true);
        break;
      case IDC_STOP:
        controller_.Cancel(0);
        break;
      case IDC_CLOSE:
        Close();
        break;
      case IDC_REFRESH:
        RebuildDisks();
        break;
      case IDC_DISKS:
        if (notification == CBN_SELENDOK && !Active()) {
          if (disk::DiskEntry* chosen = SelectedDisk()) disk::SetCurrentDisk(interp_, *chosen);
          ShowInfo(SelectedDisk());
          ClearStatus();
        }
        break;
      case IDC_OUTPUT:
        if (notification == LBN_DBLCLK) OpenAttachedFile();
        break;
      case IDM_CLEAN_SCREEN:
        interp_.writer().ClearLines(interp_.output(0));
        break;
      case IDM_SAVE_SCREEN:
        SaveScreen();
        break;
      default:
        break;
    }
  }

  // Start (id 1) runs the script on the chosen disk; immediate (id 1001) runs the statement of the
  // immediate field. Neither starts beside a run.
  void StartRun(bool immediate) {
    if (Active()) return;
    disk::DiskEntry* chosen = SelectedDisk();
    if (!immediate && !chosen && !runWithoutDisk_) return;
    if (chosen) disk::SetCurrentDisk(interp_, *chosen);
    ClearStatus();
    SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Widen(RunStartText(interp_.host().Now())).c_str()));
    auto finished = [](uint32_t view, engine::ExecResult result) {
      if (HWND w = win32::gMainWindow.load())
        PostMessageW(w, win32::kRunFinished, static_cast<WPARAM>(result), static_cast<LPARAM>(view));
    };
    const engine::LoadedSave* resume = immediate ? nullptr : std::exchange(resume_, nullptr);
    const bool started = immediate ? controller_.StartImmediate(0, WindowText(Item(IDC_IMMEDIATE_TEXT)), finished)
                                   : controller_.Start(0, start_.scriptPath, finished, resume);
    if (started) EnableRunControls(false);
  }

  void RunFinished(engine::ExecResult result) {
    controller_.Wait(0);  // the run thread has ended after posting this; collect it
    engine::View& view = interp_.view(0);
    std::string why;
    if (interp_.settings().debugLevel == 1 && !view.scriptPath.empty() &&
        WriteRunArchive(view.scriptPath, view.logFolder, interp_.host().ProgramFolder(), why).empty())
      interp_.writer().WriteLine(interp_.output(0), why, engine::kDetail, 10, engine::colour::kRed);
    for (int part = 0; part < kStatusParts; ++part)
      SendMessageW(statusBar_, SB_SETTEXTW, part, reinterpret_cast<LPARAM>(L""));
    EnableRunControls(true);
    output_.Apply(mirror_->Take());
    const int32_t code = interp_.LastCompletionCode(0);
    if (!BroadcastAfterRun(interp_, 0, start_.errStop, code, why))
      interp_.writer().WriteLine(interp_.output(0), why, engine::kDetail, 10, engine::colour::kRed);
    if (result == engine::ExecResult::kEndAndClose || view.restartRequested.load()) {
      DestroyWindow(dialog_);
      return;
    }
    const AfterRun after = WindowAfterRun(start_.uiMode, code);
    if (after.showError) {
      const std::wstring text = Widen(JobFailText(view.lastDescription));
      MessageBoxW(dialog_, text.c_str(), Widen(start_.caption).c_str(), MB_OK | MB_ICONERROR);
    }
    if (after.close) DestroyWindow(dialog_);
  }

  // Closing asks first during a run, and then only cancels it; the run's end decides the rest.
  void Close() {
    if (!Active()) {
      DestroyWindow(dialog_);
      return;
    }
    if (MessageBoxW(dialog_, L"Do you want to stop program?", Widen(start_.caption).c_str(),
                    MB_OKCANCEL | MB_ICONQUESTION) == IDOK)
      controller_.Cancel(0);
  }

  void EnableRunControls(bool idle) {
    EnableWindow(Item(IDC_START), idle && (SelectedDisk() || runWithoutDisk_));
    EnableWindow(Item(IDC_REFRESH), idle);
    EnableWindow(Item(IDC_DISKS), idle);
    EnableWindow(Item(IDC_IMMEDIATE_RUN), idle);
    EnableWindow(Item(IDC_STOP), !idle);
  }

  // The disk combo box from a fresh enumeration. The disk layer's list and current disk stay as
  // they are: a run may be using them.
  void RebuildDisks() {
    const bool active = Active();
    if (!active) {
      EnableWindow(Item(IDC_START), TRUE);
      EnableWindow(Item(IDC_REFRESH), TRUE);
    }
    const disk::DiskEntry* before = SelectedDisk();
    const std::string rememberedPath = before ? before->devicePath : std::string();
    const std::string rememberedCaption = before ? DiskCaption(*before) : std::string();
    comboDisks_.clear();
    if (disks_.tree && disk::BuildDiskList(*disks_.tree, comboDisks_) < 0) comboDisks_.clear();
    HWND combo = Item(IDC_DISKS);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    int select = -1;
    for (size_t i : CandidateDisks(disks_.filter, comboDisks_, disks_.refreshIdentity)) {
      const disk::DiskEntry& entry = comboDisks_[i];
      const int at = static_cast<int>(
          SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(DiskCaption(entry)).c_str())));
      SendMessageW(combo, CB_SETITEMDATA, at, static_cast<LPARAM>(i));
      const std::string& wanted = active && disks_.hasCurrent ? disks_.current.devicePath : rememberedPath;
      if (select < 0 && !wanted.empty() && entry.devicePath == wanted) select = at;
    }
    const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    if (count > 0) {
      SendMessageW(combo, CB_SETCURSEL, select >= 0 ? select : (active ? -1 : 0), 0);
      if (!active) ShowInfo(SelectedDisk());
    } else if (active) {
      const std::wstring gone = Widen(base::Format("%s - Disconnect", rememberedCaption.c_str()));
      SendMessageW(combo, CB_SETCURSEL, SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(gone.c_str())), 0);
    } else {
      ClearInfo();
      EnableWindow(Item(IDC_START), runWithoutDisk_);
    }
  }

  disk::DiskEntry* SelectedDisk() {
    HWND combo = Item(IDC_DISKS);
    const LRESULT at = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (at == CB_ERR) return nullptr;
    const LRESULT index = SendMessageW(combo, CB_GETITEMDATA, at, 0);
    if (index == CB_ERR || static_cast<size_t>(index) >= comboDisks_.size()) return nullptr;
    return &comboDisks_[static_cast<size_t>(index)];
  }

  void ShowInfo(const disk::DiskEntry* entry) {
    if (!entry) {
      ClearInfo();
      return;
    }
    const std::string fields[] = {
        "Model : " + entry->model,
        "Firmware : " + entry->firmwareRevision,
        "Path : " + entry->devicePath,
        base::Format("Capacity : %llu MB", static_cast<unsigned long long>(entry->totalBytes >> 20)),
        "Controller : " + entry->controllerName,
    };
    for (int i = 0; i < 5; ++i) SetDlgItemTextW(dialog_, IDC_INFO_FIRST + i, Widen(fields[i]).c_str());
  }

  void ClearInfo() {
    for (int id = IDC_INFO_FIRST; id <= IDC_INFO_LAST; ++id) SetDlgItemTextW(dialog_, id, L"");
  }

  void ClearStatus() {
    SetDlgItemTextW(dialog_, IDC_STATUS_TEXT, L"");
    SendMessageW(Item(IDC_STATUS_HISTORY), LB_RESETCONTENT, 0, 0);
    SetDlgItemTextW(dialog_, IDC_STATUS_BOX, L"");
    lastStatus_.clear();
  }

  // The status text, and (when it is new and not empty) a line of its history, scrolled to it.
  void ShowStatus(const std::wstring& text) {
    SetDlgItemTextW(dialog_, IDC_STATUS_TEXT, text.c_str());
    SendMessageW(statusBar_, SB_SETTEXTW, 2, reinterpret_cast<LPARAM>(text.c_str()));
    if (text.empty() || text == lastStatus_) return;
    lastStatus_ = text;
    HWND history = Item(IDC_STATUS_HISTORY);
    const LRESULT at = SendMessageW(history, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(history, LB_SETTOPINDEX, at, 0);
    if (start_.style != 10) return;
    HWND box = Item(IDC_STATUS_BOX);
    const int end = GetWindowTextLengthW(box);
    const std::wstring line = (end > 0 ? L"\r\n" : L"") + text;
    SendMessageW(box, EM_SETSEL, end, end);
    SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageW(box, EM_SCROLLCARET, 0, 0);
  }

  // The 500 ms tick: the newest line into view, unless the operator holds a line selected.
  void FollowNewestLine() {
    HWND list = Item(IDC_OUTPUT);
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    if (count <= 0 || count == shownNewest_) return;
    shownNewest_ = count;
    if (SendMessageW(list, LB_GETCURSEL, 0, 0) == LB_ERR) PostMessageW(list, LB_SETTOPINDEX, count - 1, 0);
  }

  void Layout() {
    if (!dialog_) return;
    SendMessageW(statusBar_, WM_SIZE, 0, 0);
    RECT client{}, bar{};
    GetClientRect(dialog_, &client);
    GetWindowRect(statusBar_, &bar);
    const int barHeight = bar.bottom - bar.top;
    auto place = [&](int id, int top, int bottom) {
      HWND item = Item(id);
      RECT r{};
      GetWindowRect(item, &r);
      MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&r), 2);
      if (top < 0) top = r.top;
      if (bottom < 0) bottom = r.bottom;
      MoveWindow(item, r.left, top, std::max(20L, client.right - 20 - r.left), std::max(20, bottom - top), TRUE);
    };
    place(IDC_DISK_FRAME, -1, -1);
    place(IDC_IMMEDIATE_TEXT, -1, -1);
    place(IDC_STATUS_BOX, -1, -1);
    int outputTop = -1;
    if (start_.style == 20) {  // compact: the output list right below the status line
      RECT status{};
      GetWindowRect(Item(IDC_STATUS_TEXT), &status);
      MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&status), 2);
      outputTop = status.bottom + 4;
    }
    place(IDC_OUTPUT, outputTop, client.bottom - barHeight - 6);
  }

  void ContextMenu(LPARAM at) {
    if (Active()) return;
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, IDM_CLEAN_SCREEN, L"Clean Screen");
    AppendMenuW(menu, MF_STRING, IDM_SAVE_SCREEN, L"Save Screen");
    POINT p{XOf(at), YOf(at)};
    if (p.x == -1 && p.y == -1) GetCursorPos(&p);
    const UINT choice = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, p.x, p.y, 0, dialog_, nullptr);
    DestroyMenu(menu);
    if (choice != 0) Command(static_cast<int>(choice), 0);
  }

  static LONG XOf(LPARAM lp) { return static_cast<short>(LOWORD(lp)); }
  static LONG YOf(LPARAM lp) { return static_cast<short>(HIWORD(lp)); }

  void SaveScreen() {
    std::string desktop = interp_.host().TempFolder();
    PWSTR known = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &known))) desktop = Narrow(known);
    CoTaskMemFree(known);
    const engine::SaveScreenOutcome saved = engine::SaveScreen(*interp_.output(0), desktop, interp_.host().Now());
    const std::wstring title = Widen(start_.caption);
    using Status = engine::SaveScreenOutcome::Status;
    switch (saved.status) {
      case Status::kNoData:
        MessageBoxW(dialog_, L"No Data", title.c_str(), MB_OK | MB_ICONWARNING);
        return;
      case Status::kDone: {
        MessageBoxW(dialog_, L"Save Screen Finish", title.c_str(), MB_OK | MB_ICONINFORMATION);
        std::string why;
        platform::ShellOpen(saved.folder, why);
        return;
      }
      default: {
        std::string text = "Save Screen failed: " + saved.folder;
        for (const std::string& path : saved.failed) text += "\n" + path;
        MessageBoxW(dialog_, Widen(text).c_str(), title.c_str(), MB_OK | MB_ICONERROR);
        return;
      }
    }
  }

  // A double-clicked line's attached file: in the file viewer when it shows that kind of file,
  // otherwise by the shell; a program is never started, its folder opens instead.
  void OpenAttachedFile() {
    const LRESULT at = SendMessageW(Item(IDC_OUTPUT), LB_GETCURSEL, 0, 0);
    const engine::OutputLine* line = at == LB_ERR ? nullptr : output_.Line(static_cast<size_t>(at));
    if (!line || line->attachedPath.empty()) return;
    std::string path = line->attachedPath;
    const bool link = base::StartsWithNoCase(path, "http://");
    std::string why;
    if (!link && platform::FileExists(path)) {
      const std::string name = platform::FileNameOf(path);
      const size_t dot = name.rfind('.');
      const std::string extension = dot == std::string::npos ? std::string() : base::ToUpperAscii(name.substr(dot));
      const std::string viewer = platform::JoinPath(platform::JoinPath(interp_.host().ProgramFolder(), "ExtCmd"), kViewerName);
      if (extension == ".EXE" || extension == ".BAT" || extension == ".CMD" || extension == ".COM") {
        path = platform::FolderOf(path);
      } else if (extension.size() > 1 && std::string_view(kViewerExtensions).find(extension) != std::string_view::npos &&
                 platform::FileExists(viewer)) {
        const std::wstring args = L"\"" + Widen(path) + L"\"";
        ShellExecuteW(dialog_, L"open", Widen(viewer).c_str(), args.c_str(), nullptr, SW_SHOWNORMAL);
        return;
      }
    }
    platform::ShellOpen(path, why);
  }

  static std::string WindowText(HWND w) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(w)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(w, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
  }

  engine::Interpreter& interp_;
  const WindowFormStart& start_;
  const engine::LoadedSave* resume_;  // the first Start goes on from it; then cleared
  RunController controller_;
  disk::DiskState& disks_;
  std::shared_ptr<OutputMirror> mirror_;
  win32::OutputList output_;
  std::vector<disk::DiskEntry> comboDisks_;  // the combo box's item data indexes these
  HWND dialog_ = nullptr;
  HWND statusBar_ = nullptr;
  std::wstring lastStatus_;
  LRESULT shownNewest_ = 0;
  bool runWithoutDisk_ = false;
  std::vector<HICON> icons_;  // the window's, the buttons' and the logo's
};

}  // namespace

int RunWindowForm(engine::Interpreter& interp, const WindowFormStart& start) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  const bool gdiplus = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
  int code = 0;
  WindowFormStart chosen = start;
  // Quiet mode without a disk on the command line: the operator names one first; Cancel ends here.
  if (chosen.targetSelector.empty() && chosen.uiMode == 1) {
    std::optional<std::string> selector = win32::ChooseDisk(interp, chosen.caption);
    if (!selector) {
      if (gdiplus) Gdiplus::GdiplusShutdown(token);
      return 0;
    }
    chosen.targetSelector = *selector;
  }
  {
    ErrorStopWatch watch(interp, 0);
    MainWindow window(interp, chosen);
    code = window.Run();
  }
  if (gdiplus) Gdiplus::GdiplusShutdown(token);
  return code;
}

}  // namespace kestrune::app
