#include "winui/controls.h"

#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "base/diag.h"
#include "winui/menu.h"

namespace winui {

base::UniqueFont CreateUiFont(int design_height, bool bold, int dpi) {
  LOGFONTW lf{};
  lf.lfHeight = -MulDiv(design_height, dpi ? dpi : ScreenDpi(), kDesignDpi);
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfCharSet = SHIFTJIS_CHARSET;
  wcscpy(lf.lfFaceName, L"ＭＳ Ｐゴシック");
  return base::UniqueFont(CreateFontIndirectW(&lf));
}

// ---- TreeView -------------------------------------------------------------

void TreeView::Create(Container& parent, int l, int t, int w, int h) {
  CreateChild(
      parent, WC_TREEVIEWW,
      WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
      WS_EX_CLIENTEDGE, l, t, w, h);
  // Every reader of the children (this class, the batch walk, raw macros)
  // asks through TVM_GETNEXTITEM, so filling there keeps them all whole.
  const bool installed = subclass_.Install(
      hwnd_, [this](HWND, UINT msg, WPARAM wp, LPARAM lp, const SubclassNext& next) {
        const auto item = reinterpret_cast<HTREEITEM>(lp);
        if (msg == TVM_GETNEXTITEM && wp == TVGN_CHILD && item && item != TVI_ROOT &&
            !unfilled_.empty())
          Fill(item);
        return next(msg, wp, lp);
      });
  KOLBRI_LOG_IF_FALSE(installed);
}

HTREEITEM TreeView::Add(HTREEITEM parent, std::wstring_view text, LPARAM data, int image,
                        int selected_image) {
  const std::wstring t(text);
  return Add(parent, t.c_str(), data, image, selected_image);
}

HTREEITEM TreeView::Add(HTREEITEM parent, const wchar_t* text, LPARAM data, int image,
                        int selected_image, bool children_later) {
  TVINSERTSTRUCTW is{};
  is.hParent = parent ? parent : TVI_ROOT;
  is.hInsertAfter = TVI_LAST;
  is.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
  is.item.pszText = const_cast<wchar_t*>(text);  // read only by TVM_INSERTITEM
  is.item.lParam = data;
  is.item.iImage = image;
  is.item.iSelectedImage = selected_image;
  if (children_later) {
    is.item.mask |= TVIF_CHILDREN;
    is.item.cChildren = 1;
  }
  const auto item = reinterpret_cast<HTREEITEM>(
      SendMessageW(hwnd_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&is)));
  if (item && children_later) unfilled_.insert(item);
  return item;
}

void TreeView::Clear() {
  unfilled_.clear();
  SendMessageW(hwnd_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
}

void TreeView::Fill(HTREEITEM item) {
  // Taken out first: the callback adds items and may ask again.
  if (unfilled_.erase(item) && on_fill_children) on_fill_children(item);
}

void TreeView::BeginUpdate() {
  if (update_depth_++ == 0) SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
}

void TreeView::EndUpdate() {
  if (update_depth_ > 0 && --update_depth_ == 0) {
    SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
    KOLBRI_LOG_IF_FALSE(InvalidateRect(hwnd_, nullptr, TRUE));
  }
}

HTREEITEM TreeView::Selected() const { return TreeView_GetSelection(hwnd_); }
void TreeView::Select(HTREEITEM item) { TreeView_SelectItem(hwnd_, item); }
HTREEITEM TreeView::Root() const { return TreeView_GetRoot(hwnd_); }
HTREEITEM TreeView::FirstChild(HTREEITEM item) const { return TreeView_GetChild(hwnd_, item); }
HTREEITEM TreeView::NextSibling(HTREEITEM item) const {
  return TreeView_GetNextSibling(hwnd_, item);
}
int TreeView::Count() const { return static_cast<int>(TreeView_GetCount(hwnd_)); }

LPARAM TreeView::Data(HTREEITEM item) const {
  TVITEMW it{};
  it.mask = TVIF_PARAM | TVIF_HANDLE;
  it.hItem = item;
  return SendMessageW(hwnd_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it)) ? it.lParam : 0;
}

bool ReadTreeItem(HWND tree, HTREEITEM item, std::wstring* text, LPARAM* data) {
  wchar_t buf[1024] = {};
  TVITEMW it{};
  it.mask = TVIF_TEXT | TVIF_HANDLE | (data ? TVIF_PARAM : 0);
  it.hItem = item;
  it.pszText = buf;
  it.cchTextMax = static_cast<int>(std::size(buf));
  if (!item || !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it))) return false;
  // The tree may answer with a text of its own instead of filling the buffer.
  if (text) *text = it.pszText ? it.pszText : L"";
  if (data) *data = it.lParam;
  return true;
}

std::wstring TreeItemText(HWND tree, HTREEITEM item) {
  std::wstring text;
  (void)ReadTreeItem(tree, item, &text);  // no such item: stays empty
  return text;
}

std::wstring TreeView::ItemText(HTREEITEM item) const { return TreeItemText(hwnd_, item); }

std::pair<int, int> TreeView::Images(HTREEITEM item) const {
  TVITEMW it{};
  it.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
  it.hItem = item;
  SendMessageW(hwnd_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it));
  return {it.iImage, it.iSelectedImage};
}

void TreeView::SetImageList(HIMAGELIST images) {
  TreeView_SetImageList(hwnd_, images, TVSIL_NORMAL);
}
void TreeView::SetIndent(int design_px) { TreeView_SetIndent(hwnd_, ScaleFor(hwnd_, design_px)); }

bool TreeView::OnReflect(UINT msg, WPARAM, LPARAM lp, LRESULT* result) {
  if (msg != WM_NOTIFY) return false;
  auto* nm = reinterpret_cast<NMHDR*>(lp);
  switch (nm->code) {
    case TVN_SELCHANGEDW:
      if (on_change) on_change();
      *result = 0;
      return true;
    case TVN_ITEMEXPANDINGW: {
      const auto* tv = reinterpret_cast<const NMTREEVIEWW*>(lp);
      if (tv->action & TVE_EXPAND) Fill(tv->itemNew.hItem);
      *result = 0;  // let it open
      return true;
    }
    case NM_RCLICK: {
      POINT pt;
      KOLBRI_LOG_IF_FALSE(GetCursorPos(&pt));
      if (right_click_selects) {
        TVHITTESTINFO hit{};
        hit.pt = pt;
        KOLBRI_LOG_IF_FALSE(ScreenToClient(hwnd_, &hit.pt));
        HTREEITEM item = TreeView_HitTest(hwnd_, &hit);
        if (item && (hit.flags & TVHT_ONITEM)) Select(item);
      }
      ShowPopupAt(pt);
      *result = 1;  // handled: no WM_CONTEXTMENU follows
      return true;
    }
    default: return false;
  }
}

// ---- StatusBar ------------------------------------------------------------

void StatusBar::Create(Container& parent, int height) {
  CreateChild(parent, STATUSCLASSNAMEW,
              WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER | SBT_TOOLTIPS, 0, 0, 0,
              100, height);
  SetAlign(Align::Bottom);
}

void StatusBar::SetPanels(const std::vector<int>& widths) {
  widths_ = widths;
  std::vector<int> right;
  int x = 0;
  for (size_t i = 0; i < widths.size(); ++i) {
    x += ScaleFor(hwnd_, widths[i]);
    right.push_back(i + 1 == widths.size() ? -1 : x);
  }
  SendMessageW(hwnd_, SB_SETPARTS, right.size(), reinterpret_cast<LPARAM>(right.data()));
}

void StatusBar::SetPanelText(int panel, std::wstring_view text) {
  std::wstring t(text);
  SendMessageW(hwnd_, SB_SETTEXTW, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(t.c_str()));
  // The bar shows a part's tip only while its text is cut.
  SendMessageW(hwnd_, SB_SETTIPTEXTW, static_cast<WPARAM>(panel),
               reinterpret_cast<LPARAM>(t.c_str()));
}

std::wstring StatusBar::PanelText(int panel) const {
  LRESULT n = SendMessageW(hwnd_, SB_GETTEXTLENGTHW, static_cast<WPARAM>(panel), 0);
  std::wstring s(static_cast<size_t>(LOWORD(n)) + 1, L'\0');
  SendMessageW(hwnd_, SB_GETTEXTW, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(s.data()));
  s.resize(LOWORD(n));
  return s;
}

LRESULT StatusBar::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  return Control::HandleMessage(msg, wp, lp);
}

// ---- ScrollBox ------------------------------------------------------------

void ScrollBox::Create(Container& parent, int l, int t, int w, int h) {
  RegisterWindowClass(L"winui.ScrollBox", CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  CreateChild(parent, L"winui.ScrollBox", WS_VISIBLE | WS_CLIPCHILDREN | WS_HSCROLL | WS_VSCROLL,
              WS_EX_CLIENTEDGE, l, t, w, h);
  UpdateScrollRange();
}

void ScrollBox::MoveChildren(int x, int y) {
  const int dx = pos_x_ - x, dy = pos_y_ - y;
  pos_x_ = x;
  pos_y_ = y;
  if (!dx && !dy) return;
  // The children are moved one by one: ScrollWindowEx leaves them where they
  // are while the window is not drawable (hidden or minimised).
  for (Control* c : children_) {
    const RECT r = c->BoundsPx();
    SetWindowPos(c->hwnd(), nullptr, r.left + dx, r.top + dy, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
  }
}

void ScrollBox::ScrollTo(int x, int y) {
  const int dx = pos_x_ - x, dy = pos_y_ - y;
  if (!dx && !dy) return;
  MoveChildren(x, y);
  // Only the bar that moved is set: drawing a bar costs as much as painting
  // the picture under it.
  if (dx) SetScrollPos(hwnd_, SB_HORZ, pos_x_, TRUE);
  if (dy) SetScrollPos(hwnd_, SB_VERT, pos_y_, TRUE);
}

void ScrollBox::UpdateScrollRange() { UpdateScrollRange(POINT{pos_x_, pos_y_}); }

void ScrollBox::UpdateScrollRange(POINT view) {
  if (in_update_ || !hwnd_) return;
  in_update_ = true;
  // Extents in unscrolled coordinates: the children sit scrolled by the position.
  int cw = 0, ch = 0;
  for (Control* c : children_) {
    if (!(GetWindowLongW(c->hwnd(), GWL_STYLE) & WS_VISIBLE)) continue;
    RECT r = c->BoundsPx();
    cw = std::max<int>(cw, r.right + pos_x_);
    ch = std::max<int>(ch, r.bottom + pos_y_);
  }
  // The client area without scroll bars, then which bars the content needs
  // (one bar appearing can make the other necessary).
  const SIZE view_size = ViewSizePx();
  const LONG style = GetWindowLongW(hwnd_, GWL_STYLE);
  int w = view_size.cx, h = view_size.cy;
  bool need_h = cw > w, need_v = ch > h;
  if (need_h) h -= SystemMetricFor(hwnd_, SM_CYHSCROLL);
  if (!need_v && ch > h) need_v = true;
  if (need_v) w -= SystemMetricFor(hwnd_, SM_CXVSCROLL);
  if (!need_h && cw > w) {
    need_h = true;
    h -= SystemMetricFor(hwnd_, SM_CYHSCROLL);
  }
  // The bars that appear or go change the frame once for both (SetScrollInfo
  // would change it once a bar, and paint it each time), and every bar is set
  // without drawing: one frame redraw at the end draws them once.
  const LONG bars = (need_h ? WS_HSCROLL : 0) | (need_v ? WS_VSCROLL : 0);
  const bool frame_changes = (style & (WS_HSCROLL | WS_VSCROLL)) != bars;
  if (frame_changes) SetWindowLongW(hwnd_, GWL_STYLE, (style & ~(WS_HSCROLL | WS_VSCROLL)) | bars);
  const int x = need_h ? std::clamp<int>(view.x, 0, std::max(0, cw - std::max(w, 1))) : 0;
  const int y = need_v ? std::clamp<int>(view.y, 0, std::max(0, ch - std::max(h, 1))) : 0;
  // A bar whose range, page and position stay is neither set nor drawn again.
  bool bars_change = frame_changes;
  auto set_bar = [&](int bar, bool needed, int extent, int page, int pos) {
    SCROLLINFO si{sizeof si};
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMax = needed ? extent - 1 : 0;
    si.nPage = needed ? static_cast<UINT>(std::max(page, 1)) : 0;
    si.nPos = pos;
    SCROLLINFO now{sizeof now};
    now.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    if (!frame_changes && GetScrollInfo(hwnd_, bar, &now) && now.nMin == 0 && now.nMax == si.nMax &&
        now.nPage == si.nPage && now.nPos == si.nPos)
      return;
    SetScrollInfo(hwnd_, bar, &si, FALSE);
    bars_change = true;
  };
  set_bar(SB_HORZ, need_h, cw, w, x);
  set_bar(SB_VERT, need_v, ch, h, y);
  if (frame_changes)
    KOLBRI_LOG_IF_FALSE(SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE |
                                         SWP_FRAMECHANGED | SWP_NOCOPYBITS | SWP_DEFERERASE));
  MoveChildren(x, y);
  if (bars_change)
    KOLBRI_LOG_IF_FALSE(RedrawWindow(hwnd_, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE));
  in_update_ = false;
}

void ScrollBox::ScrollToClamped(int x, int y) {
  auto clamp = [this](int bar, int v) {
    SCROLLINFO si{sizeof si};
    si.fMask = SIF_RANGE | SIF_PAGE;
    if (!GetScrollInfo(hwnd_, bar, &si) || si.nPage == 0) return 0;
    return std::clamp(v, 0, std::max(0, si.nMax - static_cast<int>(si.nPage) + 1));
  };
  ScrollTo(clamp(SB_HORZ, x), clamp(SB_VERT, y));
}

SIZE ScrollBox::ViewSizePx() const {
  RECT client;
  KOLBRI_LOG_IF_FALSE(GetClientRect(hwnd_, &client));
  const LONG style = GetWindowLongW(hwnd_, GWL_STYLE);
  return {client.right + ((style & WS_VSCROLL) ? SystemMetricFor(hwnd_, SM_CXVSCROLL) : 0),
          client.bottom + ((style & WS_HSCROLL) ? SystemMetricFor(hwnd_, SM_CYHSCROLL) : 0)};
}

void ScrollBox::Wheel(bool horizontal, int delta) {
  // High-resolution wheels send parts of a notch: the rest is kept.
  int& rest = horizontal ? wheel_rest_h_ : wheel_rest_v_;
  rest += delta;
  UINT lines = 3;
  KOLBRI_LOG_IF_FALSE(SystemParametersInfoW(
      horizontal ? SPI_GETWHEELSCROLLCHARS : SPI_GETWHEELSCROLLLINES, 0, &lines, 0));
  RECT client;
  KOLBRI_LOG_IF_FALSE(GetClientRect(hwnd_, &client));
  const int page = horizontal ? client.right : client.bottom;
  const int per_notch =
      lines == WHEEL_PAGESCROLL ? page : static_cast<int>(lines) * ScaleFor(hwnd_, 16);
  const int px = MulDiv(rest, per_notch, WHEEL_DELTA);
  if (!px) return;
  rest -= MulDiv(px, WHEEL_DELTA, per_notch);
  if (horizontal)
    ScrollToClamped(pos_x_ + px, pos_y_);
  else
    ScrollToClamped(pos_x_, pos_y_ - px);  // positive: away from the user, up
}

LRESULT ScrollBox::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SIZE:
      Realign();
      if (on_resize) on_resize();
      UpdateScrollRange();
      return 0;
    case WM_ERASEBKGND:
      if (!background) break;
      {
        RECT r;
        KOLBRI_LOG_IF_FALSE(GetClientRect(hwnd_, &r));
        FillRect(reinterpret_cast<HDC>(wp), &r, background);
      }
      return 1;
    case WM_LBUTTONDOWN: SetFocus(hwnd_); break;
    case WM_PARENTNOTIFY:
      if (LOWORD(wp) == WM_LBUTTONDOWN) SetFocus(hwnd_);
      break;
    case WM_GETDLGCODE: return DLGC_WANTARROWS;
    case WM_MOUSEWHEEL: {
      const int delta = GET_WHEEL_DELTA_WPARAM(wp);
      if (GET_KEYSTATE_WPARAM(wp) & MK_CONTROL) {
        if (!on_ctrl_wheel) return 0;
        ctrl_wheel_rest_ += delta;
        const int notches = ctrl_wheel_rest_ / WHEEL_DELTA;
        ctrl_wheel_rest_ -= notches * WHEEL_DELTA;
        if (notches) on_ctrl_wheel(notches, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        return 0;
      }
      // Shift+wheel: towards the user scrolls right, as the tilt wheel does.
      if (GET_KEYSTATE_WPARAM(wp) & MK_SHIFT)
        Wheel(true, -delta);
      else
        Wheel(false, delta);
      return 0;
    }
    case WM_MOUSEHWHEEL: Wheel(true, GET_WHEEL_DELTA_WPARAM(wp)); return TRUE;
    case WM_KEYDOWN: {
      RECT client;
      KOLBRI_LOG_IF_FALSE(GetClientRect(hwnd_, &client));
      const int line = ScaleFor(hwnd_, 16);
      switch (wp) {
        case VK_UP: ScrollToClamped(pos_x_, pos_y_ - line); return 0;
        case VK_DOWN: ScrollToClamped(pos_x_, pos_y_ + line); return 0;
        case VK_LEFT: ScrollToClamped(pos_x_ - line, pos_y_); return 0;
        case VK_RIGHT: ScrollToClamped(pos_x_ + line, pos_y_); return 0;
        case VK_PRIOR: ScrollToClamped(pos_x_, pos_y_ - client.bottom); return 0;
        case VK_NEXT: ScrollToClamped(pos_x_, pos_y_ + client.bottom); return 0;
        case VK_HOME: ScrollToClamped(pos_x_, 0); return 0;
        case VK_END: ScrollToClamped(pos_x_, INT_MAX / 2); return 0;
        default: break;
      }
      break;
    }
    case WM_HSCROLL:
    case WM_VSCROLL: {
      if (lp) break;  // a child's scroll bar: reflected by Control
      const int bar = msg == WM_HSCROLL ? SB_HORZ : SB_VERT;
      SCROLLINFO si{sizeof si};
      si.fMask = SIF_ALL;
      KOLBRI_LOG_IF_FALSE(GetScrollInfo(hwnd_, bar, &si));
      int pos = si.nPos;
      const int line = ScaleFor(hwnd_, 16);
      switch (LOWORD(wp)) {
        case SB_LINEUP: pos -= line; break;
        case SB_LINEDOWN: pos += line; break;
        case SB_PAGEUP: pos -= static_cast<int>(si.nPage); break;
        case SB_PAGEDOWN: pos += static_cast<int>(si.nPage); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: pos = si.nTrackPos; break;
        case SB_TOP: pos = si.nMin; break;
        case SB_BOTTOM: pos = si.nMax; break;
        default: break;
      }
      pos = std::clamp(pos, 0, std::max(0, si.nMax - static_cast<int>(si.nPage) + 1));
      if (bar == SB_HORZ)
        ScrollTo(pos, pos_y_);
      else
        ScrollTo(pos_x_, pos);
      return 0;
    }
    default: break;
  }
  return Control::HandleMessage(msg, wp, lp);
}

// ---- Image ----------------------------------------------------------------

void Image::Create(Container& parent, int l, int t, int w, int h) {
  RegisterWindowClass(L"winui.Image", 0, nullptr);
  CreateChild(parent, L"winui.Image", 0, 0, l, t, w, h);
}

void Image::SetBitmap(base::UniqueBitmap bmp) {
  bitmap_ = std::move(bmp);
  KOLBRI_LOG_IF_FALSE(InvalidateRect(hwnd_, nullptr, TRUE));
}

LRESULT Image::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN:
      press_armed_ = static_cast<bool>(on_drag);
      press_ = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      // The pointer may leave a small picture before the drag distance.
      if (press_armed_) SetCapture(hwnd_);
      break;
    case WM_LBUTTONUP:
      if (press_armed_) KOLBRI_LOG_IF_FALSE(ReleaseCapture());
      break;
    case WM_CAPTURECHANGED: press_armed_ = false; break;
    case WM_MOUSEMOVE:
      if (press_armed_ && (wp & MK_LBUTTON) &&
          (std::abs(GET_X_LPARAM(lp) - press_.x) > GetSystemMetrics(SM_CXDRAG) ||
           std::abs(GET_Y_LPARAM(lp) - press_.y) > GetSystemMetrics(SM_CYDRAG))) {
        KOLBRI_LOG_IF_FALSE(ReleaseCapture());  // the drag tracks the pointer itself
        on_drag();
        return 0;
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      RECT r;
      KOLBRI_LOG_IF_FALSE(GetClientRect(hwnd_, &r));
      if (bitmap_) {
        BITMAP bm{};
        GetObjectW(bitmap_.get(), sizeof bm, &bm);
        base::UniqueDC mem(CreateCompatibleDC(dc));
        base::SelectedObject sel(mem.get(), bitmap_.get());
        const int z = bm.bmWidth > 0 ? r.right / bm.bmWidth : 0;
        if (stretch && z >= 1 && r.right == bm.bmWidth * z && r.bottom == bm.bmHeight * z) {
          // A whole factor: only the bitmap pixels under the update rectangle,
          // widened to whole pixels so each lands on exactly z x z screen pixels.
          const RECT& u = ps.rcPaint;
          const int x0 = u.left / z, y0 = u.top / z;
          const int x1 = std::min<int>((u.right + z - 1) / z, bm.bmWidth);
          const int y1 = std::min<int>((u.bottom + z - 1) / z, bm.bmHeight);
          if (x1 > x0 && y1 > y0) {
            SetStretchBltMode(dc, COLORONCOLOR);
            StretchBlt(dc, x0 * z, y0 * z, (x1 - x0) * z, (y1 - y0) * z, mem.get(), x0, y0, x1 - x0,
                       y1 - y0, SRCCOPY);
          }
        } else if (stretch && (bm.bmWidth != r.right || bm.bmHeight != r.bottom)) {
          SetStretchBltMode(dc, smooth ? HALFTONE : COLORONCOLOR);
          KOLBRI_LOG_IF_FALSE(
              SetBrushOrgEx(dc, 0, 0, nullptr));  // HALFTONE needs it after the mode
          StretchBlt(dc, 0, 0, r.right, r.bottom, mem.get(), 0, 0, bm.bmWidth, bm.bmHeight,
                     SRCCOPY);
        } else {
          FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
          BitBlt(dc, 0, 0, bm.bmWidth, bm.bmHeight, mem.get(), 0, 0, SRCCOPY);
        }
      } else {
        FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
      }
      (void)EndPaint(hwnd_, &ps);  // always nonzero
      return 0;
    }
    default: break;
  }
  return Control::HandleMessage(msg, wp, lp);
}

// ---- Splitter -------------------------------------------------------------

void Splitter::Create(Container& parent, int width) {
  RegisterWindowClass(L"winui.Splitter", 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                      IDC_SIZEWE);
  CreateChild(parent, L"winui.Splitter", WS_VISIBLE, 0, 0, 0, width, 100);
  SetAlign(Align::Left);
}

Control* Splitter::Target() const {
  if (!parent_) return nullptr;
  const RECT me = BoundsPx();
  for (Control* c : parent_->Children())
    if (c != this && c->align() == Align::Left && c->BoundsPx().right == me.left) return c;
  return nullptr;
}

LRESULT Splitter::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_LBUTTONDOWN:
      if (Control* t = Target()) {
        POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        KOLBRI_LOG_IF_FALSE(ClientToScreen(hwnd_, &pt));
        drag_start_x_ = pt.x;
        start_width_ = t->WidthPx();
        dragging_ = true;
        SetCapture(hwnd_);
      }
      return 0;
    case WM_MOUSEMOVE:
      if (dragging_) {
        Control* t = Target();
        if (!t) return 0;
        POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        KOLBRI_LOG_IF_FALSE(ClientToScreen(hwnd_, &pt));
        RECT pr;
        KOLBRI_LOG_IF_FALSE(GetClientRect(parent_->ClientHwnd(), &pr));
        int w = std::clamp<int>(start_width_ + pt.x - drag_start_x_, min_size,
                                std::max<int>(min_size, pr.right - min_size));
        RECT tb = t->BoundsPx();
        t->SetBoundsPx(tb.left, tb.top, w, tb.bottom - tb.top);
        parent_->Realign();
      }
      return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (dragging_) {
        dragging_ = false;
        if (msg == WM_LBUTTONUP) KOLBRI_LOG_IF_FALSE(ReleaseCapture());
      }
      return 0;
    default: return Control::HandleMessage(msg, wp, lp);
  }
}

// ---- ListBox --------------------------------------------------------------

void ListBox::Create(Container& parent, int l, int t, int w, int h) {
  CreateChild(parent, L"LISTBOX",
              WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
              WS_EX_CLIENTEDGE, l, t, w, h);
}

int ListBox::Add(std::wstring_view text) {
  std::wstring t(text);
  return static_cast<int>(
      SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t.c_str())));
}

void ListBox::Clear() { SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0); }
int ListBox::Count() const { return static_cast<int>(SendMessageW(hwnd_, LB_GETCOUNT, 0, 0)); }

std::wstring ListBox::Item(int index) const {
  LRESULT n = SendMessageW(hwnd_, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (n == LB_ERR) return {};
  std::wstring s(static_cast<size_t>(n) + 1, L'\0');
  SendMessageW(hwnd_, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(s.data()));
  s.resize(static_cast<size_t>(n));
  return s;
}

int ListBox::ItemIndex() const { return static_cast<int>(SendMessageW(hwnd_, LB_GETCURSEL, 0, 0)); }
void ListBox::SetItemIndex(int index) {
  SendMessageW(hwnd_, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

bool ListBox::OnReflect(UINT msg, WPARAM wp, LPARAM, LRESULT* result) {
  if (msg != WM_COMMAND) return false;
  if (HIWORD(wp) == LBN_SELCHANGE && on_click) on_click();
  if (HIWORD(wp) == LBN_DBLCLK && on_dbl_click) on_dbl_click();
  *result = 0;
  return true;
}

// ---- Buttons --------------------------------------------------------------

void Button::CreateButton(Container& parent, int l, int t, int w, int h, std::wstring_view caption,
                          DWORD style) {
  CreateChild(parent, L"BUTTON", WS_VISIBLE | WS_TABSTOP | style, 0, l, t, w, h, caption);
}

void Button::Create(Container& parent, int l, int t, int w, int h, std::wstring_view caption) {
  CreateButton(parent, l, t, w, h, caption, BS_PUSHBUTTON);
}

void Button::SetDefault(bool d) {
  SendMessageW(hwnd_, BM_SETSTYLE, d ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  if (Form* f = OwnerForm())
    f->default_button = d ? this : (f->default_button == this ? nullptr : f->default_button);
}

void Button::SetCancel(bool c) {
  if (Form* f = OwnerForm())
    f->cancel_button = c ? this : (f->cancel_button == this ? nullptr : f->cancel_button);
}

bool Button::OnReflect(UINT msg, WPARAM wp, LPARAM, LRESULT* result) {
  if (msg != WM_COMMAND) return false;
  if (HIWORD(wp) == BN_CLICKED && on_click) on_click();
  *result = 0;
  return true;
}

void CheckBox::Create(Container& parent, int l, int t, int w, int h, std::wstring_view caption) {
  CreateButton(parent, l, t, w, h, caption, BS_AUTOCHECKBOX);
}

bool CheckBox::Checked() const { return SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED; }
void CheckBox::SetChecked(bool c) {
  SendMessageW(hwnd_, BM_SETCHECK, c ? BST_CHECKED : BST_UNCHECKED, 0);
}

void RadioButton::Create(Container& parent, int l, int t, int w, int h, std::wstring_view caption,
                         bool first_of_group) {
  CreateButton(parent, l, t, w, h, caption, BS_AUTORADIOBUTTON | (first_of_group ? WS_GROUP : 0));
}

// ---- Edit, Label, GroupBox, ProgressBar -------------------------------------

void Edit::Create(Container& parent, int l, int t, int w, int h, std::wstring_view text) {
  CreateChild(parent, L"EDIT", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, l, t, w,
              h, text);
}

bool Edit::OnReflect(UINT msg, WPARAM wp, LPARAM, LRESULT* result) {
  if (msg != WM_COMMAND) return false;
  if (HIWORD(wp) == EN_CHANGE && on_change) on_change();
  *result = 0;
  return true;
}

void Label::Create(Container& parent, int l, int t, int w, int h, std::wstring_view text,
                   TextAlign align) {
  DWORD a = align == TextAlign::Center ? SS_CENTER : align == TextAlign::Right ? SS_RIGHT : SS_LEFT;
  CreateChild(parent, L"STATIC", WS_VISIBLE | SS_NOPREFIX | a, 0, l, t, w, h, text);
}

namespace {
// A group box draws only its frame and caption, and a parent that clips its
// children (a tab page) leaves the interior unpainted: the box erases it with
// the parent's class background.
LRESULT GroupBoxProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, const SubclassNext& next) {
  LRESULT result = 0;
  if (ServeChildren(h, msg, wp, lp, &result)) return result;
  if (msg == WM_ERASEBKGND) {
    RECT r;
    KOLBRI_LOG_IF_FALSE(GetClientRect(h, &r));
    auto brush = reinterpret_cast<HBRUSH>(GetClassLongPtrW(GetParent(h), GCLP_HBRBACKGROUND));
    FillRect(reinterpret_cast<HDC>(wp), &r, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
    return 1;
  }
  return next(msg, wp, lp);
}
}  // namespace

void GroupBox::Create(Container& parent, int l, int t, int w, int h, std::wstring_view caption) {
  CreateChild(parent, L"BUTTON", WS_VISIBLE | BS_GROUPBOX, 0, l, t, w, h, caption);
  KOLBRI_LOG_IF_FALSE(subclass_.Install(hwnd_, &GroupBoxProc));
}

void ProgressBar::Create(Container& parent, int l, int t, int w, int h) {
  CreateChild(parent, PROGRESS_CLASSW, WS_VISIBLE, 0, l, t, w, h);
  SetRange(0, 100);
}

void ProgressBar::SetRange(int lo, int hi) { SendMessageW(hwnd_, PBM_SETRANGE32, lo, hi); }
void ProgressBar::SetPosition(int pos) { SendMessageW(hwnd_, PBM_SETPOS, pos, 0); }
int ProgressBar::Position() const {
  return static_cast<int>(SendMessageW(hwnd_, PBM_GETPOS, 0, 0));
}

// ---- PageControl ----------------------------------------------------------

void PageControl::Create(Container& parent, int l, int t, int w, int h) {
  CreateChild(parent, WC_TABCONTROLW, WS_VISIBLE | WS_TABSTOP | WS_CLIPCHILDREN, 0, l, t, w, h);
  const bool installed = subclass_.Install(
      hwnd_, [this](HWND h, UINT msg, WPARAM wp, LPARAM lp, const SubclassNext& next) {
        LRESULT result = 0;
        if (ServeChildren(h, msg, wp, lp, &result)) return result;
        const LRESULT r = next(msg, wp, lp);
        if (msg == WM_SIZE) LayoutPages();
        return r;
      });
  KOLBRI_LOG_IF_FALSE(installed);
}

TabPage* PageControl::AddPage(std::wstring_view caption) {
  RegisterWindowClass(L"winui.Page");
  auto page = std::make_unique<TabPage>();
  page->caption_ = caption;
  page->Make(*this);
  pages_.push_back(std::move(page));
  TabPage& p = *pages_.back();
  RebuildTabs();
  if (active_ < 0) SetActivePage(0);
  LayoutPages();
  return &p;
}

int PageControl::TabCount() const { return TabCtrl_GetItemCount(hwnd_); }

void PageControl::SetTabVisible(int index, bool visible) {
  TabPage* p = Page(index);
  if (p->tab_visible_ == visible) return;
  p->tab_visible_ = visible;
  RebuildTabs();
  LayoutPages();
}

void PageControl::RebuildTabs() {
  TabCtrl_DeleteAllItems(hwnd_);
  int pos = 0;
  for (size_t i = 0; i < pages_.size(); ++i) {
    if (!pages_[i]->tab_visible_) continue;
    TCITEMW it{};
    it.mask = TCIF_TEXT | TCIF_PARAM;
    it.pszText = pages_[i]->caption_.data();
    it.lParam = static_cast<LPARAM>(i);
    const LRESULT at = SendMessageW(hwnd_, TCM_INSERTITEMW, static_cast<WPARAM>(pos++),
                                    reinterpret_cast<LPARAM>(&it));
    KOLBRI_LOG_IF_FALSE(at >= 0);
  }
  ShowActive();
}

void PageControl::LayoutPages() {
  RECT r;
  KOLBRI_LOG_IF_FALSE(GetClientRect(hwnd_, &r));
  TabCtrl_AdjustRect(hwnd_, FALSE, &r);
  for (auto& p : pages_) p->SetBoundsPx(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void PageControl::ShowActive() {
  int sel = -1;
  for (int t = 0, n = TabCount(); t < n; ++t) {
    TCITEMW it{};
    it.mask = TCIF_PARAM;
    TabCtrl_GetItem(hwnd_, t, &it);
    if (static_cast<int>(it.lParam) == active_) sel = t;
  }
  TabCtrl_SetCurSel(hwnd_, sel);
  for (size_t i = 0; i < pages_.size(); ++i)
    ShowWindow(pages_[i]->hwnd(), static_cast<int>(i) == active_ ? SW_SHOW : SW_HIDE);
}

void PageControl::SetActivePage(int index) {
  if (index < 0 || index >= PageCount()) return;
  active_ = index;
  ShowActive();
}

bool PageControl::OnReflect(UINT msg, WPARAM, LPARAM lp, LRESULT* result) {
  if (msg != WM_NOTIFY) return false;
  auto* nm = reinterpret_cast<NMHDR*>(lp);
  if (nm->code != TCN_SELCHANGE) return false;
  int sel = TabCtrl_GetCurSel(hwnd_);
  TCITEMW it{};
  it.mask = TCIF_PARAM;
  if (sel >= 0 && TabCtrl_GetItem(hwnd_, sel, &it)) {
    active_ = static_cast<int>(it.lParam);
    ShowActive();
    if (on_change) on_change(active_);
  }
  *result = 0;
  return true;
}

}  // namespace winui
