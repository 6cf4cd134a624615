#pragma once
// A Windows bitmap file as the viewer writes one: the file header, then the
// DIB (info header, colour table, pixels).
#include <windows.h>

#include <cstdint>

namespace cgmodule {

// bfType: the letters "BM" read as a little-endian word.
inline constexpr WORD kBitmapFileType = 'B' | ('M' << 8);
// The two headers in front of the colour table; both are packed records whose
// size is fixed by the file format, whatever the architecture.
inline constexpr uint32_t kBitmapFileHeaderSize = sizeof(BITMAPFILEHEADER);
inline constexpr uint32_t kBitmapHeadersSize = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
static_assert(kBitmapFileHeaderSize == 14 && sizeof(BITMAPINFOHEADER) == 40);

}  // namespace cgmodule
