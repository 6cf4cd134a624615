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
  if (h.biBitCount != 4 && h.biBitCount != 8 && h.biBitCount != 24) {
    d.check = DibCheck::OtherDepth;
    return d;
  }
  d.colours = DibColourEntries(h.biBitCount);
  d.bits_offset = DibBitsOffset(h.biBitCount);
  const uint64_t need =
      DibStride(static_cast<uint32_t>(h.biWidth), h.biBitCount) * static_cast<uint64_t>(h.biHeight);
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
