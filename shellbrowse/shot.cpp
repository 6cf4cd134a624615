#include "shellbrowse/shot.h"

#include <cstdint>
#include <vector>

#include "base/diag.h"
#include "base/handle.h"
#include "cgmodule/bmpfile.h"

namespace browse {

bool SaveScreen(const std::wstring& path) {
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  const base::WindowDC screen(nullptr);
  const base::UniqueDC copy(CreateCompatibleDC(screen.get()));
  const base::UniqueBitmap bitmap(CreateCompatibleBitmap(screen.get(), width, height));
  if (!copy || !bitmap) return false;
  // Bottom-up, as a BMP file stores its rows.
  BITMAPINFOHEADER info = cgmodule::DibInfoHeader(width, height, 24);
  uint8_t file[cgmodule::kBitmapFileHeaderSize];
  if (!cgmodule::FillFileHeader(24, info.biSizeImage, file)) return false;
  std::vector<BYTE> pixels(info.biSizeImage);
  {
    const base::SelectedObject selected(copy.get(), bitmap.get());
    if (!KOLBRI_LOG_IF_FALSE(BitBlt(copy.get(), 0, 0, width, height, screen.get(), 0, 0, SRCCOPY) !=
                             FALSE))
      return false;
  }
  if (!GetDIBits(copy.get(), bitmap.get(), 0, static_cast<UINT>(height), pixels.data(),
                 reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS))
    return false;
  const base::UniqueFile out(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return out && WriteFile(out.get(), file, sizeof file, &written, nullptr) &&
         WriteFile(out.get(), &info, sizeof info, &written, nullptr) &&
         WriteFile(out.get(), pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
}

}  // namespace browse
