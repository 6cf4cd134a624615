#pragma once
// PNG files through the platform's codec (Windows Imaging Component): no codec
// of our own. Indexed pictures stay indexed with their own palette.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace base {

// Rows are handed to the encoder this many bytes at a time: a band that stays
// in the cache costs less than one large buffer touched afresh for each file.
inline constexpr uint32_t kPngBandBytes = 256u << 10;

// Pixels to encode, handed out top row first.
struct PngPixels {
  int width = 0;
  int height = 0;
  int bit_count = 24;            // 1, 4 or 8: indexed with `palette`; 24: BGR
  std::vector<RGBQUAD> palette;  // indexed only: at most 1 << bit_count entries
  // Fills `out` with `count` rows from top-down row `first`, Stride() bytes each.
  std::function<bool(int first, int count, uint8_t* out)> rows;
  uint32_t Stride() const { return ((static_cast<uint32_t>(width) * bit_count + 31) / 32) * 4; }
};

// A bottom-up packed DIB's own pixels: 1, 4 and 8 bits indexed with its colour
// table, 24 bits as they are. No `rows` for other depths. info and bits must
// outlive the result.
PngPixels PngFromDib(const BITMAPINFO* info, const void* bits);

// The same pixels enlarged z times each way (every pixel repeated), fetched
// band by band from src: no whole enlarged copy is ever made. src must outlive
// the result.
PngPixels ZoomPixels(const PngPixels& src, int zoom);

// The codec for one thread: COM and the imaging factory are set up once, for
// writers that encode picture after picture.
class PngEncoder {
 public:
  PngEncoder();
  ~PngEncoder();
  PngEncoder(const PngEncoder&) = delete;
  PngEncoder& operator=(const PngEncoder&) = delete;
  bool Ready() const;
  // As WritePngFile; without a temporary file when `replacing` is false (the
  // caller removes what a failed write left).
  [[nodiscard]] bool WriteFile(const PngPixels& px, const std::wstring& path,
                               uint32_t band_bytes = kPngBandBytes, bool replacing = true);
  [[nodiscard]] bool Encode(const PngPixels& px, std::vector<uint8_t>& out);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Writes the pixels as a PNG file through a temporary file beside `path`, so a
// failed write leaves an existing file as it was. Rows are fetched band_bytes
// at a time.
[[nodiscard]] bool WritePngFile(const PngPixels& px, const std::wstring& path,
                                uint32_t band_bytes = kPngBandBytes);

// The same encoding into memory (the clipboard's "PNG" format).
[[nodiscard]] bool EncodePng(const PngPixels& px, std::vector<uint8_t>& out);

// Runs write(temp) on a temporary name beside path and puts the result in
// place of path only when it succeeded; the temporary file never stays.
[[nodiscard]] bool WriteReplacing(const std::wstring& path,
                                  const std::function<bool(const std::wstring&)>& write);

}  // namespace base
