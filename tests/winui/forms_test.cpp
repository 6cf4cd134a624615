// The form layer against real windows: menus driven through WM_COMMAND,
// layout scaling, Unicode texts whatever the ANSI code page, page tabs, modal loop.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "winui/controls.h"
#include "winui/menu.h"
#include "winui/messages.h"
#include "winui/window.h"

#ifndef KOLBRI_EXPECT_DPI
#define KOLBRI_EXPECT_DPI 96
#endif

namespace {

using namespace winui;

// The main window's arrangement: a tree on the left, a splitter, and a scroll
// box taking the rest; laid out once built.
struct TreeSplitterBox {
  TreeView tv;
  Splitter sp;
  ScrollBox box;
  TreeSplitterBox(Form& f, int tree_width) {
    tv.Create(f, 0, 0, tree_width, 100);
    tv.SetAlign(Align::Left);
    sp.Create(f, 3);
    box.Create(f, 0, 0, 10, 10);
    box.SetAlign(Align::Client);
    f.Realign();
  }
};

class TestForm : public Form {
 public:
  int shown = 0;
  std::vector<WPARAM> previewed;

 protected:
  void OnShowFirst() override { ++shown; }
  bool OnKeyPreview(const MSG& m) override {
    previewed.push_back(m.wParam);
    return m.wParam == VK_F5;
  }
};

TEST(Menus, TagCheckEnableAndHandlerThroughWmCommand) {
  TestForm f;
  f.CreateForm(L"テスト", 300, 200, FormStyle::Sizeable, false);
  MainMenu menu(f);
  MenuItem* file = menu.Add(L"ﾌｧｲﾙ(&F)");
  std::vector<int> clicked;
  auto h = [&](MenuItem& m) { clicked.push_back(m.tag); };
  MenuItem* a = file->Add(L"保存(&S)...", h, 7, Ctrl('S'));
  file->AddSeparator();
  MenuItem* b = file->Add(L"まとめ保存(&M)...", h, 1);
  MenuItem* view = menu.Add(L"表示(&V)", {}, 1);
  MenuItem* v2 = view->Add(L"200%(&2)", h, 2);
  f.SetMenu(&menu);

  SendMessageW(f.hwnd(), WM_COMMAND, MAKEWPARAM(a->id(), 0), 0);
  b->SetEnabled(false);
  SendMessageW(f.hwnd(), WM_COMMAND, MAKEWPARAM(b->id(), 0), 0);  // disabled: ignored
  view->SetEnabled(false);
  SendMessageW(f.hwnd(), WM_COMMAND, MAKEWPARAM(v2->id(), 1), 0);  // parent disabled: ignored
  view->SetEnabled(true);
  SendMessageW(f.hwnd(), WM_COMMAND, MAKEWPARAM(v2->id(), 1), 0);
  EXPECT_EQ(clicked, (std::vector<int>{7, 2}));

  // State lands in the real menu: the separator holds position 1.
  HMENU sub = GetSubMenu(GetMenu(f.hwnd()), 0);
  ASSERT_EQ(GetMenuItemCount(sub), 3);
  EXPECT_EQ(GetMenuItemID(sub, 0), a->id());
  EXPECT_EQ(GetMenuState(sub, 2, MF_BYPOSITION) & MF_GRAYED, static_cast<UINT>(MF_GRAYED));
  a->SetChecked(true);
  EXPECT_TRUE(GetMenuState(sub, 0, MF_BYPOSITION) & MF_CHECKED);
  wchar_t text[64]{};
  GetMenuStringW(sub, 0, text, 64, MF_BYPOSITION);
  EXPECT_STREQ(text, L"保存(&S)...\tCtrl+S");
  EXPECT_EQ(a->Caption(), L"保存(&S)...");
  EXPECT_EQ(view->tag, 1);
}

TEST(Menus, AcceleratorReachesHandler) {
  TestForm f;
  f.CreateForm(L"acc", 300, 200, FormStyle::Sizeable, false);
  MainMenu menu(f);
  int hits = 0;
  menu.Add(L"ﾌｧｲﾙ(&F)")
      ->Add(
          L"保存(&S)...", [&](MenuItem&) { ++hits; }, 0, Ctrl('S'));
  f.SetMenu(&menu);
  MSG m{f.hwnd(), WM_KEYDOWN, 'S', 0};
  BYTE keys[256]{};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  if (!PreTranslate(m)) DispatchMessageW(&m);
  PumpPending();
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);
  EXPECT_EQ(hits, 1);
}

// Ids are numbered per form: another form's id runs nothing here, and an item
// of this form with the same number runs instead.
TEST(Menus, EachFormNumbersItsOwnCommandIds) {
  TestForm a, b;
  a.CreateForm(L"a", 100, 100, FormStyle::Sizeable, false);
  b.CreateForm(L"b", 100, 100, FormStyle::Sizeable, false);
  MainMenu ma(a), mb(b);
  std::vector<std::string> clicked;
  auto h = [&](const char* name) {
    return [&clicked, name](MenuItem&) { clicked.push_back(name); };
  };
  MenuItem* a_file = ma.Add(L"a");
  MenuItem* a1 = a_file->Add(L"a1", h("a1"));
  MenuItem* a2 = a_file->Add(L"a2", h("a2"));
  MenuItem* b1 = mb.Add(L"b")->Add(L"b1", h("b1"));
  a.SetMenu(&ma);
  b.SetMenu(&mb);
  SendMessageW(b.hwnd(), WM_COMMAND, MAKEWPARAM(a2->id(), 0), 0);
  SendMessageW(b.hwnd(), WM_COMMAND, MAKEWPARAM(b1->id(), 0), 0);
  SendMessageW(a.hwnd(), WM_COMMAND, MAKEWPARAM(a1->id(), 0), 0);
  EXPECT_EQ(clicked, (std::vector<std::string>{"b1", "a1"}));
}

// No two children of one parent share an id, also when a window made without
// the form holds the one it would give next; each parent numbers its own.
TEST(Layout, ChildIdsAreUniquePerParent) {
  TestForm f, g;
  f.CreateForm(L"f", 100, 100, FormStyle::Sizeable, false);
  g.CreateForm(L"g", 100, 100, FormStyle::Sizeable, false);
  HWND raw =
      CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 1, 1, f.hwnd(),
                      reinterpret_cast<HMENU>(INT_PTR{kFirstControlId + 1}), nullptr, nullptr);
  ASSERT_NE(raw, nullptr);
  Label l1, l2, l3, other;
  for (Label* l : {&l1, &l2, &l3}) l->Create(f, 0, 0, 10, 10, L"x");
  other.Create(g, 0, 0, 10, 10, L"y");
  const std::set<int> ids{GetDlgCtrlID(raw), GetDlgCtrlID(l1.hwnd()), GetDlgCtrlID(l2.hwnd()),
                          GetDlgCtrlID(l3.hwnd())};
  EXPECT_EQ(ids.size(), 4u);
  EXPECT_EQ(GetDlgCtrlID(other.hwnd()), kFirstControlId);
}

TEST(Layout, DesignPixelsScaleWithScreenDpi) {
  EXPECT_EQ(ScreenDpi(), KOLBRI_EXPECT_DPI);
  TestForm f;
  f.CreateForm(L"dpi", 562, 311, FormStyle::Sizeable, false);
  SIZE s = f.ClientSizePx();
  EXPECT_EQ(s.cx, MulDiv(562, KOLBRI_EXPECT_DPI, 120));
  EXPECT_EQ(s.cy, MulDiv(311, KOLBRI_EXPECT_DPI, 120));
  StatusBar sb;
  sb.Create(f, 25);
  TreeSplitterBox parts(f, 201);
  auto& [tv, sp, box] = parts;
  EXPECT_EQ(sb.HeightPx(), MulDiv(25, KOLBRI_EXPECT_DPI, 120));
  EXPECT_EQ(sb.BoundsPx().bottom, s.cy);
  EXPECT_EQ(tv.WidthPx(), MulDiv(201, KOLBRI_EXPECT_DPI, 120));
  EXPECT_EQ(tv.HeightPx(), s.cy - sb.HeightPx());
  EXPECT_EQ(sp.BoundsPx().left, tv.BoundsPx().right);
  EXPECT_EQ(box.BoundsPx().left, sp.BoundsPx().right);
  EXPECT_EQ(box.BoundsPx().right, s.cx);
  // A wider tree pushes the client-aligned area.
  tv.SetBoundsPx(0, 0, 150, 10);
  f.Realign();
  EXPECT_EQ(box.BoundsPx().left, 150 + sp.WidthPx());
}

TEST(Layout, SplitterDragResizesTheControlBeforeIt) {
  TestForm f;
  f.CreateForm(L"split", 400, 200, FormStyle::Sizeable, false);
  TreeSplitterBox parts(f, 100);
  auto& [tv, sp, box] = parts;
  const int w0 = tv.WidthPx();
  // Mouse positions are client coordinates of the splitter; the drag follows
  // the pointer's screen position.
  SendMessageW(sp.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 5));
  SendMessageW(sp.hwnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(41, 5));
  SendMessageW(sp.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(41, 5));
  EXPECT_EQ(tv.WidthPx(), w0 + 40);
  EXPECT_EQ(sp.BoundsPx().left, tv.BoundsPx().right);
  EXPECT_EQ(box.BoundsPx().left, sp.BoundsPx().right);
  // Never below the minimum size.
  SendMessageW(sp.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 5));
  SendMessageW(sp.hwnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(-1000, 5));
  SendMessageW(sp.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(-1000, 5));
  EXPECT_EQ(tv.WidthPx(), sp.min_size);
}

TEST(Layout, ScrollBoxRangeFollowsItsContent) {
  TestForm f;
  f.CreateForm(L"scroll", 300, 200, FormStyle::Sizeable, false);
  ScrollBox box;
  box.Create(f, 0, 0, 10, 10);
  box.SetAlign(Align::Client);
  Image img;
  img.Create(box, 0, 0, 10, 10);
  img.SetVisible(true);
  img.SetBoundsPx(0, 0, 2000, 50);
  box.UpdateScrollRange();
  SCROLLINFO si{sizeof si, SIF_ALL};
  GetScrollInfo(box.hwnd(), SB_HORZ, &si);
  EXPECT_EQ(si.nMax, 1999);
  RECT client;
  GetClientRect(box.hwnd(), &client);
  EXPECT_EQ(static_cast<LONG>(si.nPage), client.right);
  EXPECT_FALSE(GetWindowLongW(box.hwnd(), GWL_STYLE) & WS_VSCROLL);  // 50 high fits
  SendMessageW(box.hwnd(), WM_HSCROLL, SB_BOTTOM, 0);
  EXPECT_EQ(box.ScrollPos().x, 2000 - client.right);
  EXPECT_EQ(img.BoundsPx().left, -(2000 - client.right));
  // A resize keeps the view where it is, clamped to the new range.
  const POINT at = box.ScrollPos();
  RECT fr;
  GetWindowRect(f.hwnd(), &fr);
  SetWindowPos(f.hwnd(), nullptr, 0, 0, fr.right - fr.left - 50, fr.bottom - fr.top,
               SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(box.ScrollPos().x, at.x);
  SetWindowPos(f.hwnd(), nullptr, 0, 0, fr.right - fr.left + 100, fr.bottom - fr.top,
               SWP_NOMOVE | SWP_NOZORDER);
  GetClientRect(box.hwnd(), &client);
  EXPECT_EQ(box.ScrollPos().x, 2000 - client.right);
  EXPECT_EQ(img.BoundsPx().left, -box.ScrollPos().x);
  box.ScrollTo(0, 0);  // child positions are relative to the scrolled view
  EXPECT_EQ(img.BoundsPx().left, 0);
  img.SetBoundsPx(0, 0, 20, 20);
  box.UpdateScrollRange();
  EXPECT_EQ(box.ScrollPos().x, 0);
  EXPECT_FALSE(GetWindowLongW(box.hwnd(), GWL_STYLE) & WS_HSCROLL);
}

TEST(Texts, JapaneseReadsBackAsUnicode) {
  TestForm f;
  f.CreateForm(L"コルブリ", 400, 300, FormStyle::Sizeable, false);
  EXPECT_EQ(f.Text(), L"コルブリ");
  StatusBar sb;
  sb.Create(f, 25);
  sb.SetPanels({200, 50});
  sb.SetPanelText(0, L"ﾛｰﾄﾞされてません");
  sb.SetPanelText(1, L"(0x0 pix, 0col)");
  EXPECT_EQ(sb.PanelText(0), L"ﾛｰﾄﾞされてません");
  EXPECT_EQ(sb.PanelText(1), L"(0x0 pix, 0col)");
  TreeView tv;
  tv.Create(f, 0, 0, 100, 100);
  HTREEITEM root = tv.Add(nullptr, L"表示ソ十", 42, 0, 1);
  HTREEITEM child = tv.Add(root, L"ｲﾝﾃﾞｯｸｽ", 43, 2, 2);
  EXPECT_EQ(tv.ItemText(root), L"表示ソ十");
  EXPECT_EQ(tv.ItemText(child), L"ｲﾝﾃﾞｯｸｽ");
  EXPECT_EQ(tv.Data(child), 43);
  EXPECT_EQ(tv.Images(root), std::make_pair(0, 1));
  ListBox lb;
  lb.Create(f, 0, 0, 100, 100);
  lb.Add(L"サンプル");
  EXPECT_EQ(lb.Item(0), L"サンプル");
  Label l;
  l.Create(f, 0, 0, 100, 20, L"ディレクトリの指定");
  EXPECT_EQ(l.Text(), L"ディレクトリの指定");
}

TEST(PageControl, HidingATabKeepsPageIndices) {
  TestForm f;
  f.CreateForm(L"pages", 524, 313, FormStyle::DialogFixed, true);
  PageControl pc;
  pc.Create(f, 0, 0, 292, 313);
  TabPage* p0 = pc.AddPage(L"Plug-in選択");
  TabPage* p1 = pc.AddPage(L"まとめ保存");
  TabPage* p2 = pc.AddPage(L"ドライブ選択");
  std::vector<int> changes;
  pc.on_change = [&](int p) { changes.push_back(p); };
  pc.SetTabVisible(1, false);
  EXPECT_EQ(pc.TabCount(), 2);
  EXPECT_EQ(pc.PageCount(), 3);
  pc.SetActivePage(2);
  EXPECT_EQ(pc.ActivePage(), 2);
  EXPECT_EQ(pc.Page(2), p2);
  EXPECT_EQ(TabCtrl_GetCurSel(pc.hwnd()), 1);  // second visible tab
  EXPECT_TRUE(IsWindowVisible(p2->hwnd()) || !IsWindowVisible(f.hwnd()));
  pc.SetTabVisible(1, true);
  EXPECT_EQ(pc.TabCount(), 3);
  EXPECT_EQ(pc.ActivePage(), 2);
  EXPECT_EQ(TabCtrl_GetCurSel(pc.hwnd()), 2);
  // A user's tab choice reports the page index.
  TabCtrl_SetCurSel(pc.hwnd(), 1);
  NMHDR nm{pc.hwnd(), static_cast<UINT_PTR>(GetDlgCtrlID(pc.hwnd())),
           static_cast<UINT>(TCN_SELCHANGE)};
  SendMessageW(f.hwnd(), WM_NOTIFY, nm.idFrom, reinterpret_cast<LPARAM>(&nm));
  EXPECT_EQ(changes, std::vector<int>{1});
  EXPECT_EQ(pc.ActivePage(), 1);
  (void)p0;
  (void)p1;
  // Controls on a page report through the page.
  Button b;
  b.Create(*p1, 8, 8, 73, 25, L"変換！");
  int clicks = 0;
  b.on_click = [&] { ++clicks; };
  b.Click();
  EXPECT_EQ(clicks, 1);
}

TEST(PageControl, GroupBoxOnAPageErasesItsInterior) {
  TestForm f;
  f.CreateForm(L"group", 300, 200, FormStyle::DialogFixed, true);
  PageControl pc;
  pc.Create(f, 0, 0, 292, 190);
  TabPage* page = pc.AddPage(L"まとめ保存");
  GroupBox g;
  g.Create(*page, 8, 8, 200, 120, L"ファイルの命名規則");
  // The page clips its children, so whatever the box's erase leaves is what shows.
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 64, 64);
  HGDIOBJ old = SelectObject(mem, bmp);
  RECT all{0, 0, 64, 64};
  FillRect(mem, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  SendMessageW(g.hwnd(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(mem), 0);
  EXPECT_EQ(GetPixel(mem, 32, 32), GetNearestColor(mem, GetSysColor(COLOR_BTNFACE)));
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
}

TEST(FormEvents, HelpContextFromControlItsParentOrTheForm) {
  TestForm f;
  f.CreateForm(L"help", 300, 200, FormStyle::DialogFixed, true);
  f.help_context = 15;
  PageControl pc;
  pc.Create(f, 0, 0, 292, 150);
  TabPage* page = pc.AddPage(L"まとめ保存");
  Button on_page, on_form;
  on_page.Create(*page, 8, 8, 73, 25, L"変換！");
  on_form.Create(f, 8, 160, 73, 25, L"OK");
  std::vector<int> contexts;
  auto f1 = [&](HWND item) {
    HELPINFO hi{sizeof hi, HELPINFO_WINDOW, 0, item, 0, {0, 0}};
    SendMessageW(f.hwnd(), WM_HELP, 0, reinterpret_cast<LPARAM>(&hi));
  };
  f1(on_page.hwnd());  // no handler: nothing happens
  f.on_help = [&](int c) { contexts.push_back(c); };
  f1(on_form.hwnd());
  f1(on_page.hwnd());
  pc.help_context = 28;
  f1(on_page.hwnd());
  on_page.help_context = 7;
  f1(on_page.hwnd());
  EXPECT_EQ(contexts, (std::vector<int>{15, 15, 28, 7}));
}

TEST(Modal, ResultFromHookAndFromPostedMessage) {
  TestForm owner;
  owner.CreateForm(L"owner", 300, 200, FormStyle::Sizeable, false);
  owner.Show();
  TestForm dlg;
  dlg.CreateForm(L"設定", 200, 100, FormStyle::DialogFixed, true, owner.hwnd());
  dlg.dialog_keys = true;
  Button ok, cancel;
  ok.Create(dlg, 10, 10, 81, 25, L"決定");
  ok.SetDefault(true);
  cancel.Create(dlg, 100, 10, 81, 25, L"キャンセル");
  cancel.SetCancel(true);
  ok.on_click = [&] { dlg.EndModal(1); };
  cancel.on_click = [&] { dlg.EndModal(2); };

  bool owner_disabled = false;
  Form::ModalStartHook() = [&](Form& f) {
    owner_disabled = !IsWindowEnabled(owner.hwnd());
    PostMessageW(f.hwnd(), msg::kEndModal, 1, 0);
  };
  EXPECT_EQ(dlg.ShowModal(), 1);
  EXPECT_TRUE(owner_disabled);
  EXPECT_TRUE(IsWindowEnabled(owner.hwnd()));
  EXPECT_FALSE(IsWindowVisible(dlg.hwnd()));

  // Esc reaches the cancel button through the dialog keys.
  Form::ModalStartHook() = [&](Form& f) { PostMessageW(f.hwnd(), WM_COMMAND, IDCANCEL, 0); };
  EXPECT_EQ(dlg.ShowModal(), 2);
  // Enter: the default button.
  Form::ModalStartHook() = [&](Form& f) { PostMessageW(f.hwnd(), WM_COMMAND, IDOK, 0); };
  EXPECT_EQ(dlg.ShowModal(), 1);
  // Closing the window counts as cancel.
  Form::ModalStartHook() = [&](Form& f) { PostMessageW(f.hwnd(), WM_CLOSE, 0, 0); };
  EXPECT_EQ(dlg.ShowModal(), 2);
  EXPECT_TRUE(IsWindow(dlg.hwnd()));
  Form::ModalStartHook() = nullptr;
}

TEST(FormEvents, ShowOnceAndKeyPreview) {
  TestForm f;
  f.CreateForm(L"show", 200, 100, FormStyle::Sizeable, false);
  f.key_preview = true;
  Edit e;
  e.Create(f, 0, 0, 100, 23, L"orvu");
  f.Show();
  PumpPending();
  f.SetVisible(false);
  f.Show();
  PumpPending();
  EXPECT_EQ(f.shown, 1);
  MSG m{e.hwnd(), WM_KEYDOWN, VK_F5, 0};
  EXPECT_TRUE(PreTranslate(m));
  m.wParam = 'A';
  EXPECT_FALSE(PreTranslate(m));
  EXPECT_EQ(f.previewed, (std::vector<WPARAM>{VK_F5, 'A'}));
  EXPECT_EQ(e.Text(), L"orvu");
}

}  // namespace
