#pragma once
// Picture blocks handed back by OrvuCmnMakeBmp: movable global memory holding a
// packed DIB. The caller owns them.
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "base/handle.h"
#include "cgmodule/bmpfile.h"

namespace cgmodule {

// Locks on construction, unlocks then frees on destruction.
class PictureBlock {
 public:
  PictureBlock() = default;
  explicit PictureBlock(HGLOBAL h);
  PictureBlock(PictureBlock&& o) noexcept;
  PictureBlock& operator=(PictureBlock&& o) noexcept;
  PictureBlock(const PictureBlock&) = delete;
  PictureBlock& operator=(const PictureBlock&) = delete;

  bool Locked() const { return data_ != nullptr; }
  const void* Data() const { return data_; }
  size_t Size() const { return size_; }  // GlobalSize of the block
  HGLOBAL Handle() const { return block_.get(); }

 private:
  // Declared in this order so that the lock ends before the block is freed.
  base::UniqueGlobal block_;
  base::UniqueGlobalLock lock_;
  void* data_ = nullptr;
  size_t size_ = 0;
};

enum class DibCheck {
  Ok,
  TooSmall,      // not even a 40-byte header
  BadHeader,     // biSize is not 40, width/height not positive, planes not 1, compressed
  OtherDepth,    // bit count other than 4, 8, 24 (header is sound; not displayed)
  Truncated,     // header + colour table + biSizeImage exceeds the block
  BadImageSize,  // biSizeImage smaller than the pixel rows need
};

struct DibLayout {
  DibCheck check = DibCheck::TooSmall;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t bit_count = 0;
  uint32_t colours = 0;      // colour-table entries: 16, 256 or 0
  uint32_t bits_offset = 0;  // 40 + 4 * colours
  uint32_t image_size = 0;   // biSizeImage
  bool ok() const { return check == DibCheck::Ok; }
};

// Checks a packed DIB of block_size bytes before anyone reads past its header.
DibLayout ValidateDib(const void* p, size_t block_size);

}  // namespace cgmodule
