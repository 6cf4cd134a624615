#pragma once
// The private window messages of the form layer. A message that only one
// window uses lives with that window and is numbered from kFirstWindowPrivate,
// so it never meets one of these.
#include <windows.h>

namespace winui::msg {

// Worker thread -> UI thread: run a callable on the UI thread (wParam unused,
// lParam = pointer to the callable); sent, so the worker waits for it.
constexpr UINT kInvoke = WM_APP + 1;
// The same, posted: the worker does not wait (lParam = the callable, owned by
// the message).
constexpr UINT kPost = WM_APP + 2;
// Modal loop control: a form leaves its modal loop when it receives this.
constexpr UINT kEndModal = WM_APP + 3;

// Posted by a form to itself when it is first shown (runs Form::OnShowFirst).
constexpr UINT kFormShown = WM_APP + 4;

// First id a single window may use for its own messages.
constexpr UINT kFirstWindowPrivate = WM_APP + 0x100;

}  // namespace winui::msg
