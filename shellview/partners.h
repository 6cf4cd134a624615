#pragma once
// What the shell pieces ask of each other, and the one way they link.
//
// Every link between two pieces (tree-list, tree-combo box, tree or list to a
// context menu or a drag source) is a Link<T> member of the piece that calls
// the other. A ShellComponent knows which components link it; whichever side
// goes first tells the other, which clears its reference, so the pieces can be
// destroyed in any order. Removal compares addresses recorded while both sides
// were alive and never reads the dying object. UI thread only.
//
// The context-menu and drag-source interfaces are declared here and
// implemented by shellcom/, so that shellview/ never includes shellcom/.
#include <windows.h>
#include <shlobj.h>

#include <vector>

namespace shview {

class TFolderView;

class ShellComponent {
 public:
  ShellComponent() = default;
  ShellComponent(const ShellComponent&) = delete;
  ShellComponent& operator=(const ShellComponent&) = delete;
  // Tells every component still linking this one that it is going away.
  virtual ~ShellComponent() { UnlinkAll(); }

  // component is going away (or was unlinked by its owner): every link to
  // that object becomes none. Compares addresses only.
  virtual void ComponentRemoved(ShellComponent* component) { (void)component; }

  // Bookkeeping of Link<T>: this component now links (or no longer links)
  // target, which will tell it when it goes away.
  void AddLink(ShellComponent* target);
  void DropLink(ShellComponent* target);

 protected:
  // What the destructor does; a piece with a window calls it before the
  // window goes, so that no partner reaches it while it is torn down.
  void UnlinkAll();

 private:
  std::vector<ShellComponent*> links_;      // components this one links
  std::vector<ShellComponent*> linked_by_;  // components linking this one
};

inline void ShellComponent::AddLink(ShellComponent* target) {
  if (!target) return;
  links_.push_back(target);
  target->linked_by_.push_back(this);
}

inline void ShellComponent::DropLink(ShellComponent* target) {
  // Only a link still on record touches the target: a target on its way out
  // has already taken itself off the record.
  for (auto it = links_.begin(); it != links_.end(); ++it) {
    if (*it != target) continue;
    links_.erase(it);
    auto& back = target->linked_by_;
    for (auto b = back.begin(); b != back.end(); ++b) {
      if (*b == this) {
        back.erase(b);
        break;
      }
    }
    return;
  }
}

inline void ShellComponent::UnlinkAll() {
  for (ShellComponent* target : links_) std::erase(target->linked_by_, this);
  links_.clear();
  // A handler may link or unlink others meanwhile: take one holder at a time;
  // a holder linking this twice hears of it once.
  while (!linked_by_.empty()) {
    ShellComponent* holder = linked_by_.back();
    std::erase(linked_by_, holder);
    std::erase(holder->links_, this);
    holder->ComponentRemoved(this);
  }
}

// One link from its owner to a partner of type T: the partner's pointer and
// the address of its ShellComponent, taken while it is alive.
template <class T>
class Link {
 public:
  T* get() const { return target_; }
  explicit operator bool() const { return target_ != nullptr; }
  T* operator->() const { return target_; }
  bool Is(const ShellComponent* component) const { return component && component == key_; }
  void Set(ShellComponent& owner, T* target) {
    if (target == target_) return;
    Clear(owner);
    target_ = target;
    key_ = target;  // converted while the target is alive
    owner.AddLink(key_);
  }
  void Clear(ShellComponent& owner) {
    if (key_) owner.DropLink(key_);
    target_ = nullptr;
    key_ = nullptr;
  }

 private:
  T* target_ = nullptr;
  ShellComponent* key_ = nullptr;
};

// The file list as the tree sees it.
class FileViewPartner : public virtual ShellComponent {
 public:
  // The tree's newly selected folder, absolute; the list copies what it keeps.
  virtual void ShowFolder(PCIDLIST_ABSOLUTE absolute) = 0;
  // Set by TFolderView::SetFileView only.
  virtual void SetLinkedFolderView(TFolderView* tree) = 0;
};

// The folder combo box as the tree sees it.
class ComboViewPartner : public virtual ShellComponent {
 public:
  // An absolute list; the combo box copies what it keeps.
  virtual void ShowItemIDList(PCIDLIST_ABSOLUTE absolute) = 0;
  // The tree renamed a folder (absolute lists before and after; copied).
  virtual void FolderRenamed(PCIDLIST_ABSOLUTE old_list, PCIDLIST_ABSOLUTE new_list) = 0;
};

// Pops up the shell's own menu for count items of folder (their one-item
// lists back to back) at a screen point and carries out the choice; true when
// a command was carried out. Nothing handed in is kept.
class ShellMenuPartner : public virtual ShellComponent {
 public:
  virtual bool PopupShellMenu(HWND owner, IShellFolder* folder, POINT screen, int count,
                              PCUIDLIST_RELATIVE items) = 0;
  // The same at a point in owner's client coordinates, where a view's right
  // click was.
  bool PopupAtClient(HWND owner, IShellFolder* folder, POINT client, int count,
                     PCUIDLIST_RELATIVE items) {
    (void)ClientToScreen(owner, &client);  // false only for no window
    return PopupShellMenu(owner, folder, client, count, items);
  }
};

// Drags count items of folder (one-item lists back to back) with the shell's
// data object; returns when the drag has ended. Nothing handed in is kept.
class ShellDragPartner : public virtual ShellComponent {
 public:
  virtual void StartShellDrag(HWND owner, IShellFolder* folder, int count,
                              PCUIDLIST_RELATIVE items) = 0;
};

}  // namespace shview
