#include <cstring>

#include "shellcom/drpcomex.h"
#include "shellcom/itemsplit.h"
#include "base/com.h"
#include "base/handle.h"

namespace shcom {
namespace {

using base::ComPtr;
using shview::AbsoluteIDList;
using shview::ChildIDList;

constexpr UINT kSkippedStates = MF_GRAYED | MF_DISABLED | MF_SEPARATOR;  // 0x803
constexpr SFGAOF kAttributeQuery = 0x800F0177;

bool Skipped(HMENU menu, int pos) {
  const UINT state = GetMenuState(menu, pos, MF_BYPOSITION);
  return state == static_cast<UINT>(-1) || (state & kSkippedStates);
}

bool FillShellMenu(IContextMenu* cm, base::UniqueMenu& menu) {
  menu.reset(CreatePopupMenu());
  return menu &&
         SUCCEEDED(cm->QueryContextMenu(menu.get(), 0, kFirstShellId, kLastShellId, CMF_EXPLORE));
}

void ShowFailedCommand(HWND owner) {
  HWND top = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
  MessageBoxW(top, kFailedText, kFailedCaption, MB_OK | MB_ICONINFORMATION);
}

// Carries out a shell menu identifier; a refusal is the unit's one message.
bool Invoke(HWND owner, IContextMenu* cm, UINT id) {
  CMINVOKECOMMANDINFO info{};
  info.cbSize = sizeof info;
  info.hwnd = owner;
  info.lpVerb = MAKEINTRESOURCEA(id - kFirstShellId);
  info.nShow = SW_SHOWNORMAL;
  if (SUCCEEDED(cm->InvokeCommand(&info))) return true;
  ShowFailedCommand(owner);
  return false;
}

// The paste entry: by its Japanese caption mark, or else by its verb, which
// every shell language shares. 0 when the menu has none.
UINT FindPasteCommand(IContextMenu* cm, HMENU menu) {
  const int pos = FindMenuItemByMark(menu, kPasteMark, kPasteMarkByte);
  if (pos > 0) {
    const UINT id = GetMenuItemID(menu, pos - 1);
    return id == static_cast<UINT>(-1) ? 0 : id;
  }
  const int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; ++i) {
    if (Skipped(menu, i)) continue;
    const UINT id = GetMenuItemID(menu, i);
    if (id < kFirstShellId || id > kLastShellId) continue;
    char verb[64] = {};
    if (SUCCEEDED(
            cm->GetCommandString(id - kFirstShellId, GCS_VERBA, nullptr, verb, sizeof verb)) &&
        lstrcmpiA(verb, "paste") == 0)
      return id;
  }
  return 0;
}

// The user's Send To folder and its non-folder entries.
bool EnumSendTo(HWND owner, IShellFolder* desktop, ComPtr<IShellFolder>& folder,
                ComPtr<IEnumIDList>& entries) {
  AbsoluteIDList location;
  if (FAILED(SHGetSpecialFolderLocation(owner, CSIDL_SENDTO, location.receive())) || !location)
    return false;
  return SUCCEEDED(desktop->BindToObject(location.get(), nullptr, IID_IShellFolder,
                                         folder.receive_void())) &&
         folder && SUCCEEDED(folder->EnumObjects(owner, SHCONTF_NONFOLDERS, entries.receive())) &&
         entries;
}

}  // namespace

int FindMenuItemByMark(HMENU menu, const char* mark, int position) {
  const int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; ++i) {
    if (Skipped(menu, i)) continue;
    char caption[256];
    int len = GetMenuStringA(menu, i, caption, sizeof caption, MF_BYPOSITION);
    if (len < 0) len = 0;
    caption[len] = '\0';
    // A mark starts with '(', which is never a trail byte, so a byte search
    // cannot match inside a double-byte character.
    const char* hit = std::strstr(caption, mark);
    if (hit && hit - caption + 1 == position) return i + 1;
  }
  return -1;
}

bool TContextMenuEx::PopupShellMenu(HWND owner, IShellFolder* folder, POINT screen, int count,
                                    PCUIDLIST_RELATIVE items) {
  if (!owner || !folder || !items || count < 1 || count > kMaxItems) return false;
  ComPtr<IShellFolder> desktop;
  if (!DesktopReference(desktop.receive())) return false;
  ItemSplit split;
  if (!split.Take(items, count)) return false;
  ComPtr<IContextMenu> cm;
  if (FAILED(folder->GetUIObjectOf(owner, split.count(), split.data(), IID_IContextMenu, nullptr,
                                   cm.receive_void())) ||
      !cm)
    return false;
  base::UniqueMenu menu;
  if (!FillShellMenu(cm.get(), menu)) return false;
  const bool send_to = FillSendToMenu(owner, menu.get(), desktop.get());

  UINT id = static_cast<UINT>(TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, screen.x,
                                             screen.y, 0, owner, nullptr));
  int entry = -1;
  if (send_to && id >= kSendToFirstId && id < kSendToFirstId + kMaxSendTo) {
    entry = static_cast<int>(id - kSendToFirstId);
    id = kItemCommands[kCopy].id;
  }
  if (id < kFirstShellId || id > kLastShellId) return false;  // nothing chosen
  bool result = Invoke(owner, cm.get(), id);
  if (result && entry >= 0) result = SendToTarget(owner, desktop.get(), entry);
  return result;
}

bool TContextMenuEx::FillSendToMenu(HWND owner, HMENU menu, IShellFolder* desktop) {
  int pos = FindMenuItemByMark(menu, kSendToMark, kSendToMarkByte);
  if (pos < 0) pos = FindMenuItemByMark(menu, kSendToMarkAlt, kSendToMarkByte);
  HMENU sub = pos > 0 ? GetSubMenu(menu, pos - 1) : nullptr;
  if (!sub || !desktop) return false;
  AbsoluteIDList location;
  if (FAILED(SHGetSpecialFolderLocation(owner, CSIDL_SENDTO, location.receive())) || !location)
    return false;
  const int before = GetMenuItemCount(sub);
  ComPtr<IShellFolder> folder;
  ComPtr<IEnumIDList> entries;
  if (EnumSendTo(owner, desktop, folder, entries)) {
    for (int i = 0; i < kMaxSendTo; ++i) {
      ChildIDList entry;
      if (entries->Next(1, entry.receive(), nullptr) != S_OK || !entry) break;
      std::wstring name;
      shview::GetItemDisplayNameW(folder.get(), entry.get(), SHGDN_NORMAL, name);
      AppendMenuW(sub, MF_STRING, kSendToFirstId + i, name.c_str());
    }
  }
  // The shell's placeholder stands before the entries; an empty submenu had none.
  if (before > 0) DeleteMenu(sub, 0, MF_BYPOSITION);
  return true;
}

bool TContextMenuEx::SendToTarget(HWND owner, IShellFolder* desktop, int index) {
  ComPtr<IShellFolder> folder;
  ComPtr<IEnumIDList> entries;
  if (!desktop || !EnumSendTo(owner, desktop, folder, entries)) return false;
  for (int i = 0; i < kMaxSendTo; ++i) {
    ChildIDList entry;
    if (entries->Next(1, entry.receive(), nullptr) != S_OK || !entry) break;
    if (i == index) return RunItemCommand(owner, folder.get(), kPaste, POINT{}, entry.get());
  }
  return false;
}

bool TContextMenuEx::RunItemCommand(HWND owner, IShellFolder* folder, int code, POINT,
                                    PCUITEMID_CHILD item) {
  if (!owner || !folder || !item || code < kCreateShortcut || code > kPaste) return false;
  PCUITEMID_CHILD one[1] = {item};
  SFGAOF attributes = kAttributeQuery;
  if (folder->GetAttributesOf(1, one, &attributes) != S_OK) return false;
  const ItemCommandRow& row = kItemCommands[code];
  if (code != kPaste && !(attributes & row.required)) return false;
  ComPtr<IContextMenu> cm;
  if (FAILED(folder->GetUIObjectOf(owner, 1, one, IID_IContextMenu, nullptr, cm.receive_void())) ||
      !cm)
    return false;
  base::UniqueMenu menu;
  if (!FillShellMenu(cm.get(), menu)) return false;
  UINT id = row.id;
  if (code == kPaste && (id = FindPasteCommand(cm.get(), menu.get())) == 0) return false;
  return Invoke(owner, cm.get(), id);
}

}  // namespace shcom
