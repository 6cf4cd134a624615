#pragma once
// A bare top-level window that routes its children's notifications the way the
// program's forms do (winui::ReflectToChild), for hosting a TFolderView.
#include <windows.h>

#include "winui/reflect.h"

namespace shtest {

inline LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (winui::ReflectToChild(hwnd, msg, wp, lp, &result)) return result;
  return DefWindowProcW(hwnd, msg, wp, lp);
}

class HostWindow {
 public:
  HostWindow(int width = 420, int height = 560) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"ShellViewTestHost";
    RegisterClassW(&wc);
    hwnd_ =
        CreateWindowExW(0, L"ShellViewTestHost", L"TFolderView", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                        0, 0, width, height, nullptr, nullptr, wc.hInstance, nullptr);
  }
  ~HostWindow() {
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
  }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;
  HWND hwnd() const { return hwnd_; }

 private:
  HWND hwnd_ = nullptr;
};

inline void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace shtest
