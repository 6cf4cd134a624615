// The settings file: exact keys and sections, Boolean parsing, the
// OptionSave rule, seeding of the dialog paths and a file that cannot be written.
#include "app/settings_file.h"
#include "tests/support/main_window_fixture.h"

#include "winui/msgbox.h"
#include "base/text.h"

namespace apptest {
namespace {

using app::ParseProfileBool;

TEST(ProfileBool, DecimalHexAndGarbage) {
  EXPECT_TRUE(ParseProfileBool("1", false));
  EXPECT_FALSE(ParseProfileBool("0", true));
  EXPECT_TRUE(ParseProfileBool("-3", false));
  EXPECT_TRUE(ParseProfileBool("$1F", false));
  EXPECT_FALSE(ParseProfileBool("$0", true));
  EXPECT_TRUE(ParseProfileBool("0x10", false));
  EXPECT_TRUE(ParseProfileBool("0X10", false));
  EXPECT_TRUE(ParseProfileBool("$FFFFFFFF", false));  // -1 as a signed 32-bit value
  EXPECT_TRUE(ParseProfileBool("abc", true));
  EXPECT_FALSE(ParseProfileBool("abc", false));
  EXPECT_TRUE(ParseProfileBool("0x", true));  // no digit after the prefix: not a number
  EXPECT_FALSE(ParseProfileBool("$", false));
  EXPECT_TRUE(ParseProfileBool("", true));
  EXPECT_FALSE(ParseProfileBool("1x", false));
  EXPECT_FALSE(ParseProfileBool("99999999999", false));  // out of range
}

TEST_F(AppTest, MissingFileGivesDefaultsAndShutdownWritesEveryKey) {
  app::TWMain& m = Start({Plugin(L"p", L"picture a\tsynth=8x8x8:1\n")});
  const std::string exe_dir = base::ToSjis(dir.path());
  EXPECT_EQ(m.StoredSettings().plugin_dir, exe_dir);
  EXPECT_EQ(m.StoredSettings().dest_dir, exe_dir);
  EXPECT_EQ(m.RootDir(), "q:\\");  // drive search: the test runner's CD-ROM letter
  EXPECT_TRUE(m.ME_FileName->Checked());
  EXPECT_FALSE(m.ME_Overlay->Checked());
  Stop();
  const std::string ini = IniText();
  // Written in order; the view switches go to "VIEW".
  const char* order[] = {
      "[SYSTEM]",       "RootDir=q:\\", "PluginDir=",    "DestDir=",   "[VIEW]",      "OverlayBG=0",
      "AdjustWindow=0", "[OPTION]",     "MoveToChild=0", "UseIndex=1", "OptionSave=1"};
  size_t pos = 0;
  for (const char* s : order) {
    const size_t at = ini.find(s, pos);
    ASSERT_NE(at, std::string::npos) << s << "\n" << ini;
    pos = at;
  }
  EXPECT_NE(ini.find("PluginDir=" + exe_dir), std::string::npos);
}

TEST_F(AppTest, StoredValuesAreReadAndViewSectionKeepsItsName) {
  testsupport::WriteFileBytes(
      IniPath(),
      base::ToSjis(L"[SYSTEM]\r\nRootDir=x:\\表示\\\r\nPluginDir=\r\nDestDir=c:\\出力\\\r\n"
                   L"[View]\r\nOverlayBG=1\r\nAdjustWindow=0\r\n"
                   L"[OPTION]\r\nMoveToChild=0x10\r\nUseIndex=abc\r\nOptionSave=$1F\r\n"
                   L"[SAVE]\r\nBatchFormat=PNG\r\n"));
  app::TWMain& m = Start({Plugin(L"p", L"picture a\tsynth=8x8x8:1\n")});
  EXPECT_TRUE(dialog.batch_png);
  dialog.batch_png = false;  // changed on the batch page
  EXPECT_EQ(base::FromSjis(m.RootDir()), L"x:\\表示\\");
  EXPECT_EQ(m.StoredSettings().plugin_dir, base::ToSjis(dir.path()));  // empty value: exe dir
  EXPECT_EQ(base::FromSjis(m.StoredSettings().dest_dir), L"c:\\出力\\");
  EXPECT_TRUE(m.ME_Overlay->Checked());
  EXPECT_TRUE(m.PME_OverLay->Checked());
  EXPECT_FALSE(m.ME_AdjustWindow->Checked());
  EXPECT_FALSE(m.PME_AdjustWindow->Checked());
  EXPECT_TRUE(m.ME_OptCtgFocus->Checked());
  EXPECT_TRUE(m.ME_FileName->Checked());  // abc: the default
  EXPECT_TRUE(m.ME_OptionSave->Checked());
  // Seeded on every start, argument or not; the dialog did not open.
  EXPECT_TRUE(dialog.pages.empty());
  EXPECT_EQ(GetPath(dialog.paths.DestDir), base::ToSjis(L"c:\\出力\\"));
  EXPECT_EQ(GetPath(dialog.paths.RootDir), base::ToSjis(L"x:\\表示\\"));
  // Never confirmed: the stored directories are written back unchanged.
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_AdjustWindow->id(), 0);
  Stop();
  const std::string ini = IniText();
  EXPECT_EQ(ini.find("[VIEW]"), std::string::npos) << ini;
  EXPECT_NE(ini.find("[View]"), std::string::npos);
  EXPECT_NE(ini.find("AdjustWindow=1"), std::string::npos);
  EXPECT_NE(ini.find(base::ToSjis(L"DestDir=c:\\出力\\")), std::string::npos);
  EXPECT_NE(ini.find(base::ToSjis(L"RootDir=x:\\表示\\")), std::string::npos);
  EXPECT_NE(ini.find("BatchFormat=bmp"), std::string::npos);
  // The next start sees what was written.
  Start({Plugin(L"p", L"picture a\tsynth=8x8x8:1\n")});
  EXPECT_TRUE(main->ME_AdjustWindow->Checked());
  EXPECT_TRUE(main->PME_AdjustWindow->Checked());
}

TEST_F(AppTest, OptionSaveOffWritesOnlyThatSwitch) {
  testsupport::WriteFileBytes(
      IniPath(), "[SYSTEM]\r\nRootDir=r:\\\r\nDestDir=c:\\keep\\\r\n[OPTION]\r\nUseIndex=0\r\n");
  app::TWMain& m = Start({Plugin(L"p", L"picture a\tsynth=8x8x8:1\n")});
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_OptionSave->id(), 0);
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_FileName->id(), 0);  // would be 1 if saved
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Overlay->id(), 0);
  EXPECT_FALSE(m.ME_OptionSave->Checked());
  Stop();
  const std::string ini = IniText();
  EXPECT_NE(ini.find("OptionSave=0"), std::string::npos) << ini;
  EXPECT_NE(ini.find("UseIndex=0"), std::string::npos);
  EXPECT_NE(ini.find("DestDir=c:\\keep\\"), std::string::npos);
  EXPECT_EQ(ini.find("OverlayBG"), std::string::npos);
  EXPECT_EQ(ini.find("PluginDir"), std::string::npos);
  // The next start reads saving off.
  Start({Plugin(L"p", L"picture a\tsynth=8x8x8:1\n")});
  EXPECT_FALSE(main->ME_OptionSave->Checked());
  EXPECT_FALSE(main->ME_FileName->Checked());
}

TEST_F(AppTest, WindowPlaceZoomAndFitComeBackAndAnUnseenPlaceMovesOntoTheScreen) {
  const std::wstring plugin = Plugin(L"p", L"picture a\tsynth=8x8x8:1\n");
  testsupport::WriteFileBytes(IniPath(),
                              "[WINDOW]\r\nLeft=-3000\r\nTop=5000\r\nWidth=500\r\n"
                              "Height=300\r\nMaximized=0\r\nZoom=3\r\nFit=0\r\n");
  app::TWMain& m = Start({plugin});
  RECT r;
  GetWindowRect(m.hwnd(), &r);
  MONITORINFO mi{sizeof mi};
  GetMonitorInfoW(MonitorFromWindow(m.hwnd(), MONITOR_DEFAULTTONEAREST), &mi);
  EXPECT_EQ(r.right - r.left, 500);
  EXPECT_EQ(r.bottom - r.top, 300);
  EXPECT_EQ(r.left, mi.rcWork.left);  // the nearest monitor's edge
  EXPECT_EQ(r.bottom, mi.rcWork.bottom);
  EXPECT_EQ(m.Zoom(), 3);
  EXPECT_TRUE(m.ME_View3->Checked());
  EXPECT_EQ(m.MN_View->tag, 3);
  SetWindowPos(m.hwnd(), nullptr, 30, 40, 520, 310, SWP_NOZORDER);
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Fit->id(), 0);
  Stop();
  std::string ini = IniText();
  const size_t window = ini.find("[WINDOW]");
  ASSERT_NE(window, std::string::npos) << ini;
  const std::string want =
      "Left=30\r\nTop=40\r\nWidth=520\r\nHeight=310\r\nMaximized=0\r\nZoom=3\r\nFit=1";
  EXPECT_NE(ini.find(want, window), std::string::npos) << ini;

  // Maximised comes back maximised, with the place it is restored to; with
  // saving off the section stays as it was.
  testsupport::WriteFileBytes(IniPath(),
                              "[WINDOW]\r\nLeft=30\r\nTop=40\r\nWidth=520\r\nHeight=310\r\n"
                              "Maximized=1\r\nZoom=2\r\nFit=1\r\n");
  Start({plugin});
  EXPECT_TRUE(IsZoomed(main->hwnd()));
  EXPECT_TRUE(main->ME_Fit->Checked());
  EXPECT_FALSE(main->ME_View2->Checked());
  const app::WindowState now = main->CurrentWindowState();
  EXPECT_TRUE(now.maximized);
  EXPECT_EQ(now.rect.left, 30);
  EXPECT_EQ(now.rect.right, 550);
  SendMessageW(main->hwnd(), WM_COMMAND, main->ME_OptionSave->id(), 0);
  SendMessageW(main->hwnd(), WM_COMMAND, main->ME_Fit->id(), 0);
  Stop();
  ini = IniText();
  EXPECT_NE(ini.find("Fit=1"), std::string::npos) << ini;
}

TEST_F(AppTest, CancelledStartupDialogWritesStoredDirectoriesBack) {
  testsupport::WriteFileBytes(
      IniPath(), "[SYSTEM]\r\nRootDir=r:\\\r\nPluginDir=c:\\plug\\\r\nDestDir=c:\\out\\\r\n");
  dialog.Cancel();
  app::TWMain& m = Start();
  EXPECT_EQ(dialog.pages, std::vector<int>{settings::kPagePlugin});
  EXPECT_EQ(GetPath(dialog.paths.PluginDir), "c:\\plug\\");
  EXPECT_EQ(m.TreeView1.Count(), 0);
  EXPECT_EQ(m.StatusBar1.PanelText(0), L"ﾛｰﾄﾞされてません");
  EXPECT_TRUE(m.MN_Option->Enabled());
  Stop();
  const std::string ini = IniText();
  EXPECT_NE(ini.find("PluginDir=c:\\plug\\"), std::string::npos) << ini;
  EXPECT_NE(ini.find("DestDir=c:\\out\\"), std::string::npos);
  EXPECT_NE(ini.find("RootDir=r:\\"), std::string::npos);
}

TEST_F(AppTest, FileThatCannotBeWrittenIsReportedAndKeepsItsContent) {
  const std::string before = "[OPTION]\r\nOptionSave=1\r\n";
  testsupport::WriteFileBytes(IniPath(), before);
  // The module logs its calls; the log at the write failure shows the order.
  const std::wstring log = dir.path() + L"calls.log";
  SetEnvironmentVariableW(L"KOLBRI_CALL_LOG", log.c_str());
  std::string log_at_write;
  winui::SetMessageSink([&](const std::wstring&, const std::wstring& text) {
    messages.push_back(text);
    log_at_write = testsupport::ReadFileBytes(log);
  });
  app::TWMain& m = Start({Plugin(L"p", L"picture a\tsynth=8x8x8:1\n")});
  (void)m;
  // Held open without sharing: every profile write fails (also as root).
  HANDLE h = CreateFileW(IniPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  Stop();
  CloseHandle(h);
  SetEnvironmentVariableW(L"KOLBRI_CALL_LOG", nullptr);
  EXPECT_EQ(TakeMessages(), std::vector<std::wstring>{dir.path() + L"kolbri.ini に書き込めません"});
  EXPECT_EQ(IniText(), before);
  // Settings first, then the unload, also after a failed write.
  EXPECT_EQ(log_at_write, "Initialize\nLoadPlugin\n");
  EXPECT_EQ(testsupport::ReadFileBytes(log), "Initialize\nLoadPlugin\nUnloadPlugin\n");
}

TEST_F(AppTest, CloseIsRefusedWhileAConversionRuns) {
  app::TWMain& m = Start({Plugin(L"p", L"picture a\tsynth=8x8x8:1\n")});
  dialog.running = true;
  SendMessageW(m.hwnd(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(m.hwnd()));
  EXPECT_EQ(SendMessageW(m.hwnd(), WM_QUERYENDSESSION, 0, 0), FALSE);
  dialog.running = false;
  EXPECT_NE(SendMessageW(m.hwnd(), WM_QUERYENDSESSION, 0, 0), FALSE);
  SendMessageW(m.hwnd(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(m.hwnd()));
  main.reset();
}

}  // namespace
}  // namespace apptest
