// The three shell view controls and a menu/drag component linked as a form
// places them: any piece can go first, and what stays keeps working.
#include <windowsx.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "shellview/comboview.h"
#include "shellview/fileview.h"
#include "shellview/folderview.h"
#include "tests/support/folder_delegate.h"
#include "tests/support/host_window.h"
#include "tests/support/shell_env.h"

using namespace shview;
using shtest::ParsePath;

namespace {

constexpr int kComboId = 201, kTreeId = 202, kListId = 203;

// Counts what tree and list hand to their menu and drag components.
class Components final : public ShellMenuPartner, public ShellDragPartner {
 public:
  int menus = 0, drags = 0;
  bool PopupShellMenu(HWND, IShellFolder*, POINT, int, PCUIDLIST_RELATIVE) override {
    ++menus;
    return false;
  }
  void StartShellDrag(HWND, IShellFolder*, int, PCUIDLIST_RELATIVE) override { ++drags; }
};

enum class Piece { kCombo, kTree, kList, kComponents };

class LinkedTest : public ::testing::Test {
 protected:
  void Build() {
    combo = std::make_unique<TComboView>();
    tree = std::make_unique<TFolderView>();
    list = std::make_unique<TFileView>();
    components = std::make_unique<Components>();
    ASSERT_TRUE(combo->Create(host.hwnd(), RECT{0, 0, 300, 22}, kComboId));
    list->SetFileExecute(false);
    list->SetViewStyle(TFileView::ViewStyle::vsReport);
    ASSERT_TRUE(list->Create(host.hwnd(), RECT{300, 30, 800, 520}, kListId));
    tree->SetFileView(list.get());
    combo->SetFolderView(tree.get());
    tree->SetContextMenu(components.get());
    tree->SetDropSource(components.get());
    list->SetContextMenu(components.get());
    list->SetDropSource(components.get());
    ASSERT_TRUE(tree->Create(host.hwnd(), RECT{0, 30, 300, 520}, kTreeId));
  }
  void Drop(Piece p) {
    switch (p) {
      case Piece::kCombo: combo.reset(); break;
      case Piece::kTree: tree.reset(); break;
      case Piece::kList: list.reset(); break;
      case Piece::kComponents: components.reset(); break;
    }
  }
  // Uses every piece still there the way a user would.
  void UseWhatStays(const std::string& folder) {
    if (tree) {
      tree->SelectPath(folder);
      Node n = tree->RealSelection();
      RECT r{};
      TreeView_GetItemRect(tree->hwnd(), n, &r, TRUE);
      const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
      SendMessageW(tree->hwnd(), WM_RBUTTONDOWN, MK_RBUTTON, at);
      SendMessageW(tree->hwnd(), WM_RBUTTONUP, 0, at);
    }
    if (list) {
      if (!tree) list->ShowFolder(ParsePath(folder).get());
      const int inner = list->IndexOf(L"inner");
      ASSERT_GE(inner, 0);
      list->SetSelected(inner, true);
      UpdateWindow(list->hwnd());
      const RECT r = list->LabelRect(inner);
      const POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
      const LPARAM at = MAKELPARAM(p.x, p.y);
      SendMessageW(list->hwnd(), WM_RBUTTONDOWN, MK_RBUTTON, at);
      SendMessageW(list->hwnd(), WM_RBUTTONUP, 0, at);
      SendMessageW(list->hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, at);
      SendMessageW(list->hwnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(p.x + 40, p.y + 40));
      SendMessageW(list->hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(p.x + 40, p.y + 40));
      SendMessageW(list->hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    }
    if (combo) {  // the desktop picked in the dropped list
      ComboBox_ShowDropdown(combo->hwnd(), TRUE);
      ComboBox_SetCurSel(combo->hwnd(), 0);
      SendMessageW(host.hwnd(), WM_COMMAND, MAKEWPARAM(kComboId, CBN_SELENDOK),
                   reinterpret_cast<LPARAM>(combo->hwnd()));
      ComboBox_ShowDropdown(combo->hwnd(), FALSE);
      if (tree) {
        EXPECT_EQ(tree->RealSelection(), tree->Root());
      }
    }
    shtest::Pump();
  }

  shtest::HostWindow host{820, 560};
  std::unique_ptr<TComboView> combo;
  std::unique_ptr<TFolderView> tree;
  std::unique_ptr<TFileView> list;
  std::unique_ptr<Components> components;
};

}  // namespace

TEST_F(LinkedTest, AnyPieceCanGoFirstAndWhatStaysWorks) {
  shtest::TempTree dirs("shv_linked");
  dirs.Dir("inner\\deeper");
  long blocks = 0;
  for (Piece first : {Piece::kCombo, Piece::kTree, Piece::kList, Piece::kComponents}) {
    SCOPED_TRACE(static_cast<int>(first));
    Build();
    UseWhatStays(dirs.path());
    Components* counted = components.get();
    const int menus = counted->menus, drags = counted->drags;
    EXPECT_EQ(menus, 2);  // tree and list
    EXPECT_EQ(drags, 1);  // the list's
    Drop(first);
    if (tree) {
      EXPECT_EQ(tree->LinkedComboView(), combo.get());
      EXPECT_EQ(tree->FileView(), list.get());
      EXPECT_EQ(tree->ContextMenu(), components.get());
      EXPECT_EQ(tree->DropSource(), components.get());
    }
    if (list) {
      EXPECT_EQ(list->LinkedFolderView(), tree.get());
      EXPECT_EQ(list->ContextMenu(), components.get());
    }
    if (combo) {
      EXPECT_EQ(combo->FolderView(), tree.get());
    }
    UseWhatStays(dirs.path());
    if (components) {
      // Only the menu and drag of pieces still there.
      EXPECT_EQ(components->menus, menus + (tree ? 1 : 0) + (list ? 1 : 0));
      EXPECT_EQ(components->drags, drags + (list ? 1 : 0));
    }
    // The rest goes in the order of the pieces.
    for (Piece p : {Piece::kCombo, Piece::kTree, Piece::kList, Piece::kComponents}) Drop(p);
    // The shell keeps a few blocks of its own from its first use on.
    if (first == Piece::kCombo) blocks = shtest::LiveTaskBlocks();
    EXPECT_EQ(shtest::LiveTaskBlocks(), blocks);
  }
}

// A drive without a medium picked while tree, list and combo box are linked:
// the list sends the tree back, and all three end on the folder shown before.
TEST_F(LinkedTest, ARefusedFolderLeavesAllThreeOnThePreviousOne) {
  shtest::TempTree dirs("shv_linked_refused");
  dirs.Dir("before");
  dirs.Dir("locked");
  const std::string before = dirs.path() + "\\before";
  Build();
  tree->SelectPath(dirs.path() + "\\locked");
  tree->SelectPath(before);
  Node locked = tree->PreviousNode();
  ASSERT_NE(locked, nullptr);

  const AbsoluteIDList locked_list = ParsePath(dirs.path() + "\\locked");
  IShellFolder* real = DesktopFolder();
  auto* desktop = new shtest::DesktopWithEmptyDrive(real, locked_list.get());
  shview::ReplaceDesktopFolder(desktop);
  tree->Select(locked);
  shview::ReplaceDesktopFolder(real);
  EXPECT_EQ(desktop->refusals, 1);
  desktop->Release();

  EXPECT_EQ(tree->GetSelectedPath(), before);
  std::string shown, picked;
  GetItemDisplayName(DesktopFolder(), list->ShownFolderList(), SHGDN_FORPARSING, shown);
  EXPECT_EQ(shown, before);
  const TComboData* entry = combo->Entry(combo->SelectedIndex());
  ASSERT_NE(entry, nullptr);
  GetItemDisplayName(DesktopFolder(), entry->IDList.get(), SHGDN_FORPARSING, picked);
  EXPECT_EQ(picked, before);
}
