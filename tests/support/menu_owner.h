#pragma once
// The owner window of a shown menu or message box. A menu tells its owner when
// it waits for input (WM_ENTERIDLE); the test's script then reads what is shown
// and answers with keys, the way a user would. Message boxes of this thread are
// found by a timer that their modal loop dispatches, read, and closed with OK.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "winui/window.h"

namespace comtest {

struct BoxSeen {
  std::wstring caption, text;
  bool ok = false, cancel = false;
  HICON icon = nullptr;
};

class MenuOwner : public winui::Window {
 public:
  MenuOwner() {
    winui::RegisterWindowClass(L"ShellComTestOwner");
    if (!CreateHwnd(0, L"ShellComTestOwner", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300,
                    200, nullptr, nullptr))
      ADD_FAILURE() << "no owner window";
    SetTimer(hwnd_, 1, 50, nullptr);
  }

  // Runs once when the shown menu first waits; its first popup is given.
  std::function<void(HMENU top)> on_menu;
  std::vector<HMENU> popups;   // every popup opened, in order
  std::vector<BoxSeen> boxes;  // message boxes seen (each closed with OK)

  // Queues keys for the menu loop, which reads the thread's keyboard input.
  void Keys(std::initializer_list<WPARAM> keys) {
    for (WPARAM k : keys) PostMessageW(hwnd_, WM_KEYDOWN, k, 0);
  }
  void Char(wchar_t c) { PostMessageW(hwnd_, WM_CHAR, c, 0); }

 private:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
    if (msg == WM_INITMENUPOPUP) popups.push_back(reinterpret_cast<HMENU>(wp));
    if (msg == WM_ENTERIDLE && wp == MSGF_MENU && on_menu && !popups.empty()) {
      auto script = std::move(on_menu);
      on_menu = nullptr;
      script(popups.front());
    }
    if (msg == WM_TIMER)
      EnumThreadWindows(GetCurrentThreadId(), &MenuOwner::Box, reinterpret_cast<LPARAM>(this));
    return Default(msg, wp, lp);
  }

  static BOOL CALLBACK Box(HWND h, LPARAM self) {
    wchar_t cls[16] = {};
    GetClassNameW(h, cls, 16);
    if (lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(h))
      reinterpret_cast<MenuOwner*>(self)->SeeBox(h);
    return TRUE;
  }

  void SeeBox(HWND box) {
    if (!box || seen_ == box) return;
    seen_ = box;
    BoxSeen b;
    wchar_t buf[256] = {};
    GetWindowTextW(box, buf, 256);
    b.caption = buf;
    GetDlgItemTextW(box, 0xFFFF, buf, 256);
    b.text = buf;
    b.ok = GetDlgItem(box, IDOK) != nullptr;
    b.cancel = GetDlgItem(box, IDCANCEL) != nullptr;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      if (HICON icon = reinterpret_cast<HICON>(SendMessageW(c, STM_GETICON, 0, 0))) b.icon = icon;
    }
    boxes.push_back(b);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  }

  HWND seen_ = nullptr;
};

}  // namespace comtest
