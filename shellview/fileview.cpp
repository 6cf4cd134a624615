#include "shellview/fileview.h"

#include <cstring>
#include <memory>

#include "base/text.h"
#include "shellcom/drpcomex.h"
#include "shellview/folderview.h"
#include "winui/window.h"

namespace shview {

// One list item's own data. The size and date texts are made when the item is
// added; the type name and the icon when the list first shows or reports them.
struct FileListItem {
  ChildIDList id;     // relative to the shown folder; owned
  std::wstring size;  // empty where the shell gives no file data
  std::wstring date;
  std::wstring type;
  std::string key;  // extension whose type and icon every file shares; empty: ask per file
  int icon = I_IMAGECALLBACK;
  bool type_known = false;
};

namespace {

constexpr int kColumns = 4;
constexpr UINT kLinkOverlay = INDEXTOOVERLAYMASK(2);

// One table for every list of the process (UI thread only); a fill resets it.
int g_sort_directions[kColumns] = {1, 1, 1, 1};

FileListItem* ItemOf(LPARAM lp) { return reinterpret_cast<FileListItem*>(lp); }

const std::wstring* SubText(const FileListItem& item, int column) {
  switch (column) {
    case 1: return &item.size;
    case 2: return &item.type;
    case 3: return &item.date;
    default: return nullptr;
  }
}

int CALLBACK CompareByItemID(LPARAM a, LPARAM b, LPARAM folder) {
  return CompareItemIDs(reinterpret_cast<IShellFolder*>(folder), ItemOf(a)->id.get(),
                        ItemOf(b)->id.get()) *
         g_sort_directions[0];
}

int CALLBACK CompareBySubItem(LPARAM a, LPARAM b, LPARAM column) {
  const int c = static_cast<int>(column);
  const std::wstring* x = SubText(*ItemOf(a), c);
  const std::wstring* y = SubText(*ItemOf(b), c);
  if (!x || !y) return 0;
  return lstrcmpW(x->c_str(), y->c_str()) * g_sort_directions[c];
}

// Upper-cases ASCII letters of single-byte characters; double-byte characters
// pass whole (a trail byte may look like a letter).
std::string UpperAscii(std::string_view s, UINT code_page) {
  std::string out(s);
  for (size_t i = 0; i < out.size(); ++i) {
    const auto b = static_cast<unsigned char>(out[i]);
    if (IsDBCSLeadByteEx(code_page, b) && i + 1 < out.size()) {
      ++i;
    } else if (b >= 'a' && b <= 'z') {
      out[i] = static_cast<char>(b - 'a' + 'A');
    }
  }
  return out;
}

// Files whose icon or type the shell may take from the file itself.
bool OwnIcon(const std::string& ext) {
  static const char* const kOwn[] = {".EXE", ".COM", ".BAT", ".CMD", ".PIF", ".SCR",
                                     ".LNK", ".URL", ".ICO", ".CUR", ".ANI"};
  for (const char* e : kOwn)
    if (ext == e) return true;
  return false;
}

// The key under which a child's type and icon may be shared, or empty. An
// extension the code page could not spell ('?') could stand for several.
std::string CacheKey(const std::string& parsing, SFGAOF attributes) {
  if (attributes & (SFGAO_FOLDER | SFGAO_LINK)) return {};
  std::string ext = MaskExtension(parsing, GetACP());
  for (char ch : ext)
    if (static_cast<unsigned char>(ch) >= 0x80 || ch == '?') return {};
  if (ext.size() < 2 || OwnIcon(ext)) return {};
  return ext;
}

std::wstring LocaleText(LCTYPE what, const wchar_t* fallback) {
  wchar_t buf[8] = {};
  return GetLocaleInfoW(LOCALE_USER_DEFAULT, what, buf, static_cast<int>(std::size(buf))) > 1
             ? buf
             : fallback;
}

std::wstring DateText(const FILETIME& utc, const std::wstring& ds, const std::wstring& ts) {
  FILETIME local;
  SYSTEMTIME st;
  // Through the calendar rather than a DOS date, which cannot hold a year
  // before 1980 or after 2107; within that range the text is the same.
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return {};
  wchar_t buf[64];
  swprintf(buf, std::size(buf), L"%02u%ls%02u%ls%02u %02u%ls%02u", st.wYear % 100u, ds.c_str(),
           st.wMonth, ds.c_str(), st.wDay, st.wHour, ts.c_str(), st.wMinute);
  return buf;
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

std::string MaskExtension(std::string_view name, UINT code_page) {
  size_t last = std::string_view::npos;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto b = static_cast<unsigned char>(name[i]);
    if (IsDBCSLeadByteEx(code_page, b) && i + 1 < name.size()) {
      ++i;  // the trail byte may be '\' (0x5C) in Shift-JIS
    } else if (b == '.' || b == '\\' || b == ':') {
      last = i;
    }
  }
  if (last == std::string_view::npos || name[last] != '.') return {};
  return UpperAscii(name.substr(last), code_page);
}

bool MaskAdmits(const std::vector<std::string>& mask, std::string_view parsing_name,
                UINT code_page) {
  if (mask.empty()) return true;
  const std::string ext = MaskExtension(parsing_name, code_page);
  if (ext.empty()) return false;
  for (const std::string& line : mask)
    if (UpperAscii(line, code_page) == ext) return true;
  return false;
}

std::wstring FileSizeText(ULONGLONG bytes) {
  std::wstring n = std::to_wstring(bytes / 1024 + 1);
  if (n.size() < 8) n.insert(0, 8 - n.size(), L' ');
  return n + L"KB";
}

std::wstring FileDateText(const FILETIME& utc) {
  return DateText(utc, LocaleText(LOCALE_SDATE, L"/"), LocaleText(LOCALE_STIME, L":"));
}

int TFileView::SortDirection(int column) {
  return column >= 0 && column < kColumns ? g_sort_directions[column] : 0;
}

TFileView::TFileView() = default;

TFileView::~TFileView() { Destroy(); }

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

bool TFileView::Create(HWND parent, const RECT& bounds, int control_id) {
  if (hwnd_ || !parent) return false;
  left_ = bounds.left;
  top_ = bounds.top;
  width_ = bounds.right - bounds.left;
  height_ = bounds.bottom - bounds.top;
  if (!CreateWindowOnly(parent, control_id)) return false;
  if (folder_) FillList();  // a folder handed over before the window existed
  return true;
}

bool TFileView::CreateWindowOnly(HWND parent, int control_id) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  hwnd_ =
      CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", Style(), left_, top_, width_, height_,
                      parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(control_id)),
                      GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) {
    winui::ReportWindowFailure(L"CreateWindowExW", WC_LISTVIEWW);
    return false;
  }
  parent_ = parent;
  control_id_ = control_id;
  winui::BindWindow(hwnd_, this);
  subclass_.Install(hwnd_,
                    [this](HWND, UINT msg, WPARAM wp, LPARAM lp, const winui::SubclassNext& next) {
                      return WndProc(msg, wp, lp, next);
                    });
  // The columns are set again with every window: a width the user changed is lost.
  static const wchar_t* const kCaptions[kColumns] = {L"\u540D\u524D", L"\uFF7B\uFF72\uFF7D\uFF9E",
                                                     L"\uFF8C\uFF67\uFF72\uFF99\u306E\u7A2E\u985E",
                                                     L"\u66F4\u65B0\u65E5\u6642"};
  static const int kWidths[kColumns] = {120, 60, 120, 120};
  for (int c = 0; c < kColumns; ++c) {
    LVCOLUMNW col{};
    col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    col.fmt = c == 1 ? LVCFMT_RIGHT : LVCFMT_LEFT;
    col.cx = kWidths[c];
    col.pszText = const_cast<wchar_t*>(kCaptions[c]);
    col.iSubItem = c;
    ListView_InsertColumn(hwnd_, c, &col);
  }
  ListView_SetImageList(hwnd_, SystemImageList(false), LVSIL_NORMAL);
  ListView_SetImageList(hwnd_, SystemImageList(true), LVSIL_SMALL);
  return true;
}

void TFileView::Destroy() {
  if (hwnd_) DestroyWindow(hwnd_);
}

void TFileView::SetBounds(const RECT& b) {
  left_ = b.left;
  top_ = b.top;
  width_ = b.right - b.left;
  height_ = b.bottom - b.top;
  if (hwnd_) MoveWindow(hwnd_, left_, top_, width_, height_, TRUE);
}

void TFileView::ApplyView(ViewStyle style) {
  if (!hwnd_) return;
  const auto s = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE));
  SetWindowLongPtrW(hwnd_, GWL_STYLE, (s & ~LVS_TYPEMASK) | ViewBits(style));
}

// The column header is a child window: it is redrawn too.
void TFileView::ResumeRedraw() {
  SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
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

// The items go over to a new window with their records: the old window's
// deletions free nothing, and every list stays with exactly one item.
void TFileView::Recreate() {
  if (!hwnd_) return;
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
         ListView_GetItemState(hwnd_, i, LVIS_OVERLAYMASK | LVIS_SELECTED | LVIS_FOCUSED)});
  const bool visible = IsWindowVisible(hwnd_);
  moving_ = true;
  DestroyWindow(hwnd_);
  moving_ = false;
  if (!CreateWindowOnly(parent_, control_id_)) {
    for (Moved& m : moved) delete m.item;
    return;
  }
  SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
  int at = 0;
  for (Moved& m : moved) {
    if (InsertItem(at, m.caption, m.item, m.state))
      ++at;
    else
      delete m.item;
  }
  if (!visible) ShowWindow(hwnd_, SW_HIDE);
  ResumeRedraw();
}

// ---- Items -------------------------------------------------------------------

int TFileView::ItemCount() const { return hwnd_ ? ListView_GetItemCount(hwnd_) : 0; }

FileListItem* TFileView::ItemAt(int index) const {
  if (!hwnd_ || index < 0) return nullptr;
  LVITEMW it{};
  it.mask = LVIF_PARAM;
  it.iItem = index;
  return ListView_GetItem(hwnd_, &it) ? ItemOf(it.lParam) : nullptr;
}

std::wstring TFileView::Caption(int index) const { return SubItemText(index, 0); }

std::wstring TFileView::SubItemText(int index, int column) const {
  if (!hwnd_ || index < 0) return {};
  wchar_t buf[1024] = {};
  ListView_GetItemText(hwnd_, index, column, buf, static_cast<int>(std::size(buf)));
  return buf;
}

PCUITEMID_CHILD TFileView::Data(int index) const {
  FileListItem* item = ItemAt(index);
  return item ? item->id.get() : nullptr;
}

int TFileView::ImageIndex(int index) const {
  if (!hwnd_) return -1;
  LVITEMW it{};
  it.mask = LVIF_IMAGE;
  it.iItem = index;
  return ListView_GetItem(hwnd_, &it) ? it.iImage : -1;
}

int TFileView::OverlayIndex(int index) const {
  return hwnd_
             ? static_cast<int>(
                   (ListView_GetItemState(hwnd_, index, LVIS_OVERLAYMASK) & LVIS_OVERLAYMASK) >> 8)
             : 0;
}

int TFileView::IndexOf(const std::wstring& caption) const {
  const int n = ItemCount();
  for (int i = 0; i < n; ++i)
    if (Caption(i) == caption) return i;
  return -1;
}

bool TFileView::IsSelected(int index) const {
  return hwnd_ && (ListView_GetItemState(hwnd_, index, LVIS_SELECTED) & LVIS_SELECTED);
}

void TFileView::SetSelected(int index, bool selected) {
  if (hwnd_)
    ListView_SetItemState(hwnd_, index, selected ? LVIS_SELECTED | LVIS_FOCUSED : 0,
                          LVIS_SELECTED | (selected ? LVIS_FOCUSED : 0));
}

int TFileView::SelectedCount() const {
  return hwnd_ ? static_cast<int>(ListView_GetSelectedCount(hwnd_)) : 0;
}

RECT TFileView::LabelRect(int index) const {
  RECT r{};
  if (hwnd_) ListView_GetItemRect(hwnd_, index, &r, LVIR_LABEL);
  return r;
}

void TFileView::SetCaption(int index, const std::wstring& text) {
  std::wstring copy = text;
  ListView_SetItemText(hwnd_, index, 0, copy.data());
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
  return ListView_InsertItem(hwnd_, &it) >= 0;
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
  if (absolute && SHGetFileInfoW(reinterpret_cast<LPCWSTR>(absolute.get()), 0, &fi, sizeof fi,
                                 SHGFI_TYPENAME | SHGFI_PIDL))
    item.type = fi.szTypeName;
  if (!item.key.empty()) type_cache_[item.key] = item.type;
}

void TFileView::ResolveIcon(FileListItem& item) {
  if (item.icon != I_IMAGECALLBACK) return;
  if (!item.key.empty()) {
    if (auto found = icon_cache_.find(item.key); found != icon_cache_.end()) {
      item.icon = found->second;
      return;
    }
  }
  const AbsoluteIDList absolute = AbsoluteOf(item.id.get());
  // The index only: an icon handle (SHGFI_ICON) would be made for every file
  // and never used.
  item.icon = absolute ? GetItemIconIndex(absolute.get(), kLargeIconFlags) : kFallbackIconIndex;
  if (!item.key.empty()) icon_cache_[item.key] = item.icon;
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
    if (it.iSubItem == 2) ResolveType(*item);
    if (const std::wstring* text = SubText(*item, it.iSubItem)) CopyOut(*text, it, wide);
  }
}

// ---- Filling -------------------------------------------------------------------

void TFileView::ShowFolder(PCIDLIST_ABSOLUTE absolute) {
  if (!absolute) return;
  AbsoluteIDList copy = ConcatItemIDLists(absolute, nullptr);
  if (!copy) return;  // out of memory: the shown folder stays
  ComPtr<IShellFolder> folder;
  if (!DesktopFolder ||
      FAILED(DesktopFolder->BindToObject(copy.get(), nullptr, IID_IShellFolder,
                                         folder.receive_void())) ||
      !folder) {
    // The desktop's own (empty) list, or no folder at all: the desktop is
    // shown, and its list is kept with it so that the items' absolute lists
    // (icons, types, launching) are built from the folder actually listed.
    folder.reset();
    SHGetDesktopFolder(folder.receive());
    copy = ConcatItemIDLists(nullptr, nullptr);
    if (!copy) return;
  }
  ComPtr<IShellFolder> old_folder = std::move(folder_);
  AbsoluteIDList old_list = std::move(folder_list_);
  folder_ = std::move(folder);
  folder_list_ = std::move(copy);
  if (Fill()) return;
  // Refused: the list still holds the previous folder's items, so that folder
  // stays the shown one; a linked tree goes back to it.
  folder_ = std::move(old_folder);
  folder_list_ = std::move(old_list);
  SendTreeBack();
}

void TFileView::FillList() {
  if (!Fill()) SendTreeBack();
}

void TFileView::SendTreeBack() {
  if (!tree_ || sending_back_ || !tree_->PreviousNode()) return;
  sending_back_ = true;  // should that folder be refused too, stop there
  tree_->Select(tree_->PreviousNode());
  sending_back_ = false;
}

bool TFileView::Fill() {
  if (!folder_ || !hwnd_) return true;
  ComPtr<IEnumIDList> children;
  if (FAILED(folder_->EnumObjects(hwnd_, kListEnumFlags, children.receive()))) return false;
  ComPtr<IShellIcon> icons;
  folder_->QueryInterface(IID_IShellIcon, icons.receive_void());
  // Keep the folder while its children are read: an event may show another.
  ComPtr<IShellFolder> folder = folder_;

  for (int& d : g_sort_directions) d = 1;
  static const HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
  static const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  SetCursor(wait);
  SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(hwnd_);
  type_cache_.clear();
  icon_cache_.clear();
  date_sep_ = LocaleText(LOCALE_SDATE, L"/");
  time_sep_ = LocaleText(LOCALE_STIME, L":");
  // Items are added in list view and sorted once at the end.
  ApplyView(ViewStyle::vsList);

  int at = 0;
  ChildIDList child;
  ULONG fetched = 0;
  while (children && children->Next(1, child.receive(), &fetched) == S_OK && child) {
    AddItem(folder.get(), icons.get(), std::move(child), at);
    at = ItemCount();
  }
  if (hwnd_) {
    ListView_SortItems(hwnd_, CompareByItemID, reinterpret_cast<LPARAM>(folder.get()));
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
  if (FAILED(folder->GetAttributesOf(1, &own, &attributes))) attributes = 0;
  if (!(attributes & SFGAO_FOLDER) && !MaskAdmits(mask_, parsing, GetACP())) return;

  auto item = std::make_unique<FileListItem>();
  std::wstring caption;
  GetItemDisplayNameW(folder, own, SHGDN_INFOLDER, caption);
  if (icons) {
    int index = -1;
    icons->GetIconOf(own, GIL_FORSHELL, &index);
    if (index != -1) item->icon = index;
  }
  WIN32_FIND_DATAA data;
  if (SUCCEEDED(SHGetDataFromIDListA(folder, own, SHGDFIL_FINDDATA, &data, sizeof data))) {
    item->size =
        FileSizeText((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    item->date = DateText(data.ftLastWriteTime, date_sep_, time_sep_);
  }
  // The type name and an icon the folder did not give are looked up when the
  // list first shows or reports them (SHGetFileInfo costs milliseconds a call
  // on some systems); files sharing an extension share the answer.
  item->key = CacheKey(parsing, attributes);
  if (!item->key.empty() && item->icon == I_IMAGECALLBACK) {
    if (auto found = icon_cache_.find(item->key); found != icon_cache_.end())
      item->icon = found->second;
  }
  item->id = std::move(child);
  if (InsertItem(at, caption, item.get(), (attributes & SFGAO_LINK) ? kLinkOverlay : 0))
    (void)item.release();  // the list item owns it now
}

void TFileView::SortByColumn(int column) {
  if (column < 0 || column >= kColumns || !hwnd_) return;
  g_sort_directions[column] = -g_sort_directions[column];
  if (column == 0) {
    if (folder_)
      ListView_SortItems(hwnd_, CompareByItemID, reinterpret_cast<LPARAM>(folder_.get()));
  } else {
    if (column == 2) {
      const int n = ItemCount();
      for (int i = 0; i < n; ++i)
        if (FileListItem* item = ItemAt(i)) ResolveType(*item);
    }
    ListView_SortItems(hwnd_, CompareBySubItem, column);
  }
  if (OnColumnClick) OnColumnClick(*this, column);
}

// ---- Links -----------------------------------------------------------------------

void TFileView::ComponentRemoved(ShellComponent* component) {
  if (!component) return;
  if (tree_ && component == static_cast<ShellComponent*>(tree_)) tree_ = nullptr;
  if (context_menu_ && component == static_cast<ShellComponent*>(context_menu_))
    context_menu_ = nullptr;
  if (drop_source_ && component == static_cast<ShellComponent*>(drop_source_))
    drop_source_ = nullptr;
}

// ---- User actions ----------------------------------------------------------------

void TFileView::DoubleClicked() {
  if (OnDblClick) OnDblClick(*this);
  if (!hwnd_ || !folder_) return;
  FileListItem* item = ItemAt(ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED));
  if (!item || !item->id) return;
  PCUITEMID_CHILD own = item->id.get();
  SFGAOF attributes = SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
  if (FAILED(folder_->GetAttributesOf(1, &own, &attributes))) attributes = 0;
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
  info.hwnd = hwnd_;
  info.lpVerb = "";
  info.lpParameters = "";
  info.lpDirectory = "";
  info.nShow = SW_SHOWNORMAL;
  info.lpIDList = const_cast<ITEMIDLIST_ABSOLUTE*>(absolute.get());
  ShellExecuteExA(&info);  // a failed launch shows nothing of ours
}

// The edited item itself is renamed (not the first selected one, which with
// several selected may be another file).
LRESULT TFileView::EndLabelEdit(int index, const std::wstring* typed) {
  if (!typed) return FALSE;  // cancelled
  std::wstring text = *typed;
  if (OnEdited) OnEdited(*this, index, text);
  SetCaption(index, text);
  FileListItem* item = ItemAt(index);
  if (!item || !item->id || !folder_) return FALSE;
  ComPtr<IShellFolder> folder = folder_;
  PCUITEMID_CHILD old = item->id.get();
  // Asked before the rename, while the old list still names the object.
  SFGAOF attributes = SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
  if (FAILED(folder->GetAttributesOf(1, &old, &attributes))) attributes = 0;

  ChildIDList renamed;
  const HRESULT hr = RenameChild(folder.get(), hwnd_, old, *typed, renamed);
  std::wstring shown;
  if (SUCCEEDED(hr) && renamed) {
    if (tree_ && (attributes & (SFGAO_FOLDER | SFGAO_FILESYSANCESTOR)))
      tree_->RenameChildItem(old, renamed.get());
    item->id = std::move(renamed);  // the old list is freed
    // A new extension may mean another type and icon.
    std::string parsing;
    GetItemDisplayName(folder.get(), item->id.get(), SHGDN_FORPARSING, parsing);
    item->key = CacheKey(parsing, attributes & SFGAO_FOLDER);
    item->type_known = false;
    item->type.clear();
    item->icon = I_IMAGECALLBACK;
    LVITEMW it{};
    it.mask = LVIF_IMAGE;
    it.iItem = index;
    it.iImage = I_IMAGECALLBACK;
    ListView_SetItem(hwnd_, &it);
    GetItemDisplayNameW(folder.get(), item->id.get(), SHGDN_NORMAL, shown);
  } else {
    GetItemDisplayNameW(folder.get(), old, SHGDN_NORMAL, shown);
  }
  SetCaption(index, shown);
  return FALSE;  // the caption is set; the list must not put the typed text back
}

// The selected items' one-item lists back to back, the one nearest the end of
// the list first. Built in one block: joining them one by one would copy the
// growing sequence once per item.
RelativeIDList TFileView::SelectionSequence(int* count) const {
  std::vector<PCUITEMID_CHILD> chosen;
  for (int i = -1; (i = ListView_GetNextItem(hwnd_, i, LVNI_SELECTED)) >= 0;) {
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

void TFileView::RightButtonUp(WPARAM keys, POINT client) {
  if (OnMouseUp) OnMouseUp(*this, VK_RBUTTON, keys, client);
  if (!hwnd_ || !context_menu_ || !folder_ || SelectedCount() == 0) return;
  int count = 0;
  const RelativeIDList sequence = SelectionSequence(&count);
  if (!sequence) return;
  ComPtr<IShellFolder> folder = folder_;  // a command may show another folder
  POINT screen = client;
  ClientToScreen(hwnd_, &screen);
  context_menu_->PopupShellMenu(hwnd_, folder.get(), screen, count, sequence.get());
}

// The list reports a drag (LVN_BEGINDRAG) only once the pointer left the drag
// rectangle with the button down; a plain click never gets here.
void TFileView::BeginDrag() {
  if (!drop_source_ || !folder_ || SelectedCount() == 0) return;
  int count = 0;
  const RelativeIDList sequence = SelectionSequence(&count);
  if (!sequence) return;
  ComPtr<IShellFolder> folder = folder_;
  drop_source_->StartShellDrag(hwnd_, folder.get(), count, sequence.get());
}

// ---- Notifications -------------------------------------------------------------

// On destruction the parent may no longer route notifications, so the records
// are freed here.
void TFileView::DeleteAllOnTeardown() {
  const int n = ItemCount();
  for (int i = 0; i < n; ++i) {
    delete ItemAt(i);
    if (OnDeletion) OnDeletion(*this, i);
  }
  tearing_down_ = true;
  ListView_DeleteAllItems(hwnd_);
}

bool TFileView::OnReflect(UINT msg, WPARAM, LPARAM lp, LRESULT* result) {
  if (msg != WM_NOTIFY || !hwnd_ || tearing_down_) return false;
  auto* hdr = reinterpret_cast<NMHDR*>(lp);
  if (hdr->hwndFrom != hwnd_) return false;
  auto* lv = reinterpret_cast<NMLISTVIEW*>(lp);
  switch (hdr->code) {
    case LVN_GETDISPINFOW:
    case LVN_GETDISPINFOA:
      // LVITEMA and LVITEMW differ only in the text pointer's type.
      AnswerDispInfo(reinterpret_cast<NMLVDISPINFOW*>(lp)->item, hdr->code == LVN_GETDISPINFOW);
      *result = 0;
      return true;
    case LVN_DELETEITEM:
      delete ItemOf(lv->lParam);  // the item's list, freed once
      if (OnDeletion) OnDeletion(*this, lv->iItem);
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
      const auto typed = EditedLabel(item.pszText, hdr->code == LVN_ENDLABELEDITW);
      *result = EndLabelEdit(item.iItem, typed ? &*typed : nullptr);
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

namespace {
POINT PointOf(LPARAM lp) {
  return POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
}
}  // namespace

LRESULT TFileView::WndProc(UINT msg, WPARAM wp, LPARAM lp, const winui::SubclassNext& next) {
  HWND hwnd = hwnd_;
  switch (msg) {
    case WM_DESTROY:
      if (moving_)
        tearing_down_ = true;
      else
        DeleteAllOnTeardown();
      break;
    case WM_NCDESTROY:
      subclass_.Remove();
      winui::BindWindow(hwnd, nullptr);
      hwnd_ = nullptr;
      tearing_down_ = false;
      right_down_ = false;
      return next(msg, wp, lp);
    // Right clicks are handled here rather than by the list's own tracking, so
    // that the release reaches OnMouseUp and the context menu. The press
    // selects as the list would: an unselected item alone, nothing on empty space.
    case WM_RBUTTONDOWN: {
      SetFocus(hwnd);
      LVHITTESTINFO hit{};
      hit.pt = PointOf(lp);
      const int index = ListView_HitTest(hwnd, &hit);
      if (index < 0 || !IsSelected(index)) ListView_SetItemState(hwnd, -1, 0, LVIS_SELECTED);
      if (index >= 0 && !IsSelected(index)) SetSelected(index, true);
      SetCapture(hwnd);
      right_down_ = true;
      if (OnMouseDown) OnMouseDown(*this, VK_RBUTTON, wp, PointOf(lp));
      return 0;
    }
    case WM_RBUTTONUP:
      if (right_down_) {
        right_down_ = false;
        ReleaseCapture();
        RightButtonUp(wp, PointOf(lp));
      }
      return 0;
    case WM_CAPTURECHANGED: right_down_ = false; break;
    case WM_LBUTTONDOWN: {
      const LRESULT r = next(msg, wp, lp);
      if (hwnd_ && OnMouseDown) OnMouseDown(*this, VK_LBUTTON, wp, PointOf(lp));
      return r;
    }
    case WM_LBUTTONUP: {
      const LRESULT r = next(msg, wp, lp);
      if (hwnd_ && OnMouseUp) OnMouseUp(*this, VK_LBUTTON, wp, PointOf(lp));
      return r;
    }
    // After the list has handled the click, so that a refill (opening a
    // folder) does not pull the items from under it.
    case WM_LBUTTONDBLCLK: {
      const LRESULT r = next(msg, wp, lp);
      if (hwnd_) DoubleClicked();
      return r;
    }
    default: break;
  }
  return next(msg, wp, lp);
}

}  // namespace shview
