#pragma once
// The controls the forms are built from. Each Create() takes the parent
// container and design bounds (120 dpi pixels, scaled). Notifications arrive
// through reflection and are offered as std::function members (on_change...).
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "winui/window.h"

namespace winui {

// Font of the UI face ("ＭＳ Ｐゴシック") with a character height in design
// pixels, at a resolution (0: the system's).
base::UniqueFont CreateUiFont(int design_height, bool bold = false, int dpi = 0);

// A tree item's text (up to 1,023 characters) and, when data is asked for,
// its lParam, in one request; false (nothing set) when the tree has no such
// item. Any tree window, ours or not.
bool ReadTreeItem(HWND tree, HTREEITEM item, std::wstring* text, LPARAM* data = nullptr);
// The text alone; empty for no such item.
std::wstring TreeItemText(HWND tree, HTREEITEM item);

class TreeView : public Control {
 public:
  void Create(Container& parent, int l, int t, int w, int h);
  // Adds a last child of `parent` (TVI_ROOT / null: top level).
  HTREEITEM Add(HTREEITEM parent, std::wstring_view text, LPARAM data, int image,
                int selected_image);
  // Same with a zero-terminated text, without a copy (bulk filling).
  // `children_later`: the item shows a button and its children are asked for
  // (on_fill_children) the first time it opens or anyone asks for its first
  // child (TVGN_CHILD), so a huge index costs nothing until it is looked into.
  HTREEITEM Add(HTREEITEM parent, const wchar_t* text, LPARAM data, int image, int selected_image,
                bool children_later = false);
  void Clear();
  // Nested: painting resumes at the outermost EndUpdate.
  void BeginUpdate();
  void EndUpdate();
  HTREEITEM Selected() const;
  void Select(HTREEITEM item);  // null clears the selection
  HTREEITEM Root() const;       // first top-level item
  HTREEITEM FirstChild(HTREEITEM item) const;
  HTREEITEM NextSibling(HTREEITEM item) const;
  LPARAM Data(HTREEITEM item) const;
  std::wstring ItemText(HTREEITEM item) const;
  // Normal and selected image index.
  std::pair<int, int> Images(HTREEITEM item) const;
  int Count() const;
  void SetImageList(HIMAGELIST images);  // not owned
  void SetIndent(int design_px);

  // Selection changed (TVN_SELCHANGED), also while items are deleted.
  std::function<void()> on_change;
  // Adds the children of an item added with `children_later`; called once.
  std::function<void(HTREEITEM)> on_fill_children;
  // Right click selects the item under the pointer before the pop-up opens.
  bool right_click_selects = true;

  bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

 private:
  int update_depth_ = 0;
  std::unordered_set<HTREEITEM> unfilled_;
  WindowSubclass subclass_;
  void Fill(HTREEITEM item);
};

class StatusBar : public Control {
 public:
  // Aligned to the bottom of the parent, height in design pixels.
  void Create(Container& parent, int height);
  // Panel widths in design pixels; the last panel reaches the right edge.
  void SetPanels(const std::vector<int>& widths);
  void SetPanelText(int panel, std::wstring_view text);
  std::wstring PanelText(int panel) const;

 private:
  std::vector<int> widths_;
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
};

// A container that scrolls its children when they reach beyond its client area.
class ScrollBox : public Control, public Container {
 public:
  void Create(Container& parent, int l, int t, int w, int h);
  HWND ClientHwnd() const override { return hwnd_; }
  // Recomputes the scroll ranges from the children's extents; call after a
  // child changed size. Keeps the position, clamped to the new range.
  void UpdateScrollRange();
  // Same, with the view moved to `view` (clamped to the new range), the bars
  // set and drawn once.
  void UpdateScrollRange(POINT view);
  POINT ScrollPos() const { return {pos_x_, pos_y_}; }
  // Moves the view (children move the other way); no range check.
  void ScrollTo(int x, int y);
  // Same, kept inside the scroll ranges.
  void ScrollToClamped(int x, int y);
  // The client area as it is without scroll bars.
  SIZE ViewSizePx() const;
  // Wheel (vertical by the system's wheel lines, Shift or tilt horizontal),
  // arrows, PgUp/PgDn and Home/End scroll; a click focuses the box.
  // Ctrl+wheel goes to on_ctrl_wheel instead: notches (+ away from the user)
  // and the pointer in screen coordinates.
  std::function<void(int notches, POINT screen)> on_ctrl_wheel;
  // After the box changed size, before the scroll ranges are updated.
  std::function<void()> on_resize;
  // Fills the area around the children (null: the button face).
  HBRUSH background = nullptr;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void Wheel(bool horizontal, int delta);
  // Moves the children for the view at (x, y); the bars are left as they are.
  void MoveChildren(int x, int y);
  int pos_x_ = 0, pos_y_ = 0;
  int wheel_rest_v_ = 0, wheel_rest_h_ = 0, ctrl_wheel_rest_ = 0;
  bool in_update_ = false;
};

// Shows a bitmap it owns, stretched to its size when `stretch` is set. When its
// size is the bitmap's times a whole factor, a paint copies only the part under
// the update rectangle, so a large zoom never needs a zoomed bitmap.
class Image : public Control {
 public:
  void Create(Container& parent, int l, int t, int w, int h);
  void SetBitmap(base::UniqueBitmap bmp);
  HBITMAP Bitmap() const { return bitmap_.get(); }
  bool stretch = true;
  // A size that is no whole factor of the bitmap's is stretched with HALFTONE.
  bool smooth = false;
  // The left button pressed on the image moved beyond the system's drag
  // distance: a drag of the picture begins (once per press).
  std::function<void()> on_drag;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  base::UniqueBitmap bitmap_;
  bool press_armed_ = false;
  POINT press_{};
};

// A bar the user drags to resize the left-aligned control before it.
class Splitter : public Control {
 public:
  void Create(Container& parent, int width);
  int min_size = 30;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  Control* Target() const;
  int drag_start_x_ = 0, start_width_ = 0;
  bool dragging_ = false;
};

class ListBox : public Control {
 public:
  void Create(Container& parent, int l, int t, int w, int h);
  int Add(std::wstring_view text);
  void Clear();
  int Count() const;
  std::wstring Item(int index) const;
  int ItemIndex() const;  // -1 when none
  void SetItemIndex(int index);
  std::function<void()> on_click;  // selection changed by the user
  std::function<void()> on_dbl_click;
  bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
};

class Button : public Control {
 public:
  void Create(Container& parent, int l, int t, int w, int h, std::wstring_view caption);
  // Default: Enter presses it; cancel: Esc presses it (on a dialog_keys form).
  void SetDefault(bool d);
  void SetCancel(bool c);
  void Click() { SendMessageW(hwnd_, BM_CLICK, 0, 0); }
  std::function<void()> on_click;
  bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

 protected:
  void CreateButton(Container& parent, int l, int t, int w, int h, std::wstring_view caption,
                    DWORD style);
};

class CheckBox : public Button {
 public:
  void Create(Container& parent, int l, int t, int w, int h, std::wstring_view caption);
  bool Checked() const;
  void SetChecked(bool c);
};

class RadioButton : public CheckBox {
 public:
  // first_of_group starts a new group of mutually exclusive buttons.
  void Create(Container& parent, int l, int t, int w, int h, std::wstring_view caption,
              bool first_of_group = false);
};

class Edit : public Control {
 public:
  void Create(Container& parent, int l, int t, int w, int h, std::wstring_view text = {});
  std::function<void()> on_change;
  bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
};

class Label : public Control {
 public:
  enum class TextAlign { Left, Center, Right };
  void Create(Container& parent, int l, int t, int w, int h, std::wstring_view text,
              TextAlign align = TextAlign::Left);
};

class GroupBox : public Control, public Container {
 public:
  void Create(Container& parent, int l, int t, int w, int h, std::wstring_view caption);
  HWND ClientHwnd() const override { return hwnd_; }

 private:
  WindowSubclass subclass_;
};

class ProgressBar : public Control {
 public:
  void Create(Container& parent, int l, int t, int w, int h);
  void SetRange(int lo, int hi);
  void SetPosition(int pos);
  int Position() const;
};

class PageControl;

class TabPage : public Control, public Container {
 public:
  HWND ClientHwnd() const override { return hwnd_; }
  const std::wstring& Caption() const { return caption_; }
  int tag = 0;

 private:
  friend class PageControl;
  void Make(Container& parent) {
    CreateChild(parent, L"winui.Page", WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, 0, 0, 10, 10);
  }
  std::wstring caption_;
  bool tab_visible_ = true;
};

// Tabs over pages. Page indices are fixed at AddPage and do not change when
// tabs are hidden or shown again; a hidden tab's page can still be made active
// by SetActivePage (it shows without a selected tab).
class PageControl : public Control, public Container {
 public:
  HWND ClientHwnd() const override { return hwnd_; }
  void Create(Container& parent, int l, int t, int w, int h);
  TabPage* AddPage(std::wstring_view caption);
  int PageCount() const { return static_cast<int>(pages_.size()); }
  TabPage* Page(int index) const { return pages_.at(static_cast<size_t>(index)).get(); }
  void SetTabVisible(int index, bool visible);
  bool TabVisible(int index) const { return Page(index)->tab_visible_; }
  int TabCount() const;  // visible tabs
  // Makes a page active without raising on_change.
  void SetActivePage(int index);
  int ActivePage() const { return active_; }
  // The user chose another tab.
  std::function<void(int page)> on_change;
  bool OnReflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

 private:
  WindowSubclass subclass_;
  void RebuildTabs();
  void LayoutPages();
  void ShowActive();
  std::vector<std::unique_ptr<TabPage>> pages_;
  int active_ = -1;
};

}  // namespace winui
