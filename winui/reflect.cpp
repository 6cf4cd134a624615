#include "winui/reflect.h"

namespace winui {

bool ReflectToChild(HWND parent, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  HWND child = nullptr;
  switch (msg) {
    case WM_NOTIFY: child = reinterpret_cast<NMHDR*>(lp)->hwndFrom; break;
    case WM_COMMAND: child = reinterpret_cast<HWND>(lp); break;
    case WM_DRAWITEM: child = reinterpret_cast<DRAWITEMSTRUCT*>(lp)->hwndItem; break;
    case WM_MEASUREITEM: child = GetDlgItem(parent, static_cast<int>(wp)); break;
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: child = reinterpret_cast<HWND>(lp); break;
    default: return false;
  }
  WindowObject* t = BoundObject(child);
  return t && t->OnReflect(msg, wp, lp, result);
}

}  // namespace winui
