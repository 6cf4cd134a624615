#pragma once
// Every private window message of the program, in one place, so no two parts
// pick the same number.
#include <windows.h>

namespace winui::msg {

// Worker thread -> UI thread: run a callable on the UI thread (wParam unused,
// lParam = pointer to the callable); sent, so the worker waits for it.
constexpr UINT kInvoke = WM_APP + 1;
// Common module -> main window: re-run the index tree's selection handling.
constexpr UINT kRedisplay = WM_APP + 2;
// Modal loop control: a form leaves its modal loop when it receives this.
constexpr UINT kEndModal = WM_APP + 3;

// Posted by a form to itself when it is first shown (runs Form::OnShowFirst).
constexpr UINT kFormShown = WM_APP + 4;

}  // namespace winui::msg
