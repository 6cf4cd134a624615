#include "shellview/shview.h"

#include <cstring>

#if !defined(_WIN64)
static_assert(sizeof(SHFILEINFOA) == 352, "SHFILEINFOA is 352 bytes");
#endif

#include "base/text.h"

namespace shview {

IMalloc* ShellMalloc = nullptr;
IShellFolder* DesktopFolder = nullptr;

ShellState::ShellState() {
  if (ShellMalloc || DesktopFolder) return;  // another instance owns the state
  owner_ = true;
  if (SUCCEEDED(SHGetMalloc(&ShellMalloc))) {
    SHGetDesktopFolder(&DesktopFolder);
  } else {
    ShellMalloc = nullptr;
  }
}

ShellState::~ShellState() {
  if (!owner_) return;
  if (ShellMalloc) ShellMalloc->Release();
  ShellMalloc = nullptr;
  if (DesktopFolder) DesktopFolder->Release();
  DesktopFolder = nullptr;
}

void* ShellAlloc(ULONG bytes) {
  if (!ShellMalloc) return nullptr;
  void* p = ShellMalloc->Alloc(bytes);
  if (p) std::memset(p, 0, bytes);
  return p;
}

void ShellFree(void* block) {
  if (block && ShellMalloc) ShellMalloc->Free(block);
}

LPCITEMIDLIST NextItemID(LPCITEMIDLIST item) {
  return reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const BYTE*>(item) + item->mkid.cb);
}

LPCITEMIDLIST GetNextItemID(LPCITEMIDLIST item) {
  if (item->mkid.cb == 0) return nullptr;
  LPCITEMIDLIST next = NextItemID(item);
  return next->mkid.cb == 0 ? nullptr : next;
}

UINT ItemIDListSize(LPCITEMIDLIST list) {
  if (!list) return 0;
  UINT size = 2;
  for (LPCITEMIDLIST p = list; p->mkid.cb != 0; p = NextItemID(p)) size += p->mkid.cb;
  return size;
}

LPITEMIDLIST CopyFirstItemID(LPCITEMIDLIST list) {
  if (!list) return nullptr;
  const UINT cb = list->mkid.cb;
  auto* copy = static_cast<BYTE*>(ShellAlloc(cb + 2));
  if (!copy) return nullptr;
  std::memcpy(copy, list, cb);  // the zero-filled tail is the terminator
  return reinterpret_cast<LPITEMIDLIST>(copy);
}

LPITEMIDLIST ConcatItemIDLists(LPCITEMIDLIST first, LPCITEMIDLIST second) {
  const UINT a = first ? ItemIDListSize(first) - 2 : 0;
  const UINT b = ItemIDListSize(second);
  auto* out = static_cast<BYTE*>(ShellAlloc(a + b + 2));
  if (!out) return nullptr;
  if (a) std::memcpy(out, first, a);
  if (b) std::memcpy(out + a, second, b);
  // Bytes a+b and a+b+1 are zero from ShellAlloc: the terminator when second is none.
  return reinterpret_cast<LPITEMIDLIST>(out);
}

LPITEMIDLIST ConcatItemIDListsFree(LPITEMIDLIST first, LPITEMIDLIST second) {
  LPITEMIDLIST out = ConcatItemIDLists(first, second);
  ShellFree(first);
  ShellFree(second);
  return out;
}

LPITEMIDLIST CopyParentItemIDList(LPCITEMIDLIST list) {
  if (!list) return nullptr;
  LPITEMIDLIST result = nullptr;
  for (LPCITEMIDLIST item = list; item;) {
    LPCITEMIDLIST next = GetNextItemID(item);
    if (!next) break;
    // A failed allocation part-way gives none, never a shorter list.
    LPITEMIDLIST one = CopyFirstItemID(item);
    if (!one) {
      ShellFree(result);
      return nullptr;
    }
    result = ConcatItemIDListsFree(result, one);
    if (!result) return nullptr;
    item = next;
  }
  return result;
}

LPITEMIDLIST CopyLastItemID(LPCITEMIDLIST list) {
  if (!list) return nullptr;
  LPCITEMIDLIST last = list;
  while (LPCITEMIDLIST next = GetNextItemID(last)) last = next;
  return ConcatItemIDLists(nullptr, last);
}

namespace {

// Asks the folder and hands back the STRRET; false unless S_OK.
bool DisplayNameOf(IShellFolder* folder, LPCITEMIDLIST list, DWORD flags, STRRET& sr) {
  if (!folder || !list) return false;
  std::memset(&sr, 0, sizeof sr);
  return folder->GetDisplayNameOf(list, flags, &sr) == S_OK;
}

std::string AnsiOf(const STRRET& sr, LPCITEMIDLIST list) {
  if (sr.uType == STRRET_OFFSET)
    return std::string(reinterpret_cast<const char*>(list) + sr.uOffset);
  return std::string(sr.cStr, strnlen(sr.cStr, sizeof sr.cStr));
}

}  // namespace

bool GetItemDisplayName(IShellFolder* folder, LPCITEMIDLIST list, DWORD flags, std::string& name) {
  name.clear();
  STRRET sr;
  if (!DisplayNameOf(folder, list, flags, sr)) return false;
  switch (sr.uType) {
    case STRRET_WSTR:
      if (sr.pOleStr) name = base::ToAcp(sr.pOleStr);
      CoTaskMemFree(sr.pOleStr);
      return true;
    case STRRET_OFFSET:
    case STRRET_CSTR:
      name = AnsiOf(sr, list);
      return true;
    default:
      return false;
  }
}

bool GetItemDisplayNameW(IShellFolder* folder, LPCITEMIDLIST list, DWORD flags, std::wstring& name) {
  name.clear();
  STRRET sr;
  if (!DisplayNameOf(folder, list, flags, sr)) return false;
  switch (sr.uType) {
    case STRRET_WSTR:
      if (sr.pOleStr) name = sr.pOleStr;
      CoTaskMemFree(sr.pOleStr);
      return true;
    case STRRET_OFFSET:
    case STRRET_CSTR:
      name = base::FromAcp(AnsiOf(sr, list));
      return true;
    default:
      return false;
  }
}

int CompareItemIDs(IShellFolder* folder, LPCITEMIDLIST a, LPCITEMIDLIST b) {
  if (!folder) return -1;
  const HRESULT hr = folder->CompareIDs(0, a, b);
  if (FAILED(hr)) return -1;
  return static_cast<short>(static_cast<WORD>(hr & 0xFFFF));
}

int GetItemIconIndex(LPCITEMIDLIST absolute, UINT flags) {
  SHFILEINFOA fi;
  std::memset(&fi, 0, sizeof fi);
  if (!SHGetFileInfoA(reinterpret_cast<LPCSTR>(absolute), 0, &fi, sizeof fi, flags | SHGFI_PIDL))
    return kFallbackIconIndex;
  return fi.iIcon;
}

HIMAGELIST SystemImageList(bool small) {
  char dir[MAX_PATH + 1] = {};
  GetCurrentDirectoryA(sizeof dir, dir);
  SHFILEINFOA fi;
  std::memset(&fi, 0, sizeof fi);
  return reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoA(dir, 0, &fi, sizeof fi, small ? kSmallIconFlags : kLargeIconFlags));
}

}  // namespace shview
