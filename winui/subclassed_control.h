#pragma once
// A winui::Control over a system class (tree view, list view, combo box) whose
// window this object creates, binds for notification reflection (reflect.h)
// and subclasses, and whose items point at records the object owns
// (ItemRecords): the shell views. The parent's window procedure must pass the
// control's notifications to winui::ReflectToChild (every Form does).
//
// The window's end: OnWindowDestroying runs while the window and its items
// still exist; then the object lets go of the window before the control
// deletes its items, so no deletion notification of a dying window reaches
// it. A recreated window (RecreateControl) goes without OnWindowDestroying:
// the records stay for the new window's items. UI thread only.
#include <windows.h>

#include <functional>
#include <memory>
#include <unordered_map>
#include <utility>

#include "winui/binding.h"
#include "winui/window.h"

namespace winui {

class SubclassedControl : public Control {
 public:
  ~SubclassedControl() override;

  // Like every control: a child of parent at design bounds, with an id of the
  // parent's. False (reported) when the window cannot be made.
  [[nodiscard]] bool Create(Container& parent, int left, int top, int width, int height);
  // A child of a window that is no container of ours (tests, benchmarks), at
  // bounds in the parent's client pixels.
  [[nodiscard]] bool Create(HWND parent, const RECT& bounds, int control_id);
  void Destroy();  // the window (OnWindowDestroying first); nothing without one
  // Kept for a later window too (a recreation, or a Create after); without a
  // window the bounds are the kept ones.
  void SetBoundsPx(int left, int top, int width, int height) override;
  RECT BoundsPx() const override;

  // A button went down or up on the control: VK_LBUTTON after the control
  // handled it, VK_RBUTTON as tracked here; point in client coordinates.
  std::function<void(int button, WPARAM keys, POINT client)> on_mouse_down;
  std::function<void(int button, WPARAM keys, POINT client)> on_mouse_up;

 protected:
  SubclassedControl(int width, int height) : width_(width), height_(height) {}

  // What the window is: its class, style, extended style, and the common
  // controls classes to load first (ICC_..., 0: none).
  struct WindowKind {
    const wchar_t* cls;
    DWORD style;
    DWORD ex_style;
    DWORD classes;
  };
  virtual WindowKind Kind() const = 0;
  // The window exists, bound and subclassed: what comes with each new one
  // made by Create.
  virtual void OnCreated() {}
  // Replaces the window by a new one of the kind's present style with the
  // same parent, id and bounds; the old one goes without OnWindowDestroying.
  [[nodiscard]] bool RecreateControl();
  // The window's height for the kept bounds (a combo box adds its list).
  virtual int WindowHeight() const { return height_; }
  void ApplyBounds();

  // The window is about to go: its items still exist.
  virtual void OnWindowDestroying() {}
  // Messages to the control's window; next passes one on.
  virtual LRESULT ControlProc(UINT msg, WPARAM wp, LPARAM lp, const SubclassNext& next) {
    return next(msg, wp, lp);
  }
  // Right clicks are tracked here (focus, capture) rather than by the
  // control's own loop, so that the release arrives; client coordinates.
  // Down: before on_mouse_down. Up: before on_mouse_up; OnRightClick after it
  // (the window may be gone then).
  virtual void OnRightButtonDown(WPARAM keys, POINT client) { (void)keys, (void)client; }
  virtual void OnRightButtonUp(WPARAM keys, POINT client) { (void)keys, (void)client; }
  virtual void OnRightClick(POINT client) { (void)client; }
  // The capture went elsewhere before the release.
  virtual void OnRightButtonCancelled() {}

 private:
  [[nodiscard]] bool Make();
  LRESULT Dispatch(UINT msg, WPARAM wp, LPARAM lp, const SubclassNext& next);
  void LetGo();

  HWND parent_window_ = nullptr;
  int control_id_ = 0;
  WindowSubclass subclass_;
  bool right_down_ = false;
  int left_ = 0, top_ = 0, width_, height_;
};

// The records a control's items point at (lParam, item data): owned here, not
// by the window, so a window's end or recreation never frees one by accident,
// and a record outlives its item until the deletion has been handled.
template <class T>
class ItemRecords {
 public:
  // Keeps the record; the pointer is what the item holds.
  T* Add(std::unique_ptr<T> record) {
    T* p = record.get();
    if (p) records_.emplace(p, std::move(record));
    return p;
  }
  // Hands a record back (none when it is not one of these).
  std::unique_ptr<T> Take(const T* record) {
    auto it = records_.find(record);
    if (it == records_.end()) return nullptr;
    std::unique_ptr<T> out = std::move(it->second);
    records_.erase(it);
    return out;
  }
  bool Holds(const T* record) const { return records_.count(record) != 0; }
  void Clear() { records_.clear(); }
  size_t Size() const { return records_.size(); }

 private:
  std::unordered_map<const T*, std::unique_ptr<T>> records_;
};

}  // namespace winui
