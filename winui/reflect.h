#pragma once
// Child controls learn about their own notifications (WM_NOTIFY, WM_COMMAND,
// WM_DRAWITEM...) through reflection: the parent window passes each such message
// to the object bound to the child's HWND (binding.h): every winui::Control,
// the shell views included.
#include <windows.h>

#include "winui/binding.h"

namespace winui {

// What a parent's window procedure calls for WM_NOTIFY / WM_COMMAND / WM_DRAWITEM /
// WM_MEASUREITEM / WM_HSCROLL / WM_VSCROLL / WM_CTLCOLOR*: routes to the child's object.
bool ReflectToChild(HWND parent, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

}  // namespace winui
