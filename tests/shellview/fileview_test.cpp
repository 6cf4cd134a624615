// TFileView in a real window over the running system's shell namespace, with
// files built on C: for each test.
#include "shellview/fileview.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "base/com.h"
#include "base/handle.h"
#include "base/text.h"
#include "shellcom/drpcomex.h"
#include "shellview/folderview.h"
#include "tests/support/folder_delegate.h"
#include "tests/support/host_window.h"
#include "tests/support/shell_env.h"

using namespace shview;
using shtest::ParsePath;

namespace {

void MakeFile(const std::string& path, size_t bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  std::string data(bytes, 'x');
  DWORD written = 0;
  ::WriteFile(h, data.data(), static_cast<DWORD>(bytes), &written, nullptr);
  CloseHandle(h);
}

// A shortcut to target, made by the shell's own link object.
void MakeShortcut(const std::string& link, const std::string& target) {
  ComPtr<IShellLinkW> sl;
  ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, KOLBRI_IID_PPV(sl)),
            S_OK);
  sl->SetPath(base::FromAcp(target).c_str());
  const ComPtr<IPersistFile> pf = sl.As<IPersistFile>();
  ASSERT_TRUE(pf);
  EXPECT_EQ(pf->Save(base::FromAcp(link).c_str(), TRUE), S_OK);
}

class FileViewTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(list.Create(host.hwnd(), RECT{400, 0, 800, 520}, 101)); }
  void TearDown() override {
    list.Destroy();
    tree.Destroy();
  }

  void Show(const std::string& path) { list.ShowFolder(ParsePath(path).get()); }
  std::vector<std::wstring> Captions(const TFileView& v) const {
    std::vector<std::wstring> out;
    for (int i = 0; i < v.ItemCount(); ++i) out.push_back(v.Caption(i));
    return out;
  }
  std::string ShownPath() const {
    std::string s;
    GetItemDisplayName(DesktopFolder(), list.ShownFolderList(), SHGDN_FORPARSING, s);
    return s;
  }
  POINT CenterOf(int index) {
    UpdateWindow(list.hwnd());
    const RECT r = list.LabelRect(index);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  void LinkTree() {
    ASSERT_TRUE(tree.Create(host.hwnd(), RECT{0, 0, 400, 520}, 100));
    tree.SetFileView(&list);
  }
  // A real click on a column header, in report view.
  static void ClickHeader(TFileView& v, int column) {
    HWND header = ListView_GetHeader(v.hwnd());
    RECT r{};
    Header_GetItemRect(header, column, &r);
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(header, WM_LBUTTONUP, 0, at);
  }
  bool Edit(int index, const wchar_t* text) {
    HWND edit = ListView_EditLabel(list.hwnd(), index);
    if (!edit) return false;
    SetWindowTextW(edit, text);
    SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
    shtest::Pump();
    return true;
  }

  shtest::HostWindow host{820, 560};
  TFolderView tree;
  TFileView list;
};

}  // namespace

namespace {

// An icon handler that answers GetIconLocation with the given flags.
class FlagsIcon final : public IExtractIconW {
 public:
  explicit FlagsIcon(UINT flags) : flags_(flags) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    *out = riid == IID_IUnknown || riid == IID_IExtractIconW ? this : nullptr;
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE GetIconLocation(UINT, LPWSTR file, UINT size, int* index,
                                            UINT* flags) override {
    if (size) file[0] = L'\0';
    *index = 0;
    *flags = flags_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Extract(LPCWSTR, UINT, HICON*, HICON*, UINT) override {
    return S_FALSE;
  }

 private:
  UINT flags_;
  ULONG refs_ = 1;
};

// A folder whose items' icon handler says what the test wants; none for ~0u.
class IconFolder final : public shtest::Delegate {
 public:
  IconFolder(IShellFolder* real, UINT flags) : Delegate(real), flags_(flags) {}
  HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND h, UINT c, PCUITEMID_CHILD_ARRAY p, REFIID r,
                                          UINT* x, void** o) override {
    if (r != IID_IExtractIconW) return real_->GetUIObjectOf(h, c, p, r, x, o);
    *o = flags_ == ~0u ? nullptr : static_cast<IExtractIconW*>(new FlagsIcon(flags_));
    return *o ? S_OK : E_NOINTERFACE;
  }

 private:
  UINT flags_;
};

}  // namespace

TEST(FileViewIcons, AreSharedByExtensionOnlyWhereTheShellSaysTheClassHasOne) {
  shtest::TempTree dirs("shv_icon_class");
  MakeFile(dirs.File("a.txt"), 1);
  ComPtr<IShellFolder> real;
  ASSERT_EQ(
      DesktopFolder()->BindToObject(ParsePath(dirs.path()).get(), nullptr, KOLBRI_IID_PPV(real)),
      S_OK);
  const ChildIDList item = CopyLastItemID(ParsePath(dirs.File("a.txt")).get());
  const std::pair<UINT, bool> cases[] = {{0, true},
                                         {GIL_PERCLASS, true},
                                         {GIL_PERINSTANCE, false},
                                         {GIL_PERINSTANCE | GIL_PERCLASS, true},
                                         {~0u, false}};
  for (auto [flags, shared] : cases) {
    auto* folder = new IconFolder(real.get(), flags);
    EXPECT_EQ(IconIsPerClass(folder, nullptr, item.get()), shared) << flags;
    folder->Release();
  }
}

TEST_F(FileViewTest, ListsTheFolderThroughTheMaskWithColumnsTextsAndIcons) {
  // A new control, as a form places it.
  EXPECT_TRUE(list.FileExecute());
  EXPECT_FALSE(list.ReadOnly());
  EXPECT_TRUE(list.MultiSelect());
  EXPECT_EQ(list.GetViewStyle(), TFileView::ViewStyle::vsIcon);
  EXPECT_TRUE(list.Mask().empty());
  EXPECT_EQ(TFileView().WidthPx(), 200);
  const LONG style = GetWindowLongW(list.hwnd(), GWL_STYLE);
  EXPECT_TRUE(style & LVS_SHAREIMAGELISTS);
  EXPECT_TRUE(style & LVS_EDITLABELS);
  EXPECT_FALSE(style & LVS_SINGLESEL);
  EXPECT_EQ(ListView_GetImageList(list.hwnd(), LVSIL_NORMAL), SystemImageList(false));
  EXPECT_EQ(ListView_GetImageList(list.hwnd(), LVSIL_SMALL), SystemImageList(true));
  const wchar_t* captions[] = {L"名前", L"ｻｲｽﾞ", L"ﾌｧｲﾙの種類", L"更新日時"};
  const int widths[] = {120, 60, 120, 120};
  for (int c = 0; c < 4; ++c) {
    wchar_t text[32] = {};
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    col.pszText = text;
    col.cchTextMax = 32;
    ASSERT_TRUE(ListView_GetColumn(list.hwnd(), c, &col));
    EXPECT_STREQ(text, captions[c]);
    if (c == 1) {
      EXPECT_GE(col.cx, widths[c]);  // at least: it fits its texts
    } else {
      EXPECT_EQ(col.cx, widths[c]);
    }
    EXPECT_EQ(col.fmt & LVCFMT_JUSTIFYMASK, c == 1 ? LVCFMT_RIGHT : LVCFMT_LEFT);
  }

  shtest::TempTree dirs("shv_list");
  dirs.Dir("sub.txt");
  MakeFile(dirs.File("a.BMP"), 1024);
  MakeFile(dirs.File("b.jpg"), 0);
  for (const char* name : {"c.jpeg", "noext", "d.bmp.txt"}) MakeFile(dirs.File(name), 10);
  MakeShortcut(dirs.path() + "\\link.lnk", dirs.path() + "\\a.BMP");
  SetFileAttributesA((dirs.path() + "\\b.jpg").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SYSTEMTIME local{2026, 3, 0, 4, 5, 6, 7, 0};
  FILETIME lt, utc;
  SystemTimeToFileTime(&local, &lt);
  LocalFileTimeToFileTime(&lt, &utc);
  HANDLE h = CreateFileA((dirs.path() + "\\b.jpg").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  SetFileTime(h, nullptr, nullptr, &utc);
  CloseHandle(h);

  const std::vector<std::string> mask = {".bmp", ".JPG"};
  list.SetMask(&mask);
  list.SetMask(nullptr);  // ignored
  Show(dirs.path());
  ASSERT_EQ(list.ItemCount(), 3);
  for (int i = 1; i < list.ItemCount(); ++i)  // in the folder's order
    EXPECT_LT(CompareItemIDs(list.ShownFolder(), list.Data(i - 1), list.Data(i)), 0);
  const int a = list.IndexOf(L"a.BMP"), b = list.IndexOf(L"b.jpg");
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  EXPECT_GE(list.IndexOf(L"sub.txt"), 0);  // a folder passes any mask
  EXPECT_EQ(list.SubItemText(a, 1), L"       2KB");
  EXPECT_EQ(list.SubItemText(b, 1), L"       1KB");
  EXPECT_EQ(list.SubItemText(b, 3), L"26/03/04 05:06");
  EXPECT_FALSE(list.SubItemText(a, 2).empty());
  // The shell's own icons, looked up when first asked.
  const int sub = list.IndexOf(L"sub.txt");
  EXPECT_EQ(list.ImageIndex(a), GetItemIconIndex(ParsePath(dirs.File("a.BMP")).get(), 0x4000));
  EXPECT_EQ(list.ImageIndex(sub), GetItemIconIndex(ParsePath(dirs.File("sub.txt")).get(), 0x4000));
  EXPECT_NE(list.ImageIndex(a), list.ImageIndex(sub));
  EXPECT_EQ(list.OverlayIndex(a), 0);

  const std::vector<std::string> none;
  list.SetMask(&none);
  EXPECT_EQ(list.ItemCount(), 3);  // the mask applies from the next fill
  list.FillList();
  EXPECT_EQ(list.ItemCount(), 7);
  const int link = list.IndexOf(L"link");
  ASSERT_GE(link, 0) << base::ToAcp(list.Caption(0));
  EXPECT_EQ(list.OverlayIndex(link), 2);
}

// Every size text shows whole, under the default font and a larger one.
TEST_F(FileViewTest, TheSizeColumnFitsItsWidestText) {
  auto fits = [&] {
    const std::wstring widest = L"99999999KB";
    const int needed = static_cast<int>(SendMessageW(list.hwnd(), LVM_GETSTRINGWIDTHW, 0,
                                                     reinterpret_cast<LPARAM>(widest.c_str())));
    LVCOLUMNW col{};
    col.mask = LVCF_WIDTH;
    ListView_GetColumn(list.hwnd(), 1, &col);
    return col.cx >= needed + 12;
  };
  EXPECT_TRUE(fits());
  const base::UniqueFont big(
      CreateFontW(-24, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma"));
  SendMessageW(list.hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(big.get()), FALSE);
  EXPECT_TRUE(fits());
  SendMessageW(list.hwnd(), WM_SETFONT, 0, FALSE);
}

TEST_F(FileViewTest, TheDesktopListsVirtualFoldersWithEmptyTexts) {
  AbsoluteIDList desktop, drives;
  SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, desktop.receive());
  SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, drives.receive());
  const std::vector<std::string> mask = {".none"};
  list.SetMask(&mask);
  list.ShowFolder(desktop.get());
  int computer = -1;
  for (int i = 0; i < list.ItemCount(); ++i)
    if (CompareItemIDs(DesktopFolder(), list.Data(i), drives.get()) == 0) computer = i;
  ASSERT_GE(computer, 0);
  EXPECT_EQ(list.SubItemText(computer, 1), L"");
  EXPECT_EQ(list.SubItemText(computer, 3), L"");
  EXPECT_FALSE(list.Caption(computer).empty());
}

TEST_F(FileViewTest, ColumnClicksReverseDirectionsSharedByEveryListUntilAFill) {
  shtest::TempTree dirs("shv_sort");
  MakeFile(dirs.File("m.txt"), 9000);
  MakeFile(dirs.File("s.txt"), 10);
  MakeFile(dirs.File("x.bmp"), 3000);
  TFileView other;
  ASSERT_TRUE(other.Create(host.hwnd(), RECT{0, 0, 400, 520}, 102));
  list.SetViewStyle(TFileView::ViewStyle::vsReport);
  other.SetViewStyle(TFileView::ViewStyle::vsReport);
  Show(dirs.path());
  other.ShowFolder(ParsePath(dirs.path()).get());
  std::vector<int> clicked;
  list.on_column_click = [&](TFileView& v, int column) {
    clicked.push_back(column);
    EXPECT_EQ(v.Caption(0), L"m.txt");  // raised after the sort
  };

  ClickHeader(list, 1);
  EXPECT_EQ(clicked, std::vector<int>{1});
  EXPECT_EQ(TFileView::SortDirection(1), -1);
  EXPECT_EQ(Captions(list), (std::vector<std::wstring>{L"m.txt", L"x.bmp", L"s.txt"}));
  ClickHeader(other, 1);  // the other list starts from the flipped direction
  EXPECT_EQ(Captions(other), (std::vector<std::wstring>{L"s.txt", L"x.bmp", L"m.txt"}));
  ClickHeader(other, 2);  // every type is looked up before sorting by type
  EXPECT_EQ(TFileView::SortDirection(2), -1);
  EXPECT_GE(lstrcmpW(other.SubItemText(0, 2).c_str(), other.SubItemText(2, 2).c_str()), 0);
  ClickHeader(other, 0);
  EXPECT_EQ(Captions(other), (std::vector<std::wstring>{L"x.bmp", L"s.txt", L"m.txt"}));

  list.FillList();
  for (int c = 0; c < 4; ++c) EXPECT_EQ(TFileView::SortDirection(c), 1) << c;
  EXPECT_EQ(Captions(list), (std::vector<std::wstring>{L"m.txt", L"s.txt", L"x.bmp"}));
  other.Destroy();
}

TEST_F(FileViewTest, DoubleClickOpensAFolderThroughTheTreeOrOnlyReports) {
  shtest::TempTree dirs("shv_open");
  dirs.Dir("inner");
  MakeFile(dirs.File("inner\\deep.txt"), 1);
  MakeFile(dirs.File("file.txt"), 1);
  int clicks = 0;
  list.on_dbl_click = [&](TFileView&) { ++clicks; };

  // Without a tree and without launching, a double-click only reports.
  list.SetFileExecute(false);
  Show(dirs.path());
  const int inner = list.IndexOf(L"inner");
  list.SetSelected(inner, true);
  const POINT p = CenterOf(inner);
  SendMessageW(list.hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(ShownPath(), dirs.path());

  LinkTree();
  EXPECT_EQ(list.LinkedFolderView(), &tree);
  tree.SelectPath(dirs.path());
  ASSERT_EQ(ShownPath(), dirs.path());
  const int again = list.IndexOf(L"inner");
  list.SetSelected(again, true);
  const POINT q = CenterOf(again);
  SendMessageW(list.hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(q.x, q.y));
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(tree.GetSelectedPath(), dirs.path() + "\\inner");
  EXPECT_EQ(ShownPath(), dirs.path() + "\\inner");
  EXPECT_EQ(Captions(list), std::vector<std::wstring>{L"deep.txt"});
}

TEST_F(FileViewTest, DoubleClickOnAFolderTheTreeHasNotListedFillsItAgain) {
  shtest::TempTree dirs("shv_late");
  dirs.Dir("early");
  LinkTree();
  tree.SelectPath(dirs.path());
  Node parent = tree.RealSelection();
  tree.Expand(parent);  // filled before the folder exists
  dirs.Dir("late");
  MakeFile(dirs.File("late\\inside.txt"), 1);
  list.FillList();
  const int late = list.IndexOf(L"late");
  ASSERT_GE(late, 0);
  list.SetSelected(late, true);
  const POINT p = CenterOf(late);
  SendMessageW(list.hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  EXPECT_EQ(tree.GetSelectedPath(), dirs.path() + "\\late");
  EXPECT_EQ(ShownPath(), dirs.path() + "\\late");
  EXPECT_EQ(Captions(list), std::vector<std::wstring>{L"inside.txt"});
}

// A shell dialog in SetNameOf runs messages; a refill meanwhile (here with a
// new file first in the list) frees the edited item, and the rename must land
// without touching what took its place.
TEST_F(FileViewTest, ARefillDuringTheShellsRenameLeavesNothingDangling) {
  shtest::TempTree dirs("shv_rename_refill");
  MakeFile(dirs.File("a.txt"), 1);
  MakeFile(dirs.File("b.txt"), 1);
  IShellFolder* real = DesktopFolder();
  auto* desktop = new shtest::RefillingDesktop(real, [&] {
    MakeFile(dirs.File("0first.txt"), 1);
    list.FillList();
  });
  shview::ReplaceDesktopFolder(desktop);
  Show(dirs.path());
  shview::ReplaceDesktopFolder(real);
  const long blocks = shtest::LiveTaskBlocks();
  ASSERT_EQ(list.IndexOf(L"a.txt"), 0);
  ASSERT_TRUE(Edit(0, L"c.txt"));
  EXPECT_EQ(desktop->renames, 1);
  EXPECT_NE(GetFileAttributesA(dirs.File("c.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Captions(list), (std::vector<std::wstring>{L"0first.txt", L"a.txt", L"b.txt"}));
  std::string first;
  GetItemDisplayName(list.ShownFolder(), list.Data(0), SHGDN_FORPARSING, first);
  EXPECT_EQ(first, dirs.File("0first.txt"));
  EXPECT_EQ(shtest::LiveTaskBlocks(), blocks + 1);
  list.FillList();
  EXPECT_EQ(Captions(list), (std::vector<std::wstring>{L"0first.txt", L"b.txt", L"c.txt"}));
  list.Destroy();
  desktop->Release();
}

TEST_F(FileViewTest, SizeAndDateSortByTheirValues) {
  shtest::TempTree dirs("shv_sort_values");
  // Sparse files: 95 GiB and 100 GiB cost no disk.
  for (auto [name, gib] : {std::pair{"big.dat", 100ull}, std::pair{"mid.dat", 95ull}}) {
    HANDLE h =
        CreateFileA(dirs.File(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(gib << 30);
    ASSERT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(h));
    CloseHandle(h);
  }
  MakeFile(dirs.File("small.dat"), 10);
  auto set_year = [&](const char* name, WORD year) {
    SYSTEMTIME st{year, 6, 0, 15, 12, 0, 0, 0};
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    HANDLE h = CreateFileA(dirs.File(name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
  };
  set_year("big.dat", 2001);
  set_year("mid.dat", 1999);
  set_year("small.dat", 2010);
  list.SetViewStyle(TFileView::ViewStyle::vsReport);
  Show(dirs.path());
  ClickHeader(list, 1);  // first click: largest first
  EXPECT_EQ(Captions(list), (std::vector<std::wstring>{L"big.dat", L"mid.dat", L"small.dat"}));
  ClickHeader(list, 3);  // first click: newest first
  EXPECT_EQ(Captions(list), (std::vector<std::wstring>{L"small.dat", L"big.dat", L"mid.dat"}));
  ClickHeader(list, 3);
  EXPECT_EQ(Captions(list), (std::vector<std::wstring>{L"mid.dat", L"big.dat", L"small.dat"}));
}

TEST_F(FileViewTest, RenamesThroughTheShellAndAFolderRenameReachesTheTree) {
  shtest::TempTree dirs("shv_rename");
  MakeFile(dirs.File("old.txt"), 1);
  MakeFile(dirs.File("taken.txt"), 1);
  dirs.Dir("olddir");
  LinkTree();
  tree.SelectPath(dirs.path());
  tree.Expand(tree.RealSelection());
  std::wstring edited;
  list.on_edited = [&](TFileView&, int, std::wstring& text) {
    edited = text;
    text += L"~";  // shown until the rename; the shell gets the typed text
  };

  int i = list.IndexOf(L"old.txt");
  ASSERT_TRUE(Edit(i, L"new.txt"));
  EXPECT_EQ(edited, L"new.txt");
  EXPECT_EQ(list.Caption(i), L"new.txt");
  EXPECT_NE(GetFileAttributesA((dirs.path() + "\\new.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  std::string name;
  GetItemDisplayName(list.ShownFolder(), list.Data(i), SHGDN_FORPARSING, name);
  EXPECT_EQ(name, dirs.path() + "\\new.txt");  // the item holds the new list

  ASSERT_TRUE(Edit(i, L"taken.txt"));  // refused: the name exists
  EXPECT_EQ(list.Caption(i), L"new.txt");
  EXPECT_NE(GetFileAttributesA((dirs.path() + "\\new.txt").c_str()), INVALID_FILE_ATTRIBUTES);

  i = list.IndexOf(L"olddir");
  ASSERT_TRUE(Edit(i, L"newdir"));
  EXPECT_EQ(list.Caption(i), L"newdir");
  bool found = false;
  for (Node c = tree.FirstChild(tree.RealSelection()); c; c = tree.NextSibling(c))
    found = found || tree.Text(c) == L"newdir";
  EXPECT_TRUE(found);
}

TEST_F(FileViewTest, AFolderThatCannotBeEnumeratedKeepsThePreviousOne) {
  shtest::TempTree dirs("shv_refused");
  dirs.Dir("before");
  dirs.Dir("locked");
  MakeFile(dirs.File("before\\kept.txt"), 1);
  MakeFile(dirs.File("locked\\hidden.txt"), 1);
  const auto locked = ParsePath(dirs.path() + "\\locked");
  IShellFolder* real = DesktopFolder();
  auto* desktop = new shtest::DesktopWithEmptyDrive(real, locked.get());

  // Alone: the items and the shown folder stay as they were.
  Show(dirs.path() + "\\before");
  shview::ReplaceDesktopFolder(desktop);
  list.ShowFolder(locked.get());
  shview::ReplaceDesktopFolder(real);
  EXPECT_EQ(desktop->refusals, 1);
  EXPECT_EQ(ShownPath(), dirs.path() + "\\before");
  EXPECT_EQ(Captions(list), std::vector<std::wstring>{L"kept.txt"});

  // Linked: the tree goes back to the folder selected before.
  LinkTree();
  tree.SelectPath(dirs.path() + "\\locked");
  tree.SelectPath(dirs.path() + "\\before");
  Node locked_node = tree.PreviousNode();
  shview::ReplaceDesktopFolder(desktop);
  tree.Select(locked_node);
  shview::ReplaceDesktopFolder(real);
  EXPECT_EQ(desktop->refusals, 2);
  EXPECT_EQ(tree.GetSelectedPath(), dirs.path() + "\\before");
  EXPECT_EQ(ShownPath(), dirs.path() + "\\before");
  EXPECT_EQ(Captions(list), std::vector<std::wstring>{L"kept.txt"});
  desktop->Release();
}

TEST_F(FileViewTest, EveryItemListIsFreedOnceThroughDeletionAndRecreation) {
  shtest::TempTree dirs("shv_free");
  for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) MakeFile(dirs.File(name), 1);
  Show(dirs.path());
  ASSERT_EQ(list.ItemCount(), 4);
  list.SetSelected(list.IndexOf(L"c.txt"), true);
  const long filled = shtest::LiveTaskBlocks();
  std::vector<int> deleted;
  // The handler sees the item without its list but with its texts.
  list.on_deletion = [&](TFileView& v, int index) {
    deleted.push_back(index);
    EXPECT_EQ(v.Data(index), nullptr);
    EXPECT_EQ(v.SubItemText(index, 1), L"       1KB");
  };

  ListView_DeleteItem(list.hwnd(), 0);
  EXPECT_EQ(deleted, std::vector<int>{0});
  EXPECT_EQ(shtest::LiveTaskBlocks(), filled - 1);

  const std::vector<std::wstring> before = Captions(list);
  list.SetMultiSelect(false);
  list.SetReadOnly(true);
  EXPECT_EQ(deleted.size(), 1u);  // the items went over to the new window
  EXPECT_EQ(shtest::LiveTaskBlocks(), filled - 1);
  EXPECT_EQ(Captions(list), before);
  EXPECT_TRUE(list.IsSelected(list.IndexOf(L"c.txt")));
  const LONG style = GetWindowLongW(list.hwnd(), GWL_STYLE);
  EXPECT_TRUE(style & LVS_SINGLESEL);
  EXPECT_FALSE(style & LVS_EDITLABELS);
  EXPECT_EQ(ListView_GetImageList(list.hwnd(), LVSIL_SMALL), SystemImageList(true));
  std::string name;
  GetItemDisplayName(list.ShownFolder(), list.Data(0), SHGDN_FORPARSING, name);
  EXPECT_EQ(name, dirs.path() + "\\b.txt");

  list.FillList();
  EXPECT_EQ(deleted.size(), 4u);
  EXPECT_EQ(shtest::LiveTaskBlocks(), filled);
  list.Destroy();
  EXPECT_EQ(deleted.size(), 8u);
  EXPECT_EQ(shtest::LiveTaskBlocks(), filled - 4);
}

namespace {

// Records what the list hands its components (their virtual entry points).
class Recorder final : public shcom::TContextMenuEx, public shcom::TDropSourceEx {
 public:
  struct Call {
    HWND owner;
    POINT screen;
    int count;
    std::vector<std::wstring> names;  // the sequence's items, named through the folder
  };
  std::vector<Call> menus, drags;
  bool PopupShellMenu(HWND owner, IShellFolder* folder, POINT screen, int count,
                      PCUIDLIST_RELATIVE items) override {
    menus.push_back({owner, screen, count, Names(folder, items)});
    return false;
  }
  void StartShellDrag(HWND owner, IShellFolder* folder, int count,
                      PCUIDLIST_RELATIVE items) override {
    drags.push_back({owner, {}, count, Names(folder, items)});
  }
  static std::vector<std::wstring> Names(IShellFolder* folder, PCUIDLIST_RELATIVE items) {
    std::vector<std::wstring> out;
    for (PCUIDLIST_RELATIVE at = items; at && at->mkid.cb; at = NextItemID(at)) {
      const ChildIDList one = CopyFirstItemID(at);
      out.emplace_back();
      GetItemDisplayNameW(folder, one.get(), SHGDN_INFOLDER, out.back());
    }
    return out;
  }
};

}  // namespace

TEST_F(FileViewTest, RightReleaseShowsTheMenuOfTheSelectionOnly) {
  shtest::TempTree dirs("shv_menu");
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) MakeFile(dirs.File(name), 1);
  Recorder components;
  list.SetContextMenu(&components);
  list.SetDropSource(&components);
  list.SetViewStyle(TFileView::ViewStyle::vsReport);
  Show(dirs.path());
  std::vector<int> ups;
  list.on_mouse_up = [&](int button, WPARAM, POINT) { ups.push_back(button); };
  auto right_click = [&](POINT p) {
    SendMessageW(list.hwnd(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(p.x, p.y));
    SendMessageW(list.hwnd(), WM_RBUTTONUP, 0, MAKELPARAM(p.x, p.y));
  };

  right_click(POINT{300, 400});  // empty space, nothing selected
  EXPECT_EQ(ups, std::vector<int>{VK_RBUTTON});
  EXPECT_TRUE(components.menus.empty());

  list.SetSelected(0, true);
  list.SetSelected(2, true);
  const POINT p = CenterOf(2);
  right_click(p);  // on a selected item: the selection stays
  ASSERT_EQ(components.menus.size(), 1u);
  const Recorder::Call& call = components.menus[0];
  EXPECT_EQ(call.owner, list.hwnd());
  EXPECT_EQ(call.count, 2);
  EXPECT_EQ(call.names, (std::vector<std::wstring>{L"c.txt", L"a.txt"}));  // last first
  POINT screen = p;
  ClientToScreen(list.hwnd(), &screen);
  EXPECT_EQ(call.screen.x, screen.x);
  EXPECT_EQ(call.screen.y, screen.y);

  // A press on the selection that moves away drags it; a plain click does not.
  SendMessageW(list.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  SendMessageW(list.hwnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(p.x + 40, p.y + 40));
  SendMessageW(list.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(p.x + 40, p.y + 40));
  ASSERT_EQ(components.drags.size(), 1u);
  EXPECT_EQ(components.drags[0].owner, list.hwnd());
  EXPECT_EQ(components.drags[0].count, 2);
  EXPECT_EQ(components.drags[0].names, (std::vector<std::wstring>{L"c.txt", L"a.txt"}));
  const POINT b = CenterOf(1);
  SendMessageW(list.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(b.x, b.y));
  SendMessageW(list.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(b.x, b.y));
  EXPECT_EQ(components.drags.size(), 1u);

  list.ComponentRemoved(&components);
  EXPECT_EQ(list.ContextMenu(), nullptr);
  EXPECT_EQ(list.DropSource(), nullptr);
}
