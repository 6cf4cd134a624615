// The main window's viewing aids: the wheel and keys over the output area,
// next and previous picture, fit, full screen and the window kept in the
// settings file.
#include "app/umain.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>

#include "app/icons.h"
#include "app/picture.h"
#include "base/diag.h"

namespace app {

using winui::MenuItem;

void TWMain::BuildViewMenus() {
  auto h = [this](void (TWMain::*fn)(MenuItem&)) {
    return [this, fn](MenuItem& m) { (this->*fn)(m); };
  };
  MN_View->AddSeparator();
  ME_Fit = MN_View->Add(L"ｳｨﾝﾄﾞｳに合わせる(&W)", h(&TWMain::ME_FitClick));
  ME_FullScreen = MN_View->Add(L"全画面表示(&F)", h(&TWMain::ME_FullScreenClick), 0,
                               winui::Shortcut{0, VK_F11});
  PopupMenu3.AddSeparator();
  PME_Fit = PopupMenu3.Add(L"ｳｨﾝﾄﾞｳに合わせる(&W)", h(&TWMain::ME_FitClick));
  // Full screen has no menu bar: the pop-up is the way back by mouse.
  PME_FullScreen = PopupMenu3.Add(L"全画面表示(&F)", h(&TWMain::ME_FullScreenClick));
}

void TWMain::BuildViewing() {
  key_preview = true;
  Image_Output.smooth = true;
  Image_Output.on_drag = [this] { StartPictureDrag(); };
  ScrollBox_Output.on_ctrl_wheel = [this](int notches, POINT pt) {
    // One step a notch, in the wheel's direction.
    const int step = notches > 0 ? 1 : -1;
    for (int i = 0; i != notches; i += step) StepZoom(step, &pt);
  };
  ScrollBox_Output.on_resize = [this] {
    if ((fit_ || full_screen_) && picture_present_ && !in_view_layout_) LayoutPicture();
  };
}

void TWMain::RestoreViewing() {
  const WindowState w = ReadWindowState(ini_path_);
  SetZoom(w.zoom);
  SetFit(w.fit, false);
  if (!w.present) return;
  const RECT r = OntoAMonitor(w.rect);
  KOLBRI_LOG_IF_FALSE(SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left,
                                   r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE));
  // Maximised once shown, so restoring it later gives the saved place.
  if (w.maximized) KOLBRI_LOG_IF_FALSE(PostMessageW(hwnd_, kMaximizeMessage, 0, 0));
}

WindowState TWMain::CurrentWindowState() const {
  WindowState s;
  s.present = true;
  s.zoom = zoom_;
  s.fit = fit_;
  WINDOWPLACEMENT wp{sizeof wp};
  if (full_screen_) {
    wp = windowed_.placement;
  } else {
    KOLBRI_LOG_IF_FALSE(GetWindowPlacement(hwnd_, &wp));
  }
  s.maximized = wp.showCmd == SW_SHOWMAXIMIZED ||
                (wp.showCmd == SW_SHOWMINIMIZED && (wp.flags & WPF_RESTORETOMAXIMIZED));
  // The placement is in work-area coordinates of the window's monitor.
  s.rect = wp.rcNormalPosition;
  MONITORINFO mi{sizeof mi};
  if (GetMonitorInfoW(MonitorFromRect(&s.rect, MONITOR_DEFAULTTONEAREST), &mi))
    (void)OffsetRect(&s.rect, mi.rcWork.left - mi.rcMonitor.left,
                     mi.rcWork.top - mi.rcMonitor.top);  // arithmetic on our own rectangle
  return s;
}

// ---- zoom steps and fit ---------------------------------------------------------

MenuItem* TWMain::ZoomItem(int zoom) const {
  MenuItem* items[] = {ME_View1, ME_View2, ME_View3, ME_View4};
  return items[std::clamp(zoom, 1, 4) - 1];
}

void TWMain::StepZoom(int step, const POINT* anchor) {
  // Fit shows at most 100 %: a step up leaves it at 100 %, none goes below it.
  const int target = fit_ ? (step > 0 ? 1 : 0) : std::clamp(zoom_ + step, 1, 4);
  if (target == 0 || (!fit_ && target == zoom_)) return;
  const HWND box = ScrollBox_Output.hwnd();
  POINT screen;
  if (anchor) {
    screen = *anchor;
  } else {
    const SIZE v = ScrollBox_Output.ViewSizePx();
    screen = {v.cx / 2, v.cy / 2};
    KOLBRI_LOG_IF_FALSE(ClientToScreen(box, &screen));
  }
  // The picture point under the anchor, in picture pixels.
  double px = 0, py = 0;
  if (picture_present_) {
    const SIZE s = BitmapSize(CurrentBitmap());
    POINT ip = screen;
    ScreenToClient(Image_Output.hwnd(), &ip);
    px = std::clamp((ip.x + 0.5) * s.cx / std::max(1, Image_Output.WidthPx()), 0.0, s.cx - 0.5);
    py = std::clamp((ip.y + 0.5) * s.cy / std::max(1, Image_Output.HeightPx()), 0.0, s.cy - 0.5);
  }
  ZoomItem(target)->Click();
  if (!picture_present_ || fit_ || zoom_ != target) return;
  // Window fitting may have moved the output area: the anchor is read again.
  POINT vp = screen;
  KOLBRI_LOG_IF_FALSE(ScreenToClient(box, &vp));
  const RECT img = Image_Output.BoundsPx();
  const POINT pos = ScrollBox_Output.ScrollPos();
  const int left = img.left + pos.x, top = img.top + pos.y;  // unscrolled place
  ScrollBox_Output.ScrollToClamped(static_cast<int>(std::floor(px * zoom_)) + left - vp.x,
                                   static_cast<int>(std::floor(py * zoom_)) + top - vp.y);
}

void TWMain::SetFit(bool on, bool relayout) {
  fit_ = on;
  ME_Fit->SetChecked(on);
  PME_Fit->SetChecked(on);
  // No zoom item is checked while fit is on.
  for (MenuItem* m :
       {ME_View1, ME_View2, ME_View3, ME_View4, PME_View21, PME_View22, PME_View23, PME_View24})
    m->SetChecked(!on && m->tag == zoom_);
  if (relayout && picture_present_) LayoutPicture();
}

void TWMain::ME_FitClick(MenuItem&) { SetFit(!fit_); }

bool TWMain::LayoutViewing() {
  if (!fit_ && !full_screen_) return false;
  in_view_layout_ = true;
  const SIZE s = BitmapSize(CurrentBitmap());
  const SIZE view = ScrollBox_Output.ViewSizePx();
  SIZE shown{s.cx * zoom_, s.cy * zoom_};
  POINT keep{0, 0};
  if (fit_) {
    // Larger pictures shrink to the view; smaller ones stay at 100 %.
    shown = s;
    if (s.cx > view.cx || s.cy > view.cy) {
      const double k = std::min(double(view.cx) / s.cx, double(view.cy) / s.cy);
      shown = {std::max(1L, std::lround(s.cx * k)), std::max(1L, std::lround(s.cy * k))};
      shown.cx = std::min(shown.cx, view.cx);
      shown.cy = std::min(shown.cy, view.cy);
    }
    shown_zoom_ = 0;
  } else {
    const POINT pos = ScrollBox_Output.ScrollPos();
    const int from = shown_zoom_ ? shown_zoom_ : zoom_;
    keep = {pos.x * zoom_ / from, pos.y * zoom_ / from};
    shown_zoom_ = zoom_;
  }
  // Full screen centres what is smaller than the screen; a window keeps the
  // picture at its top-left corner.
  const int left = full_screen_ ? std::max(0L, (view.cx - shown.cx) / 2) : 0;
  const int top = full_screen_ ? std::max(0L, (view.cy - shown.cy) / 2) : 0;
  const POINT now = ScrollBox_Output.ScrollPos();
  Image_Output.MoveDeferredPx(left - now.x, top - now.y, shown.cx, shown.cy);
  if (!IsWindowVisible(Image_Output.hwnd())) Image_Output.SetVisible(true);
  ScrollBox_Output.UpdateScrollRange(keep);
  in_view_layout_ = false;
  return true;
}

void TWMain::OnDpiChanged(int, int) {
  // The picture keeps its device pixels: z x z for each of its own.
  if (picture_present_) LayoutPicture();
}

// ---- full screen ----------------------------------------------------------------

void TWMain::ME_FullScreenClick(MenuItem&) {
  if (full_screen_)
    LeaveFullScreen();
  else
    EnterFullScreen();
}

void TWMain::EnterFullScreen() {
  if (full_screen_ || !hwnd_) return;
  KOLBRI_LOG_IF_FALSE(GetWindowPlacement(hwnd_, &windowed_.placement));
  windowed_.style = GetWindowLongW(hwnd_, GWL_STYLE);
  windowed_.box_ex_style = GetWindowLongW(ScrollBox_Output.hwnd(), GWL_EXSTYLE);
  MONITORINFO mi{sizeof mi};
  KOLBRI_LOG_IF_FALSE(GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &mi));
  if (IsZoomed(hwnd_))
    (void)ShowWindow(hwnd_, SW_RESTORE);  // the previous visibility, not a failure
  full_screen_ = true;
  ME_FullScreen->SetChecked(true);
  PME_FullScreen->SetChecked(true);
  TreeView1.SetVisible(false);
  Splitter1.SetVisible(false);
  StatusBar1.SetVisible(false);
  KOLBRI_LOG_IF_FALSE(::SetMenu(hwnd_, nullptr));  // the accelerators stay: F11 still ends it
  ScrollBox_Output.background = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  SetWindowLongW(ScrollBox_Output.hwnd(), GWL_EXSTYLE, windowed_.box_ex_style & ~WS_EX_CLIENTEDGE);
  SetWindowLongW(hwnd_, GWL_STYLE,
                 (windowed_.style & ~(WS_OVERLAPPEDWINDOW | WS_MAXIMIZE)) | WS_POPUP);
  SetWindowPos(ScrollBox_Output.hwnd(), nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  const RECT& m = mi.rcMonitor;
  KOLBRI_LOG_IF_FALSE(SetWindowPos(hwnd_, HWND_TOP, m.left, m.top, m.right - m.left,
                                   m.bottom - m.top, SWP_FRAMECHANGED | SWP_SHOWWINDOW));
  Realign();
  if (picture_present_) LayoutPicture();
  InvalidateRect(ScrollBox_Output.hwnd(), nullptr, TRUE);
  SetFocus(ScrollBox_Output.hwnd());
}

void TWMain::LeaveFullScreen() {
  if (!full_screen_) return;
  full_screen_ = false;
  ME_FullScreen->SetChecked(false);
  PME_FullScreen->SetChecked(false);
  SetWindowLongW(hwnd_, GWL_STYLE, windowed_.style & ~WS_MAXIMIZE);
  ::SetMenu(hwnd_, MainMenu1.handle());
  ScrollBox_Output.background = nullptr;
  SetWindowLongW(ScrollBox_Output.hwnd(), GWL_EXSTYLE, windowed_.box_ex_style);
  SetWindowPos(ScrollBox_Output.hwnd(), nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  TreeView1.SetVisible(true);
  Splitter1.SetVisible(true);
  StatusBar1.SetVisible(true);
  KOLBRI_LOG_IF_FALSE(SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED));
  KOLBRI_LOG_IF_FALSE(SetWindowPlacement(hwnd_, &windowed_.placement));
  Realign();
  if (picture_present_) LayoutPicture();
  KOLBRI_LOG_IF_FALSE(InvalidateRect(hwnd_, nullptr, TRUE));
}

// ---- keys and the wheel -----------------------------------------------------------

bool TWMain::OnKeyPreview(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || !module_.Bound()) return false;
  // Shortcuts with Ctrl or Alt stay the menus'.
  if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
  switch (msg.wParam) {
    case VK_ADD:
    case VK_OEM_PLUS: StepZoom(1, nullptr); return true;
    case VK_SUBTRACT:
    case VK_OEM_MINUS: StepZoom(-1, nullptr); return true;
    case VK_SPACE: ShowNeighbour(true); return true;
    case VK_BACK: ShowNeighbour(false); return true;
    case VK_ESCAPE:
      if (!full_screen_) return false;
      LeaveFullScreen();
      return true;
    default: return false;
  }
}

bool TWMain::OnWheelPreview(const MSG& msg) {
  // The wheel scrolls the output area whenever the pointer is over it, as
  // the tree does over the tree.
  const HWND box = ScrollBox_Output.hwnd();
  if (!box || msg.hwnd == box || IsChild(box, msg.hwnd) || !IsWindowVisible(box)) return false;
  RECT r;
  KOLBRI_LOG_IF_FALSE(GetWindowRect(box, &r));
  const POINT pt{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
  if (!PtInRect(&r, pt)) return false;
  SendMessageW(box, msg.message, msg.wParam, msg.lParam);
  return true;
}

// ---- next and previous picture ----------------------------------------------------

bool TWMain::IsCategoryItem(HTREEITEM item) const {
  const cgmodule::IndexNode* node = NodeOf(item);
  return node && node->category;
}

namespace {

// Depth first, the order the tree shows when every category is open.
HTREEITEM NextInOrder(HWND tv, HTREEITEM h) {
  if (HTREEITEM child = TreeView_GetChild(tv, h)) return child;
  for (; h; h = TreeView_GetParent(tv, h))
    if (HTREEITEM sib = TreeView_GetNextSibling(tv, h)) return sib;
  return nullptr;
}

HTREEITEM PreviousInOrder(HWND tv, HTREEITEM h) {
  HTREEITEM prev = TreeView_GetPrevSibling(tv, h);
  if (!prev) return TreeView_GetParent(tv, h);
  // The last item inside the previous sibling.
  for (HTREEITEM c = TreeView_GetChild(tv, prev); c; c = TreeView_GetChild(tv, prev)) {
    prev = c;
    while (HTREEITEM n = TreeView_GetNextSibling(tv, prev)) prev = n;
  }
  return prev;
}

}  // namespace

bool TWMain::ShowNeighbour(bool forward) {
  const HWND tv = TreeView1.hwnd();
  HTREEITEM from = TreeView1.Selected();
  if (!from) from = current_item_;
  HTREEITEM h;
  if (!from) {
    h = forward ? TreeView1.Root() : nullptr;  // nothing shown yet: the first picture
  } else {
    h = forward ? NextInOrder(tv, from) : PreviousInOrder(tv, from);
  }
  while (h && IsCategoryItem(h)) h = forward ? NextInOrder(tv, h) : PreviousInOrder(tv, h);
  if (!h) return false;
  // Selecting opens the categories on the way (the item is made visible).
  TreeView1.Select(h);
  TreeView_EnsureVisible(tv, h);
  return true;
}

}  // namespace app
