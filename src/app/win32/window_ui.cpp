// The window form's operator seam: posts the status text and progress to the main window, and asks
// for files with the common file dialogs.
#include <windows.h>
#include <commdlg.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/win32/window_messages.h"
#include "app/window_form.h"
#include "platform/win32/wide.h"

namespace kestrune::app {
namespace {

using platform::Narrow;
using platform::Widen;

class WindowUi final : public engine::Ui {
 public:
  std::optional<std::string> ChooseFile(uint32_t, const engine::FileChoice& choice) override {
    if (choice.cancel && choice.cancel->load()) return std::nullopt;
    // The filter: "<title> (*.ext)\0*.ext\0" (any file without an extension), double-terminated.
    const std::wstring pattern = choice.extension.empty() ? L"*.*" : L"*." + Widen(choice.extension);
    std::wstring filter = Widen(choice.title) + L" (" + pattern + L")";
    filter.push_back(L'\0');
    filter += pattern;
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    std::vector<wchar_t> path(MAX_PATH * 4, L'\0');
    const std::wstring preset = Widen(choice.presetName);
    preset.copy(path.data(), std::min(preset.size(), path.size() - 1));
    const std::wstring title = Widen(choice.title);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = win32::gMainWindow.load();
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = static_cast<DWORD>(path.size());
    ofn.lpstrTitle = title.c_str();
    ofn.Flags = OFN_NOCHANGEDIR | OFN_EXPLORER |
                (choice.mode == engine::FileChoice::Mode::kOpen ? OFN_FILEMUSTEXIST : OFN_OVERWRITEPROMPT);
    const BOOL chosen = choice.mode == engine::FileChoice::Mode::kOpen ? GetOpenFileNameW(&ofn) : GetSaveFileNameW(&ofn);
    if (!chosen || (choice.cancel && choice.cancel->load())) return std::nullopt;
    return Narrow(path.data());
  }

  void ShowStatus(uint32_t, std::string_view text) override {
    HWND window = win32::gMainWindow.load();
    if (!window) return;
    auto* copy = new std::wstring(Widen(text));
    if (!PostMessageW(window, win32::kStatusText, 0, reinterpret_cast<LPARAM>(copy))) delete copy;
  }

  void ShowProgress(uint32_t, int64_t position, int64_t extra) override {
    if (HWND window = win32::gMainWindow.load())
      PostMessageW(window, win32::kProgress, static_cast<WPARAM>(position), static_cast<LPARAM>(extra));
  }

  // The window form has no console of its own to move.
  bool RedirectConsole(const std::string&, bool) override { return false; }
};

}  // namespace

std::shared_ptr<engine::Ui> MakeWindowUi() { return std::make_shared<WindowUi>(); }

}  // namespace kestrune::app
