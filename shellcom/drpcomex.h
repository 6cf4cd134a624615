#pragma once
// Unit DRPCOMEX: the shell's own context menu for items of a shell folder
// (TContextMenuEx) and an OLE drag of such items (TDropSourceEx), plus the
// unit's OLE start-up for the process. UI thread only.
//
// Item lists handed in are never kept or freed; every list, menu and COM
// reference a call creates is released before it returns.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "shellview/partners.h"

namespace shcom {

// Unit start-up and shutdown. The first start initialises OLE for the calling
// thread (OleInitialize); later starts only count, and only the finish that
// matches the first start calls OleUninitialize. Program entry holds a
// UnitScope before the shell view state and drops it after.
bool StartUnit();  // true when OLE is initialised for the process
void FinishUnit();
int UnitStarts();  // the start counter
class UnitScope {
 public:
  UnitScope() { StartUnit(); }
  ~UnitScope() { FinishUnit(); }
  UnitScope(const UnitScope&) = delete;
  UnitScope& operator=(const UnitScope&) = delete;
};

// Most items a menu or a drag takes at once.
inline constexpr int kMaxItems = 1024;
// Identifiers: the shell fills 1..0x7FFF; Send To entries lie above that range,
// so no shell command can be taken for one.
inline constexpr UINT kFirstShellId = 1;
inline constexpr UINT kLastShellId = 0x7FFF;
inline constexpr UINT kSendToFirstId = 0x8000;
inline constexpr int kMaxSendTo = 100;  // entries listed; all of them handled here
// Caption marks, 1-based byte positions in the system's multi-byte code page.
inline constexpr char kPasteMark[] = "(&P)";
inline constexpr int kPasteMarkByte = 9;
inline constexpr char kSendToMark[] = "(&N)";
inline constexpr char kSendToMarkAlt[] = "(&T)";
inline constexpr int kSendToMarkByte = 5;
// The one message this unit shows.
inline constexpr wchar_t kFailedText[] = L" InvokeCommand failed! ";
inline constexpr wchar_t kFailedCaption[] = L" TContextMenuEx component version 2.05";

// Item command table of RunItemCommand, by code.
enum ItemCommand { kCreateShortcut, kDelete, kProperties, kCut, kCopy, kPaste };
struct ItemCommandRow {
  UINT id;           // shell menu identifier (command offset id - 1) ...
  SFGAOF required;   // attribute the item must have (none for paste)
  const char* verb;  // ... used while the command there has this canonical verb
};
inline constexpr ItemCommandRow kItemCommands[] = {
    {17, SFGAO_CANLINK, "link"},
    {18, SFGAO_CANDELETE, "delete"},
    {20, SFGAO_HASPROPSHEET, "properties"},
    {25, SFGAO_CANMOVE, "cut"},
    {26, SFGAO_CANCOPY, "copy"},
    {27, 0, "paste"},
};

// 1-based position of the first enabled, non-separator item whose caption
// (read as multi-byte text, at most 255 bytes) holds mark first at the 1-based
// byte position; -1 when none does.
int FindMenuItemByMark(HMENU menu, const char* mark, int position);

class TContextMenuEx : public shview::ShellMenuPartner {
 public:
  TContextMenuEx() = default;
  ~TContextMenuEx() override = default;

  // Published; kept for forms, read by no operation. Assigning none is ignored.
  const std::vector<std::string>& CMFileName() const { return cm_file_name_; }
  void SetCMFileName(const std::vector<std::string>* list) {
    if (list) cm_file_name_ = *list;
  }

  // Shows the shell's menu for count items of folder (items: their one-item
  // identifiers back to back) at a screen point and carries out the choice.
  // True when a command was carried out.
  bool PopupShellMenu(HWND owner, IShellFolder* folder, POINT screen, int count,
                      PCUIDLIST_RELATIVE items) override;
  // One row of the command table for one item, without a menu. point is unused.
  bool RunItemCommand(HWND owner, IShellFolder* folder, int code, POINT point,
                      PCUITEMID_CHILD item);
  // Fills the Send To submenu of a shell menu from the user's Send To folder
  // (desktop: the folder that binds its location). True when Send To choices
  // are to be handled here.
  bool FillSendToMenu(HWND owner, HMENU menu, IShellFolder* desktop);
  // Pastes the clipboard onto the index-th Send To entry (enumeration order).
  bool SendToTarget(HWND owner, IShellFolder* desktop, int index);

 private:
  std::vector<std::string> cm_file_name_;
};

// IDropSource of one drag: the drag goes on while either button is held.
class TDropSourceObject final : public IDropSource {
 public:
  // A new object holding one reference for the caller.
  static IDropSource* Create();
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape_pressed, DWORD key_state) override;
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override;

 private:
  TDropSourceObject() = default;
  ~TDropSourceObject() = default;
  LONG refs_ = 1;
};

// An OLE drag of one file of ours and the picture it holds: the target gets the
// file as CF_HDROP and, when dib holds one, the picture as CF_DIB (a packed
// DIB). Copy only (the file stays ours). Returns when the drag has ended: the
// effect of a drop, DROPEFFECT_NONE when cancelled or refused.
DWORD StartFileDrag(const std::wstring& file, std::vector<uint8_t> dib);

class TDropSourceEx : public shview::ShellDragPartner {
 public:
  TDropSourceEx() = default;
  ~TDropSourceEx() override = default;

  const std::vector<std::string>& DSFileName() const { return ds_file_name_; }
  void SetDSFileName(const std::vector<std::string>* list) {
    if (list) ds_file_name_ = *list;
  }

  // Drags count items of folder (one-item identifiers back to back) with copy,
  // move and link allowed; returns when the drag has ended.
  void StartShellDrag(HWND owner, IShellFolder* folder, int count,
                      PCUIDLIST_RELATIVE items) override;

 private:
  std::vector<std::string> ds_file_name_;
};

}  // namespace shcom
