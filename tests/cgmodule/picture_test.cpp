#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "cgmodule/picture.h"

using cgmodule::DibCheck;
using cgmodule::ValidateDib;

namespace {

std::vector<uint8_t> Dib(int w, int h, int bpp, int colours, uint32_t image_size,
                         size_t extra = 0) {
  BITMAPINFOHEADER bi = cgmodule::DibInfoHeader(w, h, uint16_t(bpp));
  bi.biSizeImage = image_size;
  std::vector<uint8_t> v(sizeof bi + 4 * size_t(colours) + extra);
  std::memcpy(v.data(), &bi, sizeof bi);
  return v;
}

TEST(ValidateDib, AcceptsTheThreeDepthsWithTheirColourTables) {
  for (int bpp : {4, 8, 24}) {
    const int colours = bpp == 4 ? 16 : bpp == 8 ? 256 : 0;
    const uint32_t size = cgmodule::DibStride(3, uint16_t(bpp)) * 2;
    auto v = Dib(3, 2, bpp, colours, size, size);
    const auto d = ValidateDib(v.data(), v.size());
    EXPECT_EQ(d.check, DibCheck::Ok) << bpp;
    EXPECT_EQ(d.bits_offset, 40u + 4u * uint32_t(colours));
  }
}

TEST(ValidateDib, RefusesBlocksItCannotReadSafely) {
  EXPECT_EQ(ValidateDib(nullptr, 0).check, DibCheck::TooSmall);
  auto ok = Dib(640, 480, 8, 256, 640 * 480, 640 * 480);
  EXPECT_EQ(ValidateDib(ok.data(), 39).check, DibCheck::TooSmall);
  // Pixel rows claimed beyond the block's end.
  EXPECT_EQ(ValidateDib(ok.data(), ok.size() - 1).check, DibCheck::Truncated);
  // An image size smaller than the rows: a file written from it would be cut.
  auto small = Dib(640, 480, 8, 256, 100, 640 * 480);
  EXPECT_EQ(ValidateDib(small.data(), small.size()).check, DibCheck::BadImageSize);
  // A width whose row size wraps around 32 bits (0x0AAAAAAB * 24 bits) must not
  // pass for a 4-byte row.
  auto wide = Dib(0x0AAAAAAB, 1, 24, 0, 4, 4);
  EXPECT_EQ(ValidateDib(wide.data(), wide.size()).check, DibCheck::BadImageSize);
  auto neg = Dib(640, -480, 8, 256, 640 * 480, 640 * 480);
  EXPECT_EQ(ValidateDib(neg.data(), neg.size()).check, DibCheck::BadHeader);
  auto planes = ok;
  reinterpret_cast<BITMAPINFOHEADER*>(planes.data())->biPlanes = 0;
  EXPECT_EQ(ValidateDib(planes.data(), planes.size()).check, DibCheck::BadHeader);
  for (int bpp : {1, 16, 32}) {
    auto other = Dib(8, 8, bpp, 2, 4096, 4096);
    EXPECT_EQ(ValidateDib(other.data(), other.size()).check, DibCheck::OtherDepth) << bpp;
  }
}

TEST(BitmapFile, HeaderByteForByteAndPixelOffsets) {
  uint8_t hd[14];
  ASSERT_TRUE(cgmodule::FillFileHeader(8, 1000, hd));
  const uint8_t want8[14] = {'B', 'M', 0x1E, 0x08, 0,    0, 0,
                             0,   0,   0,    0x36, 0x04, 0, 0};  // 2078, 1078
  EXPECT_EQ(0, memcmp(hd, want8, 14));
  EXPECT_TRUE(cgmodule::HasBitmapFileType(hd));
  const std::pair<uint16_t, uint32_t> offsets[] = {
      {1, 62}, {4, 118}, {8, 1078}, {16, 54}, {24, 54}};
  for (auto [bpp, offset] : offsets) {
    ASSERT_TRUE(cgmodule::FillFileHeader(bpp, 10, hd)) << bpp;
    EXPECT_EQ(uint32_t(hd[10] | hd[11] << 8), offset) << bpp;
  }
  EXPECT_FALSE(cgmodule::FillFileHeader(2, 10, hd));
  EXPECT_FALSE(cgmodule::FillFileHeader(24, 0xFFFFFFFFu - 53, hd));  // 4 GiB
}

TEST(PictureBlock, LocksAndReportsTheBlockSize) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 1000);
  ASSERT_NE(h, nullptr);
  cgmodule::PictureBlock b(h);
  ASSERT_TRUE(b.Locked());
  EXPECT_GE(b.Size(), 1000u);
  cgmodule::PictureBlock moved(std::move(b));
  EXPECT_FALSE(b.Locked());
  EXPECT_EQ(moved.Handle(), h);
  EXPECT_FALSE(cgmodule::PictureBlock(nullptr).Locked());
}

}  // namespace
