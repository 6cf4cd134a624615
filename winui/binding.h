#pragma once
// One way to tie a window to its object, for forms, our own controls and
// subclassed common controls alike: GWLP_USERDATA holds the WindowObject, and
// only a pointer to a live WindowObject is ever answered (windows that are not
// ours may keep anything in that slot). A look-up is an in-process read, not a
// window-property round trip to the server, so reflecting every notification
// of a 100,000-node tree stays cheap.
//
// WindowSubclass is the one way to subclass a window: an RAII chain entry with
// its own identity (no ids to pick). The first one on a window puts one
// dispatcher in front of the window procedure; entries run newest first, may
// be removed in any order, also while one of them is handling a message, and
// the window itself is restored to nothing when it is destroyed. It does not
// use SetWindowSubclass, whose per-message property look-up is a server round
// trip under Wine (filling a large folder tree was several times slower).
#include <windows.h>

#include <functional>
#include <memory>

namespace winui {

class WindowObject {
 public:
  WindowObject(const WindowObject&) = delete;
  WindowObject& operator=(const WindowObject&) = delete;

  // A child notification reflected by the parent (reflect.h); true when
  // handled, *result is then the parent's answer.
  virtual bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) { return false; }

 protected:
  WindowObject();
  // Unbinds the window still bound to this object.
  virtual ~WindowObject();

 private:
  friend void BindWindow(HWND h, WindowObject* object);
  HWND bound_ = nullptr;
};

// Ties h to object (null: unties whatever h is bound to).
void BindWindow(HWND h, WindowObject* object);
// The object bound to h, or null (also for a window that is not ours).
WindowObject* BoundObject(HWND h);
template <class T>
T* BoundAs(HWND h) {
  return dynamic_cast<T*>(BoundObject(h));
}

// The rest of the chain below one subclass, for the message being handled.
class SubclassNext {
 public:
  LRESULT operator()(UINT msg, WPARAM wp, LPARAM lp) const;

 private:
  friend struct SubclassChain;
  SubclassNext(HWND h, struct SubclassChain* chain, size_t below)
      : h_(h), chain_(chain), below_(below) {}
  HWND h_;
  SubclassChain* chain_;
  size_t below_;  // entries [0, below_) are still to run
};

using SubclassProc = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM, const SubclassNext& next)>;

class WindowSubclass {
 public:
  WindowSubclass() = default;
  ~WindowSubclass() { Remove(); }
  WindowSubclass(const WindowSubclass&) = delete;
  WindowSubclass& operator=(const WindowSubclass&) = delete;

  // Puts proc in front of h's procedure (removing an earlier installation of
  // this object first). False when h is no window or its procedure cannot be
  // replaced (a window of another process).
  [[nodiscard]] bool Install(HWND h, SubclassProc proc);
  // Takes the entry out of the chain; safe at any time, also from inside proc.
  void Remove();
  bool Installed() const { return entry_ != nullptr; }

 private:
  std::shared_ptr<struct SubclassEntry> entry_;
  HWND hwnd_ = nullptr;
};

}  // namespace winui
