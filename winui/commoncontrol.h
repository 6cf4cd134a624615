#pragma once
// A common control (tree view, list view, combo box) that an object creates,
// binds for notification reflection (reflect.h) and subclasses, and whose
// items point at records the object owns (ItemRecords). The parent's window
// procedure must pass the control's notifications to winui::ReflectToChild.
//
// The window's end: OnWindowDestroying runs while the window and its items
// still exist; then the object lets go of the window before the control
// deletes its items, so no deletion notification of a dying window reaches
// it. A recreated window (RecreateControl) goes without OnWindowDestroying:
// the records stay for the new window's items. UI thread only.
#include <windows.h>

#include <memory>
#include <unordered_map>
#include <utility>

#include "winui/binding.h"

namespace winui {

class CommonControl : public WindowObject {
 public:
  HWND Handle() const { return hwnd_; }
  void Destroy();  // the window (OnWindowDestroying first); nothing without one
  // Position and size in the parent's client pixels; kept for a later window.
  void SetBounds(const RECT& bounds);
  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 protected:
  CommonControl(int width, int height) : width_(width), height_(height) {}
  ~CommonControl() override;

  // Creates a child window of class cls at the kept bounds (those given
  // first), binds and subclasses it; false (reported) when it cannot be made.
  bool CreateControl(HWND parent, const RECT& bounds, const wchar_t* cls, DWORD style,
                     DWORD ex_style, int control_id);
  // Replaces the window by a new one of the given style with the same parent,
  // id and bounds; the old one goes without OnWindowDestroying.
  bool RecreateControl(DWORD style);
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
  virtual void OnRightButtonDown(WPARAM keys, POINT client) { (void)keys, (void)client; }
  virtual void OnRightButtonUp(WPARAM keys, POINT client) { (void)keys, (void)client; }
  // The capture went elsewhere before the release.
  virtual void OnRightButtonCancelled() {}
  bool TracksRightButton() const { return right_down_; }

 private:
  bool Make(DWORD style);
  LRESULT Dispatch(UINT msg, WPARAM wp, LPARAM lp, const SubclassNext& next);
  void LetGo();

  HWND hwnd_ = nullptr;
  HWND parent_ = nullptr;
  const wchar_t* class_ = nullptr;
  DWORD ex_style_ = 0;
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
