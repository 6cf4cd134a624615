#include <cstring>

#include "shellcom/drpcomex.h"
#include "shellcom/itemsplit.h"
#include "base/com.h"
#include "base/diag.h"
#include "base/handle.h"
#include "winui/binding.h"

namespace shcom {
namespace {

using base::ComPtr;
using shview::AbsoluteIDList;
using shview::ChildIDList;

// What RunItemCommand asks of an item: every capability and the attributes
// that say what kind of item it is.
constexpr SFGAOF kAttributeQuery = SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANLINK | SFGAO_CANRENAME |
                                   SFGAO_CANDELETE | SFGAO_HASPROPSHEET | SFGAO_DROPTARGET |
                                   SFGAO_LINK | SFGAO_SHARE | SFGAO_READONLY | SFGAO_HIDDEN |
                                   SFGAO_HASSUBFOLDER;

// Grayed, disabled or a separator. Read with GetMenuItemInfo: for a submenu
// item GetMenuState puts the submenu's item count in the high byte, where 8-15
// entries read as MF_SEPARATOR.
bool Skipped(HMENU menu, int pos) {
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_STATE | MIIM_FTYPE;
  if (!GetMenuItemInfoW(menu, static_cast<UINT>(pos), TRUE, &info)) return true;
  return (info.fState & MFS_DISABLED) || (info.fType & MFT_SEPARATOR);
}

bool FillShellMenu(IContextMenu* cm, base::UniqueMenu& menu) {
  menu.reset(CreatePopupMenu());
  return KOLBRI_LOG_IF_FALSE(static_cast<bool>(menu)) &&
         SUCCEEDED(KOLBRI_LOG_IF_FAILED(
             cm->QueryContextMenu(menu.get(), 0, kFirstShellId, kLastShellId, CMF_EXPLORE)));
}

void ShowFailedCommand(HWND owner) {
  HWND top = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
  MessageBoxW(top, kFailedText, kFailedCaption, MB_OK | MB_ICONINFORMATION);
}

// Carries out a shell menu identifier; a refusal is the unit's one message.
// A command the user called off in the shell's own dialog is no failure.
bool Invoke(HWND owner, IContextMenu* cm, UINT id) {
  CMINVOKECOMMANDINFO info{};
  info.cbSize = sizeof info;
  info.hwnd = owner;
  info.lpVerb = MAKEINTRESOURCEA(id - kFirstShellId);
  info.nShow = SW_SHOWNORMAL;
  const HRESULT hr = cm->InvokeCommand(&info);
  if (SUCCEEDED(hr)) return true;
  if (hr != HRESULT_FROM_WIN32(ERROR_CANCELLED)) {
    KOLBRI_LOG_IF_FAILED(hr);
    ShowFailedCommand(owner);
  }
  return false;
}

// The canonical verb of a shell command; false when it has none. One char of
// the buffer is kept back: some handlers write the terminator past the size.
bool VerbIs(IContextMenu* cm, UINT id, const char* verb) {
  char got[64] = {};
  return SUCCEEDED(
             cm->GetCommandString(id - kFirstShellId, GCS_VERBA, nullptr, got, sizeof got - 1)) &&
         lstrcmpiA(got, verb) == 0;
}

// The enabled command of the menu whose verb is verb; 0 when there is none.
UINT FindCommandByVerb(IContextMenu* cm, HMENU menu, const char* verb) {
  const int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; ++i) {
    if (Skipped(menu, i)) continue;
    const UINT id = GetMenuItemID(menu, i);
    if (id >= kFirstShellId && id <= kLastShellId && VerbIs(cm, id, verb)) return id;
  }
  return 0;
}

// The identifier of a row of the command table in this menu: the row's own when
// its verb agrees (the layout the table was made for), else the command with
// the row's verb, since other shells put other commands at those offsets.
// 0, after the failed-command message, when no command has the verb.
UINT RowCommand(HWND owner, IContextMenu* cm, HMENU menu, const ItemCommandRow& row) {
  if (VerbIs(cm, row.id, row.verb)) return row.id;
  const UINT id = FindCommandByVerb(cm, menu, row.verb);
  if (!id) ShowFailedCommand(owner);
  return id;
}

// The paste entry: by its Japanese caption mark, or else by its verb, which
// every shell language shares. 0 when the menu has none.
UINT FindPasteCommand(IContextMenu* cm, HMENU menu) {
  const int pos = FindMenuItemByMark(menu, kPasteMark, kPasteMarkByte);
  if (pos > 0) {
    const UINT id = GetMenuItemID(menu, pos - 1);
    return id == static_cast<UINT>(-1) ? 0 : id;
  }
  return FindCommandByVerb(cm, menu, kItemCommands[kPaste].verb);
}

// The entries of the user's Send To folder as they were when listed, so that
// a choice runs on the entry the user saw.
struct SendToTargets {
  ComPtr<IShellFolder> folder;
  std::vector<ChildIDList> entries;  // at most kMaxSendTo, in enumeration order
};

// False when the user has no Send To folder; a folder that cannot be read
// gives no entries.
bool CaptureSendTo(HWND owner, IShellFolder* desktop, SendToTargets& out) {
  AbsoluteIDList location;
  if (FAILED(KOLBRI_LOG_IF_FAILED(
          SHGetSpecialFolderLocation(owner, CSIDL_SENDTO, location.receive()))) ||
      !location)
    return false;
  ComPtr<IEnumIDList> entries;
  if (FAILED(KOLBRI_LOG_IF_FAILED(
          desktop->BindToObject(location.get(), nullptr, KOLBRI_IID_PPV(out.folder)))) ||
      !out.folder ||
      FAILED(KOLBRI_LOG_IF_FAILED(
          out.folder->EnumObjects(owner, SHCONTF_NONFOLDERS, entries.put()))) ||
      !entries)
    return true;
  while (out.entries.size() < static_cast<size_t>(kMaxSendTo)) {
    ChildIDList entry;
    if (entries->Next(1, entry.receive(), nullptr) != S_OK || !entry) break;
    out.entries.push_back(std::move(entry));
  }
  return true;
}

// Menu text shows '&' as the next character's mnemonic; a name shows as itself.
std::wstring MenuText(const std::wstring& name) {
  std::wstring text;
  for (wchar_t c : name) {
    if (c == L'&') text += L'&';
    text += c;
  }
  return text;
}

// Fills the shell menu's Send To submenu with the captured entries; the
// submenu, or null when Send To choices are left to the shell.
HMENU FillSendTo(HWND owner, HMENU menu, IShellFolder* desktop, SendToTargets& targets) {
  int pos = FindMenuItemByMark(menu, kSendToMark, kSendToMarkByte);
  if (pos < 0) pos = FindMenuItemByMark(menu, kSendToMarkAlt, kSendToMarkByte);
  HMENU sub = pos > 0 ? GetSubMenu(menu, pos - 1) : nullptr;
  if (!sub || !desktop) return nullptr;
  const int before = GetMenuItemCount(sub);
  if (!CaptureSendTo(owner, desktop, targets)) return nullptr;
  for (size_t i = 0; i < targets.entries.size(); ++i) {
    std::wstring name;
    KOLBRI_LOG_IF_FALSE(shview::GetItemDisplayNameW(targets.folder.get(), targets.entries[i].get(),
                                                    SHGDN_NORMAL, name));
    KOLBRI_LOG_IF_FALSE(AppendMenuW(sub, MF_STRING, kSendToFirstId + i, MenuText(name).c_str()));
  }
  // The shell's placeholder stands before the entries; an empty submenu had none.
  if (before > 0) KOLBRI_LOG_IF_FALSE(DeleteMenu(sub, 0, MF_BYPOSITION));
  return sub;
}

bool PasteOnTarget(TContextMenuEx& component, HWND owner, const SendToTargets& targets, int index) {
  if (index < 0 || static_cast<size_t>(index) >= targets.entries.size()) return false;
  return component.RunItemCommand(owner, targets.folder.get(), kPaste, POINT{},
                                  targets.entries[static_cast<size_t>(index)].get());
}

// While the shell's menu is up, its owner hands the menu messages to the
// shell's IContextMenu2/3, which builds some submenus (新規作成, プログラムから
// 開く) only when told they open and may draw its items itself. The Send To
// submenu is filled here, so the shell does not hear it open.
class MenuMessageForwarder {
 public:
  // send_to: the submenu filled here, or null.
  MenuMessageForwarder(HWND owner, IContextMenu* cm, HMENU send_to) : send_to_(send_to) {
    cm3_ = base::QueryAs<IContextMenu3>(cm);
    if (!cm3_) cm2_ = base::QueryAs<IContextMenu2>(cm);
    if (!cm3_ && !cm2_) return;
    // Without it the menu still works, but the shell's own submenus stay empty.
    KOLBRI_LOG_IF_FALSE(subclass_.Install(
        owner, [this](HWND, UINT msg, WPARAM wp, LPARAM lp, const winui::SubclassNext& next) {
          LRESULT answer = 0;
          if (Forward(msg, wp, lp, &answer)) return answer;
          return next(msg, wp, lp);
        }));
  }

 private:
  // True when the shell's answer is the owner's.
  bool Forward(UINT msg, WPARAM wp, LPARAM lp, LRESULT* answer) {
    switch (msg) {
      case WM_INITMENUPOPUP:
        // The owner hears it too; only the shell's own submenus go to the shell.
        if (reinterpret_cast<HMENU>(wp) != send_to_) Tell(msg, wp, lp, answer);
        return false;
      case WM_DRAWITEM:
      case WM_MEASUREITEM: {
        const UINT type = msg == WM_DRAWITEM
                              ? reinterpret_cast<const DRAWITEMSTRUCT*>(lp)->CtlType
                              : reinterpret_cast<const MEASUREITEMSTRUCT*>(lp)->CtlType;
        if (type != ODT_MENU || !Tell(msg, wp, lp, answer)) return false;
        *answer = TRUE;
        return true;
      }
      case WM_MENUCHAR: return cm3_ && Tell(msg, wp, lp, answer);
      default: return false;
    }
  }
  bool Tell(UINT msg, WPARAM wp, LPARAM lp, LRESULT* answer) {
    const HRESULT hr =
        cm3_ ? cm3_->HandleMenuMsg2(msg, wp, lp, answer) : cm2_->HandleMenuMsg(msg, wp, lp);
    return hr == S_OK;
  }

  ComPtr<IContextMenu3> cm3_;
  ComPtr<IContextMenu2> cm2_;
  HMENU send_to_;
  winui::WindowSubclass subclass_;
};

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
  if (!DesktopReference(desktop.put())) return false;
  ItemSplit split;
  if (!split.Take(items, count)) return false;
  ComPtr<IContextMenu> cm;
  if (FAILED(KOLBRI_LOG_IF_FAILED(
          folder->GetUIObjectOf(owner, split.count(), split.data(), KOLBRI_IID_NULL_PPV(cm)))) ||
      !cm)
    return false;
  base::UniqueMenu menu;
  if (!FillShellMenu(cm.get(), menu)) return false;
  SendToTargets targets;
  const HMENU send_to = FillSendTo(owner, menu.get(), desktop.get(), targets);

  UINT id;
  {
    MenuMessageForwarder forwarder(owner, cm.get(), send_to);
    id = static_cast<UINT>(TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, screen.x,
                                          screen.y, 0, owner, nullptr));
  }
  if (send_to && id >= kSendToFirstId && id < kSendToFirstId + kMaxSendTo) {
    const auto entry = static_cast<int>(id - kSendToFirstId);
    const UINT copy = RowCommand(owner, cm.get(), menu.get(), kItemCommands[kCopy]);
    return copy && Invoke(owner, cm.get(), copy) && PasteOnTarget(*this, owner, targets, entry);
  }
  if (id < kFirstShellId || id > kLastShellId) return false;  // nothing chosen
  return Invoke(owner, cm.get(), id);
}

bool TContextMenuEx::FillSendToMenu(HWND owner, HMENU menu, IShellFolder* desktop) {
  SendToTargets targets;
  return FillSendTo(owner, menu, desktop, targets) != nullptr;
}

bool TContextMenuEx::SendToTarget(HWND owner, IShellFolder* desktop, int index) {
  SendToTargets targets;
  return desktop && CaptureSendTo(owner, desktop, targets) &&
         PasteOnTarget(*this, owner, targets, index);
}

bool TContextMenuEx::RunItemCommand(HWND owner, IShellFolder* folder, int code, POINT,
                                    PCUITEMID_CHILD item) {
  if (!owner || !folder || !item || code < kCreateShortcut || code > kPaste) return false;
  PCUITEMID_CHILD one[1] = {item};
  SFGAOF attributes = kAttributeQuery;
  const HRESULT got = folder->GetAttributesOf(1, one, &attributes);
  if (got != S_OK) {
    KOLBRI_LOG_IF_FAILED(got);
    return false;
  }
  const ItemCommandRow& row = kItemCommands[code];
  if (code != kPaste && !(attributes & row.required)) return false;
  ComPtr<IContextMenu> cm;
  if (FAILED(KOLBRI_LOG_IF_FAILED(folder->GetUIObjectOf(owner, 1, one, KOLBRI_IID_NULL_PPV(cm)))) ||
      !cm)
    return false;
  base::UniqueMenu menu;
  if (!FillShellMenu(cm.get(), menu)) return false;
  const UINT id = code == kPaste ? FindPasteCommand(cm.get(), menu.get())
                                 : RowCommand(owner, cm.get(), menu.get(), row);
  return id && Invoke(owner, cm.get(), id);
}

}  // namespace shcom
