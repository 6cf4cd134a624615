#include "cgmodule/picture.h"

#include <cstring>
#include <utility>

#include "base/diag.h"

namespace cgmodule {

PictureBlock::PictureBlock(HGLOBAL h) : block_(h) {
  if (!h) return;
  data_ = GlobalLock(h);
  if (!KOLBRI_LOG_IF_FALSE(data_ != nullptr)) return;
  lock_.reset(h);
  size_ = GlobalSize(h);
}

PictureBlock::PictureBlock(PictureBlock&& o) noexcept
    : block_(std::move(o.block_)),
      lock_(std::move(o.lock_)),
      data_(std::exchange(o.data_, nullptr)),
      size_(std::exchange(o.size_, 0)) {}

PictureBlock& PictureBlock::operator=(PictureBlock&& o) noexcept {
  if (this != &o) {
    lock_.reset();
    block_ = std::move(o.block_);
    lock_ = std::move(o.lock_);
    data_ = std::exchange(o.data_, nullptr);
    size_ = std::exchange(o.size_, 0);
  }
  return *this;
}

DibLayout ValidateDib(const void* p, size_t block_size) {
  DibLayout d;
  if (!p || block_size < sizeof(BITMAPINFOHEADER)) return d;
  BITMAPINFOHEADER h;
  std::memcpy(&h, p, sizeof h);
  d.width = h.biWidth;
  d.height = h.biHeight;
  d.bit_count = h.biBitCount;
  d.image_size = h.biSizeImage;
  // GDI refuses a plane count other than 1, which would be reported as a
  // memory failure further on.
  if (h.biSize != sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight <= 0 ||
      h.biPlanes != 1 || h.biCompression != BI_RGB) {
    d.check = DibCheck::BadHeader;
    return d;
  }
  switch (h.biBitCount) {
    case 4: d.colours = 16; break;
    case 8: d.colours = 256; break;
    case 24: d.colours = 0; break;
    default: d.check = DibCheck::OtherDepth; return d;
  }
  d.bits_offset = sizeof(BITMAPINFOHEADER) + 4 * d.colours;
  // In 64 bits: a row size that wrapped around would pass a huge width for a
  // small one.
  const uint64_t stride = (static_cast<uint64_t>(h.biWidth) * h.biBitCount + 31) / 32 * 4;
  const uint64_t need = stride * static_cast<uint64_t>(h.biHeight);
  if (h.biSizeImage < need) {
    d.check = DibCheck::BadImageSize;
    return d;
  }
  if (static_cast<uint64_t>(d.bits_offset) + h.biSizeImage > block_size) {
    d.check = DibCheck::Truncated;
    return d;
  }
  d.check = DibCheck::Ok;
  return d;
}

}  // namespace cgmodule
