// Picture display: every MakeBmp outcome, pixel-exact rendering at zoom 1 and
// 3, zoom/overlay/fitting commands, move-to-child and the redisplay callback.
#include "tests/support/main_window_fixture.h"

#include <ole2.h>
#include <shellapi.h>

#include <algorithm>
#include <thread>

#include "app/picture.h"
#include "standin/core/dib.h"
#include "base/handle.h"
#include "base/text.h"

namespace apptest {
namespace {

constexpr wchar_t kManifest[] =
    L"title 表示\n"
    L"picture p4\tsynth=40x30x4:4\n"
    L"picture p8\tsynth=40x30x8:8\n"
    L"picture p24\tsynth=40x30x24:24\n"
    L"picture p1\tsynth=40x30x1:1\n"
    L"picture p16\tsynth=40x30x16:16\n"
    L"picture m2\tresult=-2\n"
    L"picture m3\tresult=-3\n"
    L"picture m7\tresult=-7\n"
    L"picture null\tfault=nullblock\n"
    L"picture av\tfault=access\n"
    L"picture gp\tfault=guardpage\n"
    L"picture mis\tfault=misaligned\n"
    L"picture bp\tfault=breakpoint\n"
    L"picture ss\tfault=singlestep\n"
    L"picture thr\tfault=throw\n"
    L"picture over\tfault=oversize\tsynth=40x30x8:9\n"
    L"picture redisp\tfault=redisplay\tsynth=40x30x8:10\n"
    L"picture big\tsynth=320x200x8:32\n"
    L"picture wide\tsynth=8200x2x1:1\n"
    L"picture large\tsynth=4000x3000x24:12\n"
    L"picture 表示ソ\tsynth=16x16x24:5\n"
    L"category c1\n"
    L"  category c2\n"
    L"    picture deep\tsynth=20x10x24:6\n"
    L"  picture second\tsynth=8x8x8:7\n"
    L"category empty\n";

class Display : public AppTest {
 protected:
  app::TWMain& StartDisplay() {
    app::TWMain& m = Start({Plugin(L"disp", kManifest)});
    SetWindowPos(m.hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE);  // all of it on the screen
    return m;
  }
  // The current bitmap, at 100 %.
  testsupport::Pixels Shown() { return ReadBitmap(main->CurrentBitmap()); }
  // The part of the image the output area shows, in the image's coordinates.
  RECT VisiblePart() {
    RedrawWindow(main->hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT c;
    GetClientRect(main->ScrollBox_Output.hwnd(), &c);
    const POINT pos = main->ScrollBox_Output.ScrollPos();
    return {pos.x, pos.y, std::min<int>(pos.x + c.right, main->Image_Output.WidthPx()),
            std::min<int>(pos.y + c.bottom, main->Image_Output.HeightPx())};
  }
  // The screen shows this part of the picture enlarged by the zoom.
  ::testing::AssertionResult ShowsZoomed(const testsupport::Pixels& picture, RECT part) {
    return testsupport::SamePixels(ZoomedPart(picture, main->Zoom(), part),
                                   ReadWindow(main->Image_Output.hwnd(), part));
  }
  ::testing::AssertionResult ShowsZoomed(const testsupport::Pixels& picture) {
    return ShowsZoomed(picture, VisiblePart());
  }
  // Exactly the zoom items of this zoom are checked, in both menus.
  bool ZoomItemChecked(int zoom) {
    for (auto* item : {main->ME_View1, main->ME_View2, main->ME_View3, main->ME_View4,
                       main->PME_View21, main->PME_View22, main->PME_View23, main->PME_View24})
      if (item->Checked() != (item->tag == zoom)) return false;
    return true;
  }
};

TEST_F(Display, DepthsRenderPixelExactAtZoomOneAndThree) {
  app::TWMain& m = StartDisplay();
  struct Case {
    const wchar_t* node;
    const char* synth;
    const wchar_t* status;
  } cases[] = {{L"p4", "40x30x4:4", L"(40x30 pix, 16 col.)"},
               {L"p8", "40x30x8:8", L"(40x30 pix, 256 col.)"},
               {L"p24", "40x30x24:24", L"(40x30 pix, 32768 col.)"}};
  for (const Case& c : cases) {
    SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View1->id(), 0);
    SelectPath(c.node);
    EXPECT_EQ(m.StatusBar1.PanelText(1), c.status);
    EXPECT_TRUE(testsupport::SamePixels(SynthPixels(c.synth, 1), Shown())) << base::ToSjis(c.node);
    SendMessageW(m.hwnd(), WM_COMMAND, m.PME_View23->id(), 0);
    EXPECT_TRUE(ShowsZoomed(SynthPixels(c.synth))) << base::ToSjis(c.node);
    EXPECT_EQ(m.Image_Output.WidthPx(), 120);
    EXPECT_EQ(m.Image_Output.HeightPx(), 90);
  }
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(Display, OneAndSixteenBitsShowBlankWithShortStatus) {
  app::TWMain& m = StartDisplay();
  for (const wchar_t* node : {L"p1", L"p16"}) {
    SelectPath(node);
    EXPECT_EQ(m.StatusBar1.PanelText(1), L"(40x30 pix, ");
    const testsupport::Pixels p = Shown();
    ASSERT_EQ(p.width, 40);
    for (uint32_t v : p.rgb) ASSERT_EQ(v, 0xFFFFFFu);
  }
  EXPECT_TRUE(m.PicturePresent());
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(Display, EveryFailureHasItsMessageAndKeepsThePreviousPicture) {
  app::TWMain& m = StartDisplay();
  EXPECT_FALSE(m.ME_Save->Enabled());
  EXPECT_FALSE(m.ME_Copy->Enabled());
  SelectPath(L"m2");  // a failure before the first picture enables nothing
  EXPECT_FALSE(m.ME_Save->Enabled());
  EXPECT_FALSE(m.PicturePresent());
  EXPECT_FALSE(m.Image_Output.Visible());
  TakeMessages();
  SelectPath(L"p8");
  const testsupport::Pixels before = Shown();
  const std::wstring status = m.StatusBar1.PanelText(1);
  struct Case {
    const wchar_t* node;
    const wchar_t* message;
  } cases[] = {{L"m2", L"元ファイルが開けません(変換)"},
               {L"m3", L"メモリ確保に失敗しました(変換)"},
               {L"m7", L"何だかよく分からないエラーが発生しました（＾＾；(変換)"},
               {L"null", L"何だかよく分からないエラーが発生しました（＾＾；(変換)"},
               {L"thr", L"何だかよく分からないエラーが発生しました（＾＾；(変換)"},
               {L"av", L"内部でエラーが発生しました(変換)"},
               {L"gp", L"内部でエラーが発生しました(変換)"},
               {L"mis", L"内部でエラーが発生しました(変換)"},
               {L"bp", L"内部でエラーが発生しました(変換)"},
               {L"ss", L"内部でエラーが発生しました(変換)"},
               {L"over", L"何だかよく分からないエラーが発生しました（＾＾；(変換)"}};
  for (const Case& c : cases) {
    SelectPath(c.node);
    EXPECT_EQ(TakeMessages(), std::vector<std::wstring>{c.message}) << base::ToSjis(c.node);
    EXPECT_TRUE(testsupport::SamePixels(before, Shown()));
    EXPECT_EQ(m.StatusBar1.PanelText(1), status);
    EXPECT_TRUE(m.ME_Save->Enabled());
  }
  // After an access violation the module still works.
  SelectPath(L"p24");
  EXPECT_TRUE(testsupport::SamePixels(SynthPixels("40x30x24:24"), Shown()));
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(Display, RedisplayFromInsideMakeBmpDoesNotRenderTwice) {
  StartDisplay();
  SelectPath(L"c1");  // batch tab shown, then the nested request hides it again
  EXPECT_TRUE(dialog.batch_tab);
  SelectPath(L"redisp");
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_FALSE(dialog.batch_tab);
  EXPECT_FALSE(dialog.batch_start);
  EXPECT_TRUE(testsupport::SamePixels(SynthPixels("40x30x8:10"), Shown()));
  // From another thread the request is carried to the UI thread.
  SelectPath(L"p4");
  std::thread([] { app::TWMain::RedisplayCallback(nullptr, nullptr, nullptr); }).join();
  SelectPath(L"p8");  // changes the selection without the message being handled yet
  winui::PumpPending();
  EXPECT_TRUE(testsupport::SamePixels(SynthPixels("40x30x8:8"), Shown()));
}

TEST_F(Display, ZoomBeforeTheFirstPictureOnlyMovesChecks) {
  app::TWMain& m = StartDisplay();
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View4->id(), 0);
  for (auto* item : {m.ME_View1, m.ME_View2, m.ME_View3, m.PME_View21, m.PME_View22, m.PME_View23})
    EXPECT_FALSE(item->Checked());
  EXPECT_TRUE(m.ME_View4->Checked());
  EXPECT_TRUE(m.PME_View24->Checked());
  EXPECT_EQ(m.Zoom(), 4);
  EXPECT_FALSE(m.Image_Output.Visible());
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Overlay->id(), 0);  // nothing to render
  EXPECT_TRUE(m.ME_Overlay->Checked());
  EXPECT_TRUE(m.PME_OverLay->Checked());
  EXPECT_FALSE(m.PicturePresent());
  SelectPath(L"p8");
  EXPECT_TRUE(ShowsZoomed(SynthPixels("40x30x8:8")));
  SendMessageW(m.hwnd(), WM_COMMAND, m.PME_View22->id(), 0);
  EXPECT_TRUE(m.ME_View2->Checked());
  EXPECT_FALSE(m.ME_View4->Checked());
  EXPECT_EQ(m.Image_Output.WidthPx(), 80);
}

TEST_F(Display, OverlayRendersAgainWithTheNewFlag) {
  // A keyed picture over a background from the sample title.
  const std::wstring plugin = Plugin(L"ov", L"picture k\tsynth=40x30x8:3:key\tbg=bg.bmp\n");
  std::vector<uint8_t> bg = standin::Synthesize({40, 30, 24, 77, false});
  ASSERT_TRUE(standin::WriteBmpFile(dir.path() + L"bg.bmp", bg.data(), bg.size()));
  testsupport::WriteFileBytes(IniPath(), "[SYSTEM]\r\nRootDir=" + dir.sjis() + "\r\n");
  app::TWMain& m = Start({plugin});
  SelectPath(L"k");
  const testsupport::Pixels plain = Shown();
  SendMessageW(m.hwnd(), WM_COMMAND, m.PME_OverLay->id(), 0);
  EXPECT_TRUE(m.ME_Overlay->Checked());
  const testsupport::Pixels over = Shown();
  EXPECT_FALSE(testsupport::SamePixels(plain, over));
  EXPECT_EQ(m.StatusBar1.PanelText(1), L"(40x30 pix, 32768 col.)");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Overlay->id(), 0);
  EXPECT_TRUE(testsupport::SamePixels(plain, Shown()));
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(Display, WindowFittingSetsTheClientAreaWithoutUpperLimit) {
  app::TWMain& m = StartDisplay();
  SelectPath(L"big");
  const SIZE before = m.ClientSizePx();
  SendMessageW(m.hwnd(), WM_COMMAND, m.PME_AdjustWindow->id(), 0);
  EXPECT_TRUE(m.ME_AdjustWindow->Checked());
  EXPECT_TRUE(m.PME_AdjustWindow->Checked());
  const int left = m.ScrollBox_Output.BoundsPx().left;
  SIZE s = m.ClientSizePx();
  EXPECT_EQ(s.cx, 320 + left + 4);
  EXPECT_EQ(s.cy, 200 + m.StatusBar1.HeightPx() + 4);
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View4->id(), 0);
  s = m.ClientSizePx();
  EXPECT_EQ(s.cx, 1280 + left + 4);  // wider than the 1024-pixel screen
  EXPECT_EQ(s.cy, 800 + m.StatusBar1.HeightPx() + 4);
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_AdjustWindow->id(), 0);
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View1->id(), 0);
  EXPECT_EQ(m.ClientSizePx().cx, s.cx);  // fitting off: the size stays
  (void)before;
}

TEST_F(Display, CategoriesDriveTheBatchPageAndMoveToChild) {
  app::TWMain& m = StartDisplay();
  SelectPath(L"p8");
  const testsupport::Pixels before = Shown();
  // The batch page's tab and button follow the selection with the real dialog
  // (settings_mainwindow_test); here, the main window's own menus.
  SelectPath(L"c1");
  EXPECT_TRUE(m.ME_MulSave->Enabled());
  EXPECT_EQ(m.TreeView1.GetPopupMenu(), &m.PopupMenu2);
  EXPECT_EQ(m.StatusBar1.PanelText(1), L"(40x30 pix, 256 col.)");
  EXPECT_TRUE(testsupport::SamePixels(before, Shown()));
  SelectPath(L"p4");
  EXPECT_FALSE(m.ME_MulSave->Enabled());
  EXPECT_EQ(m.TreeView1.GetPopupMenu(), &m.PopupMenu1);

  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_OptCtgFocus->id(), 0);
  EXPECT_TRUE(m.ME_OptCtgFocus->Checked());
  SelectPath(L"c1");  // c1 -> c2 -> deep
  EXPECT_EQ(m.TreeView1.Selected(), Find(L"c1/c2/deep"));
  EXPECT_EQ(m.CurrentItem(), Find(L"c1/c2/deep"));
  EXPECT_TRUE(testsupport::SamePixels(SynthPixels("20x10x24:6"), Shown()));
  SelectPath(L"empty");  // no child: the selection is cleared
  EXPECT_EQ(m.TreeView1.Selected(), nullptr);
  EXPECT_TRUE(testsupport::SamePixels(SynthPixels("20x10x24:6"), Shown()));
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(Display, ScrolledPictureKeepsItsPlaceAcrossLayoutsAndResizes) {
  app::TWMain& m = StartDisplay();
  SelectPath(L"big");
  SendMessageW(m.ScrollBox_Output.hwnd(), WM_HSCROLL, SB_LINEDOWN, 0);
  SendMessageW(m.ScrollBox_Output.hwnd(), WM_VSCROLL, SB_LINEDOWN, 0);
  const POINT p = m.ScrollBox_Output.ScrollPos();
  ASSERT_GT(p.x, 0);
  ASSERT_GT(p.y, 0);
  // A zoom keeps the same picture point at the top-left of the view.
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View2->id(), 0);
  EXPECT_EQ(m.ScrollBox_Output.ScrollPos().x, 2 * p.x);
  EXPECT_EQ(m.ScrollBox_Output.ScrollPos().y, 2 * p.y);
  EXPECT_EQ(m.Image_Output.BoundsPx().left, -2 * p.x);
  EXPECT_EQ(m.Image_Output.WidthPx(), 640);
  SCROLLINFO si{sizeof si, SIF_ALL};
  GetScrollInfo(m.ScrollBox_Output.hwnd(), SB_HORZ, &si);
  EXPECT_EQ(si.nMax, 639);
  EXPECT_EQ(si.nPos, 2 * p.x);
  // Rendering again and resizing the window keep it.
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Overlay->id(), 0);
  RECT r;
  GetWindowRect(m.hwnd(), &r);
  SetWindowPos(m.hwnd(), nullptr, 0, 0, r.right - r.left - 20, r.bottom - r.top - 20,
               SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(m.ScrollBox_Output.ScrollPos().x, 2 * p.x);
  EXPECT_EQ(m.ScrollBox_Output.ScrollPos().y, 2 * p.y);
  EXPECT_EQ(m.Image_Output.BoundsPx().top, -2 * p.y);
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View1->id(), 0);
  EXPECT_EQ(m.ScrollBox_Output.ScrollPos().x, p.x);
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(Display, ScreenShowsWholePixelsAtEveryZoomScrollAndPartialRepaint) {
  app::TWMain& m = StartDisplay();
  SelectPath(L"big");
  const testsupport::Pixels picture = SynthPixels("320x200x8:32");
  for (auto* item : {m.ME_View1, m.ME_View2, m.ME_View3, m.ME_View4}) {
    SendMessageW(m.hwnd(), WM_COMMAND, item->id(), 0);
    EXPECT_TRUE(ShowsZoomed(picture)) << m.Zoom();
    // Not a multiple of the zoom: picture pixels are cut at the view's edge.
    if (m.Zoom() > 1) m.ScrollBox_Output.ScrollTo(37, 23);
    const RECT view = VisiblePart();
    EXPECT_TRUE(ShowsZoomed(picture, view)) << m.Zoom();
    // Only a small rectangle inside the view is painted again.
    {
      base::WindowDC dc(m.Image_Output.hwnd());
      PatBlt(dc.get(), view.left, view.top, view.right - view.left, view.bottom - view.top,
             BLACKNESS);
    }
    const RECT small{view.left + 51, view.top + 29, view.left + 82, view.top + 46};
    InvalidateRect(m.Image_Output.hwnd(), &small, FALSE);
    UpdateWindow(m.Image_Output.hwnd());
    EXPECT_TRUE(ShowsZoomed(picture, small)) << m.Zoom();
  }
  // The current bitmap stays at 100 %.
  EXPECT_TRUE(testsupport::SamePixels(picture, Shown()));
}

TEST_F(Display, FourThousandPixelsAtFourHundredShowTheirCornersAndFarEnd) {
  app::TWMain& m = StartDisplay();
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View4->id(), 0);
  SelectPath(L"large");
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(m.Image_Output.WidthPx(), 16000);
  EXPECT_EQ(m.Image_Output.HeightPx(), 12000);
  const testsupport::Pixels picture = SynthPixels("4000x3000x24:12");
  const HWND box = m.ScrollBox_Output.hwnd();
  for (const WPARAM h : {SB_TOP, SB_BOTTOM})
    for (const WPARAM v : {SB_TOP, SB_BOTTOM}) {
      SendMessageW(box, WM_HSCROLL, h, 0);
      SendMessageW(box, WM_VSCROLL, v, 0);
      const RECT view = VisiblePart();
      EXPECT_EQ(view.left == 0, h == SB_TOP);
      EXPECT_EQ(view.right == 16000, h == SB_BOTTOM);
      EXPECT_EQ(view.bottom == 12000, v == SB_BOTTOM);
      EXPECT_TRUE(ShowsZoomed(picture, view)) << h << v;
    }
}

TEST_F(Display, PictureTooWideForTheZoomIsReportedAndWhatIsShownStays) {
  app::TWMain& m = StartDisplay();
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View4->id(), 0);
  SelectPath(L"p8");
  const testsupport::Pixels before = Shown();
  const std::wstring status = m.StatusBar1.PanelText(1);
  const HBITMAP current = m.CurrentBitmap();
  // 32,800 pixels at 400 %: wider than a window can be.
  SelectPath(L"wide");
  EXPECT_EQ(TakeMessages(), std::vector<std::wstring>{L"メモリ確保に失敗しました(変換)"});
  EXPECT_TRUE(testsupport::SamePixels(before, Shown()));
  EXPECT_EQ(m.StatusBar1.PanelText(1), status);
  EXPECT_EQ(m.CurrentBitmap(), current);
  // Shown at 100 %, the zoom to 400 % fails and the zoom stays.
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View1->id(), 0);
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Overlay->id(), 0);  // renders "wide" again
  ASSERT_EQ(m.Image_Output.WidthPx(), 8200);
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View4->id(), 0);
  EXPECT_EQ(TakeMessages(), std::vector<std::wstring>{L"メモリ確保に失敗しました(変換)"});
  EXPECT_EQ(m.Zoom(), 1);
  EXPECT_EQ(m.MN_View->tag, 1);
  EXPECT_TRUE(m.ME_View1->Checked());
  EXPECT_FALSE(m.PME_View24->Checked());
  EXPECT_EQ(m.Image_Output.WidthPx(), 8200);
}

TEST(Picture, PixelsThatCannotBeCopiedGiveNoBitmap) {
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 4, 4, 1, 24, BI_JPEG, 0, 0, 0, 0, 0};
  uint8_t bits[64] = {};
  EXPECT_FALSE(app::BitmapFromDib(&bi, bits));
  bi.bmiHeader.biCompression = BI_RGB;
  EXPECT_TRUE(app::BitmapFromDib(&bi, bits));
}

// ---- wheel, keys, fit and full screen ---------------------------------------------

// A point of the output area's client area on the screen.
POINT BoxPoint(const app::TWMain& m, int x, int y) {
  POINT p{x, y};
  ClientToScreen(m.ScrollBox_Output.hwnd(), &p);
  return p;
}

int MaxPos(HWND box, int bar) {
  SCROLLINFO si{sizeof si, SIF_ALL};
  GetScrollInfo(box, bar, &si);
  return si.nMax - static_cast<int>(si.nPage) + 1;
}

TEST_F(Display, WheelScrollsToBothEndsAndCtrlWheelZoomsAroundThePointer) {
  app::TWMain& m = StartDisplay();
  SelectPath(L"big");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View2->id(), 0);
  const HWND box = m.ScrollBox_Output.hwnd();
  SetFocus(m.TreeView1.hwnd());  // the pointer decides, not the focus
  const POINT over = BoxPoint(m, 50, 40);
  UINT lines = 3;
  SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
  WheelAt(over, -WHEEL_DELTA);
  EXPECT_EQ(m.ScrollBox_Output.ScrollPos().y, static_cast<int>(lines) * winui::Scale(16));
  for (int i = 0; i < 40; ++i) WheelAt(over, -WHEEL_DELTA);
  EXPECT_EQ(m.ScrollBox_Output.ScrollPos().y, MaxPos(box, SB_VERT));
  for (int i = 0; i < 40; ++i) WheelAt(over, WHEEL_DELTA);
  EXPECT_EQ(m.ScrollBox_Output.ScrollPos().y, 0);
  for (int i = 0; i < 40; ++i) WheelAt(over, -WHEEL_DELTA, MK_SHIFT);
  EXPECT_EQ(m.ScrollBox_Output.ScrollPos().x, MaxPos(box, SB_HORZ));
  for (int i = 0; i < 40; ++i) WheelAt(over, -WHEEL_DELTA, 0, WM_MOUSEHWHEEL);  // tilt left
  EXPECT_EQ(m.ScrollBox_Output.ScrollPos().x, 0);
  EXPECT_EQ(m.ScrollBox_Output.ScrollPos().y, 0);
  // Over the tree the wheel stays the tree's.
  RECT tree;
  GetWindowRect(m.TreeView1.hwnd(), &tree);
  WheelAt({tree.left + 20, tree.top + 20}, -WHEEL_DELTA);
  EXPECT_EQ(m.ScrollBox_Output.ScrollPos().y, 0);

  // Ctrl+wheel: one zoom step a notch, the picture pixel under the pointer stays.
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View1->id(), 0);
  const POINT at = BoxPoint(m, 101, 77);
  auto pixel_under = [&] {
    POINT p = at;
    ScreenToClient(m.Image_Output.hwnd(), &p);
    return POINT{p.x / m.Zoom(), p.y / m.Zoom()};
  };
  const POINT before = pixel_under();
  for (int z : {2, 3, 4, 4}) {
    WheelAt(at, WHEEL_DELTA, MK_CONTROL);
    EXPECT_EQ(m.Zoom(), z);
    EXPECT_EQ(m.MN_View->tag, z);
    EXPECT_TRUE(ZoomItemChecked(z));
    EXPECT_EQ(pixel_under().x, before.x) << z;
    EXPECT_EQ(pixel_under().y, before.y) << z;
  }
  WheelAt(at, -WHEEL_DELTA, MK_CONTROL);
  EXPECT_EQ(m.Zoom(), 3);
  EXPECT_EQ(pixel_under().x, before.x);
  EXPECT_TRUE(ShowsZoomed(SynthPixels("320x200x8:32")));
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(Display, KeysZoomScrollAndWalkThePicturesAcrossCategories) {
  app::TWMain& m = StartDisplay();
  SetForegroundWindow(m.hwnd());
  SelectPath(L"表示ソ");
  SetFocus(m.TreeView1.hwnd());
  PressKey(VK_ADD);
  EXPECT_EQ(m.Zoom(), 2);
  PressKey(VK_OEM_PLUS, true);  // "+" on the main keyboard
  EXPECT_EQ(m.Zoom(), 3);
  PressKey(VK_SUBTRACT);
  PressKey(VK_OEM_MINUS);
  PressKey(VK_OEM_MINUS);  // stays at 100 %
  EXPECT_EQ(m.Zoom(), 1);
  EXPECT_TRUE(m.ME_View1->Checked());

  // Space: into c1 and c2 (opened) to "deep", then "second"; "empty" holds none.
  PressKey(VK_SPACE);
  EXPECT_EQ(m.CurrentItem(), Find(L"c1/c2/deep"));
  EXPECT_TRUE(TreeView_GetItemState(m.TreeView1.hwnd(), Find(L"c1/c2"), TVIS_EXPANDED) &
              TVIS_EXPANDED);
  EXPECT_TRUE(testsupport::SamePixels(SynthPixels("20x10x24:6"), Shown()));
  PressKey(VK_SPACE);
  EXPECT_EQ(m.CurrentItem(), Find(L"c1/second"));
  PressKey(VK_SPACE);
  EXPECT_EQ(m.CurrentItem(), Find(L"c1/second"));
  PressKey(VK_BACK);
  PressKey(VK_BACK);
  EXPECT_EQ(m.CurrentItem(), Find(L"表示ソ"));
  SelectPath(L"p4");
  PressKey(VK_BACK);
  EXPECT_EQ(m.CurrentItem(), Find(L"p4"));
  // The tree keeps its arrows.
  PressKey(VK_DOWN);
  EXPECT_EQ(m.TreeView1.Selected(), Find(L"p8"));

  // A click focuses the output area; then the arrows and page keys scroll it.
  SelectPath(L"big");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View3->id(), 0);
  ClickAt(BoxPoint(m, 30, 30));
  EXPECT_EQ(GetFocus(), m.ScrollBox_Output.hwnd());
  const HWND box = m.ScrollBox_Output.hwnd();
  PressKey(VK_DOWN);
  EXPECT_EQ(m.ScrollBox_Output.ScrollPos().y, winui::Scale(16));
  PressKey(VK_RIGHT);
  EXPECT_EQ(m.ScrollBox_Output.ScrollPos().x, winui::Scale(16));
  PressKey(VK_END);
  EXPECT_EQ(m.ScrollBox_Output.ScrollPos().y, MaxPos(box, SB_VERT));
  PressKey(VK_HOME);
  EXPECT_EQ(m.ScrollBox_Output.ScrollPos().y, 0);
  RECT c;
  GetClientRect(box, &c);
  PressKey(VK_NEXT);
  EXPECT_EQ(m.ScrollBox_Output.ScrollPos().y, c.bottom);
  PressKey(VK_PRIOR);
  EXPECT_EQ(m.ScrollBox_Output.ScrollPos().y, 0);
  EXPECT_EQ(m.TreeView1.Selected(), Find(L"big"));
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(Display, FitShrinksLargerPicturesOnlyAndAZoomChoiceLeavesIt) {
  app::TWMain& m = StartDisplay();
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_AdjustWindow->id(), 0);  // not applied in fit
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View2->id(), 0);
  const SIZE client = m.ClientSizePx();
  SendMessageW(m.hwnd(), WM_COMMAND, m.PME_Fit->id(), 0);
  EXPECT_TRUE(m.ME_Fit->Checked());
  for (auto* item : {m.ME_View1, m.ME_View2, m.ME_View3, m.ME_View4, m.PME_View21, m.PME_View22,
                     m.PME_View23, m.PME_View24})
    EXPECT_FALSE(item->Checked());
  const SIZE view = m.ScrollBox_Output.ViewSizePx();
  SelectPath(L"large");  // 4000 x 3000: shrunk to the view, the shape kept
  EXPECT_EQ(m.ClientSizePx().cx, client.cx);
  EXPECT_EQ(m.ClientSizePx().cy, client.cy);
  const int w = m.Image_Output.WidthPx(), h = m.Image_Output.HeightPx();
  EXPECT_TRUE(w == view.cx || h == view.cy) << w << "x" << h;
  EXPECT_LE(w, view.cx);
  EXPECT_LE(h, view.cy);
  EXPECT_NEAR(double(w) / h, 4.0 / 3.0, 0.02);
  EXPECT_EQ(MaxPos(m.ScrollBox_Output.hwnd(), SB_VERT), 1);  // no range: no bar
  // The screen shows the HALFTONE reduction.
  {
    const RECT part{0, 0, w, h};
    base::WindowDC screen(nullptr);
    base::UniqueDC src(CreateCompatibleDC(screen.get()));
    base::SelectedObject sel(src.get(), m.CurrentBitmap());
    base::UniqueBitmap want(CreateCompatibleBitmap(screen.get(), w, h));
    base::UniqueDC dst(CreateCompatibleDC(screen.get()));
    {
      base::SelectedObject s2(dst.get(), want.get());
      SetStretchBltMode(dst.get(), HALFTONE);
      SetBrushOrgEx(dst.get(), 0, 0, nullptr);
      StretchBlt(dst.get(), 0, 0, w, h, src.get(), 0, 0, 4000, 3000, SRCCOPY);
    }
    RedrawWindow(m.hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    EXPECT_TRUE(
        testsupport::SamePixels(ReadBitmap(want.get()), ReadWindow(m.Image_Output.hwnd(), part)));
  }
  SelectPath(L"p8");  // smaller than the view: never enlarged
  EXPECT_EQ(m.Image_Output.WidthPx(), 40);
  RedrawWindow(m.hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  EXPECT_TRUE(testsupport::SamePixels(SynthPixels("40x30x8:8"),
                                      ReadWindow(m.Image_Output.hwnd(), {0, 0, 40, 30})));
  // Copy takes 100 %.
  SelectPath(L"big");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Copy->id(), 0);
  ASSERT_TRUE(OpenClipboard(nullptr));
  const testsupport::Pixels copied = ReadBitmap(static_cast<HBITMAP>(GetClipboardData(CF_BITMAP)));
  CloseClipboard();
  EXPECT_TRUE(testsupport::SamePixels(SynthPixels("320x200x8:32"), copied));
  // A larger window fits again.
  RECT r;
  GetWindowRect(m.hwnd(), &r);
  SetWindowPos(m.hwnd(), nullptr, 0, 0, 900, 700, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(m.Image_Output.WidthPx(), 320);
  // Choosing a zoom leaves fit; window fitting applies again.
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View3->id(), 0);
  EXPECT_FALSE(m.ME_Fit->Checked());
  EXPECT_FALSE(m.PME_Fit->Checked());
  EXPECT_TRUE(m.ME_View3->Checked());
  EXPECT_EQ(m.Image_Output.WidthPx(), 960);
  EXPECT_EQ(m.ClientSizePx().cx, 960 + m.ScrollBox_Output.BoundsPx().left + 4);
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(Display, FullScreenFillsTheMonitorAndEscapeRestoresTheWindow) {
  app::TWMain& m = StartDisplay();
  SetForegroundWindow(m.hwnd());
  SelectPath(L"p8");
  SetFocus(m.TreeView1.hwnd());
  RECT before;
  GetWindowRect(m.hwnd(), &before);
  PressKey(VK_F11);
  ASSERT_TRUE(m.FullScreen());
  EXPECT_TRUE(m.ME_FullScreen->Checked());
  MONITORINFO mi{sizeof mi};
  GetMonitorInfoW(MonitorFromWindow(m.hwnd(), MONITOR_DEFAULTTONEAREST), &mi);
  RECT r;
  GetWindowRect(m.hwnd(), &r);
  EXPECT_TRUE(EqualRect(&r, &mi.rcMonitor));
  GetWindowRect(m.ScrollBox_Output.hwnd(), &r);
  EXPECT_TRUE(EqualRect(&r, &mi.rcMonitor));
  EXPECT_EQ(GetMenu(m.hwnd()), nullptr);
  EXPECT_FALSE(m.TreeView1.Visible());
  // Centred on black, pixel for pixel.
  const int mw = mi.rcMonitor.right - mi.rcMonitor.left;
  const int mh = mi.rcMonitor.bottom - mi.rcMonitor.top;
  EXPECT_EQ(m.Image_Output.BoundsPx().left, (mw - 40) / 2);
  EXPECT_EQ(m.Image_Output.BoundsPx().top, (mh - 30) / 2);
  EXPECT_TRUE(ShowsZoomed(SynthPixels("40x30x8:8")));
  const testsupport::Pixels corner = ReadWindow(m.ScrollBox_Output.hwnd(), {0, 0, 8, 8});
  for (uint32_t v : corner.rgb) ASSERT_EQ(v, 0u);
  // Keys, the wheel and fit work there.
  PressKey(VK_ADD);
  EXPECT_EQ(m.Image_Output.BoundsPx().left, (mw - 80) / 2);
  PressKey(VK_SPACE);
  EXPECT_EQ(m.CurrentItem(), Find(L"p24"));
  SelectPath(L"large");
  WheelAt(BoxPoint(m, 200, 200), -WHEEL_DELTA);
  EXPECT_GT(m.ScrollBox_Output.ScrollPos().y, 0);
  SendMessageW(m.hwnd(), WM_COMMAND, m.PME_Fit->id(), 0);
  EXPECT_EQ(m.Image_Output.HeightPx(), mh);
  EXPECT_EQ(m.Image_Output.BoundsPx().left, (mw - m.Image_Output.WidthPx()) / 2);
  PressKey(VK_ESCAPE);
  EXPECT_FALSE(m.FullScreen());
  GetWindowRect(m.hwnd(), &r);
  EXPECT_TRUE(EqualRect(&r, &before));
  EXPECT_NE(GetMenu(m.hwnd()), nullptr);
  EXPECT_TRUE(m.TreeView1.Visible());
  EXPECT_TRUE(m.StatusBar1.Visible());
  EXPECT_LT(m.ScrollBox_Output.BoundsPx().right, r.right - r.left);
  // F11 both ways.
  PressKey(VK_F11);
  EXPECT_TRUE(m.FullScreen());
  PressKey(VK_F11);
  EXPECT_FALSE(m.FullScreen());
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(Display, StatusPanelsCarryTheirWholeTextAsTip) {
  app::TWMain& m = StartDisplay();
  wchar_t tip[256] = {};
  SendMessageW(m.StatusBar1.hwnd(), SB_GETTIPTEXTW, MAKEWPARAM(0, 256),
               reinterpret_cast<LPARAM>(tip));
  EXPECT_EQ(std::wstring(tip), m.StatusBar1.PanelText(0));
  EXPECT_NE(std::wstring(tip), L"");
}

TEST_F(Display, ResolutionChangeRescalesLayoutAndFontsAndKeepsPicturePixelsExact) {
  // The manifest asks for per-monitor awareness (v2: the host-side resource
  // check reads it; Wine keeps only the level).
  using Get = DPI_AWARENESS_CONTEXT(WINAPI*)();
  using Level = DPI_AWARENESS(WINAPI*)(DPI_AWARENESS_CONTEXT);
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  const auto get = reinterpret_cast<Get>(GetProcAddress(user32, "GetThreadDpiAwarenessContext"));
  const auto level =
      reinterpret_cast<Level>(GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext"));
  if (get && level) {
    EXPECT_EQ(level(get()), DPI_AWARENESS_PER_MONITOR_AWARE);
  }

  app::TWMain& m = StartDisplay();
  SelectPath(L"big");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View2->id(), 0);
  const int from = m.Dpi(), to = from * 3 / 2;
  auto at = [&](int px) { return MulDiv(px, to, from); };
  const int tree_w = m.TreeView1.WidthPx(), status_h = m.StatusBar1.HeightPx();
  const int indent = static_cast<int>(TreeView_GetIndent(m.TreeView1.hwnd()));
  int parts[2] = {};
  SendMessageW(m.StatusBar1.hwnd(), SB_GETPARTS, 2, reinterpret_cast<LPARAM>(parts));
  RECT suggested;
  GetWindowRect(m.hwnd(), &suggested);
  suggested.right += 150;
  suggested.bottom += 100;
  SendMessageW(m.hwnd(), WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(m.Dpi(), to);
  RECT r;
  GetWindowRect(m.hwnd(), &r);
  EXPECT_TRUE(EqualRect(&r, &suggested));
  EXPECT_NEAR(m.TreeView1.WidthPx(), at(tree_w), 1);
  EXPECT_NEAR(m.StatusBar1.HeightPx(), at(status_h), 1);
  EXPECT_NEAR(static_cast<int>(TreeView_GetIndent(m.TreeView1.hwnd())), at(indent), 1);
  int now[2] = {};
  SendMessageW(m.StatusBar1.hwnd(), SB_GETPARTS, 2, reinterpret_cast<LPARAM>(now));
  EXPECT_NEAR(now[0], at(parts[0]), 1);
  for (HWND h : {m.TreeView1.hwnd(), m.StatusBar1.hwnd()}) {
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    EXPECT_EQ(lf.lfHeight, -MulDiv(9, to, 72));
  }
  // One picture pixel is still 2 x 2 device pixels.
  EXPECT_EQ(m.Image_Output.WidthPx(), 640);
  EXPECT_TRUE(ShowsZoomed(SynthPixels("320x200x8:32")));
  // Controls made later follow the form's resolution.
  EXPECT_EQ(winui::ScaleFor(m.hwnd(), 120), to);
  // The version dialog's own title font follows too.
  RECT v;
  GetWindowRect(verdlg.hwnd(), &v);
  SendMessageW(verdlg.hwnd(), WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&v));
  LOGFONTW title{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(verdlg.Title.hwnd(), WM_GETFONT, 0, 0)),
             sizeof title, &title);
  EXPECT_EQ(title.lfHeight, -MulDiv(18, to, winui::kDesignDpi));
  EXPECT_TRUE(TakeMessages().empty());
}

// A drop target window of the test (on top, right of the main window): what a
// drop on it received.
class DropRecorder final : public IDropTarget {
 public:
  explicit DropRecorder(POINT at) : at_(at) {
    // Not a static control: those let the pointer through (HTTRANSPARENT).
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"kolbri.test.drop";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, at.x - 50,
                            at.y - 50, 100, 100, nullptr, nullptr, wc.hInstance, nullptr);
    registered = RegisterDragDrop(hwnd_, this) == S_OK;
  }
  ~DropRecorder() {
    RevokeDragDrop(hwnd_);
    DestroyWindow(hwnd_);
  }
  POINT Center() const { return at_; }
  bool registered = false;
  base::UniqueHandle entered{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  base::UniqueHandle dropped{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  std::vector<CLIPFORMAT> formats;
  UINT count = 0;
  std::wstring file;
  std::vector<uint8_t> dib;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid != IID_IUnknown && riid != IID_IDropTarget) return *out = nullptr, E_NOINTERFACE;
    *out = static_cast<IDropTarget*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives on the test's stack
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
    SetEvent(entered.get());
    *effect &= DROPEFFECT_COPY;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
    *effect &= DROPEFFECT_COPY;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
    *effect = DROPEFFECT_COPY;
    IEnumFORMATETC* e = nullptr;
    if (SUCCEEDED(data->EnumFormatEtc(DATADIR_GET, &e)) && e) {
      FORMATETC f;
      while (e->Next(1, &f, nullptr) == S_OK) formats.push_back(f.cfFormat);
      e->Release();
    }
    FORMATETC f{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM m{};
    if (data->GetData(&f, &m) == S_OK) {
      const auto drop = static_cast<HDROP>(m.hGlobal);
      count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      wchar_t path[MAX_PATH] = {};
      DragQueryFileW(drop, 0, path, MAX_PATH);
      file = path;
      ReleaseStgMedium(&m);
    }
    f.cfFormat = CF_DIB;
    if (data->GetData(&f, &m) == S_OK) {
      const auto* p = static_cast<const uint8_t*>(GlobalLock(m.hGlobal));
      if (p) dib.assign(p, p + GlobalSize(m.hGlobal));
      GlobalUnlock(m.hGlobal);
      ReleaseStgMedium(&m);
    }
    SetEvent(dropped.get());
    return S_OK;
  }

 private:
  POINT at_;
  HWND hwnd_ = nullptr;
};

// Drags the picture at `from` onto the target as a user would.
void DragPictureOnto(app::TWMain& m, POINT from, DropRecorder& target) {
  base::UniqueHandle began(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::function<void()> start = m.Image_Output.on_drag;
  m.Image_Output.on_drag = [&] {
    SetEvent(began.get());
    start();
  };
  testsupport::DragAsUser(from, target.Center(), began.get(), target.entered.get(),
                          target.dropped.get(), [] { winui::PumpPending(); });
  m.Image_Output.on_drag = start;
}

TEST_F(Display, DraggingThePictureOutGivesATargetItsPngFileAndItsPixels) {
  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  app::TWMain& m = StartDisplay();
  SelectPath(L"p24");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View2->id(), 0);
  RECT r;
  GetWindowRect(m.hwnd(), &r);
  const POINT drop_at{r.right + 70, 150};
  {
    DropRecorder target(drop_at);
    ASSERT_TRUE(target.registered);
    DragPictureOnto(m, BoxPoint(m, 10, 10), target);
    EXPECT_NE(std::find(target.formats.begin(), target.formats.end(), CF_HDROP),
              target.formats.end());
    EXPECT_NE(std::find(target.formats.begin(), target.formats.end(), CF_DIB),
              target.formats.end());
    EXPECT_EQ(target.count, 1u);
    // Named as Save proposes it, in our own folder: what Save would write (200 %).
    EXPECT_EQ(target.file, m.DragFiles().Dir() + L"p24.png");
    EXPECT_TRUE(testsupport::SamePixels(SynthPixels("40x30x24:24", 2),
                                        testsupport::DecodePngFile(target.file)));
    EXPECT_TRUE(
        testsupport::SamePixels(SynthPixels("40x30x24:24", 2),
                                testsupport::DecodeDib(target.dib.data(), target.dib.size())));
  }
  // In fit, 100 %; the pointer may leave a small picture before the drag
  // distance; the previous drag's file goes.
  const std::wstring first = m.DragFiles().Dir() + L"p24.png";
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Fit->id(), 0);
  SelectPath(L"c1/second");
  {
    DropRecorder target(drop_at);
    DragPictureOnto(m, BoxPoint(m, 4, 4), target);
    EXPECT_EQ(target.file, m.DragFiles().Dir() + L"second.png");
    EXPECT_TRUE(
        testsupport::SamePixels(SynthPixels("8x8x8:7"), testsupport::DecodePngFile(target.file)));
  }
  EXPECT_EQ(GetFileAttributesW(first.c_str()), INVALID_FILE_ATTRIBUTES);
  // The folder goes with the window.
  const std::wstring folder = m.DragFiles().Dir();
  EXPECT_FALSE(folder.empty());
  Stop();
  EXPECT_EQ(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(TakeMessages().empty());
  OleUninitialize();
}

TEST(DragFileName, RefusedCharactersAndDeviceNamesBecomeUsable) {
  EXPECT_EQ(app::SafeFileName(L"a/b:c*?\"d<e>|f", L"x"), L"a_b_c___d_e__f");
  EXPECT_EQ(app::SafeFileName(L"表示ソ. ", L"x"), L"表示ソ");
  EXPECT_EQ(app::SafeFileName(L"con", L"x"), L"_con");
  EXPECT_EQ(app::SafeFileName(L"COM1.txt", L"x"), L"_COM1.txt");
  EXPECT_EQ(app::SafeFileName(L"COM10", L"x"), L"COM10");
  EXPECT_EQ(app::SafeFileName(L"...", L"x"), L"x");
}

TEST_F(Display, TreePopupOpensOnlyAfterTheFirstPicture) {
  app::TWMain& m = StartDisplay();
  SelectPath(L"m2");
  EXPECT_FALSE(m.PopupMenu1.auto_popup);
  SelectPath(L"p8");
  EXPECT_TRUE(m.PopupMenu1.auto_popup);
}

}  // namespace
}  // namespace apptest
