// Binding the common module: every refused module leaves the window open and
// unbound with its message, and such a run writes no settings file.
#include "tests/support/main_window_fixture.h"
#include "base/text.h"

namespace apptest {
namespace {

struct Refusal {
  const char* variant;
  const wchar_t* message;
};

class Refused : public AppTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(Refused, StaysOpenUnboundWithItsMessageAndWritesNothing) {
  const std::wstring plugin = Plugin(L"p", L"picture a\tsynth=8x8x8:1\n");
  app::TWMain& m = Start({plugin}, GetParam().variant);
  EXPECT_EQ(TakeMessages(),
            std::vector<std::wstring>{std::wstring(GetParam().message) + L"(初期化)"});
  EXPECT_FALSE(m.Bound());
  EXPECT_TRUE(IsWindowVisible(m.hwnd()));
  // File menu stays (Save and batch save disabled, Close works), the rest is off.
  EXPECT_TRUE(m.ME_File->Enabled());
  EXPECT_FALSE(m.ME_Save->Enabled());
  EXPECT_FALSE(m.ME_MulSave->Enabled());
  EXPECT_TRUE(m.ME_Close->Enabled());
  for (auto* menu : {m.MN_Edit, m.MN_View, m.MN_Option, m.MN_Help}) EXPECT_FALSE(menu->Enabled());
  EXPECT_EQ(m.ScrollBox_Output.GetPopupMenu(), nullptr);
  // Nothing loaded, no start-up dialog, option marks at their initial states.
  EXPECT_EQ(m.TreeView1.Count(), 0);
  EXPECT_TRUE(dialog.pages.empty());
  EXPECT_TRUE(m.ME_FileName->Checked());
  EXPECT_TRUE(m.ME_OptionSave->Checked());
  // Menu commands of disabled menus do nothing.
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_SelPgn->id(), 0);
  EXPECT_TRUE(dialog.pages.empty());
  // Close from the File menu ends the window; no settings file appears.
  HWND h = m.hwnd();
  SendMessageW(h, WM_COMMAND, m.ME_Close->id(), 0);
  winui::PumpPending();
  EXPECT_FALSE(IsWindow(h));
  main.reset();
  EXPECT_EQ(GetFileAttributesW(IniPath().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(TakeMessages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Variants, Refused,
    ::testing::Values(Refusal{"missing", L"kolbri.dllが見つかりません。"},
                      Refusal{"noentry", L"kolbri.dllが壊れています"},
                      Refusal{"wrongmagic", L"このバージョンのkolbri.dllには対応していません"},
                      Refusal{"v255", L"kolbri.dllが古すぎます"},
                      Refusal{"nocontext", L"kolbri.dllが壊れています"},
                      Refusal{"initfault", L"kolbri.dllが壊れています"},
                      Refusal{"wildcallbacks", L"kolbri.dllが壊れています"},
                      Refusal{"wildrootdir", L"kolbri.dllが壊れています"}),
    [](const auto& info) { return std::string(info.param.variant); });

TEST_F(AppTest, VersionExactlyOnePointZeroIsAccepted) {
  app::TWMain& m = Start({}, "v256");
  EXPECT_TRUE(m.Bound());
  EXPECT_TRUE(TakeMessages().empty());
  for (auto* menu : {m.MN_Edit, m.MN_View, m.MN_Option, m.MN_Help}) EXPECT_TRUE(menu->Enabled());
  EXPECT_EQ(m.Context()->Magic, kContextMagic);
  ASSERT_NE(m.Context()->HostInfo, nullptr);
  EXPECT_EQ(m.Context()->HostInfo->Version, 0x0100);
  // The same notice as the program's version resource.
  EXPECT_EQ(base::FromSjis(m.Context()->HostInfo->Notice),
            L"Copyright (C) 1998 コルブリ開発チーム");
  EXPECT_EQ(m.Context()->Callbacks->Entries[0], &app::TWMain::RedisplayCallback);
  EXPECT_EQ(m.Context()->Callbacks->Entries[1], nullptr);
}

TEST_F(AppTest, BoundWindowStartsWithTheFormsInitialState) {
  app::TWMain& m = Start();
  EXPECT_EQ(m.Text(), L"コルブリ");
  EXPECT_EQ(m.StatusBar1.PanelText(0), L"ﾛｰﾄﾞされてません");
  EXPECT_EQ(m.StatusBar1.PanelText(1), L"(0x0 pix, 0col)");
  EXPECT_FALSE(m.Image_Output.Visible());
  EXPECT_TRUE(m.ME_View1->Checked());
  EXPECT_TRUE(m.PME_View21->Checked());
  EXPECT_EQ(m.Zoom(), 1);
  EXPECT_EQ(m.ME_SelPgn->tag, 0);
  EXPECT_EQ(m.ME_MulSave->tag, 1);
  EXPECT_EQ(m.ME_SelDrv->tag, 2);
  EXPECT_EQ(m.ME_Save->GetShortcut().Text(), L"Ctrl+S");
  EXPECT_EQ(m.ME_SelDrv->GetShortcut().Text(), L"Ctrl+O");
  EXPECT_FALSE(m.ME_OptCtgFocus->Checked());
  EXPECT_EQ(m.PME_View22->Caption(), L"200%(2)");
  // Save at 100 % sits below Save, disabled with it until a picture shows.
  EXPECT_EQ(m.ME_File->Items()[1]->Caption(), L"原寸で保存(&O)...");
  EXPECT_FALSE(m.ME_SaveOriginal->Enabled());
  // Separators after batch save, window fitting, drive choice and help contents.
  EXPECT_TRUE(m.ME_File->Items()[3]->IsSeparator());
  EXPECT_TRUE(m.MN_View->Items()[2]->IsSeparator());
  EXPECT_TRUE(m.MN_Option->Items()[2]->IsSeparator());
  EXPECT_TRUE(m.MN_Help->Items()[1]->IsSeparator());
  // No argument: the start-up dialog opened on the plug-in page and was cancelled.
  EXPECT_EQ(dialog.pages, std::vector<int>{settings::kPagePlugin});
  EXPECT_EQ(m.TreeView1.Count(), 0);
  SIZE client = m.ClientSizePx();
  EXPECT_EQ(client.cx, winui::Scale(562));
  EXPECT_EQ(client.cy, winui::Scale(311));
}

}  // namespace
}  // namespace apptest
