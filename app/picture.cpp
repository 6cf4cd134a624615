#include "app/picture.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/diag.h"
#include "base/png.h"
#include "cgmodule/bmpfile.h"

namespace app {

using base::SelectedObject;
using base::UniqueBitmap;
using base::UniqueDC;
using base::WindowDC;

UniqueBitmap BitmapFromDib(const BITMAPINFO* info, const void* bits) {
  const int w = info->bmiHeader.biWidth, h = info->bmiHeader.biHeight;
  WindowDC screen(nullptr);
  UniqueBitmap b(CreateCompatibleBitmap(screen.get(), w, h));
  if (!b) return b;
  UniqueDC mem(CreateCompatibleDC(screen.get()));
  SelectedObject sel(mem.get(), b.get());
  const int bc = info->bmiHeader.biBitCount;
  if (bc == 4 || bc == 8 || bc == 24) {
    // No scan line copied would show a black picture as a success.
    if (SetDIBitsToDevice(mem.get(), 0, 0, w, h, 0, 0, 0, h, bits, info, DIB_RGB_COLORS) == 0)
      return {};
  } else {
    RECT r{0, 0, w, h};
    FillRect(mem.get(), &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  return b;
}

SIZE BitmapSize(HBITMAP b) {
  BITMAP bm{};
  if (!b || !GetObjectW(b, sizeof bm, &bm)) return {0, 0};
  return {bm.bmWidth, bm.bmHeight};
}

UniqueBitmap Zoomed(HBITMAP src, int zoom) {
  const SIZE s = BitmapSize(src);
  WindowDC screen(nullptr);
  UniqueBitmap out(CreateCompatibleBitmap(screen.get(), s.cx * zoom, s.cy * zoom));
  if (!out) return out;
  UniqueDC from(CreateCompatibleDC(screen.get()));
  UniqueDC to(CreateCompatibleDC(screen.get()));
  SelectedObject a(from.get(), src);
  SelectedObject b(to.get(), out.get());
  // Whole-number enlargement: every stretch mode repeats pixels the same way,
  // and the default one is the fast path.
  // A failed copy would show an empty picture as the zoomed one.
  if (!KOLBRI_LOG_IF_FALSE(StretchBlt(to.get(), 0, 0, s.cx * zoom, s.cy * zoom, from.get(), 0, 0,
                                      s.cx, s.cy, SRCCOPY)))
    return {};
  return out;
}

bool WriteBitmapFile(const base::PngPixels& px, const std::wstring& path, uint32_t band_bytes) {
  if (px.bit_count != 24 || px.width <= 0 || px.height <= 0 || !px.rows) return false;
  const uint32_t stride = px.Stride();
  const uint64_t image = uint64_t{stride} * static_cast<uint32_t>(px.height);
  uint8_t headers[cgmodule::kBitmapHeadersSize] = {};
  if (image > UINT32_MAX || !cgmodule::FillFileHeader(24, static_cast<uint32_t>(image), headers))
    return false;
  const BITMAPINFOHEADER ih = cgmodule::DibInfoHeader(px.width, px.height, 24);
  std::memcpy(headers + cgmodule::kBitmapFileHeaderSize, &ih, sizeof ih);
  // Rows go out in bands, bottom row first as the file keeps them: a picture
  // at 400 % needs no second copy of itself in memory.
  const int band = static_cast<int>(std::max<uint32_t>(1, band_bytes / stride));
  std::unique_ptr<uint8_t[]> rows(
      new (std::nothrow) uint8_t[static_cast<size_t>(stride) * std::min<int>(band, px.height)]);
  std::unique_ptr<uint8_t[]> swap(new (std::nothrow) uint8_t[stride]);
  if (!rows || !swap) return false;
  return base::WriteReplacing(path, [&](const std::wstring& temp) {
    base::UniqueFile f(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f) return false;
    auto write = [&](const void* p, DWORD n) {
      DWORD written = 0;
      return WriteFile(f.get(), p, n, &written, nullptr) && written == n;
    };
    bool written_all = write(headers, sizeof headers);
    for (int done = 0; written_all && done < px.height; done += band) {
      const int n = std::min<int>(band, px.height - done);
      written_all = px.rows(px.height - done - n, n, rows.get());
      // The band came top row first; the file wants it the other way round.
      for (int i = 0, j = n - 1; written_all && i < j; ++i, --j) {
        uint8_t* a = rows.get() + static_cast<size_t>(i) * stride;
        uint8_t* z = rows.get() + static_cast<size_t>(j) * stride;
        std::memcpy(swap.get(), a, stride);
        std::memcpy(a, z, stride);
        std::memcpy(z, swap.get(), stride);
      }
      written_all = written_all && write(rows.get(), stride * static_cast<uint32_t>(n));
    }
    return written_all;
  });
}

bool WriteBitmapFile(HBITMAP b, const std::wstring& path, uint32_t band_bytes) {
  return WriteBitmapFile(PngFromBitmap(b), path, band_bytes);
}

bool WriteDibFile(const std::vector<uint8_t>& dib, const std::wstring& path) {
  if (dib.size() < sizeof(BITMAPINFOHEADER) || dib.size() > 0x7FFFFFFF - 14) return false;
  const auto* ih = reinterpret_cast<const BITMAPINFOHEADER*>(dib.data());
  const uint32_t offset = cgmodule::DibBitsOffset(ih->biBitCount);
  uint8_t header[cgmodule::kBitmapFileHeaderSize] = {};
  if (dib.size() < offset ||
      !cgmodule::FillFileHeader(ih->biBitCount, static_cast<uint32_t>(dib.size() - offset), header))
    return false;
  return base::WriteReplacing(path, [&](const std::wstring& temp) {
    base::UniqueFile f(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD a = 0, b = 0;
    return f && WriteFile(f.get(), header, sizeof header, &a, nullptr) && a == sizeof header &&
           WriteFile(f.get(), dib.data(), static_cast<DWORD>(dib.size()), &b, nullptr) &&
           b == dib.size();
  });
}

base::PngPixels PngFromBitmap(HBITMAP b) {
  base::PngPixels px;
  const SIZE s = BitmapSize(b);
  px.width = s.cx;
  px.height = s.cy;
  px.bit_count = 24;
  const uint32_t stride = px.Stride();
  px.rows = [b, s, stride](int first, int count, uint8_t* out) {
    // GetDIBits counts scan lines from the bottom: the band comes bottom row
    // first and is turned over in place.
    BITMAPINFO bi{};
    bi.bmiHeader = cgmodule::DibInfoHeader(s.cx, s.cy, 24);
    WindowDC screen(nullptr);
    if (GetDIBits(screen.get(), b, static_cast<UINT>(s.cy - first - count),
                  static_cast<UINT>(count), out, &bi, DIB_RGB_COLORS) != count)
      return false;
    std::vector<uint8_t> row(stride);
    for (int i = 0, j = count - 1; i < j; ++i, --j) {
      uint8_t* a = out + static_cast<size_t>(i) * stride;
      uint8_t* z = out + static_cast<size_t>(j) * stride;
      std::memcpy(row.data(), a, stride);
      std::memcpy(a, z, stride);
      std::memcpy(z, row.data(), stride);
    }
    return true;
  };
  return px;
}

base::UniquePalette MakePalette(const PALETTEENTRY* entries, UINT count) {
  if (count == 0) return {};
  count = std::min<UINT>(count, 256);
  std::vector<uint8_t> buf(sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY));
  auto* lp = reinterpret_cast<LOGPALETTE*>(buf.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = static_cast<WORD>(count);
  std::copy_n(entries, count, lp->palPalEntry);
  return base::UniquePalette(CreatePalette(lp));
}

base::UniquePalette SystemPalette() {
  WindowDC screen(nullptr);
  if (!(GetDeviceCaps(screen.get(), RASTERCAPS) & RC_PALETTE)) return {};
  PALETTEENTRY entries[256];
  const UINT n = GetSystemPaletteEntries(screen.get(), 0, 256, entries);
  if (!KOLBRI_LOG_IF_FALSE(n != 0)) return {};
  return MakePalette(entries, n);
}

bool CopyBitmapToClipboard(HWND owner, HBITMAP b, HPALETTE palette) {
  UniqueBitmap copy(static_cast<HBITMAP>(CopyImage(b, IMAGE_BITMAP, 0, 0, 0)));
  if (!copy) return false;
  // Encoded before the clipboard is opened: it stays open as briefly as it can.
  std::vector<uint8_t> png;
  const bool have_png = base::EncodePng(PngFromBitmap(b), png);
  if (!OpenClipboard(owner)) return false;
  KOLBRI_LOG_IF_FALSE(EmptyClipboard());
  bool ok = SetClipboardData(CF_BITMAP, copy.get()) != nullptr;
  if (ok) (void)copy.release();  // the clipboard owns it now
  if (ok && palette) {
    PALETTEENTRY entries[256];
    base::UniquePalette pcopy = MakePalette(entries, GetPaletteEntries(palette, 0, 256, entries));
    if (pcopy && SetClipboardData(CF_PALETTE, pcopy.get())) (void)pcopy.release();
  }
  // Editors and browsers paste the registered "PNG" format losslessly.
  if (ok && have_png) {
    base::UniqueGlobal g(GlobalAlloc(GMEM_MOVEABLE, png.size()));
    if (g) {
      if (void* p = GlobalLock(g.get())) {
        std::memcpy(p, png.data(), png.size());
        GlobalUnlock(g.get());
        if (SetClipboardData(RegisterClipboardFormatW(L"PNG"), g.get())) (void)g.release();
      }
    }
  }
  KOLBRI_LOG_IF_FALSE(CloseClipboard());
  return ok;
}

std::wstring PictureStatusText(int width, int height, int bit_count) {
  std::wstring s = L"(" + std::to_wstring(width) + L"x" + std::to_wstring(height) + L" pix, ";
  if (bit_count == 4)
    s += L"16 col.)";
  else if (bit_count == 8)
    s += L"256 col.)";
  else if (bit_count == 24)
    s += L"32768 col.)";
  return s;
}

std::wstring VersionText(int32_t v) {
  return L"Version " + std::to_wstring((v >> 8) & 0xFF) + L"." + std::to_wstring(v & 0xFF);
}

}  // namespace app
