// Main-window benchmarks against bare Win32 doing the same work in the same run:
//   index_tree_100k: filling the index tree from a 100,000-entry index, three
//     levels deep, vs a loop inserting the same nodes into a bare tree view;
//   render_zoom_2560_400: time to the first painted screen of a 2560x1920
//     picture at 400 %, and the process's peak private bytes meanwhile;
//   fit_2560: that picture at 100 % shown fitted into the default window,
//     until painted, vs the bars going and one HALFTONE StretchBlt of the
//     same sizes;
//   select_to_painted: a 640x480 picture selected at 100 % until the output
//     area (picture and scroll bars) is painted, vs MakeBmp, the DIB into a
//     bitmap, both scroll bars set and one visible BitBlt;
//   zoom_step_to_painted: 100 % -> 200 % -> 300 % -> 400 %, each until painted,
//     vs both scroll bars set for the new size and one visible StretchBlt each;
//   wheel_scroll_400: one wheel notch at 400 % until painted, vs ScrollWindowEx,
//     the bar's new position and the exposed strip's StretchBlt.
// The bare legs draw on a plain window with the output area's size and the
// same scroll bars (WS_HSCROLL | WS_VSCROLL, SetScrollInfo).
//   save_2560: saving the 640x480 picture at 400 % through the menu (rows
//     zoomed band by band, through a temporary file) vs the same zoom,
//     reading the bits, writing them to a new file and renaming it;
//   save_png_2560: the 640x480 8-bit picture at 400 % saved as PNG through
//     the menu vs the platform's PNG encoder writing the same 2560x1920
//     indexed pixels, made beforehand, to a file.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <psapi.h>
#include <wincodec.h>

#include "app/picture.h"
#include "app/umain.h"
#include "app/uverdlg.h"
#include "cgmodule/bmpfile.h"
#include "standin/core/dib.h"
#include "tests/support/testsupport.h"
#include "winui/msgbox.h"
#include "base/com.h"
#include "base/text.h"

namespace {

double Now() {
  static LARGE_INTEGER f = [] {
    LARGE_INTEGER x;
    QueryPerformanceFrequency(&x);
    return x;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

// One line per figure; ratio is the median of the per-round ratios.
void Report(const char* name, double ours, double bare, double ratio, const char* detail) {
  std::printf("%s: %.1f ms, bare %.1f ms, ratio %.2f (%s; %s)\n", name, ours, bare, ratio,
              KOLBRI_BENCH_ARCH, detail);
  std::fflush(stdout);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The host's load average while the bench ran (through Wine's Z: drive).
std::string LoadNote() {
  HANDLE f = CreateFileW(L"Z:\\proc\\loadavg", GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "host load unknown";
  char buf[64] = {};
  DWORD n = 0;
  ReadFile(f, buf, sizeof buf - 1, &n, nullptr);
  CloseHandle(f);
  const std::string s(buf, n);
  return "host load " + s.substr(0, s.find(' '));
}

struct NullDialog : settings::ISettingsDialog {
  settings::DialogPaths paths{};
  settings::DialogPaths& Paths() override { return paths; }
  int32_t ShowModalOnPage(int) override { return settings::kCancelled; }
  int32_t Result() const override { return settings::kCancelled; }
  void ShowBatchTab(bool) override {}
  void EnableBatchStart(bool) override {}
  void SetBatchHost(const settings::BatchHost&) override {}
  bool ConversionRunning() const override { return false; }
};

// The same nodes with the same images, inserted the plainest way into a tree
// that, like the viewer's, holds the previous load's nodes.
// What a load waits for: every entry read (the viewer copies the names), the
// top level added; a category's items are added when it is opened.
double BareTree(HWND tree, const OrvuIndexEntry* root) {
  const double t0 = Now();
  SendMessageW(tree, WM_SETREDRAW, FALSE, 0);
  SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  std::vector<const OrvuIndexEntry*> stack{root};
  std::vector<std::string> names;
  wchar_t text[512];
  while (!stack.empty()) {
    const OrvuIndexEntry* e = stack.back();
    if (!e || !e->Name) {
      stack.pop_back();
      continue;
    }
    stack.back() = e + 1;
    names.emplace_back(e->Name);
    if (stack.size() == 1) {
      MultiByteToWideChar(932, 0, e->Name, -1, text, 512);
      TVINSERTSTRUCTW is{};
      is.hParent = TVI_ROOT;
      is.hInsertAfter = TVI_LAST;
      is.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
      is.item.pszText = text;
      is.item.lParam = reinterpret_cast<LPARAM>(e);
      is.item.iImage = e->IsCategory() ? 0 : 2;
      is.item.iSelectedImage = e->IsCategory() ? 1 : 2;
      is.item.cChildren = e->IsCategory() && e->Children && e->Children->Name ? 1 : 0;
      SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&is));
    }
    if (e->IsCategory()) stack.push_back(e->Children);
  }
  SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(tree, nullptr, TRUE);
  return Now() - t0;
}

}  // namespace

int main() {
  winui::SetAppTitle(L"コルブリ");
  winui::SetMessageSink([](const std::wstring&, const std::wstring& t) {
    std::fprintf(stderr, "message: %s\n", base::ToSjis(t).c_str());
  });
  testsupport::UseModuleVariant("");
  testsupport::TempDir dir;

  std::wstring manifest = L"title bench\n";
  for (int a = 0; a < 10; ++a) {
    manifest += L"category 分類" + std::to_wstring(a) + L"\n";
    for (int b = 0; b < 10; ++b) {
      manifest += L"  category 小分類" + std::to_wstring(b) + L"\n";
      for (int c = 0; c < 999; ++c)
        manifest += L"    picture 絵" + std::to_wstring(a) + L"-" + std::to_wstring(b) + L"-" +
                    std::to_wstring(c) + L"\tsynth=8x8x8:1\n";
    }
  }
  manifest += L"picture p8\tsynth=640x480x8:8\npicture p24\tsynth=640x480x24:24\n";
  const std::wstring plugin =
      testsupport::InstallListedPlugin(dir.path(), L"big", base::ToSjis(manifest));
  const std::wstring plugin_2560 = testsupport::InstallListedPlugin(
      dir.path(), L"one", base::ToSjis(L"picture p2560\tsynth=2560x1920x8:5\n"));

  NullDialog dialog;
  app::TWMain m(dir.path() + L"kolbri.exe", {});
  m.Create();
  m.SetDialogs(&dialog, nullptr);
  m.Show();
  winui::PumpPending();

  const bool detail = getenv("KOLBRI_BENCH_DETAIL") != nullptr;
  // Paired rounds in alternating order (the machine is shared); the median of
  // the per-round ratios.
  auto paired = [&](const char* name, int rounds, const std::function<double()>& ours_leg,
                    const std::function<double()>& bare_leg) {
    std::vector<double> ours_ms, bare_ms, ratios;
    for (int round = 0; round < rounds; ++round) {
      double ours = 0, bare = 0;
      if (round % 2 == 0) {
        ours = ours_leg();
        bare = bare_leg();
      } else {
        bare = bare_leg();
        ours = ours_leg();
      }
      ours_ms.push_back(ours);
      bare_ms.push_back(bare);
      ratios.push_back(ours / bare);
      if (detail)
        std::fprintf(stderr, "(%s round %d: ours %.1f, bare %.1f)\n", name, round, ours, bare);
    }
    std::fprintf(stderr, "(%s: median of %d paired rounds)\n", name, rounds);
    Report(name, Median(ours_ms), Median(bare_ms), Median(ratios), LoadNote().c_str());
  };
  WNDCLASSW bare_class{};
  bare_class.lpfnWndProc = DefWindowProcW;
  bare_class.hInstance = GetModuleHandleW(nullptr);
  bare_class.lpszClassName = L"kolbri.bench.bare";
  RegisterClassW(&bare_class);
  const HWND box = m.ScrollBox_Output.hwnd();
  // The bare screen: a plain window as large as the output area, with the same
  // bars, beside the main window so that neither hides the other.
  RECT box_rect;
  GetWindowRect(box, &box_rect);
  const int box_w = box_rect.right - box_rect.left, box_h = box_rect.bottom - box_rect.top;
  HWND bare_view = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_CLIENTEDGE, bare_class.lpszClassName,
                                   L"", WS_POPUP | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL,
                                   GetSystemMetrics(SM_CXSCREEN) - box_w, 0, box_w, box_h, nullptr,
                                   nullptr, GetModuleHandleW(nullptr), nullptr);
  // Both bars for content of w x h, as any scrolling view sets them.
  auto bare_bars = [&](int w, int h, int x, int y) {
    RECT c;
    GetClientRect(bare_view, &c);
    SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, w - 1, UINT(c.right), x, 0};
    SetScrollInfo(bare_view, SB_HORZ, &si, TRUE);
    si = {sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, h - 1, UINT(c.bottom), y, 0};
    SetScrollInfo(bare_view, SB_VERT, &si, TRUE);
  };
  auto bare_client = [&] {
    RECT c;
    GetClientRect(bare_view, &c);
    return c;
  };
  winui::PumpPending();

  // render_zoom_2560_400 first, while the process's peak is still that of a
  // window with one small index: the peak's growth is what the picture costs.
  {
    if (m.LoadPlugin(base::ToSjis(plugin_2560)) != 0) return 1;
    m.ME_ViewClick(*m.ME_View4);
    winui::PumpPending();
    PROCESS_MEMORY_COUNTERS_EX before{sizeof before};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&before),
                         sizeof before);
    const double t0 = Now();
    m.TreeView1.Select(m.TreeView1.Root());
    RedrawWindow(m.ScrollBox_Output.hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    const double ms = Now() - t0;
    PROCESS_MEMORY_COUNTERS_EX after{sizeof after};
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&after),
                         sizeof after);
    if (app::BitmapSize(m.CurrentBitmap()).cx != 2560 || m.Image_Output.WidthPx() != 10240)
      return 1;
    HDC screen = GetDC(nullptr);
    const double bitmap_mb = 2560.0 * 1920 * GetDeviceCaps(screen, BITSPIXEL) / 8 / 1048576;
    const double screen_mb =
        double(GetSystemMetrics(SM_CXSCREEN)) * GetSystemMetrics(SM_CYSCREEN) * 4 / 1048576;
    ReleaseDC(nullptr, screen);
    const double peak_mb = double(after.PeakPagefileUsage - before.PagefileUsage) / 1048576;
    std::printf(
        "render_zoom_2560_400: %.1f ms, peak private +%.1f MB, target below %.1f MB (%s; 3 x "
        "the %.1f MB bitmap + one %.1f MB screen; %s)\n",
        ms, peak_mb, 3 * bitmap_mb + screen_mb, KOLBRI_BENCH_ARCH, bitmap_mb, screen_mb,
        LoadNote().c_str());
    std::fflush(stdout);
    m.ME_ViewClick(*m.ME_View1);
    winui::PumpPending();

    // fit_2560: from 100 % into fit, until painted (fit is left unmeasured).
    const HBITMAP big = m.CurrentBitmap();  // the same pixels, drawn the bare way
    SIZE fitted{};
    auto ours_fit = [&] {
      const double t0 = Now();
      m.ME_FitClick(*m.ME_Fit);
      const double t1 = Now();
      UpdateWindow(m.Image_Output.hwnd());
      const double t2 = Now();
      RedrawWindow(box, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
      const double ms = Now() - t0;
      if (detail) {
        InvalidateRect(m.Image_Output.hwnd(), nullptr, FALSE);
        const double t3 = Now();
        UpdateWindow(m.Image_Output.hwnd());
        std::fprintf(stderr, "  (fit: layout %.1f, image %.1f, rest %.1f; a repaint %.1f)\n",
                     t1 - t0, t2 - t1, ms - (t2 - t0), Now() - t3);
      }
      fitted = {m.Image_Output.WidthPx(), m.Image_Output.HeightPx()};
      m.ME_FitClick(*m.ME_Fit);
      winui::PumpPending();
      return ms;
    };
    ours_fit();
    if (fitted.cx >= 2560 || fitted.cy >= 1920) return 1;
    // The bare screen leaves a scrolled 100 % view too: its bars go (one
    // frame change for both, as the output area does) before the stretch.
    double stretch_ms = 0;
    auto bare_fit = [&] {
      ShowScrollBar(bare_view, SB_BOTH, TRUE);
      bare_bars(2560, 1920, 0, 0);
      winui::PumpPending();
      const double t0 = Now();
      ShowScrollBar(bare_view, SB_BOTH, FALSE);
      RedrawWindow(bare_view, nullptr, nullptr, RDW_UPDATENOW);
      const double t1 = Now();
      base::WindowDC dc(bare_view);
      base::UniqueDC mem(CreateCompatibleDC(dc.get()));
      base::SelectedObject sel(mem.get(), big);
      SetStretchBltMode(dc.get(), HALFTONE);
      SetBrushOrgEx(dc.get(), 0, 0, nullptr);
      StretchBlt(dc.get(), 0, 0, fitted.cx, fitted.cy, mem.get(), 0, 0, 2560, 1920, SRCCOPY);
      GdiFlush();
      const double t2 = Now();
      stretch_ms += t2 - t1;
      return t2 - t0;
    };
    paired("fit_2560", 5, ours_fit, bare_fit);
    if (detail) std::fprintf(stderr, "  (fit: the bare stretch alone %.1f)\n", stretch_ms / 5);
    ShowScrollBar(bare_view, SB_BOTH, TRUE);
  }

  // index_tree_100k: the bare tree sits in a plain window whose procedure is
  // DefWindowProc, so its notifications cost nothing beyond the control's own
  // work. One unmeasured load first: from then on both trees hold the previous
  // load's 100,012 nodes, as in a viewer that changes plug-ins. Paired rounds
  // in alternating order (the machine is shared); medians are reported.
  const RECT where = m.TreeView1.BoundsPx();
  HWND bare_parent =
      CreateWindowExW(0, bare_class.lpszClassName, L"", WS_CHILD | WS_VISIBLE, where.left,
                      where.top, where.right - where.left, where.bottom - where.top, m.hwnd(),
                      nullptr, GetModuleHandleW(nullptr), nullptr);
  HWND bare_tree = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS |
                                       TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                                   0, 0, where.right - where.left, where.bottom - where.top,
                                   bare_parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  SendMessageW(bare_tree, WM_SETFONT, reinterpret_cast<WPARAM>(winui::DefaultFont()), FALSE);
  TreeView_SetImageList(bare_tree, m.ImageList1.get(), TVSIL_NORMAL);
  TreeView_SetIndent(bare_tree, TreeView_GetIndent(m.TreeView1.hwnd()));
  if (m.LoadPlugin(base::ToSjis(plugin)) != 0) return 1;
  BareTree(bare_tree, m.Context()->IndexRoot);
  std::vector<double> ours_ms, bare_ms, tree_ratios;
  for (int round = 0; round < 5; ++round) {
    double ours = 0, bare = 0;
    for (int leg = 0; leg < 2; ++leg) {
      if ((leg == 0) == (round % 2 == 0)) {
        if (m.LoadPlugin(base::ToSjis(plugin)) != 0) return 1;
        ours = m.LastTreeFillMs();
      } else {
        bare = BareTree(bare_tree, m.Context()->IndexRoot);
      }
    }
    ours_ms.push_back(ours);
    bare_ms.push_back(bare);
    tree_ratios.push_back(ours / bare);
    if (getenv("KOLBRI_BENCH_DETAIL"))
      std::fprintf(stderr, "(index_tree round %d: ours %.1f, bare %.1f)\n", round, ours, bare);
  }
  DestroyWindow(bare_parent);
  std::fprintf(stderr, "(tree nodes: %d; median of 5 paired rounds)\n", m.TreeView1.Count());
  Report("index_tree_100k", Median(ours_ms), Median(bare_ms), Median(tree_ratios),
         LoadNote().c_str());

  HTREEITEM last = m.TreeView1.Root();
  while (HTREEITEM n = m.TreeView1.NextSibling(last)) last = n;
  HTREEITEM p8 = nullptr;
  for (HTREEITEM i = m.TreeView1.Root(); i; i = m.TreeView1.NextSibling(i))
    if (m.TreeView1.ItemText(i) == L"p8") p8 = i;
  const std::wstring out = dir.path() + L"out.bmp";
  const OrvuIndexEntry* p8_entry =
      reinterpret_cast<const cgmodule::IndexNode*>(m.TreeView1.Data(p8))->entry;

  // select_to_painted: from no picture (another node selected, unmeasured).
  auto ours_select = [&] {
    m.TreeView1.Select(last);
    winui::PumpPending();
    const double t0 = Now();
    m.TreeView1.Select(p8);
    RedrawWindow(box, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    return Now() - t0;
  };
  // The 100 % bitmap the bare legs below draw from.
  base::UniqueBitmap bare_bitmap;
  auto bare_select = [&] {
    winui::PumpPending();
    InvalidateRect(bare_view, nullptr, TRUE);
    winui::PumpPending();
    const double t0 = Now();
    base::WindowDC dc(bare_view);
    cgmodule::MakeBmpResult r = m.Module().MakeBmp(p8_entry, false);
    auto* info = static_cast<BITMAPINFO*>(GlobalLock(r.block));
    const int w = info->bmiHeader.biWidth, h = info->bmiHeader.biHeight;
    bare_bitmap.reset(CreateCompatibleBitmap(dc.get(), w, h));
    base::UniqueDC mem(CreateCompatibleDC(dc.get()));
    base::SelectedObject sel(mem.get(), bare_bitmap.get());
    SetDIBitsToDevice(
        mem.get(), 0, 0, w, h, 0, 0, 0, h,
        reinterpret_cast<uint8_t*>(info) + cgmodule::DibBitsOffset(info->bmiHeader.biBitCount),
        info, DIB_RGB_COLORS);
    GlobalUnlock(r.block);
    GlobalFree(r.block);
    bare_bars(w, h, 0, 0);
    const RECT c = bare_client();
    BitBlt(dc.get(), 0, 0, std::min<int>(c.right, w), std::min<int>(c.bottom, h), mem.get(), 0, 0,
           SRCCOPY);
    GdiFlush();
    return Now() - t0;
  };
  paired("select_to_painted", 9, ours_select, bare_select);

  // zoom_step_to_painted: 100 % -> 400 % a step at a time, each step painted.
  auto ours_zoom = [&] {
    m.ME_ViewClick(*m.ME_View1);
    winui::PumpPending();
    const double t0 = Now();
    for (winui::MenuItem* z : {m.ME_View2, m.ME_View3, m.ME_View4}) {
      m.ME_ViewClick(*z);
      RedrawWindow(box, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    return Now() - t0;
  };
  auto bare_zoom = [&] {
    bare_bars(640, 480, 0, 0);
    winui::PumpPending();
    const double t0 = Now();
    base::WindowDC dc(bare_view);
    base::UniqueDC mem(CreateCompatibleDC(dc.get()));
    base::SelectedObject sel(mem.get(), bare_bitmap.get());
    SetStretchBltMode(dc.get(), COLORONCOLOR);
    for (int z = 2; z <= 4; ++z) {
      bare_bars(640 * z, 480 * z, 0, 0);
      const RECT c = bare_client();
      const int vw = (c.right + z - 1) / z, vh = (c.bottom + z - 1) / z;
      StretchBlt(dc.get(), 0, 0, vw * z, vh * z, mem.get(), 0, 0, vw, vh, SRCCOPY);
      GdiFlush();
    }
    return Now() - t0;
  };
  paired("zoom_step_to_painted", 9, ours_zoom, bare_zoom);

  // wheel_scroll_400: one notch down at 400 % from the top, until painted.
  UINT wheel_lines = 3;
  SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &wheel_lines, 0);
  const int notch_px = int(wheel_lines) * winui::ScaleFor(box, 16);
  auto ours_wheel = [&] {
    m.ScrollBox_Output.ScrollTo(0, 0);
    winui::PumpPending();
    RECT r;
    GetWindowRect(box, &r);
    const double t0 = Now();
    SendMessageW(box, WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(-WHEEL_DELTA)),
                 MAKELPARAM(r.left + 50, r.top + 50));
    const double t1 = Now();
    UpdateWindow(m.Image_Output.hwnd());
    const double t2 = Now();
    RedrawWindow(box, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    const double ms = Now() - t0;
    if (detail)
      std::fprintf(stderr, "  (wheel: scroll %.1f, image %.1f, rest %.1f)\n", t1 - t0, t2 - t1,
                   ms - (t2 - t0));
    return ms;
  };
  auto bare_wheel = [&] {
    bare_bars(2560, 1920, 0, 0);
    winui::PumpPending();
    const double t0 = Now();
    base::WindowDC dc(bare_view);
    const RECT c = bare_client();
    ScrollWindowEx(bare_view, 0, -notch_px, nullptr, nullptr, nullptr, nullptr, 0);
    SCROLLINFO si{sizeof si, SIF_POS};
    si.nPos = notch_px;
    SetScrollInfo(bare_view, SB_VERT, &si, TRUE);
    // The strip that came into view: picture rows from (top + height - notch).
    const int z = 4, y_dev = c.bottom - notch_px;
    const int y0 = (notch_px + y_dev) / z, y1 = (notch_px + c.bottom + z - 1) / z;
    const int vw = (c.right + z - 1) / z;
    base::UniqueDC mem(CreateCompatibleDC(dc.get()));
    base::SelectedObject sel(mem.get(), bare_bitmap.get());
    SetStretchBltMode(dc.get(), COLORONCOLOR);
    StretchBlt(dc.get(), 0, y0 * z - notch_px, vw * z, (y1 - y0) * z, mem.get(), 0, y0, vw, y1 - y0,
               SRCCOPY);
    ValidateRect(bare_view, nullptr);
    GdiFlush();
    return Now() - t0;
  };
  ours_zoom();
  paired("wheel_scroll_400", 9, ours_wheel, bare_wheel);

  // save_2560: the 640x480 picture now shown at 400 %, saved over an existing
  // file, next to the same zoom and bytes written the bare way to a new file
  // that then replaces its target.
  const HBITMAP shown = m.CurrentBitmap();
  if (m.Zoom() != 4 || app::BitmapSize(shown).cx != 640) return 1;
  const std::wstring bare_tmp = dir.path() + L"bare.tmp", bare_out = dir.path() + L"bare.bmp";
  // The save dialog answers at once with the target and the filter.
  auto answer = [](const std::wstring& path, DWORD filter) {
    app::SaveDialog::Seam() = [path, filter](OPENFILENAMEW& o) {
      wcsncpy(o.lpstrFile, path.c_str(), o.nMaxFile - 1);
      o.nFilterIndex = filter;
      return TRUE;
    };
  };
  auto ours_save = [&] {
    answer(out, app::SaveDialog::kBitmapFilter);
    const double t0 = Now();
    SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Save->id(), 0);
    return Now() - t0;
  };
  auto bare_save = [&] {
    const double t0 = Now();
    HDC screen = GetDC(nullptr);
    HBITMAP zoomed = CreateCompatibleBitmap(screen, 2560, 1920);
    HDC from = CreateCompatibleDC(screen), to = CreateCompatibleDC(screen);
    HGDIOBJ a = SelectObject(from, shown), b = SelectObject(to, zoomed);
    StretchBlt(to, 0, 0, 2560, 1920, from, 0, 0, 640, 480, SRCCOPY);
    SelectObject(from, a);
    SelectObject(to, b);
    DeleteDC(from);
    DeleteDC(to);
    BITMAPINFO bi{};
    bi.bmiHeader = cgmodule::DibInfoHeader(2560, 1920, 24);
    std::vector<uint8_t> rows(size_t(2560) * 3 * 1920);
    GetDIBits(screen, zoomed, 0, 1920, rows.data(), &bi, DIB_RGB_COLORS);
    DeleteObject(zoomed);
    ReleaseDC(nullptr, screen);
    HANDLE f = CreateFileW(bare_tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    uint8_t fh[cgmodule::kBitmapFileHeaderSize];
    (void)cgmodule::FillFileHeader(24, DWORD(rows.size()), fh);  // 2560 x 1920 always fits
    WriteFile(f, fh, sizeof fh, &written, nullptr);
    WriteFile(f, &bi.bmiHeader, sizeof bi.bmiHeader, &written, nullptr);
    WriteFile(f, rows.data(), DWORD(rows.size()), &written, nullptr);
    CloseHandle(f);
    MoveFileExW(bare_tmp.c_str(), bare_out.c_str(), MOVEFILE_REPLACE_EXISTING);
    return Now() - t0;
  };
  ours_save();  // both targets exist from here on
  bare_save();
  paired("save_2560", 9, ours_save, bare_save);

  // save_png_2560
  m.TreeView1.Select(p8);
  winui::PumpPending();
  const std::wstring png_out = dir.path() + L"out.png", bare_png = dir.path() + L"bare.png";
  const std::vector<uint8_t> dib8 = standin::Synthesize({640, 480, 8, 8, false});
  std::vector<uint8_t> zoomed8(size_t(2560) * 1920);  // top row first
  const uint8_t* bits8 = dib8.data() + cgmodule::DibBitsOffset(8);
  for (int y = 0; y < 1920; ++y)
    for (int x = 0; x < 2560; ++x)
      zoomed8[size_t(y) * 2560 + x] = bits8[size_t(479 - y / 4) * 640 + x / 4];
  std::vector<WICColor> colors(256);
  const auto* table = reinterpret_cast<const RGBQUAD*>(dib8.data() + sizeof(BITMAPINFOHEADER));
  for (int i = 0; i < 256; ++i)
    colors[i] = 0xFF000000u | (table[i].rgbRed << 16) | (table[i].rgbGreen << 8) | table[i].rgbBlue;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  base::ComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              KOLBRI_IID_PPV(factory))))
    return 1;
  auto ours_png = [&] {
    answer(png_out, app::SaveDialog::kPngFilter);
    const double t0 = Now();
    SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Save->id(), 0);
    return Now() - t0;
  };
  auto bare_png_leg = [&] {
    const double t0 = Now();
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* enc = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    IWICPalette* pal = nullptr;
    WICPixelFormatGUID fmt = GUID_WICPixelFormat8bppIndexed;
    const bool ok =
        SUCCEEDED(factory->CreateStream(&stream)) &&
        SUCCEEDED(stream->InitializeFromFilename(bare_png.c_str(), GENERIC_WRITE)) &&
        SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &enc)) &&
        SUCCEEDED(enc->Initialize(stream, WICBitmapEncoderNoCache)) &&
        SUCCEEDED(enc->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
        SUCCEEDED(frame->SetSize(2560, 1920)) && SUCCEEDED(frame->SetPixelFormat(&fmt)) &&
        SUCCEEDED(factory->CreatePalette(&pal)) &&
        SUCCEEDED(pal->InitializeCustom(colors.data(), 256)) && SUCCEEDED(frame->SetPalette(pal)) &&
        SUCCEEDED(frame->WritePixels(1920, 2560, UINT(zoomed8.size()), zoomed8.data())) &&
        SUCCEEDED(frame->Commit()) && SUCCEEDED(enc->Commit());
    for (IUnknown* u : {static_cast<IUnknown*>(pal), static_cast<IUnknown*>(frame),
                        static_cast<IUnknown*>(enc), static_cast<IUnknown*>(stream)})
      if (u) u->Release();
    if (!ok) std::fprintf(stderr, "bare PNG encode failed\n");
    return Now() - t0;
  };
  ours_png();
  bare_png_leg();
  {
    WIN32_FILE_ATTRIBUTE_DATA a{}, b{};
    GetFileAttributesExW(png_out.c_str(), GetFileExInfoStandard, &a);
    GetFileAttributesExW(bare_png.c_str(), GetFileExInfoStandard, &b);
    std::fprintf(stderr, "(save_png_2560: ours %lu bytes, bare %lu bytes)\n", a.nFileSizeLow,
                 b.nFileSizeLow);
  }
  if (detail) {
    const auto* info8 = reinterpret_cast<const BITMAPINFO*>(dib8.data());
    const base::PngPixels px = base::PngFromDib(info8, bits8);
    for (int i = 0; i < 3; ++i) {
      double t0 = Now();
      if (!base::WritePngFile(base::ZoomPixels(px, 4), png_out))
        std::fprintf(stderr, "PNG write failed\n");
      double t1 = Now();
      base::PngEncoder enc;
      double t2 = Now();
      if (!enc.WriteFile(base::ZoomPixels(px, 4), png_out, base::kPngBandBytes, false))
        std::fprintf(stderr, "PNG encoder write failed\n");
      double t3 = Now();
      std::vector<uint8_t> buf(2560 * 1638);
      base::PngPixels z = base::ZoomPixels(px, 4);
      z.rows(0, 1638, buf.data());
      z.rows(1638, 282, buf.data());
      const double t4 = Now();
      std::string blob(38429, 'x');
      const bool replaced = base::WriteReplacing(png_out, [&](const std::wstring& temp) {
        HANDLE f = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD n;
        WriteFile(f, blob.data(), DWORD(blob.size()), &n, nullptr);
        CloseHandle(f);
        return true;
      });
      const double t5 = Now();
      if (!replaced) std::fprintf(stderr, "replacing write failed\n");
      {
        HANDLE f =
            CreateFileW(png_out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD n;
        WriteFile(f, blob.data(), DWORD(blob.size()), &n, nullptr);
        CloseHandle(f);
      }
      std::fprintf(stderr,
                   "(direct %.1f, encoder setup %.1f, no temp %.1f, zoom rows %.1f, replacing "
                   "write %.1f, plain write %.1f)\n",
                   t1 - t0, t2 - t1, t3 - t2, t4 - t3, t5 - t4, Now() - t5);
    }
  }
  paired("save_png_2560", 9, ours_png, bare_png_leg);
  DestroyWindow(bare_view);
  DestroyWindow(m.hwnd());
  return 0;
}
