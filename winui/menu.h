#pragma once
// Menus: items carry a caption, a shortcut, an integer tag, a check mark and an
// enabled state, and call a handler when chosen. Every menu belongs to one form,
// which numbers the command ids of all its menus (CommandIds) and dispatches
// WM_COMMAND by them, so tests can post WM_COMMAND with item->id() to drive a
// menu exactly like the user.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/handle.h"

namespace winui {

class Form;

// Command ids start above the dialog ids (IDOK...) and every control id.
inline constexpr UINT kFirstCommandId = 0x4000;

struct Shortcut {
  BYTE modifiers = 0;  // FCONTROL | FSHIFT | FALT
  WORD key = 0;        // virtual key
  bool empty() const { return key == 0; }
  std::wstring Text() const;  // "Ctrl+S"
};
inline Shortcut Ctrl(WORD key) { return {FCONTROL, key}; }

class MenuItem;
using MenuHandler = std::function<void(MenuItem& sender)>;

class MenuItem {
 public:
  MenuItem(const MenuItem&) = delete;
  MenuItem& operator=(const MenuItem&) = delete;
  ~MenuItem();

  // Adds a child item (making this item a submenu) and returns it.
  MenuItem* Add(std::wstring_view caption, MenuHandler handler = {}, int tag = 0,
                Shortcut shortcut = {});
  void AddSeparator();

  UINT id() const { return id_; }
  const std::wstring& Caption() const { return caption_; }
  Shortcut GetShortcut() const { return shortcut_; }
  int tag = 0;

  bool Checked() const { return checked_; }
  void SetChecked(bool c);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool e);
  // Enabled and every parent item enabled.
  bool EffectivelyEnabled() const;
  bool IsSeparator() const { return separator_; }

  // Runs the handler (when there is one) as a click would.
  void Click();

  const std::vector<std::unique_ptr<MenuItem>>& Items() const { return items_; }

 private:
  friend class MenuBase;
  MenuItem(MenuItem* parent, HMENU owner_menu, class MenuBase* root);
  void Sync();  // pushes caption/check/enabled into the owning HMENU
  int Position() const;

  MenuItem* parent_ = nullptr;
  MenuBase* root_ = nullptr;
  HMENU owner_menu_ = nullptr;
  HMENU submenu_ = nullptr;  // owned by owner_menu_ once inserted
  UINT id_ = 0;
  std::wstring caption_;
  Shortcut shortcut_;
  bool checked_ = false;
  bool enabled_ = true;
  bool separator_ = false;
  MenuHandler handler_;
  std::vector<std::unique_ptr<MenuItem>> items_;
};

// The command ids of one form's menus, its main menu and pop-ups alike.
class CommandIds {
 public:
  CommandIds() = default;
  CommandIds(const CommandIds&) = delete;
  CommandIds& operator=(const CommandIds&) = delete;

  UINT Add(MenuItem* item);
  void Remove(UINT id) { items_.erase(id); }
  // The item of a command id, or null.
  MenuItem* Find(UINT id) const;
  // Runs the item of a command id when it is enabled; false when the id is
  // none of this form's.
  bool Dispatch(UINT id) const;

 private:
  UINT next_ = kFirstCommandId;
  std::unordered_map<UINT, MenuItem*> items_;
};

class MenuBase {
 public:
  MenuBase(const MenuBase&) = delete;
  MenuBase& operator=(const MenuBase&) = delete;
  virtual ~MenuBase();

  MenuItem* Add(std::wstring_view caption, MenuHandler handler = {}, int tag = 0,
                Shortcut shortcut = {});
  void AddSeparator();
  HMENU handle() const { return menu_; }
  const std::vector<std::unique_ptr<MenuItem>>& Items() const { return root_.Items(); }
  // Every item with a shortcut, depth first.
  void CollectShortcuts(std::vector<ACCEL>& out) const;

 protected:
  MenuBase(HMENU m, Form& owner);
  virtual void Changed() {}
  friend class MenuItem;
  HMENU menu_;
  CommandIds& ids_;  // the owning form's
  MenuItem root_;
};

// The menu bar of a form (attached by Form::SetMenu).
class MainMenu : public MenuBase {
 public:
  explicit MainMenu(Form& owner);
  ~MainMenu() override;
  void AttachTo(HWND form);  // Form::SetMenu does this

 protected:
  void Changed() override;

 private:
  HWND form_ = nullptr;
};

// A pop-up menu of a form's controls, shown at a screen point.
class PopupMenu : public MenuBase {
 public:
  explicit PopupMenu(Form& owner);
  // When false, right clicks on the control do not open it (Popup still does).
  bool auto_popup = true;
  // Tracks the menu and runs the chosen item's handler. Returns the item or null.
  MenuItem* Popup(HWND owner, POINT screen_pt);
};

}  // namespace winui
