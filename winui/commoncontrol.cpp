#include "winui/commoncontrol.h"

#include "base/diag.h"
#include "winui/window.h"

namespace winui {

CommonControl::~CommonControl() { Destroy(); }

void CommonControl::Destroy() {
  if (hwnd_) KOLBRI_LOG_IF_FALSE(DestroyWindow(hwnd_) != FALSE);
}

bool CommonControl::CreateControl(HWND parent, const RECT& bounds, const wchar_t* cls, DWORD style,
                                  DWORD ex_style, int control_id) {
  if (hwnd_ || !parent) return false;
  parent_ = parent;
  class_ = cls;
  ex_style_ = ex_style;
  control_id_ = control_id;
  left_ = bounds.left;
  top_ = bounds.top;
  width_ = bounds.right - bounds.left;
  height_ = bounds.bottom - bounds.top;
  return Make(style);
}

bool CommonControl::Make(DWORD style) {
  hwnd_ = CreateWindowExW(ex_style_, class_, L"", style, left_, top_, width_, WindowHeight(),
                          parent_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(control_id_)),
                          GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) {
    ReportWindowFailure(L"CreateWindowExW", class_);
    return false;
  }
  BindWindow(hwnd_, this);
  subclass_.Install(hwnd_, [this](HWND, UINT msg, WPARAM wp, LPARAM lp, const SubclassNext& next) {
    return Dispatch(msg, wp, lp, next);
  });
  return true;
}

bool CommonControl::RecreateControl(DWORD style) {
  if (!hwnd_) return false;
  HWND old = hwnd_;
  LetGo();  // the old window's deletions reach nobody
  KOLBRI_LOG_IF_FALSE(DestroyWindow(old) != FALSE);
  return Make(style);
}

void CommonControl::LetGo() {
  subclass_.Remove();
  BindWindow(hwnd_, nullptr);
  hwnd_ = nullptr;
  right_down_ = false;
}

void CommonControl::SetBounds(const RECT& b) {
  left_ = b.left;
  top_ = b.top;
  width_ = b.right - b.left;
  height_ = b.bottom - b.top;
  ApplyBounds();
}

void CommonControl::ApplyBounds() {
  if (hwnd_) MoveWindow(hwnd_, left_, top_, width_, WindowHeight(), TRUE);
}

namespace {
POINT PointOf(LPARAM lp) {
  return POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
}
}  // namespace

LRESULT CommonControl::Dispatch(UINT msg, WPARAM wp, LPARAM lp, const SubclassNext& next) {
  switch (msg) {
    case WM_DESTROY:
      OnWindowDestroying();
      LetGo();
      return next(msg, wp, lp);
    case WM_RBUTTONDOWN:
      SetFocus(hwnd_);
      SetCapture(hwnd_);
      right_down_ = true;
      OnRightButtonDown(wp, PointOf(lp));
      return 0;
    case WM_RBUTTONUP:
      if (right_down_) {
        right_down_ = false;
        ReleaseCapture();
        OnRightButtonUp(wp, PointOf(lp));
      }
      return 0;
    case WM_CAPTURECHANGED:
      if (right_down_) {
        right_down_ = false;
        OnRightButtonCancelled();
      }
      break;
    default: break;
  }
  return ControlProc(msg, wp, lp, next);
}

}  // namespace winui
