#pragma once
// ImageList1: the index tree's three 16 x 16 node images, drawn in code
// (24-bit colour with a mask).
#include "base/handle.h"

namespace app {

constexpr int kImageFolder = 0;      // closed yellow folder: category
constexpr int kImageFolderOpen = 1;  // open yellow folder: selected category
constexpr int kImagePicture = 2;     // page with a magnifying glass: picture item

base::UniqueImageList CreateTreeImages();

}  // namespace app
