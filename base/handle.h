#pragma once
// Every handle, lock and block a scope owns, as one-line aliases over one
// owner: UniqueAny<T, Close, Invalid> calls Close exactly once on a value that
// is not Invalid. Values that need a second piece to undo (GetDC's window, the
// object SelectObject replaced) have their own small owners below.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <cstdint>
#include <type_traits>
#include <utility>

namespace base {

template <typename T, auto Close, intptr_t Invalid = 0>
class UniqueAny {
  static_assert(std::is_pointer_v<T>, "handles are pointer types");

 public:
  static T InvalidValue() { return reinterpret_cast<T>(Invalid); }

  UniqueAny() = default;
  // Takes ownership of h.
  explicit UniqueAny(T h) : h_(h) {}
  UniqueAny(UniqueAny&& o) noexcept : h_(o.release()) {}
  UniqueAny& operator=(UniqueAny&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  ~UniqueAny() { reset(); }

  T get() const { return h_; }
  bool valid() const { return h_ != InvalidValue(); }
  explicit operator bool() const { return valid(); }
  // Hands the value on; the owner is empty afterwards.
  [[nodiscard]] T release() { return std::exchange(h_, InvalidValue()); }
  // Closes the current value (unless it is h) and takes ownership of h. The
  // caller's last error survives the close, so a failed call followed by its
  // cleanup still reports the failure's own error.
  void reset(T h = InvalidValue()) {
    const T old = std::exchange(h_, h);
    if (old != InvalidValue() && old != h) {
      const DWORD error = GetLastError();
      Close(old);
      SetLastError(error);
    }
  }
  // For out-parameters: closes the current value first.
  T* receive() {
    reset();
    return &h_;
  }

 private:
  T h_ = InvalidValue();
};

inline constexpr intptr_t kInvalidHandle = -1;  // INVALID_HANDLE_VALUE

using UniqueFile = UniqueAny<HANDLE, &CloseHandle, kInvalidHandle>;  // CreateFile
using UniqueFind = UniqueAny<HANDLE, &FindClose, kInvalidHandle>;    // FindFirstFile
using UniqueHandle = UniqueAny<HANDLE, &CloseHandle>;                // thread, event, process
using UniqueModule = UniqueAny<HMODULE, &FreeLibrary>;
using UniqueGlobal = UniqueAny<HGLOBAL, &GlobalFree>;
using UniqueGlobalLock = UniqueAny<HGLOBAL, &GlobalUnlock>;  // holds the locked block
template <typename T>
using UniqueCoTaskMem = UniqueAny<T*, &CoTaskMemFree>;

using UniqueBitmap = UniqueAny<HBITMAP, &DeleteObject>;
using UniqueFont = UniqueAny<HFONT, &DeleteObject>;
using UniqueBrush = UniqueAny<HBRUSH, &DeleteObject>;
using UniquePen = UniqueAny<HPEN, &DeleteObject>;
using UniquePalette = UniqueAny<HPALETTE, &DeleteObject>;
using UniqueDC = UniqueAny<HDC, &DeleteDC>;  // CreateCompatibleDC
using UniqueAccel = UniqueAny<HACCEL, &DestroyAcceleratorTable>;
using UniqueMenu = UniqueAny<HMENU, &DestroyMenu>;
using UniqueImageList = UniqueAny<HIMAGELIST, &ImageList_Destroy>;

// GetDC/ReleaseDC pair.
class WindowDC {
 public:
  explicit WindowDC(HWND h) : wnd_(h), dc_(GetDC(h)) {}
  ~WindowDC() {
    if (dc_) ReleaseDC(wnd_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND wnd_;
  HDC dc_;
};

// SelectObject, restored at scope end.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
  ~SelectedObject() {
    if (old_) SelectObject(dc_, old_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// Runs a callable at scope end unless dismissed.
template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ~ScopeExit() {
    if (armed_) f_();
  }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  void Dismiss() { armed_ = false; }

 private:
  F f_;
  bool armed_ = true;
};

}  // namespace base
