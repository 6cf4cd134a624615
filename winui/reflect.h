#pragma once
// Child controls learn about their own notifications (WM_NOTIFY, WM_COMMAND,
// WM_DRAWITEM...) through reflection: the parent window passes each such message
// to the object attached to the child's HWND. Controls that are not built on the
// winui control classes (the shell view controls) attach themselves the same way.
#include <windows.h>

namespace winui {

class ReflectTarget {
 public:
  // Return true when handled; *result is then the parent's answer.
  virtual bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) = 0;

 protected:
  ~ReflectTarget() = default;
};

inline constexpr wchar_t kReflectProp[] = L"winui.reflect";

inline void AttachReflect(HWND child, ReflectTarget* target) {
  if (target) SetPropW(child, kReflectProp, target);
  else RemovePropW(child, kReflectProp);
}

inline ReflectTarget* ReflectTargetOf(HWND child) {
  return child ? static_cast<ReflectTarget*>(GetPropW(child, kReflectProp)) : nullptr;
}

// What a parent's window procedure calls for WM_NOTIFY / WM_COMMAND / WM_DRAWITEM /
// WM_MEASUREITEM / WM_HSCROLL / WM_VSCROLL / WM_CTLCOLOR*: routes to the child's target.
bool ReflectToChild(HWND parent, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

}  // namespace winui
