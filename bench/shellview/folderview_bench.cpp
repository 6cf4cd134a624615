// Folder tree timings against bare shell loops doing the same shell work:
//   folder_expand_5000   expanding a folder with 5,000 sub-folders, vs enumerating
//                        it, naming each child, sorting with CompareIDs and
//                        inserting the children into a plain tree view that
//                        then expands them
//   select_path_depth10  SelectPath of a folder 10 levels below a drive root on a
//                        fresh tree, vs parsing the path and, per folder on the
//                        way, binding it, enumerating, naming and sorting its
//                        children and finding the next item among them
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/com.h"
#include "shellview/folderview.h"
#include "shellview/shview.h"
#include "bench/shellview/bench_util.h"
#include "tests/support/host_window.h"

using namespace shview;
using shbench::Now;
using shbench::Parse;

namespace {

ComPtr<IShellFolder> Bind(PCUIDLIST_RELATIVE absolute) {
  ComPtr<IShellFolder> folder;
  if (absolute->mkid.cb == 0)
    folder = base::QueryAs<IShellFolder>(DesktopFolder());
  else
    DesktopFolder()->BindToObject(absolute, nullptr, KOLBRI_IID_PPV(folder));
  return folder;
}

// Enumerate, name, sort, insert and expand: the least any folder tree has to do
// to show a level. The children go under `parent` of a plain tree view (redraw
// off while they are added), which keeps their lists in `lists`.
size_t BareExpand(PCIDLIST_ABSOLUTE absolute, HWND tree, HTREEITEM parent,
                  std::vector<ChildIDList>& lists) {
  ComPtr<IShellFolder> folder = Bind(absolute);
  ComPtr<IEnumIDList> items;
  folder->EnumObjects(nullptr, kTreeEnumFlags, items.put());
  lists.clear();
  std::vector<std::wstring> names;
  PITEMID_CHILD raw;
  ULONG got;
  while (items && items->Next(1, &raw, &got) == S_OK) {
    lists.emplace_back(raw);
    names.emplace_back();
    GetItemDisplayNameW(folder.get(), raw, SHGDN_INFOLDER, names.back());
  }
  std::vector<size_t> order(lists.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return CompareItemIDs(folder.get(), lists[a].get(), lists[b].get()) < 0;
  });
  SendMessageW(tree, WM_SETREDRAW, FALSE, 0);
  for (size_t i : order) {
    TVINSERTSTRUCTW ins{};
    ins.hParent = parent;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
    ins.item.pszText = names[i].data();
    ins.item.lParam = reinterpret_cast<LPARAM>(lists[i].get());
    TreeView_InsertItem(tree, &ins);
  }
  SendMessageW(tree, WM_SETREDRAW, TRUE, 0);
  TreeView_Expand(tree, parent, TVE_EXPAND);
  return lists.size();
}

// Parse, then at each level do what a tree must to show it and find the next
// item: enumerate the folder, name and sort its children, find the item among
// them, and bind the next folder from this one.
bool BareWalk(const std::string& path) {
  auto target = Parse(path);
  if (!target) return false;
  auto desktop = ConcatItemIDLists(nullptr, nullptr);
  ComPtr<IShellFolder> folder = Bind(desktop.get());
  for (PCUIDLIST_RELATIVE item = target.get(); item->mkid.cb; item = NextItemID(item)) {
    ComPtr<IEnumIDList> items;
    folder->EnumObjects(nullptr, kTreeEnumFlags, items.put());
    auto one = CopyFirstItemID(item);
    std::vector<ChildIDList> lists;
    PITEMID_CHILD raw;
    ULONG got;
    while (items && items->Next(1, &raw, &got) == S_OK) {
      lists.emplace_back(raw);
      std::wstring name;
      GetItemDisplayNameW(folder.get(), raw, SHGDN_INFOLDER, name);
    }
    std::sort(lists.begin(), lists.end(), [&](const ChildIDList& a, const ChildIDList& b) {
      return CompareItemIDs(folder.get(), a.get(), b.get()) < 0;
    });
    auto found = std::find_if(lists.begin(), lists.end(), [&](const ChildIDList& l) {
      return CompareItemIDs(folder.get(), l.get(), one.get()) == 0;
    });
    if (found == lists.end()) return false;
    ComPtr<IShellFolder> next;
    if (NextItemID(item)->mkid.cb &&
        FAILED(folder->BindToObject(found->get(), nullptr, KOLBRI_IID_PPV(next))))
      return false;
    folder = std::move(next);
  }
  return true;
}

void MakeDirs(const std::string& root, int count) {
  CreateDirectoryA(root.c_str(), nullptr);
  char name[32];
  for (int i = 0; i < count; ++i) {
    std::snprintf(name, sizeof name, "\\f%05d", (i * 7919) % count);  // not in name order
    CreateDirectoryA((root + name).c_str(), nullptr);
  }
}

Node ChildNamed(TFolderView& tree, Node parent, const wchar_t* text) {
  for (Node c = tree.FirstChild(parent); c; c = tree.NextSibling(c))
    if (tree.Text(c) == text) return c;
  return nullptr;
}

void Report(const char* name, double x, double bare) {
  std::printf("%s: %.1f ms, bare %.1f ms, ratio %.2f (%s)\n", name, x, bare, x / bare,
              KOLBRI_BENCH_ARCH);
  std::fflush(stdout);
}

}  // namespace

int main() {
  if (FAILED(OleInitialize(nullptr))) return 1;
  int rc = 0;
  {
    ShellState shell;
    if (!shell.ok()) return 1;
    const std::string base = "C:\\shv_bench";
    CreateDirectoryA(base.c_str(), nullptr);
    MakeDirs(base + "\\big", 5000);
    std::string deep = base + "\\deep";
    CreateDirectoryA(deep.c_str(), nullptr);
    for (int i = 1; i <= 10; ++i) {
      deep += "\\d" + std::to_string(i);
      CreateDirectoryA(deep.c_str(), nullptr);
    }

    shtest::HostWindow host(420, 560);
    TFolderView tree;
    if (!tree.Create(host.hwnd(), RECT{0, 0, 400, 520}, 1)) return 1;
    auto big_list = Parse(base + "\\big");
    // The bare tree: a plain tree view of the same size and styles in its own
    // window, with one node standing for the folder.
    shtest::HostWindow bare_host(420, 560);
    HWND bare_tree = CreateWindowExW(
        WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
        WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
        0, 0, 400, 520, bare_host.hwnd(), nullptr, GetModuleHandleW(nullptr), nullptr);
    std::vector<ChildIDList> bare_lists;

    const int runs = 3;
    // Tens of milliseconds a round on a shared machine: paired rounds in
    // alternating order, medians of the times and of the per-round ratios.
    std::vector<double> ours, bare, ratios;
    for (int r = 0; r < 15; ++r) {
      tree.RefreshTree();
      tree.SelectPath(base);
      Node big = ChildNamed(
          tree,
          [&] {
            tree.Expand(tree.RealSelection());
            return tree.RealSelection();
          }(),
          L"big");
      if (!big) return 2;
      double x = 0, y = 0;
      for (int leg = 0; leg < 2; ++leg) {
        if ((leg == 0) == (r % 2 == 0)) {
          const double t0 = Now();
          tree.Expand(big);
          x = Now() - t0;
          if (tree.ChildCount(big) != 5000) rc = 3;
        } else {
          TreeView_DeleteAllItems(bare_tree);
          TVINSERTSTRUCTW ins{};
          ins.hParent = TVI_ROOT;
          ins.item.mask = TVIF_TEXT | TVIF_CHILDREN;
          ins.item.pszText = const_cast<wchar_t*>(L"big");
          ins.item.cChildren = 1;
          HTREEITEM node = TreeView_InsertItem(bare_tree, &ins);
          const double b0 = Now();
          if (BareExpand(big_list.get(), bare_tree, node, bare_lists) != 5000) rc = 3;
          y = Now() - b0;
        }
      }
      ours.push_back(x);
      bare.push_back(y);
      ratios.push_back(x / y);
    }
    shbench::ReportMedians("folder_expand_5000", ours, bare, ratios);

    // A walk takes milliseconds: more rounds keep one slow round from deciding.
    double best = 1e30, best_bare = 1e30;
    for (int r = 0; r < 3 * runs; ++r) {
      tree.RefreshTree();
      const double t0 = Now();
      tree.SelectPath(deep);
      const double t1 = Now();
      if (tree.GetSelectedPath() != deep) rc = 4;
      best = std::min(best, t1 - t0);
      const double b0 = Now();
      if (!BareWalk(deep)) rc = 4;
      const double b1 = Now();
      best_bare = std::min(best_bare, b1 - b0);
    }
    Report("select_path_depth10", best, best_bare);
    tree.Destroy();
  }
  OleUninitialize();
  return rc;
}
