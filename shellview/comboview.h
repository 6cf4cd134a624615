#pragma once
// TComboView: a drop-down list of shell places drawn as an indented outline
// with the shell's small icons: the desktop, its folders, the computer
// folder's drives and folders, and the path of the folder shown now.
//
// A real owner-drawn "COMBOBOX" child, a winui::Control
// (winui::SubclassedControl) bound to its parent's reflection
// (winui/reflect.h): the parent's window procedure must pass WM_COMMAND,
// WM_DRAWITEM and WM_MEASUREITEM to winui::ReflectToChild.
// Linked to a TFolderView it follows the tree's selection and steers it.
// UI thread only.
//
// Each entry's item data points at a TComboData record that the control owns
// (not the window): the records live in two lists, the base entries built
// once and the path entries of the shown folder. Entries hold no text; names
// and icons are asked of the shell whenever an entry is drawn.
#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <memory>
#include <vector>

#include "shellview/partners.h"
#include "shellview/shview.h"
#include "winui/subclassed_control.h"

namespace shview {

class TFolderView;

struct TComboData {
  AbsoluteIDList IDList;  // the entry's place, owned
  int Level = 0;          // 0 the desktop, 1 its children, 2 a drive, ...
  int Position = 0;       // combo index at insertion; removes a path entry again
};

class TComboView : public winui::SubclassedControl, public ComboViewPartner {
 public:
  TComboView();
  ~TComboView() override;
  TComboView(const TComboView&) = delete;
  TComboView& operator=(const TComboView&) = delete;

  // Create() makes the combo box, then builds the outline and selects the
  // desktop. The bounds give the position and width; the field is as high as
  // ItemHeight asks and the list shows DropDownCount entries.

  // The outline. Lists passed in are copied, never kept.
  void BuildList();
  void AddEntry(int position, int level, PCIDLIST_ABSOLUTE list);
  // Places every level of list in the outline (reusing existing entries) and
  // returns the index of the entry of the whole list.
  int AddPath(PCIDLIST_ABSOLUTE list);
  void ClearEntries();
  // Replaces the path entries by those of list and selects its entry; raises
  // no on_change and does not steer the tree. None changes nothing.
  void ShowItemIDList(PCIDLIST_ABSOLUTE list) override;
  // A folder was renamed: entries of old_list get new_list (both copied).
  void FolderRenamed(PCIDLIST_ABSOLUTE old_list, PCIDLIST_ABSOLUTE new_list) override;

  TFolderView* FolderView() const { return folder_view_.get(); }
  void SetFolderView(TFolderView* tree);
  // A component is going away: drop the link when it is the tree.
  void ComponentRemoved(ShellComponent* component) override;

  int ItemHeight() const { return item_height_; }
  void SetItemHeight(int pixels);
  int DropDownCount() const { return drop_down_count_; }
  void SetDropDownCount(int entries);

  // Read-back.
  int Count() const;
  const TComboData* Entry(int index) const;  // none outside the list
  int SelectedIndex() const;                 // -1: none

  // Events: on_change when the user chooses an entry (a click or Enter in the
  // dropped list, Enter on the closed box), before the tree follows.
  std::function<void(TComboView&)> on_change;
  std::function<void(TComboView&)> on_drop_down;

  bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

 private:
  WindowKind Kind() const override;
  void OnCreated() override;
  int WindowHeight() const override;
  void OnWindowDestroying() override;
  LRESULT ControlProc(UINT msg, WPARAM wp, LPARAM lp, const winui::SubclassNext& next) override;
  bool InsertEntry(int position, int level, PCIDLIST_ABSOLUTE list);
  void RemovePathEntries();
  void ApplyHeights();
  int FieldHeight() const;
  void SelectionChanged();
  void DrawItem(const DRAWITEMSTRUCT& item);
  void DrawEntry(HDC dc, int index, const RECT& rect, UINT state);

  bool base_built_ = false;
  std::vector<std::unique_ptr<TComboData>> base_;
  std::vector<std::unique_ptr<TComboData>> path_;  // in the order of insertion
  Link<TFolderView> folder_view_;
  int item_height_ = 16;
  int drop_down_count_ = 8;
};

}  // namespace shview
