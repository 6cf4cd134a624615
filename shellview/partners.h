#pragma once
// What the folder tree calls on the controls it can be linked with. The file
// list and the folder combo box implement these (the context-menu and
// drag-source components are the real classes of shellcom/drpcomex.h); the tree
// keeps plain pointers and drops them when told (TFolderView::ComponentRemoved).
#include <windows.h>
#include <shlobj.h>

namespace shview {

class TFolderView;

// Anything a form can remove while others still point at it.
class ShellComponent {
 public:
  virtual ~ShellComponent() = default;
};

class FileViewPartner : public virtual ShellComponent {
 public:
  // The tree's newly selected folder, absolute; the list copies what it keeps.
  virtual void ShowFolder(PCIDLIST_ABSOLUTE absolute) = 0;
  // Set by TFolderView::SetFileView only.
  virtual void SetLinkedFolderView(TFolderView* tree) = 0;
};

class ComboViewPartner : public virtual ShellComponent {
 public:
  // An absolute list; the combo box copies what it keeps.
  virtual void ShowItemIDList(PCIDLIST_ABSOLUTE absolute) = 0;
};

}  // namespace shview
