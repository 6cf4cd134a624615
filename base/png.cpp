#include "base/png.h"

#include <wincodec.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "base/com.h"
#include "base/diag.h"

namespace base {
namespace {

// COM for this call on this thread, whatever the thread had before.
class ComScope {
 public:
  ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  // RPC_E_CHANGED_MODE: the thread is in the other apartment; COM is up.
  bool Up() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT hr_;
};

const GUID* FormatFor(int bit_count) {
  switch (bit_count) {
    case 1: return &GUID_WICPixelFormat1bppIndexed;
    case 4: return &GUID_WICPixelFormat4bppIndexed;
    case 8: return &GUID_WICPixelFormat8bppIndexed;
    case 24: return &GUID_WICPixelFormat24bppBGR;
    default: return nullptr;
  }
}

HRESULT EncodeFrame(IWICImagingFactory* factory, IStream* stream, const PngPixels& px,
                    uint32_t band_bytes) {
  const GUID* format = FormatFor(px.bit_count);
  if (!format || px.width <= 0 || px.height <= 0 || !px.rows) return E_INVALIDARG;
  ComPtr<IWICBitmapEncoder> encoder;
  HRESULT hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put());
  if (SUCCEEDED(hr)) hr = encoder->Initialize(stream, WICBitmapEncoderNoCache);
  ComPtr<IWICBitmapFrameEncode> frame;
  if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(frame.put(), nullptr);
  if (SUCCEEDED(hr)) hr = frame->Initialize(nullptr);
  if (SUCCEEDED(hr)) hr = frame->SetSize(static_cast<UINT>(px.width), static_cast<UINT>(px.height));
  WICPixelFormatGUID got = *format;
  if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&got);
  // An encoder that would store another format would change the pixels.
  if (SUCCEEDED(hr) && !IsEqualGUID(got, *format)) hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
  if (SUCCEEDED(hr) && px.bit_count <= 8) {
    // On the frame: Wine's encoder refuses a palette on the encoder object.
    const size_t n = std::min<size_t>(px.palette.size(), size_t{1} << px.bit_count);
    std::vector<WICColor> colors(std::max<size_t>(n, 1), 0xFF000000u);
    for (size_t i = 0; i < n; ++i) {
      const RGBQUAD& c = px.palette[i];
      colors[i] =
          0xFF000000u | (WICColor{c.rgbRed} << 16) | (WICColor{c.rgbGreen} << 8) | c.rgbBlue;
    }
    ComPtr<IWICPalette> palette;
    hr = factory->CreatePalette(palette.put());
    if (SUCCEEDED(hr))
      hr = palette->InitializeCustom(colors.data(), static_cast<UINT>(colors.size()));
    if (SUCCEEDED(hr)) hr = frame->SetPalette(palette.get());
  }
  const uint32_t stride = px.Stride();
  const int band = static_cast<int>(std::max<uint32_t>(1, band_bytes / stride));
  std::unique_ptr<uint8_t[]> rows;
  if (SUCCEEDED(hr)) {
    rows.reset(new (std::nothrow) uint8_t[static_cast<size_t>(stride) * std::min(band, px.height)]);
    if (!rows) hr = E_OUTOFMEMORY;
  }
  for (int first = 0; SUCCEEDED(hr) && first < px.height; first += band) {
    const int n = std::min(band, px.height - first);
    if (!px.rows(first, n, rows.get())) {
      hr = E_FAIL;
      break;
    }
    hr =
        frame->WritePixels(static_cast<UINT>(n), stride, stride * static_cast<UINT>(n), rows.get());
  }
  if (SUCCEEDED(hr)) hr = frame->Commit();
  if (SUCCEEDED(hr)) hr = encoder->Commit();
  return hr;
}

ComPtr<IWICImagingFactory> Factory() {
  ComPtr<IWICImagingFactory> f;
  KOLBRI_LOG_IF_FAILED(
      CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, KOLBRI_IID_PPV(f)));
  return f;
}

// Pixel `x` of a row at depth `bits` (1, 4, 8: the index; 24: three bytes) put
// at `to` of `out`.
void CopyPixel(const uint8_t* row, int x, int bits, uint8_t* out, int to) {
  if (bits == 24) {
    std::memcpy(out + static_cast<size_t>(to) * 3, row + static_cast<size_t>(x) * 3, 3);
    return;
  }
  if (bits == 8) {
    out[to] = row[x];
    return;
  }
  const int per_byte = 8 / bits;
  const int mask = (1 << bits) - 1;
  const int from_shift = (per_byte - 1 - x % per_byte) * bits;
  const int to_shift = (per_byte - 1 - to % per_byte) * bits;
  const int v = (row[x / per_byte] >> from_shift) & mask;
  uint8_t& b = out[to / per_byte];
  b = static_cast<uint8_t>((b & ~(mask << to_shift)) | (v << to_shift));
}

}  // namespace

PngPixels ZoomPixels(const PngPixels& src, int zoom) {
  if (zoom <= 1) return src;
  PngPixels px;
  px.bit_count = src.bit_count;
  px.palette = src.palette;
  if (src.width <= 0 || src.height <= 0 || src.width > INT32_MAX / zoom ||
      src.height > INT32_MAX / zoom || !src.rows)
    return px;
  px.width = src.width * zoom;
  px.height = src.height * zoom;
  const PngPixels* from = &src;
  const uint32_t out_stride = px.Stride();
  // The source row last read, kept across calls: a band seldom starts on a new one.
  auto last = std::make_shared<std::pair<int, std::vector<uint8_t>>>(-1, std::vector<uint8_t>());
  px.rows = [from, zoom, out_stride, last](int first, int count, uint8_t* out) {
    std::vector<uint8_t>& row = last->second;
    if (row.empty()) row.resize(from->Stride());
    for (int i = 0; i < count; ++i) {
      uint8_t* o = out + static_cast<size_t>(i) * out_stride;
      const int y = (first + i) / zoom;
      if (i > 0 && y == (first + i - 1) / zoom) {
        std::memcpy(o, o - out_stride, out_stride);  // the same source row again
        continue;
      }
      if (last->first != y) {
        if (!from->rows(y, 1, row.data())) return false;
        last->first = y;
      }
      std::memset(o, 0, out_stride);
      const uint8_t* r = row.data();
      if (from->bit_count == 8) {
        uint8_t* p = o;
        for (int x = 0; x < from->width; ++x)
          for (int k = 0; k < zoom; ++k) *p++ = r[x];
      } else {
        for (int x = 0; x < from->width; ++x)
          for (int k = 0; k < zoom; ++k) CopyPixel(r, x, from->bit_count, o, x * zoom + k);
      }
    }
    return true;
  };
  return px;
}

PngPixels PngFromDib(const BITMAPINFO* info, const void* bits) {
  PngPixels px;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  px.width = h.biWidth;
  px.height = h.biHeight;
  px.bit_count = h.biBitCount;
  if (!FormatFor(px.bit_count) || px.width <= 0 || px.height <= 0) return px;
  if (px.bit_count <= 8) {
    const uint32_t n = h.biClrUsed ? h.biClrUsed : 1u << px.bit_count;
    px.palette.assign(info->bmiColors, info->bmiColors + std::min(n, 1u << px.bit_count));
  }
  const uint32_t stride = px.Stride();
  const auto* base = static_cast<const uint8_t*>(bits);
  const int height = px.height;
  px.rows = [base, stride, height](int first, int count, uint8_t* out) {
    for (int i = 0; i < count; ++i)
      std::memcpy(out + static_cast<size_t>(i) * stride,
                  base + static_cast<size_t>(height - 1 - (first + i)) * stride, stride);
    return true;
  };
  return px;
}

bool WriteReplacing(const std::wstring& path,
                    const std::function<bool(const std::wstring&)>& write) {
  const std::wstring temp = path + L".kolbri-tmp";
  if (!write(temp)) {
    // Nothing may have been created: only a file that is there is reported.
    if (GetFileAttributesW(temp.c_str()) != INVALID_FILE_ATTRIBUTES)
      KOLBRI_LOG_IF_FALSE(DeleteFileW(temp.c_str()));
    return false;
  }
  if (!MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    KOLBRI_LOG_IF_FALSE(DeleteFileW(temp.c_str()));
    return false;
  }
  return true;
}

struct PngEncoder::State {
  ComScope com;
  ComPtr<IWICImagingFactory> factory;
};

PngEncoder::PngEncoder() : state_(std::make_unique<State>()) {
  if (state_->com.Up()) state_->factory = Factory();
}

PngEncoder::~PngEncoder() = default;

bool PngEncoder::Ready() const { return state_->factory.get() != nullptr; }

bool PngEncoder::WriteFile(const PngPixels& px, const std::wstring& path, uint32_t band_bytes,
                           bool replacing) {
  if (!Ready()) return false;
  auto write = [&](const std::wstring& target) {
    ComPtr<IWICStream> stream;
    HRESULT hr = state_->factory->CreateStream(stream.put());
    if (SUCCEEDED(hr)) hr = stream->InitializeFromFilename(target.c_str(), GENERIC_WRITE);
    if (SUCCEEDED(hr)) hr = EncodeFrame(state_->factory.get(), stream.get(), px, band_bytes);
    // The file must be closed before it is moved or deleted.
    stream.reset();
    return SUCCEEDED(KOLBRI_LOG_IF_FAILED(hr));
  };
  return replacing ? WriteReplacing(path, write) : write(path);
}

bool PngEncoder::Encode(const PngPixels& px, std::vector<uint8_t>& out) {
  if (!Ready()) return false;
  IWICImagingFactory* factory = state_->factory.get();
  ComPtr<IStream> stream;
  HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
  if (SUCCEEDED(hr)) hr = EncodeFrame(factory, stream.get(), px, kPngBandBytes);
  STATSTG st{};
  if (SUCCEEDED(hr)) hr = stream->Stat(&st, STATFLAG_NONAME);
  if (SUCCEEDED(hr) && st.cbSize.QuadPart > 0x7FFFFFFF) hr = E_OUTOFMEMORY;
  if (SUCCEEDED(hr)) {
    try {
      out.resize(static_cast<size_t>(st.cbSize.QuadPart));
    } catch (const std::bad_alloc&) {
      hr = E_OUTOFMEMORY;
    }
  }
  const LARGE_INTEGER zero{};
  if (SUCCEEDED(hr)) hr = stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  ULONG read = 0;
  if (SUCCEEDED(hr)) hr = stream->Read(out.data(), static_cast<ULONG>(out.size()), &read);
  if (SUCCEEDED(hr) && read != out.size()) hr = E_FAIL;
  return SUCCEEDED(KOLBRI_LOG_IF_FAILED(hr));
}

bool WritePngFile(const PngPixels& px, const std::wstring& path, uint32_t band_bytes) {
  return PngEncoder().WriteFile(px, path, band_bytes);
}

bool EncodePng(const PngPixels& px, std::vector<uint8_t>& out) {
  return PngEncoder().Encode(px, out);
}

}  // namespace base
