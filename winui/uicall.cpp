#include "winui/uicall.h"

#include <exception>
#include <memory>

#include "base/diag.h"
#include "winui/messages.h"
#include "winui/window.h"

namespace winui {
namespace {

constexpr wchar_t kClass[] = L"kolbri.uicall";

struct Packet {
  const std::function<void()>* fn;
  std::exception_ptr error;
};

}  // namespace

LRESULT CALLBACK UiCall::Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == msg::kInvoke && l) {
    auto* p = reinterpret_cast<Packet*>(l);
    // An exception must not unwind through the window manager's frames.
    try {
      (*p->fn)();
    } catch (...) {
      p->error = std::current_exception();
    }
    return 1;
  }
  if (m == msg::kPost && l) {
    std::unique_ptr<std::function<void()>> fn(reinterpret_cast<std::function<void()>*>(l));
    try {
      (*fn)();
    } catch (...) {
      KOLBRI_LOG_IF_FALSE(false);
    }
    return 0;
  }
  return DefWindowProcW(h, m, w, l);
}

UiCall::UiCall() : thread_(GetCurrentThreadId()) {
  if (!RegisterWindowClass(kClass, 0, nullptr, IDC_ARROW, &UiCall::Proc)) return;
  hwnd_ = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                          GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) ReportWindowFailure(L"CreateWindowExW", kClass);
}

UiCall::~UiCall() {
  KOLBRI_CHECK(OnUiThread());  // a window can only be destroyed by its own thread
  // Posted callables never run now, but are freed.
  MSG m;
  while (hwnd_ && PeekMessageW(&m, hwnd_, msg::kPost, msg::kPost, PM_REMOVE))
    delete reinterpret_cast<std::function<void()>*>(m.lParam);
  if (hwnd_ && IsWindow(hwnd_)) KOLBRI_LOG_IF_FALSE(DestroyWindow(hwnd_));
}

bool UiCall::Post(std::function<void()> fn) const {
  auto owned = std::make_unique<std::function<void()>>(std::move(fn));
  if (!hwnd_ || !PostMessageW(hwnd_, msg::kPost, 0, reinterpret_cast<LPARAM>(owned.get())))
    return KOLBRI_LOG_IF_FALSE(false);
  (void)owned.release();  // the message owns it now
  return true;
}

bool UiCall::Invoke(const std::function<void()>& fn) const {
  if (OnUiThread()) {
    fn();
    return true;
  }
  Packet p{&fn, nullptr};
  // SendMessage returns 0 without running anything when the window is gone.
  if (!hwnd_ || SendMessageW(hwnd_, msg::kInvoke, 0, reinterpret_cast<LPARAM>(&p)) == 0)
    return KOLBRI_LOG_IF_FALSE(false);
  if (p.error) std::rethrow_exception(p.error);
  return true;
}

}  // namespace winui
