#pragma once
// The layout of a packed DIB (info header, colour table, pixels) and of a
// Windows bitmap file (the 14-byte file header, then the DIB): the one place
// the viewer, the batch, the stand-in and the shell browser take it from.
#include <windows.h>

#include <cstdint>

namespace cgmodule {

// bfType: the letters "BM" read as a little-endian word.
inline constexpr WORD kBitmapFileType = 'B' | ('M' << 8);
// True when the bytes start with the file signature.
constexpr bool HasBitmapFileType(const uint8_t* data) {
  return (data[0] | data[1] << 8) == kBitmapFileType;
}
// The two headers in front of the colour table; both are packed records whose
// size is fixed by the file format, whatever the architecture.
inline constexpr uint32_t kBitmapFileHeaderSize = sizeof(BITMAPFILEHEADER);
inline constexpr uint32_t kBitmapHeadersSize = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
static_assert(kBitmapFileHeaderSize == 14 && sizeof(BITMAPINFOHEADER) == 40);

// Entries of the colour table a packed DIB carries in full: one per pixel
// value up to 8 bits, none above (biClrUsed is not honoured: the module fills
// the whole table).
constexpr uint32_t DibColourEntries(uint16_t bit_count) {
  return bit_count == 1 ? 2 : bit_count == 4 ? 16 : bit_count == 8 ? 256 : 0;
}

// Where the pixels start, counted from the info header.
constexpr uint32_t DibBitsOffset(uint16_t bit_count) {
  return sizeof(BITMAPINFOHEADER) + 4 * DibColourEntries(bit_count);
}

// Bytes of one pixel row, padded to 4 bytes. In 64 bits: a width no picture
// has must not wrap around to a small row.
constexpr uint64_t DibStride(uint32_t width, uint16_t bit_count) {
  return (uint64_t{width} * bit_count + 31) / 32 * 4;
}

// The info header of an uncompressed, bottom-up DIB; biSizeImage is the
// rows' exact size.
constexpr BITMAPINFOHEADER DibInfoHeader(int32_t width, int32_t height, uint16_t bit_count) {
  BITMAPINFOHEADER h{};
  h.biSize = sizeof h;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = bit_count;
  h.biCompression = BI_RGB;
  if (width > 0 && height > 0)
    h.biSizeImage = static_cast<DWORD>(DibStride(static_cast<uint32_t>(width), bit_count) *
                                       static_cast<uint32_t>(height));
  return h;
}

// True for the depths whose layout the rules above describe.
constexpr bool KnownDibDepth(uint16_t bit_count) {
  return bit_count == 1 || bit_count == 4 || bit_count == 8 || bit_count == 16 || bit_count == 24 ||
         bit_count == 32;
}

// The file header in front of a DIB whose pixels take image_size bytes, byte
// by byte (little-endian on any host). False, with nothing filled, for a depth
// without a known layout or a file of 4 GiB or more.
[[nodiscard]] constexpr bool FillFileHeader(uint16_t bit_count, uint32_t image_size,
                                            uint8_t out[kBitmapFileHeaderSize]) {
  if (!KnownDibDepth(bit_count)) return false;
  const uint32_t offset = kBitmapFileHeaderSize + DibBitsOffset(bit_count);
  if (image_size > UINT32_MAX - offset) return false;
  auto put = [out](int at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put(0, kBitmapFileType, 2);
  put(2, image_size + offset, 4);
  put(6, 0, 4);  // bfReserved1, bfReserved2
  put(10, offset, 4);
  return true;
}

}  // namespace cgmodule
