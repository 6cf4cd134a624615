#include "shellview/folderview.h"

#include <memory>
#include <utility>
#include <vector>

#include "base/com.h"
#include "shellview/shview.h"
#include "base/diag.h"
#include "base/text.h"
#include "winui/controls.h"

namespace shview {
namespace {

// Longest name or path handed to the shell, in characters.
constexpr size_t kMaxShellName = 260;

int CALLBACK CompareChildren(LPARAM a, LPARAM b, LPARAM folder) {
  return CompareItemIDs(reinterpret_cast<IShellFolder*>(folder),
                        reinterpret_cast<const NodeRecord*>(a)->id.get(),
                        reinterpret_cast<const NodeRecord*>(b)->id.get());
}

}  // namespace

TFolderView::TFolderView() : SubclassedControl(200, 200) {}

TFolderView::~TFolderView() {
  UnlinkAll();  // the partners stop calling this tree before its nodes go
  Destroy();
}

DWORD TFolderView::Style() const {
  // The tree reports a drag (TVN_BEGINDRAG) only to a linked DropSource.
  DWORD s = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
  if (!drop_source_) s |= TVS_DISABLEDRAGDROP;
  if (show_buttons_) s |= TVS_HASBUTTONS;
  if (show_lines_) s |= TVS_HASLINES;
  if (show_root_) s |= TVS_LINESATROOT;
  if (!read_only_) s |= TVS_EDITLABELS;
  if (!hide_selection_) s |= TVS_SHOWSELALWAYS;
  return s;
}

void TFolderView::ApplyStyle() {
  if (!hwnd()) return;
  const DWORD keep = static_cast<DWORD>(GetWindowLongPtrW(hwnd(), GWL_STYLE)) &
                     ~(TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_EDITLABELS |
                       TVS_SHOWSELALWAYS | TVS_DISABLEDRAGDROP | WS_VISIBLE);
  const DWORD visible = IsWindowVisible(hwnd()) ? WS_VISIBLE : 0;
  SetWindowLongPtrW(hwnd(), GWL_STYLE, keep | (Style() & ~WS_VISIBLE) | visible);
  KOLBRI_LOG_IF_FALSE(InvalidateRect(hwnd(), nullptr, TRUE));
}

void TFolderView::SetShowRoot(bool v) {
  show_root_ = v;
  ApplyStyle();
}
void TFolderView::SetReadOnly(bool v) {
  read_only_ = v;
  ApplyStyle();
}
void TFolderView::SetShowButtons(bool v) {
  show_buttons_ = v;
  ApplyStyle();
}
void TFolderView::SetShowLines(bool v) {
  show_lines_ = v;
  ApplyStyle();
}
void TFolderView::SetHideSelection(bool v) {
  hide_selection_ = v;
  ApplyStyle();
}

int TFolderView::Indent() const {
  if (hwnd()) return static_cast<int>(TreeView_GetIndent(hwnd()));
  return indent_ < 0 ? -1 : winui::ScaleFor(nullptr, indent_);
}

void TFolderView::SetIndent(int design_px) {
  indent_ = design_px;
  if (hwnd() && design_px >= 0) TreeView_SetIndent(hwnd(), winui::ScaleFor(hwnd(), design_px));
}

winui::SubclassedControl::WindowKind TFolderView::Kind() const {
  return {WC_TREEVIEWW, Style(), WS_EX_CLIENTEDGE, ICC_TREEVIEW_CLASSES};
}

void TFolderView::OnCreated() {
  if (indent_ >= 0) TreeView_SetIndent(hwnd(), winui::ScaleFor(hwnd(), indent_));

  // Window created: the small system image list. The tree never destroys its
  // image lists, which is what a list owned by the system needs.
  TreeView_SetImageList(hwnd(), SystemImageList(true), TVSIL_NORMAL);

  // Initialisation finished.
  if (context_menu_) right_click_select_ = true;
  RefreshTree();
}

// ---- Nodes ---------------------------------------------------------------

Node TFolderView::Root() const { return hwnd() ? TreeView_GetRoot(hwnd()) : nullptr; }
Node TFolderView::RealSelection() const { return hwnd() ? TreeView_GetSelection(hwnd()) : nullptr; }
Node TFolderView::Selected() const {
  return right_click_node_ ? right_click_node_ : RealSelection();
}
Node TFolderView::Parent(Node n) const { return n ? TreeView_GetParent(hwnd(), n) : nullptr; }
Node TFolderView::FirstChild(Node n) const { return n ? TreeView_GetChild(hwnd(), n) : nullptr; }
Node TFolderView::NextSibling(Node n) const {
  return n ? TreeView_GetNextSibling(hwnd(), n) : nullptr;
}

int TFolderView::ChildCount(Node n) const {
  int count = 0;
  for (Node c = FirstChild(n); c; c = NextSibling(c)) ++count;
  return count;
}

int TFolderView::Level(Node n) const {
  int level = -1;
  for (; n; n = Parent(n)) ++level;
  return level;
}

namespace {
bool GetItem(HWND tree, Node n, UINT mask, TVITEMW& item) {
  item = TVITEMW{};
  item.mask = mask | TVIF_HANDLE;
  item.hItem = n;
  return n && TreeView_GetItem(tree, &item);
}
}  // namespace

std::wstring TFolderView::Text(Node n) const { return winui::TreeItemText(hwnd(), n); }

NodeRecord* TFolderView::RecordOf(Node n) const {
  TVITEMW item;
  return GetItem(hwnd(), n, TVIF_PARAM, item) ? reinterpret_cast<NodeRecord*>(item.lParam)
                                              : nullptr;
}

PCUITEMID_CHILD TFolderView::Data(Node n) const {
  const NodeRecord* record = RecordOf(n);
  return record ? record->id.get() : nullptr;
}

bool TFolderView::HasChildren(Node n) const {
  TVITEMW item;
  return GetItem(hwnd(), n, TVIF_CHILDREN, item) && item.cChildren != 0;
}

bool TFolderView::IsExpanded(Node n) const {
  return n && (TreeView_GetItemState(hwnd(), n, TVIS_EXPANDED) & TVIS_EXPANDED);
}

int TFolderView::ImageIndex(Node n) const {
  TVITEMW item;
  return GetItem(hwnd(), n, TVIF_IMAGE, item) ? item.iImage : -1;
}

int TFolderView::SelectedIndex(Node n) const {
  TVITEMW item;
  return GetItem(hwnd(), n, TVIF_SELECTEDIMAGE, item) ? item.iSelectedImage : -1;
}

void TFolderView::SetData(Node n, ChildIDList list) {
  if (NodeRecord* record = RecordOf(n)) record->id = std::move(list);
}

Node TFolderView::InsertNode(TVINSERTSTRUCTW& ins, ChildIDList list) {
  NodeRecord* record = records_.Add(std::make_unique<NodeRecord>(NodeRecord{std::move(list)}));
  ins.item.mask |= TVIF_PARAM;
  ins.item.lParam = reinterpret_cast<LPARAM>(record);
  Node n = TreeView_InsertItem(hwnd(), &ins);
  if (!n) records_.Take(record);  // the tree refused: the list goes with the record
  return n;
}

void TFolderView::SetText(Node n, const std::wstring& text) {
  std::wstring copy = text;
  TVITEMW item{};
  item.mask = TVIF_HANDLE | TVIF_TEXT;
  item.hItem = n;
  item.pszText = copy.data();
  KOLBRI_LOG_IF_FALSE(TreeView_SetItem(hwnd(), &item));
}

void TFolderView::SetHasChildren(Node n, bool v) {
  TVITEMW item{};
  item.mask = TVIF_HANDLE | TVIF_CHILDREN;
  item.hItem = n;
  item.cChildren = v ? 1 : 0;
  KOLBRI_LOG_IF_FALSE(TreeView_SetItem(hwnd(), &item));
}

void TFolderView::Select(Node n) {
  if (hwnd()) (void)TreeView_SelectItem(hwnd(), n);  // false when on_changing refused
}

void TFolderView::Expand(Node n) {
  if (!n) return;
  PopulateIfUnfilled(n);
  ExpandFilled(n);
}

// An expanded node is left alone: the tree would lay out and scroll it again
// for nothing.
void TFolderView::ExpandFilled(Node n) {
  // False when on_expanding refused.
  if (FirstChild(n) && !IsExpanded(n)) (void)TreeView_Expand(hwnd(), n, TVE_EXPAND);
}

void TFolderView::Collapse(Node n) {
  if (n) (void)TreeView_Expand(hwnd(), n, TVE_COLLAPSE);  // false when already collapsed
}

void TFolderView::DeleteNode(Node n) {
  if (n) KOLBRI_LOG_IF_FALSE(TreeView_DeleteItem(hwnd(), n));
}

Node TFolderView::NodeAt(POINT client) const {
  TVHITTESTINFO hit{};
  hit.pt = client;
  // Anywhere on a node's row counts, the button and the space beside the label too.
  return TreeView_HitTest(hwnd(), &hit);
}

void TFolderView::EditLabel(Node n) {
  if (n) (void)TreeView_EditLabel(hwnd(), n);  // none for a read-only tree or the root
}

// ---- Update nesting --------------------------------------------------------

void TFolderView::BeginUpdate() {
  if (update_count_++ == 0 && hwnd()) SendMessageW(hwnd(), WM_SETREDRAW, FALSE, 0);
}

void TFolderView::EndUpdate() {
  if (update_count_ == 0) return;
  if (--update_count_ == 0 && hwnd()) {
    SendMessageW(hwnd(), WM_SETREDRAW, TRUE, 0);
    KOLBRI_LOG_IF_FALSE(InvalidateRect(hwnd(), nullptr, TRUE));
  }
}

// ---- Folders and lists -----------------------------------------------------

AbsoluteIDList TFolderView::GetNodeItemIDList(Node n) const {
  if (!n || !Data(n)) return {};
  // Root first: its list is the desktop's (empty, absolute), each node below
  // adds its one item.
  std::vector<PCUITEMID_CHILD> path;
  for (Node p = n; p; p = Parent(p)) path.push_back(Data(p));
  AbsoluteIDList result;
  for (auto it = path.rbegin(); it != path.rend(); ++it) {
    result = ConcatItemIDLists(result.get(), *it);
    if (!result) break;
  }
  return result;
}

bool TFolderView::BindNodeFolder(Node n, base::ComPtr<IShellFolder>& folder) const {
  folder.reset();
  if (!n || !DesktopFolder()) return false;
  if (!Parent(n)) return DesktopReference(folder.put());
  const AbsoluteIDList absolute = GetNodeItemIDList(n);
  if (!absolute) return false;
  return SUCCEEDED(KOLBRI_LOG_IF_FAILED(
             DesktopFolder()->BindToObject(absolute.get(), nullptr, KOLBRI_IID_PPV(folder)))) &&
         folder;
}

bool TFolderView::BindParentFolder(Node n, base::ComPtr<IShellFolder>& folder) const {
  folder.reset();
  Node parent = Parent(n);
  if (!parent) return false;
  return BindNodeFolder(parent, folder);
}

// Answers the tree's question for a node's icons (set to I_IMAGECALLBACK by
// PopulateNode) through the node's absolute list; the tree stores the answer.
void TFolderView::AssignNodeIcons(TVITEMW& item) {
  Node n = item.hItem;
  if (!n || !Parent(n)) return;
  const AbsoluteIDList absolute = GetNodeItemIDList(n);
  if (!absolute) return;
  item.iImage = GetItemIconIndex(absolute.get(), kSmallIconFlags);
  item.iSelectedImage = GetItemIconIndex(absolute.get(), kSmallOpenIconFlags);
  item.mask |= TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_DI_SETITEM;
}

void TFolderView::PopulateIfUnfilled(Node n) {
  if (n && HasChildren(n) && !FirstChild(n)) PopulateNode(n);
}

// Enumerates the node's sub-folders (hidden ones included) under it, each with
// its icons and a button when the shell says it has sub-folders, sorted by the
// folder's own order. A refused enumeration adds nothing and keeps the node's
// button, so the next expansion tries again (a medium may have been inserted);
// an enumeration that yields nothing takes the button away.
void TFolderView::PopulateNode(Node n) {
  if (updating_ || !n || !Data(n)) return;
  ComPtr<IShellFolder> folder;
  if (BindNodeFolder(n, folder)) PopulateNode(n, folder.get());
}

void TFolderView::PopulateNode(Node n, IShellFolder* folder) {
  if (updating_ || !n || !Data(n)) return;
  ComPtr<IEnumIDList> items;
  const HRESULT hr = KOLBRI_LOG_IF_FAILED(folder->EnumObjects(hwnd(), kTreeEnumFlags, items.put()));
  if (FAILED(hr)) {
    if (current_ && current_ != RealSelection()) Select(current_);
    return;
  }

  ShowWaitCursor();
  BeginUpdate();
  updating_ = true;
  int added = 0;

  const ComPtr<IShellIcon> shell_icon = base::QueryAs<IShellIcon>(folder);

  ChildIDList item;
  ULONG fetched = 0;
  while (items && items->Next(1, item.receive(), &fetched) == S_OK && item) {
    ++added;
    std::wstring text;
    GetItemDisplayNameW(folder, item.get(), SHGDN_INFOLDER, text);
    int normal = -1, open = -1;
    if (shell_icon) {
      KOLBRI_LOG_IF_FAILED(shell_icon->GetIconOf(item.get(), GIL_OPENICON, &open));
      KOLBRI_LOG_IF_FAILED(shell_icon->GetIconOf(item.get(), GIL_FORSHELL, &normal));
    }
    if (normal < 0 || open < 0) {
      // AssignNodeIcons, deferred: SHGetFileInfoA costs milliseconds a call on
      // some systems, so the tree asks for a node's icons (TVN_GETDISPINFO) when
      // it first draws or reports them, and keeps the answer.
      normal = open = I_IMAGECALLBACK;
    }
    PCUITEMID_CHILD own = item.get();
    SFGAOF attributes = SFGAO_HASSUBFOLDER;
    // A refusal leaves the word as preset: the node gets a button.
    KOLBRI_LOG_IF_FAILED(folder->GetAttributesOf(1, &own, &attributes));

    // One insertion with every field: a later TVM_SETITEM would have the tree
    // search all its nodes for the handle.
    TVINSERTSTRUCTW ins{};
    ins.hParent = n;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
    ins.item.pszText = text.data();
    ins.item.iImage = normal;
    ins.item.iSelectedImage = open;
    ins.item.cChildren = (attributes & SFGAO_HASSUBFOLDER) ? 1 : 0;
    InsertNode(ins, std::move(item));
  }

  if (added > 1) {
    TVSORTCB sort{};
    sort.hParent = n;
    sort.lpfnCompare = CompareChildren;
    sort.lParam = reinterpret_cast<LPARAM>(folder);
    KOLBRI_LOG_IF_FALSE(TreeView_SortChildrenCB(hwnd(), &sort, FALSE));
  } else if (added == 0) {
    SetHasChildren(n, false);
  }
  updating_ = false;
  EndUpdate();
  if (walks_ == 0) RestoreCursor();
}

// System cursors are shared: each is looked up once. Within a path walk the
// hourglass stays up from the first fill to the end of the walk instead of
// being switched off and on again at every level.
void TFolderView::ShowWaitCursor() {
  static const HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
  if (!wait_cursor_) SetCursor(wait);
  wait_cursor_ = true;
}

void TFolderView::RestoreCursor() {
  static const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  if (wait_cursor_) SetCursor(arrow);
  wait_cursor_ = false;
}

Node TFolderView::FindChildNode(Node n, PCUITEMID_CHILD item) {
  if (!n || !Data(n) || !item) return nullptr;
  ComPtr<IShellFolder> folder;
  if (!BindNodeFolder(n, folder)) return nullptr;
  return FindChildIn(n, folder.get(), item, true);
}

// FindChildNode with the node's folder already bound: expands the node, filling
// it through that folder on first use, and compares each child with the item.
Node TFolderView::FindChildIn(Node n, IShellFolder* folder, PCUITEMID_CHILD item, bool expand) {
  if (!n || !Data(n) || !item) return nullptr;
  if (HasChildren(n) && !FirstChild(n)) PopulateNode(n, folder);
  if (expand) ExpandFilled(n);
  for (Node c = FirstChild(n); c; c = NextSibling(c)) {
    if (CompareItemIDs(folder, Data(c), item) == 0) return c;
  }
  return nullptr;
}

// Walks from the root one item at a time. Each step's folder is bound from the
// previous one with the child's own item, which gives the folder the desktop
// would bind for the absolute list, without binding every level again per step.
// Redraw is suspended once for the whole walk rather than once per filled level.
Node TFolderView::FindNodeByItemIDList(PCIDLIST_ABSOLUTE absolute) {
  Node n = Root();
  if (!n || !absolute) return nullptr;
  BeginUpdate();
  ++walks_;
  n = WalkFrom(n, absolute);
  if (--walks_ == 0) RestoreCursor();
  EndUpdate();
  return n;
}

Node TFolderView::WalkFrom(Node n, PCIDLIST_ABSOLUTE absolute) {
  Expand(n);
  if (absolute->mkid.cb == 0) return n;
  ComPtr<IShellFolder> folder;
  if (!BindNodeFolder(n, folder)) return nullptr;
  // The folders on the way are expanded once the walk is done, deepest first: a
  // node below a collapsed one expands without the tree laying itself out, so
  // the path costs one layout instead of one per level.
  std::vector<Node> way;
  Node found = nullptr;
  for (PCUIDLIST_RELATIVE at = absolute;; n = found) {
    const ChildIDList one = CopyFirstItemID(at);
    way.push_back(n);
    found = FindChildIn(n, folder.get(), one.get(), false);
    at = NextItemID(at);
    if (!found || at->mkid.cb == 0) break;
    ComPtr<IShellFolder> next;
    if (FAILED(KOLBRI_LOG_IF_FAILED(
            folder->BindToObject(Data(found), nullptr, KOLBRI_IID_PPV(next)))) ||
        !next) {
      found = nullptr;
      break;
    }
    folder = std::move(next);
  }
  for (auto it = way.rbegin(); it != way.rend(); ++it) ExpandFilled(*it);
  return found;
}

// ---- Operations ------------------------------------------------------------

void TFolderView::RefreshTree() {
  if (updating_ || !hwnd() || !DesktopFolder()) return;
  AbsoluteIDList desktop;
  if (FAILED(KOLBRI_LOG_IF_FAILED(
          SHGetSpecialFolderLocation(hwnd(), CSIDL_DESKTOP, desktop.receive()))) ||
      !desktop)
    return;
  std::wstring name;
  if (!GetItemDisplayNameW(DesktopFolder(), desktop.get(), SHGDN_INFOLDER, name)) return;

  BeginUpdate();
  updating_ = true;
  KOLBRI_LOG_IF_FALSE(TreeView_DeleteAllItems(hwnd()));
  updating_ = false;

  TVINSERTSTRUCTW ins{};
  ins.hParent = TVI_ROOT;
  ins.hInsertAfter = TVI_LAST;
  ins.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
  ins.item.pszText = name.data();
  ins.item.iImage = GetItemIconIndex(desktop.get(), kSmallIconFlags);
  ins.item.iSelectedImage = GetItemIconIndex(desktop.get(), kSmallOpenIconFlags);
  ins.item.cChildren = 1;
  // The desktop's list is absolute and empty: as a node's own item it adds nothing.
  Node root = InsertNode(ins, ChildIDList(reinterpret_cast<PITEMID_CHILD>(desktop.release())));
  if (root) {
    Select(root);
    PopulateNode(root);
    Expand(root);
  }
  EndUpdate();
  NotifyLinkedViews(RealSelection());
}

void TFolderView::SelectPath(const std::string& path) { SelectPathW(base::FromAcp(path)); }

void TFolderView::SelectPathW(const std::wstring& path) {
  if (!DesktopFolder() || path.empty()) return;
  std::wstring wide = path.substr(0, kMaxShellName);
  AbsoluteIDList list;
  ULONG eaten = 0;
  // What the desktop parses is relative to the desktop: absolute.
  auto* out = reinterpret_cast<PIDLIST_RELATIVE*>(list.receive());
  if (FAILED(
          DesktopFolder()->ParseDisplayName(nullptr, nullptr, wide.data(), &eaten, out, nullptr)) ||
      !list)
    return;  // unparsable: the selection stays
  Select(FindNodeByItemIDList(list.get()));
}

std::string TFolderView::GetSelectedPath() const { return base::ToAcp(GetSelectedPathW()); }

std::wstring TFolderView::GetSelectedPathW() const {
  std::wstring path;
  Node n = Selected();
  if (!n) return path;
  const AbsoluteIDList absolute = GetNodeItemIDList(n);
  if (absolute) GetItemDisplayNameW(DesktopFolder(), absolute.get(), SHGDN_FORPARSING, path);
  return path;
}

void TFolderView::SelectItemIDList(PCIDLIST_ABSOLUTE absolute) {
  BeginUpdate();
  Select(FindNodeByItemIDList(absolute));
  EndUpdate();
}

// A folder made after the node was filled is not among its children: the node
// is filled again once before giving up, and the selection never clears here.
void TFolderView::SelectChildItem(PCUITEMID_CHILD item) {
  Node parent = Selected();
  if (!parent || !item) return;
  BeginUpdate();
  Node child = FindChildNode(parent, item);
  if (!child) {
    RefillNode(parent);
    child = FindChildNode(parent, item);
  }
  if (child) Select(child);
  EndUpdate();
}

void TFolderView::RefillNode(Node n) {
  while (Node c = FirstChild(n)) DeleteNode(c);
  SetHasChildren(n, true);
  PopulateNode(n);
}

void TFolderView::RenameChildItem(PCUITEMID_CHILD old_item, PCUITEMID_CHILD new_item) {
  Node child = FindChildNode(Selected(), old_item);
  if (!child || !new_item) return;
  // The new item is relative to the selected node's folder, so it is named
  // through that folder (the desktop itself for the root); through the desktop
  // a deeper item would not name at all.
  ComPtr<IShellFolder> folder;
  std::wstring name;
  if (BindNodeFolder(Selected(), folder))
    GetItemDisplayNameW(folder.get(), new_item, SHGDN_NORMAL, name);
  SetText(child, name);
  ChildIDList copy = CopyFirstItemID(new_item);
  if (!copy) return;  // keep the old list rather than leave the node without one
  const AbsoluteIDList old_list = GetNodeItemIDList(child);
  SetData(child, std::move(copy));
  if (combo_view_) {
    combo_view_->FolderRenamed(old_list.get(), GetNodeItemIDList(child).get());
    const AbsoluteIDList absolute = GetNodeItemIDList(Selected());
    if (combo_view_) combo_view_->ShowItemIDList(absolute.get());
  }
}

void TFolderView::NotifyLinkedViews(Node n) {
  if (!n || updating_ || (!file_view_ && !combo_view_)) return;
  const AbsoluteIDList absolute = GetNodeItemIDList(n);
  const unsigned selection = selections_;
  if (file_view_) file_view_->ShowFolder(absolute.get());
  // A list that could not show the folder sent the tree back meanwhile, and
  // the combo box has heard of that selection already.
  if (combo_view_ && selections_ == selection) combo_view_->ShowItemIDList(absolute.get());
}

// ---- Links -----------------------------------------------------------------

void TFolderView::SetFileView(FileViewPartner* list) {
  // An earlier list no longer shows this tree's folders: tell it, too.
  if (file_view_ && file_view_.get() != list) file_view_->SetLinkedFolderView(nullptr);
  file_view_.Set(*this, list);
  if (list) list->SetLinkedFolderView(this);
}

void TFolderView::SetContextMenu(ShellMenuPartner* menu) {
  context_menu_.Set(*this, menu);
  if (menu) right_click_select_ = true;
}

void TFolderView::SetDropSource(ShellDragPartner* source) {
  drop_source_.Set(*this, source);
  if (source) right_click_select_ = true;
  ApplyStyle();
}

void TFolderView::ComponentRemoved(ShellComponent* component) {
  if (combo_view_.Is(component)) combo_view_.Clear(*this);
  if (file_view_.Is(component)) file_view_.Clear(*this);
  if (context_menu_.Is(component)) context_menu_.Clear(*this);
  if (drop_source_.Is(component)) {
    drop_source_.Clear(*this);
    ApplyStyle();
  }
}

// ---- Notifications ---------------------------------------------------------

// The node's list is freed before on_deleting (which sees the node without
// one), and its record only once the handler is done.
void TFolderView::NodeDeleted(Node n, NodeRecord* record) {
  const std::unique_ptr<NodeRecord> owned = records_.Take(record);
  if (owned) owned->id.reset();  // the node's list, freed once
  if (current_ == n) current_ = nullptr;
  if (previous_ == n) previous_ = nullptr;
  if (right_click_node_ == n) right_click_node_ = nullptr;
  if (renaming_ == n) renaming_ = nullptr;
  if (on_deleting) on_deleting(*this, n);
}

// The window goes: every node is deleted here, children first, as the tree
// itself would delete them (its own deletions then reach nobody).
void TFolderView::OnWindowDestroying() {
  std::vector<Node> order;
  std::vector<std::pair<Node, bool>> stack;
  for (Node r = Root(); r; r = NextSibling(r)) stack.push_back({r, false});
  while (!stack.empty()) {
    auto [n, visited] = stack.back();
    stack.pop_back();
    if (visited) {
      order.push_back(n);
      continue;
    }
    stack.push_back({n, true});
    for (Node c = FirstChild(n); c; c = NextSibling(c)) stack.push_back({c, false});
  }
  for (Node n : order) NodeDeleted(n, RecordOf(n));
  records_.Clear();
  current_ = previous_ = right_click_node_ = renaming_ = nullptr;
  update_count_ = 0;
}

void TFolderView::SelectionChanged(Node n) {
  ++selections_;
  if (on_change) on_change(*this, n);
  previous_ = current_;
  current_ = n;
  NotifyLinkedViews(n);
}

// SetNameOf may show a dialog, and a refresh meanwhile deletes the node and
// frees its list: the call works on a copy, and the node is touched afterwards
// only if it is still there.
LRESULT TFolderView::EndLabelEdit(Node n, const std::optional<std::wstring>& typed) {
  if (!typed) return FALSE;  // cancelled
  const std::wstring before = Text(n);
  std::wstring text = *typed;
  if (on_edited) on_edited(*this, n, text);
  SetText(n, text);
  const ChildIDList own = CopyFirstItemID(Data(n));
  if (!own) return FALSE;

  ComPtr<IShellFolder> parent;
  if (!BindParentFolder(n, parent)) {
    SetText(n, before);
    return FALSE;
  }
  const AbsoluteIDList old_list = GetNodeItemIDList(n);
  renaming_ = n;
  LabelRename done = RenameLabel(parent.get(), hwnd(), own.get(), *typed);
  n = std::exchange(renaming_, nullptr);  // none when the node went meanwhile
  if (!n || !hwnd()) return FALSE;
  const bool renamed = static_cast<bool>(done.renamed);
  if (renamed) SetData(n, std::move(done.renamed));
  SetText(n, done.shown);
  if (renamed && combo_view_) {
    combo_view_->FolderRenamed(old_list.get(), GetNodeItemIDList(n).get());
    const AbsoluteIDList absolute = GetNodeItemIDList(Selected());
    if (combo_view_) combo_view_->ShowItemIDList(absolute.get());
  }
  return FALSE;  // the text is set; the tree must not overwrite it with the typed one
}

// A node expands once it has children to show: a refused enumeration keeps
// it collapsed with its button, so that the next expansion asks the shell again.
bool TFolderView::ExpandingAllowed(const NMTREEVIEWW& tv) {
  Node n = tv.itemNew.hItem;
  bool allow = true;
  if (tv.action & TVE_EXPAND) {
    PopulateIfUnfilled(n);
    if (on_expanding) on_expanding(*this, n, allow);
    if (!FirstChild(n)) allow = false;
  } else if (on_collapsing) {
    on_collapsing(*this, n, allow);
  }
  return allow;
}

void TFolderView::Expanded(const NMTREEVIEWW& tv) {
  if ((tv.action & TVE_EXPAND) && on_expanded) on_expanded(*this, tv.itemNew.hItem);
  if ((tv.action & TVE_COLLAPSE) && on_collapsed) on_collapsed(*this, tv.itemNew.hItem);
}

bool TFolderView::ChangingAllowed(Node n) {
  bool allow = true;
  if (on_changing) on_changing(*this, n, allow);
  return allow;
}

bool TFolderView::EditingAllowed(Node n) {
  bool allow = Parent(n) != nullptr;  // the desktop's label never edits
  if (allow && on_editing) on_editing(*this, n, allow);
  return allow;
}

bool TFolderView::OnReflect(UINT msg, WPARAM, LPARAM lp, LRESULT* result) {
  if (msg != WM_NOTIFY || !hwnd()) return false;
  const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
  if (hdr->hwndFrom != hwnd()) return false;
  // The A and W forms differ only in the text pointer's type.
  const auto& tv = *reinterpret_cast<const NMTREEVIEWW*>(lp);
  auto& item = reinterpret_cast<NMTVDISPINFOW*>(lp)->item;
  // What a refusing handler answers: TRUE stops the expansion, selection or edit.
  auto refuse_unless = [result](bool allow) {
    *result = allow ? FALSE : TRUE;
    return true;
  };
  switch (hdr->code) {
    case TVN_ITEMEXPANDINGW:
    case TVN_ITEMEXPANDINGA: return refuse_unless(ExpandingAllowed(tv));
    case TVN_ITEMEXPANDEDW:
    case TVN_ITEMEXPANDEDA: Expanded(tv); break;
    case TVN_SELCHANGINGW:
    case TVN_SELCHANGINGA: return refuse_unless(ChangingAllowed(tv.itemNew.hItem));
    case TVN_SELCHANGEDW:
    case TVN_SELCHANGEDA: SelectionChanged(tv.itemNew.hItem); break;
    case TVN_DELETEITEMW:
    case TVN_DELETEITEMA:
      NodeDeleted(tv.itemOld.hItem, reinterpret_cast<NodeRecord*>(tv.itemOld.lParam));
      break;
    case TVN_BEGINLABELEDITW:
    case TVN_BEGINLABELEDITA: return refuse_unless(EditingAllowed(item.hItem));
    case TVN_ENDLABELEDITW:
    case TVN_ENDLABELEDITA:
      *result = EndLabelEdit(item.hItem, EditedLabel(item.pszText, hdr->code == TVN_ENDLABELEDITW));
      return true;
    case TVN_GETDISPINFOW:
    case TVN_GETDISPINFOA:
      if (item.mask & (TVIF_IMAGE | TVIF_SELECTEDIMAGE)) AssignNodeIcons(item);
      break;
    case TVN_BEGINDRAGW:
    case TVN_BEGINDRAGA: BeginDrag(tv.itemNew.hItem); break;
    case NM_DBLCLK:
      if (on_dbl_click) on_dbl_click(*this);
      return false;
    default: return false;
  }
  *result = 0;
  return true;
}

// ---- Mouse and keyboard ----------------------------------------------------

// Right clicks: the release reaches on_mouse_up and the context menu, and the
// real selection stays where it is.
void TFolderView::OnRightButtonDown(WPARAM, POINT client) {
  if (right_click_select_)
    (void)TreeView_SelectDropTarget(hwnd(), NodeAt(client));  // none: nothing
}

void TFolderView::OnRightButtonUp(WPARAM, POINT client) {
  if (right_click_select_) right_click_node_ = NodeAt(client);
}

void TFolderView::OnRightClick(POINT client) {
  Node n = Selected();
  if (hwnd() && context_menu_ && n && Parent(n)) {
    ComPtr<IShellFolder> parent;
    const ChildIDList item = CopyFirstItemID(Data(n));
    if (item && BindParentFolder(n, parent))
      context_menu_->PopupAtClient(hwnd(), parent.get(), client, 1, item.get());
  }
  right_click_node_ = nullptr;
  if (hwnd()) (void)TreeView_SelectDropTarget(hwnd(), nullptr);  // clearing cannot fail
}

void TFolderView::OnRightButtonCancelled() {
  (void)TreeView_SelectDropTarget(hwnd(), nullptr);  // clearing cannot fail
}

// The tree reports a drag while the button is still down, after its own click
// tracking saw the pointer leave the drag rectangle; a plain click never gets
// here. The node is the one the press was on.
void TFolderView::BeginDrag(Node n) {
  if (!drop_source_ || !n || !Parent(n)) return;
  ComPtr<IShellFolder> parent;
  const ChildIDList item = CopyFirstItemID(Data(n));
  if (item && BindParentFolder(n, parent))
    drop_source_->StartShellDrag(hwnd(), parent.get(), 1, item.get());
}

LRESULT TFolderView::ControlProc(UINT msg, WPARAM wp, LPARAM lp, const winui::SubclassNext& next) {
  if (msg == WM_KEYDOWN && on_key_down) {
    bool handled = false;
    on_key_down(*this, wp, handled);
    if (handled) return 0;
  }
  return next(msg, wp, lp);
}

}  // namespace shview
