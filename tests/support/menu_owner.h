#pragma once
// The owner window of a shown menu or message box. A menu tells its owner when
// it waits for input (WM_ENTERIDLE); the test's script then reads what is shown
// and answers with keys, the way a user would. Message boxes of this thread are
// seen by a hook as they are activated (filled, before their loop runs), read,
// and closed with OK.
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
    current_ = this;
    hook_ = SetWindowsHookExW(WH_CBT, &MenuOwner::Activated, nullptr, GetCurrentThreadId());
    if (!hook_) ADD_FAILURE() << "no hook";
  }
  ~MenuOwner() override {
    if (hook_) UnhookWindowsHookEx(hook_);
    current_ = nullptr;
  }
  MenuOwner(const MenuOwner&) = delete;
  MenuOwner& operator=(const MenuOwner&) = delete;

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
    return Default(msg, wp, lp);
  }

  static LRESULT CALLBACK Activated(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE && current_) {
      const HWND h = reinterpret_cast<HWND>(wp);
      wchar_t cls[16] = {};
      GetClassNameW(h, cls, 16);
      if (lstrcmpW(cls, L"#32770") == 0) current_->SeeBox(h);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
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
  HHOOK hook_ = nullptr;
  static inline MenuOwner* current_ = nullptr;
};

}  // namespace comtest
