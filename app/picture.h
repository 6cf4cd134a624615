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
base::UniqueBitmap BitmapFromDib(const BITMAPINFO* info, const void* bits);
// Pixel rows of a packed DIB: header + 4 bytes per colour-table entry (16 for
// 4 bits, 256 for 8 bits, none otherwise).
uint32_t DibBitsOffset(int bit_count);

SIZE BitmapSize(HBITMAP b);
// A (W*z) x (H*z) copy; every pixel repeated z times each way.
base::UniqueBitmap Zoomed(HBITMAP src, int zoom);

// Writes 24-bit rows (px.bit_count 24) as a Windows bitmap file, through a
// temporary file beside the target, so a failed write leaves an existing file
// as it was. The rows are fetched and written band_bytes at a time.
bool WriteBitmapFile(const base::PngPixels& px, const std::wstring& path,
                     uint32_t band_bytes = 4u << 20);
// b's pixels so.
bool WriteBitmapFile(HBITMAP b, const std::wstring& path, uint32_t band_bytes = 4u << 20);

// A packed DIB (header, colour table, rows) as a bitmap file, exactly as it
// is, through a temporary file beside the target.
bool WriteDibFile(const std::vector<uint8_t>& dib, const std::wstring& path);

// b's pixels as 24-bit rows, fetched band by band (for a PNG or bitmap file;
// base::ZoomPixels enlarges them); b must outlive the result.
base::PngPixels PngFromBitmap(HBITMAP b);

// Puts a copy of b (and of palette when given) on the clipboard, and the same
// picture as the registered format "PNG".
bool CopyBitmapToClipboard(HWND owner, HBITMAP b, HPALETTE palette);

// "(640x400 pix, 256 col.)"; other depths end after "pix, ".
std::wstring PictureStatusText(int width, int height, int bit_count);
// "Version 1.10" for 0x010A: bits 8-15 "." bits 0-7.
std::wstring VersionText(int32_t version);

}  // namespace app
