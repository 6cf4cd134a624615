// The shell browser's window over the running system's shell namespace: the
// three views steer each other and the mask field reaches the list.
#include "shellbrowse/browser.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "tests/support/host_window.h"
#include "tests/support/shell_env.h"

namespace {

TEST(ParseMask, SplitsOnBlanksOfEitherWidth) {
  EXPECT_EQ(browse::ParseMask(L"  .bmp\t.JPG\u3000.png  "),
            (std::vector<std::string>{".bmp", ".JPG", ".png"}));
  EXPECT_TRUE(browse::ParseMask(L" \u3000 ").empty());
}

TEST(Browser, TreeListComboAndMaskWorkTogether) {
  shtest::TempTree root("browse");
  root.Dir("sub");
  root.File("a.bmp");
  root.File("b.txt");
  browse::TBrowseForm form;
  form.Create();
  form.Open(base::FromAcp(root.path()));
  shtest::Pump();

  // The default mask admits the folder and the picture.
  shview::TFileView& list = form.List();
  EXPECT_EQ(list.ItemCount(), 2);
  EXPECT_GE(list.IndexOf(L"sub"), 0);
  EXPECT_EQ(list.IndexOf(L"b.txt"), -1);
  // The combo box shows the tree's folder.
  shview::TComboView& combo = form.Combo();
  const shview::AbsoluteIDList folder = shtest::ParsePath(root.path());
  ASSERT_GE(combo.SelectedIndex(), 0);
  EXPECT_EQ(shview::CompareItemIDs(shview::DesktopFolder(),
                                   combo.Entry(combo.SelectedIndex())->IDList.get(), folder.get()),
            0);

  form.MaskField().SetText(L"");
  form.ApplyMask();
  EXPECT_EQ(list.ItemCount(), 3);

  // Choosing the desktop entry (Enter on it) moves the tree to its root, and
  // the list follows.
  SendMessageW(combo.hwnd(), CB_SETCURSEL, 0, 0);
  SendMessageW(combo.hwnd(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(form.Tree().Selected(), form.Tree().Root());
  EXPECT_EQ(list.IndexOf(L"sub"), -1);
  EXPECT_GT(list.ItemCount(), 0);
}

}  // namespace
