#pragma once
// A small shell-folder double for what Wine's shell cannot show: item menus
// with the captions a Japanese Windows shell builds (a Send To submenu with its
// placeholder, a paste entry, a submenu it fills only when told that it opens)
// and a Send To folder with paste targets. Every InvokeCommand is recorded as
// "<menu>:<command offset>".
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "shellview/shview.h"

namespace comtest {

// Command offsets of the lines that are no commands.
inline constexpr int kSeparatorLine = -1;
inline constexpr int kSendToLine = -2;
// A submenu the shell fills when it hears WM_INITMENUPOPUP (through
// IContextMenu2/3), with one command at kLazyCommand.
inline constexpr int kLazyLine = -3;
inline constexpr int kLazyCommand = 40;

struct MenuLine {
  int offset;  // command offset (identifier - first), or one of the kinds above
  std::wstring caption;
  const char* verb;
};

// The item menu of a Japanese shell (offsets as the command table has them).
std::vector<MenuLine> JapaneseItemMenu();
// A Send To target's menu, with or without the paste entry.
std::vector<MenuLine> TargetMenu(bool paste, bool japanese = true);

// What a menu double does besides its lines: where it fails, and where it
// records the menu messages the component forwards to it ("init:<caption of the
// popup's item, or top>", "menuchar", ...).
struct MenuBehaviour {
  UINT fail_offset = static_cast<UINT>(-1);  // InvokeCommand fails there ...
  HRESULT fail_result = E_FAIL;              // ... with this
  std::vector<std::string>* messages = nullptr;
};

class ContextMenuDouble final : public IContextMenu3 {
 public:
  ContextMenuDouble(std::string name, std::vector<MenuLine> lines, std::vector<std::string>* log,
                    MenuBehaviour behaviour = {})
      : name_(std::move(name)), lines_(std::move(lines)), log_(log), behaviour_(behaviour) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT index, UINT first, UINT last,
                                             UINT flags) override;
  HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override;
  HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR offset, UINT type, UINT*, LPSTR name,
                                             UINT size) override;
  HRESULT STDMETHODCALLTYPE HandleMenuMsg(UINT msg, WPARAM wp, LPARAM lp) override {
    return HandleMenuMsg2(msg, wp, lp, nullptr);
  }
  HRESULT STDMETHODCALLTYPE HandleMenuMsg2(UINT msg, WPARAM wp, LPARAM lp,
                                           LRESULT* result) override;

 private:
  std::string name_;
  std::vector<MenuLine> lines_;
  std::vector<std::string>* log_;
  MenuBehaviour behaviour_;
  HMENU top_ = nullptr, send_to_ = nullptr, lazy_ = nullptr;
  UINT first_ = 0;
  ULONG refs_ = 1;
};

struct Entry {
  std::wstring name;
  bool folder = false;
  bool paste = true;
};

// An IShellFolder that refuses everything; the doubles below answer what the
// component asks. They live on the test's stack, so counting is all Release does.
class StubFolder : public IShellFolder {
 public:
  virtual ~StubFolder() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IShellFolder) {
      *out = static_cast<IShellFolder*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
  HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND, LPBC, LPOLESTR, ULONG*, PIDLIST_RELATIVE*,
                                             ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE EnumObjects(HWND, SHCONTF, IEnumIDList**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE, LPBC, REFIID, void**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BindToStorage(PCUIDLIST_RELATIVE, LPBC, REFIID, void**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateViewObject(HWND, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT*,
                                          void**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDisplayNameOf(PCUITEMID_CHILD, SHGDNF, STRRET*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetNameOf(HWND, PCUITEMID_CHILD, LPCOLESTR, SHGDNF,
                                      PITEMID_CHILD*) override {
    return E_NOTIMPL;
  }

 private:
  ULONG refs_ = 1;
};

// A folder of numbered items: item i is a one-item list holding i. "items"
// gives every selection the Japanese item menu; any other name makes it a Send
// To folder whose entries have target menus.
class FolderDouble final : public StubFolder {
 public:
  FolderDouble(std::string name, std::vector<Entry> entries, std::vector<std::string>* log)
      : name_(std::move(name)), entries_(std::move(entries)), log_(log) {}
  MenuBehaviour behaviour;  // of the items' menu
  std::vector<MenuLine> item_menu = JapaneseItemMenu();
  SHCONTF enum_flags = 0;         // what EnumObjects was asked for
  std::vector<UINT> menu_counts;  // item counts of GetUIObjectOf for menus

  static shview::RelativeIDList Items(std::initializer_list<int> numbers);

  HRESULT STDMETHODCALLTYPE EnumObjects(HWND, SHCONTF flags, IEnumIDList** out) override;
  HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT count, PCUITEMID_CHILD_ARRAY items,
                                            SFGAOF* attributes) override;
  HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT count, PCUITEMID_CHILD_ARRAY items,
                                          REFIID riid, UINT*, void** out) override;
  HRESULT STDMETHODCALLTYPE GetDisplayNameOf(PCUITEMID_CHILD item, SHGDNF, STRRET* name) override;

  std::vector<Entry>& entries() { return entries_; }

 private:
  std::string name_;
  std::vector<Entry> entries_;
  std::vector<std::string>* log_;
};

// Stands in for the desktop: binds the user's Send To location to a double.
class DesktopDouble final : public StubFolder {
 public:
  explicit DesktopDouble(IShellFolder* send_to) : send_to_(send_to) {}
  HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE item, LPBC, REFIID riid,
                                         void** out) override;

 private:
  IShellFolder* send_to_;
};

// Swaps the shared desktop folder for a double for one scope.
class DesktopSwap {
 public:
  explicit DesktopSwap(IShellFolder* stand_in) : real_(shview::DesktopFolder()) {
    shview::ReplaceDesktopFolder(stand_in);
  }
  ~DesktopSwap() { shview::ReplaceDesktopFolder(real_); }
  DesktopSwap(const DesktopSwap&) = delete;
  DesktopSwap& operator=(const DesktopSwap&) = delete;
  IShellFolder* real() const { return real_; }

 private:
  IShellFolder* real_;
};

}  // namespace comtest
