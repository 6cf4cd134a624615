#pragma once
// The one way a worker thread gets work done on the user-interface thread:
// a hidden message-only window created on the UI thread receives msg::kInvoke
// through SendMessage, so the worker blocks until the UI thread has run the
// callable (also while that thread sits in a modal loop or a message box, since
// sent messages are dispatched by every message retrieval). Called on the UI
// thread itself, the callable runs directly.
#include <windows.h>

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

namespace winui {

class UiCall {
 public:
  // Must be constructed (and destroyed) on the thread that owns the UI.
  UiCall();
  ~UiCall();
  UiCall(const UiCall&) = delete;
  UiCall& operator=(const UiCall&) = delete;

  // Runs fn on the UI thread and returns when it has finished; an exception
  // thrown by fn is rethrown in the caller. If the window is gone (shutdown),
  // fn does not run and false is returned.
  bool Invoke(const std::function<void()>& fn) const;

  // Queues fn to run on the UI thread and returns at once (notices the worker
  // need not wait for, such as progress). Messages sent by Invoke run before
  // any posted one. False, and fn never runs, when it cannot be queued; what
  // is still queued when this object is destroyed never runs.
  bool Post(std::function<void()> fn) const;

  // Invoke with a result: the callable's value, or nothing when it did not
  // run (the window is gone); a void callable gives Invoke's answer.
  template <class F>
  auto Call(F&& f) const {
    using R = std::invoke_result_t<F>;
    if constexpr (std::is_void_v<R>) {
      return Invoke(std::function<void()>(std::forward<F>(f)));
    } else {
      std::optional<R> out;
      Invoke([&] { out.emplace(f()); });
      return out;
    }
  }

  bool OnUiThread() const { return GetCurrentThreadId() == thread_; }
  HWND Window() const { return hwnd_; }

 private:
  static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l);
  HWND hwnd_ = nullptr;
  DWORD thread_ = 0;
};

}  // namespace winui
