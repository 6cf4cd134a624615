#include "tests/support/shell_double.h"

#include <cstring>

#include "base/com.h"

namespace comtest {
namespace {

int Number(PCUIDLIST_RELATIVE item) {
  const auto* b = reinterpret_cast<const BYTE*>(item);
  return b[2] | (b[3] << 8);
}

PITEMID_CHILD NewItem(int number) {
  auto* b = static_cast<BYTE*>(shview::ShellAlloc(6));  // zero-filled: the terminator
  if (!b) return nullptr;
  b[0] = 4;
  b[2] = static_cast<BYTE>(number);
  b[3] = static_cast<BYTE>(number >> 8);
  return reinterpret_cast<PITEMID_CHILD>(b);
}

class EnumDouble final : public IEnumIDList {
 public:
  explicit EnumDouble(std::vector<int> numbers) : numbers_(std::move(numbers)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IEnumIDList) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs_;
    if (!n) delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG, PITEMID_CHILD* out, ULONG* fetched) override {
    if (fetched) *fetched = 0;
    *out = nullptr;
    if (at_ >= numbers_.size()) return S_FALSE;
    *out = NewItem(numbers_[at_++]);
    if (fetched) *fetched = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reset() override {
    at_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumIDList**) override { return E_NOTIMPL; }

 private:
  std::vector<int> numbers_;
  size_t at_ = 0;
  ULONG refs_ = 1;
};

}  // namespace

std::vector<MenuLine> JapaneseItemMenu() {
  return {
      {0, L"開く(&O)", "open"},
      {kSeparatorLine, L"", nullptr},
      {kSendToLine, L"送る(&N)", nullptr},
      {kLazyLine, L"新規作成(&W)", nullptr},
      {kSeparatorLine, L"", nullptr},
      {24, L"切り取り(&T)", "cut"},
      {25, L"コピー(&C)", "copy"},
      {kSeparatorLine, L"", nullptr},
      {16, L"ショートカットの作成(&S)", "link"},
      {17, L"削除(&D)", "delete"},
      {19, L"プロパティ(&R)", "properties"},
      // A shell command whose identifier (1531) lies where Send To entries once did.
      {1530, L"圧縮(&Z)", "compress"},
  };
}

std::vector<MenuLine> TargetMenu(bool paste, bool japanese) {
  std::vector<MenuLine> lines{{0, japanese ? L"開く(&O)" : L"&Open", "open"}};
  if (paste) lines.push_back({26, japanese ? L"貼り付け(&P)" : L"&Paste", "paste"});
  // Properties carries "(&P)" too, at another byte than paste.
  lines.push_back({19, japanese ? L"プロパティ(&P)" : L"P&roperties", "properties"});
  return lines;
}

HRESULT ContextMenuDouble::QueryInterface(REFIID riid, void** out) {
  if (riid == IID_IUnknown || riid == IID_IContextMenu || riid == IID_IContextMenu2 ||
      riid == IID_IContextMenu3) {
    *out = this;
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG ContextMenuDouble::Release() {
  const ULONG n = --refs_;
  if (!n) delete this;
  return n;
}

HRESULT ContextMenuDouble::QueryContextMenu(HMENU menu, UINT index, UINT first, UINT last, UINT) {
  UINT pos = index;
  top_ = menu;
  first_ = first;
  for (const MenuLine& l : lines_) {
    if (l.offset == kSeparatorLine) {
      InsertMenuW(menu, pos++, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    } else if (l.offset == kSendToLine || l.offset == kLazyLine) {
      HMENU sub = CreatePopupMenu();
      // The shell's Send To placeholder, which the component replaces.
      if (l.offset == kSendToLine) AppendMenuW(sub, MF_STRING | MF_GRAYED, first + 41, L"(なし)");
      (l.offset == kSendToLine ? send_to_ : lazy_) = sub;
      InsertMenuW(menu, pos++, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(sub),
                  l.caption.c_str());
    } else if (first + l.offset <= last) {
      InsertMenuW(menu, pos++, MF_BYPOSITION | MF_STRING, first + l.offset, l.caption.c_str());
    }
  }
  return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1531);
}

HRESULT ContextMenuDouble::InvokeCommand(CMINVOKECOMMANDINFO* info) {
  if (!info || HIWORD(info->lpVerb)) return E_INVALIDARG;
  const UINT offset = LOWORD(info->lpVerb);
  log_->push_back(name_ + ":" + std::to_string(offset));
  return offset == behaviour_.fail_offset ? behaviour_.fail_result : S_OK;
}

HRESULT ContextMenuDouble::HandleMenuMsg2(UINT msg, WPARAM wp, LPARAM, LRESULT* result) {
  if (result) *result = 0;
  if (msg != WM_INITMENUPOPUP) {
    if (behaviour_.messages)
      behaviour_.messages->push_back(msg == WM_MENUCHAR ? "menuchar" : "other");
    return S_FALSE;
  }
  const auto popup = reinterpret_cast<HMENU>(wp);
  if (behaviour_.messages)
    behaviour_.messages->push_back(popup == top_       ? "init:top"
                                   : popup == send_to_ ? "init:send to"
                                   : popup == lazy_    ? "init:new"
                                                       : "init:?");
  if (popup == lazy_ && GetMenuItemCount(lazy_) == 0)
    AppendMenuW(lazy_, MF_STRING, first_ + kLazyCommand, L"フォルダー(&F)");
  return S_OK;
}

HRESULT ContextMenuDouble::GetCommandString(UINT_PTR offset, UINT type, UINT*, LPSTR name,
                                            UINT size) {
  if (type != GCS_VERBA) return E_NOTIMPL;
  for (const MenuLine& l : lines_) {
    if (l.verb && l.offset == static_cast<int>(offset)) {
      lstrcpynA(name, l.verb, static_cast<int>(size));
      return S_OK;
    }
  }
  return E_INVALIDARG;
}

shview::RelativeIDList FolderDouble::Items(std::initializer_list<int> numbers) {
  shview::RelativeIDList list(static_cast<PIDLIST_RELATIVE>(
      shview::ShellAlloc(static_cast<ULONG>(numbers.size()) * 4 + 2)));
  auto* b = reinterpret_cast<BYTE*>(list.get());
  for (int n : numbers) {
    b[0] = 4;
    b[2] = static_cast<BYTE>(n);
    b[3] = static_cast<BYTE>(n >> 8);
    b += 4;
  }
  return list;
}

HRESULT FolderDouble::EnumObjects(HWND, SHCONTF flags, IEnumIDList** out) {
  enum_flags = flags;
  std::vector<int> numbers;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const bool wanted =
        entries_[i].folder ? (flags & SHCONTF_FOLDERS) : (flags & SHCONTF_NONFOLDERS);
    if (wanted) numbers.push_back(static_cast<int>(i));
  }
  *out = new EnumDouble(std::move(numbers));
  return S_OK;
}

HRESULT FolderDouble::GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF* attributes) {
  *attributes &= SFGAO_CANCOPY | SFGAO_CANMOVE | SFGAO_CANLINK | SFGAO_CANDELETE |
                 SFGAO_HASPROPSHEET | SFGAO_DROPTARGET | SFGAO_FILESYSTEM;
  return S_OK;
}

HRESULT FolderDouble::GetUIObjectOf(HWND, UINT count, PCUITEMID_CHILD_ARRAY items, REFIID riid,
                                    UINT*, void** out) {
  *out = nullptr;
  if (riid != IID_IContextMenu || count == 0) return E_NOINTERFACE;
  if (name_ == "items") {
    menu_counts.push_back(count);
    *out = static_cast<IContextMenu*>(new ContextMenuDouble(name_, item_menu, log_, behaviour));
    return S_OK;
  }
  const int n = Number(items[0]);
  const Entry& e = entries_.at(static_cast<size_t>(n));
  const bool japanese = e.name.find(L'&') == std::wstring::npos;
  *out = static_cast<IContextMenu*>(
      new ContextMenuDouble(name_ + std::to_string(n), TargetMenu(e.paste, japanese), log_));
  return S_OK;
}

HRESULT FolderDouble::GetDisplayNameOf(PCUITEMID_CHILD item, SHGDNF, STRRET* name) {
  const std::wstring& text = entries_.at(static_cast<size_t>(Number(item))).name;
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  name->uType = STRRET_WSTR;
  name->pOleStr = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  std::memcpy(name->pOleStr, text.c_str(), bytes);
  return S_OK;
}

HRESULT DesktopDouble::BindToObject(PCUIDLIST_RELATIVE item, LPBC, REFIID riid, void** out) {
  *out = nullptr;
  shview::AbsoluteIDList send_to;
  SHGetSpecialFolderLocation(nullptr, CSIDL_SENDTO, send_to.receive());
  // Only the shell can tell two lists of the same location apart from two
  // locations: a list carries every folder's times on the way, and the first
  // look into a folder whose access time is older than its change moves that time.
  base::ComPtr<IShellFolder> shell;
  if (riid != IID_IShellFolder || !send_to || FAILED(SHGetDesktopFolder(shell.put())) ||
      shell->CompareIDs(0, item, send_to.get()) != S_OK)
    return E_FAIL;
  send_to_->AddRef();
  *out = send_to_;
  return S_OK;
}

}  // namespace comtest
