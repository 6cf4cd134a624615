#include "shellview/comboview.h"

#include <windowsx.h>

#include <cstring>
#include <utility>

#include "base/diag.h"
#include "base/handle.h"
#include "base/com.h"
#include "shellview/folderview.h"
#include "winui/window.h"

namespace shview {
namespace {

constexpr DWORD kComboStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_HASSTRINGS |
                              CBS_AUTOHSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED;
constexpr int kIndentPerLevel = 10;
constexpr int kTextGap = 3;  // between the icon square and the text

using UniqueIcon = base::UniqueAny<HICON, &DestroyIcon>;

AbsoluteIDList SpecialFolder(HWND owner, int csidl) {
  AbsoluteIDList list;
  if (FAILED(SHGetSpecialFolderLocation(owner, csidl, list.receive()))) list.reset();
  return list;
}

// The drawing canvas: the item's device context is borrowed only while one
// entry is drawn and handed back as it came (font, colours, modes).
class Canvas {
 public:
  explicit Canvas(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  ~Canvas() {
    if (saved_) KOLBRI_LOG_IF_FALSE(RestoreDC(dc_, saved_));
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

 private:
  HDC dc_;
  int saved_;
};

}  // namespace

TComboView::TComboView() : SubclassedControl(200, 0) {}

TComboView::~TComboView() {
  UnlinkAll();  // the tree stops calling this combo box before its entries go
  Destroy();
}

winui::SubclassedControl::WindowKind TComboView::Kind() const {
  return {L"COMBOBOX", kComboStyle, 0, 0};
}

// The owner-draw measure request reaches the parent while the window is being
// created, before it is bound here: ApplyHeights sets the heights after.
void TComboView::OnCreated() {
  ApplyHeights();
  // A control placed in code has no end-of-loading step: the outline is built
  // as soon as its window exists.
  BuildList();
  ComboBox_SetCurSel(hwnd(), 0);
}

// The window goes: its entries with it.
void TComboView::OnWindowDestroying() {
  base_.clear();
  path_.clear();
  base_built_ = false;
}

LRESULT TComboView::ControlProc(UINT msg, WPARAM wp, LPARAM lp, const winui::SubclassNext& next) {
  if (msg == WM_KEYDOWN && wp == VK_RETURN && !ComboBox_GetDroppedState(hwnd())) {
    SelectionChanged();  // the entry the arrow keys reached is chosen
    return 0;
  }
  const LRESULT r = next(msg, wp, lp);
  // A new font resizes the field to the font; the entries are drawn for ItemHeight.
  if (msg == WM_SETFONT) ApplyHeights();
  return r;
}

// The window is the field plus the dropped list, which shows DropDownCount
// entries of ItemHeight.
int TComboView::WindowHeight() const { return FieldHeight() + item_height_ * drop_down_count_ + 2; }

int TComboView::FieldHeight() const {
  RECT field{};
  if (!hwnd() || !GetWindowRect(hwnd(), &field)) return item_height_ * 2;
  return field.bottom - field.top;
}

void TComboView::ApplyHeights() {
  if (!hwnd()) return;
  SendMessageW(hwnd(), CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), item_height_);
  SendMessageW(hwnd(), CB_SETITEMHEIGHT, 0, item_height_);
  // Common controls 6 size the dropped list by its visible count, not by the
  // window's height; older ones ignore the message.
  SendMessageW(hwnd(), CB_SETMINVISIBLE, static_cast<WPARAM>(drop_down_count_), 0);
  ApplyBounds();
}

void TComboView::SetItemHeight(int pixels) {
  if (pixels <= 0) return;
  item_height_ = pixels;
  ApplyHeights();
}

void TComboView::SetDropDownCount(int entries) {
  if (entries <= 0) return;
  drop_down_count_ = entries;
  ApplyHeights();
}

// ---- The outline -------------------------------------------------------------

int TComboView::Count() const { return hwnd() ? ComboBox_GetCount(hwnd()) : 0; }

const TComboData* TComboView::Entry(int index) const {
  if (!hwnd() || index < 0 || index >= Count()) return nullptr;
  return reinterpret_cast<const TComboData*>(ComboBox_GetItemData(hwnd(), index));
}

int TComboView::SelectedIndex() const { return hwnd() ? ComboBox_GetCurSel(hwnd()) : -1; }

void TComboView::ClearEntries() {
  if (hwnd()) ComboBox_ResetContent(hwnd());
  base_.clear();
  path_.clear();
}

void TComboView::BuildList() {
  if (!hwnd() || !DesktopFolder()) return;
  base_built_ = false;
  ClearEntries();

  const AbsoluteIDList desktop = SpecialFolder(hwnd(), CSIDL_DESKTOP);
  if (desktop) InsertEntry(0, 0, desktop.get());
  ComPtr<IEnumIDList> children;
  if (desktop && DesktopFolder()->EnumObjects(hwnd(), kTreeEnumFlags, children.put()) == S_OK &&
      children) {
    ChildIDList child;
    while (children->Next(1, child.receive(), nullptr) == S_OK)
      AddPath(ConcatItemIDLists(desktop.get(), child.get()).get());
  }

  const AbsoluteIDList computer = SpecialFolder(hwnd(), CSIDL_DRIVES);
  ComPtr<IShellFolder> computer_folder;
  ComPtr<IEnumIDList> drives;
  if (computer &&
      SUCCEEDED(DesktopFolder()->BindToObject(computer.get(), nullptr,
                                              KOLBRI_IID_PPV(computer_folder))) &&
      computer_folder &&
      computer_folder->EnumObjects(nullptr, kTreeEnumFlags, drives.put()) == S_OK && drives) {
    ChildIDList child;
    while (drives->Next(1, child.receive(), nullptr) == S_OK)
      AddPath(ConcatItemIDLists(computer.get(), child.get()).get());
  }
  base_built_ = true;
}

void TComboView::AddEntry(int position, int level, PCIDLIST_ABSOLUTE list) {
  InsertEntry(position, level, list);
}

bool TComboView::InsertEntry(int position, int level, PCIDLIST_ABSOLUTE list) {
  if (!hwnd() || !list) return false;
  auto record = std::make_unique<TComboData>();
  record->IDList = ConcatItemIDLists(list, nullptr);
  record->Level = level;
  record->Position = position;
  if (!record->IDList) return false;
  const int index = ComboBox_InsertString(hwnd(), position, L"");
  if (index < 0) return false;
  ComboBox_SetItemData(hwnd(), index, reinterpret_cast<LPARAM>(record.get()));
  (base_built_ ? path_ : base_).push_back(std::move(record));
  return true;
}

// Each level of list is matched with an entry of that level behind the entry of
// the level before; a missing level goes in behind the last entry of its level
// that sorts before it in the shell's order, or right behind the level before.
// Entry 0, the desktop, is never compared.
int TComboView::AddPath(PCIDLIST_ABSOLUTE list) {
  if (!hwnd() || !list) return -1;
  int level = 1, search_start = 1, insertion = 1;
  AbsoluteIDList prefix;
  for (PCUIDLIST_RELATIVE item = list->mkid.cb ? list : nullptr; item;
       item = GetNextItemID(item), ++level) {
    prefix = ConcatItemIDListsFree(std::move(prefix), CopyFirstItemID(item));
    if (!prefix) break;
    bool found = false;
    const int count = Count();
    for (int i = search_start; i < count; ++i) {
      const TComboData* entry = Entry(i);
      if (!entry || entry->Level != level) continue;
      // A failed comparison (-1) neither matches nor passes the entry.
      const int c = CompareItemIDs(DesktopFolder(), prefix.get(), entry->IDList.get());
      if (c == 0) {
        insertion = search_start = i + 1;
        found = true;
        break;
      }
      if (c > 0) insertion = i + 1;
    }
    if (!found) {
      if (!InsertEntry(insertion, level, prefix.get())) break;
      search_start = ++insertion;
    }
  }
  return insertion - 1;
}

// Path entries go in the reverse order of their insertion, so that the index
// each one recorded is still its own when its turn comes.
void TComboView::RemovePathEntries() {
  while (!path_.empty()) {
    ComboBox_DeleteString(hwnd(), path_.back()->Position);
    path_.pop_back();
  }
}

void TComboView::ShowItemIDList(PCIDLIST_ABSOLUTE list) {
  if (!list || !hwnd()) return;
  RemovePathEntries();
  const AbsoluteIDList desktop = SpecialFolder(hwnd(), CSIDL_DESKTOP);
  const bool is_desktop =
      desktop ? CompareItemIDs(DesktopFolder(), list, desktop.get()) == 0 : list->mkid.cb == 0;
  ComboBox_SetCurSel(hwnd(), is_desktop ? 0 : AddPath(list));
}

// ---- Links -------------------------------------------------------------------

// A base entry keeps its list from BuildList: a renamed desktop folder gets
// the new one, so that its name shows.
void TComboView::FolderRenamed(PCIDLIST_ABSOLUTE old_list, PCIDLIST_ABSOLUTE new_list) {
  if (!old_list || !new_list || !DesktopFolder()) return;
  for (auto* records : {&base_, &path_}) {
    for (const std::unique_ptr<TComboData>& record : *records) {
      // The old list may no longer name anything the shell can compare.
      const UINT size = ItemIDListSize(old_list);
      const bool same = ItemIDListSize(record->IDList.get()) == size &&
                        std::memcmp(record->IDList.get(), old_list, size) == 0;
      if (!same && CompareItemIDs(DesktopFolder(), record->IDList.get(), old_list) != 0) continue;
      if (AbsoluteIDList copy = ConcatItemIDLists(new_list, nullptr))
        record->IDList = std::move(copy);
    }
  }
  if (hwnd()) KOLBRI_LOG_IF_FALSE(InvalidateRect(hwnd(), nullptr, TRUE));
}

void TComboView::SetFolderView(TFolderView* tree) {
  // A tree linked so far stops calling this combo box.
  if (folder_view_ && folder_view_.get() != tree && folder_view_->LinkedComboView() == this)
    folder_view_->SetLinkedComboView(nullptr);
  folder_view_.Set(*this, tree);
  if (tree) tree->SetLinkedComboView(this);
}

void TComboView::ComponentRemoved(ShellComponent* component) {
  if (folder_view_.Is(component)) folder_view_.Clear(*this);
}

// ---- Notifications -----------------------------------------------------------

void TComboView::SelectionChanged() {
  if (on_change) on_change(*this);
  const TComboData* picked = Entry(SelectedIndex());
  if (!folder_view_ || !picked) return;
  // The tree's answer rebuilds the path entries, which may destroy the picked
  // record while the tree still walks: it gets its own copy.
  const AbsoluteIDList target = ConcatItemIDLists(picked->IDList.get(), nullptr);
  if (target) folder_view_->SelectItemIDList(target.get());
}

bool TComboView::OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  if (!hwnd()) return false;
  switch (msg) {
    case WM_COMMAND:
      if (reinterpret_cast<HWND>(lp) != hwnd()) return false;
      switch (HIWORD(wp)) {
        // A choice in the dropped list (a click, Enter). An arrow key on the
        // closed box selects too, and reports the same way on some systems:
        // it steers nothing until Enter (ControlProc).
        case CBN_SELENDOK:
          if (ComboBox_GetDroppedState(hwnd())) SelectionChanged();
          break;
        case CBN_DROPDOWN:
          if (on_drop_down) on_drop_down(*this);
          break;
        default: return false;
      }
      *result = 0;
      return true;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (item->hwndItem != hwnd()) return false;
      DrawItem(*item);
      *result = TRUE;
      return true;
    }
    case WM_MEASUREITEM:
      reinterpret_cast<MEASUREITEMSTRUCT*>(lp)->itemHeight = static_cast<UINT>(item_height_);
      *result = TRUE;
      return true;
    default: return false;
  }
}

// ---- Drawing -----------------------------------------------------------------

void TComboView::DrawItem(const DRAWITEMSTRUCT& item) {
  Canvas canvas(item.hDC);
  HFONT font = GetWindowFont(hwnd());
  SelectObject(item.hDC, font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
  if (static_cast<int>(item.itemID) < 0) {
    KOLBRI_LOG_IF_FALSE(FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_WINDOW)));
    return;
  }
  DrawEntry(item.hDC, static_cast<int>(item.itemID), item.rcItem, item.itemState);
}

// An entry of the dropped list is indented by level; the selection field
// (ODS_COMBOBOXEDIT) shows the entry flush at its left edge + 1.
void TComboView::DrawEntry(HDC dc, int index, const RECT& rect, UINT state) {
  const bool in_list = !(state & ODS_COMBOBOXEDIT);
  if (in_list && !ComboBox_GetDroppedState(hwnd())) return;
  const TComboData* record = Entry(index);
  if (!record) return;
  const int x = in_list ? record->Level * kIndentPerLevel : rect.left + 1;

  UINT flags = SHGFI_ICON | SHGFI_SMALLICON;
  COLORREF back = GetSysColor(COLOR_WINDOW), fore = GetSysColor(COLOR_WINDOWTEXT);
  if (state & ODS_SELECTED) {
    flags |= SHGFI_OPENICON;
    if (in_list) {
      back = GetSysColor(COLOR_HIGHLIGHT);
      fore = GetSysColor(COLOR_HIGHLIGHTTEXT);
      flags |= SHGFI_SELECTED;
    }
  }
  flags |= SHGFI_PIDL;
  SHFILEINFOW info{};
  SHGetFileInfoW(reinterpret_cast<LPCWSTR>(record->IDList.get()), 0, &info, sizeof info, flags);
  const UniqueIcon icon(info.hIcon);

  // The parent of the desktop and of its children is the desktop itself.
  ComPtr<IShellFolder> parent;
  if (const AbsoluteIDList parent_list = CopyParentItemIDList(record->IDList.get())) {
    KOLBRI_LOG_IF_FAILED(
        DesktopFolder()->BindToObject(parent_list.get(), nullptr, KOLBRI_IID_PPV(parent)));
  }
  IShellFolder* folder = parent ? parent.get() : DesktopFolder();
  std::wstring text;
  if (const ChildIDList last = CopyLastItemID(record->IDList.get()))
    GetItemDisplayNameW(folder, last.get(), SHGDN_INFOLDER, text);

  // The whole row is cleared first, so that a shorter name or a moved highlight
  // leaves nothing of the previous drawing behind.
  const base::UniqueBrush background(CreateSolidBrush(back));
  KOLBRI_LOG_IF_FALSE(FillRect(dc, &rect, background.get()));

  const int size = item_height_;
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, back);
  SetTextColor(dc, fore);
  KOLBRI_LOG_IF_FALSE(ExtTextOutW(dc, x + size + kTextGap, rect.top, 0, nullptr, text.c_str(),
                                  static_cast<UINT>(text.size()), nullptr));

  // The icon is drawn at the large size into a white picture and stretched
  // into the square; COLORONCOLOR keeps a small icon's own pixels.
  const int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
  const base::UniqueDC picture(CreateCompatibleDC(dc));
  const base::UniqueBitmap bitmap(CreateCompatibleBitmap(dc, cx, cy));
  if (!picture || !bitmap) return;
  const base::SelectedObject selected(picture.get(), bitmap.get());
  PatBlt(picture.get(), 0, 0, cx, cy, WHITENESS);
  if (icon) DrawIcon(picture.get(), 0, 0, icon.get());
  SetStretchBltMode(dc, COLORONCOLOR);
  KOLBRI_LOG_IF_FALSE(
      StretchBlt(dc, x, rect.top, size, size, picture.get(), 0, 0, cx, cy, SRCCOPY));
}

}  // namespace shview
