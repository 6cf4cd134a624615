// Plug-in loading and the index tree; the plug-in choice through the settings
// dialog (ME_SelxxxClick).
#include "tests/support/main_window_fixture.h"
#include "base/text.h"

namespace apptest {
namespace {

constexpr wchar_t kLoadFailed[] =
    L"選択したファイルはPlug-inでないか、ファイルが壊れています(Plug-inロード)";

TEST_F(AppTest, NestedCategoriesKeepIndexOrderAndImages) {
  app::TWMain& m = Start({Plugin(L"nest",
                                 L"title 入れ子\n"
                                 L"category B\n"
                                 L"  picture b2\tsynth=8x8x8:1\n"
                                 L"  category 空\n"
                                 L"  category C\n"
                                 L"    picture c1\tsynth=8x8x8:2\n"
                                 L"  picture b1\tsynth=8x8x8:3\n"
                                 L"picture A\tsynth=8x8x8:4\n"
                                 L"category 表示ソ\n")});
  // The load adds the top level; a category's items follow when it opens (by
  // its button or when asked for), with a button only where there are items.
  const HWND tv = m.TreeView1.hwnd();
  auto has_button = [&](HTREEITEM it) {
    TVITEMW item{};
    item.mask = TVIF_CHILDREN | TVIF_HANDLE;
    item.hItem = it;
    return TreeView_GetItem(tv, &item) && item.cChildren != 0;
  };
  EXPECT_EQ(m.TreeView1.Count(), 3);
  EXPECT_EQ(m.ChildCount(m.TreeView1.Root()), 4u);
  EXPECT_TRUE(has_button(m.TreeView1.Root()));
  TreeView_Expand(tv, m.TreeView1.Root(), TVE_EXPAND);
  EXPECT_EQ(m.TreeView1.Count(), 7);
  EXPECT_FALSE(has_button(Find(L"表示ソ")));
  EXPECT_FALSE(has_button(Find(L"B/空")));
  EXPECT_EQ(TreeDump(), L"B\n  b2\n  空\n  C\n    c1\n  b1\nA\n表示ソ\n");
  EXPECT_EQ(m.StatusBar1.PanelText(0), L"入れ子");
  EXPECT_EQ(m.StatusBar1.PanelText(1), L"(未選択)");
  EXPECT_EQ(m.TreeView1.Images(Find(L"B")), std::make_pair(0, 1));
  EXPECT_EQ(m.TreeView1.Images(Find(L"B/空")), std::make_pair(0, 1));
  EXPECT_EQ(m.TreeView1.FirstChild(Find(L"B/空")), nullptr);
  EXPECT_EQ(m.TreeView1.Images(Find(L"B/C/c1")), std::make_pair(2, 2));
  // Node data: what the walk read, leading to the entry the module renders.
  auto* node = reinterpret_cast<const cgmodule::IndexNode*>(m.TreeView1.Data(Find(L"A")));
  EXPECT_EQ(node->entry, m.Module().ReadContext()->IndexRoot + 1);
  EXPECT_FALSE(node->category);
  EXPECT_TRUE(reinterpret_cast<const cgmodule::IndexNode*>(m.TreeView1.Data(Find(L"B")))->category);
  // The load neither selects nor renders.
  EXPECT_EQ(m.TreeView1.Selected(), nullptr);
  EXPECT_FALSE(m.PicturePresent());
  EXPECT_EQ(m.TreeView1.GetPopupMenu(), nullptr);
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(AppTest, EmptyIndexStillLoads) {
  app::TWMain& m = Start({Plugin(L"empty", L"title 空の索引\n")});
  EXPECT_EQ(m.TreeView1.Count(), 0);
  EXPECT_EQ(m.StatusBar1.PanelText(0), L"空の索引");
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(AppTest, FailedLoadKeepsTreeAndStatusTexts) {
  app::TWMain& m = Start({Plugin(L"good", L"title 良い\npicture a\tsynth=8x8x8:1\n")});
  SelectPath(L"a");
  const std::wstring status1 = m.StatusBar1.PanelText(1);
  const std::wstring broken = Plugin(L"broken", L"picture\n  nonsense\n");
  EXPECT_EQ(m.LoadPlugin(base::ToSjis(broken)), -1);
  EXPECT_EQ(m.LoadPlugin(base::ToSjis(dir.path() + L"nothing.kol")), -1);
  EXPECT_EQ(TakeMessages(), (std::vector<std::wstring>{kLoadFailed, kLoadFailed}));
  EXPECT_EQ(TreeDump(), L"a\n");
  EXPECT_EQ(m.StatusBar1.PanelText(0), L"良い");
  EXPECT_EQ(m.StatusBar1.PanelText(1), status1);
  // The kept nodes still render: their entries stayed valid.
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_Overlay->id(), 0);
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(AppTest, RedisplayDuringALoadDoesNotReadTheReplacedEntries) {
  app::TWMain& m = Start({Plugin(L"old", L"picture a\tsynth=8x8x8:1\n")});
  SelectPath(L"a");
  // The module frees a's entry, then asks for a redisplay before returning.
  EXPECT_EQ(m.LoadPlugin(PluginSjis(L"new", L"picture b\tsynth=8x8x8:2\tload=redisplay\n")), 0);
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(TreeDump(), L"b\n");
}

TEST_F(AppTest, CommandLinePathIsCutTo255Bytes) {
  // A 300-character argument: the load sees its first 255 bytes, which name
  // no file, and reports the load failure instead of reading past the buffer.
  std::wstring longpath = dir.path() + std::wstring(300 - dir.path().size(), L'x');
  app::TWMain& m = Start({longpath});
  EXPECT_EQ(TakeMessages(), std::vector<std::wstring>{kLoadFailed});
  EXPECT_TRUE(m.Bound());
  // Exactly 255 works: a plug-in whose path is 255 bytes long.
  Stop();
  const std::wstring sub = dir.path() + std::wstring(200, L'd') + L"\\";
  CreateDirectoryW(sub.c_str(), nullptr);
  const std::wstring name = std::wstring(255 - sub.size() - 4, L'n');
  const std::wstring plugin =
      testsupport::InstallListedPlugin(sub, name, "picture a\tsynth=8x8x8:1\n");
  ASSERT_EQ(plugin.size(), 255u);
  Start({plugin + L"zzz"});  // the extra characters are cut off
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(TreeDump(), L"a\n");
}

TEST_F(AppTest, DialogChoiceLoadsOnlyANewFileNameButAlwaysTakesTheRoot) {
  const std::string one = base::ToSjis(dir.path());
  Plugin(L"first", L"title 一\npicture p1\tsynth=8x8x8:1\n");
  dialog.Confirm(one, "first.kol", "q:\\");
  app::TWMain& m = Start();
  EXPECT_EQ(TreeDump(), L"p1\n");
  SelectPath(L"p1");
  ASSERT_TRUE(m.PicturePresent());

  // Same file name in another directory: no reload, root taken over.
  testsupport::TempDir other;
  testsupport::InstallListedPlugin(other.path(), L"first",
                                   base::ToSjis(L"picture other\tsynth=8x8x8:1\n"));
  dialog.Confirm(other.sjis(), "first.kol", "r:\\");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_SelPgn->id(), 0);
  EXPECT_EQ(TreeDump(), L"p1\n");
  EXPECT_EQ(m.RootDir(), "r:\\");

  // Drive page only: the root changes, tree and picture stay.
  dialog.steps.push_back([](settings::DialogPaths& p, int) {
    SetPath(p.RootDir, "s:\\");
    return int32_t(settings::kConfirmed);
  });
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_SelDrv->id(), 0);
  EXPECT_EQ(dialog.pages.back(), settings::kPageDrive);
  EXPECT_EQ(m.RootDir(), "s:\\");
  EXPECT_EQ(TreeDump(), L"p1\n");
  EXPECT_NE(m.CurrentItem(), nullptr);

  // Cancelled: nothing changes, not even the root.
  dialog.steps.push_back([](settings::DialogPaths& p, int) {
    SetPath(p.RootDir, "t:\\");
    SetPath(p.PluginFile, "other.kol");
    return int32_t(settings::kCancelled);
  });
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_SelPgn->id(), 0);
  EXPECT_EQ(m.RootDir(), "s:\\");
  EXPECT_EQ(TreeDump(), L"p1\n");
  SetPath(dialog.paths.PluginFile, "first.kol");

  // A new file name loads; the picture on screen stays, the current item goes.
  Plugin(L"second", L"title 二\npicture p2\tsynth=8x8x8:2\n");
  dialog.Confirm(one, "second.kol");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_SelPgn->id(), 0);
  EXPECT_EQ(TreeDump(), L"p2\n");
  EXPECT_EQ(m.StatusBar1.PanelText(0), L"二");
  EXPECT_EQ(m.CurrentItem(), nullptr);
  EXPECT_TRUE(m.PicturePresent());
  EXPECT_TRUE(m.ME_Save->Enabled());
  EXPECT_TRUE(m.Image_Output.Visible());
  EXPECT_EQ(dialog.pages, (std::vector<int>{0, 0, 2, 0, 0}));
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(AppTest, NamesOnGuardPagesStillShow) {
  app::TWMain& m =
      Start({Plugin(L"g", L"category 風景\n  picture 夕焼け\tsynth=8x8x8:1\n")}, "guardnames");
  EXPECT_TRUE(m.Bound());
  EXPECT_EQ(TreeDump(), L"風景\n  夕焼け\n");
  EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(AppTest, AWithdrawnIndexCostsAMessageNotTheViewer) {
  app::TWMain& m = Start({Plugin(L"w",
                                 L"category c\n  picture a\tsynth=8x8x8:1\n"
                                 L"  picture b\tsynth=8x8x8:2\n")},
                         "withdraw");
  SelectPath(L"c/a");
  ASSERT_TRUE(m.PicturePresent());
  auto withdraw = reinterpret_cast<OrvuEntry>(
      GetProcAddress(GetModuleHandleA("kolbri.dll"), "StandinWithdrawIndex"));
  ASSERT_NE(withdraw, nullptr);
  ASSERT_EQ(withdraw(nullptr, nullptr, nullptr), 0);
  SelectPath(L"c");  // a category: known from the node data
  EXPECT_TRUE(m.ME_MulSave->Enabled());
  EXPECT_TRUE(dialog.batch_tab);
  SelectPath(L"c/b");  // the module faults on its own entry
  EXPECT_EQ(TakeMessages(), std::vector<std::wstring>{L"内部でエラーが発生しました(変換)"});
}

TEST_F(AppTest, DeepIndexLoadsWholeAndACycleIsCutWithAMessage) {
  std::wstring manifest;
  for (int i = 0; i < 200; ++i) manifest += std::wstring(size_t(i), L' ') + L"category d\n";
  manifest += std::wstring(200, L' ') + L"picture end\tsynth=8x8x8:1\n";
  app::TWMain& m = Start({Plugin(L"deep", manifest)});
  std::wstring path;
  for (int i = 0; i < 200; ++i) path += L"d/";
  EXPECT_NE(Find(path + L"end"), nullptr);
  EXPECT_TRUE(TakeMessages().empty());

  EXPECT_EQ(m.LoadPlugin(PluginSjis(L"loop",
                                    L"category 風景\n  picture a\tsynth=8x8x8:1\n"
                                    L"  category 輪\tchildren=loop\n  picture b\tsynth=8x8x8:2\n")),
            0);
  EXPECT_EQ(TreeDump(), L"風景\n  a\n  b\n");
  EXPECT_EQ(TakeMessages(),
            std::vector<std::wstring>{L"索引が循環しています。「風景」の一部を読み込んでいません。"
                                      L"読み込めた分だけを表示します(Plug-inロード)"});
}

TEST_F(AppTest, DirectoryPlusFileLongerThanAPathIsRefused) {
  app::TWMain& m = Start();
  dialog.Confirm(std::string(200, 'd') + "\\", std::string(60, 'f') + ".kol");
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_SelPgn->id(), 0);
  EXPECT_EQ(TakeMessages(), std::vector<std::wstring>{kLoadFailed});
  EXPECT_EQ(m.TreeView1.Count(), 0);
}

TEST_F(AppTest, BatchSaveMenuOpensTheBatchPage) {
  app::TWMain& m = Start({Plugin(L"p", L"category c\n  picture a\tsynth=8x8x8:1\n")});
  EXPECT_FALSE(m.ME_MulSave->Enabled());
  SelectPath(L"c");
  EXPECT_TRUE(m.ME_MulSave->Enabled());
  SendMessageW(m.hwnd(), WM_COMMAND, m.ME_MulSave->id(), 0);
  SendMessageW(m.hwnd(), WM_COMMAND, m.PME_FolderSave->id(), 0);
  EXPECT_EQ(dialog.pages, (std::vector<int>{1, 1}));
}

}  // namespace
}  // namespace apptest
