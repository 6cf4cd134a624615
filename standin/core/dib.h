#pragma once
// Packed device-independent bitmaps as the stand-in module hands them out:
// a 40-byte BITMAPINFOHEADER, exactly 2/16/256 colour entries for 1/4/8 bits
// per pixel (none for 16 and 24), bottom-up rows padded to 4 bytes, and
// biSizeImage holding the exact byte size of the rows.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace standin {

size_t PackedSize(int width, int height, int bit_count);
bool SupportedDepth(int bit_count);

// Generated pictures: a gradient ground with a few shapes, varied by seed. With
// keyed, everything outside the central figure is the colour key (see Overlay).
struct SynthParams {
  int width = 0;
  int height = 0;
  int bit_count = 8;
  uint32_t seed = 0;
  bool keyed = false;
};
// out must hold PackedSize(width, height, bit_count) bytes.
void Synthesize(const SynthParams& s, uint8_t* out);
std::vector<uint8_t> Synthesize(const SynthParams& s);

// "640x480x8", "640x480x8:7" or "640x480x8:7:key".
bool ParseSynthParams(const std::string& text, SynthParams& out);

enum class ReadResult { Ok, CantOpen, Bad };
// Reads a .bmp file (uncompressed 1/4/8/16/24 bits, bottom-up or top-down)
// and returns it normalised to the packed layout above.
ReadResult ReadBmpFile(const std::wstring& path, std::vector<uint8_t>& packed);
// Parses an in-memory .bmp file the same way.
ReadResult ParseBmpFile(const uint8_t* data, size_t size, std::vector<uint8_t>& packed);
bool WriteBmpFile(const std::wstring& path, const uint8_t* packed, size_t size);

// A decoded view of a packed DIB, for reading single pixels.
class DibView {
 public:
  // Validates the packed layout; ok() false when it does not hold.
  DibView(const uint8_t* packed, size_t size);
  bool ok() const { return ok_; }
  int width() const { return w_; }
  int height() const { return h_; }
  int bit_count() const { return bpp_; }
  // 0x00RRGGBB of the pixel at x, y (y = 0 is the top row).
  uint32_t Rgb(int x, int y) const;
  // The colour key: palette index 0 for 1/4/8 bits, pure magenta for 16/24.
  bool IsKey(int x, int y) const;

 private:
  uint32_t Raw(int x, int y) const;
  const uint8_t* p_;
  const uint8_t* bits_ = nullptr;
  const RGBQUAD* pal_ = nullptr;
  int w_ = 0, h_ = 0, bpp_ = 0;
  uint32_t stride_ = 0;
  bool ok_ = false;
};

// Lays picture over background: key pixels of picture show the background
// (black where the background does not reach), others keep the picture's
// colour. The result is a 24-bit packed DIB of the picture's size.
std::vector<uint8_t> Overlay(const DibView& picture, const DibView& background);

}  // namespace standin
