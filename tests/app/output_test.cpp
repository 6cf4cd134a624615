// Save, copy, the version dialog and help.
#include "app/picture.h"
#include "base/png.h"
#include "cgmodule/bmpfile.h"
#include "standin/core/dib.h"
#include "tests/support/main_window_fixture.h"
#include "winui/messages.h"
#include "winui/msgbox.h"
#include "base/text.h"

namespace apptest {
namespace {

class Output : public AppTest {
 protected:
  // Answers the save dialog with `answer` (relative to the scratch directory);
  // an empty answer cancels. Records what the dialog was given.
  // filter_index: the filter the user picks (0: leaves the offered one).
  void AnswerSave(const std::wstring& answer, DWORD filter_index = 0) {
    app::SaveDialog::Seam() = [this, answer, filter_index](OPENFILENAMEW& o) {
      ++shown;
      proposed = o.lpstrFile;
      offered_filter = o.nFilterIndex;
      if (filter_index) o.nFilterIndex = filter_index;
      flags = o.Flags;
      filter.assign(o.lpstrFilter, o.lpstrFilter + 48);
      initial_dir = o.lpstrInitialDir ? o.lpstrInitialDir : L"";
      def_ext = o.lpstrDefExt != nullptr;
      if (answer.empty()) return FALSE;
      const std::wstring full = dir.path() + answer;
      wcscpy(o.lpstrFile, full.c_str());
      return TRUE;
    };
  }
  int shown = 0;
  DWORD offered_filter = 0;
  std::wstring proposed, initial_dir, filter;
  DWORD flags = 0;
  bool def_ext = true;
};

TEST_F(Output, SaveWritesTheZoomedPictureUnderTheProposedName) {
  app::TWMain& m =
      Start({Plugin(L"s", L"picture ABC\tsynth=320x200x8:3\npicture 表示ソ\tsynth=16x8x24:4\n")});
  AnswerSave(L"");
  SendMessageW(m.hwnd(), WM_COMMAND, m.PME_Save2->id(), 0);  // nothing shown yet: no dialog
  EXPECT_EQ(shown, 0);
  EXPECT_EQ(m.SaveDialog1.file_name, L"(新規ﾌｧｲﾙ).bmp");

  SelectPath(L"ABC");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View3->id(), 0);
  AnswerSave(L"out.bmp");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Save->id(), 0);
  EXPECT_EQ(proposed, L"ABC.bmp");
  EXPECT_EQ(initial_dir, L"bmp");
  EXPECT_FALSE(def_ext);
  EXPECT_EQ(filter.substr(0, filter.find(L'\0')), L"Windowsﾋﾞｯﾄﾏｯﾌﾟ(*.bmp)");
  EXPECT_EQ(flags & (OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST),
            DWORD(OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST));
  EXPECT_EQ(m.SaveDialog1.options & OFN_FILEMUSTEXIST, DWORD(OFN_FILEMUSTEXIST));
  const testsupport::Pixels file =
      testsupport::DecodeBmpFile(testsupport::ReadFileBytes(dir.path() + L"out.bmp"));
  EXPECT_EQ(file.width, 960);
  EXPECT_EQ(file.height, 600);
  EXPECT_TRUE(testsupport::SamePixels(SynthPixels("320x200x8:3", 3), file));
  {
    // ImageMagick on the host must read the same pixels (app_save_magick).
    const std::wstring magick = testsupport::ExeDir() + L"app-magick\\";
    testsupport::RemoveTree(magick);
    CreateDirectoryW(magick.c_str(), nullptr);
    ASSERT_TRUE(
        CopyFileW((dir.path() + L"out.bmp").c_str(), (magick + L"zoom3.bmp").c_str(), FALSE));
    ASSERT_TRUE(
        testsupport::WriteMagickExpect(magick + L"zoom3.bmp", SynthPixels("320x200x8:3", 3)));
  }
  EXPECT_EQ(m.SaveDialog1.file_name, dir.path() + L"out.bmp");

  // A name without extension is kept as typed; an existing file is replaced.
  SelectPath(L"表示ソ");
  AnswerSave(L"noext");
  SendMessageW(m.hwnd(), WM_COMMAND, m.PME_Item1->id(), 0);
  EXPECT_EQ(proposed, L"表示ソ.bmp");
  EXPECT_EQ(testsupport::DecodeBmpFile(testsupport::ReadFileBytes(dir.path() + L"noext")).width,
            48);

  // Another plug-in: no current item, the last name is proposed again.
  dialog.Confirm(dir.sjis(), "t.kol");
  Plugin(L"t", L"picture x\tsynth=8x8x8:1\n");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_SelPgn->id(), 0);
  AnswerSave(L"");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Save->id(), 0);
  EXPECT_EQ(proposed, dir.path() + L"noext");
  EXPECT_TRUE(TakeMessages().empty());

  // Index names off: the dialog keeps its name.
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_FileName->id(), 0);
  SelectPath(L"x");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Save->id(), 0);
  EXPECT_EQ(proposed, dir.path() + L"noext");
}

TEST_F(Output, FileThatCannotBeCreatedIsReportedAndTheOldFileStays) {
  app::TWMain& m = Start({Plugin(L"s", L"picture a\tsynth=8x8x8:3\n")});
  SelectPath(L"a");
  AnswerSave(L"missing\\dir\\a.bmp");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Save->id(), 0);
  EXPECT_EQ(TakeMessages(), std::vector<std::wstring>{L"ﾌｧｲﾙ " + dir.path() +
                                                      L"missing\\dir\\a.bmp を作成できません"});
  testsupport::WriteFileBytes(dir.path() + L"locked.bmp", "old");
  HANDLE h = CreateFileW((dir.path() + L"locked.bmp").c_str(), GENERIC_READ, 0, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  AnswerSave(L"locked.bmp");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Save->id(), 0);
  CloseHandle(h);
  EXPECT_EQ(TakeMessages().size(), 1u);
  EXPECT_EQ(testsupport::ReadFileBytes(dir.path() + L"locked.bmp"), "old");
}

TEST_F(Output, CopyPutsTheZoomedPictureOnTheClipboard) {
  app::TWMain& m = Start({Plugin(L"s", L"picture a\tsynth=320x200x24:5\n")});
  SendMessageW(m.hwnd(), WM_COMMAND, m.PME_Copy2->id(), 0);  // nothing yet: clipboard untouched
  SelectPath(L"a");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View3->id(), 0);
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Copy->id(), 0);
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_BITMAP));
  auto* b = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
  const testsupport::Pixels p = ReadBitmap(b);
  CloseClipboard();
  EXPECT_EQ(p.width, 960);
  EXPECT_EQ(p.height, 600);
  EXPECT_TRUE(testsupport::SamePixels(SynthPixels("320x200x24:5", 3), p));
  // The same picture in the registered "PNG" format.
  ASSERT_TRUE(OpenClipboard(nullptr));
  HGLOBAL g = GetClipboardData(RegisterClipboardFormatW(L"PNG"));
  ASSERT_NE(g, nullptr);
  const auto* bytes = static_cast<const char*>(GlobalLock(g));
  testsupport::WriteFileBytes(dir.path() + L"clip.png", std::string(bytes, GlobalSize(g)));
  GlobalUnlock(g);
  CloseClipboard();
  EXPECT_TRUE(testsupport::SamePixels(SynthPixels("320x200x24:5", 3),
                                      testsupport::DecodePngFile(dir.path() + L"clip.png")));
}

TEST_F(Output, SavedFilesKeepTheirBytesAtEveryZoomAndDepth) {
  // FNV-1a of the files this viewer wrote when the zoomed picture was kept
  // whole on screen; the save must go on writing exactly these bytes.
  const struct {
    const wchar_t* node;
    uint64_t fnv[4];
  } cases[] = {
      {L"p4", {0xf865e80ed01faee2, 0xb3435c395b16a029, 0xf4d6a181ecfd3af9, 0xfa404b2833db6b61}},
      {L"p8", {0x114db8491508c9c6, 0xa15d32eb2054d569, 0x69698d312ee58579, 0xf68e9217c8983301}},
      {L"p24", {0x27256b533c409e46, 0x3a3b810f919e4351, 0xf5fc06c91baf11fd, 0x8793b677b5726401}},
      {L"p1", {0x055558895b396396, 0x9fdc9acce3277621, 0x7f4f55a1571aee01, 0xedb9f4a162e73b21}}};
  app::TWMain& m = Start({Plugin(L"r",
                                 L"picture p4\tsynth=13x7x4:4\npicture p8\tsynth=13x7x8:8\n"
                                 L"picture p24\tsynth=13x7x24:24\npicture p1\tsynth=13x7x1:1\n")});
  for (const auto& c : cases) {
    SelectPath(c.node);
    for (int z = 1; z <= 4; ++z) {
      SendMessageW(m.hwnd(), WM_COMMAND,
                   (z == 1   ? m.ME_View1
                    : z == 2 ? m.ME_View2
                    : z == 3 ? m.ME_View3
                             : m.ME_View4)
                       ->id(),
                   0);
      AnswerSave(L"z.bmp");
      SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Save->id(), 0);
      uint64_t h = 14695981039346656037ull;
      for (unsigned char b : testsupport::ReadFileBytes(dir.path() + L"z.bmp"))
        h = (h ^ b) * 1099511628211ull;
      EXPECT_EQ(h, c.fnv[z - 1]) << base::ToSjis(c.node) << " at " << z;
    }
  }
  EXPECT_TRUE(TakeMessages().empty());
}

// PNG through the platform's codec: the zoomed picture and the picture at
// 100 % keep the module's depth and colour table, in either format.
TEST_F(Output, PngAndOriginalSavesKeepEveryPixelAndPaletteEntry) {
  const char* const synths[] = {"13x7x4:4", "13x7x8:8", "13x7x24:24"};
  std::wstring manifest;
  for (const char* synth : synths)
    manifest += L"picture " + base::FromSjis(synth) + L"\tsynth=" + base::FromSjis(synth) + L"\n";
  app::TWMain& m = Start({Plugin(L"png", manifest)});
  for (const char* synth : synths) {
    SCOPED_TRACE(synth);
    const std::vector<uint8_t> dib = [&] {
      standin::SynthParams sp;
      EXPECT_TRUE(standin::ParseSynthParams(synth, sp));
      return standin::Synthesize(sp);
    }();
    const int bits = reinterpret_cast<const BITMAPINFOHEADER*>(dib.data())->biBitCount;
    SelectPath(base::FromSjis(synth));
    SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View3->id(), 0);
    AnswerSave(L"z.png", 2);
    SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Save->id(), 0);
    std::vector<uint32_t> zoomed_palette;
    const testsupport::Pixels zoomed =
        testsupport::DecodePngFile(dir.path() + L"z.png", &zoomed_palette);
    EXPECT_EQ(zoomed.bit_count, bits);
    EXPECT_TRUE(testsupport::SamePixels(SynthPixels(synth, 3), zoomed));

    AnswerSave(L"o.png", 2);
    SendMessageW(m.hwnd(), WM_COMMAND, m.ME_SaveOriginal->id(), 0);
    std::vector<uint32_t> palette;
    const testsupport::Pixels original =
        testsupport::DecodePngFile(dir.path() + L"o.png", &palette);
    EXPECT_EQ(original.bit_count, bits);
    EXPECT_TRUE(testsupport::SamePixels(SynthPixels(synth), original));
    if (bits <= 8) {
      std::vector<uint32_t> want;
      const auto* colors = reinterpret_cast<const RGBQUAD*>(dib.data() + 40);
      for (uint32_t i = 0; i < (1u << bits); ++i)
        want.push_back((uint32_t(colors[i].rgbRed) << 16) | (colors[i].rgbGreen << 8) |
                       colors[i].rgbBlue);
      EXPECT_EQ(palette, want);
      EXPECT_EQ(zoomed_palette, want);
    }
    AnswerSave(L"o.bmp", 1);
    SendMessageW(m.hwnd(), WM_COMMAND, m.ME_SaveOriginal->id(), 0);
    const std::string bmp = testsupport::ReadFileBytes(dir.path() + L"o.bmp");
    EXPECT_EQ(bmp.substr(14), std::string(dib.begin(), dib.end()));  // the block itself
  }
  EXPECT_TRUE(TakeMessages().empty());

  // 1 bit, which the viewer shows blank, through the writer itself.
  const std::vector<uint8_t> one = standin::Synthesize({13, 7, 1, 3, false});
  const auto* info = reinterpret_cast<const BITMAPINFO*>(one.data());
  ASSERT_TRUE(base::WritePngFile(base::PngFromDib(info, one.data() + 48), dir.path() + L"1.png"));
  const testsupport::Pixels p1 = testsupport::DecodePngFile(dir.path() + L"1.png");
  EXPECT_EQ(p1.bit_count, 1);
  EXPECT_TRUE(testsupport::SamePixels(testsupport::DecodeDib(one.data(), one.size()), p1));
}

// The filter chosen last is offered again and kept in the settings file; a
// proposed ".bmp" name follows the PNG filter, a typed name stays as typed,
// and a name the dialog never asked about is not replaced unasked.
TEST_F(Output, PngFilterDecidesTheFormatAndTheProposedExtension) {
  app::TWMain& m = Start({Plugin(L"s", L"picture ABC\tsynth=8x8x8:3\n")});
  SelectPath(L"ABC");
  AnswerSave(L"ABC.bmp", 2);  // the proposal, with PNG picked in the dialog
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Save->id(), 0);
  EXPECT_EQ(offered_filter, 1u);
  EXPECT_EQ(filter, std::wstring(L"Windowsﾋﾞｯﾄﾏｯﾌﾟ(*.bmp)\0*.bmp\0PNG (*.png)\0*.png\0\0", 47) +
                        filter.substr(47));
  EXPECT_EQ(testsupport::DecodePngFile(dir.path() + L"ABC.png").bit_count, 8);
  EXPECT_EQ(GetFileAttributesW((dir.path() + L"ABC.bmp").c_str()), INVALID_FILE_ATTRIBUTES);

  AnswerSave(L"typed.bmp");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Save->id(), 0);
  EXPECT_EQ(proposed, L"ABC.png");
  EXPECT_EQ(offered_filter, 2u);
  EXPECT_EQ(testsupport::DecodePngFile(dir.path() + L"typed.bmp").bit_count, 8);

  testsupport::WriteFileBytes(dir.path() + L"ABC.png", "old");
  m.SaveDialog1.filter_index = app::SaveDialog::kBitmapFilter;  // "ABC.bmp" is proposed
  AnswerSave(L"ABC.bmp", 2);
  winui::SetAnswerSeam([](const std::wstring&) { return false; });
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Save->id(), 0);
  winui::SetAnswerSeam(nullptr);
  EXPECT_EQ(TakeMessages(), std::vector<std::wstring>{L"ﾌｧｲﾙ " + dir.path() +
                                                      L"ABC.png は既にあります。上書きしますか？"});
  EXPECT_EQ(testsupport::ReadFileBytes(dir.path() + L"ABC.png"), "old");

  Stop();
  EXPECT_NE(IniText().find("[SAVE]\r\nFormat=png"), std::string::npos);
  EXPECT_EQ(Start().SaveDialog1.filter_index, app::SaveDialog::kPngFilter);
}

TEST(BitmapFile, RowsWrittenInBandsGiveTheBytesOfOneBand) {
  testsupport::TempDir dir;
  const std::vector<uint8_t> dib = standin::Synthesize({13, 7, 24, 9, false});
  const auto* info = reinterpret_cast<const BITMAPINFO*>(dib.data());
  base::UniqueBitmap b = app::BitmapFromDib(info, dib.data() + cgmodule::DibBitsOffset(24));
  ASSERT_TRUE(app::WriteBitmapFile(b.get(), dir.path() + L"one.bmp"));
  ASSERT_TRUE(app::WriteBitmapFile(b.get(), dir.path() + L"bands.bmp", 3 * 40));  // 3 rows
  const std::string one = testsupport::ReadFileBytes(dir.path() + L"one.bmp");
  EXPECT_EQ(one.size(), 54u + 7 * 40);
  EXPECT_EQ(testsupport::ReadFileBytes(dir.path() + L"bands.bmp"), one);
}

// Save makes its zoomed rows band by band; Copy needs the whole zoomed copy.
TEST_F(Output, AZoomedCopyThatCannotBeMadeIsReportedButTheSaveIsMadeInBands) {
  app::TWMain& m = Start({Plugin(L"s", L"picture huge\tsynth=5800x5800x4:1\n")});
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_View4->id(), 0);
  SelectPath(L"huge");  // shown: the output area paints what is visible
  EXPECT_TRUE(TakeMessages().empty());
  const HBITMAP current = m.CurrentBitmap();
  AnswerSave(L"huge.png", 2);
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Save->id(), 0);
  EXPECT_TRUE(TakeMessages().empty());
  const std::string png = testsupport::ReadFileBytes(dir.path() + L"huge.png");
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png.substr(16, 8), std::string("\0\0\x5A\xA0\0\0\x5A\xA0", 8));  // 23200 x 23200
  // 23200 x 23200 at four bytes a pixel: more than one bitmap can hold.
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Copy->id(), 0);
  EXPECT_EQ(TakeMessages(), std::vector<std::wstring>{L"メモリ確保に失敗しました(変換)"});
  EXPECT_EQ(m.CurrentBitmap(), current);
  EXPECT_EQ(m.Zoom(), 4);
  EXPECT_EQ(m.Image_Output.WidthPx(), 23200);
}

TEST_F(Output, VersionDialogShowsTheRecordOfTheCommandUsed) {
  app::TWMain& m = Start({Plugin(L"v", L"title 版\npicture a\tsynth=8x8x8:1\n")});
  std::vector<std::vector<std::wstring>> seen;
  winui::Form::ModalStartHook() = [&](winui::Form& f) {
    seen.push_back({f.Text(), verdlg.Title.Text(), verdlg.VerInfo.Text(), verdlg.LastMod.Text(),
                    verdlg.Notice.Text()});
    PostMessageW(f.hwnd(), WM_COMMAND, IDCANCEL, 0);  // Esc presses OK
  };
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_AboutMain->id(), 0);
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_AboutComDll->id(), 0);
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_AboutIdvDll->id(), 0);
  winui::Form::ModalStartHook() = nullptr;
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0][0], L"本体のﾊﾞｰｼﾞｮﾝ情報...");
  EXPECT_EQ(seen[0][1], L"コルブリ");
  EXPECT_EQ(seen[0][2], L"Version 1.0");
  EXPECT_EQ(seen[0][3], L"1998/09/29");
  EXPECT_EQ(seen[1][0], L"共通ﾓｼﾞｭｰﾙのﾊﾞｰｼﾞｮﾝ情報...");
  EXPECT_EQ(seen[1][1], base::FromSjis(m.Context()->ModuleInfo->Name));
  EXPECT_EQ(seen[1][2], app::VersionText(m.Context()->ModuleInfo->Version));
  EXPECT_EQ(seen[2][0], L"Plug-inのﾊﾞｰｼﾞｮﾝ情報...");
  EXPECT_EQ(seen[2][1], L"版");
  EXPECT_FALSE(IsWindowVisible(verdlg.hwnd()));
  SIZE client = verdlg.ClientSizePx();
  EXPECT_EQ(client.cx, winui::Scale(294));
  EXPECT_EQ(client.cy, winui::Scale(154));
}

TEST_F(Output, PluginVersionBeforeAnyLoadDoesNotFail) {
  app::TWMain& m = Start();
  ASSERT_EQ(m.Context()->PluginInfo, nullptr);
  int shown = 0;
  winui::Form::ModalStartHook() = [&](winui::Form& f) {
    ++shown;
    EXPECT_EQ(verdlg.Title.Text(), L"");
    EXPECT_EQ(verdlg.VerInfo.Text(), L"");
    PostMessageW(f.hwnd(), winui::msg::kEndModal, 1, 0);
  };
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_AboutIdvDll->id(), 0);
  winui::Form::ModalStartHook() = nullptr;
  EXPECT_EQ(shown, 1);
}

TEST(VersionText, MajorDotMinorWithoutLeadingZeros) {
  EXPECT_EQ(app::VersionText(0x0100), L"Version 1.0");
  EXPECT_EQ(app::VersionText(0x010A), L"Version 1.10");
  EXPECT_EQ(app::VersionText(0x0205), L"Version 2.5");
  EXPECT_EQ(app::VersionText(0x7F0205), L"Version 2.5");  // bits above 15 ignored
}

TEST_F(Output, HelpUsesWinHelpOnlyWhenTheHelpFileIsThere) {
  app::TWMain& m = Start();
  std::vector<std::wstring> calls;
  app::HelpSeam saved = app::HelpSeam::Current();
  app::HelpSeam::Current() = {
      [&](HWND, const std::wstring& p, UINT cmd, DWORD data) {
        calls.push_back(L"hlp " + p + L" " + std::to_wstring(cmd) + L" " + std::to_wstring(data));
      },
      [&](HWND, const std::wstring& p) { calls.push_back(L"doc " + p); }};
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_HelpIndex->id(), 0);
  testsupport::WriteFileBytes(dir.path() + L"kolbri.hlp", "x");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_HelpIndex->id(), 0);
  // F1 on the index tree and on a menu: their help contexts.
  HELPINFO hi{sizeof hi, HELPINFO_WINDOW, 0, m.TreeView1.hwnd(), 0, {0, 0}};
  SendMessageW(m.hwnd(), WM_HELP, 0, reinterpret_cast<LPARAM>(&hi));
  hi.iContextType = HELPINFO_MENUITEM;
  hi.hItemHandle = GetMenu(m.hwnd());
  SendMessageW(m.hwnd(), WM_HELP, 0, reinterpret_cast<LPARAM>(&hi));
  // F1 on the version dialog: its own context, through the main window's help.
  hi = {sizeof hi, HELPINFO_WINDOW, 0, verdlg.Button1.hwnd(), 0, {0, 0}};
  SendMessageW(verdlg.hwnd(), WM_HELP, 0, reinterpret_cast<LPARAM>(&hi));
  app::HelpSeam::Current() = saved;
  const std::wstring hlp = L"hlp " + dir.path() + L"kolbri.hlp ";
  EXPECT_EQ(calls,
            (std::vector<std::wstring>{L"doc " + dir.path() + L"help\\index.html", hlp + L"11 0",
                                       hlp + L"1 10", hlp + L"1 27", hlp + L"1 15"}));
  // The shipped pages exist beside the real program.
  EXPECT_FALSE(testsupport::ReadFileBytes(testsupport::BinDir() + L"help\\index.html").empty());
}

}  // namespace
}  // namespace apptest
