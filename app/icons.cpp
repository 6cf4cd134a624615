#include "app/icons.h"

#include <commctrl.h>

#include "base/diag.h"

namespace app {
namespace {

constexpr COLORREF kKey = RGB(255, 0, 255);
constexpr COLORREF kOutline = RGB(128, 96, 0);
constexpr COLORREF kYellow = RGB(255, 224, 96);
constexpr COLORREF kDarkYellow = RGB(224, 176, 48);

void Poly(HDC dc, std::initializer_list<POINT> pts, COLORREF fill, COLORREF line) {
  base::UniqueBrush b(CreateSolidBrush(fill));
  base::UniquePen p(CreatePen(PS_SOLID, 1, line));
  base::SelectedObject sb(dc, b.get());
  base::SelectedObject sp(dc, p.get());
  Polygon(dc, pts.begin(), static_cast<int>(pts.size()));
}

void ClosedFolder(HDC dc, int x) {
  Poly(dc, {{x + 1, 3}, {x + 6, 3}, {x + 7, 4}, {x + 14, 4}, {x + 14, 13}, {x + 1, 13}}, kYellow,
       kOutline);
  Poly(dc, {{x + 1, 5}, {x + 14, 5}, {x + 14, 6}, {x + 1, 6}}, kDarkYellow, kDarkYellow);
}

void OpenFolder(HDC dc, int x) {
  Poly(dc, {{x + 1, 3}, {x + 6, 3}, {x + 7, 4}, {x + 13, 4}, {x + 13, 13}, {x + 1, 13}},
       kDarkYellow, kOutline);
  Poly(dc, {{x + 4, 7}, {x + 15, 7}, {x + 12, 13}, {x + 1, 13}}, kYellow, kOutline);
}

void PageWithGlass(HDC dc, int x) {
  Poly(dc, {{x + 2, 1}, {x + 10, 1}, {x + 13, 4}, {x + 13, 14}, {x + 2, 14}}, RGB(255, 255, 255),
       RGB(64, 64, 64));
  {
    base::UniquePen grey(CreatePen(PS_SOLID, 1, RGB(128, 128, 128)));
    base::SelectedObject sg(dc, grey.get());
    for (int y = 3; y <= 5; y += 2) {
      KOLBRI_LOG_IF_FALSE(MoveToEx(dc, x + 4, y, nullptr));
      KOLBRI_LOG_IF_FALSE(LineTo(dc, x + 10, y));
    }
  }
  base::UniqueBrush glass(CreateSolidBrush(RGB(160, 208, 255)));
  base::UniquePen rim(CreatePen(PS_SOLID, 1, RGB(0, 0, 128)));
  base::UniquePen handle(CreatePen(PS_SOLID, 2, RGB(96, 48, 0)));
  {
    base::SelectedObject sb(dc, glass.get());
    base::SelectedObject sp(dc, rim.get());
    KOLBRI_LOG_IF_FALSE(Ellipse(dc, x + 5, 6, x + 12, 13));
  }
  base::SelectedObject sp(dc, handle.get());
  KOLBRI_LOG_IF_FALSE(MoveToEx(dc, x + 11, 12, nullptr));
  KOLBRI_LOG_IF_FALSE(LineTo(dc, x + 15, 16));
}

}  // namespace

base::UniqueImageList CreateTreeImages() {
  base::UniqueImageList list(ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 3, 0));
  base::WindowDC screen(nullptr);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 48, 16, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  base::UniqueBitmap strip(CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  {
    base::UniqueDC dc(CreateCompatibleDC(screen.get()));
    base::SelectedObject sel(dc.get(), strip.get());
    base::UniqueBrush key(CreateSolidBrush(kKey));
    RECT all{0, 0, 48, 16};
    FillRect(dc.get(), &all, key.get());
    ClosedFolder(dc.get(), 0);
    OpenFolder(dc.get(), 16);
    PageWithGlass(dc.get(), 32);
  }
  KOLBRI_LOG_IF_FALSE(ImageList_AddMasked(list.get(), strip.get(), kKey) >= 0);
  return list;
}

}  // namespace app
