#include <gtest/gtest.h>
#include <ole2.h>

#include <cstring>
#include <thread>

#include "shellcom/drpcomex.h"
#include "base/com.h"
#include "shellview/folderview.h"
#include "tests/support/menu_owner.h"
#include "tests/support/shell_double.h"
#include "tests/support/host_window.h"
#include "tests/support/shell_env.h"
#include "base/handle.h"

using namespace shcom;
using base::ComPtr;
using comtest::Entry;
using comtest::FolderDouble;
using shview::ChildIDList;
using shview::RelativeIDList;

namespace {

std::vector<std::wstring> Captions(HMENU menu) {
  std::vector<std::wstring> out;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t buf[256] = {};
    GetMenuStringW(menu, i, buf, 256, MF_BYPOSITION);
    out.push_back(buf);
  }
  return out;
}

// The parent folder of a path and the path's own one-item list.
struct RealItem {
  ComPtr<IShellFolder> parent;
  ChildIDList item;
  explicit RealItem(const std::string& path) {
    auto abs = shtest::ParsePath(path);
    auto parent_abs = shview::CopyParentItemIDList(abs.get());
    item = shview::CopyLastItemID(abs.get());
    shview::DesktopFolder()->BindToObject(parent_abs.get(), nullptr, KOLBRI_IID_PPV(parent));
  }
};

}  // namespace

TEST(DrpcomexUnit, OnlyTheFirstStartAndTheMatchingFinishTouchOle) {
  EXPECT_EQ(UnitStarts(), 0);
  EXPECT_TRUE(StartUnit());
  EXPECT_TRUE(StartUnit());
  EXPECT_EQ(UnitStarts(), 2);
  FinishUnit();
  FinishUnit();
  FinishUnit();  // one too many: ignored
  EXPECT_EQ(UnitStarts(), 0);
  // The program's own initialisation is still in force: exactly one
  // OleUninitialize balanced the unit's one OleInitialize.
  EXPECT_EQ(OleInitialize(nullptr), S_FALSE);
  OleUninitialize();
}

// A thread that OLE has not been initialised for, as a program's main thread
// is before the unit starts: the first start initialises it, the last finish
// takes it down again.
TEST(DrpcomexUnit, StartsOleWhereNothingHasYet) {
  std::thread([] {
    EXPECT_TRUE(StartUnit());
    EXPECT_EQ(UnitStarts(), 1);
    EXPECT_EQ(OleInitialize(nullptr), S_FALSE);  // already up on this thread
    OleUninitialize();
    FinishUnit();
    EXPECT_EQ(UnitStarts(), 0);
    EXPECT_EQ(OleInitialize(nullptr), S_OK);  // down again: a new start
    OleUninitialize();
  }).join();
}

TEST(FindMenuItemByMark, CountsBytesOfTheMultiByteCaptionAndSkipsUnusableItems) {
  base::UniqueMenu menu(CreatePopupMenu());
  AppendMenuW(menu.get(), MF_STRING | MF_GRAYED, 1, L"貼り付け(&P)");
  AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu.get(), MF_STRING, 2, L"プロパティ(&P)");  // mark at byte 11
  AppendMenuW(menu.get(), MF_STRING, 3, L"貼り付け(&P)");    // mark at byte 9
  AppendMenuW(menu.get(), MF_STRING | MF_DISABLED, 4, L"送る(&N)");
  AppendMenuW(menu.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(CreatePopupMenu()), L"送る(&N)");
  EXPECT_EQ(FindMenuItemByMark(menu.get(), "(&P)", 9), 4);
  EXPECT_EQ(FindMenuItemByMark(menu.get(), "(&P)", 11), 3);
  EXPECT_EQ(FindMenuItemByMark(menu.get(), "(&N)", 5), 6);
  EXPECT_EQ(FindMenuItemByMark(menu.get(), "(&N)", 4), -1);
  EXPECT_EQ(FindMenuItemByMark(menu.get(), "(&T)", 5), -1);
  // GetMenuState reads a submenu of 8-15 entries as a separator; it is none.
  HMENU nine = CreatePopupMenu();
  for (UINT i = 0; i < 9; ++i) AppendMenuW(nine, MF_STRING, 10 + i, L"先");
  AppendMenuW(menu.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(nine), L"送る(&T)");
  EXPECT_EQ(FindMenuItemByMark(menu.get(), "(&T)", 5), 7);
}

class ContextMenuTest : public ::testing::Test {
 protected:
  comtest::MenuOwner owner;
  TContextMenuEx component;
  POINT at{60, 60};
};

TEST_F(ContextMenuTest, BadArgumentsShowNoMenu) {
  shtest::TempTree dir("shc_args");
  RealItem file(dir.File("a.txt"));
  ASSERT_TRUE(file.parent);
  EXPECT_FALSE(component.PopupShellMenu(owner.hwnd(), file.parent.get(), at, 0, file.item.get()));
  // 1025 items really there (the one file over and over): the count alone refuses.
  RelativeIDList many(
      static_cast<PIDLIST_RELATIVE>(shview::ShellAlloc(1025 * file.item.get()->mkid.cb + 2)));
  ASSERT_TRUE(many);
  for (int i = 0; i < 1025; ++i)
    memcpy(reinterpret_cast<BYTE*>(many.get()) + i * file.item.get()->mkid.cb, file.item.get(),
           file.item.get()->mkid.cb);
  EXPECT_FALSE(component.PopupShellMenu(owner.hwnd(), file.parent.get(), at, 1025, many.get()));
  EXPECT_FALSE(component.PopupShellMenu(owner.hwnd(), file.parent.get(), at, 2, file.item.get()));
  EXPECT_FALSE(component.PopupShellMenu(nullptr, file.parent.get(), at, 1, file.item.get()));
  EXPECT_TRUE(owner.popups.empty());
}

TEST_F(ContextMenuTest, RealMenuOfAFolderShowsAndDismissingItRunsNothing) {
  shtest::TempTree dir("shc_real");
  RealItem folder(dir.Dir("sub"));
  const long before = shtest::LiveTaskBlocks();
  std::vector<std::wstring> shown;
  owner.on_menu = [&](HMENU top) {
    shown = Captions(top);
    owner.Keys({VK_ESCAPE});
  };
  EXPECT_FALSE(
      component.PopupShellMenu(owner.hwnd(), folder.parent.get(), at, 1, folder.item.get()));
  ASSERT_FALSE(shown.empty());
  EXPECT_NE(std::find(shown.begin(), shown.end(), L"コピー(&C)"), shown.end());
  EXPECT_NE(std::find(shown.begin(), shown.end(), L"プロパティ(&P)"), shown.end());
  EXPECT_EQ(GetFileAttributesA((dir.path() + "\\sub").c_str()), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(shtest::LiveTaskBlocks(), before);
}

TEST_F(ContextMenuTest, RunItemCommandChecksTheItemsAttributesOnRealFiles) {
  shtest::TempTree dir("shc_run");
  const std::string path = dir.File("copy me.txt");
  RealItem file(path);
  EXPECT_FALSE(component.RunItemCommand(owner.hwnd(), file.parent.get(), 6, at, file.item.get()));

  // Copy: the file has the attribute, and the shell's copy command puts it on
  // the clipboard.
  OleSetClipboard(nullptr);
  ASSERT_TRUE(
      component.RunItemCommand(owner.hwnd(), file.parent.get(), kCopy, at, file.item.get()));
  ComPtr<IDataObject> clip;
  ASSERT_EQ(OleGetClipboard(clip.put()), S_OK);
  FORMATETC fmt{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  ASSERT_EQ(clip->GetData(&fmt, &medium), S_OK);
  char name[MAX_PATH] = {};
  DragQueryFileA(static_cast<HDROP>(medium.hGlobal), 0, name, MAX_PATH);
  ReleaseStgMedium(&medium);
  EXPECT_EQ(lstrcmpiA(name, path.c_str()), 0);
  OleSetClipboard(nullptr);

  // A drive root can be neither copied nor deleted (the shell says so in its
  // attributes): refused before any menu is built, with no message.
  RealItem drive("C:\\");
  ASSERT_TRUE(drive.parent);
  EXPECT_FALSE(
      component.RunItemCommand(owner.hwnd(), drive.parent.get(), kDelete, at, drive.item.get()));
  EXPECT_FALSE(
      component.RunItemCommand(owner.hwnd(), drive.parent.get(), kCopy, at, drive.item.get()));
  EXPECT_TRUE(owner.boxes.empty());
}

// Send To, against the double of a Japanese shell.
class SendToTest : public ContextMenuTest {
 protected:
  std::vector<std::string> log;
  FolderDouble items{"items", {{L"a.bmp"}, {L"b.bmp"}}, &log};
  FolderDouble send_to{"sendto",
                       {{L"デスクトップ (ショートカットを作成)"},
                        {L"ドキュメント", true},
                        {L"メール受信者", false, false},
                        {L"3.5 インチ FD (A)"}},
                       &log};
  comtest::DesktopDouble desktop{&send_to};
  comtest::DesktopSwap swap{&desktop};
  RelativeIDList both = FolderDouble::Items({0, 1});

  // Opens the Send To submenu and picks the entry k steps down (negative: up);
  // meanwhile runs while the menu is shown.
  bool ChooseSendTo(int steps, std::vector<std::wstring>* listed = nullptr,
                    std::function<void()> meanwhile = nullptr) {
    owner.on_menu = [this, steps, listed, meanwhile](HMENU top) {
      if (listed) {
        const int pos = FindMenuItemByMark(top, kSendToMark, kSendToMarkByte);
        *listed = Captions(GetSubMenu(top, pos - 1));
      }
      if (meanwhile) meanwhile();
      owner.Char(L'n');
      for (int i = 0; i < steps; ++i) owner.Keys({VK_DOWN});
      for (int i = 0; i > steps; --i) owner.Keys({VK_UP});
      owner.Keys({VK_RETURN});
    };
    return component.PopupShellMenu(owner.hwnd(), &items, at, 2, both.get());
  }
};

TEST_F(SendToTest, ChoiceCopiesTheItemsAndPastesThemOnTheTarget) {
  std::vector<std::wstring> listed;
  std::vector<std::string> told;
  items.behaviour.messages = &told;
  EXPECT_TRUE(ChooseSendTo(2, &listed));
  // The shell hears its menu open, but not the Send To submenu filled here.
  EXPECT_EQ(told, std::vector<std::string>{"init:top"});
  // Non-folder entries only, by name, in enumeration order, placeholder gone.
  EXPECT_EQ(listed, (std::vector<std::wstring>{L"デスクトップ (ショートカットを作成)",
                                               L"メール受信者", L"3.5 インチ FD (A)"}));
  EXPECT_EQ(send_to.enum_flags, static_cast<SHCONTF>(SHCONTF_NONFOLDERS));
  EXPECT_EQ(items.menu_counts, std::vector<UINT>{2});
  EXPECT_EQ(log, (std::vector<std::string>{"items:25", "sendto3:26"}));
  EXPECT_TRUE(owner.boxes.empty());
}

TEST_F(SendToTest, TargetWithoutPasteLeavesTheItemsOnTheClipboardQuietly) {
  // Its properties entry carries "(&P)" at byte 11 and is no paste entry.
  EXPECT_FALSE(ChooseSendTo(1));
  EXPECT_EQ(log, std::vector<std::string>{"items:25"});
  EXPECT_TRUE(owner.boxes.empty());
}

TEST_F(SendToTest, FailedCopyShowsTheBoxAndPastesNothing) {
  items.behaviour.fail_offset = 25;
  EXPECT_FALSE(ChooseSendTo(0));
  EXPECT_EQ(log, std::vector<std::string>{"items:25"});
  ASSERT_EQ(owner.boxes.size(), 1u);
  EXPECT_EQ(owner.boxes[0].text, L" InvokeCommand failed! ");
  EXPECT_EQ(owner.boxes[0].caption, L" TContextMenuEx component version 2.05");
  EXPECT_TRUE(owner.boxes[0].ok);
  EXPECT_FALSE(owner.boxes[0].cancel);
  EXPECT_EQ(owner.boxes[0].icon, LoadIconW(nullptr, IDI_INFORMATION));
}

TEST_F(SendToTest, CopyTheUserCancelledShowsNoBoxAndPastesNothing) {
  items.behaviour.fail_offset = 25;
  items.behaviour.fail_result = HRESULT_FROM_WIN32(ERROR_CANCELLED);
  EXPECT_FALSE(ChooseSendTo(0));
  EXPECT_EQ(log, std::vector<std::string>{"items:25"});
  EXPECT_TRUE(owner.boxes.empty());
}

TEST_F(SendToTest, AmpersandInAnEntrysNameShowsAsItself) {
  send_to.entries()[3].name = L"R&D 共有";
  std::vector<std::wstring> listed;
  EXPECT_TRUE(ChooseSendTo(2, &listed));
  EXPECT_EQ(listed.back(), L"R&&D 共有");
}

TEST_F(SendToTest, ChoiceGoesToTheEntryListedThoughTheFolderChangedMeanwhile) {
  // While the menu is up, the first entry becomes a folder: the folder's
  // non-folder entries are now one fewer.
  EXPECT_TRUE(ChooseSendTo(2, nullptr, [this] { send_to.entries()[0].folder = true; }));
  EXPECT_EQ(log, (std::vector<std::string>{"items:25", "sendto3:26"}));
}

TEST_F(SendToTest, SingleCommandsGoWhereTheirVerbsAreOnOtherMenuLayouts) {
  // Another command at copy's offset, copy at another; nothing answers "delete".
  items.item_menu = {{comtest::kSendToLine, L"送る(&N)", nullptr},
                     {25, L"共有(&H)", "share"},
                     {30, L"コピー(&C)", "copy"},
                     {17, L"削除(&D)", "remove"}};
  EXPECT_TRUE(ChooseSendTo(2));
  EXPECT_EQ(log, (std::vector<std::string>{"items:30", "sendto3:26"}));
  log.clear();
  auto one = FolderDouble::Items({0});
  EXPECT_FALSE(component.RunItemCommand(owner.hwnd(), &items, kDelete, at,
                                        reinterpret_cast<PCUITEMID_CHILD>(one.get())));
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(owner.boxes.size(), 1u);
}

TEST_F(SendToTest, ShellFillsItsSubmenuWhenItOpensAndTheMenuIsGoneAfterwards) {
  std::vector<std::string> told;
  items.behaviour.messages = &told;
  HMENU shown = nullptr;
  owner.on_menu = [&](HMENU top) {
    shown = top;
    owner.Char(L'w');  // 新規作成, empty until the shell hears it open
    owner.Keys({VK_RETURN});
  };
  EXPECT_TRUE(component.PopupShellMenu(owner.hwnd(), &items, at, 2, both.get()));
  EXPECT_EQ(log, std::vector<std::string>{"items:" + std::to_string(comtest::kLazyCommand)});
  EXPECT_EQ(told, (std::vector<std::string>{"init:top", "init:new"}));
  ASSERT_NE(shown, nullptr);
  EXPECT_FALSE(IsMenu(shown));
}

TEST_F(SendToTest, HundredEntriesAreListedAndStillHandledApartFromShellCommands) {
  auto& entries = send_to.entries();
  entries.clear();
  for (int i = 0; i < 150; ++i) entries.push_back({L"先" + std::to_wstring(i)});
  std::vector<std::wstring> listed;
  EXPECT_TRUE(ChooseSendTo(-1, &listed));  // up from the first: the last
  ASSERT_EQ(listed.size(), 100u);
  EXPECT_EQ(listed.back(), L"先99");
  EXPECT_EQ(log, (std::vector<std::string>{"items:25", "sendto99:26"}));

  // A shell command whose identifier lies where Send To entries used to goes
  // to the shell as it is.
  log.clear();
  owner.on_menu = [this](HMENU) { owner.Char(L'z'); };
  EXPECT_TRUE(component.PopupShellMenu(owner.hwnd(), &items, at, 2, both.get()));
  EXPECT_EQ(log, std::vector<std::string>{"items:1530"});
}

TEST_F(SendToTest, PasteEntryIsFoundByItsVerbOnShellsInOtherLanguages) {
  send_to.entries()[0].name = L"Desktop (&create shortcut)";
  EXPECT_TRUE(component.SendToTarget(owner.hwnd(), &desktop, 0));
  EXPECT_EQ(log, std::vector<std::string>{"sendto0:26"});
  EXPECT_FALSE(component.SendToTarget(owner.hwnd(), &desktop, 3));  // no such entry
}
