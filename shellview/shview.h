#pragma once
// Unit ShView, shared part: the process-wide shell allocator and desktop folder,
// and the operations on item-identifier lists that the shell view controls use.
//
// Ownership: every list an operation here returns is a new block from
// ShellMalloc(), handed back in an owner (AbsoluteIDList, ChildIDList). Lists the
// shell hands out come from the same allocator. No operation frees a list it is
// given, except ConcatItemIDListsFree, which takes its owners.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <commctrl.h>

#include <optional>
#include <string>

#include "base/com.h"
#include "base/handle.h"

// MinGW's shlobj.h gives IExtractIconW no id for __uuidof (base/com.h).
__CRT_UUID_DECL(IExtractIconW, 0x000214fa, 0x0000, 0x0000, 0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                0x46)

namespace shview {

using base::ComPtr;

// The references of the ShellState that owns them (after OLE is up, before any
// form, until the last control is gone). Every control and operation uses these two.
IMalloc* ShellMalloc();
IShellFolder* DesktopFolder();
// For tests: puts another folder in the desktop's place; returns the one
// that was there.
IShellFolder* ReplaceDesktopFolder(IShellFolder* folder);

// A new reference to DesktopFolder(), which the caller releases; false without
// the shell state.
bool DesktopReference(IShellFolder** out);

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
  bool ok() const { return ShellMalloc() && DesktopFolder(); }

 private:
  bool owner_ = false;
  ComPtr<IMalloc> malloc_;
  ComPtr<IShellFolder> desktop_;
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

// Owners of lists from ShellMalloc(), by kind: absolute (from the desktop) and
// child (one item relative to its parent folder). Taking a list over is
// explicit (constructor, reset, receive() for out-parameters); release()
// hands it on, e.g. to a tree node.
using AbsoluteIDList = base::UniqueAny<PIDLIST_ABSOLUTE, &ShellFree>;
using ChildIDList = base::UniqueAny<PITEMID_CHILD, &ShellFree>;
// Several children back to back, as the views hand a selection to a component.
using RelativeIDList = base::UniqueAny<PIDLIST_RELATIVE, &ShellFree>;

// Walking and measuring.
PCUIDLIST_RELATIVE NextItemID(PCUIDLIST_RELATIVE item);     // item + cb, no terminator test
PCUIDLIST_RELATIVE GetNextItemID(PCUIDLIST_RELATIVE item);  // none at or before the terminator
UINT ItemIDListSize(PCUIDLIST_RELATIVE list);               // 0 for none, 2 for an empty list

// Building new lists (none when allocation fails).
ChildIDList CopyFirstItemID(PCUIDLIST_RELATIVE list);
// first may be none: then a copy of second.
AbsoluteIDList ConcatItemIDLists(PCIDLIST_ABSOLUTE first, PCUIDLIST_RELATIVE second);
// Takes both lists over and frees them.
AbsoluteIDList ConcatItemIDListsFree(AbsoluteIDList first, ChildIDList second);
// None for a list of fewer than two items.
AbsoluteIDList CopyParentItemIDList(PCIDLIST_ABSOLUTE list);
ChildIDList CopyLastItemID(PCUIDLIST_RELATIVE list);

// Display name of a list relative to folder (absolute when folder is
// DesktopFolder()), in the system's ANSI code page. The name is emptied first; false
// when the folder refuses or answers with an unknown STRRET kind.
bool GetItemDisplayName(IShellFolder* folder, PCUIDLIST_RELATIVE list, DWORD flags,
                        std::string& name);
// The same name as UTF-16, without the detour through the ANSI code page: what
// the tree shows. Same failure rules.
bool GetItemDisplayNameW(IShellFolder* folder, PCUIDLIST_RELATIVE list, DWORD flags,
                         std::wstring& name);

// Renames a child of folder to name (cut to 260 characters) with SetNameOf
// (SHGDN_INFOLDER). renamed receives the child's new one-item list; when the
// shell accepts without handing one back, the folder parses the new name.
// The result is SetNameOf's.
HRESULT RenameChild(IShellFolder* folder, HWND owner, PCUITEMID_CHILD item, std::wstring name,
                    ChildIDList& renamed);

// What an ended label edit asks of the shell, the same for tree and list:
// the typed text goes to RenameChild; shown is the name the label shows
// afterwards (SHGDN_NORMAL: the new one, or the old one when the shell
// refused, renamed then none). SetNameOf may run messages (a shell dialog), so
// the caller holds nothing of its item across the call but copies.
struct LabelRename {
  HRESULT result = E_FAIL;
  ChildIDList renamed;
  std::wstring shown;
};
LabelRename RenameLabel(IShellFolder* folder, HWND owner, PCUITEMID_CHILD item,
                        const std::wstring& typed);

// The text a label edit ended with, from a wide or an ANSI notification (a
// tree or list sends either); none for a cancelled edit.
std::optional<std::wstring> EditedLabel(const void* text, bool wide);

// CompareIDs by name: negative, 0 (same object) or positive; -1 when the call fails.
int CompareItemIDs(IShellFolder* folder, PCUIDLIST_RELATIVE a, PCUIDLIST_RELATIVE b);

// Index in the system image list of the size the flags ask for (SHGFI_PIDL is
// added); kFallbackIconIndex when the shell gives no index.
int GetItemIconIndex(PCIDLIST_ABSOLUTE absolute, UINT flags);

// The process's system image list (small or large), obtained through the current
// directory. It belongs to the system: never destroy it.
HIMAGELIST SystemImageList(bool small);

}  // namespace shview
