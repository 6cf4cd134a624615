#include "winui/window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "base/diag.h"
#include "winui/menu.h"
#include "winui/messages.h"
#include "winui/msgbox.h"

namespace winui {

int ScreenDpi() {
  static int dpi = [] {
    const base::WindowDC screen(nullptr);
    const int d = GetDeviceCaps(screen.get(), LOGPIXELSY);
    return d > 0 ? d : 96;
  }();
  return dpi;
}

int Scale(int design) { return MulDiv(design, ScreenDpi(), kDesignDpi); }

int DpiOf(HWND h) {
  const Form* f =
      h ? dynamic_cast<const Form*>(Window::FromHwnd(GetAncestor(h, GA_ROOT))) : nullptr;
  return f ? f->Dpi() : ScreenDpi();
}

int ScaleFor(HWND h, int design) { return MulDiv(design, DpiOf(h), kDesignDpi); }

int SystemMetricFor(HWND h, int index) {
  using Fn = int(WINAPI*)(int, UINT);
  static const auto fn = reinterpret_cast<Fn>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi"));
  return fn ? fn(index, static_cast<UINT>(DpiOf(h))) : GetSystemMetrics(index);
}

HFONT DefaultFont(int dpi) {
  // Few resolutions ever meet in one run: a short list, never emptied, so a
  // handle given to a window stays valid.
  static std::vector<std::pair<int, base::UniqueFont>> fonts;
  for (const auto& [d, f] : fonts)
    if (d == dpi) return f.get();
  LOGFONTW lf{};
  lf.lfHeight = -MulDiv(9, dpi, 72);
  lf.lfCharSet = SHIFTJIS_CHARSET;
  lf.lfQuality = DEFAULT_QUALITY;
  wcscpy(lf.lfFaceName, L"ＭＳ Ｐゴシック");
  fonts.emplace_back(dpi, base::UniqueFont(CreateFontIndirectW(&lf)));
  return fonts.back().second.get();
}

namespace {

// The window's own resolution where the system knows one (10 1607 and
// later), else the system's.
int WindowDpi(HWND h) {
  using Fn = UINT(WINAPI*)(HWND);
  static const auto fn =
      reinterpret_cast<Fn>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow"));
  const int d = fn ? static_cast<int>(fn(h)) : 0;
  return d > 0 ? d : ScreenDpi();
}

// Children of `parent` from resolution `from` to `to`: places and sizes, the
// default font, tree indents and status-bar parts; into the children of our
// own containers (a foreign control places its own children).
void RescaleChildren(HWND parent, int from, int to) {
  auto s = [&](LONG v) { return MulDiv(v, to, from); };
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    RECT r;
    KOLBRI_LOG_IF_FALSE(GetWindowRect(c, &r));
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    KOLBRI_LOG_IF_FALSE(SetWindowPos(c, nullptr, s(r.left), s(r.top), s(r.right) - s(r.left),
                                     s(r.bottom) - s(r.top), SWP_NOZORDER | SWP_NOACTIVATE));
    if (reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)) == DefaultFont(from))
      SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont(to)), TRUE);
    wchar_t cls[64] = {};
    GetClassNameW(c, cls, 64);
    if (_wcsicmp(cls, WC_TREEVIEWW) == 0) {
      TreeView_SetIndent(c, s(static_cast<LONG>(TreeView_GetIndent(c))));
    } else if (_wcsicmp(cls, STATUSCLASSNAMEW) == 0) {
      int parts[256];
      const int n =
          static_cast<int>(SendMessageW(c, SB_GETPARTS, 256, reinterpret_cast<LPARAM>(parts)));
      for (int i = 0; i < n; ++i)
        if (parts[i] >= 0) parts[i] = s(parts[i]);
      if (n > 0)
        SendMessageW(c, SB_SETPARTS, static_cast<WPARAM>(n), reinterpret_cast<LPARAM>(parts));
    }
    if (dynamic_cast<Container*>(Window::FromHwnd(c))) RescaleChildren(c, from, to);
  }
}

}  // namespace

void ReportWindowFailure(const wchar_t* call, const wchar_t* cls) {
  const DWORD error = GetLastError();
  std::wstring text = L"ウィンドウを作成できませんでした（";
  text += call;
  text += L" ";
  text += cls ? cls : L"";
  text += L"、エラー " + std::to_wstring(error) + L"）";
  ShowError(nullptr, text);
}

bool RegisterWindowClass(const wchar_t* name, UINT style, HBRUSH background, const wchar_t* cursor,
                         WNDPROC proc) {
  WNDCLASSEXW wc{sizeof wc};
  HINSTANCE inst = GetModuleHandleW(nullptr);
  if (GetClassInfoExW(inst, name, &wc)) return true;
  wc = {sizeof wc};
  wc.style = style;
  wc.lpfnWndProc = proc ? proc : &Window::Thunk;
  wc.hInstance = inst;
  wc.hCursor = LoadCursorW(nullptr, cursor);
  wc.hbrBackground = background;
  wc.lpszClassName = name;
  wc.hIcon = LoadIconW(inst, MAKEINTRESOURCEW(1));
  if (RegisterClassExW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) return true;
  ReportWindowFailure(L"RegisterClassExW", name);
  return false;
}

// ---- Window ---------------------------------------------------------------

Window::~Window() {
  if (hwnd_ && IsWindow(hwnd_)) {
    // No message of the window's end reaches a half-destroyed object.
    BindWindow(hwnd_, nullptr);
    HWND h = hwnd_;
    hwnd_ = nullptr;
    KOLBRI_LOG_IF_FALSE(DestroyWindow(h));
  }
}

Window* Window::FromHwnd(HWND h) { return BoundAs<Window>(h); }

LRESULT CALLBACK Window::Thunk(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  Window* self;
  if (msg == WM_NCCREATE) {
    self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    BindWindow(h, self);
    if (self) self->hwnd_ = h;
  } else {
    // Our own class: whatever the slot holds was bound by this thunk.
    self =
        static_cast<Window*>(reinterpret_cast<WindowObject*>(GetWindowLongPtrW(h, GWLP_USERDATA)));
  }
  if (!self) return DefWindowProcW(h, msg, wp, lp);
  LRESULT r = self->HandleMessage(msg, wp, lp);
  if (msg == WM_NCDESTROY) {
    BindWindow(h, nullptr);
    self->hwnd_ = nullptr;
  }
  return r;
}

HWND Window::CreateHwnd(DWORD ex_style, const wchar_t* cls, std::wstring_view text, DWORD style,
                        int x, int y, int w, int h, HWND parent, HMENU id_or_menu) {
  std::wstring t(text);
  WNDCLASSEXW wc{sizeof wc};
  own_class_ =
      GetClassInfoExW(GetModuleHandleW(nullptr), cls, &wc) && wc.lpfnWndProc == &Window::Thunk;
  HWND hw = CreateWindowExW(ex_style, cls, t.c_str(), style, x, y, w, h, parent, id_or_menu,
                            GetModuleHandleW(nullptr), own_class_ ? this : nullptr);
  if (!hw) ReportWindowFailure(L"CreateWindowExW", cls);
  if (!own_class_) {
    hwnd_ = hw;
    BindWindow(hw, this);
  }
  return hw;
}

LRESULT Window::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) { return Default(msg, wp, lp); }

LRESULT Window::Default(UINT msg, WPARAM wp, LPARAM lp) {
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

void Window::SetText(std::wstring_view text) {
  std::wstring t(text);
  SetWindowTextW(hwnd_, t.c_str());
}

std::wstring Window::Text() const {
  int n = GetWindowTextLengthW(hwnd_);
  std::wstring s(static_cast<size_t>(n) + 1, L'\0');
  n = GetWindowTextW(hwnd_, s.data(), n + 1);
  s.resize(static_cast<size_t>(std::max(n, 0)));
  return s;
}

// ShowWindow and EnableWindow answer the previous state, not a failure.
void Window::SetVisible(bool v) { (void)ShowWindow(hwnd_, v ? SW_SHOW : SW_HIDE); }
bool Window::Visible() const { return IsWindowVisible(hwnd_) != FALSE; }
void Window::SetEnabled(bool e) { (void)EnableWindow(hwnd_, e); }
bool Window::Enabled() const { return IsWindowEnabled(hwnd_) != FALSE; }
void Window::Invalidate() { KOLBRI_LOG_IF_FALSE(InvalidateRect(hwnd_, nullptr, TRUE)); }

// ---- Container -------------------------------------------------------------

int Container::NewControlId() {
  const HWND h = ClientHwnd();
  while (h && GetDlgItem(h, next_control_id_)) ++next_control_id_;
  KOLBRI_CHECK(next_control_id_ < static_cast<int>(kFirstCommandId));
  return next_control_id_++;
}

void Container::RemoveChild(Control* c) {
  children_.erase(std::remove(children_.begin(), children_.end(), c), children_.end());
}

void Container::Realign() {
  HWND h = ClientHwnd();
  if (!h) return;
  RECT r;
  KOLBRI_LOG_IF_FALSE(GetClientRect(h, &r));
  auto place = [&](Align which) {
    for (Control* c : children_) {
      if (c->align() != which || !c->hwnd() || !(GetWindowLongW(c->hwnd(), GWL_STYLE) & WS_VISIBLE))
        continue;
      const int w = c->WidthPx(), ht = c->HeightPx();
      switch (which) {
        case Align::Bottom:
          c->SetBoundsPx(r.left, r.bottom - ht, r.right - r.left, ht);
          r.bottom -= ht;
          break;
        case Align::Top:
          c->SetBoundsPx(r.left, r.top, r.right - r.left, ht);
          r.top += ht;
          break;
        case Align::Left:
          c->SetBoundsPx(r.left, r.top, w, r.bottom - r.top);
          r.left += w;
          break;
        case Align::Right:
          c->SetBoundsPx(r.right - w, r.top, w, r.bottom - r.top);
          r.right -= w;
          break;
        case Align::Client:
          c->SetBoundsPx(r.left, r.top, std::max<LONG>(0, r.right - r.left),
                         std::max<LONG>(0, r.bottom - r.top));
          break;
        case Align::None: break;
      }
    }
  };
  for (Align a : {Align::Bottom, Align::Top, Align::Left, Align::Right, Align::Client}) place(a);
}

// ---- Control ---------------------------------------------------------------

Control::~Control() {
  if (parent_) parent_->RemoveChild(this);
}

void Control::CreateChild(Container& parent, const wchar_t* cls, DWORD style, DWORD ex_style,
                          int left, int top, int width, int height, std::wstring_view text) {
  parent_ = &parent;
  const HWND p = parent.ClientHwnd();
  // A failure is reported inside; the control stays without a window.
  (void)CreateHwnd(ex_style, cls, text, style | WS_CHILD | WS_CLIPSIBLINGS, ScaleFor(p, left),
                   ScaleFor(p, top), ScaleFor(p, width), ScaleFor(p, height), p,
                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(parent.NewControlId())));
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont(DpiOf(p))), FALSE);
  parent.AddChild(this);
}

void Control::SetBounds(int l, int t, int w, int h) {
  SetBoundsPx(ScaleFor(hwnd_, l), ScaleFor(hwnd_, t), ScaleFor(hwnd_, w), ScaleFor(hwnd_, h));
}

void Control::SetBoundsPx(int l, int t, int w, int h) {
  // No copying of old client bits: controls repaint themselves, and copying a
  // large picture's window costs more than painting it.
  KOLBRI_LOG_IF_FALSE(
      SetWindowPos(hwnd_, nullptr, l, t, w, h, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS));
}

void Control::MoveDeferredPx(int l, int t, int w, int h) {
  const RECT before = BoundsPx();
  KOLBRI_LOG_IF_FALSE(
      SetWindowPos(hwnd_, nullptr, l, t, w, h,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS | SWP_NOREDRAW | SWP_DEFERERASE));
  RECT after{l, t, l + w, t + h}, both;
  (void)UnionRect(&both, &before, &after);  // false only for an empty union
  HWND parent = GetParent(hwnd_);
  KOLBRI_LOG_IF_FALSE(InvalidateRect(parent, &both, TRUE));
  KOLBRI_LOG_IF_FALSE(InvalidateRect(hwnd_, nullptr, TRUE));
}

RECT Control::BoundsPx() const {
  RECT r{};
  KOLBRI_LOG_IF_FALSE(GetWindowRect(hwnd_, &r));
  MapWindowPoints(HWND_DESKTOP, GetParent(hwnd_), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

int Control::WidthPx() const {
  RECT r = BoundsPx();
  return r.right - r.left;
}

int Control::HeightPx() const {
  RECT r = BoundsPx();
  return r.bottom - r.top;
}

void Control::SetAlign(Align a) {
  align_ = a;
  if (parent_) parent_->Realign();
}

void Control::SetFont(HFONT f) {
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(f), TRUE);
}

Form* Control::OwnerForm() const {
  return dynamic_cast<Form*>(Window::FromHwnd(GetAncestor(hwnd_, GA_ROOT)));
}

void Control::SetHint(std::wstring_view hint) {
  hint_ = hint;
  Form* f = OwnerForm();
  if (!f) return;
  TTTOOLINFOW ti{};
  ti.cbSize = TTTOOLINFOW_V2_SIZE;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = f->hwnd();
  ti.uId = reinterpret_cast<UINT_PTR>(hwnd_);
  ti.lpszText = hint_.data();
  SendMessageW(f->Tooltips(), TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  if (!hint_.empty())
    KOLBRI_LOG_IF_FALSE(
        SendMessageW(f->Tooltips(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti)));
}

bool Control::OnReflect(UINT, WPARAM, LPARAM, LRESULT*) { return false; }

bool Control::ShowPopupAt(POINT pt) {
  if (!popup_ || !popup_->auto_popup) return false;
  if (pt.x == -1 && pt.y == -1) {
    RECT r;
    KOLBRI_LOG_IF_FALSE(GetWindowRect(hwnd_, &r));
    pt = {r.left, r.top};
  }
  popup_->Popup(hwnd_, pt);
  return true;
}

LRESULT Control::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (ServeChildren(hwnd_, msg, wp, lp, &result)) return result;
  return Default(msg, wp, lp);
}

bool PopupForChild(HWND self, WPARAM wp, LPARAM lp) {
  HWND src = reinterpret_cast<HWND>(wp);
  Control* c = nullptr;
  c = BoundAs<Control>(src == self ? self : src);
  return c && c->ShowPopupAt(POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
}

bool ServeChildren(HWND self, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (ReflectToChild(self, msg, wp, lp, result)) return true;
  if (msg == WM_CONTEXTMENU && PopupForChild(self, wp, lp)) {
    *result = 0;
    return true;
  }
  return false;
}

// ---- Form ------------------------------------------------------------------

Form::Form() { RegisterWindowClass(L"winui.Form"); }

Form::~Form() = default;

void Form::CreateForm(std::wstring_view caption, int width, int height, FormStyle style,
                      bool centred, HWND owner) {
  DWORD ws =
      style == FormStyle::Sizeable ? WS_OVERLAPPEDWINDOW : (WS_POPUP | WS_CAPTION | WS_DLGFRAME);
  DWORD ex = style == FormStyle::Sizeable ? 0 : WS_EX_DLGMODALFRAME;
  dpi_ = ScreenDpi();
  RECT r{0, 0, Scale(width), Scale(height)};
  KOLBRI_LOG_IF_FALSE(AdjustWindowRectEx(&r, ws, FALSE, ex));
  int w = r.right - r.left, h = r.bottom - r.top;
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
  if (centred) {
    x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  } else if (style != FormStyle::Sizeable) {
    x = y = 0;
  }
  // A failure is reported inside.
  (void)CreateHwnd(ex, L"winui.Form", caption, ws | WS_CLIPCHILDREN, x, y, w, h, owner, nullptr);
  // Made on a monitor of another resolution: laid out for that one.
  dpi_ = WindowDpi(hwnd_);
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont(dpi_)), FALSE);
  // The client size is what the layout was designed for, whatever the frame.
  SetClientSizePx(ScaleFor(hwnd_, width), ScaleFor(hwnd_, height));
}

void Form::SetMenu(MainMenu* menu) {
  menu_ = menu;
  int cw = 0, ch = 0;
  if (hwnd_) {
    SIZE s = ClientSizePx();
    cw = s.cx;
    ch = s.cy;
  }
  if (menu) menu->AttachTo(hwnd_);
  RebuildAccelerators();
  if (hwnd_) SetClientSizePx(cw, ch);
}

void Form::RebuildAccelerators() {
  accel_.reset();
  if (!menu_) return;
  std::vector<ACCEL> a;
  menu_->CollectShortcuts(a);
  if (!a.empty()) {
    accel_.reset(CreateAcceleratorTableW(a.data(), static_cast<int>(a.size())));
    KOLBRI_LOG_IF_FALSE(accel_.valid());
  }
}

void Form::SetClientSizePx(int width, int height) {
  RECT r{0, 0, width, height};
  KOLBRI_LOG_IF_FALSE(AdjustWindowRectEx(&r, GetWindowLongW(hwnd_, GWL_STYLE),
                                         GetMenu(hwnd_) != nullptr,
                                         GetWindowLongW(hwnd_, GWL_EXSTYLE)));
  KOLBRI_LOG_IF_FALSE(SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
  // A menu bar that wraps takes more room than AdjustWindowRectEx assumes.
  SIZE s = ClientSizePx();
  if (s.cy != height) {
    RECT w;
    KOLBRI_LOG_IF_FALSE(GetWindowRect(hwnd_, &w));
    KOLBRI_LOG_IF_FALSE(SetWindowPos(hwnd_, nullptr, 0, 0, w.right - w.left + (width - s.cx),
                                     w.bottom - w.top + (height - s.cy),
                                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
  }
}

SIZE Form::ClientSizePx() const {
  RECT r{};
  KOLBRI_LOG_IF_FALSE(GetClientRect(hwnd_, &r));
  return {r.right, r.bottom};
}

void Form::Show() {
  (void)ShowWindow(hwnd_, SW_SHOW);  // the previous visibility, not a failure
  KOLBRI_LOG_IF_FALSE(UpdateWindow(hwnd_));
}

HWND Form::Tooltips() {
  if (!tooltips_) {
    tooltips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    KOLBRI_LOG_IF_FALSE(tooltips_ != nullptr);
    SendMessageW(tooltips_, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont(Dpi())), FALSE);
    SendMessageW(tooltips_, TTM_ACTIVATE, show_hint, 0);
  }
  return tooltips_;
}

std::function<void(Form&)>& Form::ModalStartHook() {
  static std::function<void(Form&)> hook;
  return hook;
}

int Form::ShowModal() {
  HWND owner = GetWindow(hwnd_, GW_OWNER);
  if (!owner) owner = GetActiveWindow();
  if (owner == hwnd_) owner = nullptr;
  const bool owner_was_enabled = owner && IsWindowEnabled(owner);
  if (owner_was_enabled) (void)EnableWindow(owner, FALSE);  // the previous state, not a failure
  modal_result_ = 0;
  in_modal_ = true;
  (void)ShowWindow(hwnd_, SW_SHOW);  // the previous visibility, not a failure
  SetActiveWindow(hwnd_);
  if (auto& hook = ModalStartHook()) hook(*this);
  MSG m;
  while (modal_result_ == 0 && hwnd_) {
    BOOL got = GetMessageW(&m, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(m.wParam));
      if (!modal_result_) modal_result_ = IDCANCEL;
      break;
    }
    if (got < 0) break;
    if (m.message == msg::kEndModal && m.hwnd == hwnd_) {
      modal_result_ = static_cast<int>(m.wParam);
      break;
    }
    if (!PreTranslate(m)) {
      (void)TranslateMessage(&m);  // whether a character message was posted
      DispatchMessageW(&m);
    }
  }
  in_modal_ = false;
  if (owner_was_enabled) {
    (void)EnableWindow(owner, TRUE);  // the previous state, not a failure
    SetActiveWindow(owner);
  }
  // Hiding the active window makes Wine wait for the X focus to move; the
  // owner is active by now.
  if (hwnd_)
    KOLBRI_LOG_IF_FALSE(
        SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER));
  return modal_result_;
}

int Form::HelpContextOf(HWND item) const {
  for (HWND h = item; h && h != hwnd_ && IsChild(hwnd_, h); h = GetParent(h)) {
    auto* c = BoundAs<Control>(h);
    if (c && c->help_context) return c->help_context;
  }
  return help_context;
}

LRESULT Form::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  // Child notifications go to the child's object first (menus send WM_COMMAND with lp 0).
  if (msg != WM_COMMAND && ReflectToChild(hwnd_, msg, wp, lp, &result)) return result;
  switch (msg) {
    case WM_COMMAND:
      if (lp == 0 && HIWORD(wp) <= 1 && commands_.Dispatch(LOWORD(wp))) return 0;
      if (ReflectToChild(hwnd_, msg, wp, lp, &result)) return result;
      if (lp == 0 || GetDlgItem(hwnd_, LOWORD(wp)) == reinterpret_cast<HWND>(lp)) {
        // Enter / Esc from the dialog keys.
        Control* b = LOWORD(wp) == IDOK       ? default_button
                     : LOWORD(wp) == IDCANCEL ? cancel_button
                                              : nullptr;
        if (b && b->Enabled()) {
          SendMessageW(b->hwnd(), BM_CLICK, 0, 0);
          return 0;
        }
      }
      return 0;
    case DM_GETDEFID:
      if (default_button) return MAKELRESULT(GetDlgCtrlID(default_button->hwnd()), DC_HASDEFID);
      break;
    case WM_SIZE: Realign(); break;
    case WM_DPICHANGED: {
      const int before = Dpi(), now = HIWORD(wp);
      if (now > 0 && now != before) {
        dpi_ = now;
        RescaleChildren(hwnd_, before, now);
        SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont(now)), FALSE);
        if (tooltips_)
          SendMessageW(tooltips_, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont(now)), FALSE);
      }
      // The suggested rectangle keeps the window where the user moved it.
      const auto* r = reinterpret_cast<const RECT*>(lp);
      if (r)
        KOLBRI_LOG_IF_FALSE(SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left,
                                         r->bottom - r->top, SWP_NOZORDER | SWP_NOACTIVATE));
      Realign();
      if (now > 0 && now != before) OnDpiChanged(before, now);
      return 0;
    }
    case WM_SHOWWINDOW:
      if (wp && !shown_once_) {
        shown_once_ = true;
        // Runs once the window is on screen, so a dialog shown from it has its owner.
        KOLBRI_LOG_IF_FALSE(PostMessageW(hwnd_, msg::kFormShown, 0, 0));
      }
      break;
    case WM_CLOSE:
      if (in_modal_) {
        modal_result_ = IDCANCEL;
        return 0;
      }
      if (!OnCloseQuery()) return 0;
      KOLBRI_LOG_IF_FALSE(DestroyWindow(hwnd_));
      return 0;
    case WM_CONTEXTMENU:
      if (PopupForChild(hwnd_, wp, lp)) return 0;
      break;
    case WM_DESTROY:
      OnDestroyForm();
      if (main_form_) PostQuitMessage(0);
      break;
    case WM_HELP: {
      const auto* hi = reinterpret_cast<const HELPINFO*>(lp);
      if (on_help)
        on_help(hi->iContextType == HELPINFO_WINDOW
                    ? HelpContextOf(static_cast<HWND>(hi->hItemHandle))
                    : help_context);
      return TRUE;
    }
    default:
      if (msg == msg::kFormShown) {
        OnShowFirst();
        return 0;
      }
      if (msg == msg::kEndModal) {
        modal_result_ = static_cast<int>(wp);
        return 0;
      }
      break;
  }
  return Default(msg, wp, lp);
}

bool PreTranslate(MSG& m) {
  if (!m.hwnd) return false;
  HWND root = GetAncestor(m.hwnd, GA_ROOT);
  Form* f = BoundAs<Form>(root);
  if (!f) return false;
  if (f->key_preview && (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) &&
      f->OnKeyPreview(m))
    return true;
  if ((m.message == WM_MOUSEWHEEL || m.message == WM_MOUSEHWHEEL) && f->OnWheelPreview(m))
    return true;
  if (f->accel_ && TranslateAcceleratorW(root, f->accel_.get(), &m)) return true;
  if (f->dialog_keys && IsDialogMessageW(root, &m)) return true;
  return false;
}

int RunMessageLoop() {
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    if (!PreTranslate(m)) {
      (void)TranslateMessage(&m);  // whether a character message was posted
      DispatchMessageW(&m);
    }
  }
  return static_cast<int>(m.wParam);
}

void PumpPending() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(m.wParam));
      return;
    }
    if (!PreTranslate(m)) {
      (void)TranslateMessage(&m);  // whether a character message was posted
      DispatchMessageW(&m);
    }
  }
}

void WaitPumping(HANDLE h) {
  bool quit = false;
  WPARAM quit_code = 0;
  while (MsgWaitForMultipleObjects(1, &h, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) {
        quit = true;
        quit_code = m.wParam;
      } else if (!PreTranslate(m)) {
        (void)TranslateMessage(&m);  // whether a character message was posted
        DispatchMessageW(&m);
      }
    }
  }
  if (quit) PostQuitMessage(static_cast<int>(quit_code));
}

}  // namespace winui
