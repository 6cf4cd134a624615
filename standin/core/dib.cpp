#include "standin/core/dib.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/diag.h"
#include "cgmodule/bmpfile.h"

namespace standin {
namespace {

constexpr uint32_t kMagenta = 0xFF00FF;

struct Rgb3 {
  int r, g, b;
};

Rgb3 Lerp(Rgb3 a, Rgb3 b, int t) {  // t: 0..255
  return {a.r + (b.r - a.r) * t / 255, a.g + (b.g - a.g) * t / 255, a.b + (b.b - a.b) * t / 255};
}

uint32_t Pack(Rgb3 c) { return (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | uint32_t(c.b); }

Rgb3 SeedColour(uint32_t seed, int which) {
  uint32_t v = seed * 2654435761u + uint32_t(which) * 40503u;
  v ^= v >> 13;
  v *= 0x5bd1e995u;
  v ^= v >> 15;
  return {int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF)};
}

// Ground runs between the first two seed colours, the figure from the third
// to a light tone, so the figure stands out whatever the seed.
struct Ramps {
  Rgb3 g0, g1, f0, f1;
  explicit Ramps(uint32_t seed)
      : g0(SeedColour(seed, 0)),
        g1(SeedColour(seed, 1)),
        f0(SeedColour(seed, 2)),
        f1{240, 240, 230} {
    g0 = {g0.r / 2, g0.g / 2, g0.b / 2};  // darker ground
  }
};

void WriteHeader(uint8_t* out, int w, int h, int bpp) {
  BITMAPINFOHEADER bi = cgmodule::DibInfoHeader(w, h, uint16_t(bpp));
  bi.biXPelsPerMeter = bi.biYPelsPerMeter = 3780;
  std::memcpy(out, &bi, sizeof bi);
}

void PutIndex(uint8_t* row, int x, int bpp, uint32_t v) {
  switch (bpp) {
    case 8: row[x] = uint8_t(v); break;
    case 4: {
      uint8_t& b = row[x >> 1];
      b = (x & 1) ? uint8_t((b & 0xF0) | (v & 0x0F)) : uint8_t((b & 0x0F) | (v << 4));
      break;
    }
    case 1: {
      const uint8_t mask = uint8_t(0x80 >> (x & 7));
      if (v)
        row[x >> 3] |= mask;
      else
        row[x >> 3] &= uint8_t(~mask);
      break;
    }
  }
}

void PutRgb(uint8_t* row, int x, int bpp, uint32_t rgb) {
  if (bpp == 24) {
    row[x * 3] = uint8_t(rgb);
    row[x * 3 + 1] = uint8_t(rgb >> 8);
    row[x * 3 + 2] = uint8_t(rgb >> 16);
  } else {  // 16: 5-5-5
    const uint16_t v =
        uint16_t((((rgb >> 19) & 31) << 10) | (((rgb >> 11) & 31) << 5) | ((rgb >> 3) & 31));
    row[x * 2] = uint8_t(v);
    row[x * 2 + 1] = uint8_t(v >> 8);
  }
}

uint32_t ReadLe32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

bool SupportedDepth(int bit_count) {
  return bit_count == 1 || bit_count == 4 || bit_count == 8 || bit_count == 16 || bit_count == 24;
}

size_t PackedSize(int width, int height, int bit_count) {
  return sizeof(BITMAPINFOHEADER) + 4 * size_t(cgmodule::DibColourEntries(bit_count)) +
         size_t(uint32_t(cgmodule::DibStride(width, bit_count))) * size_t(height);
}

void Synthesize(const SynthParams& s, uint8_t* out) {
  const int w = s.width, h = s.height, bpp = s.bit_count;
  WriteHeader(out, w, h, bpp);
  const Ramps ramps(s.seed);
  const uint32_t entries = cgmodule::DibColourEntries(bpp);
  auto* pal = reinterpret_cast<RGBQUAD*>(out + sizeof(BITMAPINFOHEADER));
  // Palette: 0 black (the key), the lower half the ground ramp, the upper half
  // the figure ramp.
  const uint32_t half = entries / 2;
  for (uint32_t i = 0; i < entries; ++i) {
    Rgb3 c{0, 0, 0};
    if (entries == 2)
      c = i ? Rgb3{255, 255, 255} : Rgb3{0, 0, 0};
    else if (i == 0)
      c = {0, 0, 0};
    else if (i < half)
      c = Lerp(ramps.g0, ramps.g1, int((i - 1) * 255 / (half - 2)));
    else
      c = Lerp(ramps.f0, ramps.f1, int((i - half) * 255 / (half - 1)));
    pal[i] = RGBQUAD{uint8_t(c.b), uint8_t(c.g), uint8_t(c.r), 0};
  }
  uint8_t* bits = out + sizeof(BITMAPINFOHEADER) + 4 * entries;
  const uint32_t stride = uint32_t(cgmodule::DibStride(w, bpp));
  std::memset(bits, 0, size_t(stride) * size_t(h));

  const int cx = w / 2 + int(s.seed % 7) * w / 40 - 3 * w / 40;
  const int cy = h / 2;
  const int r = std::max(1, std::min(w, h) / 3);
  const int stripe_top = h * 3 / 4, stripe_bottom = stripe_top + std::max(1, h / 12);
  const bool palette = entries != 0;
  // Everything that divides is tabulated: the batch benchmark renders
  // thousands of these.
  std::vector<int> col_level(size_t(std::max(w, 1))), col_cell(size_t(std::max(w, 1)));
  const int cell = r / 3 + 1;
  const uint32_t shape = (s.seed / 7) % 3;
  for (int x = 0; x < w; ++x) {
    col_level[size_t(x)] = x * 255 / std::max(1, w - 1);
    col_cell[size_t(x)] = (x - cx + r) / cell;
  }
  std::vector<int> fig_level(size_t(w + h + 2));
  for (size_t d = 0; d < fig_level.size(); ++d)
    fig_level[d] = 255 - std::min(255, int(d) * 255 / (2 * r));
  uint32_t ground_colour[256], figure_colour[256];
  for (int level = 0; level < 256; ++level) {
    if (palette) {
      ground_colour[level] = entries == 2 ? (level > 127) : 1 + uint32_t(level) * (half - 2) / 255;
      figure_colour[level] =
          entries == 2 ? (level > 127) : half + uint32_t(level) * (half - 1) / 255;
    } else {
      ground_colour[level] = Pack(Lerp(ramps.g0, ramps.g1, level));
      figure_colour[level] = Pack(Lerp(ramps.f0, ramps.f1, level));
      if (ground_colour[level] == kMagenta) ground_colour[level] = 0xFE00FF;
      if (figure_colour[level] == kMagenta) figure_colour[level] = 0xFE00FF;
    }
  }
  const uint32_t key_colour = palette ? 0 : kMagenta;

  for (int y = 0; y < h; ++y) {
    uint8_t* row = bits + size_t(h - 1 - y) * stride;  // bottom-up
    const int row_level = y * 255 / std::max(1, h - 1);
    const int dy = y - cy;
    const int row_cell = (y - cy + r) / cell;
    const bool stripes = y >= stripe_top && y < stripe_bottom;
    for (int x = 0; x < w; ++x) {
      const int dx = x - cx;
      bool in_figure;
      switch (shape) {
        case 0: in_figure = dx * dx + dy * dy <= r * r; break;                // disc
        case 1: in_figure = std::abs(dx) + std::abs(dy) <= r * 5 / 4; break;  // diamond
        default: in_figure = std::abs(dx) <= r && std::abs(dy) <= r * 3 / 4;  // panel
      }
      uint32_t colour;
      if (in_figure) {
        int level = fig_level[size_t(std::abs(dx) + std::abs(dy))];
        if ((col_cell[size_t(x)] + row_cell) % 5 == 0) level /= 2;
        colour = figure_colour[level];
      } else if (s.keyed) {
        colour = key_colour;
      } else {
        int level = (col_level[size_t(x)] + row_level) / 2;
        if (stripes && ((x >> 4) & 1)) level = 255 - level;
        colour = ground_colour[level];
      }
      if (palette)
        PutIndex(row, x, bpp, colour);
      else
        PutRgb(row, x, bpp, colour);
    }
  }
}

std::vector<uint8_t> Synthesize(const SynthParams& s) {
  std::vector<uint8_t> v(PackedSize(s.width, s.height, s.bit_count));
  Synthesize(s, v.data());
  return v;
}

bool ParseSynthParams(const std::string& text, SynthParams& out) {
  SynthParams s;
  const char* p = text.c_str();
  char* end = nullptr;
  auto number = [&](long max) -> long {
    const long v = std::strtol(p, &end, 10);
    if (end == p || v <= 0 || v > max) return -1;
    p = end;
    return v;
  };
  const long w = number(16384);
  if (w < 0 || *p++ != 'x') return false;
  const long h = number(16384);
  if (h < 0 || *p++ != 'x') return false;
  const long b = number(32);
  if (b < 0 || !SupportedDepth(int(b))) return false;
  s.width = int(w);
  s.height = int(h);
  s.bit_count = int(b);
  if (*p == ':') {
    ++p;
    const unsigned long seed = std::strtoul(p, &end, 10);
    if (end == p) return false;
    s.seed = uint32_t(seed);
    p = end;
    if (*p == ':') {
      if (std::strcmp(p + 1, "key") != 0) return false;
      s.keyed = true;
      p += 4;
    }
  }
  if (*p != '\0') return false;
  out = s;
  return true;
}

ReadResult ParseBmpFile(const uint8_t* data, size_t size, std::vector<uint8_t>& packed) {
  if (size < cgmodule::kBitmapHeadersSize || !cgmodule::HasBitmapFileType(data))
    return ReadResult::Bad;
  const uint32_t bits_at = ReadLe32(data + 10);
  BITMAPINFOHEADER bi;
  std::memcpy(&bi, data + cgmodule::kBitmapFileHeaderSize, sizeof bi);
  // Heights are compared as 64-bit values: the most negative one has no magnitude.
  const int64_t height = bi.biHeight;
  if (bi.biSize < sizeof bi || bi.biCompression != BI_RGB || bi.biWidth <= 0 || height == 0 ||
      bi.biWidth > 65536 || height > 65536 || height < -65536 || !SupportedDepth(bi.biBitCount))
    return ReadResult::Bad;
  const int w = bi.biWidth, h = int(height < 0 ? -height : height), bpp = bi.biBitCount;
  const bool top_down = height < 0;
  const uint32_t entries = cgmodule::DibColourEntries(bpp);
  const uint32_t used = bi.biClrUsed && bi.biClrUsed < entries ? bi.biClrUsed : entries;
  const uint32_t stride = uint32_t(cgmodule::DibStride(w, bpp));
  // Every offset and size in 64 bits, so that nothing a header claims can wrap
  // around and pass for something the file holds.
  const uint64_t pal_at = 14 + uint64_t(bi.biSize);
  const uint64_t row_bytes = uint64_t(stride) * uint64_t(h);
  if (pal_at + 4 * uint64_t(used) > size || bits_at > size || size - bits_at < row_bytes)
    return ReadResult::Bad;
  packed.assign(PackedSize(w, h, bpp), 0);
  WriteHeader(packed.data(), w, h, bpp);
  auto* hdr = reinterpret_cast<BITMAPINFOHEADER*>(packed.data());
  hdr->biXPelsPerMeter = bi.biXPelsPerMeter;
  hdr->biYPelsPerMeter = bi.biYPelsPerMeter;
  std::memcpy(packed.data() + sizeof bi, data + size_t(pal_at), 4 * size_t(used));
  uint8_t* bits = packed.data() + sizeof bi + 4 * size_t(entries);
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = data + bits_at + size_t(top_down ? h - 1 - y : y) * stride;
    std::memcpy(bits + size_t(y) * stride, src, stride);
  }
  return ReadResult::Ok;
}

ReadResult ReadBmpFile(const std::wstring& path, std::vector<uint8_t>& packed) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return ReadResult::CantOpen;
  std::vector<uint8_t> data;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(f, &size) && size.QuadPart < (512ll << 20);
  if (ok) {
    data.resize(size_t(size.QuadPart));
    DWORD got = 0;
    ok = data.empty() ||
         (ReadFile(f, data.data(), DWORD(data.size()), &got, nullptr) && got == data.size());
  }
  KOLBRI_LOG_IF_FALSE(CloseHandle(f));
  if (!ok) return ReadResult::CantOpen;
  return ParseBmpFile(data.data(), data.size(), packed);
}

bool WriteBmpFile(const std::wstring& path, const uint8_t* packed, size_t size) {
  BITMAPINFOHEADER bi;
  if (size < sizeof bi) return false;
  std::memcpy(&bi, packed, sizeof bi);
  uint8_t fh[cgmodule::kBitmapFileHeaderSize];
  const uint32_t offset = cgmodule::DibBitsOffset(bi.biBitCount);
  if (size < offset || size > UINT32_MAX ||
      !cgmodule::FillFileHeader(bi.biBitCount, uint32_t(size - offset), fh))
    return false;
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0, put2 = 0;
  const bool ok = WriteFile(f, &fh, sizeof fh, &put, nullptr) && put == sizeof fh &&
                  WriteFile(f, packed, DWORD(size), &put2, nullptr) && put2 == size;
  // A failed close can lose buffered data: the file counts as not written.
  const bool closed = KOLBRI_LOG_IF_FALSE(CloseHandle(f));
  return ok && closed;
}

DibView::DibView(const uint8_t* packed, size_t size) : p_(packed) {
  BITMAPINFOHEADER bi;
  if (!packed || size < sizeof bi) return;
  std::memcpy(&bi, packed, sizeof bi);
  if (bi.biSize != sizeof bi || bi.biWidth <= 0 || bi.biHeight <= 0 || bi.biCompression != BI_RGB ||
      !SupportedDepth(bi.biBitCount))
    return;
  w_ = bi.biWidth;
  h_ = bi.biHeight;
  bpp_ = bi.biBitCount;
  stride_ = uint32_t(cgmodule::DibStride(w_, bpp_));
  const uint64_t pal_bytes = 4 * uint64_t(cgmodule::DibColourEntries(bpp_));
  if (bi.biWidth > 65536 || sizeof bi + pal_bytes + uint64_t(stride_) * uint64_t(h_) > size) return;
  pal_ = reinterpret_cast<const RGBQUAD*>(packed + sizeof bi);
  bits_ = packed + sizeof bi + pal_bytes;
  ok_ = true;
}

uint32_t DibView::Raw(int x, int y) const {
  const uint8_t* row = bits_ + size_t(h_ - 1 - y) * stride_;
  switch (bpp_) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    case 8: return row[x];
    case 16: return uint32_t(row[x * 2]) | (uint32_t(row[x * 2 + 1]) << 8);
    default:
      return uint32_t(row[x * 3]) | (uint32_t(row[x * 3 + 1]) << 8) |
             (uint32_t(row[x * 3 + 2]) << 16);
  }
}

uint32_t DibView::Rgb(int x, int y) const {
  const uint32_t v = Raw(x, y);
  switch (bpp_) {
    case 1:
    case 4:
    case 8: {
      const RGBQUAD q = pal_[v];
      return (uint32_t(q.rgbRed) << 16) | (uint32_t(q.rgbGreen) << 8) | q.rgbBlue;
    }
    case 16: {
      auto e = [](uint32_t c) { return (c << 3) | (c >> 2); };
      return (e((v >> 10) & 31) << 16) | (e((v >> 5) & 31) << 8) | e(v & 31);
    }
    default: return v;
  }
}

bool DibView::IsKey(int x, int y) const {
  const uint32_t v = Raw(x, y);
  switch (bpp_) {
    case 16: return v == 0x7C1F;
    case 24: return v == kMagenta;
    default: return v == 0;
  }
}

std::vector<uint8_t> Overlay(const DibView& picture, const DibView& background) {
  const int w = picture.width(), h = picture.height();
  std::vector<uint8_t> out(PackedSize(w, h, 24));
  WriteHeader(out.data(), w, h, 24);
  uint8_t* bits = out.data() + sizeof(BITMAPINFOHEADER);
  const uint32_t stride = uint32_t(cgmodule::DibStride(w, 24));
  for (int y = 0; y < h; ++y) {
    uint8_t* row = bits + size_t(h - 1 - y) * stride;
    for (int x = 0; x < w; ++x) {
      uint32_t rgb;
      if (!picture.IsKey(x, y))
        rgb = picture.Rgb(x, y);
      else if (background.ok() && x < background.width() && y < background.height())
        rgb = background.Rgb(x, y);
      else
        rgb = 0;
      PutRgb(row, x, 24, rgb);
    }
  }
  return out;
}

}  // namespace standin
