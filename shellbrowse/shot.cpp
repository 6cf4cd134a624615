#include "shellbrowse/shot.h"

#include <vector>

#include "base/diag.h"
#include "base/handle.h"

namespace browse {

bool SaveScreen(const std::wstring& path) {
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  const base::WindowDC screen(nullptr);
  const base::UniqueDC copy(CreateCompatibleDC(screen.get()));
  const base::UniqueBitmap bitmap(CreateCompatibleBitmap(screen.get(), width, height));
  if (!copy || !bitmap) return false;
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;  // bottom-up, as a BMP file stores its rows
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<BYTE> pixels(static_cast<size_t>(stride) * static_cast<size_t>(height));
  {
    const base::SelectedObject selected(copy.get(), bitmap.get());
    if (!KOLBRI_LOG_IF_FALSE(BitBlt(copy.get(), 0, 0, width, height, screen.get(), 0, 0, SRCCOPY) !=
                             FALSE))
      return false;
  }
  if (!GetDIBits(copy.get(), bitmap.get(), 0, static_cast<UINT>(height), pixels.data(),
                 reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS))
    return false;
  BITMAPFILEHEADER file{};
  constexpr WORD kBmpSignature = 0x4D42;  // "BM"
  file.bfType = kBmpSignature;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  const base::UniqueFile out(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return out && WriteFile(out.get(), &file, sizeof file, &written, nullptr) &&
         WriteFile(out.get(), &info, sizeof info, &written, nullptr) &&
         WriteFile(out.get(), pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
}

}  // namespace browse
