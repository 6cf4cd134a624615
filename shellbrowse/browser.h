#pragma once
// The shell browser's one window: a folder combo box above a folder tree and a
// file list side by side, all linked, with the shell's context menu and drag
// source on tree and list, and a field for the list's extension mask.
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "shellcom/drpcomex.h"
#include "shellview/comboview.h"
#include "shellview/fileview.h"
#include "shellview/folderview.h"
#include "winui/controls.h"
#include "winui/window.h"

namespace browse {

// Blank-separated extensions of the mask field, in the system's ANSI code
// page (what the list compares); empty for a blank field (every file).
std::vector<std::string> ParseMask(std::wstring_view text);

class TBrowseForm : public winui::Form {
 public:
  TBrowseForm();
  ~TBrowseForm() override;

  // Creates the window and its controls, links them and shows the desktop.
  void Create();
  // Selects a folder by path; the list and the combo box follow the tree.
  void Open(const std::wstring& path);
  // Applies the mask field to the list now and refills it.
  void ApplyMask();

  shview::TComboView& Combo() { return combo_; }
  shview::TFolderView& Tree() { return tree_; }
  shview::TFileView& List() { return list_; }
  winui::Edit& MaskField() { return mask_; }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
  void OnDestroyForm() override;

 private:
  void Layout();

  shcom::TContextMenuEx menu_;
  shcom::TDropSourceEx drag_;
  winui::Label mask_label_;
  winui::Edit mask_;
  shview::TComboView combo_;
  shview::TFileView list_;
  shview::TFolderView tree_;
};

}  // namespace browse
