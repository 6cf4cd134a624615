#pragma once
// Unit ShView, shared part: the process-wide shell allocator and desktop folder,
// and the operations on item-identifier lists that the shell view controls use.
//
// Ownership: every list an operation here returns is a new block from
// ShellMalloc that the caller frees with ShellFree (ItemIDListPtr does that for a
// scope). Lists the shell hands out come from the same allocator. No operation
// frees a list it is given, except ConcatItemIDListsFree.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <commctrl.h>

#include <string>

namespace shview {

// Set once by ShellState (after OLE is up, before any form) and released once
// after the last control is gone. Every control and operation uses these two.
extern IMalloc* ShellMalloc;
extern IShellFolder* DesktopFolder;

// Program entry owns one of these: construct after OleInitialize and before any
// form is created; destroy after every shell control is destroyed and before
// OleUninitialize. A second instance while one is alive neither obtains nor
// releases anything.
class ShellState {
 public:
  ShellState();
  ~ShellState();
  ShellState(const ShellState&) = delete;
  ShellState& operator=(const ShellState&) = delete;
  // Both references are there: the controls can work.
  bool ok() const { return ShellMalloc && DesktopFolder; }

 private:
  bool owner_ = false;
};

// Shell constants the controls pass (Windows values).
inline constexpr DWORD kTreeEnumFlags = SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN;  // 0x00A0
inline constexpr UINT kSmallIconFlags = SHGFI_SYSICONINDEX | SHGFI_SMALLICON;     // 0x4001
inline constexpr UINT kSmallOpenIconFlags = kSmallIconFlags | SHGFI_OPENICON;     // 0x4003
inline constexpr UINT kLargeIconFlags = SHGFI_SYSICONINDEX;                       // 0x4000
// Image-list index used when SHGetFileInfoA gives none.
inline constexpr int kFallbackIconIndex = 0;

// Memory. ShellAlloc zero-fills the block.
void* ShellAlloc(ULONG bytes);
void ShellFree(void* block);

// Walking and measuring.
LPCITEMIDLIST NextItemID(LPCITEMIDLIST item);     // item + cb, no terminator test
LPCITEMIDLIST GetNextItemID(LPCITEMIDLIST item);  // none at or before the terminator
UINT ItemIDListSize(LPCITEMIDLIST list);          // 0 for none, 2 for an empty list

// Building new lists (owned by the caller; none when allocation fails).
LPITEMIDLIST CopyFirstItemID(LPCITEMIDLIST list);
LPITEMIDLIST ConcatItemIDLists(LPCITEMIDLIST first, LPCITEMIDLIST second);
LPITEMIDLIST ConcatItemIDListsFree(LPITEMIDLIST first, LPITEMIDLIST second);
LPITEMIDLIST CopyParentItemIDList(LPCITEMIDLIST list);
LPITEMIDLIST CopyLastItemID(LPCITEMIDLIST list);

// Display name of a list relative to folder (absolute when folder is
// DesktopFolder), in the system's ANSI code page. The name is emptied first; false
// when the folder refuses or answers with an unknown STRRET kind.
bool GetItemDisplayName(IShellFolder* folder, LPCITEMIDLIST list, DWORD flags, std::string& name);
// The same name as UTF-16, without the detour through the ANSI code page: what
// the tree shows. Same failure rules.
bool GetItemDisplayNameW(IShellFolder* folder, LPCITEMIDLIST list, DWORD flags, std::wstring& name);

// CompareIDs by name: negative, 0 (same object) or positive; -1 when the call fails.
int CompareItemIDs(IShellFolder* folder, LPCITEMIDLIST a, LPCITEMIDLIST b);

// Index in the system image list of the size the flags ask for (SHGFI_PIDL is
// added); kFallbackIconIndex when the shell gives no index.
int GetItemIconIndex(LPCITEMIDLIST absolute, UINT flags);

// The process's system image list (small or large), obtained through the current
// directory. It belongs to the system: never destroy it.
HIMAGELIST SystemImageList(bool small);

// Owns one list for a scope and frees it with ShellFree. Taking a list over is
// explicit (constructor or reset); release() hands it on, e.g. to a tree node.
class ItemIDListPtr {
 public:
  ItemIDListPtr() = default;
  explicit ItemIDListPtr(LPITEMIDLIST take) : p_(take) {}
  ~ItemIDListPtr() { ShellFree(p_); }
  ItemIDListPtr(ItemIDListPtr&& o) noexcept : p_(o.release()) {}
  ItemIDListPtr& operator=(ItemIDListPtr&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  ItemIDListPtr(const ItemIDListPtr&) = delete;
  ItemIDListPtr& operator=(const ItemIDListPtr&) = delete;

  LPITEMIDLIST get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  LPITEMIDLIST release() {
    LPITEMIDLIST p = p_;
    p_ = nullptr;
    return p;
  }
  void reset(LPITEMIDLIST take = nullptr) {
    if (take != p_) ShellFree(p_);
    p_ = take;
  }
  // For out-parameters of shell calls: frees the current list first.
  LPITEMIDLIST* receive() {
    reset();
    return &p_;
  }

 private:
  LPITEMIDLIST p_ = nullptr;
};

}  // namespace shview
