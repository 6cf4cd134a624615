// The settings dialog with the real main window, wired as program entry wires
// them: the index tree's selection drives the batch page, the pop-up's
// "まとめ保存" opens it, and a conversion walks the main window's own tree.
#include <gtest/gtest.h>

#include <ole2.h>

#include <chrono>

#include "app/umain.h"
#include "app/uverdlg.h"
#include "tests/support/batch_harness.h"
#include "cgmodule/picture.h"
#include "settings/ucomdlg1.h"
#include "shellview/shview.h"
#include "tests/support/testsupport.h"
#include "winui/msgbox.h"
#include "base/text.h"

namespace {

using batchtest::PumpUntil;

HTREEITEM Find(winui::TreeView& tree, const std::vector<std::wstring>& path) {
  HTREEITEM parent = nullptr;
  for (const std::wstring& name : path) {
    HTREEITEM it = parent ? tree.FirstChild(parent) : tree.Root();
    while (it && tree.ItemText(it) != name) it = tree.NextSibling(it);
    if (!it) return nullptr;
    parent = it;
  }
  return parent;
}

TEST(WithMainWindow, CategorySelectionDrivesTheBatchPageAndTheConversionWalksTheMainTree) {
  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  {
    shview::ShellState shell;
    winui::SetAppTitle(L"コルブリ");
    std::vector<std::wstring> messages;
    winui::SetMessageSink(
        [&](const std::wstring&, const std::wstring& t) { messages.push_back(t); });
    // The stand-in that can withdraw its index (it keeps it on pages of its own).
    testsupport::UseModuleVariant("withdraw");
    testsupport::TempDir exe_dir, out;
    const std::wstring kol = testsupport::InstallListedPlugin(
        exe_dir.path(), L"title",
        base::ToSjis(L"title 例\ncategory 画像\n  picture 一\tsynth=20x10x8:1\n  category 続き\n"
                     L"    picture 二\tsynth=11x6x24:2\n  picture 三\tsynth=7x9x4:3\n"));

    app::TWMain main(exe_dir.path() + L"kolbri.exe", {kol});
    main.Create();
    app::TWVerDlg version;
    version.Create(main.hwnd());
    settings::TWComDlg1 dialog;
    dialog.Create(main.hwnd());
    settings::BatchHost batch;  // as program entry fills it
    batch.index_tree = main.TreeView1.hwnd();
    batch.module = &main.Module();
    batch.overlay = [&main] { return main.ME_Overlay->Checked(); };
    batch.continue_flag = &main.continue_flag;
    dialog.SetBatchHost(batch);
    main.SetDialogs(&dialog, &version);
    main.Show();
    winui::PumpPending();

    EXPECT_FALSE(dialog.PageControl1.TabVisible(settings::kPageBatch));
    EXPECT_FALSE(dialog.Button_MulSav1.Enabled());
    const HTREEITEM category = Find(main.TreeView1, {L"画像"});
    ASSERT_NE(category, nullptr);
    main.TreeView1.Select(category);
    winui::PumpPending();
    EXPECT_TRUE(dialog.PageControl1.TabVisible(settings::kPageBatch));
    EXPECT_TRUE(dialog.Button_MulSav1.Enabled());

    lstrcpynA(dialog.Paths().DestDir.data(), base::ToSjis(out.path()).c_str(), 256);
    dialog.FolderView_Common1.RefreshTree();
    int page = -1;
    bool main_disabled = false;
    auto convert = [&] {
      winui::Form::ModalStartHook() = [&](winui::Form&) {
        page = dialog.PageControl1.ActivePage();
        main_disabled = !IsWindowEnabled(main.hwnd());
        SendMessageW(dialog.Button_MulSav1.hwnd(), BM_CLICK, 0, 0);
        PumpUntil([&] { return !dialog.ConversionRunning(); });
        SendMessageW(dialog.Button_CommonCancel.hwnd(), BM_CLICK, 0, 0);
      };
      main.ME_MulSaveClick(*main.PME_FolderSave);
      winui::Form::ModalStartHook() = nullptr;
    };
    convert();
    EXPECT_EQ(page, settings::kPageBatch);
    EXPECT_TRUE(main_disabled);
    EXPECT_TRUE(messages.empty());

    // Index names and category folders, the defaults.
    const struct {
      std::wstring file;
      std::vector<std::wstring> node;
    } files[] = {{L"画像\\一.bmp", {L"画像", L"一"}},
                 {L"画像\\続き\\二.bmp", {L"画像", L"続き", L"二"}},
                 {L"画像\\三.bmp", {L"画像", L"三"}}};
    for (const auto& f : files) {
      const std::string bytes = testsupport::ReadFileBytes(out.path() + f.file);
      ASSERT_FALSE(bytes.empty()) << base::ToSjis(f.file);
      const auto* entry = reinterpret_cast<const cgmodule::IndexNode*>(
                              main.TreeView1.Data(Find(main.TreeView1, f.node)))
                              ->entry;
      cgmodule::PictureBlock block(main.Module().MakeBmp(entry, false).block);
      EXPECT_TRUE(testsupport::SamePixels(testsupport::DecodeDib(block.Data(), block.Size()),
                                          testsupport::DecodeBmpFile(bytes)));
    }

    // A picture takes the batch page away again.
    main.TreeView1.Select(Find(main.TreeView1, {L"画像", L"一"}));
    winui::PumpPending();
    EXPECT_FALSE(dialog.PageControl1.TabVisible(settings::kPageBatch));
    EXPECT_FALSE(dialog.Button_MulSav1.Enabled());

    // The module withdraws its index: the walk on the worker still knows the
    // categories, the first render faults inside the module and stops the run.
    auto withdraw = reinterpret_cast<OrvuEntry>(
        GetProcAddress(GetModuleHandleA("kolbri.dll"), "StandinWithdrawIndex"));
    ASSERT_NE(withdraw, nullptr);
    ASSERT_EQ(withdraw(nullptr, nullptr, nullptr), 0);
    main.TreeView1.Select(category);
    winui::PumpPending();
    testsupport::RemoveTree(out.path() + L"画像");
    convert();
    EXPECT_EQ(messages, std::vector<std::wstring>{L"内部でエラーが発生しました(まとめ保存)"});
    EXPECT_EQ(GetFileAttributesW((out.path() + L"画像\\一.bmp").c_str()), INVALID_FILE_ATTRIBUTES);

    DestroyWindow(main.hwnd());
    winui::PumpPending();
    winui::SetMessageSink(nullptr);
  }
  OleUninitialize();
}

}  // namespace
