#include "app/win32/question_window.h"

#include <commctrl.h>

#include <algorithm>
#include <optional>
#include <string>

#include "app/win32/dialog_ids.h"
#include "engine/dialog_flow.h"
#include "platform/win32/wide.h"

namespace kestrune::app::win32 {
namespace {

using Kind = engine::Question::Kind;
using platform::Narrow;
using platform::Widen;

constexpr int kMargin = 12;
constexpr int kButtonWidth = 90;
constexpr int kButtonHeight = 26;
constexpr int kLineHeight = 20;
constexpr int kFontPoints = 9;

const wchar_t* ClassName(Kind kind) {
  switch (kind) {
    case Kind::kMessage: return L"myBox";
    case Kind::kCombo: return L"myCombo";
    case Kind::kNumber: return L"myNumber";
    case Kind::kCheckList: return L"myCheckList";
    default: return L"InputBox";
  }
}

SIZE WindowSize(const engine::Question& q) {
  switch (q.kind) {
    case Kind::kMessage: return {400, 180};
    case Kind::kCombo: return {350, 180};
    case Kind::kNumber: return {320, 170};
    case Kind::kCheckList: return {350, 340};
    default: return {350, q.lengthLimit > 0 ? 160 : 145};
  }
}

const wchar_t* StandardIcon(engine::Question::Icon icon) {
  switch (icon) {
    case engine::Question::Icon::kWarning: return IDI_WARNING;
    case engine::Question::Icon::kError: return IDI_ERROR;
    case engine::Question::Icon::kInformation: return IDI_INFORMATION;
    default: return IDI_QUESTION;
  }
}

std::wstring TextOf(HWND control) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  return text;
}

class QuestionWindow {
 public:
  QuestionWindow(const engine::Question& q, const platform::Host& host) : q_(q), flow_(q, host) {}
  ~QuestionWindow() {
    if (font_) DeleteObject(font_);
  }

  engine::Answer Show(HWND owner) {
    if (!Create(owner)) {
      flow_.Escape();
      return flow_.answer();
    }
    if (owner) EnableWindow(owner, FALSE);
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    SetFocus(focus_);
    Pump();
    if (owner) {
      EnableWindow(owner, TRUE);
      SetForegroundWindow(owner);
    }
    if (IsWindow(window_)) DestroyWindow(window_);
    return flow_.answer();
  }

 private:
  // The window's own message loop: sleeps until input comes or the flow wants another look (the
  // countdown's next second, the cancel flag), never spinning.
  void Pump() {
    for (;;) {
      if (!IsWindow(window_)) flow_.Escape();  // destroyed with its owner
      if (flow_.done() || flow_.Poll(State())) return;
      Refused();
      ShowCountdown();
      MsgWaitForMultipleObjectsEx(0, nullptr, flow_.WaitMs(), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      MSG msg;
      while (!flow_.done() && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {  // the main window has gone: leave its quit for its own loop
          PostQuitMessage(static_cast<int>(msg.wParam));
          flow_.Escape();
          return;
        }
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE &&
            (msg.hwnd == window_ || IsChild(window_, msg.hwnd))) {
          flow_.Escape();
          return;
        }
        // Enter in the input field confirms it (the field itself would only start a new line).
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && q_.kind == Kind::kInput && msg.hwnd == field_) {
          Press(true);
          continue;
        }
        if (IsDialogMessageW(window_, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
  }

  bool Create(HWND owner) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const wchar_t* name = ClassName(q_.kind);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExW(instance, name, &wc)) {
      wc = WNDCLASSEXW{};
      wc.cbSize = sizeof wc;
      wc.lpfnWndProc = &Procedure;
      wc.hInstance = instance;
      wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
      wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
      wc.lpszClassName = name;
      if (!RegisterClassExW(&wc)) return false;
    }
    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(kFontPoints, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    font_ = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH,
                        q_.kind == Kind::kMessage ? L"Consolas" : L"Microsoft JhengHei");
    const SIZE size = WindowSize(q_);
    RECT over{};
    if (!owner || !GetWindowRect(owner, &over)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &over, 0);
    const int x = over.left + (over.right - over.left - size.cx) / 2;
    const int y = over.top + (over.bottom - over.top - size.cy) / 2;
    // A question of another command carries no title: the main window's caption then.
    const std::wstring title = q_.title.empty() && owner ? TextOf(owner) : Widen(q_.title);
    window_ = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, name, title.c_str(),
                              WS_POPUP | WS_CAPTION | WS_SYSMENU, x, y, size.cx, size.cy, owner, nullptr, instance,
                              this);
    if (!window_) return false;
    Build();
    return true;
  }

  HWND Add(const wchar_t* cls, const std::wstring& text, DWORD style, int x, int y, int w, int h, int id) {
    HWND c = CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h, window_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return c;
  }

  HWND AddText(const std::wstring& text, int x, int y, int w, int h, int id) {
    return Add(L"STATIC", text, SS_LEFT | SS_NOPREFIX, x, y, w, h, id);
  }

  // The refusal note: it breaks a long scan as an edit field would, and FitNote sizes it to its text.
  void AddNote(int x, int y, int w, int h) {
    note_ = Add(L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, x, y, w, h, IDC_Q_NOTE);
    noteHeight_ = h;
  }

  void Build() {
    RECT client{};
    GetClientRect(window_, &client);
    const int cw = client.right;
    const int ch = client.bottom;
    const int width = cw - 2 * kMargin;
    const std::wstring text = Widen(q_.text);
    const int buttonY = ch - kButtonHeight - 10;
    const int lastX = cw - kMargin - kButtonWidth;
    auto addOk = [&](int x) {
      defaultButton_ = Add(L"BUTTON", Widen(flow_.DefaultCaption()), BS_DEFPUSHBUTTON | WS_TABSTOP, x, buttonY,
                           kButtonWidth, kButtonHeight, IDOK);
      shownCaption_ = flow_.DefaultCaption();
    };
    switch (q_.kind) {
      case Kind::kMessage: {
        HWND icon = Add(L"STATIC", L"", SS_ICON, 20, 18, 32, 32, IDC_Q_ICON);
        SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, StandardIcon(q_.icon))), 0);
        AddText(text, 70, 18, 302, 70, IDC_Q_TEXT);
        Add(L"STATIC", L"", SS_ETCHEDHORZ, 10, buttonY - 10, cw - 20, 2, 0);
        const bool two = q_.buttons != engine::Question::Buttons::kOk;
        addOk(two ? lastX - kButtonWidth - 8 : lastX);
        if (two)
          Add(L"BUTTON", q_.buttons == engine::Question::Buttons::kYesNo ? L"No" : L"Cancel", BS_PUSHBUTTON | WS_TABSTOP,
              lastX, buttonY, kButtonWidth, kButtonHeight, IDC_Q_SECOND);
        focus_ = defaultButton_;
        break;
      }
      case Kind::kCombo: {
        AddText(text, kMargin, 10, width, 36, IDC_Q_TEXT);
        field_ = Add(L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, kMargin, 50, width, 200, IDC_Q_CHOICE);
        for (const engine::Question::Item& item : q_.items)
          SendMessageW(field_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item.text).c_str()));
        const engine::Answer preset = engine::DefaultAnswer(q_, engine::Answer::Source::kDefault);
        SendMessageW(field_, CB_SETCURSEL, static_cast<WPARAM>(preset.index), 0);
        addOk(lastX);
        focus_ = field_;
        break;
      }
      case Kind::kNumber:
        AddText(text, kMargin, 10, width, kLineHeight, IDC_Q_TEXT);
        field_ = Add(L"EDIT", Widen(q_.initial), ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, kMargin, 34, 130, 24,
                     IDC_Q_FIELD);
        SendMessageW(field_, EM_LIMITTEXT, q_.maxChars, 0);
        SendMessageW(field_, EM_SETSEL, 0, -1);
        AddNote(kMargin, 64, width, 2 * kLineHeight);
        addOk(lastX);
        focus_ = field_;
        break;
      case Kind::kCheckList: {
        AddText(text, kMargin, 10, width, 36, IDC_Q_TEXT);
        bool allMarked = true;
        for (const engine::Question::Item& item : q_.items) allMarked = allMarked && item.marked;
        all_ = Add(L"BUTTON", L" Check / Uncheck all items", BS_AUTOCHECKBOX | WS_TABSTOP, kMargin, 48, width,
                   kLineHeight, IDC_Q_ALL);
        SendMessageW(all_, BM_SETCHECK, allMarked ? BST_CHECKED : BST_UNCHECKED, 0);
        field_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                 WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL |
                                     LVS_SHOWSELALWAYS,
                                 kMargin, 72, width, buttonY - 82, window_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_Q_LIST)), GetModuleHandleW(nullptr),
                                 nullptr);
        SendMessageW(field_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        ListView_SetExtendedListViewStyle(field_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH;
        column.cx = width - GetSystemMetrics(SM_CXVSCROLL) - 4;
        ListView_InsertColumn(field_, 0, &column);
        for (size_t i = 0; i < q_.items.size(); ++i) {
          std::wstring itemText = Widen(q_.items[i].text);
          LVITEMW item{};
          item.mask = LVIF_TEXT;
          item.iItem = static_cast<int>(i);
          item.pszText = itemText.data();
          ListView_InsertItem(field_, &item);
          ListView_SetCheckState(field_, static_cast<int>(i), q_.items[i].marked);
        }
        addOk(lastX);
        focus_ = field_;
        break;
      }
      default: {
        AddText(text, kMargin, 10, width, kLineHeight, IDC_Q_TEXT);
        // A one-line field that takes line ends: a pasted or scanned text with its line end
        // confirms itself (EN_CHANGE below) as Enter does.
        field_ = Add(L"EDIT", Widen(q_.initial),
                     ES_MULTILINE | ES_WANTRETURN | ES_AUTOHSCROLL | ES_AUTOVSCROLL | WS_BORDER | WS_TABSTOP,
                     kMargin, 32, width, 24, IDC_Q_FIELD);
        SendMessageW(field_, EM_SETSEL, q_.initial.size(), q_.initial.size());
        int y = 62;
        if (!q_.specialKey.empty()) {
          AddText(Widen("Special Key : \"" + q_.specialKey + "\""), kMargin, y, width, kLineHeight, IDC_Q_SPECIAL);
          y += kLineHeight;
        }
        if (q_.lengthLimit > 0) {
          AddText(Widen("Lenth Limit : " + std::to_string(q_.lengthLimit)), kMargin, y, width, kLineHeight,
                  IDC_Q_LIMIT);
          y += kLineHeight;
        }
        AddNote(kMargin, y, width, kLineHeight);
        focus_ = field_;
        break;
      }
    }
    // The caret at the end of the initial text (EM_SETSEL above is undone by the first focus).
    if (q_.kind == Kind::kInput) PostMessageW(field_, EM_SETSEL, q_.initial.size(), q_.initial.size());
  }

  engine::DialogState State() const {
    engine::DialogState state;
    switch (q_.kind) {
      case Kind::kCombo: state.index = static_cast<int32_t>(SendMessageW(field_, CB_GETCURSEL, 0, 0)); break;
      case Kind::kCheckList:
        for (size_t i = 0; i < q_.items.size(); ++i)
          state.checks.push_back(ListView_GetCheckState(field_, static_cast<int>(i)) != 0);
        break;
      case Kind::kNumber:
      case Kind::kInput: state.field = Narrow(TextOf(field_)); break;
      default: break;
    }
    return state;
  }

  void Press(bool first) {
    if (!flow_.Press(first, State())) Refused();
  }

  // After a reply that does not fit: the reason under the field, and the field cleared (a scan) or
  // selected for typing over.
  void Refused() {
    if (flow_.refusals() == shownRefusals_) return;
    shownRefusals_ = flow_.refusals();
    if (note_) {
      SetWindowTextW(note_, Widen(flow_.why() + ", again").c_str());
      FitNote();
    }
    if (!field_) return;
    if (flow_.clearField()) SetWindowTextW(field_, L"");
    else SendMessageW(field_, EM_SETSEL, 0, -1);
    SetFocus(field_);
  }

  // The note as high as its whole text (never below its first height); the window and the controls
  // under the note move by the difference.
  void FitNote() {
    const RECT note = ChildRect(note_);
    RECT need{0, 0, note.right - note.left, 0};
    const std::wstring text = TextOf(note_);
    HDC dc = GetDC(note_);
    HGDIOBJ before = SelectObject(dc, font_);
    DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    SelectObject(dc, before);
    ReleaseDC(note_, dc);
    const int grow = std::max<int>(need.bottom, noteHeight_) - (note.bottom - note.top);
    if (grow == 0) return;
    for (HWND c = GetWindow(window_, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      const RECT r = ChildRect(c);
      if (c != note_ && r.top >= note.bottom)
        SetWindowPos(c, nullptr, r.left, r.top + grow, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SetWindowPos(note_, nullptr, 0, 0, note.right - note.left, note.bottom - note.top + grow,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT frame{};
    GetWindowRect(window_, &frame);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + grow,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window_, nullptr, TRUE);
  }

  // A child's rectangle in the window's client coordinates.
  RECT ChildRect(HWND child) const {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }

  void ShowCountdown() {
    if (!defaultButton_) return;
    const std::string caption = flow_.DefaultCaption();
    if (caption == shownCaption_) return;
    shownCaption_ = caption;
    SetWindowTextW(defaultButton_, Widen(caption).c_str());
  }

  static LRESULT CALLBACK Procedure(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_NCCREATE)
      SetWindowLongPtrW(w, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
    auto* self = reinterpret_cast<QuestionWindow*>(GetWindowLongPtrW(w, GWLP_USERDATA));
    if (self) {
      if (std::optional<LRESULT> handled = self->Handle(m, wp, lp)) return *handled;
    }
    return DefWindowProcW(w, m, wp, lp);
  }

  std::optional<LRESULT> Handle(UINT m, WPARAM wp, LPARAM lp) {
    switch (m) {
      case WM_COMMAND:
        switch (LOWORD(wp)) {
          case IDOK: Press(true); return 0;
          case IDC_Q_SECOND: Press(false); return 0;
          case IDCANCEL: flow_.Escape(); return 0;
          case IDC_Q_ALL:
            if (HIWORD(wp) == BN_CLICKED) {
              const BOOL on = SendMessageW(all_, BM_GETCHECK, 0, 0) == BST_CHECKED;
              for (size_t i = 0; i < q_.items.size(); ++i) ListView_SetCheckState(field_, static_cast<int>(i), on);
            }
            return 0;
          case IDC_Q_FIELD:
            // Enter in the input field: the text now holds a line end.
            if (HIWORD(wp) == EN_CHANGE && q_.kind == Kind::kInput &&
                TextOf(field_).find_first_of(L"\r\n") != std::wstring::npos)
              Press(true);
            return 0;
          default: return std::nullopt;
        }
      case WM_CTLCOLORSTATIC:
        SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      case WM_CLOSE: flow_.Escape(); return 0;  // closing declines; the loop takes the window down
      default: (void)lp; return std::nullopt;
    }
  }

  const engine::Question& q_;
  engine::DialogFlow flow_;
  HWND window_ = nullptr;
  HWND defaultButton_ = nullptr;
  HWND field_ = nullptr;  // the combo box, the list view or the edit field
  HWND all_ = nullptr;
  HWND note_ = nullptr;
  HWND focus_ = nullptr;
  HFONT font_ = nullptr;
  std::string shownCaption_;
  uint32_t shownRefusals_ = 0;
  int noteHeight_ = 0;  // the note's first height: it never shrinks below it
};

}  // namespace

engine::Answer ShowQuestion(HWND owner, const engine::Question& q, const platform::Host& host) {
  QuestionWindow window(q, host);
  return window.Show(owner);
}

}  // namespace kestrune::app::win32
