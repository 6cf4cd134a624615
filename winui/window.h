#pragma once
// Thin form layer over Win32: a window base whose static procedure finds the
// C++ object (stored at WM_NCCREATE), child controls with design-unit layout,
// and forms (top-level windows) with menus, accelerators, key preview, default
// and cancel buttons and a modal loop.
//
// Layout: every position and size handed to SetBounds/CreateForm is in design
// pixels at 120 dpi and is scaled to the screen's LOGPIXELSY (Scale()).
// Text: UTF-16 throughout (W APIs); the default font is "ＭＳ Ｐゴシック".
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/diag.h"
#include "base/handle.h"
#include "winui/binding.h"
#include "winui/menu.h"
#include "winui/reflect.h"

// The tilt wheel (Vista and later); the program still starts on XP, where it never comes.
#ifndef WM_MOUSEHWHEEL
#define WM_MOUSEHWHEEL 0x020E
#endif
#ifndef SPI_GETWHEELSCROLLCHARS
#define SPI_GETWHEELSCROLLCHARS 0x006C
#endif
// Per-monitor resolution changes (8.1 and later).
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace winui {

class Form;

// Child ids start above the dialog ids (IDOK...); menus number from kFirstCommandId.
inline constexpr int kFirstControlId = 100;

// Design resolution of every layout in the program.
constexpr int kDesignDpi = 120;
// The screen's vertical resolution (LOGPIXELSY), read once: the system's,
// which every form starts with.
int ScreenDpi();
// Design pixels (120 dpi) -> screen pixels at the system's resolution.
int Scale(int design);
// The resolution a window is laid out for: its form's, which follows the
// monitor the form is on (WM_DPICHANGED); the system's for other windows.
int DpiOf(HWND h);
// Design pixels -> pixels at the resolution of h's form.
int ScaleFor(HWND h, int design);
// A system metric (scroll-bar widths...) at the resolution of h's form, where
// the system can say (10 1607 and later); else the system's.
int SystemMetricFor(HWND h, int index);

// The shared default UI font: "ＭＳ Ｐゴシック", 9 pt at a resolution (one
// font per resolution, kept for the run).
HFONT DefaultFont(int dpi);
inline HFONT DefaultFont() { return DefaultFont(ScreenDpi()); }

// Registers (once) a window class whose procedure is Window's thunk (or proc).
// A failure is reported through the message routine; false then.
bool RegisterWindowClass(const wchar_t* name, UINT style = CS_DBLCLKS,
                         HBRUSH background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                         const wchar_t* cursor = IDC_ARROW, WNDPROC proc = nullptr);
// Reports a failed RegisterClassExW/CreateWindowExW (call, class and the
// system's error code) through the message routine.
void ReportWindowFailure(const wchar_t* call, const wchar_t* cls);

// Base of every window the program creates: for its own classes the static
// procedure binds `this` at WM_NCCREATE (lpCreateParams) and forwards every
// later message to HandleMessage; a system-class window is bound right after
// creation. hwnd() is null before creation and, for own classes, after
// WM_NCDESTROY.
class Window : public WindowObject {
 public:
  Window() = default;
  ~Window() override;

  HWND hwnd() const { return hwnd_; }
  static Window* FromHwnd(HWND h);

  void SetText(std::wstring_view text);
  std::wstring Text() const;
  void SetVisible(bool visible);
  bool Visible() const;
  void SetEnabled(bool enabled);
  bool Enabled() const;
  void Invalidate();

  static LRESULT CALLBACK Thunk(HWND h, UINT msg, WPARAM wp, LPARAM lp);

 protected:
  // Creates the window with this object as creation parameter (class registered
  // with RegisterWindowClass) or, for a system class, attaches afterwards.
  [[nodiscard]] HWND CreateHwnd(DWORD ex_style, const wchar_t* cls, std::wstring_view text,
                                DWORD style, int x, int y, int w, int h, HWND parent,
                                HMENU id_or_menu);
  virtual LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Default(UINT msg, WPARAM wp, LPARAM lp);

  HWND hwnd_ = nullptr;
  bool own_class_ = false;
};

enum class Align { None, Top, Bottom, Left, Right, Client };

class Control;

// Something that holds aligned child controls (a form, a scroll box, a page...).
class Container {
 public:
  virtual HWND ClientHwnd() const = 0;
  // Lays out the aligned children in creation order by kind: bottom, top,
  // left, right, then client takes what is left.
  void Realign();
  void AddChild(Control* c) { children_.push_back(c); }
  void RemoveChild(Control* c);
  const std::vector<Control*>& Children() const { return children_; }
  // An id no child of this container's window holds: each container numbers
  // its own children, skipping ids that windows made without it (the shell
  // views) already hold.
  int NewControlId();

 protected:
  ~Container() = default;
  std::vector<Control*> children_;

 private:
  int next_control_id_ = kFirstControlId;
};

// A child control, the one base of every control (the shell views too:
// SubclassedControl, subclassed_control.h). System-class controls (tree view,
// button...) are created without the thunk and learn of their notifications
// through reflection; the parent container reflects WM_COMMAND/WM_NOTIFY to
// them.
class Control : public Window {
 public:
  ~Control() override;

  Container* Parent() const { return parent_; }
  // Design pixels (120 dpi).
  void SetBounds(int left, int top, int width, int height);
  // Device pixels, in the parent's client coordinates.
  virtual void SetBoundsPx(int left, int top, int width, int height);
  // Same without painting now: the old and new places are only invalidated
  // (in the parent) and painted with the next WM_PAINT. Much cheaper for a
  // large window that is about to get new content anyway.
  void MoveDeferredPx(int left, int top, int width, int height);
  virtual RECT BoundsPx() const;  // in the parent's client coordinates
  int WidthPx() const;
  int HeightPx() const;

  Align align() const { return align_; }
  void SetAlign(Align a);

  void SetFont(HFONT f);
  // Tooltip shown while the pointer rests on the control (Form::ShowHint).
  void SetHint(std::wstring_view hint);

  // Pop-up menu shown on right click (WM_CONTEXTMENU) when it auto-pops.
  void SetPopupMenu(PopupMenu* m) { popup_ = m; }
  PopupMenu* GetPopupMenu() const { return popup_; }

  int help_context = 0;

  bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  Form* OwnerForm() const;
  // Right click on the control: shows the pop-up menu at screen point pt
  // (-1,-1: keyboard, at the control's corner). False when none opens.
  virtual bool ShowPopupAt(POINT pt);

 protected:
  // Creates the HWND as a child of `parent` at design bounds.
  void CreateChild(Container& parent, const wchar_t* cls, DWORD style, DWORD ex_style, int left,
                   int top, int width, int height, std::wstring_view text = {});
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

  Container* parent_ = nullptr;
  Align align_ = Align::None;
  PopupMenu* popup_ = nullptr;
  std::wstring hint_;
};

// WM_CONTEXTMENU seen by `self` for window wp: opens the pop-up menu of the
// control behind wp. True when one opened.
bool PopupForChild(HWND self, WPARAM wp, LPARAM lp);

// What a system-class window that holds controls (group box, tab control) does
// in its subclass: reflects its children's notifications to them and opens
// their pop-up menus. True when handled (*result is the answer).
bool ServeChildren(HWND self, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

enum class FormStyle {
  Sizeable,     // main window: caption, system menu, resizable
  DialogFixed,  // fixed dialog frame, caption without title-bar buttons
};

// A top-level window.
class Form : public Window, public Container {
 public:
  Form();
  ~Form() override;

  // Creates the window with a client area of width x height design pixels.
  // centred: centre on the screen; otherwise Windows chooses the position.
  void CreateForm(std::wstring_view caption, int width, int height, FormStyle style, bool centred,
                  HWND owner = nullptr);
  HWND ClientHwnd() const override { return hwnd_; }

  void SetMenu(MainMenu* menu);
  MainMenu* Menu() const { return menu_; }
  // The command ids of this form's menus; each menu takes its ids here.
  CommandIds& Commands() { return commands_; }

  // Client size in screen pixels.
  void SetClientSizePx(int width, int height);
  SIZE ClientSizePx() const;

  void Show();
  void Close() { KOLBRI_LOG_IF_FALSE(PostMessageW(hwnd_, WM_CLOSE, 0, 0)); }

  // Keys reach OnKeyPreview before the focused control (WM_KEYDOWN/WM_SYSKEYDOWN).
  bool key_preview = false;
  // Tab/Enter/Esc navigation as in a dialog (Enter presses the default button,
  // Esc the cancel button).
  bool dialog_keys = false;
  bool show_hint = true;
  Control* default_button = nullptr;
  Control* cancel_button = nullptr;
  // F1 (WM_HELP) on the form: on_help gets the help context of the control it
  // was pressed on, or of its nearest parent carrying one, else the form's.
  int help_context = 0;
  std::function<void(int context)> on_help;

  // Modal showing: disables the owner, shows the form, runs a message loop
  // until EndModal (or the private message msg::kEndModal with the result in
  // wParam, or closing the form: IDCANCEL) and returns the result.
  int ShowModal();
  void EndModal(int result) { modal_result_ = result; }
  bool InModal() const { return in_modal_; }
  int ModalResult() const { return modal_result_; }
  // Test seam: called with the form each time a modal loop has started (the
  // form is visible); a test ends the loop by EndModal or posting kEndModal.
  static std::function<void(Form&)>& ModalStartHook();

  // The program's main form: destroying it ends RunMessageLoop.
  void SetMainForm() { main_form_ = true; }

  // Tooltip window of the form (created on first use).
  HWND Tooltips();

  // The resolution the form is laid out for (see DpiOf).
  int Dpi() const { return dpi_ ? dpi_ : ScreenDpi(); }

 protected:
  virtual void OnShowFirst() {}
  virtual void OnDestroyForm() {}
  // Return true to stop the key before the focused control sees it.
  virtual bool OnKeyPreview(const MSG& msg) { return false; }
  // The wheel goes to the focused window; a form can send it to the control
  // under the pointer instead. True when handled.
  virtual bool OnWheelPreview(const MSG& msg) { return false; }
  // Return false to refuse closing.
  virtual bool OnCloseQuery() { return true; }
  // After WM_DPICHANGED: children, fonts of the default face, tree indents and
  // status-bar parts are re-scaled and the window has its new rectangle; a
  // form re-does here what it sized itself.
  virtual void OnDpiChanged(int old_dpi, int new_dpi) {}
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  friend bool PreTranslate(MSG& msg);
  void RebuildAccelerators();
  int HelpContextOf(HWND item) const;
  friend class MainMenu;

  CommandIds commands_;  // outlives the menus, which may be members of a derived form
  MainMenu* menu_ = nullptr;
  base::UniqueAccel accel_;
  HWND tooltips_ = nullptr;
  bool shown_once_ = false;
  bool main_form_ = false;
  bool in_modal_ = false;
  int modal_result_ = 0;
  int dpi_ = 0;  // 0 before creation: the system's
};

// Form pre-translation: key preview, accelerators, dialog keys. True when the
// message was consumed.
bool PreTranslate(MSG& msg);
// Runs the message loop until WM_QUIT; returns its exit code.
int RunMessageLoop();
// Handles every pending message without waiting (tests).
void PumpPending();
// Waits until h is signalled (a thread ends), handling messages meanwhile, so
// a thread that sends to this one can finish. A WM_QUIT seen on the way is
// posted again afterwards.
void WaitPumping(HANDLE h);

}  // namespace winui
