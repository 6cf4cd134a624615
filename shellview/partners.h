#pragma once
// What the folder tree calls on the controls and components it can be linked
// with. The file list, the folder combo box, the context-menu component and the
// drag-source component implement these; the tree keeps plain pointers and drops
// them when told (TFolderView::ComponentRemoved).
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
  virtual void ShowFolder(LPCITEMIDLIST absolute) = 0;
  // Set by TFolderView::SetFileView only.
  virtual void SetLinkedFolderView(TFolderView* tree) = 0;
};

class ComboViewPartner : public virtual ShellComponent {
 public:
  // An absolute list; the combo box copies what it keeps.
  virtual void ShowItemIDList(LPCITEMIDLIST absolute) = 0;
};

class ContextMenuPartner : public virtual ShellComponent {
 public:
  // items: count items of folder back to back in one list. Keeps nothing.
  virtual bool PopupShellMenu(HWND owner, IShellFolder* folder, POINT screen, int count,
                              LPCITEMIDLIST items) = 0;
};

class DropSourcePartner : public virtual ShellComponent {
 public:
  virtual void StartShellDrag(HWND owner, IShellFolder* folder, int count, LPCITEMIDLIST items) = 0;
};

}  // namespace shview
