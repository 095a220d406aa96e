// The probe of tests/win32/window_check.sh: looks at another process's main dialog by its caption.
//   window_probe lines CAPTION       prints the output list's items (control 509), one a line
//   window_probe enabled CAPTION ID  prints 1 when control ID (0: the window) is enabled, else 0
//   window_probe visible CAPTION ID  prints 1 when control ID is visible, else 0
//   window_probe click CAPTION ID    posts the command of control ID (a button press)
//   window_probe icon CAPTION ID     prints 1 when control ID (a button or a picture) has an icon, else 0
//   window_probe text CAPTION ID     prints control ID's text (ID 0: the window's caption)
//   window_probe point CAPTION ID    prints the screen position "x y" of control ID's centre
//   window_probe rect CAPTION ID     prints control ID's screen rectangle as "WxH+X+Y"
//   window_probe fits CAPTION ID FACE POINTS
//                                    prints "LINES FITS": how many lines control ID's text takes in
//                                    that font at the control's width, and 1 when the control is that
//                                    high and lies inside its window's client area (else 0)
//   window_probe count CAPTION       prints how many items the output list holds
//   window_probe last CAPTION        prints the output list's last item
//   window_probe item CAPTION N      prints the output list's item N (N < 0: counted from the end)
//   window_probe tail CAPTION N      prints the output list's last N items, one a line
//   window_probe top CAPTION N       scrolls the output list so that item N is its first row shown
//   window_probe ping CAPTION N      sends the window N messages 50 ms apart (SendMessageTimeout, at
//                                    most 5 s each); prints the slowest answer's milliseconds, or "hung"
// CAPTION "class:NAME" names a top-level window by its class instead (the operator dialogs), and
// "box:CAPTION" the message box of that caption that the main dialog (same caption) shows.
// Exit code 2 when no such window (or control) exists, 1 on a usage error.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::wstring Widen(const char* s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
  std::wstring w(static_cast<size_t>(n > 0 ? n - 1 : 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s, -1, w.data(), n);
  return w;
}

std::string Narrow(const std::wstring& w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

}  // namespace

// The dialog titled caption: the main dialog (the one with the output list) before a message box of
// the same caption, or with box the message box.
HWND DialogTitled(const std::wstring& caption, bool box) {
  HWND first = nullptr;
  for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"#32770", caption.c_str())) != nullptr;) {
    if ((GetDlgItem(w, 509) != nullptr) != box) return w;
    if (!first) first = w;
  }
  return box ? nullptr : first;
}

std::string ItemText(HWND list, LRESULT i) {
  const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, i, 0);
  if (length < 0) return std::string();
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(length));
  return Narrow(text);
}

int main(int argc, char** argv) {
  if (argc < 3) return 1;
  const std::string command = argv[1];
  const std::string name = argv[2];
  HWND dialog = name.rfind("class:", 0) == 0 ? FindWindowW(Widen(name.c_str() + 6).c_str(), nullptr)
                : name.rfind("box:", 0) == 0  ? DialogTitled(Widen(name.c_str() + 4), true)
                                              : DialogTitled(Widen(argv[2]), false);
  if (!dialog) return 2;
  HWND list = GetDlgItem(dialog, 509);
  if (command == "lines") {
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) std::printf("%s\n", ItemText(list, i).c_str());
    return 0;
  }
  if (command == "count") {
    std::printf("%ld\n", static_cast<long>(SendMessageW(list, LB_GETCOUNT, 0, 0)));
    return 0;
  }
  if (command == "last") {
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    std::printf("%s\n", count > 0 ? ItemText(list, count - 1).c_str() : "");
    return 0;
  }
  if (argc < 4) return 1;
  const int id = std::atoi(argv[3]);
  HWND control = id == 0 ? dialog : GetDlgItem(dialog, id);
  if (command == "item") {
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    const LRESULT at = id < 0 ? count + id : id;
    if (at < 0 || at >= count) return 2;
    std::printf("%s\n", ItemText(list, at).c_str());
    return 0;
  }
  if (command == "tail") {
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = count > id ? count - id : 0; i < count; ++i) std::printf("%s\n", ItemText(list, i).c_str());
    return 0;
  }
  if (command == "ping") {
    DWORD slowest = 0;
    for (int i = 0; i < id; ++i) {
      const DWORD began = GetTickCount();
      DWORD_PTR ignored = 0;
      if (!SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored)) {
        std::printf("hung\n");
        return 0;
      }
      slowest = std::max(slowest, GetTickCount() - began);
      Sleep(50);
    }
    std::printf("%lu\n", static_cast<unsigned long>(slowest));
    return 0;
  }
  if (command == "top") {
    SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(id), 0);
    return 0;
  }
  if (command == "enabled") {
    std::printf("%d\n", IsWindowEnabled(control) ? 1 : 0);
    return 0;
  }
  if (command == "icon") {
    if (!control) return 2;
    wchar_t cls[64] = {};
    GetClassNameW(control, cls, 64);
    const LRESULT icon = lstrcmpiW(cls, L"Button") == 0 ? SendMessageW(control, BM_GETIMAGE, IMAGE_ICON, 0)
                                                        : SendMessageW(control, STM_GETICON, 0, 0);
    std::printf("%d\n", icon ? 1 : 0);
    return 0;
  }
  if (command == "visible") {
    std::printf("%d\n", control && IsWindowVisible(control) ? 1 : 0);
    return 0;
  }
  if (command == "text") {
    if (!control) return 2;
    // WM_GETTEXT is carried across processes (GetWindowText would not ask an edit field).
    wchar_t text[4096] = {};
    SendMessageW(control, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
    std::printf("%s\n", Narrow(text).c_str());
    return 0;
  }
  if (command == "point") {
    if (!control) return 2;
    RECT r{};
    GetWindowRect(control, &r);
    std::printf("%ld %ld\n", (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    return 0;
  }
  if (command == "rect") {
    if (!control) return 2;
    RECT r{};
    GetWindowRect(control, &r);
    std::printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
    return 0;
  }
  if (command == "fits") {
    if (!control || argc < 6) return 2;
    wchar_t text[1024] = {};
    SendMessageW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    RECT inner{}, outer{}, client{};
    GetClientRect(control, &inner);
    GetWindowRect(control, &outer);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&outer), 2);
    GetClientRect(dialog, &client);
    HDC dc = GetDC(nullptr);
    HFONT font = CreateFontW(-MulDiv(std::atoi(argv[5]), GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, FALSE,
                             FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                             DEFAULT_PITCH, Widen(argv[4]).c_str());
    HGDIOBJ before = SelectObject(dc, font);
    RECT need{0, 0, inner.right, 0};
    DrawTextW(dc, text, -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, before);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    const bool fits = inner.bottom >= need.bottom && outer.bottom <= client.bottom;
    std::printf("%ld %d\n", metrics.tmHeight > 0 ? need.bottom / metrics.tmHeight : 0L, fits ? 1 : 0);
    return 0;
  }
  if (command == "click") {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    return 0;
  }
  return 1;
}
