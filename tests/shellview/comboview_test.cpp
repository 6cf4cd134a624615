// TComboView in a real window over the running system's shell namespace, with
// folders built on C: and in the desktop directory.
#include "shellview/comboview.h"

#include <windowsx.h>

#include <gtest/gtest.h>

#include <cstdint>

#include "base/handle.h"
#include "shellview/folderview.h"
#include "tests/support/host_window.h"
#include "tests/support/shell_env.h"

using namespace shview;
using shtest::ParsePath;

namespace {

constexpr int kId = 101;

AbsoluteIDList Special(int csidl) {
  AbsoluteIDList list;
  SHGetSpecialFolderLocation(nullptr, csidl, list.receive());
  return list;
}

class ComboViewTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(combo.Create(host.hwnd(), RECT{0, 0, 300, 22}, kId)); }

  int IndexOf(PCIDLIST_ABSOLUTE list) const {
    for (int i = 0; i < combo.Count(); ++i)
      if (CompareItemIDs(DesktopFolder(), combo.Entry(i)->IDList.get(), list) == 0) return i;
    return -1;
  }
  // The user's pick in the dropped list as the window reports it to the parent.
  void Pick(int index) {
    ComboBox_ShowDropdown(combo.hwnd(), TRUE);
    ComboBox_SetCurSel(combo.hwnd(), index);
    SendMessageW(host.hwnd(), WM_COMMAND, MAKEWPARAM(kId, CBN_SELENDOK),
                 reinterpret_cast<LPARAM>(combo.hwnd()));
    ComboBox_ShowDropdown(combo.hwnd(), FALSE);
  }
  int DroppedListHeight() {
    ComboBox_ShowDropdown(combo.hwnd(), TRUE);
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    GetComboBoxInfo(combo.hwnd(), &info);
    RECT list{};
    GetWindowRect(info.hwndList, &list);
    ComboBox_ShowDropdown(combo.hwnd(), FALSE);
    return list.bottom - list.top;
  }

  shtest::HostWindow host;
  TComboView combo;
};

}  // namespace

TEST_F(ComboViewTest, OutlineHoldsTheDesktopItsFoldersAndTheDrives) {
  ASSERT_GT(combo.Count(), 3);
  EXPECT_EQ(combo.Entry(0)->Level, 0);
  EXPECT_EQ(ItemIDListSize(combo.Entry(0)->IDList.get()), 2u);
  EXPECT_EQ(combo.SelectedIndex(), 0);
  // The dropped list shows DropDownCount entries.
  EXPECT_EQ(DroppedListHeight(), 8 * 16 + 2);
  EXPECT_EQ(SendMessageW(combo.hwnd(), CB_GETITEMHEIGHT, 0, 0), 16);
  // A font does not resize the field: entries are drawn ItemHeight high.
  const LRESULT field = SendMessageW(combo.hwnd(), CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
  const base::UniqueFont big(
      CreateFontW(-24, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma"));
  SetWindowFont(combo.hwnd(), big.get(), FALSE);
  EXPECT_EQ(SendMessageW(combo.hwnd(), CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0), field);
  SetWindowFont(combo.hwnd(), nullptr, FALSE);

  // Every folder of the desktop at level 1, in the shell's order.
  IEnumIDList* en = nullptr;
  ASSERT_EQ(DesktopFolder()->EnumObjects(nullptr, kTreeEnumFlags, &en), S_OK);
  int desktop_children = 0;
  PITEMID_CHILD child;
  while (en->Next(1, &child, nullptr) == S_OK) {
    const ChildIDList owned(child);
    const int i = IndexOf(reinterpret_cast<PCIDLIST_ABSOLUTE>(owned.get()));
    ASSERT_GT(i, 0);
    EXPECT_EQ(combo.Entry(i)->Level, 1);
    ++desktop_children;
  }
  en->Release();
  int level1 = 0, previous = -1;
  for (int i = 1; i < combo.Count(); ++i) {
    if (combo.Entry(i)->Level != 1) continue;
    ++level1;
    if (previous > 0) {
      EXPECT_LT(CompareItemIDs(DesktopFolder(), combo.Entry(previous)->IDList.get(),
                               combo.Entry(i)->IDList.get()),
                0);
    }
    previous = i;
  }
  EXPECT_EQ(level1, desktop_children);

  // The drives right behind the computer folder's entry, at level 2.
  const int computer = IndexOf(Special(CSIDL_DRIVES).get());
  const int c_drive = IndexOf(ParsePath("C:\\").get());
  ASSERT_GT(computer, 0);
  EXPECT_GT(c_drive, computer);
  for (int i = computer + 1; i <= c_drive; ++i) EXPECT_EQ(combo.Entry(i)->Level, 2);
}

TEST_F(ComboViewTest, AddPathInsertsMissingLevelsBehindTheirParent) {
  shtest::TempTree dirs("shv_combo_add");
  const std::string deep = dirs.Dir("a");
  const int base = combo.Count();
  const int c_drive = IndexOf(ParsePath("C:\\").get());

  const AbsoluteIDList list = ParsePath(deep);
  const int at = combo.AddPath(list.get());
  EXPECT_EQ(combo.Count(), base + 2);
  EXPECT_EQ(at, c_drive + 2);
  EXPECT_EQ(combo.Entry(c_drive + 1)->Level, 3);
  EXPECT_EQ(combo.Entry(at)->Level, 4);
  EXPECT_EQ(CompareItemIDs(DesktopFolder(), combo.Entry(at)->IDList.get(), list.get()), 0);
  EXPECT_EQ(combo.AddPath(list.get()), at);  // every level found: nothing added
  EXPECT_EQ(combo.Count(), base + 2);

  // A folder lying on the desktop: its sub-folder goes behind its level-1
  // entry, not among the drives.
  wchar_t desktop_dir[MAX_PATH];
  SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop_dir);
  const std::wstring on_desktop = std::wstring(desktop_dir) + L"\\shv_combo_desk";
  CreateDirectoryW(on_desktop.c_str(), nullptr);
  CreateDirectoryW((on_desktop + L"\\sub").c_str(), nullptr);
  const base::ScopeExit cleanup([&] {
    RemoveDirectoryW((on_desktop + L"\\sub").c_str());
    RemoveDirectoryW(on_desktop.c_str());
  });
  combo.BuildList();
  int folder = -1;
  for (int i = 1; i < combo.Count() && folder < 0; ++i) {
    std::wstring name;
    GetItemDisplayNameW(DesktopFolder(), combo.Entry(i)->IDList.get(), SHGDN_INFOLDER, name);
    if (combo.Entry(i)->Level == 1 && name == L"shv_combo_desk") folder = i;
  }
  ASSERT_GT(folder, 0);
  ComPtr<IShellFolder> parent;
  ASSERT_HRESULT_SUCCEEDED(DesktopFolder()->BindToObject(combo.Entry(folder)->IDList.get(), nullptr,
                                                         KOLBRI_IID_PPV(parent)));
  ChildIDList sub;
  wchar_t sub_name[] = L"sub";
  ASSERT_HRESULT_SUCCEEDED(
      parent->ParseDisplayName(nullptr, nullptr, sub_name, nullptr,
                               reinterpret_cast<PIDLIST_RELATIVE*>(sub.receive()), nullptr));
  const AbsoluteIDList nested = ConcatItemIDLists(combo.Entry(folder)->IDList.get(), sub.get());
  EXPECT_EQ(combo.AddPath(nested.get()), folder + 1);
  EXPECT_EQ(combo.Entry(folder + 1)->Level, 2);
}

TEST_F(ComboViewTest, ShowItemIDListReplacesThePathEntries) {
  shtest::TempTree dirs("shv_combo_show");
  const std::string deep = dirs.Dir("a");
  const int base = combo.Count();
  const int c_drive = IndexOf(ParsePath("C:\\").get());
  int other_drive = -1;
  for (int i = c_drive + 1; i < base && combo.Entry(i)->Level == 2 && other_drive < 0; ++i)
    other_drive = i;
  ASSERT_GT(other_drive, 0) << "a second drive (Z:) after C:";
  const AbsoluteIDList drive = ConcatItemIDLists(combo.Entry(other_drive)->IDList.get(), nullptr);

  combo.ShowItemIDList(ParsePath(deep).get());
  EXPECT_EQ(combo.Count(), base + 2);
  EXPECT_EQ(combo.SelectedIndex(), c_drive + 2);

  combo.ShowItemIDList(nullptr);
  EXPECT_EQ(combo.Count(), base + 2);
  EXPECT_EQ(combo.SelectedIndex(), c_drive + 2);

  combo.ShowItemIDList(Special(CSIDL_DESKTOP).get());
  EXPECT_EQ(combo.Count(), base);
  EXPECT_EQ(combo.SelectedIndex(), 0);

  combo.ShowItemIDList(ParsePath(deep).get());
  combo.ShowItemIDList(drive.get());
  EXPECT_EQ(combo.Count(), base);
  EXPECT_EQ(combo.SelectedIndex(), other_drive);
}

TEST_F(ComboViewTest, APickSteersTheLinkedTreeWhichRebuildsThePath) {
  shtest::TempTree dirs("shv_combo_pick");
  const std::string deep = dirs.Dir("a");
  TFolderView tree;
  ASSERT_TRUE(tree.Create(host.hwnd(), RECT{0, 30, 300, 400}, kId + 1));
  combo.SetFolderView(&tree);
  EXPECT_EQ(tree.LinkedComboView(), &combo);
  const int base = combo.Count();
  const int c_drive = IndexOf(ParsePath("C:\\").get());

  tree.SelectPath(deep);
  EXPECT_EQ(combo.Count(), base + 2);
  EXPECT_EQ(combo.SelectedIndex(), c_drive + 2);

  // A path entry: the tree goes there and the path is kept up to it.
  int changes = 0;
  combo.on_change = [&](TComboView&) {
    ++changes;
    EXPECT_EQ(tree.GetSelectedPath(), deep);  // the tree has not moved yet
  };
  Pick(c_drive + 1);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(tree.GetSelectedPath(), dirs.path());
  EXPECT_EQ(combo.Count(), base + 1);
  EXPECT_EQ(combo.SelectedIndex(), c_drive + 1);

  // A base entry: no path entries remain.
  combo.on_change = nullptr;
  const AbsoluteIDList computer = Special(CSIDL_DRIVES);
  Pick(IndexOf(computer.get()));
  EXPECT_EQ(CompareItemIDs(DesktopFolder(), tree.GetNodeItemIDList(tree.RealSelection()).get(),
                           computer.get()),
            0);
  EXPECT_EQ(combo.Count(), base);
  EXPECT_EQ(combo.SelectedIndex(), IndexOf(computer.get()));

  combo.ComponentRemoved(&tree);
  EXPECT_EQ(combo.FolderView(), nullptr);
  combo.SetFolderView(&tree);
  combo.SetFolderView(nullptr);
  EXPECT_EQ(tree.LinkedComboView(), nullptr);
  // Linking another tree, or going away, leaves no tree calling this combo box.
  TFolderView other;
  combo.SetFolderView(&tree);
  combo.SetFolderView(&other);
  EXPECT_EQ(tree.LinkedComboView(), nullptr);
  {
    TComboView second;
    second.SetFolderView(&tree);
  }
  EXPECT_EQ(tree.LinkedComboView(), nullptr);
  combo.SetFolderView(nullptr);
  tree.Destroy();
}

namespace {

// A 32-bit top-down picture to draw entries into and read back.
class Raster {
 public:
  Raster(int width, int height) : width_(width), dc_(CreateCompatibleDC(nullptr)) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bitmap_.reset(CreateDIBSection(dc_.get(), &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_),
                                   nullptr, 0));
    old_ = SelectObject(dc_.get(), bitmap_.get());
    RECT all{0, 0, width, height};
    const base::UniqueBrush key(CreateSolidBrush(kKey));
    FillRect(dc_.get(), &all, key.get());
  }
  ~Raster() { SelectObject(dc_.get(), old_); }
  HDC dc() const { return dc_.get(); }
  COLORREF At(int x, int y) const {
    GdiFlush();
    const uint32_t p = bits_[y * width_ + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
  // First column from x on with a pixel other than colour in rows [top, bottom).
  int FirstColumnNot(COLORREF colour, int x, int top, int bottom) const {
    for (; x < width_; ++x)
      for (int y = top; y < bottom; ++y)
        if (At(x, y) != colour) return x;
    return -1;
  }
  static constexpr COLORREF kKey = RGB(255, 0, 255);

 private:
  int width_;
  base::UniqueDC dc_;
  base::UniqueBitmap bitmap_;
  uint32_t* bits_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

}  // namespace

TEST_F(ComboViewTest, EntriesDrawIconSquareAndTextWhereTheLevelPutsThem) {
  shtest::TempTree dirs("Hshv_combo_draw");  // a first letter whose ink starts at its cell
  combo.ShowItemIDList(ParsePath(dirs.path()).get());
  const int entry = combo.SelectedIndex();
  ASSERT_EQ(combo.Entry(entry)->Level, 3);
  auto draw = [&](const Raster& r, int left, UINT state) {
    DRAWITEMSTRUCT dis{ODT_COMBOBOX,
                       kId,
                       static_cast<UINT>(entry),
                       ODA_DRAWENTIRE,
                       state,
                       combo.hwnd(),
                       r.dc(),
                       RECT{left, 0, 300, 16},
                       reinterpret_cast<ULONG_PTR>(combo.Entry(entry))};
    SendMessageW(host.hwnd(), WM_DRAWITEM, kId, reinterpret_cast<LPARAM>(&dis));
  };

  // Where the ink of the name's first letter starts inside its cell.
  ABC abc{};
  {
    Raster probe(1, 1);
    HFONT font = GetWindowFont(combo.hwnd());
    SelectObject(probe.dc(), font ? font : GetStockObject(DEFAULT_GUI_FONT));
    GetCharABCWidthsW(probe.dc(), L'H', L'H', &abc);
  }
  const int bearing = abc.abcA > 0 ? abc.abcA : 0;

  // The dropped list: indented 30 pixels, the selected entry highlighted but
  // for the white 16 x 16 icon square; the text 3 pixels behind the square.
  ComboBox_ShowDropdown(combo.hwnd(), TRUE);
  Raster list(300, 16);
  draw(list, 0, ODS_SELECTED);
  ComboBox_ShowDropdown(combo.hwnd(), FALSE);
  const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
  const int x = 30;
  EXPECT_EQ(list.FirstColumnNot(highlight, 0, 0, 16), x);
  EXPECT_NE(list.At(x, 0), highlight);
  EXPECT_NE(list.At(x + 15, 15), highlight);
  EXPECT_EQ(list.At(x + 16, 0), highlight);
  EXPECT_EQ(list.At(299, 15), highlight);  // the whole row is cleared
  const int text = list.FirstColumnNot(highlight, x + 16, 0, 16);
  EXPECT_EQ(text, x + 19 + bearing);

  // The selection field (told by its state, not its left edge): flush at its
  // left edge + 1, whatever the level.
  for (int left : {3, 0}) {
    Raster field(300, 16);
    draw(field, left, ODS_COMBOBOXEDIT);
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    if (left > 0) {
      EXPECT_EQ(field.At(left - 1, 0), Raster::kKey);
    }
    const int ink = field.FirstColumnNot(window, left, 0, 16);
    EXPECT_GE(ink, left + 1);
    EXPECT_LT(ink, left + 17);
    const int field_text = field.FirstColumnNot(window, left + 17, 0, 16);
    EXPECT_EQ(field_text, left + 1 + 19 + bearing);
  }

  // A list entry while the list is closed draws nothing.
  Raster closed(300, 16);
  draw(closed, 0, 0);
  EXPECT_EQ(closed.FirstColumnNot(Raster::kKey, 0, 0, 16), -1);
}

// The dropped list keeps DropDownCount entries of ItemHeight whatever changes
// while it is open.
TEST_F(ComboViewTest, TheDroppedListKeepsItsHeightWhenChangedWhileOpen) {
  ComboBox_ShowDropdown(combo.hwnd(), TRUE);
  combo.SetDropDownCount(4);
  combo.SetBoundsPx(10, 0, 250, 22);
  ComboBox_ShowDropdown(combo.hwnd(), FALSE);
  EXPECT_EQ(DroppedListHeight(), 4 * 16 + 2);
  ComboBox_ShowDropdown(combo.hwnd(), TRUE);
  combo.SetItemHeight(20);
  ComboBox_ShowDropdown(combo.hwnd(), FALSE);
  EXPECT_EQ(DroppedListHeight(), 4 * 20 + 2);
}

// Arrow keys on the closed box walk the entries without steering the tree;
// Enter chooses the entry reached.
TEST_F(ComboViewTest, OnlyAChoiceSteersTheTree) {
  TFolderView tree;
  ASSERT_TRUE(tree.Create(host.hwnd(), RECT{0, 30, 300, 400}, kId + 1));
  combo.SetFolderView(&tree);
  const AbsoluteIDList computer = Special(CSIDL_DRIVES);
  const int target = IndexOf(computer.get());
  ASSERT_GT(target, 0);
  int changes = 0;
  combo.on_change = [&](TComboView&) { ++changes; };
  SetFocus(combo.hwnd());
  for (int i = 0; i < target; ++i) {
    SendMessageW(combo.hwnd(), WM_KEYDOWN, VK_DOWN, 0);
    SendMessageW(combo.hwnd(), WM_KEYUP, VK_DOWN, 0);
  }
  shtest::Pump();
  EXPECT_EQ(combo.SelectedIndex(), target);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(tree.RealSelection(), tree.Root());
  SendMessageW(combo.hwnd(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(CompareItemIDs(DesktopFolder(), tree.GetNodeItemIDList(tree.RealSelection()).get(),
                           computer.get()),
            0);
  combo.SetFolderView(nullptr);
}

// A desktop folder renamed through the linked tree (as the file list tells
// it): its base entry follows. Wine's desktop folder cannot rename itself, so
// the folder is renamed on disk and the tree told as the list would.
TEST_F(ComboViewTest, ABaseEntryFollowsARenameInTheTree) {
  wchar_t desktop_dir[MAX_PATH];
  SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, desktop_dir);
  const std::wstring before = std::wstring(desktop_dir) + L"\\shv_combo_old";
  const std::wstring after = std::wstring(desktop_dir) + L"\\shv_combo_new";
  CreateDirectoryW(before.c_str(), nullptr);
  const base::ScopeExit cleanup([&] {
    RemoveDirectoryW(before.c_str());
    RemoveDirectoryW(after.c_str());
  });
  combo.BuildList();
  TFolderView tree;
  ASSERT_TRUE(tree.Create(host.hwnd(), RECT{0, 30, 300, 400}, kId + 1));
  combo.SetFolderView(&tree);
  auto desktop_child = [&](const wchar_t* name) {
    for (Node c = tree.FirstChild(tree.Root()); c; c = tree.NextSibling(c))
      if (tree.Text(c) == name) return CopyFirstItemID(tree.Data(c));
    return ChildIDList();
  };
  const ChildIDList old_item = desktop_child(L"shv_combo_old");
  ASSERT_TRUE(old_item);
  ASSERT_TRUE(MoveFileW(before.c_str(), after.c_str()));
  ChildIDList new_item;
  ComPtr<IEnumIDList> children;
  ASSERT_EQ(DesktopFolder()->EnumObjects(nullptr, kTreeEnumFlags, children.put()), S_OK);
  for (ChildIDList c; children->Next(1, c.receive(), nullptr) == S_OK;) {
    std::wstring name;
    GetItemDisplayNameW(DesktopFolder(), c.get(), SHGDN_INFOLDER, name);
    if (name == L"shv_combo_new") new_item = std::move(c);
  }
  ASSERT_TRUE(new_item);
  tree.RenameChildItem(old_item.get(), new_item.get());
  int found = 0;
  for (int i = 1; i < combo.Count(); ++i) {
    std::wstring name;
    GetItemDisplayNameW(DesktopFolder(), combo.Entry(i)->IDList.get(), SHGDN_FORPARSING, name);
    EXPECT_NE(name, before);
    if (name == after && combo.Entry(i)->Level == 1) ++found;
  }
  EXPECT_EQ(found, 1);
  combo.SetFolderView(nullptr);
}

TEST(ComboViewLifetime, RecordsAreFreedOnceByClearDestroyAndTheParent) {
  shtest::HostWindow host;
  shtest::TempTree dirs("shv_combo_life");
  const AbsoluteIDList deep = ParsePath(dirs.Dir("a\\b"));
  const long before = shtest::LiveTaskBlocks();
  {
    TComboView combo;
    ASSERT_TRUE(combo.Create(host.hwnd(), RECT{0, 0, 200, 22}, kId));
    combo.ShowItemIDList(deep.get());
    combo.ClearEntries();
    EXPECT_EQ(combo.Count(), 0);
    EXPECT_EQ(shtest::LiveTaskBlocks(), before);

    combo.BuildList();
    combo.ShowItemIDList(deep.get());
    combo.Destroy();
    EXPECT_EQ(combo.hwnd(), nullptr);
    EXPECT_EQ(shtest::LiveTaskBlocks(), before);

    ASSERT_TRUE(combo.Create(host.hwnd(), RECT{0, 0, 200, 22}, kId));
    combo.ShowItemIDList(deep.get());
    DestroyWindow(host.hwnd());  // the form takes its controls with it
    EXPECT_EQ(combo.hwnd(), nullptr);
    EXPECT_EQ(shtest::LiveTaskBlocks(), before);
  }
}
