#include "winui/subclassed_control.h"

#include <commctrl.h>

#include "base/diag.h"

namespace winui {

SubclassedControl::~SubclassedControl() { Destroy(); }

void SubclassedControl::Destroy() {
  if (hwnd_) KOLBRI_LOG_IF_FALSE(DestroyWindow(hwnd_));
}

bool SubclassedControl::Create(Container& parent, int left, int top, int width, int height) {
  const HWND p = parent.ClientHwnd();
  if (hwnd_ || !p) return false;
  parent_ = &parent;
  parent.AddChild(this);
  const int l = ScaleFor(p, left), t = ScaleFor(p, top);
  return Create(p, RECT{l, t, l + ScaleFor(p, width), t + ScaleFor(p, height)},
                parent.NewControlId());
}

bool SubclassedControl::Create(HWND parent, const RECT& bounds, int control_id) {
  if (hwnd_ || !parent) return false;
  parent_window_ = parent;
  control_id_ = control_id;
  left_ = bounds.left;
  top_ = bounds.top;
  width_ = bounds.right - bounds.left;
  height_ = bounds.bottom - bounds.top;
  if (const DWORD classes = Kind().classes) {
    INITCOMMONCONTROLSEX icc{sizeof icc, classes};
    KOLBRI_LOG_IF_FALSE(InitCommonControlsEx(&icc));
  }
  if (!Make()) return false;
  OnCreated();
  return true;
}

bool SubclassedControl::Make() {
  const WindowKind kind = Kind();
  // Reported inside; a system class is bound there.
  if (!CreateHwnd(kind.ex_style, kind.cls, L"", kind.style, left_, top_, width_, WindowHeight(),
                  parent_window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(control_id_))))
    return false;
  const bool installed = subclass_.Install(
      hwnd_, [this](HWND, UINT msg, WPARAM wp, LPARAM lp, const SubclassNext& next) {
        return Dispatch(msg, wp, lp, next);
      });
  if (KOLBRI_LOG_IF_FALSE(installed)) return true;
  // Without the subclass the window's end would reach nobody in time.
  const HWND h = hwnd_;
  LetGo();
  KOLBRI_LOG_IF_FALSE(DestroyWindow(h));
  return false;
}

bool SubclassedControl::RecreateControl() {
  if (!hwnd_) return false;
  HWND old = hwnd_;
  LetGo();  // the old window's deletions reach nobody
  KOLBRI_LOG_IF_FALSE(DestroyWindow(old));
  return Make();
}

void SubclassedControl::LetGo() {
  subclass_.Remove();
  BindWindow(hwnd_, nullptr);
  hwnd_ = nullptr;
  right_down_ = false;
}

void SubclassedControl::SetBoundsPx(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  ApplyBounds();
}

RECT SubclassedControl::BoundsPx() const {
  return hwnd_ ? Control::BoundsPx() : RECT{left_, top_, left_ + width_, top_ + height_};
}

void SubclassedControl::ApplyBounds() {
  if (hwnd_) KOLBRI_LOG_IF_FALSE(MoveWindow(hwnd_, left_, top_, width_, WindowHeight(), TRUE));
}

namespace {
POINT PointOf(LPARAM lp) {
  return POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
}
}  // namespace

LRESULT SubclassedControl::Dispatch(UINT msg, WPARAM wp, LPARAM lp, const SubclassNext& next) {
  switch (msg) {
    case WM_DESTROY:
      OnWindowDestroying();
      LetGo();
      return next(msg, wp, lp);
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: {
      const LRESULT r = ControlProc(msg, wp, lp, next);
      const auto& event = msg == WM_LBUTTONDOWN ? on_mouse_down : on_mouse_up;
      if (hwnd_ && event) event(VK_LBUTTON, wp, PointOf(lp));
      return r;
    }
    case WM_RBUTTONDOWN:
      SetFocus(hwnd_);
      SetCapture(hwnd_);
      right_down_ = true;
      OnRightButtonDown(wp, PointOf(lp));
      if (on_mouse_down) on_mouse_down(VK_RBUTTON, wp, PointOf(lp));
      return 0;
    case WM_RBUTTONUP:
      if (right_down_) {
        right_down_ = false;
        KOLBRI_LOG_IF_FALSE(ReleaseCapture());
        OnRightButtonUp(wp, PointOf(lp));
        if (on_mouse_up) on_mouse_up(VK_RBUTTON, wp, PointOf(lp));
        OnRightClick(PointOf(lp));
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
