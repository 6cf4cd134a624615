#pragma once
// TFolderView: a tree of the shell namespace's folders, rooted at the desktop,
// filled lazily (a node's sub-folders are enumerated on its first expansion).
//
// It is a real tree-view child window, a winui::Control like every other
// (winui::SubclassedControl): the parent's window procedure must pass WM_NOTIFY
// to winui::ReflectToChild. UI thread only.
//
// Each node's lParam points at a record the tree owns, holding one
// item-identifier list: the desktop's empty list for the root, a one-item list
// relative to the parent folder for every other node. The list is freed
// exactly once, when the node is deleted.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <functional>
#include <optional>
#include <string>

#include "shellview/partners.h"
#include "shellview/shview.h"
#include "winui/subclassed_control.h"

namespace shview {

using Node = HTREEITEM;
// What a node's lParam points at; the tree owns it.
struct NodeRecord {
  ChildIDList id;  // none once the node's deletion began
};

class TFolderView : public winui::SubclassedControl, public virtual ShellComponent {
 public:
  TFolderView();
  ~TFolderView() override;
  TFolderView(const TFolderView&) = delete;
  TFolderView& operator=(const TFolderView&) = delete;

  // Create() makes the tree window, attaches the small system image list,
  // then finishes initialisation: the tree is built from the desktop (root
  // selected and expanded). Properties set before apply to the window.
  // Destroy() deletes every node (on_deleting per node), then the window.

  // Operations for the settings dialog and batch conversion. The plain ones
  // take and give paths in the system's ANSI code page, which cannot hold every
  // name (Japanese under code page 1252); the W ones are UTF-16.
  void SelectPath(const std::string& path);
  std::string GetSelectedPath() const;
  void SelectPathW(const std::wstring& path);
  std::wstring GetSelectedPathW() const;
  void RefreshTree();
  // For the linked file list and combo box.
  void SelectItemIDList(PCIDLIST_ABSOLUTE absolute);
  void SelectChildItem(PCUITEMID_CHILD item);
  void RenameChildItem(PCUITEMID_CHILD old_item, PCUITEMID_CHILD new_item);

  // Begin/end update of the node collection; nests, redraw is suspended at the
  // outermost begin and restored at the matching end.
  void BeginUpdate();
  void EndUpdate();

  // Nodes.
  Node Root() const;
  // The selected node; during a right click with RightClickSelect, the node
  // under the pointer (the real selection is not changed).
  Node Selected() const;
  Node RealSelection() const;
  Node Parent(Node node) const;
  Node FirstChild(Node node) const;
  Node NextSibling(Node node) const;
  int ChildCount(Node node) const;
  int Level(Node node) const;
  std::wstring Text(Node node) const;
  // The node's own list (the root: the desktop's empty list); the node keeps it.
  PCUITEMID_CHILD Data(Node node) const;
  bool HasChildren(Node node) const;  // the has-children flag (button)
  bool IsExpanded(Node node) const;
  int ImageIndex(Node node) const;
  int SelectedIndex(Node node) const;
  void Select(Node node);  // none clears the selection
  void Expand(Node node);  // not recursive; fills the node first
  void Collapse(Node node);
  void DeleteNode(Node node);
  Node NodeAt(POINT client) const;
  void EditLabel(Node node);

  // Absolute list of a node, new, owned by the caller (none for none).
  AbsoluteIDList GetNodeItemIDList(Node node) const;
  // Child of node whose item equals the one-item list, filling node first.
  Node FindChildNode(Node node, PCUITEMID_CHILD item);
  Node FindNodeByItemIDList(PCIDLIST_ABSOLUTE absolute);
  Node CurrentNode() const { return current_; }
  Node PreviousNode() const { return previous_; }

  // Published properties (defaults as at construction).
  bool ShowRoot() const { return show_root_; }
  void SetShowRoot(bool v);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool v);
  bool ShowButtons() const { return show_buttons_; }
  void SetShowButtons(bool v);
  bool ShowLines() const { return show_lines_; }
  void SetShowLines(bool v);
  bool HideSelection() const { return hide_selection_; }
  void SetHideSelection(bool v);
  bool RightClickSelect() const { return right_click_select_; }
  void SetRightClickSelect(bool v) { right_click_select_ = v; }
  // The window's indent in pixels (-1 before a window without one set).
  int Indent() const;
  // In design pixels (120 dpi), scaled at the tree's resolution.
  void SetIndent(int design_px);

  // Links.
  FileViewPartner* FileView() const { return file_view_.get(); }
  void SetFileView(FileViewPartner* list);
  ShellMenuPartner* ContextMenu() const { return context_menu_.get(); }
  void SetContextMenu(ShellMenuPartner* menu);
  ShellDragPartner* DropSource() const { return drop_source_.get(); }
  void SetDropSource(ShellDragPartner* source);
  // Not published: the combo box's own FolderView property sets it.
  ComboViewPartner* LinkedComboView() const { return combo_view_.get(); }
  void SetLinkedComboView(ComboViewPartner* combo) { combo_view_.Set(*this, combo); }
  // A component is going away: drop every link to that object.
  void ComponentRemoved(ShellComponent* component) override;

  // Events (and on_mouse_down / on_mouse_up of the base). Node arguments may
  // be none where the tree has none to report.
  std::function<void(TFolderView&, Node)> on_change;
  std::function<void(TFolderView&, Node, bool& allow)> on_changing;
  std::function<void(TFolderView&, Node)> on_deleting;  // the node's list is already freed
  std::function<void(TFolderView&, Node, bool& allow)> on_expanding;
  std::function<void(TFolderView&, Node)> on_expanded;
  std::function<void(TFolderView&, Node, bool& allow)> on_collapsing;
  std::function<void(TFolderView&, Node)> on_collapsed;
  std::function<void(TFolderView&, Node, bool& allow)> on_editing;
  std::function<void(TFolderView&, Node, std::wstring& text)> on_edited;
  std::function<void(TFolderView&, WPARAM key, bool& handled)> on_key_down;
  std::function<void(TFolderView&)> on_dbl_click;

  // Reflected notifications from the parent.
  bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

 private:
  WindowKind Kind() const override;
  void OnCreated() override;
  LRESULT ControlProc(UINT msg, WPARAM wp, LPARAM lp, const winui::SubclassNext& next) override;
  void OnWindowDestroying() override;
  void OnRightButtonDown(WPARAM keys, POINT client) override;
  void OnRightButtonUp(WPARAM keys, POINT client) override;
  void OnRightClick(POINT client) override;
  void OnRightButtonCancelled() override;
  NodeRecord* RecordOf(Node node) const;
  // Inserts a node holding list (taken over); none when the tree refuses.
  Node InsertNode(TVINSERTSTRUCTW& ins, ChildIDList list);
  DWORD Style() const;
  void ApplyStyle();

  // Fills node with its sub-folders, once; see the .cpp for the rules.
  void PopulateNode(Node node);
  void PopulateNode(Node node, IShellFolder* folder);
  void PopulateIfUnfilled(Node node);
  void RefillNode(Node node);  // its children go and are enumerated again
  void ExpandFilled(Node node);
  Node FindChildIn(Node node, IShellFolder* folder, PCUITEMID_CHILD item, bool expand);
  Node WalkFrom(Node root, PCIDLIST_ABSOLUTE absolute);
  void ShowWaitCursor();
  void RestoreCursor();
  void AssignNodeIcons(TVITEMW& item);
  bool BindNodeFolder(Node node, base::ComPtr<IShellFolder>& folder) const;
  bool BindParentFolder(Node node, base::ComPtr<IShellFolder>& folder) const;
  void NotifyLinkedViews(Node node);
  // Hands list over to the node's record; freed once in the deletion handler.
  void SetData(Node node, ChildIDList list);
  void SetText(Node node, const std::wstring& text);
  void SetHasChildren(Node node, bool v);
  void NodeDeleted(Node node, NodeRecord* record);
  void SelectionChanged(Node node);
  // The notifications, one handler each; the Allowed ones answer whether the
  // tree may go on.
  bool ExpandingAllowed(const NMTREEVIEWW& tv);
  void Expanded(const NMTREEVIEWW& tv);
  bool ChangingAllowed(Node node);
  bool EditingAllowed(Node node);
  LRESULT EndLabelEdit(Node node, const std::optional<std::wstring>& typed);  // none: cancelled
  void BeginDrag(Node node);

  winui::ItemRecords<NodeRecord> records_;
  Link<ComboViewPartner> combo_view_;
  bool updating_ = false;
  Link<FileViewPartner> file_view_;
  Link<ShellMenuPartner> context_menu_;
  Link<ShellDragPartner> drop_source_;
  Node current_ = nullptr;
  Node previous_ = nullptr;

  bool show_root_ = false;
  bool read_only_ = false;
  bool show_buttons_ = true;
  bool show_lines_ = true;
  bool hide_selection_ = true;
  bool right_click_select_ = false;
  int indent_ = -1;  // design pixels; -1: the tree control's default

  int update_count_ = 0;
  unsigned selections_ = 0;          // selection changes so far
  int walks_ = 0;                    // FindNodeByItemIDList walks in progress
  bool wait_cursor_ = false;         // the hourglass is up for a fill
  Node renaming_ = nullptr;          // the node SetNameOf works on, none once deleted
  Node right_click_node_ = nullptr;  // reported as selected during a right click
};

}  // namespace shview
