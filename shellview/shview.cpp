#include "shellview/shview.h"

#include <cstring>
#include <utility>

#if !defined(_WIN64)
static_assert(sizeof(SHFILEINFOA) == 352, "SHFILEINFOA is 352 bytes");
#endif

#include "base/diag.h"
#include "base/text.h"

namespace shview {

namespace {
// The owning ShellState's references; a test may put another desktop in place.
IMalloc* g_malloc = nullptr;
IShellFolder* g_desktop = nullptr;
}  // namespace

IMalloc* ShellMalloc() { return g_malloc; }
IShellFolder* DesktopFolder() { return g_desktop; }

IShellFolder* ReplaceDesktopFolder(IShellFolder* folder) {
  return std::exchange(g_desktop, folder);
}

ShellState::ShellState() {
  if (g_malloc || g_desktop) return;  // another instance owns the state
  owner_ = true;
  if (FAILED(SHGetMalloc(malloc_.put()))) return;
  KOLBRI_LOG_IF_FAILED(SHGetDesktopFolder(desktop_.put()));
  g_malloc = malloc_.get();
  g_desktop = desktop_.get();
}

// The members release both references after the controls stop seeing them.
ShellState::~ShellState() {
  if (!owner_) return;
  g_malloc = nullptr;
  g_desktop = nullptr;
}

bool DesktopReference(IShellFolder** out) {
  *out = nullptr;
  return DesktopFolder() && ShellMalloc() &&
         SUCCEEDED(KOLBRI_LOG_IF_FAILED(DesktopFolder()->QueryInterface(out))) && *out;
}

void* ShellAlloc(ULONG bytes) {
  if (!ShellMalloc()) return nullptr;
  void* p = ShellMalloc()->Alloc(bytes);
  if (p) std::memset(p, 0, bytes);
  return p;
}

void ShellFree(void* block) {
  if (block && ShellMalloc()) ShellMalloc()->Free(block);
}

PCUIDLIST_RELATIVE NextItemID(PCUIDLIST_RELATIVE item) {
  return reinterpret_cast<PCUIDLIST_RELATIVE>(reinterpret_cast<const BYTE*>(item) + item->mkid.cb);
}

PCUIDLIST_RELATIVE GetNextItemID(PCUIDLIST_RELATIVE item) {
  if (item->mkid.cb == 0) return nullptr;
  PCUIDLIST_RELATIVE next = NextItemID(item);
  return next->mkid.cb == 0 ? nullptr : next;
}

UINT ItemIDListSize(PCUIDLIST_RELATIVE list) {
  if (!list) return 0;
  UINT size = 2;
  for (PCUIDLIST_RELATIVE p = list; p->mkid.cb != 0; p = NextItemID(p)) size += p->mkid.cb;
  return size;
}

ChildIDList CopyFirstItemID(PCUIDLIST_RELATIVE list) {
  if (!list) return {};
  const UINT cb = list->mkid.cb;
  auto* copy = static_cast<BYTE*>(ShellAlloc(cb + 2));
  if (!copy) return {};
  std::memcpy(copy, list, cb);  // the zero-filled tail is the terminator
  return ChildIDList(reinterpret_cast<PITEMID_CHILD>(copy));
}

AbsoluteIDList ConcatItemIDLists(PCIDLIST_ABSOLUTE first, PCUIDLIST_RELATIVE second) {
  const UINT a = first ? ItemIDListSize(first) - 2 : 0;
  const UINT b = ItemIDListSize(second);
  auto* out = static_cast<BYTE*>(ShellAlloc(a + b + 2));
  if (!out) return {};
  if (a) std::memcpy(out, first, a);
  if (b) std::memcpy(out + a, second, b);
  // Bytes a+b and a+b+1 are zero from ShellAlloc: the terminator when second is none.
  return AbsoluteIDList(reinterpret_cast<PIDLIST_ABSOLUTE>(out));
}

AbsoluteIDList ConcatItemIDListsFree(AbsoluteIDList first, ChildIDList second) {
  return ConcatItemIDLists(first.get(), second.get());
}

AbsoluteIDList CopyParentItemIDList(PCIDLIST_ABSOLUTE list) {
  AbsoluteIDList result;
  if (!list) return result;
  for (PCUIDLIST_RELATIVE item = list; item;) {
    PCUIDLIST_RELATIVE next = GetNextItemID(item);
    if (!next) break;
    // A failed allocation part-way gives none, never a shorter list.
    ChildIDList one = CopyFirstItemID(item);
    if (!one) return {};
    result = ConcatItemIDListsFree(std::move(result), std::move(one));
    if (!result) return {};
    item = next;
  }
  return result;
}

ChildIDList CopyLastItemID(PCUIDLIST_RELATIVE list) {
  if (!list) return {};
  PCUIDLIST_RELATIVE last = list;
  while (PCUIDLIST_RELATIVE next = GetNextItemID(last)) last = next;
  return CopyFirstItemID(last);
}

namespace {

// Asks the folder and hands back the STRRET; false unless S_OK.
// The desktop names absolute lists of any depth through the same call, hence
// a relative list here.
bool DisplayNameOf(IShellFolder* folder, PCUIDLIST_RELATIVE list, DWORD flags, STRRET& sr) {
  if (!folder || !list) return false;
  std::memset(&sr, 0, sizeof sr);
  return folder->GetDisplayNameOf(static_cast<PCUITEMID_CHILD>(list), flags, &sr) == S_OK;
}

std::string AnsiOf(const STRRET& sr, PCUIDLIST_RELATIVE list) {
  if (sr.uType == STRRET_OFFSET)
    return std::string(reinterpret_cast<const char*>(list) + sr.uOffset);
  return std::string(sr.cStr, strnlen(sr.cStr, sizeof sr.cStr));
}

}  // namespace

bool GetItemDisplayName(IShellFolder* folder, PCUIDLIST_RELATIVE list, DWORD flags,
                        std::string& name) {
  name.clear();
  STRRET sr;
  if (!DisplayNameOf(folder, list, flags, sr)) return false;
  switch (sr.uType) {
    case STRRET_WSTR:
      if (const base::UniqueCoTaskMem<wchar_t> text(sr.pOleStr); text)
        name = base::ToAcp(text.get());
      return true;
    case STRRET_OFFSET:
    case STRRET_CSTR: name = AnsiOf(sr, list); return true;
    default: return false;
  }
}

bool GetItemDisplayNameW(IShellFolder* folder, PCUIDLIST_RELATIVE list, DWORD flags,
                         std::wstring& name) {
  name.clear();
  STRRET sr;
  if (!DisplayNameOf(folder, list, flags, sr)) return false;
  switch (sr.uType) {
    case STRRET_WSTR:
      if (const base::UniqueCoTaskMem<wchar_t> text(sr.pOleStr); text) name = text.get();
      return true;
    case STRRET_OFFSET:
    case STRRET_CSTR: name = base::FromAcp(AnsiOf(sr, list)); return true;
    default: return false;
  }
}

std::optional<std::wstring> EditedLabel(const void* text, bool wide) {
  if (!text) return std::nullopt;
  return wide ? std::wstring(static_cast<const wchar_t*>(text))
              : base::FromAcp(static_cast<const char*>(text));
}

int CompareItemIDs(IShellFolder* folder, PCUIDLIST_RELATIVE a, PCUIDLIST_RELATIVE b) {
  if (!folder) return -1;
  const HRESULT hr = folder->CompareIDs(0, a, b);
  if (FAILED(hr)) return -1;
  return static_cast<short>(static_cast<WORD>(hr & 0xFFFF));
}

HRESULT RenameChild(IShellFolder* folder, HWND owner, PCUITEMID_CHILD item, std::wstring name,
                    ChildIDList& renamed) {
  renamed.reset();
  if (name.size() > MAX_PATH) name.resize(MAX_PATH);
  const HRESULT hr =
      folder->SetNameOf(owner, item, name.c_str(), SHGDN_INFOLDER, renamed.receive());
  if (SUCCEEDED(hr) && !renamed) {
    ULONG eaten = 0;
    // Parsed by the folder, the name is relative to it: one item for a child.
    auto* out = reinterpret_cast<PIDLIST_RELATIVE*>(renamed.receive());
    if (FAILED(folder->ParseDisplayName(owner, nullptr, name.data(), &eaten, out, nullptr)) ||
        (renamed && GetNextItemID(renamed.get())))
      renamed.reset();
  }
  return hr;
}

LabelRename RenameLabel(IShellFolder* folder, HWND owner, PCUITEMID_CHILD item,
                        const std::wstring& typed) {
  LabelRename out;
  out.result = RenameChild(folder, owner, item, typed, out.renamed);
  if (FAILED(out.result)) out.renamed.reset();
  GetItemDisplayNameW(folder, out.renamed ? out.renamed.get() : item, SHGDN_NORMAL, out.shown);
  return out;
}

int GetItemIconIndex(PCIDLIST_ABSOLUTE absolute, UINT flags) {
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
