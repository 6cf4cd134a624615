#pragma once
// TFileView: a list of one shell folder's children (sub-folders and files,
// hidden ones included) with the shell's icons and four columns: name, size,
// type and time of the last change. It is the companion of TFolderView: a tree
// whose FileView names this list hands it every folder it selects.
//
// Like the tree it is a real list-view child window that this object creates,
// subclasses for the mouse and binds for notification reflection: the parent's
// window procedure must pass WM_NOTIFY to winui::ReflectToChild. UI thread only.
//
// Each item owns one record (lParam) holding the child's one-item list relative
// to the shown folder; it is freed exactly once, when the item is deleted.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "shellview/com.h"
#include "shellview/partners.h"
#include "shellview/shview.h"
#include "winui/reflect.h"

namespace shcom {
class TContextMenuEx;
class TDropSourceEx;
}  // namespace shcom

namespace shview {

// Enumeration of the shown folder: folders, files, hidden ones too (0x00E0).
inline constexpr DWORD kListEnumFlags =
    SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN;

// The extension of a parsing name in the given ANSI code page, dot included and
// upper-cased (ASCII letters of single-byte characters only); empty when the
// last '.', '\' or ':' outside double-byte characters is not a '.'.
std::string MaskExtension(std::string_view parsing_name, UINT code_page);
// True when mask has no lines or one of them, upper-cased the same way,
// equals the extension of the parsing name.
bool MaskAdmits(const std::vector<std::string>& mask, std::string_view parsing_name,
                UINT code_page);
// Size column: whole kilobytes plus one, right-aligned in 8 characters, "KB".
std::wstring FileSizeText(ULONGLONG bytes);
// Date column: local "yy/mm/dd hh:nn" with the user's date and time separators.
std::wstring FileDateText(const FILETIME& utc);

class TFolderView;
struct FileListItem;  // what an item's lParam holds

class TFileView : public winui::WindowObject, public FileViewPartner {
 public:
  enum class ViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

  TFileView();
  ~TFileView() override;
  TFileView(const TFileView&) = delete;
  TFileView& operator=(const TFileView&) = delete;

  // Creates the list window with its four columns and the system image lists.
  bool Create(HWND parent, const RECT& bounds, int control_id);
  void Destroy();  // deletes every item (its list freed), then the window
  HWND Handle() const { return hwnd_; }
  void SetBounds(const RECT& bounds);
  int Width() const { return width_; }
  int Height() const { return height_; }

  // The folder to list, absolute (copied); none is ignored.
  void ShowFolder(PCIDLIST_ABSOLUTE absolute) override;
  void SetLinkedFolderView(TFolderView* tree) override { tree_ = tree; }
  TFolderView* LinkedFolderView() const { return tree_; }
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
  shcom::TContextMenuEx* ContextMenu() const { return context_menu_; }
  void SetContextMenu(shcom::TContextMenuEx* menu) { context_menu_ = menu; }
  shcom::TDropSourceEx* DropSource() const { return drop_source_; }
  void SetDropSource(shcom::TDropSourceEx* source) { drop_source_ = source; }
  ViewStyle GetViewStyle() const { return view_style_; }
  void SetViewStyle(ViewStyle style);
  // Changing these after Create recreates the window; the items move along.
  bool MultiSelect() const { return multi_select_; }
  void SetMultiSelect(bool v);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool v);
  // A component is going away: drop every link to that object.
  void ComponentRemoved(ShellComponent* component);

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

  // Events.
  std::function<void(TFileView&)> OnDblClick;
  std::function<void(TFileView&, int index)> OnDeletion;  // the item's list is already freed
  // button: VK_LBUTTON / VK_RBUTTON / VK_MBUTTON; point in client coordinates.
  std::function<void(TFileView&, int button, WPARAM keys, POINT client)> OnMouseDown;
  std::function<void(TFileView&, int button, WPARAM keys, POINT client)> OnMouseUp;
  std::function<void(TFileView&, int column)> OnColumnClick;  // after the sort
  std::function<void(TFileView&, int index, std::wstring& text)> OnEdited;

  bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

 private:
  LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp, const winui::SubclassNext& next);
  DWORD Style() const;
  bool CreateWindowOnly(HWND parent, int control_id);
  void Recreate();
  FileListItem* ItemAt(int index) const;
  bool Fill();  // false when the folder refuses to enumerate; items stay
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
  void DeleteAllOnTeardown();
  void DoubleClicked();
  LRESULT EndLabelEdit(int index, const std::wstring* typed);
  void RightButtonUp(WPARAM keys, POINT client);
  void BeginDrag();
  RelativeIDList SelectionSequence(int* count) const;
  AbsoluteIDList AbsoluteOf(PCUITEMID_CHILD child) const;

  HWND hwnd_ = nullptr;
  HWND parent_ = nullptr;
  int control_id_ = 0;
  winui::WindowSubclass subclass_;
  ComPtr<IShellFolder> folder_;
  AbsoluteIDList folder_list_;
  TFolderView* tree_ = nullptr;
  shcom::TContextMenuEx* context_menu_ = nullptr;
  shcom::TDropSourceEx* drop_source_ = nullptr;
  std::vector<std::string> mask_;
  bool file_execute_ = true;
  ViewStyle view_style_ = ViewStyle::vsIcon;
  bool multi_select_ = true;
  bool read_only_ = false;
  int left_ = 0, top_ = 0, width_ = 200, height_ = 200;

  // Per fill: what the shell says for every file of one extension, where its
  // answer cannot differ from file to file.
  std::unordered_map<std::string, std::wstring> type_cache_;
  std::unordered_map<std::string, int> icon_cache_;
  std::wstring date_sep_, time_sep_;
  bool tearing_down_ = false;  // the window's deletions free nothing
  bool moving_ = false;        // the items go over to a new window
  bool sending_back_ = false;  // a refused folder is handing the tree back
  bool right_down_ = false;
};

}  // namespace shview
