#include "winui/menu.h"

#include "base/diag.h"
#include "winui/window.h"

namespace winui {
namespace {

std::wstring KeyName(WORD key) {
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))
    return std::wstring(1, wchar_t(key));
  if (key >= VK_F1 && key <= VK_F12) return L"F" + std::to_wstring(key - VK_F1 + 1);
  switch (key) {
    case VK_DELETE: return L"Del";
    case VK_INSERT: return L"Ins";
    case VK_RETURN: return L"Enter";
    default: return L"?";
  }
}

}  // namespace

std::wstring Shortcut::Text() const {
  if (empty()) return {};
  std::wstring s;
  if (modifiers & FCONTROL) s += L"Ctrl+";
  if (modifiers & FSHIFT) s += L"Shift+";
  if (modifiers & FALT) s += L"Alt+";
  return s + KeyName(key);
}

MenuItem::MenuItem(MenuItem* parent, HMENU owner_menu, MenuBase* root)
    : parent_(parent), root_(root), owner_menu_(owner_menu) {}

MenuItem::~MenuItem() {
  if (id_) root_->ids_.Remove(id_);
}

MenuItem* MenuItem::Add(std::wstring_view caption, MenuHandler handler, int tag_value,
                        Shortcut shortcut) {
  if (!submenu_) {
    submenu_ = CreatePopupMenu();
    if (owner_menu_) {
      MENUITEMINFOW mi{sizeof mi};
      mi.fMask = MIIM_SUBMENU;
      mi.hSubMenu = submenu_;
      KOLBRI_LOG_IF_FALSE(SetMenuItemInfoW(owner_menu_, Position(), TRUE, &mi));
    }
  }
  auto item = std::unique_ptr<MenuItem>(new MenuItem(this, submenu_, root_));
  item->id_ = root_->ids_.Add(item.get());
  item->caption_ = caption;
  item->handler_ = std::move(handler);
  item->tag = tag_value;
  item->shortcut_ = shortcut;
  MENUITEMINFOW mi{sizeof mi};
  mi.fMask = MIIM_ID | MIIM_STRING;
  mi.wID = item->id_;
  std::wstring text = item->caption_;
  mi.dwTypeData = text.data();
  KOLBRI_LOG_IF_FALSE(InsertMenuItemW(submenu_, static_cast<UINT>(items_.size()), TRUE, &mi));
  items_.push_back(std::move(item));
  items_.back()->Sync();
  if (root_ && !parent_) root_->Changed();
  return items_.back().get();
}

void MenuItem::AddSeparator() {
  if (!submenu_) return;
  auto item = std::unique_ptr<MenuItem>(new MenuItem(this, submenu_, root_));
  item->separator_ = true;
  MENUITEMINFOW mi{sizeof mi};
  mi.fMask = MIIM_FTYPE;
  mi.fType = MFT_SEPARATOR;
  KOLBRI_LOG_IF_FALSE(InsertMenuItemW(submenu_, static_cast<UINT>(items_.size()), TRUE, &mi));
  items_.push_back(std::move(item));
}

int MenuItem::Position() const {
  if (!parent_) return -1;
  for (size_t i = 0; i < parent_->items_.size(); ++i)
    if (parent_->items_[i].get() == this) return static_cast<int>(i);
  return -1;
}

void MenuItem::Sync() {
  if (!owner_menu_ || separator_) return;
  std::wstring text = caption_;
  if (!shortcut_.empty()) text += L"\t" + shortcut_.Text();
  MENUITEMINFOW mi{sizeof mi};
  mi.fMask = MIIM_STRING | MIIM_STATE;
  mi.dwTypeData = text.data();
  mi.fState = (checked_ ? MFS_CHECKED : MFS_UNCHECKED) | (enabled_ ? MFS_ENABLED : MFS_DISABLED);
  KOLBRI_LOG_IF_FALSE(SetMenuItemInfoW(owner_menu_, Position(), TRUE, &mi));
}

void MenuItem::SetChecked(bool c) {
  if (checked_ == c) return;
  checked_ = c;
  Sync();
}

void MenuItem::SetEnabled(bool e) {
  if (enabled_ == e) return;
  enabled_ = e;
  Sync();
  // Only the bar's own items show on it; a submenu is drawn when it opens.
  if (root_ && parent_ && !parent_->parent_) root_->Changed();
}

bool MenuItem::EffectivelyEnabled() const {
  for (const MenuItem* m = this; m && m->parent_; m = m->parent_)
    if (!m->enabled_) return false;
  return true;
}

void MenuItem::Click() {
  if (handler_) handler_(*this);
}

UINT CommandIds::Add(MenuItem* item) {
  // WM_COMMAND carries 16 bits of id.
  KOLBRI_CHECK(next_ <= 0xFFFF);
  items_[next_] = item;
  return next_++;
}

MenuItem* CommandIds::Find(UINT id) const {
  auto it = items_.find(id);
  return it == items_.end() ? nullptr : it->second;
}

bool CommandIds::Dispatch(UINT id) const {
  MenuItem* m = Find(id);
  if (!m) return false;
  if (m->EffectivelyEnabled()) m->Click();
  return true;
}

MenuBase::MenuBase(HMENU m, Form& owner)
    : menu_(m), ids_(owner.Commands()), root_(nullptr, nullptr, this) {
  KOLBRI_LOG_IF_FALSE(m != nullptr);
  root_.submenu_ = m;
}

MenuBase::~MenuBase() {
  root_.items_.clear();
  if (menu_) KOLBRI_LOG_IF_FALSE(DestroyMenu(menu_));
}

MenuItem* MenuBase::Add(std::wstring_view caption, MenuHandler handler, int tag, Shortcut s) {
  return root_.Add(caption, std::move(handler), tag, s);
}

void MenuBase::AddSeparator() { root_.AddSeparator(); }

namespace {
void Collect(const MenuItem& item, std::vector<ACCEL>& out) {
  for (const auto& c : item.Items()) {
    if (!c->GetShortcut().empty())
      out.push_back({static_cast<BYTE>(FVIRTKEY | c->GetShortcut().modifiers), c->GetShortcut().key,
                     static_cast<WORD>(c->id())});
    Collect(*c, out);
  }
}
}  // namespace

void MenuBase::CollectShortcuts(std::vector<ACCEL>& out) const { Collect(root_, out); }

MainMenu::MainMenu(Form& owner) : MenuBase(CreateMenu(), owner) {}

MainMenu::~MainMenu() {
  if (form_ && IsWindow(form_) && GetMenu(form_) == menu_)
    KOLBRI_LOG_IF_FALSE(::SetMenu(form_, nullptr));
}

void MainMenu::AttachTo(HWND form) {
  form_ = form;
  KOLBRI_LOG_IF_FALSE(::SetMenu(form, menu_));
}

void MainMenu::Changed() {
  if (form_ && IsWindow(form_)) KOLBRI_LOG_IF_FALSE(DrawMenuBar(form_));
}

PopupMenu::PopupMenu(Form& owner) : MenuBase(CreatePopupMenu(), owner) {}

MenuItem* PopupMenu::Popup(HWND owner, POINT pt) {
  UINT id = TrackPopupMenu(menu_, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN, pt.x, pt.y, 0,
                           owner, nullptr);
  if (!id) return nullptr;
  MenuItem* m = ids_.Find(id);
  if (m && m->EffectivelyEnabled()) m->Click();
  return m;
}

}  // namespace winui
