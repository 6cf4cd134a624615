#pragma once
// RAII owners for the GDI and USER handles the forms create.
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <type_traits>
#include <utility>

namespace winui {

template <typename H, typename D>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(H h) : h_(h) {}
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(std::exchange(o.h_, nullptr));
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  H get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  H release() { return std::exchange(h_, nullptr); }
  void reset(H h = nullptr) {
    if (h_ && h_ != h) D{}(h_);
    h_ = h;
  }

 private:
  H h_ = nullptr;
};

struct GdiDeleter {
  void operator()(HGDIOBJ h) const { DeleteObject(h); }
};
struct DcDeleter {
  void operator()(HDC h) const { DeleteDC(h); }
};
struct AccelDeleter {
  void operator()(HACCEL h) const { DestroyAcceleratorTable(h); }
};
struct MenuDeleter {
  void operator()(HMENU h) const { DestroyMenu(h); }
};
struct LibraryDeleter {
  void operator()(HMODULE h) const { FreeLibrary(h); }
};
struct ImageListDeleter {
  void operator()(HIMAGELIST h) const;  // ImageList_Destroy (controls.cpp)
};

using UniqueBitmap = UniqueHandle<HBITMAP, GdiDeleter>;
using UniqueFont = UniqueHandle<HFONT, GdiDeleter>;
using UniqueBrush = UniqueHandle<HBRUSH, GdiDeleter>;
using UniquePalette = UniqueHandle<HPALETTE, GdiDeleter>;
using UniqueDC = UniqueHandle<HDC, DcDeleter>;
using UniqueAccel = UniqueHandle<HACCEL, AccelDeleter>;
using UniqueMenu = UniqueHandle<HMENU, MenuDeleter>;
using UniqueImageList = UniqueHandle<HIMAGELIST, ImageListDeleter>;

// GetDC/ReleaseDC pair.
class WindowDC {
 public:
  explicit WindowDC(HWND h) : h_(h), dc_(GetDC(h)) {}
  ~WindowDC() {
    if (dc_) ReleaseDC(h_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND h_;
  HDC dc_;
};

// SelectObject with restore on scope exit.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
  ~Selected() {
    if (old_) SelectObject(dc_, old_);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace winui
