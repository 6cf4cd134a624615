#include "shellview/fileview.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "base/diag.h"
#include "base/text.h"
#include "shellview/folderview.h"
#include "winui/window.h"

namespace shview {

namespace {

constexpr int kLeastSizeWidth = 60;
constexpr int kCellMargins = 12;  // the list view's padding around a cell's text
constexpr UINT kLinkOverlay = INDEXTOOVERLAYMASK(2);

// One table for every list of the process (UI thread only); a fill resets it.
int g_sort_directions[kFileColumns] = {1, 1, 1, 1};

FileListItem* ItemOf(LPARAM lp) { return reinterpret_cast<FileListItem*>(lp); }

int CALLBACK CompareByItemID(LPARAM a, LPARAM b, LPARAM folder) {
  return CompareItemIDs(reinterpret_cast<IShellFolder*>(folder), ItemOf(a)->id.get(),
                        ItemOf(b)->id.get()) *
         g_sort_directions[0];
}

int CALLBACK CompareBySubItem(LPARAM a, LPARAM b, LPARAM column) {
  const int c = static_cast<int>(column);
  return CompareByColumn(*ItemOf(a), *ItemOf(b), c) * g_sort_directions[c];
}

void CopyOut(const std::wstring& text, LVITEMW& item, bool wide) {
  if (!item.pszText || item.cchTextMax <= 0) return;
  if (wide) {
    const size_t n = std::min(text.size(), static_cast<size_t>(item.cchTextMax - 1));
    std::memcpy(item.pszText, text.data(), n * sizeof(wchar_t));
    item.pszText[n] = L'\0';
  } else {
    const std::string a = base::ToAcp(text);
    auto* out = reinterpret_cast<char*>(item.pszText);
    const size_t n = std::min(a.size(), static_cast<size_t>(item.cchTextMax - 1));
    std::memcpy(out, a.data(), n);
    out[n] = '\0';
  }
}

}  // namespace

bool IconIsPerClass(IShellFolder* folder, HWND owner, PCUITEMID_CHILD child) {
  ComPtr<IExtractIconW> extract;
  if (!folder || !child ||
      FAILED(KOLBRI_LOG_IF_FAILED(
          folder->GetUIObjectOf(owner, 1, &child, KOLBRI_IID_NULL_PPV(extract)))) ||
      !extract)
    return false;
  wchar_t location[MAX_PATH] = {};
  int index = 0;
  UINT flags = 0;
  if (FAILED(KOLBRI_LOG_IF_FAILED(extract->GetIconLocation(
          GIL_FORSHELL, location, static_cast<UINT>(std::size(location)), &index, &flags))))
    return false;
  return (flags & GIL_PERCLASS) || !(flags & GIL_PERINSTANCE);
}

int TFileView::SortDirection(int column) {
  return column >= 0 && column < kFileColumns ? g_sort_directions[column] : 0;
}

TFileView::TFileView() : SubclassedControl(200, 200) {}

TFileView::~TFileView() {
  UnlinkAll();  // the tree stops calling this list before its items go
  Destroy();
}

void TFileView::SetLinkedFolderView(TFolderView* tree) { tree_.Set(*this, tree); }

// ---- Window ------------------------------------------------------------------

namespace {
DWORD ViewBits(TFileView::ViewStyle style) {
  switch (style) {
    case TFileView::ViewStyle::vsSmallIcon: return LVS_SMALLICON;
    case TFileView::ViewStyle::vsList: return LVS_LIST;
    case TFileView::ViewStyle::vsReport: return LVS_REPORT;
    default: return LVS_ICON;
  }
}
}  // namespace

// The system image lists are shared: the list must never destroy them. Icons
// are arranged so that a sort shows in the icon views too.
DWORD TFileView::Style() const {
  DWORD s = WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_SHAREIMAGELISTS | LVS_AUTOARRANGE |
            ViewBits(view_style_);
  if (!read_only_) s |= LVS_EDITLABELS;
  if (!multi_select_) s |= LVS_SINGLESEL;
  return s;
}

winui::SubclassedControl::WindowKind TFileView::Kind() const {
  return {WC_LISTVIEWW, Style(), WS_EX_CLIENTEDGE, ICC_LISTVIEW_CLASSES};
}

void TFileView::OnCreated() {
  SetUpWindow();
  if (folder_) FillList();  // a folder handed over before the window existed
}

// Every new window gets the columns again (a width the user changed is lost)
// and the system image lists.
void TFileView::SetUpWindow() {
  static const wchar_t* const kCaptions[kFileColumns] = {
      L"\u540D\u524D", L"\uFF7B\uFF72\uFF7D\uFF9E", L"\uFF8C\uFF67\uFF72\uFF99\u306E\u7A2E\u985E",
      L"\u66F4\u65B0\u65E5\u6642"};
  static const int kWidths[kFileColumns] = {120, kLeastSizeWidth, 120, 120};
  for (int c = 0; c < kFileColumns; ++c) {
    LVCOLUMNW col{};
    col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    col.fmt = c == kSizeColumn ? LVCFMT_RIGHT : LVCFMT_LEFT;
    col.cx = kWidths[c];
    col.pszText = const_cast<wchar_t*>(kCaptions[c]);
    col.iSubItem = c;
    ListView_InsertColumn(hwnd(), c, &col);
  }
  ListView_SetImageList(hwnd(), SystemImageList(false), LVSIL_NORMAL);
  ListView_SetImageList(hwnd(), SystemImageList(true), LVSIL_SMALL);
  FitSizeColumn();
}

// The size column holds the widest text the size format gives (eight of the
// widest digit and "KB") with the list's margins, in the list's own font; 60
// pixels at least. Under the default font 60 alone shows only "...".
void TFileView::FitSizeColumn() {
  int widest = 0;
  for (wchar_t digit = L'0'; digit <= L'9'; ++digit) {
    const std::wstring text = std::wstring(8, digit) + L"KB";
    widest =
        std::max(widest, static_cast<int>(SendMessageW(hwnd(), LVM_GETSTRINGWIDTHW, 0,
                                                       reinterpret_cast<LPARAM>(text.c_str()))));
  }
  // As a column, not through LVM_SETCOLUMNWIDTH, which some views refuse.
  LVCOLUMNW col{};
  col.mask = LVCF_WIDTH;
  col.cx = std::max(kLeastSizeWidth, widest + kCellMargins);
  KOLBRI_LOG_IF_FALSE(ListView_SetColumn(hwnd(), kSizeColumn, &col));
}

void TFileView::ApplyView(ViewStyle style) {
  if (!hwnd()) return;
  const auto s = static_cast<DWORD>(GetWindowLongPtrW(hwnd(), GWL_STYLE));
  SetWindowLongPtrW(hwnd(), GWL_STYLE, (s & ~LVS_TYPEMASK) | ViewBits(style));
}

// The column header is a child window: it is redrawn too.
void TFileView::ResumeRedraw() {
  SendMessageW(hwnd(), WM_SETREDRAW, TRUE, 0);
  KOLBRI_LOG_IF_FALSE(RedrawWindow(hwnd(), nullptr, nullptr,
                                   RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN));
}

void TFileView::SetViewStyle(ViewStyle style) {
  view_style_ = style;
  ApplyView(style);
}

void TFileView::SetMultiSelect(bool v) {
  if (v == multi_select_) return;
  multi_select_ = v;
  Recreate();
}

void TFileView::SetReadOnly(bool v) {
  if (v == read_only_) return;
  read_only_ = v;
  Recreate();
}

void TFileView::SetMask(const std::vector<std::string>* lines) {
  if (lines) mask_ = *lines;
}

// The items go over to a new window with their records, which stay where
// they are: the old window's deletions reach nobody.
void TFileView::Recreate() {
  if (!hwnd()) return;
  struct Moved {
    std::wstring caption;
    FileListItem* item;
    UINT state;
  };
  std::vector<Moved> moved;
  const int n = ItemCount();
  moved.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    moved.push_back(
        {Caption(i), ItemAt(i),
         ListView_GetItemState(hwnd(), i, LVIS_OVERLAYMASK | LVIS_SELECTED | LVIS_FOCUSED)});
  const bool visible = IsWindowVisible(hwnd());
  if (!RecreateControl()) {
    records_.Clear();
    return;
  }
  SetUpWindow();
  SendMessageW(hwnd(), WM_SETREDRAW, FALSE, 0);
  int at = 0;
  for (Moved& m : moved) {
    if (InsertItem(at, m.caption, m.item, m.state))
      ++at;
    else
      records_.Take(m.item);
  }
  if (!visible) ShowWindow(hwnd(), SW_HIDE);
  ResumeRedraw();
}

// ---- Items -------------------------------------------------------------------

int TFileView::ItemCount() const { return hwnd() ? ListView_GetItemCount(hwnd()) : 0; }

FileListItem* TFileView::ItemAt(int index) const {
  if (!hwnd() || index < 0) return nullptr;
  LVITEMW it{};
  it.mask = LVIF_PARAM;
  it.iItem = index;
  return ListView_GetItem(hwnd(), &it) ? ItemOf(it.lParam) : nullptr;
}

std::wstring TFileView::Caption(int index) const { return SubItemText(index, 0); }

std::wstring TFileView::SubItemText(int index, int column) const {
  if (!hwnd() || index < 0) return {};
  wchar_t buf[1024] = {};
  ListView_GetItemText(hwnd(), index, column, buf, static_cast<int>(std::size(buf)));
  return buf;
}

PCUITEMID_CHILD TFileView::Data(int index) const {
  FileListItem* item = ItemAt(index);
  return item ? item->id.get() : nullptr;
}

int TFileView::ImageIndex(int index) const {
  if (!hwnd()) return -1;
  LVITEMW it{};
  it.mask = LVIF_IMAGE;
  it.iItem = index;
  return ListView_GetItem(hwnd(), &it) ? it.iImage : -1;
}

int TFileView::OverlayIndex(int index) const {
  return hwnd()
             ? static_cast<int>(
                   (ListView_GetItemState(hwnd(), index, LVIS_OVERLAYMASK) & LVIS_OVERLAYMASK) >> 8)
             : 0;
}

int TFileView::IndexOf(const std::wstring& caption) const {
  const int n = ItemCount();
  for (int i = 0; i < n; ++i)
    if (Caption(i) == caption) return i;
  return -1;
}

bool TFileView::IsSelected(int index) const {
  return hwnd() && (ListView_GetItemState(hwnd(), index, LVIS_SELECTED) & LVIS_SELECTED);
}

void TFileView::SetSelected(int index, bool selected) {
  if (hwnd())
    ListView_SetItemState(hwnd(), index, selected ? LVIS_SELECTED | LVIS_FOCUSED : 0,
                          LVIS_SELECTED | (selected ? LVIS_FOCUSED : 0));
}

int TFileView::SelectedCount() const {
  return hwnd() ? static_cast<int>(ListView_GetSelectedCount(hwnd())) : 0;
}

RECT TFileView::LabelRect(int index) const {
  RECT r{};
  if (hwnd()) ListView_GetItemRect(hwnd(), index, &r, LVIR_LABEL);
  return r;
}

void TFileView::SetCaption(int index, const std::wstring& text) {
  std::wstring copy = text;
  KOLBRI_LOG_IF_FALSE(ListView_SetItemText(hwnd(), index, 0, copy.data()));
}

// One insertion (one message) with the caption, record, icon and overlay; the
// sub-items are answered from the record when the list asks (LVN_GETDISPINFO).
bool TFileView::InsertItem(int at, const std::wstring& caption, FileListItem* item, UINT state) {
  std::wstring text = caption;
  LVITEMW it{};
  it.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE | LVIF_STATE;
  it.iItem = at;
  it.pszText = text.data();
  it.iImage = item->icon;
  it.lParam = reinterpret_cast<LPARAM>(item);
  it.state = state;
  it.stateMask = LVIS_OVERLAYMASK | LVIS_SELECTED | LVIS_FOCUSED;
  // Sub-items never given a text are asked of the parent (LVN_GETDISPINFO)
  // like callback ones: setting them would cost one message per column and
  // file, which under 32-bit Wine crosses into 64-bit code each time.
  return ListView_InsertItem(hwnd(), &it) >= 0;
}

AbsoluteIDList TFileView::AbsoluteOf(PCUITEMID_CHILD child) const {
  return ConcatItemIDLists(folder_list_.get(), child);
}

void TFileView::ResolveType(FileListItem& item) {
  if (item.type_known) return;
  item.type_known = true;
  if (!item.key.empty()) {
    if (auto found = type_cache_.find(item.key); found != type_cache_.end()) {
      item.type = found->second;
      return;
    }
  }
  const AbsoluteIDList absolute = AbsoluteOf(item.id.get());
  SHFILEINFOW fi{};
  // Wide, so that the type shows whatever the ANSI code page.
  if (absolute &&
      KOLBRI_LOG_IF_FALSE(SHGetFileInfoW(reinterpret_cast<LPCWSTR>(absolute.get()), 0, &fi,
                                         sizeof fi, SHGFI_TYPENAME | SHGFI_PIDL) != 0))
    item.type = fi.szTypeName;
  if (!item.key.empty()) type_cache_[item.key] = item.type;
}

// An icon is shared by the files of one extension only where the shell's
// icon handler says it belongs to the class; an executable or an icon file
// shows its own.
void TFileView::ResolveIcon(FileListItem& item) {
  if (item.icon != I_IMAGECALLBACK) return;
  auto found = item.key.empty() ? icon_cache_.end() : icon_cache_.find(item.key);
  if (found != icon_cache_.end() && found->second) {
    item.icon = *found->second;
    return;
  }
  const AbsoluteIDList absolute = AbsoluteOf(item.id.get());
  // The index only: an icon handle (SHGFI_ICON) would be made for every file
  // and never used.
  item.icon = absolute ? GetItemIconIndex(absolute.get(), kLargeIconFlags) : kFallbackIconIndex;
  if (!item.key.empty() && found == icon_cache_.end() && folder_) {
    icon_cache_[item.key] = IconIsPerClass(folder_.get(), hwnd(), item.id.get())
                                ? std::optional<int>(item.icon)
                                : std::nullopt;
  }
}

void TFileView::AnswerDispInfo(LVITEMW& it, bool wide) {
  FileListItem* item = it.lParam ? ItemOf(it.lParam) : ItemAt(it.iItem);
  if (!item) return;
  if ((it.mask & LVIF_IMAGE) && it.iSubItem == 0) {
    ResolveIcon(*item);
    it.iImage = item->icon;
    if (!(it.mask & LVIF_TEXT)) it.mask |= LVIF_DI_SETITEM;  // the list keeps the index
  }
  if (it.mask & LVIF_TEXT) {
    if (it.iSubItem == kTypeColumn) ResolveType(*item);
    if (const std::wstring* text = ColumnText(*item, it.iSubItem)) CopyOut(*text, it, wide);
  }
}

// ---- Filling -------------------------------------------------------------------

void TFileView::ShowFolder(PCIDLIST_ABSOLUTE absolute) {
  if (!absolute) return;
  AbsoluteIDList copy = ConcatItemIDLists(absolute, nullptr);
  if (!copy) return;  // out of memory: the shown folder stays
  ComPtr<IShellFolder> folder;
  if (!DesktopFolder() ||
      FAILED(DesktopFolder()->BindToObject(copy.get(), nullptr, KOLBRI_IID_PPV(folder))) ||
      !folder) {
    // The desktop's own (empty) list, or no folder at all: the desktop is
    // shown, and its list is kept with it so that the items' absolute lists
    // (icons, types, launching) are built from the folder actually listed.
    folder.reset();
    KOLBRI_LOG_IF_FAILED(SHGetDesktopFolder(folder.put()));
    copy = ConcatItemIDLists(nullptr, nullptr);
    if (!copy) return;
  }
  if (!hwnd()) {  // listed once the window exists
    folder_ = std::move(folder);
    folder_list_ = std::move(copy);
    return;
  }
  // Refused: the list still holds the previous folder's items, so that folder
  // stays the shown one; a linked tree goes back to it.
  if (!Fill(std::move(folder), std::move(copy))) SendTreeBack();
}

void TFileView::FillList() {
  if (!folder_ || !hwnd()) return;
  AbsoluteIDList copy = ConcatItemIDLists(folder_list_.get(), nullptr);
  if (copy && !Fill(folder_, std::move(copy))) SendTreeBack();
}

void TFileView::SendTreeBack() {
  if (!tree_ || sending_back_ || !tree_->PreviousNode()) return;
  sending_back_ = true;  // should that folder be refused too, stop there
  tree_->Select(tree_->PreviousNode());
  sending_back_ = false;
}

// The folder is enumerated before anything changes: a shell dialog shown
// during EnumObjects (a drive asking for its medium) runs messages, and an item
// answered then must still be read against the folder it came from.
bool TFileView::Fill(ComPtr<IShellFolder> folder, AbsoluteIDList list) {
  ComPtr<IEnumIDList> children;
  if (FAILED(KOLBRI_LOG_IF_FAILED(folder->EnumObjects(hwnd(), kListEnumFlags, children.put()))))
    return false;
  if (!hwnd()) return true;  // the window went while the shell asked the user
  folder_ = folder;
  folder_list_ = std::move(list);
  const ComPtr<IShellIcon> icons = folder.As<IShellIcon>();  // none: SHGetFileInfo

  for (int& d : g_sort_directions) d = 1;
  static const HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
  static const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  SetCursor(wait);
  SendMessageW(hwnd(), WM_SETREDRAW, FALSE, 0);
  KOLBRI_LOG_IF_FALSE(ListView_DeleteAllItems(hwnd()));
  type_cache_.clear();
  icon_cache_.clear();
  date_sep_ = LocaleSeparator(LOCALE_SDATE, L"/");
  time_sep_ = LocaleSeparator(LOCALE_STIME, L":");
  // Items are added in list view and sorted once at the end.
  ApplyView(ViewStyle::vsList);

  int at = 0;
  ChildIDList child;
  ULONG fetched = 0;
  while (children && children->Next(1, child.receive(), &fetched) == S_OK && child) {
    AddItem(folder.get(), icons.get(), std::move(child), at);
    at = ItemCount();
  }
  if (hwnd()) {
    KOLBRI_LOG_IF_FALSE(
        ListView_SortItems(hwnd(), CompareByItemID, reinterpret_cast<LPARAM>(folder.get())));
    ApplyView(view_style_);
    ResumeRedraw();
  }
  SetCursor(arrow);
  return true;
}

void TFileView::AddItem(IShellFolder* folder, IShellIcon* icons, ChildIDList child, int at) {
  PCUITEMID_CHILD own = child.get();
  std::string parsing;
  GetItemDisplayName(folder, own, SHGDN_FORPARSING, parsing);
  SFGAOF attributes = SFGAO_FOLDER | SFGAO_LINK;
  if (FAILED(KOLBRI_LOG_IF_FAILED(folder->GetAttributesOf(1, &own, &attributes)))) attributes = 0;
  if (!(attributes & SFGAO_FOLDER) && !MaskAdmits(mask_, parsing, GetACP())) return;

  auto record = std::make_unique<FileListItem>();
  FileListItem* item = record.get();
  std::wstring caption;
  GetItemDisplayNameW(folder, own, SHGDN_INFOLDER, caption);
  if (icons) {
    int index = -1;
    KOLBRI_LOG_IF_FAILED(icons->GetIconOf(own, GIL_FORSHELL, &index));
    if (index != -1) item->icon = index;
  }
  WIN32_FIND_DATAA data;
  // Virtual folders have no find data: their texts stay empty.
  if (SUCCEEDED(KOLBRI_LOG_IF_FAILED(
          SHGetDataFromIDListA(folder, own, SHGDFIL_FINDDATA, &data, sizeof data)))) {
    item->has_file_data = true;
    item->bytes = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    item->written = data.ftLastWriteTime;
    item->size = FileSizeText(item->bytes);
    item->date = FileDateText(item->written, date_sep_, time_sep_);
  }
  // The type name and an icon the folder did not give are looked up when the
  // list first shows or reports them (SHGetFileInfo costs milliseconds a call
  // on some systems); files sharing an extension share the answer.
  item->key = TypeKey(parsing, attributes);
  if (!item->key.empty() && item->icon == I_IMAGECALLBACK) {
    if (auto found = icon_cache_.find(item->key); found != icon_cache_.end() && found->second)
      item->icon = *found->second;
  }
  item->id = std::move(child);
  records_.Add(std::move(record));
  if (!InsertItem(at, caption, item, (attributes & SFGAO_LINK) ? kLinkOverlay : 0))
    records_.Take(item);
}

void TFileView::SortByColumn(int column) {
  if (column < 0 || column >= kFileColumns || !hwnd()) return;
  g_sort_directions[column] = -g_sort_directions[column];
  if (column == 0) {
    if (folder_)
      KOLBRI_LOG_IF_FALSE(
          ListView_SortItems(hwnd(), CompareByItemID, reinterpret_cast<LPARAM>(folder_.get())));
  } else {
    if (column == kTypeColumn) {
      const int n = ItemCount();
      for (int i = 0; i < n; ++i)
        if (FileListItem* item = ItemAt(i)) ResolveType(*item);
    }
    KOLBRI_LOG_IF_FALSE(ListView_SortItems(hwnd(), CompareBySubItem, column));
  }
  if (on_column_click) on_column_click(*this, column);
}

// ---- Links -----------------------------------------------------------------------

void TFileView::ComponentRemoved(ShellComponent* component) {
  if (tree_.Is(component)) tree_.Clear(*this);
  if (context_menu_.Is(component)) context_menu_.Clear(*this);
  if (drop_source_.Is(component)) drop_source_.Clear(*this);
}

// ---- User actions ----------------------------------------------------------------

void TFileView::DoubleClicked() {
  if (on_dbl_click) on_dbl_click(*this);
  if (!hwnd() || !folder_) return;
  FileListItem* item = ItemAt(ListView_GetNextItem(hwnd(), -1, LVNI_SELECTED));
  if (!item || !item->id) return;
  PCUITEMID_CHILD own = item->id.get();
  SFGAOF attributes = SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
  if (FAILED(KOLBRI_LOG_IF_FAILED(folder_->GetAttributesOf(1, &own, &attributes)))) attributes = 0;
  if (tree_ && (attributes & (SFGAO_FOLDER | SFGAO_FILESYSANCESTOR))) {
    // The tree's selection refills this list, deleting the item: it gets a copy.
    const ChildIDList copy = CopyFirstItemID(own);
    if (copy) tree_->SelectChildItem(copy.get());
    return;
  }
  if (!file_execute_) return;
  const AbsoluteIDList absolute = AbsoluteOf(own);
  if (!absolute) return;
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_INVOKEIDLIST;
  info.hwnd = hwnd();
  info.lpVerb = "";
  info.lpParameters = "";
  info.lpDirectory = "";
  info.nShow = SW_SHOWNORMAL;
  info.lpIDList = const_cast<ITEMIDLIST_ABSOLUTE*>(absolute.get());
  // A failed launch shows nothing of ours.
  KOLBRI_LOG_IF_FALSE(ShellExecuteExA(&info) != FALSE);
}

// The edited item itself is renamed (not the first selected one, which with
// several selected may be another file). The shell may show a dialog in
// SetNameOf, and a refill meanwhile frees the item: nothing of it is held
// across the call but copies, and the item is looked up again afterwards.
LRESULT TFileView::EndLabelEdit(int index, const std::optional<std::wstring>& typed) {
  if (!typed) return FALSE;  // cancelled
  std::wstring text = *typed;
  if (on_edited) on_edited(*this, index, text);
  SetCaption(index, text);
  FileListItem* item = ItemAt(index);
  if (!item || !item->id || !folder_) return FALSE;
  ComPtr<IShellFolder> folder = folder_;
  const ChildIDList old = CopyFirstItemID(item->id.get());
  if (!old) return FALSE;
  // Asked before the rename, while the old list still names the object.
  PCUITEMID_CHILD old_item = old.get();
  SFGAOF attributes = SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
  if (FAILED(KOLBRI_LOG_IF_FAILED(folder->GetAttributesOf(1, &old_item, &attributes))))
    attributes = 0;

  renaming_ = item;
  LabelRename done = RenameLabel(folder.get(), hwnd(), old.get(), *typed);
  item = std::exchange(renaming_, nullptr);  // none when the item went meanwhile
  if (done.renamed && tree_ && (attributes & (SFGAO_FOLDER | SFGAO_FILESYSANCESTOR)))
    tree_->RenameChildItem(old.get(), done.renamed.get());
  LVFINDINFOW find{};
  find.flags = LVFI_PARAM;
  find.lParam = reinterpret_cast<LPARAM>(item);
  index = item && hwnd() ? ListView_FindItem(hwnd(), -1, &find) : -1;
  if (index < 0 || ItemAt(index) != item) return FALSE;
  if (done.renamed) {
    item->id = std::move(done.renamed);  // the old list is freed
    // A new extension may mean another type and icon.
    std::string parsing;
    GetItemDisplayName(folder.get(), item->id.get(), SHGDN_FORPARSING, parsing);
    item->key = TypeKey(parsing, attributes & SFGAO_FOLDER);
    item->type_known = false;
    item->type.clear();
    item->icon = I_IMAGECALLBACK;
    LVITEMW it{};
    it.mask = LVIF_IMAGE;
    it.iItem = index;
    it.iImage = I_IMAGECALLBACK;
    KOLBRI_LOG_IF_FALSE(ListView_SetItem(hwnd(), &it));
  }
  SetCaption(index, done.shown);
  return FALSE;  // the caption is set; the list must not put the typed text back
}

// The selected items' one-item lists back to back, the one nearest the end of
// the list first. Built in one block: joining them one by one would copy the
// growing sequence once per item.
RelativeIDList TFileView::SelectionSequence(int* count) const {
  std::vector<PCUITEMID_CHILD> chosen;
  for (int i = -1; (i = ListView_GetNextItem(hwnd(), i, LVNI_SELECTED)) >= 0;) {
    if (FileListItem* item = ItemAt(i); item && item->id) chosen.push_back(item->id.get());
  }
  *count = static_cast<int>(chosen.size());
  if (chosen.empty()) return {};
  ULONG bytes = 2;
  for (PCUITEMID_CHILD c : chosen) bytes += c->mkid.cb;
  RelativeIDList sequence(static_cast<PIDLIST_RELATIVE>(ShellAlloc(bytes)));
  if (!sequence) {
    *count = 0;
    return {};
  }
  auto* at = reinterpret_cast<BYTE*>(sequence.get());
  for (auto it = chosen.rbegin(); it != chosen.rend(); ++it) {
    std::memcpy(at, *it, (*it)->mkid.cb);
    at += (*it)->mkid.cb;
  }
  return sequence;  // zero-filled: the terminator is there
}

void TFileView::OnRightClick(POINT client) {
  if (!hwnd() || !context_menu_ || !folder_ || SelectedCount() == 0) return;
  int count = 0;
  const RelativeIDList sequence = SelectionSequence(&count);
  if (!sequence) return;
  ComPtr<IShellFolder> folder = folder_;  // a command may show another folder
  context_menu_->PopupAtClient(hwnd(), folder.get(), client, count, sequence.get());
}

// The list reports a drag (LVN_BEGINDRAG) only once the pointer left the drag
// rectangle with the button down; a plain click never gets here.
void TFileView::BeginDrag() {
  if (!drop_source_ || !folder_ || SelectedCount() == 0) return;
  int count = 0;
  const RelativeIDList sequence = SelectionSequence(&count);
  if (!sequence) return;
  ComPtr<IShellFolder> folder = folder_;
  drop_source_->StartShellDrag(hwnd(), folder.get(), count, sequence.get());
}

// ---- Notifications -------------------------------------------------------------

// The window goes: every item is deleted here, as the list would (its own
// deletions then reach nobody).
void TFileView::OnWindowDestroying() {
  const int n = ItemCount();
  for (int i = 0; i < n; ++i) ItemDeleted(i, ItemAt(i));
  records_.Clear();
}

// The item's list is freed before on_deletion (which sees no list), and the
// record itself only after it: a handler may still read the item's texts.
void TFileView::ItemDeleted(int index, FileListItem* item) {
  const std::unique_ptr<FileListItem> record = records_.Take(item);
  if (renaming_ == item) renaming_ = nullptr;
  if (record) record->id.reset();  // freed once
  if (on_deletion) on_deletion(*this, index);
}

bool TFileView::OnReflect(UINT msg, WPARAM, LPARAM lp, LRESULT* result) {
  if (msg != WM_NOTIFY || !hwnd()) return false;
  auto* hdr = reinterpret_cast<NMHDR*>(lp);
  if (hdr->hwndFrom != hwnd()) return false;
  auto* lv = reinterpret_cast<NMLISTVIEW*>(lp);
  switch (hdr->code) {
    case LVN_GETDISPINFOW:
    case LVN_GETDISPINFOA:
      // LVITEMA and LVITEMW differ only in the text pointer's type.
      AnswerDispInfo(reinterpret_cast<NMLVDISPINFOW*>(lp)->item, hdr->code == LVN_GETDISPINFOW);
      *result = 0;
      return true;
    case LVN_DELETEITEM:
      ItemDeleted(lv->iItem, ItemOf(lv->lParam));
      *result = 0;
      return true;
    case LVN_COLUMNCLICK:
      SortByColumn(lv->iSubItem);
      *result = 0;
      return true;
    case LVN_BEGINLABELEDITW:
    case LVN_BEGINLABELEDITA: *result = FALSE; return true;
    case LVN_ENDLABELEDITW:
    case LVN_ENDLABELEDITA: {
      // LVITEMA and LVITEMW differ only in the text pointer's type.
      const auto& item = reinterpret_cast<NMLVDISPINFOW*>(lp)->item;
      *result = EndLabelEdit(item.iItem, EditedLabel(item.pszText, hdr->code == LVN_ENDLABELEDITW));
      return true;
    }
    case LVN_BEGINDRAG:
      BeginDrag();
      *result = 0;
      return true;
    default: return false;
  }
}

// ---- Mouse ---------------------------------------------------------------------

// The press selects as the list would: an unselected item alone, nothing on
// empty space; the release reaches on_mouse_up and the context menu.
void TFileView::OnRightButtonDown(WPARAM, POINT client) {
  LVHITTESTINFO hit{};
  hit.pt = client;
  const int index = ListView_HitTest(hwnd(), &hit);
  if (index < 0 || !IsSelected(index)) ListView_SetItemState(hwnd(), -1, 0, LVIS_SELECTED);
  if (index >= 0 && !IsSelected(index)) SetSelected(index, true);
}

LRESULT TFileView::ControlProc(UINT msg, WPARAM wp, LPARAM lp, const winui::SubclassNext& next) {
  switch (msg) {
    case WM_SETFONT: {
      const LRESULT r = next(msg, wp, lp);
      FitSizeColumn();
      return r;
    }
    // After the list has handled the click, so that a refill (opening a
    // folder) does not pull the items from under it.
    case WM_LBUTTONDBLCLK: {
      const LRESULT r = next(msg, wp, lp);
      if (hwnd()) DoubleClicked();
      return r;
    }
    default: break;
  }
  return next(msg, wp, lp);
}

}  // namespace shview
