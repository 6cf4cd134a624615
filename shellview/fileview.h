#pragma once
// TFileView: a list of one shell folder's children (sub-folders and files,
// hidden ones included) with the shell's icons and four columns: name, size,
// type and time of the last change. It is the companion of TFolderView: a tree
// whose FileView names this list hands it every folder it selects.
//
// Like the tree it is a real list-view child window, a winui::Control
// (winui::SubclassedControl): the parent's window procedure must pass
// WM_NOTIFY to winui::ReflectToChild. UI thread only.
//
// Each item's lParam points at a record the list owns, holding the child's
// one-item list relative to the shown folder; the list is freed exactly once,
// when the item is deleted.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/com.h"
#include "shellview/fileitems.h"
#include "shellview/partners.h"
#include "shellview/shview.h"
#include "winui/subclassed_control.h"

namespace shview {

// Enumeration of the shown folder: folders, files, hidden ones too (0x00E0).
inline constexpr DWORD kListEnumFlags =
    SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN;

// Whether the shell's icon handler for child says its icon is the same for
// every file of its class (GIL_PERCLASS, or no GIL_PERINSTANCE); false
// without a handler.
bool IconIsPerClass(IShellFolder* folder, HWND owner, PCUITEMID_CHILD child);

class TFolderView;

class TFileView : public winui::SubclassedControl, public FileViewPartner {
 public:
  enum class ViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

  TFileView();
  ~TFileView() override;
  TFileView(const TFileView&) = delete;
  TFileView& operator=(const TFileView&) = delete;

  // Create() makes the list window with its four columns and the system
  // image lists. Destroy() deletes every item (its list freed), then the window.

  // The folder to list, absolute (copied); none is ignored.
  void ShowFolder(PCIDLIST_ABSOLUTE absolute) override;
  void SetLinkedFolderView(TFolderView* tree) override;
  TFolderView* LinkedFolderView() const { return tree_.get(); }
  // Lists the shown folder afresh.
  void FillList();
  IShellFolder* ShownFolder() const { return folder_.get(); }
  PCIDLIST_ABSOLUTE ShownFolderList() const { return folder_list_.get(); }

  // Published properties (defaults as at construction).
  bool FileExecute() const { return file_execute_; }
  void SetFileExecute(bool v) { file_execute_ = v; }
  // Admitted extensions in the ANSI code page (".bmp"); no lines admit every
  // file. A none argument is ignored; applies from the next fill.
  const std::vector<std::string>& Mask() const { return mask_; }
  void SetMask(const std::vector<std::string>* lines);
  ShellMenuPartner* ContextMenu() const { return context_menu_.get(); }
  void SetContextMenu(ShellMenuPartner* menu) { context_menu_.Set(*this, menu); }
  ShellDragPartner* DropSource() const { return drop_source_.get(); }
  void SetDropSource(ShellDragPartner* source) { drop_source_.Set(*this, source); }
  ViewStyle GetViewStyle() const { return view_style_; }
  void SetViewStyle(ViewStyle style);
  // Changing these after Create recreates the window; the items move along.
  bool MultiSelect() const { return multi_select_; }
  void SetMultiSelect(bool v);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool v);
  // A component is going away: drop every link to that object.
  void ComponentRemoved(ShellComponent* component) override;

  // Items, in list order.
  int ItemCount() const;
  std::wstring Caption(int index) const;
  // Columns 1-3 (size, type, date); the type is looked up when first asked.
  std::wstring SubItemText(int index, int column) const;
  PCUITEMID_CHILD Data(int index) const;           // the item keeps it
  int ImageIndex(int index) const;                 // looked up when first asked
  int OverlayIndex(int index) const;               // 0: none
  int IndexOf(const std::wstring& caption) const;  // -1 when no item has it
  bool IsSelected(int index) const;
  void SetSelected(int index, bool selected);
  int SelectedCount() const;
  RECT LabelRect(int index) const;  // client coordinates

  // Sort direction (+1 / -1) of a column, shared by every list of the process.
  static int SortDirection(int column);

  // Events (and on_mouse_down / on_mouse_up of the base).
  std::function<void(TFileView&)> on_dbl_click;
  std::function<void(TFileView&, int index)> on_deletion;       // the item's list is already freed
  std::function<void(TFileView&, int column)> on_column_click;  // after the sort
  std::function<void(TFileView&, int index, std::wstring& text)> on_edited;

  bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

 private:
  WindowKind Kind() const override;
  void OnCreated() override;
  LRESULT ControlProc(UINT msg, WPARAM wp, LPARAM lp, const winui::SubclassNext& next) override;
  void OnWindowDestroying() override;
  void OnRightButtonDown(WPARAM keys, POINT client) override;
  void OnRightClick(POINT client) override;
  DWORD Style() const;
  void SetUpWindow();
  void FitSizeColumn();
  void Recreate();
  FileListItem* ItemAt(int index) const;
  // Lists folder (absolute: list), which becomes the shown one; false when
  // it refuses to enumerate: then nothing changes.
  bool Fill(ComPtr<IShellFolder> folder, AbsoluteIDList list);
  void AddItem(IShellFolder* folder, IShellIcon* icons, ChildIDList child, int at);
  bool InsertItem(int at, const std::wstring& caption, FileListItem* item, UINT state);
  void ApplyView(ViewStyle style);
  void ResumeRedraw();
  void SetCaption(int index, const std::wstring& text);
  void SendTreeBack();
  void SortByColumn(int column);
  void ResolveType(FileListItem& item);
  void ResolveIcon(FileListItem& item);
  void AnswerDispInfo(LVITEMW& item, bool wide);
  void ItemDeleted(int index, FileListItem* item);
  void DoubleClicked();
  LRESULT EndLabelEdit(int index, const std::optional<std::wstring>& typed);  // none: cancelled
  void BeginDrag();
  RelativeIDList SelectionSequence(int* count) const;
  AbsoluteIDList AbsoluteOf(PCUITEMID_CHILD child) const;

  winui::ItemRecords<FileListItem> records_;
  ComPtr<IShellFolder> folder_;
  AbsoluteIDList folder_list_;
  Link<TFolderView> tree_;
  Link<ShellMenuPartner> context_menu_;
  Link<ShellDragPartner> drop_source_;
  std::vector<std::string> mask_;
  bool file_execute_ = true;
  ViewStyle view_style_ = ViewStyle::vsIcon;
  bool multi_select_ = true;
  bool read_only_ = false;

  // Per fill: what the shell says for every file of one extension, where its
  // answer cannot differ from file to file.
  std::unordered_map<std::string, std::wstring> type_cache_;
  // Per extension: the class's icon, or none where each file has its own.
  std::unordered_map<std::string, std::optional<int>> icon_cache_;
  std::wstring date_sep_, time_sep_;
  FileListItem* renaming_ = nullptr;  // the item SetNameOf works on, none once deleted
  bool sending_back_ = false;         // a refused folder is handing the tree back
};

}  // namespace shview
