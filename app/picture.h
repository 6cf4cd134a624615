#pragma once
// GDI work of the main window: the current bitmap from a picture block, the
// zoomed copy, bitmap files and the clipboard.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/handle.h"
#include "base/png.h"

namespace app {

// A screen-compatible W x H bitmap holding the packed DIB's pixels. Depths other
// than 4, 8 and 24 bits leave it blank. bits points at the pixel rows. Null when
// the bitmap cannot be made or the pixels cannot be copied into it.
[[nodiscard]] base::UniqueBitmap BitmapFromDib(const BITMAPINFO* info, const void* bits);

SIZE BitmapSize(HBITMAP b);
// A (W*z) x (H*z) copy; every pixel repeated z times each way.
[[nodiscard]] base::UniqueBitmap Zoomed(HBITMAP src, int zoom);

// Writes 24-bit rows (px.bit_count 24) as a Windows bitmap file, through a
// temporary file beside the target, so a failed write leaves an existing file
// as it was. The rows are fetched and written band_bytes at a time.
[[nodiscard]] bool WriteBitmapFile(const base::PngPixels& px, const std::wstring& path,
                                   uint32_t band_bytes = 4u << 20);
// b's pixels so.
[[nodiscard]] bool WriteBitmapFile(HBITMAP b, const std::wstring& path,
                                   uint32_t band_bytes = 4u << 20);

// A packed DIB (header, colour table, rows) as a bitmap file, exactly as it
// is, through a temporary file beside the target.
[[nodiscard]] bool WriteDibFile(const std::vector<uint8_t>& dib, const std::wstring& path);

// b's pixels as 24-bit rows, fetched band by band (for a PNG or bitmap file;
// base::ZoomPixels enlarges them); b must outlive the result.
base::PngPixels PngFromBitmap(HBITMAP b);

// A logical palette of the first count entries (at most 256); null for none.
[[nodiscard]] base::UniquePalette MakePalette(const PALETTEENTRY* entries, UINT count);
// The system palette on a palette display; null on any other.
[[nodiscard]] base::UniquePalette SystemPalette();

// Puts a copy of b (and of palette when given) on the clipboard, and the same
// picture as the registered format "PNG".
[[nodiscard]] bool CopyBitmapToClipboard(HWND owner, HBITMAP b, HPALETTE palette);

// "(640x400 pix, 256 col.)"; other depths end after "pix, ".
std::wstring PictureStatusText(int width, int height, int bit_count);
// "Version 1.10" for 0x010A: bits 8-15 "." bits 0-7.
std::wstring VersionText(int32_t version);

}  // namespace app
