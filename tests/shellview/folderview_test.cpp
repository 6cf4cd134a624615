// TFolderView in a real window over the running system's shell namespace, with
// directory trees built on C: for each test.
#include "shellview/folderview.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "shellcom/drpcomex.h"
#include "shellview/shview.h"
#include "tests/support/folder_delegate.h"
#include "tests/support/host_window.h"
#include "tests/support/shell_env.h"
#include "base/text.h"

using namespace shview;
using shtest::ParsePath;

namespace {

std::wstring W(const std::string& acp) { return base::FromAcp(acp); }

// A directory name beyond ASCII that the ANSI code page can spell.
std::string NativeName() { return base::ToAcp(GetACP() == 932 ? L"\u753B\u50CF" : L"caf\u00E9"); }

class FolderViewTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tree.Create(host.hwnd(), RECT{0, 0, 400, 520}, 100)); }
  void TearDown() override { tree.Destroy(); }

  Node ChildNamed(Node parent, const std::wstring& text) {
    for (Node c = tree.FirstChild(parent); c; c = tree.NextSibling(c))
      if (tree.Text(c) == text) return c;
    return nullptr;
  }
  Node ComputerNode() {
    AbsoluteIDList drives;
    SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, drives.receive());
    for (Node c = tree.FirstChild(tree.Root()); c; c = tree.NextSibling(c))
      if (CompareItemIDs(DesktopFolder(), tree.Data(c), drives.get()) == 0) return c;
    return nullptr;
  }
  std::vector<Node> Children(Node parent) {
    std::vector<Node> out;
    for (Node c = tree.FirstChild(parent); c; c = tree.NextSibling(c)) out.push_back(c);
    return out;
  }
  // Text extents are measured when the tree paints, as before any real click.
  POINT CenterOf(Node n) {
    UpdateWindow(tree.hwnd());
    shtest::Pump();
    RECT r{};
    TreeView_GetItemRect(tree.hwnd(), n, &r, TRUE);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }
  void RightClick(POINT p) {
    const LPARAM lp = MAKELPARAM(p.x, p.y);
    SendMessageW(tree.hwnd(), WM_RBUTTONDOWN, MK_RBUTTON, lp);
    SendMessageW(tree.hwnd(), WM_RBUTTONUP, 0, lp);
  }

  shtest::HostWindow host;
  TFolderView tree;
};

}  // namespace

TEST_F(FolderViewTest, StartsAtTheDesktopWithItsFoldersAndLazyDrives) {
  Node root = tree.Root();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(tree.NextSibling(root), nullptr);  // exactly one root
  EXPECT_EQ(tree.RealSelection(), root);
  EXPECT_TRUE(tree.IsExpanded(root));
  EXPECT_EQ(tree.Level(root), 0);
  std::wstring desktop_name;
  AbsoluteIDList desktop;
  SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, desktop.receive());
  GetItemDisplayNameW(DesktopFolder(), desktop.get(), SHGDN_INFOLDER, desktop_name);
  EXPECT_EQ(tree.Text(root), desktop_name);
  EXPECT_EQ(ItemIDListSize(tree.Data(root)), 2u);

  // The children are the desktop's folders (hidden ones too), in the folder's order.
  IEnumIDList* en = nullptr;
  ASSERT_EQ(DesktopFolder()->EnumObjects(nullptr, kTreeEnumFlags, &en), S_OK);
  std::vector<ChildIDList> expected;
  PITEMID_CHILD item;
  ULONG got;
  while (en->Next(1, &item, &got) == S_OK) expected.emplace_back(item);
  en->Release();
  std::sort(expected.begin(), expected.end(), [](const ChildIDList& a, const ChildIDList& b) {
    return CompareItemIDs(DesktopFolder(), a.get(), b.get()) < 0;
  });
  std::vector<Node> kids = Children(root);
  ASSERT_EQ(kids.size(), expected.size());
  for (size_t i = 0; i < kids.size(); ++i) {
    EXPECT_EQ(CompareItemIDs(DesktopFolder(), tree.Data(kids[i]), expected[i].get()), 0) << i;
    EXPECT_EQ(tree.Level(kids[i]), 1);
  }

  // Drives only once the computer folder is expanded; each with its icons.
  Node computer = ComputerNode();
  ASSERT_NE(computer, nullptr);
  EXPECT_TRUE(tree.HasChildren(computer));
  EXPECT_EQ(tree.FirstChild(computer), nullptr);
  tree.Expand(computer);
  EXPECT_TRUE(tree.IsExpanded(computer));
  Node c = ChildNamed(computer, L" (C:)");
  ASSERT_NE(c, nullptr);
  const int normal = tree.ImageIndex(c), open = tree.SelectedIndex(c);
  const int images = ImageList_GetImageCount(TreeView_GetImageList(tree.hwnd(), TVSIL_NORMAL));
  EXPECT_GT(normal, 0);
  EXPECT_LT(normal, images);
  EXPECT_LT(open, images);
  EXPECT_NE(normal, I_IMAGECALLBACK);
  EXPECT_EQ(TreeView_GetImageList(tree.hwnd(), TVSIL_NORMAL), SystemImageList(true));

  // The construction values reach the window.
  const LONG style = GetWindowLongW(tree.hwnd(), GWL_STYLE);
  EXPECT_FALSE(style & TVS_LINESATROOT);
  EXPECT_TRUE(style & TVS_EDITLABELS);
  EXPECT_TRUE(style & TVS_HASBUTTONS);
  EXPECT_TRUE(style & TVS_HASLINES);
  EXPECT_FALSE(style & TVS_SHOWSELALWAYS);
  EXPECT_FALSE(tree.RightClickSelect());
}

TEST_F(FolderViewTest, FillsEachNodeOnceAndDropsButtonsOfLeaves) {
  shtest::TempTree dirs("shv_lazy");
  dirs.Dir("a\\a1");
  dirs.Dir("a\\a2");
  dirs.Dir("b");
  dirs.File("note.txt");
  const std::string hidden = dirs.Dir("h");
  SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);

  tree.SelectPath(dirs.path());
  Node top = tree.RealSelection();
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(tree.GetSelectedPath(), dirs.path());
  EXPECT_EQ(tree.FirstChild(top), nullptr);  // selecting does not fill the node itself

  int expandings = 0;
  tree.on_expanding = [&](TFolderView&, Node, bool&) { ++expandings; };
  tree.Expand(top);
  std::vector<Node> kids = Children(top);
  ASSERT_EQ(kids.size(), 3u);  // folders only, the hidden one included, sorted
  EXPECT_EQ(tree.Text(kids[0]), L"a");
  EXPECT_EQ(tree.Text(kids[1]), L"b");
  EXPECT_EQ(tree.Text(kids[2]), L"h");

  tree.Collapse(top);
  tree.Expand(top);
  EXPECT_EQ(Children(top), kids);  // not enumerated again

  Node b = kids[1];
  EXPECT_TRUE(tree.HasChildren(b));  // the shell claims sub-folders for every folder
  tree.Expand(b);
  EXPECT_FALSE(tree.HasChildren(b));
  EXPECT_EQ(tree.FirstChild(b), nullptr);
  EXPECT_FALSE(tree.IsExpanded(b));

  // Expanding by the keyboard goes through the same check.
  tree.Select(kids[0]);
  SendMessageW(tree.hwnd(), WM_KEYDOWN, VK_ADD, 0);
  EXPECT_EQ(Children(kids[0]).size(), 2u);
  EXPECT_GE(expandings, 1);
}

TEST_F(FolderViewTest, SelectPathWalksDownOrClearsOrLeavesTheSelection) {
  shtest::TempTree dirs("shv_select");
  const std::string deep = dirs.Dir("one\\" + NativeName() + "\\three\\four");
  const std::string file = dirs.File("one\\plain.txt");

  tree.SelectPath("C:\\");
  Node drive = tree.RealSelection();
  ASSERT_NE(drive, nullptr);
  EXPECT_EQ(tree.Parent(drive), ComputerNode());
  EXPECT_TRUE(tree.IsExpanded(ComputerNode()));
  EXPECT_EQ(tree.GetSelectedPath(), "C:\\");

  tree.SelectPath(deep);
  Node four = tree.RealSelection();
  ASSERT_NE(four, nullptr);
  EXPECT_EQ(tree.Text(four), L"four");
  EXPECT_EQ(tree.GetSelectedPath(), deep);
  EXPECT_EQ(tree.CurrentNode(), four);
  RECT r{};
  EXPECT_TRUE(TreeView_GetItemRect(tree.hwnd(), four, &r, TRUE));  // made visible
  EXPECT_GE(r.top, 0);

  int changes = 0;
  tree.on_change = [&](TFolderView&, Node) { ++changes; };
  tree.SelectPath(dirs.path() + "\\missing\\nowhere");
  tree.SelectPath("");
  EXPECT_EQ(tree.RealSelection(), four);
  EXPECT_EQ(changes, 0);

  // A file parses but is no node of a folder tree.
  tree.SelectPath(file);
  EXPECT_EQ(tree.RealSelection(), nullptr);
  EXPECT_EQ(tree.GetSelectedPath(), "");
  EXPECT_EQ(tree.PreviousNode(), four);

  // The desktop's empty list is the root.
  auto desktop = ConcatItemIDLists(nullptr, nullptr);
  tree.SelectItemIDList(desktop.get());
  EXPECT_EQ(tree.RealSelection(), tree.Root());
  char desktop_dir[MAX_PATH];
  SHGetSpecialFolderPathA(nullptr, desktop_dir, CSIDL_DESKTOPDIRECTORY, FALSE);
  EXPECT_EQ(tree.GetSelectedPath(), desktop_dir);

  // A child of the selected node, by its one-item list.
  tree.SelectPath(dirs.path());
  auto one = ParsePath(dirs.path() + "\\one");
  auto last = CopyLastItemID(one.get());
  tree.SelectChildItem(last.get());
  EXPECT_EQ(tree.GetSelectedPath(), dirs.path() + "\\one");
}

TEST_F(FolderViewTest, WidePathsReachNamesTheCodePageCannotSpell) {
  shtest::TempTree dirs("shv_wide");
  const std::wstring base = W(dirs.path());
  const std::wstring mid = base + L"\\\u753B\u50CF", deep = mid + L"\\\u98A8\u666F";
  ASSERT_TRUE(CreateDirectoryW(mid.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));

  tree.SelectPathW(deep);
  Node n = tree.RealSelection();
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(tree.Text(n), L"\u98A8\u666F");
  EXPECT_EQ(tree.GetSelectedPathW(), deep);
  EXPECT_EQ(tree.GetSelectedPath(), base::ToAcp(deep));  // the same node through the code page

  tree.SelectPathW(mid + L"\\missing");
  tree.SelectPathW(L"");
  EXPECT_EQ(tree.RealSelection(), n);

  // RemoveTree speaks ANSI: the wide names go first.
  RemoveDirectoryW(deep.c_str());
  RemoveDirectoryW(mid.c_str());
}

TEST_F(FolderViewTest, RefreshKeepsTheFolderThroughGetAndSelectPath) {
  shtest::TempTree dirs("shv_f5");
  const std::string deep = dirs.Dir("x\\y");
  tree.SelectPath(deep);
  const std::string before = tree.GetSelectedPath();
  ASSERT_EQ(before, deep);
  Node old_node = tree.RealSelection();
  dirs.Dir("x\\y\\new");

  std::set<Node> seen;
  int deletions = 0;
  bool list_gone = true;
  tree.on_deleting = [&](TFolderView& t, Node n) {
    ++deletions;
    seen.insert(n);
    list_gone = list_gone && t.Data(n) == nullptr;
  };
  int total = 0;
  for (std::vector<Node> stack{tree.Root()}; !stack.empty();) {
    Node n = stack.back();
    stack.pop_back();
    ++total;
    for (Node c = tree.FirstChild(n); c; c = tree.NextSibling(c)) stack.push_back(c);
  }
  tree.BeginUpdate();
  tree.RefreshTree();
  EXPECT_EQ(deletions, total);
  EXPECT_EQ(static_cast<int>(seen.size()), total);  // once per node
  EXPECT_TRUE(list_gone);
  EXPECT_EQ(tree.RealSelection(), tree.Root());
  EXPECT_NE(tree.CurrentNode(), old_node);
  tree.SelectPath(before);
  tree.EndUpdate();
  EXPECT_EQ(tree.GetSelectedPath(), before);
  tree.Expand(tree.RealSelection());
  EXPECT_EQ(tree.Text(tree.FirstChild(tree.RealSelection())), L"new");
}

TEST_F(FolderViewTest, UpdatesNestAndRedrawOnlyAtTheOutermostEnd) {
  std::vector<WPARAM> redraws;
  // A second subclass on the tree, in front of the tree's own.
  winui::WindowSubclass spy;
  ASSERT_TRUE(spy.Install(tree.hwnd(),
                          [&](HWND, UINT m, WPARAM w, LPARAM l, const winui::SubclassNext& next) {
                            if (m == WM_SETREDRAW) redraws.push_back(w);
                            return next(m, w, l);
                          }));
  tree.BeginUpdate();
  tree.BeginUpdate();
  tree.RefreshTree();  // its own begin/end nests inside
  tree.EndUpdate();
  EXPECT_EQ(redraws, (std::vector<WPARAM>{FALSE}));
  tree.EndUpdate();
  tree.EndUpdate();  // unbalanced: ignored
  EXPECT_EQ(redraws, (std::vector<WPARAM>{FALSE, TRUE}));
}

TEST_F(FolderViewTest, LabelEditRenamesInTheShellOrRestoresTheName) {
  shtest::TempTree dirs("shv_rename");
  dirs.Dir("old\\inner");
  dirs.Dir("taken");
  tree.SelectPath(dirs.path() + "\\old");
  Node n = tree.RealSelection();
  ASSERT_NE(n, nullptr);
  const std::vector<BYTE> old_list(
      reinterpret_cast<const BYTE*>(tree.Data(n)),
      reinterpret_cast<const BYTE*>(tree.Data(n)) + ItemIDListSize(tree.Data(n)));

  std::wstring edited;
  // What the handler makes of the text is shown until the rename; the shell
  // gets the typed text, as from the list.
  tree.on_edited = [&](TFolderView&, Node, std::wstring& text) {
    edited = text;
    text += L"~";
  };
  const std::wstring fresh = W(NativeName()) + L"2";
  HWND edit = TreeView_EditLabel(tree.hwnd(), n);
  ASSERT_NE(edit, nullptr);
  SetWindowTextW(edit, fresh.c_str());
  TreeView_EndEditLabelNow(tree.hwnd(), FALSE);
  shtest::Pump();
  EXPECT_EQ(edited, fresh);
  EXPECT_EQ(tree.Text(n), fresh);
  const std::string renamed = dirs.path() + "\\" + base::ToAcp(fresh);
  EXPECT_NE(GetFileAttributesA(renamed.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA((dirs.path() + "\\old").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(tree.GetSelectedPath(), renamed);  // the node holds the new list
  tree.Expand(n);
  EXPECT_EQ(tree.Text(tree.FirstChild(n)), L"inner");

  // A name the folder refuses (a sibling has it): the label shows the old name.
  edit = TreeView_EditLabel(tree.hwnd(), n);
  ASSERT_NE(edit, nullptr);
  SetWindowTextW(edit, L"taken");
  TreeView_EndEditLabelNow(tree.hwnd(), FALSE);
  shtest::Pump();
  EXPECT_EQ(tree.Text(n), fresh);
  EXPECT_EQ(tree.GetSelectedPath(), renamed);

  // A cancelled edit changes nothing; the desktop's label never edits.
  edit = TreeView_EditLabel(tree.hwnd(), n);
  ASSERT_NE(edit, nullptr);
  SetWindowTextW(edit, L"zzz");
  edited.clear();
  SendMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
  shtest::Pump();
  EXPECT_EQ(edited, L"");
  EXPECT_EQ(tree.Text(n), fresh);
  EXPECT_EQ(GetFileAttributesA((dirs.path() + "\\zzz").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(TreeView_EditLabel(tree.hwnd(), tree.Root()), nullptr);
  (void)old_list;
}

namespace {

struct MenuCall {
  HWND owner;
  std::string item_path;  // the item named through the folder it came with
  POINT screen;
  int count;
};

// Records what the tree hands its components (their virtual entry points).
class MenuDouble final : public shcom::TContextMenuEx, public shcom::TDropSourceEx {
 public:
  std::vector<MenuCall> menus;
  std::vector<std::string> drags;
  bool PopupShellMenu(HWND owner, IShellFolder* folder, POINT screen, int count,
                      PCUIDLIST_RELATIVE items) override {
    MenuCall c{owner, {}, screen, count};
    GetItemDisplayName(folder, items, SHGDN_FORPARSING, c.item_path);
    menus.push_back(c);
    return false;
  }
  void StartShellDrag(HWND owner, IShellFolder* folder, int count,
                      PCUIDLIST_RELATIVE items) override {
    std::string path;
    GetItemDisplayName(folder, items, SHGDN_FORPARSING, path);
    if (owner && count == 1) drags.push_back(path);
  }
};

class ViewDouble final : public FileViewPartner, public ComboViewPartner {
 public:
  TFolderView* linked = nullptr;
  std::vector<std::string> shown, combo;
  void ShowFolder(PCIDLIST_ABSOLUTE absolute) override { shown.push_back(Name(absolute)); }
  void SetLinkedFolderView(TFolderView* tree) override { linked = tree; }
  void ShowItemIDList(PCIDLIST_ABSOLUTE absolute) override { combo.push_back(Name(absolute)); }
  void FolderRenamed(PCIDLIST_ABSOLUTE, PCIDLIST_ABSOLUTE) override {}
  static std::string Name(PCIDLIST_ABSOLUTE l) {
    std::string s;
    GetItemDisplayName(DesktopFolder(), l, SHGDN_FORPARSING, s);
    return s;
  }
};

}  // namespace

TEST_F(FolderViewTest, FileListRenamesUpdateTheChildNode) {
  shtest::TempTree dirs("shv_childrename");
  dirs.Dir("before\\sub");
  dirs.Dir("other");
  tree.SelectPath(dirs.path());
  Node top = tree.RealSelection();
  tree.Expand(top);
  auto old_abs = ParsePath(dirs.path() + "\\before");
  auto old_item = CopyLastItemID(old_abs.get());
  ASSERT_TRUE(MoveFileA((dirs.path() + "\\before").c_str(), (dirs.path() + "\\after").c_str()));
  auto new_abs = ParsePath(dirs.path() + "\\after");
  auto new_item = CopyLastItemID(new_abs.get());

  ViewDouble combo;
  tree.SetLinkedComboView(&combo);
  tree.RenameChildItem(old_item.get(), new_item.get());
  Node child = ChildNamed(top, L"after");
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(CompareItemIDs(DesktopFolder(), tree.Data(child), tree.Data(child)), 0);
  EXPECT_NE(tree.Data(child), new_item.get());  // a copy: the caller keeps its list
  ASSERT_EQ(combo.combo.size(), 1u);
  EXPECT_EQ(combo.combo[0], dirs.path());
  tree.Select(child);
  EXPECT_EQ(tree.GetSelectedPath(), dirs.path() + "\\after");
  tree.Expand(child);
  EXPECT_EQ(tree.Text(tree.FirstChild(child)), L"sub");

  // An item that is no child of the selection changes nothing.
  tree.Select(top);
  const size_t told = combo.combo.size();
  tree.RenameChildItem(old_item.get(), new_item.get());
  EXPECT_EQ(tree.Text(child), L"after");
  EXPECT_EQ(combo.combo.size(), told);
  tree.SetLinkedComboView(nullptr);
}

TEST_F(FolderViewTest, RightClickOpensTheMenuOfTheClickedNodeOnly) {
  shtest::TempTree dirs("shv_menu");
  dirs.Dir("p\\q");
  dirs.Dir("p\\r");
  MenuDouble menu;
  tree.SetContextMenu(&menu);
  EXPECT_TRUE(tree.RightClickSelect());
  int changes = 0;
  tree.on_change = [&](TFolderView&, Node) { ++changes; };

  // The root never gets a menu.
  tree.SelectItemIDList(ConcatItemIDLists(nullptr, nullptr).get());  // the desktop
  changes = 0;
  RightClick(CenterOf(tree.Root()));
  EXPECT_TRUE(menu.menus.empty());

  // A level-1 node: its parent folder is the desktop.
  Node computer = ComputerNode();
  RightClick(CenterOf(computer));
  ASSERT_EQ(menu.menus.size(), 1u);
  std::string computer_path;
  auto abs = tree.GetNodeItemIDList(computer);
  GetItemDisplayName(DesktopFolder(), abs.get(), SHGDN_FORPARSING, computer_path);
  EXPECT_EQ(menu.menus[0].item_path, computer_path);
  EXPECT_EQ(menu.menus[0].owner, tree.hwnd());
  EXPECT_EQ(menu.menus[0].count, 1);
  POINT screen = CenterOf(computer);
  ClientToScreen(tree.hwnd(), &screen);
  EXPECT_EQ(menu.menus[0].screen.x, screen.x);
  EXPECT_EQ(menu.menus[0].screen.y, screen.y);
  EXPECT_EQ(tree.RealSelection(), tree.Root());  // the selection did not move
  EXPECT_EQ(changes, 0);

  // A deeper node that is not selected: its own menu, selection unchanged.
  tree.SelectPath(dirs.path() + "\\p\\q");
  Node q = tree.RealSelection();
  Node r = tree.NextSibling(q);
  ASSERT_NE(r, nullptr);
  TreeView_EnsureVisible(tree.hwnd(), r);
  changes = 0;
  RightClick(CenterOf(r));
  ASSERT_EQ(menu.menus.size(), 2u);
  EXPECT_EQ(menu.menus[1].item_path, dirs.path() + "\\p\\r");
  EXPECT_EQ(tree.RealSelection(), q);
  EXPECT_EQ(tree.Selected(), q);
  EXPECT_EQ(changes, 0);

  // Empty space: the menu of the real selection.
  RECT client;
  GetClientRect(tree.hwnd(), &client);
  RightClick(POINT{client.right - 5, client.bottom - 5});
  ASSERT_EQ(menu.menus.size(), 3u);
  EXPECT_EQ(menu.menus[2].item_path, dirs.path() + "\\p\\q");

  // Removing another component leaves the link; removing this one clears it.
  MenuDouble other;
  tree.ComponentRemoved(&other);
  EXPECT_EQ(tree.ContextMenu(), &menu);
  tree.ComponentRemoved(&menu);
  EXPECT_EQ(tree.ContextMenu(), nullptr);
  RightClick(CenterOf(q));
  EXPECT_EQ(menu.menus.size(), 3u);
}

TEST_F(FolderViewTest, LinkedViewsFollowTheSelectionAndRemovalsClearLinks) {
  shtest::TempTree dirs("shv_links");
  dirs.Dir("k\\l");
  ViewDouble views;
  MenuDouble drag;
  tree.SetFileView(&views);
  tree.SetLinkedComboView(&views);
  tree.SetDropSource(&drag);
  EXPECT_EQ(views.linked, &tree);
  EXPECT_TRUE(tree.RightClickSelect());

  tree.SelectPath(dirs.path() + "\\k");
  ASSERT_FALSE(views.shown.empty());
  EXPECT_EQ(views.shown.back(), dirs.path() + "\\k");
  EXPECT_EQ(views.combo.back(), dirs.path() + "\\k");

  // A refresh tells the views once, about the root, not about every deletion.
  views.shown.clear();
  tree.RefreshTree();
  char desktop_dir[MAX_PATH];
  SHGetSpecialFolderPathA(nullptr, desktop_dir, CSIDL_DESKTOPDIRECTORY, FALSE);
  ASSERT_FALSE(views.shown.empty());
  for (const std::string& s : views.shown) EXPECT_EQ(s, desktop_dir);

  // A plain click starts no drag; leaving the drag rectangle with the button
  // down hands the pressed node (not the selection) to the drag source. The
  // tree's click tracking reads the queued release or move.
  Node computer = ComputerNode();
  POINT p = CenterOf(computer);
  PostMessageW(tree.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
  SendMessageW(tree.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  shtest::Pump();
  EXPECT_TRUE(drag.drags.empty());
  EXPECT_EQ(tree.RealSelection(), computer);
  tree.Select(tree.Root());
  PostMessageW(tree.hwnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(p.x + 40, p.y + 40));
  SendMessageW(tree.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
  shtest::Pump();
  std::string computer_path;
  auto computer_abs = tree.GetNodeItemIDList(computer);
  GetItemDisplayName(DesktopFolder(), computer_abs.get(), SHGDN_FORPARSING, computer_path);
  ASSERT_EQ(drag.drags.size(), 1u);
  EXPECT_EQ(drag.drags[0], computer_path);
  EXPECT_EQ(tree.RealSelection(), tree.Root());

  tree.ComponentRemoved(&drag);
  EXPECT_EQ(tree.DropSource(), nullptr);
  EXPECT_EQ(tree.FileView(), &views);
  tree.ComponentRemoved(&views);
  EXPECT_EQ(tree.FileView(), nullptr);
  EXPECT_EQ(tree.LinkedComboView(), nullptr);

  ViewDouble second;
  tree.SetFileView(&second);
  tree.SetFileView(nullptr);
  EXPECT_EQ(second.linked, nullptr);
}

// SetNameOf may run messages (a shell dialog); a refresh meanwhile deletes the
// edited node, and the rename lands without touching it or what took its place.
TEST_F(FolderViewTest, ARefreshDuringTheShellsRenameLeavesNothingDangling) {
  shtest::TempTree dirs("shv_tree_rename_refresh");
  dirs.Dir("old");
  tree.SelectPath(dirs.path() + "\\old");
  Node node = tree.RealSelection();
  IShellFolder* real = DesktopFolder();
  auto* desktop = new shtest::RefillingDesktop(real, [&] { tree.RefreshTree(); });
  shview::ReplaceDesktopFolder(desktop);
  HWND edit = TreeView_EditLabel(tree.hwnd(), node);
  ASSERT_NE(edit, nullptr);
  SetWindowTextW(edit, L"new");
  SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
  shtest::Pump();
  shview::ReplaceDesktopFolder(real);
  EXPECT_EQ(desktop->renames, 1);
  desktop->Release();
  EXPECT_NE(GetFileAttributesA((dirs.path() + "\\new").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(tree.RealSelection(), tree.Root());  // where the refresh left it
  for (Node c : Children(tree.Root())) EXPECT_NE(tree.Text(c), L"new");
  tree.SelectPath(dirs.path() + "\\new");
  EXPECT_EQ(tree.GetSelectedPath(), dirs.path() + "\\new");
}

TEST(FolderViewLifetime, DestructionFreesEveryListOnceWithoutTheParentsHelp) {
  shtest::HostWindow host;
  shtest::TempTree dirs("shv_life");
  dirs.Dir("m\\n\\o");
  const long before = shtest::LiveTaskBlocks();
  int deletions = 0;
  {
    TFolderView tree;
    tree.SetShowRoot(true);
    tree.SetReadOnly(true);
    tree.SetIndent(40);  // above the tree's least indent at any resolution
    ASSERT_TRUE(tree.Create(host.hwnd(), RECT{0, 0, 225, 289}, 7));
    EXPECT_TRUE(GetWindowLongW(tree.hwnd(), GWL_STYLE) & TVS_LINESATROOT);
    EXPECT_FALSE(GetWindowLongW(tree.hwnd(), GWL_STYLE) & TVS_EDITLABELS);
    EXPECT_EQ(tree.Indent(), winui::ScaleFor(tree.hwnd(), 40));
    EXPECT_EQ(GetDlgCtrlID(tree.hwnd()), 7);
    tree.SelectPath(dirs.path() + "\\m\\n\\o");
    ASSERT_NE(tree.RealSelection(), nullptr);
    tree.on_deleting = [&](TFolderView& t, Node n) {
      ++deletions;
      EXPECT_EQ(t.Data(n), nullptr);
    };
    // The host goes first, as a form takes its controls with it.
    DestroyWindow(host.hwnd());
    EXPECT_EQ(tree.hwnd(), nullptr);
  }
  EXPECT_GT(deletions, 5);
  EXPECT_EQ(shtest::LiveTaskBlocks(), before);
}

namespace {

// The shell's folders as they are, except that a rename they accept hands
// back no new list; folders bound through one are wrapped too.
class NoListFolder final : public shtest::Delegate {
 public:
  using Delegate::Delegate;
  HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE p, LPBC b, REFIID r,
                                         void** o) override {
    const HRESULT hr = real_->BindToObject(p, b, r, o);
    if (FAILED(hr) || r != IID_IShellFolder) return hr;
    auto* folder = static_cast<IShellFolder*>(*o);
    *o = static_cast<IShellFolder*>(new NoListFolder(folder));
    folder->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE SetNameOf(HWND h, PCUITEMID_CHILD p, LPCOLESTR n, SHGDNF f,
                                      PITEMID_CHILD* o) override {
    ChildIDList dropped;
    const HRESULT hr = real_->SetNameOf(h, p, n, f, dropped.receive());
    if (o) *o = nullptr;
    return hr;
  }
};

}  // namespace

TEST_F(FolderViewTest, ARenameWithoutANewListTakesTheFolderFromItsParent) {
  shtest::TempTree dirs("shv_nolist");
  dirs.Dir("old");
  tree.SelectPath(dirs.path() + "\\old");
  Node n = tree.RealSelection();
  ASSERT_NE(n, nullptr);
  IShellFolder* real = DesktopFolder();
  auto* wrapped = new NoListFolder(real);
  shview::ReplaceDesktopFolder(wrapped);
  HWND edit = TreeView_EditLabel(tree.hwnd(), n);
  if (edit) {
    SetWindowTextW(edit, L"new");
    TreeView_EndEditLabelNow(tree.hwnd(), FALSE);
    shtest::Pump();
  }
  shview::ReplaceDesktopFolder(real);
  wrapped->Release();
  ASSERT_NE(edit, nullptr);
  EXPECT_NE(GetFileAttributesA((dirs.path() + "\\new").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(tree.Text(n), L"new");
  EXPECT_EQ(tree.GetSelectedPath(),
            dirs.path() + "\\new");  // the node holds the renamed folder's list
}

// q: (the CD-ROM letter) shows KOLBRI_SHV_CDROM, a directory of the host.
TEST_F(FolderViewTest, DriveWithoutMediumKeepsItsButtonUntilOneIsInserted) {
  std::string medium = "Z:" KOLBRI_SHV_CDROM;
  for (char& ch : medium)
    if (ch == '/') ch = '\\';
  ASSERT_EQ(GetDriveTypeA("Q:\\"), static_cast<UINT>(DRIVE_CDROM));
  CreateDirectoryA((medium + "\\DATA").c_str(), nullptr);
  auto q = ParsePath("Q:\\");
  ASSERT_TRUE(q);

  IShellFolder* real = DesktopFolder();
  auto* desktop = new shtest::DesktopWithEmptyDrive(real, q.get());
  shview::ReplaceDesktopFolder(desktop);
  tree.RefreshTree();
  tree.Expand(ComputerNode());
  Node drive = tree.FindNodeByItemIDList(q.get());
  ASSERT_NE(drive, nullptr);
  tree.Select(tree.Root());

  tree.Expand(drive);
  EXPECT_GE(desktop->refusals, 1);
  EXPECT_TRUE(tree.HasChildren(drive));
  EXPECT_EQ(tree.FirstChild(drive), nullptr);
  EXPECT_FALSE(tree.IsExpanded(drive));
  EXPECT_EQ(tree.RealSelection(), tree.Root());
  // The user's click on the button asks again, and is refused again.
  const int before = desktop->refusals;
  TreeView_Expand(tree.hwnd(), drive, TVE_EXPAND);
  EXPECT_GT(desktop->refusals, before);
  EXPECT_EQ(tree.FirstChild(drive), nullptr);

  desktop->no_medium = false;  // a medium goes in
  tree.Expand(drive);
  ASSERT_NE(tree.FirstChild(drive), nullptr);
  EXPECT_EQ(tree.Text(tree.FirstChild(drive)), L"DATA");
  EXPECT_TRUE(tree.IsExpanded(drive));

  shview::ReplaceDesktopFolder(real);
  desktop->Release();
  RemoveDirectoryA((medium + "\\DATA").c_str());
}
